// The line filter in front of the engine: it may pass over a line only when the engine would
// find no match there and meet no limit, and select one without the engine only when the
// engine would find a match there before any limit. Random patterns, searched with the flags,
// anchorings, depths and step budgets it must allow for, check exactly that; a table checks
// what it looks for and where it must stand aside.
#include <gtest/gtest.h>

#include <quarn/utf.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "line_matcher.h"
#include "prefilter.h"
#include "search_limits.h"

namespace quarn::cli {
namespace {

std::u16string Utf16(std::string_view text) {
  std::u16string out;
  Utf8ToUtf16(text, out);
  return out;
}

class RandomPattern {
 public:
  explicit RandomPattern(std::mt19937& rng) : rng_(rng) {}

  std::string Make(int depth = 0) {
    std::string out = Sequence(depth);
    while (Pick(4) == 0)
      out += "|" + Sequence(depth);
    return out;
  }

  // A plain choice of texts: literals, groups, alternations and fixed counts.
  std::string MakePlain(int depth = 0) {
    std::string out = PlainSequence(depth);
    while (Pick(3) == 0)
      out += "|" + PlainSequence(depth);
    return out;
  }

 private:
  std::mt19937& rng_;
  size_t Pick(size_t n) { return rng_() % n; }

  std::string Sequence(int depth) {
    std::string out;
    for (size_t n = 1 + Pick(4); n > 0; --n) {
      static const char* const kAtoms[] = {"a",   "b",   "c",     "-",    "A", "\\d",
                                           "\\w", "\\W", "[a-c]", "[^a]", ".", "\\.",
                                           "x",   "^",   "$",     "\\b",  "1"};
      static const char* const kCounts[] = {"",  "",    "",      "?",     "*",
                                            "+", "{2}", "{1,3}", "{0,2}", "+?"};
      const size_t atom = Pick(std::size(kAtoms) + 2);
      if (atom >= std::size(kAtoms) && depth < 2) {
        out += (atom == std::size(kAtoms) ? "(" : "(?:") + Make(depth + 1) + ")";
        out += kCounts[Pick(std::size(kCounts))][0] == '*' ? "" : "{1,2}";
        continue;
      }
      const std::string text = kAtoms[atom % std::size(kAtoms)];
      out += text;
      if (text != "^" && text != "$" && text != "\\b") out += kCounts[Pick(std::size(kCounts))];
    }
    return out;
  }

