// Matches on a whole line or a whole word (quarn/edges.h), on the readings of the pattern
// language that a wrapping of the pattern's text gets wrong or cannot express: a ")" that
// closes nothing, "\Q" without "\E", a backslash that ends the pattern, alternation at the top
// level, empty matches, CR LF before the end, lookaheads at the end, and a match that begins
// inside a word. Groups, errors and diagnostics stay those of the pattern as given.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "quarn/pattern.h"
#include "quarn/quarn.h"
#include "quarn/utf.h"

namespace {

using quarn::Edges;
using quarn::Pattern;
using Span = std::optional<std::pair<size_t, size_t>>;

constexpr Span kNone = std::nullopt;

Span Whole(const quarn::SearchResult& r) {
  if (!r) return std::nullopt;
  return std::pair{r.match().start(), r.match().end()};
}

std::string Name(Edges edges) {
  return edges == Edges::kLine ? "line" : "word";
}

TEST(MatchEdges, WholeLinesAndWordsOverTheDialectsAwkwardReadings) {
  struct Case {
    const char16_t* pattern;
    Edges edges;
    const char16_t* text;
    Span match;
    int32_t flags = 0;
  };
  using P = std::pair<size_t, size_t>;
  const std::vector<Case> cases = {
      // Top-level alternation: the first path ends too early, the second is tried.
      {u"a|ab", Edges::kLine, u"ab", P{0, 2}},
      {u"a|ab", Edges::kWord, u"ab c", P{0, 2}},
      {u"b|a", Edges::kLine, u"ab", kNone},  // a line match begins at the start
      {u"(a|ab)(c|bcd)", Edges::kLine, u"abcd", P{0, 4}},
      // A ")" that closes nothing is the character itself and stays inside.
      {u"a)", Edges::kLine, u"a)", P{0, 2}},
      {u"a)", Edges::kLine, u"a", kNone},
      {u"(a))|x", Edges::kLine, u"x", P{0, 1}},
      {u"a)", Edges::kWord, u"ba) a)", P{4, 6}},
      // A "]" first in a bracket expression is a member, and so are a "(" and ")" after it.
      {u"[])(]+", Edges::kLine, u")(]", P{0, 3}},
      {u"[])(]+", Edges::kWord, u"a)( )(", P{2, 3}},
      {u"x[^](]", Edges::kLine, u"xa", P{0, 2}},
      // "\Q" without "\E" quotes to the end of the pattern, not past it.
      {u"\\Qa(b", Edges::kLine, u"a(b", P{0, 3}},
      {u"\\Qa)", Edges::kLine, u"a)", P{0, 2}},
      {u"\\Q.x", Edges::kWord, u"a.x .x", P{4, 6}},
      // A backslash that ends the pattern matches only at the end of the subject.
      {u"a\\", Edges::kLine, u"a", P{0, 1}},
      {u"a\\", Edges::kLine, u"a\r\n", kNone},
      {u"a|b\\", Edges::kLine, u"a\r\n", P{0, 1}},
      {u"a\\", Edges::kWord, u"ba a", P{3, 4}},
      {u"a\\", Edges::kWord, u"a b", kNone},
      // Empty matches.
      {u"", Edges::kLine, u"", P{0, 0}},
      {u"", Edges::kLine, u"x", kNone},
      {u"x*", Edges::kLine, u"\r\n", P{0, 0}},
      {u"", Edges::kWord, u"ab", kNone},
      {u"", Edges::kWord, u"a ", P{2, 2}},  // at 1 the character before is a word's
      // CR LF before the end of the subject.
      {u"abc", Edges::kLine, u"abc\r\n", P{0, 3}},
      {u"abc", Edges::kLine, u"abc\r\n\r\n", kNone},
      {u"a", Edges::kWord, u"a\r\n", P{0, 1}},
      // Lookaheads at the end see past the match.
      {u"a(?=b)", Edges::kLine, u"ab", kNone},
      {u"a(?=\\n)", Edges::kLine, u"a\r\n", P{0, 1}},
      {u"a(?=b)", Edges::kWord, u"ab", kNone},
      {u"a(?= )", Edges::kWord, u"a b", P{0, 1}},
      {u"a(?!b)", Edges::kWord, u"ac a", P{3, 4}},
      // A word neither begins nor ends inside a word.
      {u"cat", Edges::kWord, u"concat cat", P{7, 10}},
      {u"cat", Edges::kWord, u"cats cat", P{5, 8}},
      {u"cat", Edges::kWord, u"cat_", kNone},
      {u"\\w+", Edges::kWord, u"-ab-", P{1, 3}},
      {u"b", Edges::kWord, u"\u00FFb b", P{3, 4}},  // U+00FF is a word character
      {u"x", Edges::kWord, u"\u0178x", P{1, 2}},
      {u"x", Edges::kWord, u"\u0178x", kNone, quarn::reIgnoreCase},  // folded, it is U+00FF
  };
  for (const Case& c : cases) {
    const Pattern pattern(c.pattern, c.flags, c.edges);
    ASSERT_TRUE(pattern.ok()) << quarn::Utf16ToUtf8(c.pattern);
    EXPECT_EQ(Whole(pattern.search(c.text)), c.match)
        << Name(c.edges) << " /" << quarn::Utf16ToUtf8(c.pattern) << "/ on \""
        << quarn::Utf16ToUtf8(c.text) << "\"";
  }
}

TEST(MatchEdges, GroupsKeepTheirNumbersAndReplacementsTheirMeaning) {
  const Pattern line(u"(a)(b)?(c|cd)", 0, Edges::kLine);
  ASSERT_EQ(line.groupCount(), 3);
  const quarn::SearchResult r = line.search(u"acd");
  ASSERT_TRUE(r);
  EXPECT_EQ(r.match().group(1), u"a");
  EXPECT_FALSE(r.match().matched(2));
  EXPECT_EQ(r.match().group(3), u"cd");  // "c" first, then "cd" for the end
  EXPECT_EQ(r.match().expand(u"$3$1"), u"cda");

  const Pattern word(u"(\\w)(\\w*)", 0, Edges::kWord);
  EXPECT_EQ(word.replace(u"ab, cd", u"$2$1").text, u"ba, dc");
}

TEST(MatchEdges, AnchoredCallsAndRepeatedSearchesKeepTheEdges) {
  const Pattern word(u"b", 0, Edges::kWord);
  EXPECT_FALSE(word.match(u"ab b", 1));  // it begins inside a word
  EXPECT_EQ(Whole(word.match(u"ab b", 3)), (Span{{3, 4}}));
  EXPECT_EQ(Whole(word.search(u"ab b", 1)), (Span{{3, 4}}));
  EXPECT_EQ(Whole(word.search("ab b\xC3\xBF b")), (Span{{6, 7}}));  // units; U+00FF is a word's
  EXPECT_EQ(Whole(word.search(quarn::Text("ab b"))), (Span{{3, 4}}));
  std::vector<size_t> starts;
  for (const quarn::Match& m : word.matches(u"b ab bb b"))
    starts.push_back(m.start());
  EXPECT_EQ(starts, (std::vector<size_t>{0, 8}));

  const Pattern line(u"a+", 0, Edges::kLine);
  EXPECT_FALSE(line.search(u"aa", 1));  // a whole line begins at the start of the subject
  EXPECT_EQ(Whole(line.fullMatch(u"aa")), (Span{{0, 2}}));
}

TEST(MatchEdges, ErrorsAndDiagnosticsAreThoseOfThePatternAsGiven) {
  struct Case {
    const char16_t* pattern;
    const char16_t* text;
  };
  const std::vector<Case> cases = {
      {u"a)[z-a]", u"a)b"},  // after the ")" that stands for itself
      {u"\\Qa)\\Ex{3,1}", u"a)x"},
      {u"(a", u"a"},  // does not compile
      {u"a)|(b", u"b"},
      {u"b|x{2,1}\\", u"x"},  // after the alternative with the final backslash
  };
  for (const Case& c : cases) {
    const Pattern given(c.pattern);
    const quarn::SearchResult plain = given.search(c.text);
    ASSERT_TRUE(plain.error()) << quarn::Utf16ToUtf8(c.pattern);
    for (const Edges edges : {Edges::kLine, Edges::kWord}) {
      const Pattern edged(c.pattern, 0, edges);
      EXPECT_EQ(edged.error(), given.error()) << quarn::Utf16ToUtf8(c.pattern);
      EXPECT_EQ(edged.search(c.text).error(), plain.error())
          << Name(edges) << " /" << quarn::Utf16ToUtf8(c.pattern) << "/";
      ASSERT_EQ(edged.diagnostics().size(), given.diagnostics().size());
      for (size_t i = 0; i < given.diagnostics().size(); ++i) {
        EXPECT_EQ(edged.diagnostics()[i].start, given.diagnostics()[i].start);
        EXPECT_EQ(edged.diagnostics()[i].error, given.diagnostics()[i].error);
      }
      EXPECT_EQ(edged.pattern(), c.pattern);
    }
  }
}

// The facts describe the searches with edges: a whole line begins at the subject's start.
TEST(MatchEdges, FactsAreThoseOfTheSearchesWithEdges) {
  EXPECT_FALSE(Pattern(u"abc").facts().anchoredAtStart);
  EXPECT_TRUE(Pattern(u"abc", 0, Edges::kLine).facts().anchoredAtStart);
  EXPECT_TRUE(Pattern(u"abc", 0, Edges::kLine).facts().cannotMatch(u"xabc", 1, {}));
}

}  // namespace
