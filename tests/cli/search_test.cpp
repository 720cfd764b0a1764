// The grep-like mode of quarn, run as a built executable on the fixture files: a table of
// command lines with their exact output and exit status, then the cases that need more than
// a comparison (JSON parsed back, generated files, the help).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "run_quarn.h"

namespace quarn::cli_test {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

struct SearchCase {
  const char* name;
  std::vector<std::string> args;
  std::string input;  // standard input
  int status;
  std::string out;
  std::string err;
};

void PrintTo(const SearchCase& search, std::ostream* out) {
  *out << search.name;
}

const std::string kMessage = "Subject: Quarterly report\nFrom: Ann\n\nThe figures are in.\n";
const std::string kRefusal =
    "quarn: -S/--single-line and -M/--multiline cannot be used together\n"
    "quarn: usage: quarn [OPTION]... PATTERN [FILE]...; quarn --help explains every option\n";
const std::string kNotUtf8 =
    "; each such byte was searched as a character of its own (see --latin1)\n";

// The warning for the patterns of the -w and -x cases below.
const std::string kFinalBackslash =
    "quarn: warning: a backslash at the end of the pattern escapes nothing: it matches only at "
    "the end of the subject\nquarn:   a)|[])(]+|z\\\nquarn:              ^\n";

// grep's colours.
const std::string kMatch = "\33[01;31m\33[K";
const std::string kLine = "\33[32m\33[K";
const std::string kFile = "\33[35m\33[K";
const std::string kSeparator = "\33[36m\33[K";
const std::string kEnd = "\33[m\33[K";

const SearchCase kSearchCases[] = {
    // Selection and the option flags.
    {"Plain", {"apple", "fruits.txt"}, "", 0, "apple pie\napple crumble\n", ""},
    {"NothingMatches", {"kiwi", "fruits.txt"}, "", 1, "", ""},
    {"CaseMatters", {"banana", "fruits.txt"}, "", 1, "", ""},
    {"IgnoreCase", {"-i", "BANANA", "fruits.txt"}, "", 0, "Banana split\n", ""},
    {"Invert", {"-v", "e", "fruits.txt"}, "", 0, "Banana split\n", ""},
    {"InvertSelectsNothing", {"--invert-match", "a", "fruits.txt"}, "", 1, "", ""},
    {"LineNumbers", {"-n", "apple", "fruits.txt"}, "", 0, "1:apple pie\n4:apple crumble\n", ""},
    {"Count", {"-c", "apple", "fruits.txt"}, "", 0, "2\n", ""},
    {"CountInverted", {"-c", "-v", "apple", "fruits.txt"}, "", 0, "3\n", ""},
    {"CountNothing",
     {"--count", "kiwi", "fruits.txt", "dates.txt"},
     "",
     1,
     "fruits.txt:0\ndates.txt:0\n",
     ""},
    {"OnlyMatching", {"-o", "p+le", "fruits.txt"}, "", 0, "pple\npple\n", ""},
    {"OnlyTheLeftmostMatch", {"-on", "[a-z]+t", "fruits.txt"}, "", 0, "2:split\n3:tart\n", ""},
    {"EveryMatch",
     {"-on", "a.", "fruits.txt"},
     "",
     0,
     "1:ap\n2:an\n2:an\n2:a \n3:ar\n4:ap\n5:ap\n",
     ""},
    {"EveryMatchOfSeveralPatterns",
     {"-o", "-e", "an", "-e", "a", "-e", "na", "-"},
     "banana\n",
     0,
     "an\nan\na\n",
     ""},
    {"EveryMatchAfterAnEmptyOne", {"-o", "b*"}, "abba\n", 0, "bb\n", ""},
    {"EveryMatchBesideASurrogatePair", {"-o", "x?"}, "\xF0\x9F\x98\x80x\n", 0, "x\n", ""},
    {"EmptyMatchPrintsNothing", {"-o", "x*", "fruits.txt"}, "", 0, "", ""},
    {"PatternAfterDoubleDash", {"--", "-v"}, "a -v b\nv\n", 0, "a -v b\n", ""},

    // File names and standard input.
    {"NamesForTwoFiles",
     {"apple", "fruits.txt", "dates.txt"},
     "",
     0,
     "fruits.txt:apple pie\nfruits.txt:apple crumble\n",
     ""},
    {"NoNames",
     {"-h", "apple", "fruits.txt", "dates.txt"},
     "",
     0,
     "apple pie\napple crumble\n",
     ""},
    {"NameForOneFile", {"-H", "-n", "grape", "fruits.txt"}, "", 0, "fruits.txt:5:grape\n", ""},
    {"NameWithCount",
     {"--with-filename", "-c", "grape", "fruits.txt"},
     "",
     0,
     "fruits.txt:1\n",
     ""},
    {"StandardInput", {"o"}, "one\ntwo\nthree\n", 0, "one\ntwo\n", ""},
    {"StandardInputNamed", {"-H", "t", "-"}, "one\ntwo\n", 0, "(standard input):two\n", ""},
    {"StandardInputAndFile",
     {"grape", "-", "fruits.txt"},
     "grapefruit\n",
     0,
     "(standard input):grapefruit\nfruits.txt:grape\n",
     ""},

    // Subexpressions.
    {"Groups",
     {"--groups", R"((\d{4})-(\d\d)-(\d\d))", "dates.txt"},
     "",
     0,
     "Meeting on 2024-03-15 at noon\nSubexpr #1: 2024\nSubexpr #2: 03\nSubexpr #3: 15\n"
     "Due 2023-12-01.\nSubexpr #1: 2023\nSubexpr #2: 12\nSubexpr #3: 01\n",
     ""},
    {"GroupThatTookNoPart",
     {"-o", "--groups", "(x)|(a)p", "fruits.txt"},
     "",
     0,
     "ap\nSubexpr #1: \nSubexpr #2: a\nap\nSubexpr #1: \nSubexpr #2: a\n"
     "ap\nSubexpr #1: \nSubexpr #2: a\n",
     ""},

    // Replacements, expanded by the engine: "$0" to "$9", "$$", and any other "$" itself.
    {"Replace",
     {"--replace", "$3.$2.$1", R"((\d{4})-(\d\d)-(\d\d))", "dates.txt"},
     "",
     0,
     "Meeting on 15.03.2024 at noon\nDue 01.12.2023.\n",
     ""},
    {"ReplaceEachMatchOfSeveralPatterns",
     {"-o", "--replace", "[$0]", "-e", "an", "-e", "a"},
     "banana\n",
     0,
     "[an]\n[an]\n[a]\n",
     ""},
    {"ReplaceWholeWords",
     {"-w", "--replace", "<$0>", "a+"},
     "aa ba a-a\n",
     0,
     "<aa> ba <a>-<a>\n",
     ""},
    {"ReplaceDollars", {"--replace", "$$1|$9|$|$x", "(b)"}, "abc\n", 0, "a$1||$|$xc\n", ""},
    {"ReplaceEmptyMatches", {"--replace", "-", "x*"}, "ab\n", 0, "-a-b-\n", ""},
    {"ReplaceInvertedLinesAsRead", {"-v", "--replace", "X", "a"}, "abc\nxyz\n", 0, "xyz\n", ""},
    {"ReplaceColored",
     {"--color=always", "-n", "--replace", "X$1", "a(p)", "fruits.txt"},
     "",
     0,
     kLine + "1" + kEnd + kSeparator + ":" + kEnd + kMatch + "Xp" + kEnd + "ple pie\n" + kLine +
         "4" + kEnd + kSeparator + ":" + kEnd + kMatch + "Xp" + kEnd + "ple crumble\n" + kLine +
         "5" + kEnd + kSeparator + ":" + kEnd + "gr" + kMatch + "Xp" + kEnd + "e\n",
     ""},

    // Colour.
    {"ColorLine",
     {"--color=always", "-n", "pie", "fruits.txt"},
     "",
     0,
     kLine + "1" + kEnd + kSeparator + ":" + kEnd + "apple " + kMatch + "pie" + kEnd + "\n",
     ""},
    {"ColorEveryMatch",
     {"--color=always", "-e", "b", "-e", "an"},
     "banana\n",
     0,
     kMatch + "b" + kEnd + kMatch + "an" + kEnd + kMatch + "an" + kEnd + "a\n",
     ""},
    {"GroupsOfEveryMatch",
     {"--groups", "(a)(n)?"},
     "ana\n",
     0,
     "ana\nSubexpr #1: a\nSubexpr #2: n\nSubexpr #1: a\nSubexpr #2: \n",
     ""},
    {"ColorOnlyMatching",
     {"--color=always", "-o", "pie", "fruits.txt"},
     "",
     0,
     kMatch + "pie" + kEnd + "\n",
     ""},
    {"ColorFileName",
     {"--color=always", "-H", "grape", "fruits.txt"},
     "",
     0,
     kFile + "fruits.txt" + kEnd + kSeparator + ":" + kEnd + kMatch + "grape" + kEnd + "\n",
     ""},
    {"ColorInvertedLine", {"--color=always", "-v", "e", "fruits.txt"}, "", 0, "Banana split\n", ""},
    {"ColorAutoIntoAFile", {"--color=auto", "pie", "fruits.txt"}, "", 0, "apple pie\n", ""},
    {"BareColorIsAuto", {"--color", "pie", "fruits.txt"}, "", 0, "apple pie\n", ""},
    {"ColorNever", {"--color=never", "pie", "fruits.txt"}, "", 0, "apple pie\n", ""},

    // Subjects: line terminators, whole files, CR LF.
    {"CrLfTerminatorsWrittenBack", {"ta$", "crlf.txt"}, "", 0, "beta\r\n", ""},
    {"NoCrLeftInLines", {"-c", "\\r", "crlf.txt"}, "", 1, "0\n", ""},
    {"LastLineWithoutBreak", {"break$", "no_newline.txt"}, "", 0, "no final line break\n", ""},
    {"DotStopsAtCrLf", {"--whole", "-c", "a..b", "crlf.txt"}, "", 1, "0\n", ""},
    {"SingleLineDotTakesCrAndLf",
     {"--whole", "--single-line", "-c", "a..b", "crlf.txt"},
     "",
     0,
     "1\n",
     ""},
    {"SingleLineAcrossLines",
     {"--whole", "-S", "-o", "alpha.*gamma", "crlf.txt"},
     "",
     0,
     "alpha\r\nbeta\r\ngamma\n",
     ""},
    {"AnchorsAtTheEndsOnly", {"--whole", "-o", "^beta$", "crlf.txt"}, "", 1, "", ""},
    {"MultilineAnchors", {"--whole", "-M", "-o", "^beta$", "crlf.txt"}, "", 0, "beta\n", ""},
    {"MultilineLineNumber",
     {"--whole", "--multiline", "-on", "^g.*$", "crlf.txt"},
     "",
     0,
     "3:gamma\n",
     ""},
    {"SingleLineWithMultiline", {"-S", "-M", "apple", "fruits.txt"}, "", 2, "", kRefusal},
    {"RefusedBeforeInput", {"-SM", "apple"}, "", 2, "", kRefusal},
    {"LoneLfIsNoLineBreak", {"--whole", "-M", "^From: (.*)$", "message.txt"}, "", 1, "", ""},
    {"CrLfWrittenBack",
     {"--whole", "--crlf", "-M", "--groups", "^From: (.*)$", "message.txt"},
     "",
     0,
     kMessage + "Subexpr #1: Ann\n",
     ""},
    {"CrLfInTheMatch",
     {"--whole", "--crlf", "-M", "-o", "-n", R"(Ann\n\n\w+)", "message.txt"},
     "",
     0,
     "2:Ann\n\nThe\n",
     ""},
    {"CrLfUpToTheEnd",
     {"--whole", "--crlf", "-o", "figures.*", "message.txt"},
     "",
     0,
     "figures are in.\n",
     ""},
    {"WholeCount",
     {"--whole", "-c", "a", "fruits.txt", "dates.txt", "crlf.txt"},
     "",
     0,
     "fruits.txt:1\ndates.txt:1\ncrlf.txt:1\n",
     ""},
    {"WholeInvert",
     {"--whole", "-v", "-h", "apple", "fruits.txt", "crlf.txt"},
     "",
     0,
     "alpha\r\nbeta\r\ngamma\r\n",
     ""},
    {"WholeWithoutFinalBreak", {"--whole", "b"}, "a\nb", 0, "a\nb\n", ""},
    {"WholeNumbersEachLine",
     {"--whole", "-Hn", "beta", "crlf.txt"},
     "",
     0,
     "crlf.txt:1:alpha\r\ncrlf.txt:2:beta\r\ncrlf.txt:3:gamma\r\n",
     ""},

    // Encodings.
    {"InvalidUtf8NotedOnce",
     {"good", "invalid_utf8.txt"},
     "",
     0,
     "good line\nanother good line\n",
     "quarn: invalid_utf8.txt: line 2 is not valid UTF-8 (byte 5)" + kNotUtf8},
    {"InvalidUtf8WrittenBackAsRead",
     {"-v", "good", "invalid_utf8.txt"},
     "",
     0,
     "bad \xFF line\n",
     "quarn: invalid_utf8.txt: line 2 is not valid UTF-8 (byte 5)" + kNotUtf8},
    {"InvalidUtf8ByteIsACharacter",
     {"-o", "d . l", "invalid_utf8.txt"},
     "",
     0,
     "d \xFF l\n",
     "quarn: invalid_utf8.txt: line 2 is not valid UTF-8 (byte 5)" + kNotUtf8},
    {"InvalidUtf8InAWholeFile",
     {"--whole", "-c", "good", "invalid_utf8.txt"},
     "",
     0,
     "1\n",
     "quarn: invalid_utf8.txt: not valid UTF-8 from byte 15 (line 2)" + kNotUtf8},
    {"Latin1IsNotUtf8",
     {"-c", "a", "latin1.txt"},
     "",
     0,
     "3\n",
     "quarn: latin1.txt: 2 lines are not valid UTF-8 (the first: line 1, byte 4)" + kNotUtf8},
    {"Latin1", {"--latin1", "-o", "caf. au", "latin1.txt"}, "", 0, "caf\xE9 au\n", ""},
    {"Latin1WithUtf8Pattern", {"--latin1", "\xC3\xAF", "latin1.txt"}, "", 0, "na\xEFve\n", ""},
    {"Latin1Groups",
     {"--latin1", "--groups", "(\\xe9)", "latin1.txt"},
     "",
     0,
     "caf\xE9 au lait\nSubexpr #1: \xE9\n",
     ""},
    {"PatternNotUtf8",
     {"\xFF", "fruits.txt"},
     "",
     2,
     "",
     "quarn: the pattern is not valid UTF-8 (byte 1)\n"},

    // Errors.
    {"MissingFile",
     {"apple", "missing.txt", "fruits.txt"},
     "",
     2,
     "fruits.txt:apple pie\nfruits.txt:apple crumble\n",
     "quarn: missing.txt: No such file or directory\n"},
    {"Directory", {"apple", "."}, "", 2, "", "quarn: .: Is a directory\n"},
    {"PatternFaultBeforeInput",
     {"a(b", "fruits.txt"},
     "",
     2,
     "",
     "quarn: Error #20052: Error in Quarn.ProcessParentheses: Invalid regular expression: A "
     "closing ) expected: a(b\nquarn:   a(b\nquarn:    ^\n"},
    {"PatternFaultReportedOnce",
     {"x{32767}", "fruits.txt"},
     "",
     2,
     "",
     "quarn: Error #6: Error in Quarn.DoQuarn: Overflow\nquarn:   x{32767}\nquarn:    ^\n"},
    {"PatternFaultWithoutInput",
     {"x{3,1}"},
     "",
     2,
     "",
     "quarn: Error #20050: Error in Quarn.DoQuarn: Upper limit is less than lower limit in "
     "regular expression {3,1}\nquarn:   x{3,1}\nquarn:    ^\n"},
    {"PatternFaultOfTheSecondPattern",
     {"-e", "a", "-e", "\xC3\xA9(", "fruits.txt"},
     "",
     2,
     "",
     "quarn: Error #20052: Error in Quarn.ProcessParentheses: Invalid regular expression: A "
     "closing ) expected: \xC3\xA9(\nquarn:   \xC3\xA9(\nquarn:    ^\n"},
    // "e$" would match the first line before any search reached the back reference to a
    // missing group: the fault is known before any file is read.
    {"PatternFaultOnlyALineReachesIsReportedBeforeInput",
     {R"(e$|n\2)", "fruits.txt", "dates.txt"},
     "",
     2,
     "",
     "quarn: Error #20052: Error in Quarn.MatchAtom: Not so many sub-expressions in this "
     "regular expression: \\2\nquarn:   e$|n\\2\nquarn:       ^\n"},
    {"EveryFaultOfThePatternsIsReported",
     {"-e", "[az-a]|pie", "-e", "a{2,1}|x", "fruits.txt"},
     "",
     2,
     "",
     "quarn: Error #20050: Error in Quarn.MatchSquareBrackets: Invalid range in regular "
     "expression [az-a]\nquarn:   [az-a]|pie\nquarn:   ^\n"
     "quarn: Error #20050: Error in Quarn.DoQuarn: Upper limit is less than lower limit in "
     "regular expression {2,1}\nquarn:   a{2,1}|x\nquarn:    ^\n"},

    // Warnings: said once before the search, which goes on as the engine reads the pattern.
    {"WarningBeforeTheSearch",
     {"-n", "\\zzz|pie", "fruits.txt"},
     "",
     0,
     "1:apple pie\n",
     "quarn: warning: \\z is just the letter z here; the end of the subject is \\Z (which also "
     "matches before a final CR LF)\nquarn:   \\zzz|pie\nquarn:   ^\n"},
    {"NoWarnings", {"--no-warnings", "-c", "\\zzz|pie", "fruits.txt"}, "", 0, "1\n", ""},
    {"PosixClassReadAsAList",
     {"-o", "[[:alpha:]]", "fruits.txt"},
     "",
     1,
     "",
     "quarn: warning: no POSIX classes here: [[:alpha:] is a list of its characters, and the "
     "']' after it is a character of its own\nquarn:   [[:alpha:]]\nquarn:   ^\n"},
    {"WarningsAndAFault",
     {"-e", "a\\", "-e", "(b", "fruits.txt"},
     "",
     2,
     "",
     "quarn: warning: a backslash at the end of the pattern escapes nothing: it matches only "
     "at the end of the subject\nquarn:   a\\\nquarn:    ^\n"
     "quarn: Error #20052: Error in Quarn.ProcessParentheses: Invalid regular expression: A "
     "closing ) expected: (b\nquarn:   (b\nquarn:   ^\n"},

    // --check says what a search would say before reading a file, on standard output.
    {"CheckAFault",
     {"--check", "-e", "ok", "-e", "\\hx{3,1}\\K"},
     "",
     2,
     "quarn: warning: \\h is just the letter h here, not a class of horizontal space; [ \\t] "
     "is\nquarn:   \\hx{3,1}\\K\nquarn:   ^\n"
     "quarn: Error #20050: Error in Quarn.DoQuarn: Upper limit is less than lower limit in "
     "regular expression {3,1}\nquarn:   \\hx{3,1}\\K\nquarn:      ^\n",
     ""},
    {"CheckWarnings",
     {"--check", "-i", "(?:x|\\R)$*"},
     "",
     0,
     "quarn: warning: \\R is just the letter R here, not a class of line breaks; \\n is the "
     "line break CR LF\nquarn:   (?:x|\\R)$*\nquarn:        ^\n"
     "quarn: warning: the repeated atom can match nothing; where it does, the repetition "
     "repeats it in place until the depth limit ends the search\nquarn:   (?:x|\\R)$*\n"
     "quarn:           ^\n",
     ""},
    {"CheckNoWarnings", {"--check", "--no-warnings", "\\K"}, "", 0, "", ""},
    {"CheckClean", {"--check", "-F", "a.b\\"}, "", 0, "", ""},
    // Patterns whose text cannot stand inside a group: ")" closing nothing, a bracket
    // expression whose first member is "]", a final backslash (only the subject's end).
    {"WordsOfAnyPattern",
     {"-w", "-o", "a)|[])(]+|z\\"},
     "xa) a)\n)( x)(\nz xz\nxz z\n",
     0,
     "a)\n)(\n(\nz\n",
     kFinalBackslash},
    {"WholeLinesOfAnyPattern",
     {"-x", "-n", "a)|[])(]+|z\\"},
     "a)\n)(\nxz\nz\n",
     0,
     "1:a)\n2:)(\n4:z\n",
     kFinalBackslash},
    {"CheckWithEdgesReportsThePatternsOwnFaults",
     {"--check", "-w", "a)[z-a]"},
     "",
     2,
     "quarn: Error #20050: Error in Quarn.MatchSquareBrackets: Invalid range in regular "
     "expression [z-a]\nquarn:   a)[z-a]\nquarn:     ^\n",
     ""},
    {"CheckAPatternThatIsNotUtf8",
     {"--check", "-e", "a", "-e", "\xC3("},
     "",
     2,
     "",
     "quarn: pattern 2 is not valid UTF-8 (byte 1)\n"},
};

class SearchTable : public ::testing::TestWithParam<SearchCase> {};

TEST_P(SearchTable, PrintsAndExitsAsGrep) {
  const SearchCase& search = GetParam();
  const RunResult result = RunQuarn(search.args, search.input);
  EXPECT_EQ(result.status, search.status);
  EXPECT_EQ(result.out, search.out);
  EXPECT_EQ(result.err, search.err);
}

INSTANTIATE_TEST_SUITE_P(Quarn, SearchTable, ::testing::ValuesIn(kSearchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Limits ----

const std::string kDepthLimit =
    "a repeated atom can take about 499 characters; --depth raises it\n";

TEST(QuarnSearch, TheDefaultLimitsSearchLongLinesAndDeepSearchesToTheirEnd) {
  const ScratchDir dir;
  const std::string deep = std::string(1500, 'a');
  dir.Write("lines.txt", "include " + std::string(40000, 'x') + "\n" + deep + "b\n");
  // A match at the start of a long line, and one at the end of a deep search.
  EXPECT_EQ(RunQuarn({"-c", "include", "lines.txt"}, "", dir.path()).out, "1\n");
  const RunResult every = RunQuarn({"-n", "-o", "^include|a*b", "lines.txt"}, "", dir.path());
  EXPECT_EQ(every.status, 0);
  EXPECT_EQ(every.out, "1:include\n2:" + deep + "b\n");
  EXPECT_EQ(every.err, "");
  // Every lazy match of a long line, not only those before a limit.
  std::string pairs, each;
  for (int i = 0; i < 5000; ++i) {
    const std::string pair = "a" + std::string(static_cast<size_t>(i % 700), '-') + "b";
    pairs += pair + " ";
    each += pair + "\n";
  }
  dir.Write("pairs.txt", pairs + "\n");
  const RunResult lazy = RunQuarn({"-o", "a.*?b", "pairs.txt"}, "", dir.path());
  EXPECT_EQ(lazy.status, 0);
  EXPECT_TRUE(lazy.out == each) << lazy.out.size() << " bytes";
}

TEST(QuarnSearch, HostLimitsNoteTheDepthLimitOncePerFileAndTheSearchGoesOn) {
  const ScratchDir dir;
  const std::string deep = std::string(1500, 'a') + "\n";
  dir.Write("deep.txt", "aaa\n" + deep + deep + "xaaab\n" + deep);
  const RunResult found =
      RunQuarn({"--host-limits", "-n", "a*b", "deep.txt", "deep.txt"}, "", dir.path());
  EXPECT_EQ(found.status, 2);
  EXPECT_EQ(found.out, "deep.txt:4:xaaab\ndeep.txt:4:xaaab\n");
  const std::string notice =
      "quarn: deep.txt: the depth limit ended the search of 3 lines (the first: line 2): " +
      kDepthLimit;
  EXPECT_EQ(found.err, notice + notice);
  // The lines that failed are neither matches nor non-matches.
  const RunResult inverted =
      RunQuarn({"--host-limits", "-c", "-v", "a*b", "deep.txt"}, "", dir.path());
  EXPECT_EQ(inverted.status, 2);
  EXPECT_EQ(inverted.out, "1\n");
  // Without them, each line is decided.
  const RunResult decided = RunQuarn({"-c", "-v", "a*b", "deep.txt"}, "", dir.path());
  EXPECT_EQ(decided.status, 0);
  EXPECT_EQ(decided.out, "4\n");
  EXPECT_EQ(decided.err, "");
}

TEST(QuarnSearch, HostLimitsOnAWholeFileNameTheFile) {
  const ScratchDir dir;
  dir.Write("deep.txt", std::string(1500, 'a'));
  const RunResult result =
      RunQuarn({"--host-limits", "--whole", "a*b", "deep.txt"}, "", dir.path());
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err,
            "quarn: deep.txt: the depth limit ended the search of the file: " + kDepthLimit);
}

TEST(QuarnSearch, HostLimitsNoteTheLengthLimitOnceAndTheSearchGoesOn) {
  const ScratchDir dir;
  // Lines too long for the engine, whichever way the tool sees it: by its bytes (three for
  // each character at most) or by its characters once decoded.
  dir.Write("long.txt",
            "b\n" + std::string(40000, 'x') + "\nb\n" + std::string(100000, 'b') + "\n");
  const RunResult result = RunQuarn({"--host-limits", "-n", "b", "long.txt"}, "", dir.path());
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "1:b\n3:b\n");
  EXPECT_EQ(result.err,
            "quarn: long.txt: the length limit ended the search of 2 lines (the first: line 2): "
            "lines longer than 32,765 characters cannot be searched to their end; --long-lines "
            "raises it\n");
}

TEST(QuarnSearch, TheLimitOptionsRaiseTheHostLimitsOneByOne) {
  const ScratchDir dir;
  const std::string deep = std::string(1500, 'a');
  dir.Write("lines.txt", deep + "b\n" + std::string(40000, 'x') + "b\n");
  const RunResult deeper =
      RunQuarn({"--host-limits", "-c", "--depth=4000", "a*b", "lines.txt"}, "", dir.path());
  EXPECT_EQ(deeper.status, 2);
  EXPECT_EQ(deeper.out, "1\n");
  EXPECT_EQ(deeper.err,
            "quarn: lines.txt: the length limit ended the search of line 2: lines longer than "
            "32,765 characters cannot be searched to their end; --long-lines raises it\n");
  const RunResult both =
      RunQuarn({"--host-limits", "-o", "--long-lines", "--depth", "4000", "a*b|xb", "lines.txt"},
               "", dir.path());
  EXPECT_EQ(both.status, 0);
  EXPECT_EQ(both.out, deep + "b\nxb\n");
  EXPECT_EQ(both.err, "");
  const RunResult notDeepEnough =
      RunQuarn({"-c", "--long-lines", "--depth=2000", "a*b", "lines.txt"}, "", dir.path());
  EXPECT_EQ(notDeepEnough.err,
            "quarn: lines.txt: the depth limit ended the search of line 1: a repeated atom can "
            "take about 999 characters; --depth raises it\n");
}

TEST(QuarnSearch, FilesWithoutMatchNeverListsAFileWhoseLineMayMatch) {
  const ScratchDir dir;
  dir.Write("long.txt", "function " + std::string(40000, 'x') + "\n");
  dir.Write("none.txt", "nothing\n");
  // The engine as a host has it cannot search the long line: its file is not listed.
  const RunResult host =
      RunQuarn({"--host-limits", "-L", "function", "long.txt", "none.txt"}, "", dir.path());
  EXPECT_EQ(host.status, 2);
  EXPECT_EQ(host.out, "none.txt\n");
  EXPECT_NE(host.err.find("long.txt: the length limit ended the search of line 1"),
            std::string::npos);
  const RunResult found = RunQuarn({"-L", "function", "long.txt", "none.txt"}, "", dir.path());
  EXPECT_EQ(found.status, 0);
  EXPECT_EQ(found.out, "none.txt\n");
  EXPECT_EQ(found.err, "");
}

TEST(QuarnSearch, TheStepBudgetEndsARunawaySearchAndKeepsWhatItFound) {
  const ScratchDir dir;
  const std::string runaway = std::string(3000, 'a');
  // A "c" on each line lets the runaway search go ahead: without one, the engine knows that
  // nothing can match there and does not search at all.
  dir.Write("runaway.txt", "x x x c " + runaway + "\nx\nc " + runaway + "\n");
  const RunResult cut =
      RunQuarn({"-n", "-o", "--max-steps=20000", "x|(a|b)*c$", "runaway.txt"}, "", dir.path());
  EXPECT_EQ(cut.status, 2);
  EXPECT_EQ(cut.out, "1:x\n1:x\n1:x\n2:x\n");
  EXPECT_EQ(cut.err,
            "quarn: runaway.txt: the step budget ended the search of 2 lines (the first: line "
            "1): a search may take 20,000 steps, or as many for each 100,000 characters of a "
            "longer line; --max-steps raises it\n");
  // Without a budget (and with the default one) the same search ends with its answer.
  for (const std::string budget : {"--max-steps=0", "--max-steps=100000000"}) {
    const RunResult whole = RunQuarn({"-c", budget, "(a|b)*c$", "runaway.txt"}, "", dir.path());
    EXPECT_EQ(whole.status, 1) << budget;
    EXPECT_EQ(whole.out, "0\n") << budget;
    EXPECT_EQ(whole.err, "") << budget;
  }
}

// ---- Several threads ----

// The output with what --stats and --json say of time taken to zeros: the times and the
// bytes printed, which count the digits of the times.
std::string WithoutTimes(const std::string& out) {
  if (out.find(" seconds\n") == std::string::npos && out.find("\"elapsed\"") == std::string::npos) {
    return out;
  }
  static const std::regex kTimes(
      R"re("(elapsed|elapsed_total)":\{[^}]*\}|"bytes_printed":[0-9]+|[0-9.]+ (seconds|bytes printed))re");
  return std::regex_replace(out, kTimes, "0");
}

TEST(QuarnSearch, SeveralThreadsPrintWhatOneThreadPrints) {
  // Files whose searches end every way a file's search can: matches, context, a binary
  // file, bytes that are not UTF-8, a limit of the engine, no match.
  const ScratchDir tree;
  for (int i = 0; i < 40; ++i) {
    std::string text;
    for (int line = 0; line < 30; ++line) {
      text += (line + i) % 7 == 0 ? "alpha beta " + std::to_string(line) + "\n"
                                  : "gamma " + std::to_string(i * line) + "\n";
    }
    tree.Write("d" + std::to_string(i % 4) + "_" + std::to_string(i) + ".txt", text);
  }
  tree.Write("binary.dat", std::string("alpha\0beta\n", 11));
  tree.Write("latin.txt", "alpha \xE9t\xE9\n");
  tree.Write("deep.txt", std::string(1500, 'a') + "\nalpha\n");
  tree.Write("none.txt", "nothing\n");
  for (int i = 0; i < 3; ++i) {  // more output than a file searched apart keeps
    std::string many;
    for (int line = 0; line < 1200; ++line)
      many += std::to_string(line) + std::string(1000, 'z') + "\n";
    tree.Write("many" + std::to_string(i) + ".txt", many);
  }
  const std::vector<std::vector<std::string>> commands = {
      {"-r", "-n", "alpha"},
      {"-r", "-o", "--color=always", "-e", "a", "-e", "be"},
      {"-r", "-C", "1", "-n", "beta"},
      {"-r", "-c", "gamma 1"},
      {"-r", "-l", "beta 14"},
      {"-r", "-L", "beta"},
      {"-r", "-m", "1", "-A", "2", "alpha"},
      {"-r", "--json", "b(e)ta"},
      {"-r", "-q", "beta 21"},
      {"-r", "--host-limits", "a*b"},
      {"-r", "-w", "-v", "gamma"},
      {"-r", "-b", "--column", "-Z", "-n", "beta 2"},
      {"-r", "--stats", "-c", "alpha"},
      {"-r", "--json", "-A1", "beta 1"},
      {"-r", "--glob=d1_*", "--glob=!*3.txt", "-l", "beta"},
      {"-r", "--color=always", "-n", "z+"},
      {"-r", "-m", "3", "-o", "z+"},
      {"-r", "e$|n\\2"},  // a fault of the pattern in some file ends the run
      {"alpha", "none.txt", "missing.txt", "d1_1.txt", "d2_2.txt"},
  };
  for (const std::vector<std::string>& command : commands) {
    std::vector<std::string> one = command, several = command;
    one.insert(one.begin(), "-j1");
    several.insert(several.begin(), "-j4");
    const RunResult expected = RunQuarn(one, "", tree.path());
    const RunResult result = RunQuarn(several, "", tree.path());
    EXPECT_EQ(result.status, expected.status) << ::testing::PrintToString(command);
    EXPECT_TRUE(WithoutTimes(result.out) == WithoutTimes(expected.out))
        << ::testing::PrintToString(command);
    EXPECT_EQ(result.err, expected.err) << ::testing::PrintToString(command);
    // Every command prints something or ends with 0, so that the comparison says something.
    EXPECT_TRUE(!expected.out.empty() || !expected.err.empty() || expected.status == 0);
  }
}

// ---- JSON output ----

std::vector<json> JsonLines(const std::string& out) {
  std::vector<json> objects;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    objects.push_back(json::parse(line));
  return objects;
}

// The records of --json output, each with its times taken out.
std::vector<json> RecordsOf(const std::string& out) {
  std::vector<json> records = JsonLines(out);
  for (json& record : records) {
    record["data"].erase("elapsed_total");
    if (record["data"].contains("stats")) record["data"]["stats"].erase("elapsed");
  }
  return records;
}

std::vector<json> Records(const std::vector<std::string>& args, const std::string& input = "") {
  return RecordsOf(RunQuarn(args, input).out);
}

std::vector<std::string> Types(const std::vector<json>& records) {
  std::vector<std::string> types;
  for (const json& record : records)
    types.push_back(record["type"]);
  return types;
}

TEST(QuarnJson, RecordsInRipgrepsShapeWithTheSubexpressionsOfEachMatch) {
  const std::vector<std::string> args = {"--json", R"((\d{4})-(\d\d)-(\d\d)|(never))", "dates.txt",
                                         "fruits.txt"};
  const std::string out = RunQuarn(args).out;
  const std::vector<json> records = RecordsOf(out);
  // The bytes printed before each record, which the statistics give.
  std::vector<size_t> printed = {0};
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    printed.push_back(printed.back() + line.size() + 1);
  // A file without a selected line has no records of its own.
  ASSERT_EQ(Types(records),
            (std::vector<std::string>{"begin", "match", "match", "end", "summary"}));
  EXPECT_EQ(records[0], json::parse(R"({"type":"begin","data":{"path":{"text":"dates.txt"}}})"));
  EXPECT_EQ(records[1], json::parse(R"({"type":"match","data":{
      "path":{"text":"dates.txt"},"lines":{"text":"Meeting on 2024-03-15 at noon\n"},
      "line_number":1,"absolute_offset":0,"submatches":[{"match":{"text":"2024-03-15"},
      "start":11,"end":21,"groups":[{"match":{"text":"2024"},"start":11,"end":15},
      {"match":{"text":"03"},"start":16,"end":18},{"match":{"text":"15"},"start":19,"end":21},
      null]}]}})"));
  EXPECT_EQ(records[2]["data"]["line_number"], 3);
  EXPECT_EQ(records[2]["data"]["absolute_offset"], 43);
  EXPECT_EQ(records[3], json::parse(R"({"type":"end","data":{"path":{"text":"dates.txt"},
      "binary_offset":null,"stats":{"searches":1,"searches_with_match":1,"bytes_searched":59,
      "bytes_printed":)" + std::to_string(printed[3]) +
                                    R"(,"matched_lines":2,"matches":2}}})"));
  EXPECT_EQ(records[4]["data"]["stats"], json::parse(R"({"searches":2,"searches_with_match":1,
      "bytes_searched":114,"bytes_printed":)" + std::to_string(printed[4]) +
                                                     R"(,"matched_lines":2,"matches":2})"));
}

