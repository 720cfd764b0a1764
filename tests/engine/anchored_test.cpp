// Matches anchored at their start (match) and at both ends (fullMatch), every match from a
// start position, the last group closed, and the expansion of a replacement for one match.
// Anchored searches are checked against searches of the pattern wrapped between "\A" and an
// assertion of the text's end, on generated patterns and subjects.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "quarn/pattern.h"
#include "quarn/utf.h"

namespace {

using quarn::Pattern;
using quarn::SearchResult;
using Spans = std::vector<std::optional<std::pair<size_t, size_t>>>;

// The match's spans, group 0 first; nothing for no match; the error's number as a lone
// span (number, number) so that an error never compares equal to a match.
std::optional<Spans> Answer(const SearchResult& r) {
  if (r.error()) {
    const auto n = static_cast<size_t>(r.error()->number);
    return Spans{std::pair{n, n}, std::nullopt, std::nullopt};
  }
  if (!r) return std::nullopt;
  Spans spans;
  for (int n = 0; n <= r.match().groupCount(); ++n) {
    const auto& s = r.match().span(n);
    spans.push_back(s ? std::optional(std::pair{s->start, s->end}) : std::nullopt);
  }
  return spans;
}

std::optional<std::pair<size_t, size_t>> Whole(const SearchResult& r) {
  if (!r) return std::nullopt;
  return std::pair{r.match().start(), r.match().end()};
}

TEST(Anchored, MatchBeginsAtTheStartAndFullMatchAlsoEndsAtTheEnd) {
  struct Case {
    const char16_t* pattern;
    const char16_t* text;
    size_t start;
    std::optional<std::pair<size_t, size_t>> match, fullMatch;
  };
  using P = std::pair<size_t, size_t>;
  const std::vector<Case> cases = {
      {u"a|ab", u"ab", 0, P{0, 1}, P{0, 2}},  // full: the second alternative
      {u"a*?", u"aaa", 0, P{0, 0}, P{0, 3}},  // full: the lazy loop takes more
      {u"(a+)(a*)", u"aaa", 0, P{0, 3}, P{0, 3}},
      {u"b", u"ab", 0, std::nullopt, std::nullopt},  // a search would find it at 1
      {u"b", u"ab", 1, P{1, 2}, P{1, 2}},
      {u"a", u"ab", 0, P{0, 1}, std::nullopt},
      {u"a$", u"a\r\n", 0, P{0, 1}, std::nullopt},  // "$" before the last line break is not the end
      {u"a\\n", u"a\r\n", 0, P{0, 3}, P{0, 3}},
      {u"(?=a)ab", u"ab", 0, P{0, 2}, P{0, 2}},  // the lookahead's inside ends early
      {u"a(?=b)", u"ab", 0, P{0, 1}, std::nullopt},
      {u"a(?!b)|ab", u"ab", 0, P{0, 2}, P{0, 2}},
      {u"", u"", 0, P{0, 0}, P{0, 0}},
      {u"", u"x", 1, P{1, 1}, P{1, 1}},
      {u"x", u"x", 2, std::nullopt, std::nullopt},  // a start past the end
      {u"(ab|a)(c|bcd)?", u"abcd", 0, P{0, 3}, P{0, 4}},
  };
  for (const Case& c : cases) {
    const Pattern p(c.pattern);
    EXPECT_EQ(Whole(p.match(c.text, c.start)), c.match) << quarn::Utf16ToUtf8(c.pattern);
    EXPECT_EQ(Whole(p.fullMatch(c.text, c.start)), c.fullMatch) << quarn::Utf16ToUtf8(c.pattern);
  }
}

TEST(Anchored, OneStartDoesNotOverflowTheScanAndLimitsStillHold) {
  // A failed search of a subject 32,766 long overflows the 16-bit scan; one start does not.
  const std::u16string text(32766, u'a');
  EXPECT_EQ(Pattern(u"b").search(text).error()->number, quarn::errOverflow);
  EXPECT_FALSE(Pattern(u"b").match(text));
  EXPECT_FALSE(Pattern(u"b").match(text).error());
  const std::u16string longer = text + u"a";
  EXPECT_EQ(Pattern(u"b").fullMatch(longer).error()->number, quarn::errOverflow);
  // Trying the other paths can need more depth than the first match did.
  const Pattern lazy(u"a*?");
  const std::u16string run(600, u'a');
  EXPECT_TRUE(lazy.match(run));
  EXPECT_EQ(lazy.fullMatch(run).error()->number, quarn::errSyntax);
  EXPECT_EQ(Pattern(u"a(").fullMatch(u"a").error()->number, quarn::errSyntax);
}

TEST(Anchored, MatchesFromAStartPosition) {
  const Pattern p(u"^a|b");
  std::vector<size_t> starts;
  for (const quarn::Match& m : p.matches(quarn::Text(u"abab"), 1, {}))
    starts.push_back(m.start());
  EXPECT_EQ(starts, (std::vector<size_t>{1, 3}));  // "^" sees the whole text
  // In UTF-8 the start is a byte offset on a character, as search() takes it.
  starts.clear();
  for (const quarn::Match& m : p.matches(quarn::Text("\xc3\xa9" "bab"), 2, {}))
    starts.push_back(m.start());
  EXPECT_EQ(starts, (std::vector<size_t>{1, 3}));
  quarn::Matches inside = p.matches(quarn::Text("\xc3\xa9" "bab"), 1, {});
  EXPECT_TRUE(inside.begin() == inside.end());
  EXPECT_EQ(inside.error()->number, p.search(quarn::Text("\xc3\xa9" "bab"), 1).error()->number);
  quarn::Matches past = p.matches(quarn::Text(u"ab"), 3, {});
  EXPECT_TRUE(past.begin() == past.end());
  EXPECT_TRUE(past.error());
}

TEST(Anchored, LastIndexIsTheGroupClosedLast) {
  const std::vector<std::tuple<const char16_t*, const char16_t*, int>> cases = {
      {u"(a)(b)", u"ab", 2},
      {u"((a)b)", u"ab", 1},
      {u"(a)()", u"a", 2},
      {u"((a))", u"a", 1},
      {u"(a)|(b)", u"b", 2},
      {u"(?:(b)|(a))*", u"ab", 1},
      {u"x", u"x", 0},
      {u"(a)(x)?", u"a", 1},
      {u"(?=(a))a(b)?", u"a", 1},
      {u"(a(?!(b)))c", u"ac", 1},
      {u"(a)*b", u"aab", 1},
      {u"(a|ab)(c)?d", u"abd", 1},
      {u"(a)(?:(b)x|b)", u"ab", 1},
  };
  for (const auto& [pattern, text, last] : cases) {
    const SearchResult r = Pattern(pattern).search(text);
    ASSERT_TRUE(r) << quarn::Utf16ToUtf8(pattern);
    EXPECT_EQ(r.match().lastIndex(), last) << quarn::Utf16ToUtf8(pattern);
  }
}

TEST(Anchored, ExpandPutsTheGroupsOfOneMatch) {
  const SearchResult r = Pattern(u"(\\d+)-(\\d+)(x)?").search(u"on 12-34 now");
  ASSERT_TRUE(r);
  EXPECT_EQ(r.match().expand(u"$2/$1 $3$$ $9 $ $a$"), u"34/12 $  $ $a$");
  EXPECT_EQ(r.match().expand(u""), u"");
}

// Patterns over a small alphabet that reach alternation, every quantifier, groups,
// lookaheads, back references and the anchors; subjects that hold line breaks.
class Generator {
 public:
  explicit Generator(uint32_t seed) : random_(seed) {}

