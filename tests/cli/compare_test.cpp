// quarn against grep -E and ripgrep on a generated corpus: for patterns that the three
// languages read alike (ASCII text, no escapes that differ), every common option must print
// what the other tools print; with grep the exit status must agree too (ripgrep's differs for
// -L). The corpus is made from a fixed seed: words, numbers, punctuation, empty lines and a
// long line, in a small tree of files of several types.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "run_quarn.h"

namespace quarn::cli_test {
namespace {

const char* const kWords[] = {"alpha",  "beta",    "gamma", "colour",  "color", "foo",    "bar",
                              "foobar", "foo_bar", "x",     "xx",      "xxx",   "abc",    "abd",
                              "a.c",    "the",     "The",   "THE",     "int",   "main()", "12",
                              "345",    "2024-03", "end;",  "{",       "}",     "-",      "ab",
                              "cd",     "abcd",    "cdab",  "path/to", "#if",   "Alpha",  "tab\tx"};

// A line of up to a dozen words, or sometimes an empty one.
std::string Line(std::mt19937& rng) {
  std::string line;
  const size_t words = rng() % 13;
  for (size_t i = 0; i < words; ++i) {
    if (i > 0) line += rng() % 5 == 0 ? "" : " ";
    line += kWords[rng() % std::size(kWords)];
  }
  return line;
}

class Corpus {
 public:
  Corpus() {
    std::mt19937 rng(20261209);
    const char* const files[] = {"src/main.c", "src/util.h",  "src/deep/more.c",
                                 "notes.txt",  "docs/a.md",   "docs/b.md",
                                 "data.txt",   "src/list.py", "empty.txt"};
    for (const char* name : files) {
      std::string text;
      const int lines = std::string(name) == "empty.txt" ? 0 : 40 + static_cast<int>(rng() % 60);
      for (int i = 0; i < lines; ++i)
        text += Line(rng) + "\n";
      if (std::string(name) == "data.txt") {  // a long line among the others
        std::string longLine;
        while (longLine.size() < 20000)
          longLine += Line(rng) + " ";
        text += longLine + "\n" + Line(rng);  // and a last line without a line break
      }
      const std::filesystem::path path = std::filesystem::path(dir_.path()) / name;
      std::filesystem::create_directories(path.parent_path());
      dir_.Write(name, text);
    }
  }
  const std::string& path() const { return dir_.path(); }

 private:
  ScratchDir dir_;
};

const Corpus& TheCorpus() {
  static const Corpus corpus;
  return corpus;
}

// The patterns, as all three read them. The last two may match the empty string, where
// ripgrep's -o and --replace differ (see below): there they are compared with grep alone.
const char* const kPatterns[] = {"foo",    "foo|bar", "colou?r",   "a.c",        "^the",
                                 "end;$",  "x{2,3}",  "(ab|cd)+",  "[0-9]+",     "\\bfoo\\b",
                                 "[A-Z]+", "b[^a ]",  "\\w+_\\w+", "main\\(\\)", "e[a-z]*a",
                                 "zzz",    "^$",      "a|"};
constexpr size_t kEmptyMatches = 2;

struct Options {
  const char* name;
  std::vector<std::string> args;
  bool ripgrep = true;  // ripgrep 13 answers -o -w otherwise: "HE" for [A-Z]+ in "THE"
  bool grep = true;     // grep has no --column
};

const Options kOptions[] = {
    {"Lines", {"-n"}},
    {"Only", {"-o", "-n"}},
    {"Count", {"-c"}},
    {"FilesWith", {"-l"}},
    {"FilesWithout", {"-L"}},
    {"Words", {"-w", "-n"}},
    {"WordsOnly", {"-o", "-w"}, false},
    {"WholeLines", {"-x", "-c"}},
    {"Context", {"-C2", "-n"}},
    {"After", {"-A1"}},
    {"Before", {"-B3", "-n"}},
    {"IgnoreCase", {"-i", "-o"}},
    {"Inverted", {"-v", "-c"}},
    {"MaxCount", {"-m2", "-n"}},
    {"Replaced", {"--replace", "<$0>", "-n"}, true, false},
    {"ReplacedOnly", {"--replace", "[$0]", "-o"}, true, false},
    {"Column", {"--column", "-n"}, true, false},
    {"ColumnOfEachMatch", {"--column", "-n", "-o"}, true, false},
};

const std::vector<std::string> kFiles = {"notes.txt", "data.txt", "src/main.c", "empty.txt"};

// The lines of text, sorted if asked, with each tool's name taken off its messages.
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

// Where two outputs part, briefly: the first line that differs in each.
std::string Difference(const std::string& ours, const std::string& theirs) {
  std::istringstream a(ours), b(theirs);
  for (int line = 1;; ++line) {
    std::string x, y;
    const bool moreA = static_cast<bool>(std::getline(a, x));
    const bool moreB = static_cast<bool>(std::getline(b, y));
    if (!moreA && !moreB) return "";
    if (x != y || moreA != moreB) {
      return "line " + std::to_string(line) + ": quarn '" + (moreA ? x : "(end)") +
             "', the other '" + (moreB ? y : "(end)") + "'";
    }
  }
}

// ripgrep's spelling of the same request: its counts include files without a match only
// when asked, its -L follows links, and it searches directories without -r.
std::vector<std::string> ForRipgrep(std::vector<std::string> args) {
  if (std::find(args.begin(), args.end(), "-c") != args.end()) args.push_back("--include-zero");
  std::replace(args.begin(), args.end(), std::string("-L"), std::string("--files-without-match"));
  args.insert(args.begin(), {"--no-config", "-j1", "--sort=path"});
  return args;
}

class AsGrepAndRipgrep : public ::testing::TestWithParam<Options> {
 protected:
  // grep's words and its idea of a word character depend on the locale.
  static void SetUpTestSuite() { setenv("LC_ALL", "C", 1); }