TEST(QuarnJson, SubmatchesInBytesOfEveryMatchOfEveryPattern) {
  const std::vector<json> records =
      Records({"--json", "-e", "an", "-e", "a", "-e", "\xC3\xA9"}, "b\xC3\xA9nana\n");
  ASSERT_EQ(records.size(), 4u);
  // é is two bytes; "an" and "a" tie at 4, and the pattern given first wins.
  EXPECT_EQ(records[1]["data"]["submatches"], json::parse(R"([
      {"match":{"text":"\u00e9"},"start":1,"end":3,"groups":[]},
      {"match":{"text":"an"},"start":4,"end":6,"groups":[]},
      {"match":{"text":"a"},"start":6,"end":7,"groups":[]}])"));
  EXPECT_EQ(records[1]["data"]["path"]["text"], "(standard input)");
}

TEST(QuarnJson, AnEmptyMatchAndContextAndInvertedLines) {
  const std::vector<json> empty = Records({"--json", "^", "-"}, "ab\n");
  ASSERT_EQ(empty.size(), 4u);
  EXPECT_EQ(empty[1]["data"]["submatches"],
            json::parse(R"([{"match":{"text":""},"start":0,"end":0,"groups":[]}])"));
  const std::vector<json> context = Records({"--json", "-B1", "cherry", "fruits.txt"});
  ASSERT_EQ(Types(context),
            (std::vector<std::string>{"begin", "context", "match", "end", "summary"}));
  EXPECT_EQ(context[1]["data"]["lines"]["text"], "Banana split\n");
  EXPECT_EQ(context[1]["data"]["submatches"], json::array());
  const std::vector<json> inverted = Records({"--json", "-v", "a"}, "xyz\nabc\n");
  ASSERT_EQ(Types(inverted), (std::vector<std::string>{"begin", "match", "end", "summary"}));
  EXPECT_EQ(inverted[1]["data"]["lines"]["text"], "xyz\n");
  EXPECT_EQ(inverted[1]["data"]["submatches"], json::array());
}

