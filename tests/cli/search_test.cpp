// The grep-like mode of quarn, run as a built executable on the fixture files: a table of
// command lines with their exact output and exit status, then the cases that need more than
// a comparison (JSON parsed back, generated files, the help).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
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
     {"-g", R"((\d{4})-(\d\d)-(\d\d))", "dates.txt"},
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
     {"-g", "(a)(n)?"},
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
     {"--whole", "--crlf", "-M", "-g", "^From: (.*)$", "message.txt"},
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
     {"--latin1", "-g", "(\\xe9)", "latin1.txt"},
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
    // "e$" matches the first line; on the second, "n" matches and the back reference to a
    // missing group is reached. Nothing after it is read ("apple crumble" would match).
    {"PatternFaultOnALineEndsTheRun",
     {R"(e$|n\2)", "fruits.txt", "dates.txt"},
     "",
     2,
     "fruits.txt:apple pie\n",
     "quarn: Error #20052: Error in Quarn.MatchAtom: Not so many sub-expressions in this "
     "regular expression: \\2\nquarn:   e$|n\\2\nquarn:       ^\n"},
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

// ---- Limits of the engine, said once per file ----

const std::string kDepthLimit =
    "a repeated atom can take about 499 characters; --depth raises it\n";

TEST(QuarnSearch, TheDepthLimitIsNotedOncePerFileAndTheSearchGoesOn) {
  const ScratchDir dir;
  const std::string deep = std::string(1500, 'a') + "\n";
  dir.Write("deep.txt", "aaa\n" + deep + deep + "xaaab\n" + deep);
  const RunResult found = RunQuarn({"-n", "a*b", "deep.txt", "deep.txt"}, "", dir.path());
  EXPECT_EQ(found.status, 2);
  EXPECT_EQ(found.out, "deep.txt:4:xaaab\ndeep.txt:4:xaaab\n");
  const std::string notice =
      "quarn: deep.txt: the depth limit ended the search of 3 lines (the first: line 2): " +
      kDepthLimit;
  EXPECT_EQ(found.err, notice + notice);
  // The lines that failed are neither matches nor non-matches.
  const RunResult inverted = RunQuarn({"-c", "-v", "a*b", "deep.txt"}, "", dir.path());
  EXPECT_EQ(inverted.status, 2);
  EXPECT_EQ(inverted.out, "1\n");
}

TEST(QuarnSearch, TheDepthLimitOnAWholeFileNamesTheFile) {
  const ScratchDir dir;
  dir.Write("deep.txt", std::string(1500, 'a'));
  const RunResult result = RunQuarn({"--whole", "a*b", "deep.txt"}, "", dir.path());
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err,
            "quarn: deep.txt: the depth limit ended the search of the file: " + kDepthLimit);
}

TEST(QuarnSearch, TheLengthLimitIsNotedOnceAndTheSearchGoesOn) {
  const ScratchDir dir;
  dir.Write("long.txt", "b\n" + std::string(40000, 'x') + "\nb\n");
  const RunResult result = RunQuarn({"-n", "b", "long.txt"}, "", dir.path());
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "1:b\n3:b\n");
  EXPECT_EQ(result.err,
            "quarn: long.txt: the length limit ended the search of line 2: lines longer than "
            "32,765 characters cannot be searched to their end; --long-lines raises it\n");
}

TEST(QuarnSearch, TheLimitOptionsLetTheSearchReachTheEnd) {
  const ScratchDir dir;
  const std::string deep = std::string(1500, 'a');
  dir.Write("lines.txt", deep + "b\n" + std::string(40000, 'x') + "b\n");
  const RunResult deeper = RunQuarn({"-c", "--depth=4000", "a*b", "lines.txt"}, "", dir.path());
  EXPECT_EQ(deeper.status, 2);
  EXPECT_EQ(deeper.out, "1\n");
  EXPECT_EQ(deeper.err,
            "quarn: lines.txt: the length limit ended the search of line 2: lines longer than "
            "32,765 characters cannot be searched to their end; --long-lines raises it\n");
  const RunResult both =
      RunQuarn({"-o", "--long-lines", "--depth", "4000", "a*b|xb", "lines.txt"}, "", dir.path());
  EXPECT_EQ(both.status, 0);
  EXPECT_EQ(both.out, deep + "b\nxb\n");
  EXPECT_EQ(both.err, "");
  const RunResult notDeepEnough =
      RunQuarn({"-c", "--long-lines", "--depth=2000", "a*b", "lines.txt"}, "", dir.path());
  EXPECT_EQ(notDeepEnough.err,
            "quarn: lines.txt: the depth limit ended the search of line 1: a repeated atom can "
            "take about 999 characters; --depth raises it\n");
}

// ---- Several threads ----

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
      {"-r", "a*b"},
      {"-r", "-w", "-v", "gamma"},
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
    EXPECT_EQ(result.out, expected.out) << ::testing::PrintToString(command);
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