  void Compare(const std::vector<std::string>& quarnArgs, const std::vector<std::string>& grepArgs,
               const std::vector<std::string>& rgArgs, bool sorted, bool withRipgrep,
               bool withGrep) {
    const std::string& dir = TheCorpus().path();
    const RunResult quarn = RunQuarn(quarnArgs, "", dir);
    const std::string what = ::testing::PrintToString(quarnArgs);
    if (!std::string(QUARN_GREP).empty() && withGrep) {
      const RunResult grep = RunProgram(QUARN_GREP, grepArgs, "", dir);
      EXPECT_EQ(quarn.status, grep.status) << what;
      EXPECT_EQ(Difference(Comparable(quarn.out, sorted), Comparable(grep.out, sorted)), "")
          << what;
    }
    if (!std::string(QUARN_RG).empty() && withRipgrep) {
      const RunResult rg = RunProgram(QUARN_RG, ForRipgrep(rgArgs), "", dir);
      EXPECT_EQ(Difference(Comparable(quarn.out, sorted), Comparable(rg.out, sorted)), "")
          << "rg " << what;
    }
    ++compared_;
  }

  int compared_ = 0;
};

TEST_P(AsGrepAndRipgrep, PrintTheSameForEveryPattern) {
  if (std::string(QUARN_GREP).empty() && std::string(QUARN_RG).empty()) {
    GTEST_SKIP() << "neither grep nor ripgrep is installed";
  }
  const Options& options = GetParam();
  for (size_t i = 0; i < std::size(kPatterns); ++i) {
    const char* pattern = kPatterns[i];
    // Empty matches: ripgrep prints them with -o, and after a match it takes none where
    // that match ended, where the engine's next search starts.
    const auto given = [&](const char* option) {
      return std::find(options.args.begin(), options.args.end(), option) != options.args.end();
    };
    const bool onlyMatches = given("-o") || given("--replace");
    const bool withRipgrep =
        options.ripgrep && (!onlyMatches || i + kEmptyMatches < std::size(kPatterns));
    std::vector<std::string> args = options.args;
    args.push_back("-e");
    args.push_back(pattern);
    args.insert(args.end(), kFiles.begin(), kFiles.end());
    std::vector<std::string> grep = args;
    grep.insert(grep.begin(), "-E");
    Compare(args, grep, args, false, withRipgrep, options.grep);
  }
  EXPECT_EQ(compared_, static_cast<int>(std::size(kPatterns)));
}

INSTANTIATE_TEST_SUITE_P(Corpus, AsGrepAndRipgrep, ::testing::ValuesIn(kOptions),
                         [](const auto& info) { return std::string(info.param.name); });

struct WalkCase {
  const char* name;
  std::vector<std::string> quarn;  // after -r
  std::vector<std::string> grep;   // after -r
  std::vector<std::string> rg;
};

TEST(AsGrepAndRipgrepWalking, GlobsChooseTheSameFiles) {
  const WalkCase cases[] = {
      {"AllFiles", {}, {}, {}},
      {"OneType", {"--glob=*.c"}, {"--include=*.c"}, {"-g", "*.c"}},
      {"TwoTypes",
       {"-g", "*.c", "-g", "*.md"},
       {"--include=*.c", "--include=*.md"},
       {"-g", "*.c", "-g", "*.md"}},
      {"AllButOne", {"--glob=!*.md"}, {"--exclude=*.md"}, {"-g", "!*.md"}},
      {"ADirectoryLeftOut", {"--glob=!deep"}, {"--exclude-dir=deep"}, {"-g", "!deep"}},
      {"FileType", {"-t", "c"}, {"--include=*.[chH]"}, {"-t", "c"}},
      {"NotAFileType", {"--type-not=markdown"}, {"--exclude=*.md"}, {"-T", "markdown"}},
  };
  for (const char* pattern : {"foo", "^the", "x{2,3}"}) {
    for (const WalkCase& c : cases) {
      for (const std::vector<std::string>& output :
           std::vector<std::vector<std::string>>{{"-l"}, {"-c"}, {"-n", "-o"}}) {
        std::vector<std::string> quarn = {"-r"}, grep = {"-r", "-E"}, rg;
        for (auto* args : {&quarn, &grep, &rg})
          args->insert(args->end(), output.begin(), output.end());
        quarn.insert(quarn.end(), c.quarn.begin(), c.quarn.end());
        grep.insert(grep.end(), c.grep.begin(), c.grep.end());
        rg.insert(rg.end(), c.rg.begin(), c.rg.end());
        for (auto* args : {&quarn, &grep, &rg}) {
          args->push_back(pattern);
          args->push_back(".");
        }
        const std::string& dir = TheCorpus().path();
        const std::string what = std::string(c.name) + " " + ::testing::PrintToString(quarn);
        const RunResult ours = RunQuarn(quarn, "", dir);
        if (!std::string(QUARN_GREP).empty()) {
          const RunResult theirs = RunProgram(QUARN_GREP, grep, "", dir);
          EXPECT_EQ(ours.status, theirs.status) << what;
          EXPECT_EQ(Difference(Comparable(ours.out, true), Comparable(theirs.out, true)), "")
              << what;
        }
        if (!std::string(QUARN_RG).empty()) {
          const RunResult theirs = RunProgram(QUARN_RG, ForRipgrep(rg), "", dir);
          EXPECT_EQ(Difference(Comparable(ours.out, true), Comparable(theirs.out, true)), "")
              << "rg " << what;
        }
      }
    }
  }
}

}  // namespace
}  // namespace quarn::cli_test