TEST(QuarnJson, AWholeFileIsOneRecordWithOffsetsInItsBytes) {
  const std::vector<json> records =
      Records({"--json", "--whole", "--crlf", "-M", R"(^From: (\w+)$)", "message.txt"});
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[1]["data"]["lines"]["text"],
            "Subject: Quarterly report\nFrom: Ann\n\nThe figures are in.\n");
  EXPECT_EQ(records[1]["data"]["submatches"], json::parse(R"([{"match":{"text":"From: Ann"},
      "start":26,"end":35,"groups":[{"match":{"text":"Ann"},"start":32,"end":35}]}])"));
}

TEST(QuarnJson, BytesThatAreNotUtf8ComeAsBase64) {
  const std::vector<json> bad = Records({"--json", "d . l", "invalid_utf8.txt"});
  ASSERT_EQ(bad.size(), 4u);
  EXPECT_EQ(bad[1]["data"]["lines"], json::parse(R"({"bytes":"YmFkIP8gbGluZQo="})"));
  EXPECT_EQ(bad[1]["data"]["submatches"][0]["match"], json::parse(R"({"bytes":"ZCD/IGw="})"));
  const std::vector<json> latin1 = Records({"--json", "--latin1", "na.ve", "latin1.txt"});
  ASSERT_EQ(latin1.size(), 4u);
  EXPECT_EQ(latin1[1]["data"]["submatches"][0]["match"], json::parse(R"({"bytes":"bmHvdmU="})"));
}