TEST(QuarnSearch, JsonOnePerMatch) {
  const std::vector<json> every =
      JsonLines(RunQuarn({"--json", "-e", "an", "-e", "a"}, "banana\n").out);
  ASSERT_EQ(every.size(), 3u);
  EXPECT_EQ(every[0]["start"], 2);
  EXPECT_EQ(every[1]["start"], 4);
  EXPECT_EQ(every[2]["start"], 6);
  EXPECT_EQ(every[2]["before"], "banan");
  const RunResult result = RunQuarn({"--json", R"((\d{4})-(\d\d)-(\d\d)|(never))", "dates.txt"});
  EXPECT_EQ(result.status, 0);
  const std::vector<json> objects = JsonLines(result.out);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0], json::parse(R"({
      "file": "dates.txt", "line": 1, "start": 12, "length": 10, "match": "2024-03-15",
      "before": "Meeting on ", "after": " at noon",
      "groups": [{"start": 12, "length": 4, "text": "2024"},
                 {"start": 17, "length": 2, "text": "03"},
                 {"start": 20, "length": 2, "text": "15"}, null]})"));
  EXPECT_EQ(objects[1]["line"], 3);
  EXPECT_EQ(objects[1]["start"], 5);
  EXPECT_EQ(objects[1]["after"], ".");
}

TEST(QuarnSearch, JsonOfAnEmptyMatchWithoutGroups) {
  const std::vector<json> objects = JsonLines(RunQuarn({"--json", "^", "-"}, "ab\n").out);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0], json::parse(R"j({"file": "(standard input)", "line": 1, "start": 1,
      "length": 0, "match": "", "before": "", "after": "ab", "groups": []})j"));
}

TEST(QuarnSearch, JsonOfAWholeFileGivesPositionsInTheFilesOwnText) {
  const RunResult result =
      RunQuarn({"--json", "--whole", "--crlf", "-M", R"(^From: (\w+)$)", "message.txt"});
  const std::vector<json> objects = JsonLines(result.out);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0], json::parse(R"({
      "file": "message.txt", "line": 2, "start": 27, "length": 9, "match": "From: Ann",
      "before": "Subject: Quarterly report\n", "after": "\n\nThe figures are in.\n",
      "groups": [{"start": 33, "length": 3, "text": "Ann"}]})"));
}

TEST(QuarnSearch, JsonKeepsALoneSurrogateAsAnEscape) {
  // U+1F600 is the pair D83D DE00, and "." takes one code unit.
  const RunResult result = RunQuarn({"--json", "."}, "\xF0\x9F\x98\x80x\n");
  EXPECT_THAT(result.out, HasSubstr(R"("match":"\ud83d","before":"","after":"\ude00x")"));
}

TEST(QuarnSearch, JsonOfLatin1InputIsUtf8) {
  const std::vector<json> objects =
      JsonLines(RunQuarn({"--json", "--latin1", "na.ve", "latin1.txt"}).out);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["match"], "na\u00efve");
}

// ---- Command line ----

TEST(QuarnCommandLine, HelpExplainsEverything) {
  const RunResult result = RunQuarn({"--help"});
  EXPECT_EQ(result.status, 0);
  for (const char* part : {"Usage: quarn",
                           "--ignore-case",
                           "--single-line",
                           "--multiline",
                           "--only-matching",
                           "--line-number",
                           "--count",
                           "--invert-match",
                           "--with-filename",
                           "--no-filename",
                           "--groups",
                           "--color",
                           "--whole",
                           "--crlf",
                           "--json",
                           "--latin1",
                           "--host",
                           "--regexp=PATTERN",
                           "--file=FILE",
                           "--word-regexp",
                           "--line-regexp",
                           "--max-count=NUM",
                           "--files-with-matches",
                           "--files-without-match",
                           "--quiet",
                           "--no-messages",
                           "--after-context=NUM",
                           "--before-context=NUM",
                           "--context=NUM",
                           "--group-separator=SEP",
                           "--recursive",
                           "--dereference-recursive",
                           "--include=GLOB",
                           "--exclude=GLOB",
                           "--exclude-dir=GLOB",
                           "--text",
                           "Limits:",
                           "32,765 characters",
                           "499 characters",
                           "--depth=NUM",
                           "--long-lines",
                           "--threads=NUM",
                           "Exit status",
                           "Examples:",
                           R"({"call":"QuarnIndex")"}) {
    EXPECT_THAT(result.out, HasSubstr(part));
  }
}

TEST(QuarnCommandLine, Version) {
  const RunResult result = RunQuarn({"--version"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "quarn " QUARN_VERSION "\n");
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
                                             {"--json", "-v", "apple", "fruits.txt"},
                                             {"--json", "-g", "apple", "fruits.txt"},
                                             {"-j0", "apple", "fruits.txt"},
                                             {"--depth=0", "apple", "fruits.txt"},
                                             {"--depth=4294967296", "apple", "fruits.txt"}}) {
    const RunResult result = RunQuarn(args);
    EXPECT_EQ(result.status, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(result.out, "") << ::testing::PrintToString(args);
    EXPECT_NE(result.err, "") << ::testing::PrintToString(args);
  }
}

}  // namespace
}  // namespace quarn::cli_test
