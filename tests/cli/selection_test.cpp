// The lines quarn selects are exactly the lines the engine matches: random patterns of every
// construct (syntax faults and constructs that draw warnings included), one or two at a time,
// with and without -i, -v and one of -w and -x, over random inputs of several lines (lines all
// ASCII and lines with other characters, CR LF endings, a long line, a last line without a line
// break), read as UTF-8 and with --latin1. Each line's answer is
// asked of the engine directly (for -x a match of the whole line, for -w a search with word edges);
// a pattern the engine diagnoses with a fault must end the run with 2 before anything is printed.
#include <gtest/gtest.h>
#include <quarn/pattern.h>
#include <quarn/quarn.h>
#include <quarn/utf.h>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "run_quarn.h"

namespace quarn::cli_test {
namespace {

class RandomPattern {
 public:
  explicit RandomPattern(std::mt19937& rng) : rng_(rng) {}

  std::string Next() {
    std::string pattern = Alternation(3);
    if (Chance(12)) {  // a stray character of the syntax anywhere, often a fault
      const std::string stray = "()[]{}\\|*+?^$";
      pattern.insert(Pick(pattern.size() + 1), 1, stray[Pick(stray.size())]);
    }
    return pattern;
  }

 private:
  std::mt19937& rng_;

  size_t Pick(size_t n) { return rng_() % n; }
  bool Chance(size_t oneIn) { return Pick(oneIn) == 0; }

  // A construct that the engine refuses where a search reaches it.
  std::string Fault() {
    static const char* const kFaults[] = {"\\1", "\\2", "[z-a]", "x{3,1}", "(", "\\"};
    return kFaults[Pick(std::size(kFaults))];
  }

  std::string Atom() {
    if (Chance(60)) return Fault();
    static const char* const kAtoms[] = {
        "a",        "b",     "c",     "x",     "\xC3\xA9", "ab",          "abc",    ".",   "\\w",
        "\\W",      "\\d",   "\\s",   "[a-c]", "[^ab]",    "[xé]",        "\\.",    "\\b", "\\B",
        "^",        "$",     "\\A",   "\\Z",   "\\z",      "[[:alpha:]]", "\\p{L}", ".*",  "[^x]+",
        "\\Q.a\\E", "(?#c)", "\\x61", "\\n",   " ",        "-",           "A",
    };
    return kAtoms[Pick(std::size(kAtoms))];
  }

  std::string Quantifier() {
    static const char* const kQuantifiers[] = {"*",  "+",  "?",   "{2}", "{1,3}",
                                               "*?", "+?", "{0}", "{,2}"};
    return Chance(3) ? kQuantifiers[Pick(std::size(kQuantifiers))] : "";
  }

  std::string Item(int depth) {
    if (depth > 0 && Chance(4)) {
      static const char* const kOpen[] = {"(", "(?:", "(?=", "(?!"};
      return kOpen[Pick(std::size(kOpen))] + Alternation(depth - 1) + ")" + Quantifier();
    }
    return Atom() + Quantifier();
  }