// ---- Statistics, buffering and inputs that are not plain files ----

TEST(QuarnSearch, StatsSayWhatTheSearchCameTo) {
  const RunResult result = RunQuarn({"--stats", "-o", "p", "fruits.txt", "dates.txt"});
  EXPECT_EQ(result.status, 0);
  std::string matches;
  for (int i = 0; i < 7; ++i)
    matches += "fruits.txt:p\n";
  EXPECT_EQ(WithoutTimes(result.out), matches +
                                          "\n7 matches\n4 matched lines\n1 files contained "
                                          "matches\n2 files searched\n0\n114 bytes searched\n"
                                          "0 spent searching\n0\n");
  EXPECT_NE(result.out.find(std::to_string(matches.size()) + " bytes printed\n"),
            std::string::npos);
}

TEST(QuarnSearch, LineBufferedOutputComesLineByLine) {
  // Into a pipe, a line comes out before the input ends only when asked for.
  QuarnProcess buffered({"--line-buffered", "b"});
  buffered.WriteLine("a");
  buffered.WriteLine("b");
  EXPECT_EQ(buffered.ReadLine(5000), "b");
  buffered.WriteLine("bb");
  EXPECT_EQ(buffered.ReadLine(5000), "bb");
  EXPECT_EQ(buffered.Finish(), 0);
  QuarnProcess held({"b"});
  held.WriteLine("b");
  EXPECT_EQ(held.ReadLine(300), "");
  EXPECT_EQ(held.Finish(), 0);
  EXPECT_EQ(held.ReadLine(5000), "b");
}