  std::string PlainSequence(int depth) {
    std::string out;
    for (size_t n = 1 + Pick(5); n > 0; --n) {
      static const char* const kAtoms[] = {"a", "b", "c", "-", "A", "x", "1", "\\.", "a{2}"};
      const size_t atom = Pick(std::size(kAtoms) + 1);
      if (atom == std::size(kAtoms) && depth < 2) {
        out += (Pick(2) ? "(" : "(?:") + MakePlain(depth + 1) + ")" + (Pick(3) ? "" : "{2}");
        continue;
      }
      out += kAtoms[atom % std::size(kAtoms)];
    }
    return out;
  }
};

std::string RandomLine(std::mt19937& rng, size_t longest) {
  static const char kAlphabet[] = "abcx-1. Ab_";
  std::string line(rng() % (longest + 1), ' ');
  for (char& c : line)
    c = kAlphabet[rng() % (sizeof kAlphabet - 1)];
  return line;
}

TEST(Prefilter, PassesOverOnlyLinesTheEngineFindsNothingIn) {
  std::mt19937 rng(20261209);
  RandomPattern patterns(rng);
  size_t passedOver = 0, selected = 0, countedOver = 0, nulFree = 0;
  for (int round = 0; round < 600; ++round) {
    MatchSettings settings;
    // A third of the rounds with plain choices of texts, which the filter may select by.
    const bool plain = round % 3 == 0;
    const auto make = [&] { return Utf16(plain ? patterns.MakePlain() : patterns.Make()); };
    settings.patterns = {make()};
    if (rng() % 4 == 0) settings.patterns.push_back(make());
    // Now and then many short words of the lines' letters, more than a fingerprint has room
    // for apart.
    static const char* const kWords[] = {"ab|ba|cx|x1|A_b|b.c|1-a|aa|bb|cc|xx", "abc|Ab|b_|x-1"};
    if (round % 10 == 1) settings.patterns = {Utf16(kWords[round / 10 % std::size(kWords)])};
    settings.flags = rng() % 2 ? reIgnoreCase : 0;
    settings.anchoring = static_cast<Anchoring>(plain ? 0 : rng() % 3);
    // The engine's own limits, a shallow depth, the tool's default limits with their step
    // budget, and a budget small enough to end a search of a line.
    switch (rng() % 4) {
      case 0:
        break;
      case 1:
        settings.limits.depth = 150;
        break;
      case 2:
        settings.maxSteps = 1 + rng() % 2000;
        break;
      default:
        const SearchLimits defaults = ResolveLimits({}, PhysicalMemory());
        settings.limits = defaults.engine;
        settings.maxSteps = defaults.maxSteps;
    }
    const auto matcher = MakeLineMatcher(settings);
    const Prefilter filter(*matcher, settings.limits, settings.maxSteps);
    if (!filter.Active()) continue;
    const Prefilter narrow(*matcher, settings.limits, settings.maxSteps, Prefilter::Vectors::Sse2);
    LineMatches found;
    std::string text;  // the lines one after another, as a block of input holds them
    for (int i = 0; i < 200; ++i) {
      std::string line = RandomLine(rng, i % 10 == 0 ? 600 : 30);
      // Now and then a run of one letter, where a start may take the most steps.
      if (i % 17 == 3) line += std::string(rng() % 400, i % 2 ? 'a' : 'A') + "b";
      // Now and then a character that is not ASCII, or a byte that is not UTF-8.
      // Now and then a NUL, which the scan tells of.
      if (i % 23 == 11) line.insert(rng() % (line.size() + 1), 1, '\0');
      if (i % 13 == 5) line.insert(rng() % (line.size() + 1), i % 2 ? "\xC3\xA9" : "\xFF");
      text += line + (i % 7 == 0 ? "\r\n" : "\n");
      // Half the lines as a binary file's, whose lines that are not UTF-8 need not be noted.
      const Prefilter::Verdict verdict = filter.Judge(line, i % 2 == 0);
      if (verdict == Prefilter::Verdict::kMaybe) continue;
      const bool yes = verdict == Prefilter::Verdict::kYes;
      (yes ? selected : passedOver) += 1;
      // Selecting a line needs its first match only.
      matcher->Find(Text(Utf16(line)), !yes, found);
      EXPECT_TRUE(found.matches.empty() != yes && !found.limit)
          << Utf16ToUtf8(settings.patterns.back()) << " (of " << settings.patterns.size()
          << ") on '" << line << "': " << (yes ? "selected" : "passed over");
    }
    // The verdicts on the lines of text[from, to), which ends with a line's end.
    const auto verdicts = [&](size_t from, size_t to) {
      std::map<Prefilter::Verdict, size_t> counts;
      for (size_t at = from; at < to;) {
        const size_t lf = text.find('\n', at);
        const size_t end = lf > at && text[lf - 1] == '\r' ? lf - 1 : lf;
        ++counts[filter.Judge(std::string_view(text).substr(at, end - at))];
        at = lf + 1;
      }
      return counts;
    };
    // Skippable passes over whole lines that MayMatch passes over, and stops at one it does
    // not (or at the end of the whole lines); it counts the lines it passes over.
    for (size_t start = 0; start < text.size();) {
      const Prefilter::Skip found = filter.Skippable(std::string_view(text).substr(start));
      const auto [skip, lines] = std::pair(found.bytes, found.lines);
      // SSE2 alone passes over the same (where the processor has wider vectors).
      const Prefilter::Skip narrowSkip = narrow.Skippable(std::string_view(text).substr(start));
      EXPECT_EQ(narrowSkip.bytes, skip);
      EXPECT_EQ(narrowSkip.lines, lines);
      EXPECT_EQ(narrowSkip.stopped, found.stopped);
      // Where it tells of no NUL among the bytes it passes over, there is none.
      for (const Prefilter::Skip& scan : {found, narrowSkip}) {
        EXPECT_TRUE(!scan.nulFree || text.find('\0', start) >= start + scan.bytes);
      }
      nulFree += found.nulFree && found.bytes > 0;
      ASSERT_TRUE(skip == 0 || text[start + skip - 1] == '\n');
      // It runs to the end of the text only when no line is left.
      EXPECT_EQ(found.stopped, start + skip < text.size());
      // The place it stopped at (which may be another stretch's, by SSE2 alone) tells Judge
      // what looking for the stretches would.
      for (const size_t anchor : {found.anchor, narrowSkip.anchor}) {
        if (anchor == std::string_view::npos) continue;
        const size_t lf = text.find('\n', start + skip);
        std::string_view next = std::string_view(text).substr(start + skip, lf - start - skip);
        if (!next.empty() && next.back() == '\r') next.remove_suffix(1);
        EXPECT_EQ(filter.Judge(next, true, anchor), filter.Judge(next)) << next;
      }
      EXPECT_EQ(lines, static_cast<size_t>(
                           std::count(text.begin() + static_cast<ptrdiff_t>(start),
                                      text.begin() + static_cast<ptrdiff_t>(start + skip), '\n')));
      EXPECT_EQ(verdicts(start, start + skip)[Prefilter::Verdict::kNo], lines);
      // Counting, it passes over lines that Judge selects too, and counts them apart (where
      // it can tell them from the scan: the widest vectors may tell more).
      for (const Prefilter* counting : {&filter, &narrow}) {
        const Prefilter::Skip counted =
            counting->Skippable(std::string_view(text).substr(start), true);
        ASSERT_GE(counted.bytes, skip);
        ASSERT_TRUE(counted.bytes == 0 || text[start + counted.bytes - 1] == '\n');
        auto passed = verdicts(start, start + counted.bytes);
        EXPECT_EQ(passed[Prefilter::Verdict::kYes], counted.selected);
        EXPECT_EQ(passed[Prefilter::Verdict::kNo] + counted.selected, counted.lines);
        EXPECT_TRUE(!counted.nulFree || text.find('\0', start) >= start + counted.bytes);
        countedOver += counted.selected;
      }
      start += skip;
      if (start == text.size()) break;
      start = text.find('\n', start) + 1;  // a line that may match is searched
    }
  }
  EXPECT_GT(passedOver, 10000u);
  EXPECT_GT(selected, 1000u);
  EXPECT_GT(countedOver, 1000u);
  EXPECT_GT(nulFree, 1000u);
}

TEST(Prefilter, FindsEachOfManyWordsOnItsOwn) {
  // More words than a fingerprint has room for apart, each alone on a line among lines of
  // letters that none begins with: every scan stops at the next word, with either vectors.
  static const char* const kWords[] = {"jq", "kv", "wx",  "Zy",  "qj", "vk", "xw",
                                       "yz", "jk", "vwx", "QJK", "yq", "Kz"};
  std::string alternation;
  for (const char* word : kWords)
    alternation += (alternation.empty() ? "" : "|") + std::string(word);
  std::string text;
  for (const char* word : kWords)
    text += std::string(150, 'e') + "\n" + "abc " + word + " def\n" + "ffff\n";
  for (const int32_t flags : {0, reIgnoreCase}) {
    MatchSettings settings;
    settings.patterns = {Utf16(alternation)};
    settings.flags = flags;
    settings.limits = ResolveLimits({}, PhysicalMemory()).engine;
    const auto matcher = MakeLineMatcher(settings);
    for (const auto vectors : {Prefilter::Vectors::Widest, Prefilter::Vectors::Sse2}) {
      const Prefilter filter(*matcher, settings.limits, 0, vectors);
      ASSERT_TRUE(filter.Active());
      size_t start = 0;
      for (const char* word : kWords) {
        start += filter.Skippable(std::string_view(text).substr(start)).bytes;
        EXPECT_EQ(text.substr(start, 4 + std::string_view(word).size()), "abc " + std::string(word))
            << word << " " << flags << " " << (vectors == Prefilter::Vectors::Sse2);
        start = text.find('\n', start) + 1;
      }
    }
  }
}

struct FilterCase {
  const char* pattern;
  int32_t flags;
  std::string line;
  bool active;
  bool mayMatch;  // when active
};

TEST(Prefilter, LooksForWhatEveryMatchHoldsAndStandsAsideWhereItCannotTell) {
  const std::string kLong(40000, 'x');
  const FilterCase cases[] = {
      {"Free Software", 0, "free software", true, false},
      {"Free Software", reIgnoreCase, "FREE SOFTWARE", true, true},
      {"\xE2\x84\xAA", reIgnoreCase, "k", true, true},  // the Kelvin sign folds to "k"
      {"GNU|Debian", 0, "a Debian box", true, true},
      {"GNU|Debian", 0, "a linux box", true, false},
      {"(?:GNU|Debian)+ing", 0, "a linux box", true, false},
      {"[0-9]{4}-[0-9]{4}", 0, "in 2001 2", true, false},
      {"[0-9]{4}-[0-9]{4}", 0, "pre-war", true, false},  // a "-" but no digit to begin with
      {"\\d+", 0, "in 2001", true, true},                // the first characters, when few
      {"\\d+", 0, "in two", true, false},
      {"w", reIgnoreCase, "caf\xC3\xA9", true, true},  // not ASCII: the engine decides
      {"Xyzzyq", 0, "caf\xC3\xA9 bar", true, false},   // an ASCII text, compared exactly
      {"Xyzzyq", 0, "caf\xC3\xA9 Xyzzyq", true, true},
      {"Xyzzyq", 0, "caf\xFF bar", true, true},             // not UTF-8: decoded to be noted
      {"Xyzzyq", reIgnoreCase, "caf\xC3\xA9", true, true},  // something may fold to ASCII
      {"\\w+ing", 0, "\xC3\xA9t\xC3\xA9", true, false},     // "ing" rules it out
      {"\\d+", 0, "\xC3\xA9t\xC3\xA9", true, false},        // ASCII first characters
      {"[a\xC3\xA9]", 0, "\xC3\xA9t\xC3\xA9", true, true},  // a first one that is not
      {"\xC3\xA9", 0, "cafe", true, false},                 // no ASCII line holds it
      {"b", 0, kLong, true, true},                          // as long as the length limit
      {"a.*z", 0, std::string(600, 'a'), true, true},       // deep enough for the depth limit
      {"a.*z", 0, std::string(400, 'a'), true, false},      // not deep enough
      {"(a)\\1", 0, "bb", true, false},
      {"a(?=b)", 0, "bb", true, false},
      {"\\n", 0, "a\r", true, false},    // a line holds no LF
      {"a|b*", 0, "", false, true},      // may match the empty string
      {"\\w+", 0, "", false, true},      // too many lines hold one to be worth a look
      {"a{3,1}|b", 0, "", false, true},  // a fault
      {"(a|$)*b", 0, "", false, true},   // an empty loop goes as deep as the limit
  };
  for (const FilterCase& c : cases) {
    const MatchSettings settings{{Utf16(c.pattern)}, c.flags, Anchoring::Anywhere, {}};
    const Prefilter filter(*MakeLineMatcher(settings), settings.limits);
    EXPECT_EQ(filter.Active(), c.active) << c.pattern;
    if (filter.Active()) {
      EXPECT_EQ(filter.MayMatch(c.line), c.mayMatch) << c.pattern;
    }
  }
  // In a binary file a line that is not UTF-8 is ruled out as a valid one would be.
  const MatchSettings literal{{u"Xyzzyq"}, 0, Anchoring::Anywhere, {}};
  const Prefilter filter(*MakeLineMatcher(literal), literal.limits);
  EXPECT_TRUE(filter.MayMatch("caf\xFF bar", true));
  EXPECT_FALSE(filter.MayMatch("caf\xFF bar", false));
  EXPECT_TRUE(filter.MayMatch("caf\xFF Xyzzyq", false));
}

}  // namespace
}  // namespace quarn::cli
