// quarn against the system's grep: where an option means what it means in grep, both run the
// same command line on the same files (patterns that read alike in both languages) and must
// print the same and exit the same. Messages are compared without each program's name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "run_quarn.h"

namespace quarn::cli_test {
namespace {

struct GrepCase {
  const char* name;
  std::vector<std::string> args;
  std::string input = "";  // standard input
  std::string dir = "";    // a directory under the fixtures to run in
  bool anyOrder = false;   // grep walks a directory in no particular order
};

void PrintTo(const GrepCase& grepCase, std::ostream* out) {
  *out << grepCase.name;
}

const std::string kWords = "foo bar\nfoobar\n@foo x\nx foo_\nfoo\n";

// Many lines that cannot match between a few that can, some not ASCII, some with CR LF.
std::string ManyLines() {
  std::string text;
  for (int i = 0; i < 3000; ++i) {
    text += i % 997 == 0   ? "a needle in line " + std::to_string(i) + "\n"
            : i % 101 == 0 ? "caf\xC3\xA9 " + std::to_string(i) + "\r\n"
                           : "hay " + std::to_string(i) + "\n";
  }
  return text;
}
const std::string kPie = "pie", kGrape = "grape";

// A string literal's bytes, NUL bytes included.
template <size_t N>
std::string WithNuls(const char (&text)[N]) {
  return std::string(text, N - 1);
}

const GrepCase kCases[] = {
    // Patterns: several are tried in turn, and a line is selected once.
    {"SeveralPatterns", {"-n", "-e", "apple", "-e", "grape", "fruits.txt"}},
    {"SeveralPatternsCountALineOnce", {"-c", "-e", "apple", "-e", "pie", "fruits.txt"}},
    {"SeveralPatternsMatchesInOrder", {"-o", "-e", "pie", "-e", "apple", "fruits.txt"}},
    {"SeveralPatternsInverted", {"-v", "-e", "apple", "-e", "grape", "fruits.txt"}},
    {"PatternWithALineBreak", {"-n", "pie\ngrape", "fruits.txt"}},
    {"PatternFile", {"-f", "patterns.txt", "fruits.txt"}},
    {"PatternFileAndPattern", {"-n", "-e", "cherry", "-f", "patterns.txt", "fruits.txt"}},
    {"PatternFileFromStandardInput", {"-f", "-", "fruits.txt"}, "grape\npie\n"},
    {"EmptyPatternFileSelectsNothing", {"-c", "-f", "empty.txt", "fruits.txt"}},
    {"EmptyPatternFileInverted", {"-v", "-c", "-f", "empty.txt", "fruits.txt"}},
    {"MissingPatternFile", {"-f", "missing.txt", "fruits.txt"}},
    {"EmptyPatternMatchesEveryLine", {"-c", "", "fruits.txt"}},
    {"Words", {"-w", "-n", "foo", "-"}, kWords},
    {"WordBeginningWithANonWordCharacter", {"-w", "@foo", "-"}, kWords},
    {"WordsOnly", {"-w", "-o", "a[a-z]*", "fruits.txt"}},
    {"EmptyWord", {"-w", "-c", "", "-"}, "a\n\n b\n"},
    {"WholeLines", {"-x", "-n", "-e", "grape", "-e", "apple pie", "fruits.txt"}},
    {"EmptyWholeLine", {"-x", "-c", "", "-"}, "a\n\nb\n"},
    {"PatternFileWithAnEmptyLine", {"-c", "-f", "-", "fruits.txt"}, "kiwi\n\n"},

    // -F: each pattern a plain string.
    {"FixedStrings", {"-F", "-n", "a.b(c)"}, "a.b(c)\naxb(c)\n[a.b(c)]\n"},
    {"FixedStringsSeveral", {"-F", "-o", "-e", "[x]", "-e", "$y\\", "-e", "^"}, "a[x]b$y\\^\n"},
    {"FixedStringsIgnoreCase", {"-F", "-i", "-o", "A.B*"}, "xa.b*y A.B* a.bb\n"},
    {"FixedStringsWholeWords", {"-F", "-w", "-n", "a+b"}, "a+b\nxa+b\na+b!\n"},

    {"LineNumbersAcrossLinesPassedOver", {"-n", "-e", "needle", "-e", " 303"}, ManyLines()},
    {"CountAcrossLinesPassedOver", {"-c", "-e", "needle", "-e", "^hay 2.7$"}, ManyLines()},
    {"MaxCountAcrossLinesPassedOver", {"-n", "-m", "2", "need"}, ManyLines()},

    // What is printed, and the exit status.
    {"FilesWithMatches", {"-l", "apple", "fruits.txt", "dates.txt"}},
    {"FilesWithoutMatch", {"-L", "apple", "fruits.txt", "dates.txt"}},
    {"FilesWithoutMatchExitStatus", {"-L", "kiwi", "fruits.txt"}},
    {"FileListOverridesCount", {"-c", "-l", "apple", "fruits.txt", "dates.txt"}},
    {"FileListLastWins", {"-l", "-L", "apple", "fruits.txt", "dates.txt"}},
    {"Quiet", {"-q", "apple", "fruits.txt"}},
    {"QuietNothing", {"-q", "kiwi", "fruits.txt"}},
    {"QuietMatchAfterAnError", {"-q", "apple", "missing.txt", "fruits.txt"}},
    {"MissingFile", {"apple", "missing.txt", "fruits.txt"}},
    {"NoMessages", {"-s", "apple", "missing.txt", "fruits.txt"}},
    {"NoMessagesStillFails", {"-sq", "kiwi", "missing.txt"}},
    {"FileNameOptionsLastWins", {"-H", "-h", "apple", "fruits.txt"}},
    {"StandardInputNamed", {"-c", "apple", "-", "fruits.txt"}, "apple\n"},

    // -m
    {"MaxCount", {"-m1", "apple", "fruits.txt"}},
    {"MaxCountCounted", {"-m", "1", "-c", "a", "fruits.txt"}},
    {"MaxCountZero", {"-m0", "a", "fruits.txt"}},
    {"MaxCountZeroListsEveryFile", {"-L", "-m0", "a", "fruits.txt", "dates.txt"}},
    {"NegativeMaxCountIsNoLimit", {"-m", "-1", "-c", "a", "fruits.txt"}},
    {"MaxCountInverted", {"-v", "-m2", "-n", "apple", "fruits.txt"}},
    {"MaxCountThenTrailingContext",
     {"-m1", "-A5", "-n", "-e", kPie, "-e", "crumble", "fruits.txt"}},

    // Context.
    {"After", {"-A1", "-n", "pie", "fruits.txt"}},
    {"Before", {"-B1", "-n", "crumble", "fruits.txt"}},
    {"Around", {"-C1", "-n", "-e", kPie, "-e", kGrape, "fruits.txt"}},
    {"AroundAsANumber", {"-1", "-n", "-e", kPie, "-e", kGrape, "fruits.txt"}},
    {"OverlappingContext", {"-C", "5", "-n", "cherry", "fruits.txt"}},
    {"NoContextStillSeparates", {"-A0", "-e", kPie, "-e", kGrape, "fruits.txt"}},
    {"GroupSeparator", {"-A1", "--group-separator=XX", "-e", kPie, "-e", kGrape, "fruits.txt"}},
    {"NoGroupSeparator", {"-A1", "--no-group-separator", "-e", kPie, "-e", kGrape, "fruits.txt"}},
    {"ContextWithOnlyMatching", {"-o", "-C1", "-e", kPie, "-e", kGrape, "fruits.txt"}},
    {"ContextInverted", {"-v", "-A1", "-n", "e", "fruits.txt"}},
    {"ContextAcrossFiles", {"-A1", "-n", "apple", "fruits.txt", "dates.txt"}},
    {"ContextIgnoredByCount", {"-c", "-A3", "a", "fruits.txt"}},

    // Colour.
    {"ColorContext", {"--color=always", "-A1", "-n", "pie", "fruits.txt"}},
    {"ColorInvertedContext", {"--color=always", "-v", "-B1", "grape", "fruits.txt"}},
    {"ColorMatches", {"--color=always", "-o", "-e", kPie, "-e", "apple", "fruits.txt"}},
    {"ColorFileNames", {"--color=always", "-l", "pie", "fruits.txt", "dates.txt"}},
    {"ColorCounts", {"--color=always", "-c", "pie", "fruits.txt", "dates.txt"}},

    // Directories.
    {"Recursive", {"-r", "quarn", "tree"}, "", "", true},
    {"RecursiveWithoutOperand", {"-r", "-n", "quarn"}, "", "tree", true},
    {"RecursiveSkipsSymlinks", {"-r", "apple", "tree"}},
    {"DereferenceRecursive", {"-R", "-n", "apple", "tree"}},
    {"Include", {"-r", "--include=*.c", "quarn", "tree"}, "", "", true},
    {"Exclude", {"-r", "--exclude=*.c", "quarn", "tree"}, "", "", true},
    {"LastGlobWinsExclude",
     {"-r", "--include=*.c", "--exclude=in*", "quarn", "tree"},
     "",
     "",
     true},
    {"LastGlobWinsInclude",
     {"-r", "--exclude=in*", "--include=*.c", "quarn", "tree"},
     "",
     "",
     true},
    {"ExcludeDir", {"-r", "--exclude-dir=src/", "quarn", "tree"}, "", "", true},
    {"ExcludeDirOperand", {"-r", "--exclude-dir=tree", "quarn", "tree"}},
    {"RecursiveFileNames", {"-rl", "quarn", "tree"}, "", "", true},
    {"RecursiveNoFileNames", {"-rL", "quarn", "tree"}, "", "", true},
    {"RecursiveCounts", {"-rc", "quarn", "tree"}, "", "", true},
    {"RecursiveOneFileHasNoName", {"-r", "quarn", "tree/src/main.h"}},
    {"ExcludedOperand", {"--exclude=*.h", "quarn", "tree/src/main.h"}},
    {"NotIncludedOperand", {"--include=*.c", "quarn", "tree/src/main.h"}},
    {"DirectoryWithoutRecursion", {"quarn", "tree"}},
    {"DirectoryWithoutRecursionQuietly", {"-s", "quarn", "tree"}},

    // Offsets, NUL bytes after names and NUL-terminated data.
    {"ByteOffset", {"-b", "apple", "fruits.txt"}},
    {"ByteOffsetOfEachMatch", {"-b", "-o", "-n", "p", "fruits.txt"}},
    {"ByteOffsetWithContext", {"-b", "-n", "-C1", "cherry", "fruits.txt"}},
    {"NullAfterName", {"-Z", "-n", "apple", "fruits.txt", "dates.txt"}},
    {"NullAfterNameListed", {"-lZ", "apple", "fruits.txt", "dates.txt"}},
    {"NullAfterNameCounted", {"-cZ", "apple", "fruits.txt", "dates.txt"}},
    {"NullData", {"-z", "b"}, WithNuls("a\nb\0c\0xb")},
    {"NullDataCountedAndNumbered", {"-z", "-n", "-c", "c"}, WithNuls("c\0a\nc\0b\0")},
    {"NullDataIsNotBinary", {"-z", "-o", "x."}, WithNuls("x1\0x2\n")},

    // Names that are no file, and a file that cannot be read.
    {"EmptyFileName", {"apple", "", "fruits.txt"}},
    {"EmptyFileNameRecursive", {"-r", "-c", "apple", ""}},
    {"UnreadableFile", {"x", "/proc/self/mem", "fruits.txt"}},

    // Binary files.
    {"BinaryFileMatches", {"quarn", "tree/docs/data.bin", "fruits.txt"}},
    {"BinaryFileCounted", {"-c", "quarn", "tree/docs/data.bin"}},
    {"BinaryFileAsText", {"-a", "-n", "quarn", "tree/docs/data.bin"}},
    {"BinaryStandardInput", {"-o", "b"}, std::string("a\0b\n", 4)},
};

// The lines of text with a leading "grep: " or "quarn: " taken off, sorted if asked.
std::string Comparable(const std::string& text, bool sorted) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    for (const std::string name : {"grep: ", "quarn: "}) {
      if (line.starts_with(name)) line.erase(0, name.size());
    }
    lines.push_back(line);
  }
  if (sorted) std::sort(lines.begin(), lines.end());
  std::string joined;
  for (const std::string& line : lines)
    joined += line + "\n";
  return joined;
}

class AsGrep : public ::testing::TestWithParam<GrepCase> {
 protected:
  // grep's words and its idea of a word character depend on the locale.
  static void SetUpTestSuite() { setenv("LC_ALL", "C", 1); }
};

TEST_P(AsGrep, PrintsAndExitsAsGrepDoes) {
  if (std::string(QUARN_GREP).empty()) GTEST_SKIP() << "grep is not installed";
  const GrepCase& grepCase = GetParam();
  const std::string dir = std::string(QUARN_FIXTURES) + "/" + grepCase.dir;
  const RunResult quarn = RunQuarn(grepCase.args, grepCase.input, dir);
  const RunResult grep = RunProgram(QUARN_GREP, grepCase.args, grepCase.input, dir);
  EXPECT_EQ(quarn.status, grep.status);
  EXPECT_EQ(Comparable(quarn.out, grepCase.anyOrder), Comparable(grep.out, grepCase.anyOrder));
  EXPECT_EQ(Comparable(quarn.err, grepCase.anyOrder), Comparable(grep.err, grepCase.anyOrder));
}

INSTANTIATE_TEST_SUITE_P(Quarn, AsGrep, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quarn::cli_test