TEST(QuarnSearch, AFifoIsReadToItsEnd) {
  const ScratchDir dir;
  const std::string fifo = dir.path() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { std::ofstream(fifo) << "one\ntwo\nthree\n"; });
  const RunResult result = RunQuarn({"-n", "t", "fifo"}, "", dir.path());
  writer.join();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "2:two\n3:three\n");
  // Met inside a directory, it is not opened at all (nothing would ever write to it).
  const RunResult walked = RunQuarn({"-r", "t", "."}, "", dir.path());
  EXPECT_EQ(walked.status, 1);
  EXPECT_EQ(walked.out, "");
}

TEST(QuarnSearch, AFileNameThatIsNotUtf8IsWrittenAsItIs) {
  const ScratchDir dir;
  const std::string name = "n\xFFm.txt";
  dir.Write(name, "hi\n");
  EXPECT_EQ(RunQuarn({"-H", "hi", name}, "", dir.path()).out, name + ":hi\n");
  EXPECT_EQ(RunQuarn({"-r", "-l", "hi"}, "", dir.path()).out, name + "\n");
  const std::vector<json> records = Records({"--json", "hi", dir.path() + "/" + name});
  ASSERT_EQ(records.size(), 4u);
  EXPECT_TRUE(records[0]["data"]["path"].contains("bytes"));
}