  std::u16string Pattern(int depth = 0) {
    std::u16string out = Sequence(depth);
    if (Pick(4) == 0) out += u"|" + Sequence(depth);
    return out;
  }
  std::u16string Subject() {
    std::u16string text;
    for (size_t n = Pick(7); n > 0; --n)
      text += u"aab\r\n"[Pick(5)];
    return text;
  }

 private:
  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }

  std::u16string Sequence(int depth) {
    std::u16string out;
    for (size_t n = 1 + Pick(3); n > 0; --n)
      out += Atom(depth);
    return out;
  }
  // An atom and its quantifier. Atoms that take no character are rarely quantified: their
  // loops repeat until the depth limit, which tells nothing here.
  std::u16string Atom(int depth) {
    static const std::vector<std::u16string> taking = {u"a", u"b", u".", u"[ab]", u"\\n"};
    static const std::vector<std::u16string> empty = {u"$", u"^", u"\\1", u"\\b"};
    static const std::vector<std::u16string> opens = {u"(", u"(?:", u"(?=", u"(?!"};
    static const std::vector<std::u16string> quantifiers = {u"",  u"",   u"",   u"*",     u"+",
                                                            u"?", u"*?", u"+?", u"{0,2}", u"{2}"};
    const std::u16string& quantifier = quantifiers[Pick(quantifiers.size())];
    if (depth < 2 && Pick(3) == 0) {
      return opens[Pick(opens.size())] + Pattern(depth + 1) + u")" + quantifier;
    }
    if (Pick(4) == 0) return empty[Pick(empty.size())] + (Pick(8) == 0 ? quantifier : u"");
    return taking[Pick(taking.size())] + quantifier;
  }

  std::mt19937 random_;
};

TEST(Anchored, AnswerLikeTheWrappedPatternOnGeneratedCases) {
  Generator generate(20261209);
  // The wrapping takes a few levels of its own, so answers are compared where neither search
  // met the depth limit, which a loop whose body can match empty text always meets.
  quarn::Limits deep;
  deep.depth = 3000;
  int matched = 0;
  int limited = 0;
  const auto same = [&limited](const SearchResult& a, const SearchResult& b) {
    const auto deepest = [](const SearchResult& r) {
      return r.error() && r.error()->number == quarn::errSyntax && r.depth() > 3000;
    };
    if (deepest(a) || deepest(b)) return ++limited > 0;
    return Answer(a) == Answer(b);
  };
  for (int i = 0; i < 4000; ++i) {
    const std::u16string pattern = generate.Pattern();
    const std::u16string text = generate.Subject();
    const Pattern p(pattern);
    const Pattern anchored(u"\\A(?:" + pattern + u")");
    const Pattern whole(u"\\A(?:" + pattern + u")\\Z(?!\\n)");
    const std::string shown = quarn::Utf16ToUtf8(pattern) + " on " + quarn::Utf16ToUtf8(text);
    EXPECT_TRUE(same(p.match(text, 0, deep), anchored.search(text, 0, deep))) << shown;
    EXPECT_TRUE(same(p.fullMatch(text, 0, deep), whole.search(text, 0, deep))) << shown;
    matched += p.fullMatch(text, 0, deep).matched();
  }
  EXPECT_GT(matched, 200);           // the cases reach full matches, not only failures
  EXPECT_LT(limited, 2 * 4000 / 5);  // loops that can repeat empty go as deep as allowed
}

}  // namespace