  std::string Alternation(int depth) {
    std::string text;
    const size_t alternatives = 1 + (Chance(3) ? Pick(3) : 0);
    for (size_t a = 0; a < alternatives; ++a) {
      if (a > 0) text += "|";
      const size_t items = 1 + Pick(4);
      for (size_t i = 0; i < items; ++i)
        text += Item(depth);
    }
    return text;
  }
};

// Lines of a few characters, and sometimes a long one; LF or CR LF after each, and sometimes
// none after the last.
std::vector<std::string> RandomLines(std::mt19937& rng) {
  static const char* const kCharacters[] = {"a", "b", "c", "x",  "A",
                                            " ", "-", "1", "\t", "\xC3\xA9"};
  std::vector<std::string> lines(1 + rng() % 6);
  for (std::string& line : lines) {
    const size_t length = rng() % 20 == 0 ? 2000 : rng() % 12;
    for (size_t i = 0; i < length; ++i)
      line += kCharacters[rng() % std::size(kCharacters)];
  }
  return lines;
}

bool Faulty(const Pattern& pattern) {
  for (const Diagnostic& d : pattern.diagnostics()) {
    if (d.severity == Severity::kError) return true;
  }
  return false;
}

// A repetition of what can match nothing runs to the depth limit, which by default is as deep
// as memory allows: not a pattern for a quick test.
bool LoopsInPlace(const Pattern& pattern) {
  for (const Diagnostic& d : pattern.diagnostics()) {
    if (d.code == "empty-loop") return true;
  }
  return false;
}

// The line numbers in the output of quarn -n.
std::set<size_t> Numbers(const std::string& out) {
  std::set<size_t> numbers;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    numbers.insert(std::stoul(line.substr(0, line.find(':'))));
  return numbers;
}

struct Tally {
  int compared = 0;  // runs whose selection was compared line by line
  int faults = 0;    // runs refused for a fault of a pattern
  int words = 0;     // compared runs with -w
  int lines = 0;     // compared runs with -x
  int cut = 0;       // compared runs in which a limit cut the search of a line short
  int ascii = 0;     // compared lines all ASCII
  int other = 0;     // compared lines with other characters
};

bool Ascii(const std::string& line) {
  return std::all_of(line.begin(), line.end(), [](char c) { return (c & 0x80) == 0; });
}

// rounds random runs of quarn with the extra options, each compared with the engine's
// answers under limits (on each line's characters as UTF-8, or with --latin1 its bytes); with
// longLines, each input has a line of more than 1,200 characters. A line whose search a limit cuts
// short is neither selected nor passed over, and the run then exits with 2.
Tally CompareSelections(uint32_t seed, int rounds, const std::vector<std::string>& options,
                        const Limits& limits, bool longLines) {
  std::mt19937 rng(seed);
  RandomPattern random(rng);
  const bool latin1 = std::find(options.begin(), options.end(), "--latin1") != options.end();
  const ScratchDir dir;
  Tally tally;
  for (int round = 0; round < rounds; ++round) {
    const bool ignoreCase = rng() % 3 == 0, invert = rng() % 5 == 0;
    const uint32_t edge = rng() % 8;
    const bool whole = edge < 2, word = edge == 2 || edge == 3;
    const int32_t flags = ignoreCase ? reIgnoreCase : 0;
    std::vector<std::string> patterns{random.Next()};
    if (rng() % 4 == 0) patterns.push_back(random.Next());
    std::vector<Pattern> compiled;
    bool faulty = false, loops = false;
    for (const std::string& p : patterns) {
      compiled.emplace_back(std::string_view(p), flags, word ? Edges::kWord : Edges::kAnywhere);
      faulty |= Faulty(compiled.back());
      loops |= LoopsInPlace(compiled.back());
    }
    if (loops && !faulty) continue;
    std::vector<std::string> lines = RandomLines(rng);
    if (longLines) {  // one line long enough for the depth limit of a repeated atom
      std::string line;
      while (line.size() < 1200)
        line += lines[0] + " ";
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(rng() % lines.size()), line + "ab");
    }
    std::string input;
    for (size_t i = 0; i < lines.size(); ++i) {
      // An empty last line without a line break is no line at all.
      const bool unended = i + 1 == lines.size() && !lines[i].empty() && rng() % 3 == 0;
      input += lines[i] + (unended ? "" : rng() % 4 == 0 ? "\r\n" : "\n");
    }
    dir.Write("input.txt", input);
    std::vector<std::string> args = options;
    args.push_back("-n");
    if (ignoreCase) args.push_back("-i");
    if (whole) args.push_back("-x");
    if (word) args.push_back("-w");
    if (invert) args.push_back("-v");
    for (const std::string& p : patterns) {
      args.push_back("-e");
      args.push_back(p);
    }
    args.push_back("input.txt");
    const RunResult result = RunQuarn(args, "", dir.path());
    std::string call = "quarn";
    for (const std::string& arg : args)
      call += " '" + arg + "'";
    if (faulty) {
      ++tally.faults;
      EXPECT_EQ(result.status, 2) << call;
      EXPECT_EQ(result.out, "") << call;
      continue;
    }
    std::set<size_t> expected;
    bool cut = false;
    for (size_t i = 0; i < lines.size(); ++i) {
      std::u16string line;
      if (latin1) {
        line = Latin1ToUtf16(lines[i]);
      } else {
        Utf8ToUtf16(lines[i], line);
      }
      ++(Ascii(lines[i]) ? tally.ascii : tally.other);
      // The patterns are tried in order until one matches.
      bool matched = false, undecided = false;
      for (size_t p = 0; p < compiled.size() && !matched; ++p) {
        const SearchResult r =
            whole ? compiled[p].fullMatch(line, 0, limits) : compiled[p].search(line, 0, limits);
        matched = r.matched();
        undecided |= r.error().has_value();
      }
      cut |= undecided;
      if (matched ? !invert : invert && !undecided) expected.insert(i + 1);
    }
    ++tally.compared;
    tally.words += word ? 1 : 0;
    tally.lines += whole ? 1 : 0;
    tally.cut += cut ? 1 : 0;
    EXPECT_EQ(Numbers(result.out), expected) << call << "\n" << input;
    EXPECT_EQ(result.status, cut ? 2 : expected.empty() ? 1 : 0) << call << "\n" << result.err;
  }
  return tally;
}

TEST(LineSelection, TheLinesSelectedAreTheLinesTheEngineMatches) {
  // The tool's default limits reach as far as these on such short lines.
  const Tally tally = CompareSelections(20261209, 400, {}, Limits{1u << 20, UINT32_MAX}, false);
  // The random patterns reach every path: many compared selections, with -w and -x too, and
  // faults.
  EXPECT_GT(tally.compared, 200);
  EXPECT_GT(tally.words, 40);
  EXPECT_GT(tally.lines, 40);
  EXPECT_GT(tally.faults, 40);
  EXPECT_GT(tally.ascii, 200);
  EXPECT_GT(tally.other, 200);
}

TEST(LineSelection, ReadAsLatin1TheLinesSelectedAreTheLinesTheEngineMatchesOnTheirBytes) {
  const Tally tally =
      CompareSelections(20261211, 200, {"--latin1"}, Limits{1u << 20, UINT32_MAX}, false);
  EXPECT_GT(tally.compared, 100);
  EXPECT_GT(tally.other, 100);  // lines whose bytes are not UTF-8's characters
}

TEST(LineSelection, WithTheHostLimitsTheLinesSelectedAreThoseTheEngineMatchesUnderThem) {
  const Tally tally = CompareSelections(20261210, 200, {"--host-limits"}, Limits{}, true);
  EXPECT_GT(tally.compared, 100);
  EXPECT_GT(tally.cut, 5);
}

}  // namespace
}  // namespace quarn::cli_test