TEST(QuarnSearch, AFileThatShrinksWhileReadEndsWhereItNowEnds) {
  const ScratchDir dir;
  std::string text;
  for (int i = 0; i < 200'000; ++i)
    text += "line " + std::to_string(i) + "\n";
  const std::string path = dir.Write("shrinking.txt", text);
  std::atomic<bool> done = false;
  std::thread shrinker([&] {
    for (off_t size = static_cast<off_t>(text.size()); size > 0 && !done; size -= 4096) {
      if (truncate(path.c_str(), size) != 0) return;
    }
  });
  const RunResult counted = RunQuarn({"-n", "^line [0-9]+$", "shrinking.txt"}, "", dir.path());
  done = true;
  shrinker.join();
  // Whatever part of the file was there to read, the lines printed are its lines in order;
  // the last may be cut off where the file came to end.
  std::vector<std::string> lines;
  std::istringstream out(counted.out);
  for (std::string line; std::getline(out, line);)
    lines.push_back(line);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string whole = std::to_string(i + 1) + ":line " + std::to_string(i);
    if (i + 1 < lines.size()) {
      ASSERT_EQ(lines[i], whole);
    } else {
      EXPECT_TRUE(whole.starts_with(lines[i])) << lines[i];
    }
  }
}

// ---- Command line ----

TEST(QuarnCommandLine, ExplainPrintsTheEnginesReadingOfEachPattern) {
  const RunResult result = RunQuarn({"--explain", "-i", "-e", "\\n|ab", "-e", "x{3,1}"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  std::istringstream lines(result.out);
  std::vector<json> documents;
  for (std::string line; std::getline(lines, line);)
    documents.push_back(json::parse(line));
  ASSERT_EQ(documents.size(), 2u);
  const json& first = documents[0];
  EXPECT_EQ(first["pattern"], "\\n|ab");
  EXPECT_NE(first["flags"], 0);
  EXPECT_EQ(first["diagnostics"].size(), 0u);
  EXPECT_EQ(first["tree"]["kind"], "alternation");
  EXPECT_EQ(first["tree"]["children"][0]["children"][0]["kind"], "line-break");
  EXPECT_EQ(first["facts"]["anyOfLiterals"], json({"\r\n", "ab"}));
  const json& second = documents[1];
  ASSERT_EQ(second["diagnostics"].size(), 1u);
  EXPECT_EQ(second["diagnostics"][0]["error"]["number"], 20050);
  EXPECT_EQ(second["diagnostics"][0]["start"], 1);
}

TEST(QuarnCommandLine, HelpExplainsEveryOptionAndTheDialect) {
  const RunResult result = RunQuarn({"--help"});
  EXPECT_EQ(result.status, 0);
  for (const char* part :
       {"Usage: quarn", "--regexp=PATTERN", "--fixed-strings", "--smart-case", "--groups",
        "--replace=TEXT", "--byte-offset", "--column", "--null", "--null-data", "--glob=GLOB",
        "--type=TYPE", "--type-not=TYPE", "--type-list", "--max-depth=NUM", "--no-ignore",
        "--stats", "--line-buffered", "--host-limits", "--max-steps=NUM", "-V, --version",
        "--check", "--explain", "--no-warnings", "Pattern checks:",
        // The dialect: what \w, \s, \n and "." match, and what is not there.
        "The pattern language:", "U+0080 and U+00FF", "the pair CR LF", "\\Q...\\E quotes",
        "no lookbehind", "Limits:", "32,765 characters", "499 characters", "Errors and exit status",
        "Examples:", R"({"call":"QuarnIndex")"}) {
    EXPECT_NE(result.out.find(part), std::string::npos) << part;
  }
  // Every line fits a terminal of 80 columns.
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);)
    EXPECT_LE(line.size(), 79u) << line;
}

TEST(QuarnCommandLine, TheManualPageSaysWhatTheHelpSays) {
  std::ifstream file(QUARN_MANPAGE);
  ASSERT_TRUE(file) << QUARN_MANPAGE;
  const std::string page((std::istreambuf_iterator<char>(file)), {});
  EXPECT_TRUE(page.starts_with(".TH QUARN 1"));
  EXPECT_NE(page.find(".SH THE PATTERN LANGUAGE"), std::string::npos);
  // Each option of the help, with its hyphens as roff writes them.
  const std::string help = RunQuarn({"--help"}).out;
  static const std::regex kOption(R"re(^(  -(.), |      )--([a-z0-9-]+))re");
  std::istringstream lines(help);
  size_t options = 0;
  for (std::string line; std::getline(lines, line);) {
    std::smatch option;
    if (!std::regex_search(line, option, kOption)) continue;
    std::string roff = ".B ";
    if (option[2].matched) roff += "\\-" + option[2].str() + ", ";
    for (const char c : "--" + option[3].str())
      roff += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(page.find(roff), std::string::npos) << roff;
    ++options;
  }
  EXPECT_GT(options, 50u);
  // groff reads it without a warning.
  const RunResult groff =
      RunProgram("/bin/sh", {"-c", "groff -man -Tutf8 -ww -z " QUARN_MANPAGE " 2>&1"}, "", ".");
  if (groff.status == 127) GTEST_SKIP() << "groff is not installed";
  EXPECT_EQ(groff.out, "");
  EXPECT_EQ(groff.status, 0);
}

TEST(QuarnCommandLine, Version) {
  for (const char* option : {"--version", "-V"}) {
    const RunResult result = RunQuarn({option});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "quarn " QUARN_VERSION "\n");
  }
}

TEST(QuarnCommandLine, UsageErrorsExitWithTwo) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"--bogus", "apple", "fruits.txt"},
                                             {"--host", "apple"},
                                             {"--host", "-i"},
                                             {"--crlf", "apple", "fruits.txt"},
                                             {"--color=sometimes", "apple", "fruits.txt"},
                                             {"--json", "-o", "apple", "fruits.txt"},
                                             {"--json", "-c", "apple", "fruits.txt"},
                                             {"--json", "-l", "apple", "fruits.txt"},
                                             {"--json", "--groups", "apple", "fruits.txt"},
                                             {"-z", "--whole", "apple", "fruits.txt"},
                                             {"--type=nosuch", "apple", "fruits.txt"},
                                             {"--max-depth=-1", "apple", "fruits.txt"},
                                             {"--max-steps=x", "apple", "fruits.txt"},
                                             {"-g", "", "apple", "fruits.txt"},
                                             {"-j0", "apple", "fruits.txt"},
                                             {"--depth=0", "apple", "fruits.txt"},
                                             {"--depth=4294967296", "apple", "fruits.txt"},
                                             {"--check", "apple", "fruits.txt"}}) {
    const RunResult result = RunQuarn(args);
    EXPECT_EQ(result.status, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(result.out, "") << ::testing::PrintToString(args);
    EXPECT_NE(result.err, "") << ::testing::PrintToString(args);
  }
}

}  // namespace
}  // namespace quarn::cli_test
