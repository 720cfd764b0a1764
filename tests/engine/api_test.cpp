// The Pattern API beyond single searches (which the case table covers): every match, replace
// and split, the limits of a search, where pattern errors stand, and the bad input a caller
// can give it. Every error must come back as a value and leave the pattern usable.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "quarn/pattern.h"
#include "quarn/utf.h"

namespace {

using quarn::Limits;
using quarn::Pattern;

std::vector<std::pair<size_t, size_t>> Spans(quarn::Matches all) {
  std::vector<std::pair<size_t, size_t>> spans;
  for (const quarn::Match& m : all)
    spans.emplace_back(m.start(), m.end());
  return spans;
}

TEST(Api, EveryMatchAdvancesPastEmptyOnesWithoutSplittingASurrogatePair) {
  using S = std::vector<std::pair<size_t, size_t>>;
  EXPECT_EQ(Spans(Pattern(u"x*").matches(u"abxd")), (S{{0, 0}, {1, 1}, {2, 3}, {3, 3}, {4, 4}}));
  EXPECT_EQ(Spans(Pattern(u"").matches(u"a\U0001F600b")), (S{{0, 0}, {1, 1}, {3, 3}, {4, 4}}));
  EXPECT_EQ(Spans(Pattern(u"\\d+").matches(u"a12b345")), (S{{1, 3}, {4, 7}}));
  quarn::Matches runs = Pattern(u"a*").matches(u"aaa b aaaaa");
  size_t count = 0;
  for (const quarn::Match& m : runs)
    count += m.end() > m.start();
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(runs.depth(), 12u);  // five characters at two levels each, then the rest
  // Anchors see the whole text: "^" matches only at its start.
  EXPECT_EQ(Spans(Pattern(u"^a").matches(u"aaa")), (S{{0, 1}}));
  EXPECT_EQ(Spans(Pattern(u"\\ba").matches(u"aa a")), (S{{0, 1}, {3, 4}}));
}

// Match::next() is where matches() goes on, in the units search() takes: chaining
// search(text, m.next()) gives every match that matches() gives.
TEST(Api, NextIsWhereTheIterationGoesOn) {
  const std::vector<std::pair<std::u16string, std::u16string>> cases = {
      {u"x*", u"abxd"},
      {u"", u"a\U0001F600b"},
      {u"\\w*", u"\u00e9t\u00e9 \U0001F600 x"},
      {u"b|", u"abba"},
  };
  for (const auto& [pattern, text] : cases) {
    const Pattern p(pattern);
    const std::string utf8 = quarn::Utf16ToUtf8(text);
    for (const quarn::Text& subject : {quarn::Text(std::u16string_view(text)), quarn::Text(utf8)}) {
      std::vector<std::pair<size_t, size_t>> chained;
      for (size_t from = 0; from <= subject.size();) {
        const quarn::SearchResult r = p.search(subject, from);
        if (!r) break;
        chained.emplace_back(r.match().start(), r.match().end());
        from = r.match().next();
      }
      EXPECT_EQ(chained, Spans(p.matches(subject))) << quarn::Utf16ToUtf8(pattern);
    }
  }
}

TEST(Api, AnErrorEndsTheIterationAndStaysInIt) {
  const Pattern p(u"a+b|c");
  const std::u16string text = u"c ab " + std::u16string(600, u'a') + u" c";
  quarn::Matches all = p.matches(text);
  EXPECT_EQ(Spans(p.matches(text)).size(), 2u);
  size_t seen = 0;
  for (const quarn::Match& m : all) {
    (void)m;
    ++seen;
  }
  EXPECT_EQ(seen, 2u);
  ASSERT_TRUE(all.error());
  EXPECT_EQ(all.error()->number, quarn::errSyntax);
}

TEST(Api, ReplaceAndSplit) {
  const Pattern date(u"(\\d+)-(\\d+)(x)?");
  const std::vector<std::tuple<std::u16string, std::u16string, size_t, std::u16string>> cases = {
      {u"1-2 and 3-4", u"$2/$1", 0, u"2/1 and 4/3"},
      {u"1-2 and 3-4", u"$2/$1", 1, u"2/1 and 3-4"},
      {u"1-2", u"[$0][$3][$$][$9][$x][$]", 0, u"[1-2][][$][][$x][$]"},
      {u"none", u"$1", 0, u"none"},
  };
  for (const auto& [text, replacement, count, expected] : cases) {
    const quarn::Replaced r = date.replace(text, replacement, count);
    EXPECT_EQ(r.text, expected) << quarn::Utf16ToUtf8(replacement);
    EXPECT_FALSE(r.error);
  }
  EXPECT_EQ(Pattern(u"\\s*,\\s*").split(u"a , b,c").pieces,
            (std::vector<std::u16string>{u"a", u"b", u"c"}));
  EXPECT_EQ(Pattern(u",").split(u"a,b,c", 1).pieces, (std::vector<std::u16string>{u"a", u"b,c"}));
  EXPECT_EQ(Pattern(u"x").split(u"").pieces, (std::vector<std::u16string>{u""}));
}

TEST(Api, ErrorsKnowWhereInThePatternTheyStand) {
  const std::vector<std::pair<std::u16string, size_t>> compile = {
      {u"ab(cd", 2}, {u"a[bc", 1}, {u"x(?i)", 1}, {u"ab\\c", 2}, {u"\\0400", 0}};
  for (const auto& [pattern, position] : compile) {
    const Pattern p(pattern);
    ASSERT_TRUE(p.error()) << quarn::Utf16ToUtf8(pattern);
    EXPECT_EQ(p.error()->position, position) << quarn::Utf16ToUtf8(pattern);
  }
  // Errors met while matching point at the construct, in the pattern as written.
  const std::vector<std::tuple<std::u16string, std::u16string, size_t>> search = {
      {u"x{3,1}", u"x", 1},
      {u"\\d\\d*{2}", u"12", 5},
      {u"ab[z-a]", u"abc", 2},
      {u"(a)\\2", u"a", 3},
      {u"(a|n\\2)", u"n", 4},
      {u"(?:x{3,1})", u"x", 4},
      {u"w(?=a[z-a])", u"wab", 5},
      {u"(?:ab|c*{2})", u"c", 8},
      // A fault met in a later copy of a repeated atom stands where the atom is written.
      {u"[az-a]{2}", u"ab", 0},
      {u"x(?:[az-a]){2}", u"xab", 4}};
  for (const auto& [pattern, text, position] : search) {
    const quarn::SearchResult r = Pattern(pattern).search(text);
    ASSERT_TRUE(r.error()) << quarn::Utf16ToUtf8(pattern);
    EXPECT_EQ(r.error()->position, position) << quarn::Utf16ToUtf8(pattern);
  }
  EXPECT_EQ(Pattern(u"a", quarn::reSingleLine | quarn::reMultiline).error()->number,
            quarn::errArgument);
}

TEST(Api, LimitsEndASearchWithTheirOwnErrors) {
  const Pattern star(u"a*");
  const std::u16string run(20000, u'a');
  EXPECT_EQ(star.search(run + run).error()->number, quarn::errOverflow);  // over 32,766
  Limits raised;
  raised.subjectLength = 1 << 20;
  EXPECT_EQ(star.search(run, 0, raised).error()->number, quarn::errSyntax);  // the depth
  raised.depth = 50000;
  const quarn::SearchResult deep = star.search(run, 0, raised);
  ASSERT_TRUE(deep);
  EXPECT_EQ(deep.match().end(), 20000u);
  EXPECT_EQ(deep.depth(), 40002u);

  // The step budget is deterministic: the same search always takes the same steps.
  // (A class at the end, so that no required literal lets the facts skip the search.)
  const Pattern nested(u"(a|aa)+[bc]");
  const std::u16string as(28, u'a');
  Limits ample;
  ample.steps = 1'000'000;
  const uint64_t steps = nested.search(as, 0, ample).steps();
  Limits budget;
  budget.steps = steps;
  EXPECT_FALSE(nested.search(as, 0, budget).error());
  budget.steps = steps - 1;
  EXPECT_EQ(nested.search(as, 0, budget).error()->number, quarn::errStepLimit);

  // Nor does a budgeted search depend on the searches before it: whether or not a costly
  // search of the pattern made its facts, the facts rule out a subject without a "b".
  budget.steps = 100;
  for (const bool costlyFirst : {false, true}) {
    const Pattern needsB(u"(a|aa)+b");
    if (costlyFirst) {
      EXPECT_GT(needsB.search(as).steps(), 1024u);
    }
    const quarn::SearchResult r = needsB.search(as, 0, budget);
    EXPECT_FALSE(r.error()) << costlyFirst;
    EXPECT_FALSE(r.matched());
    EXPECT_EQ(r.steps(), 0u);
  }
}

// Numbers are shared (20052 by syntax errors and the depth limit, 6 by the pattern's counts
// and the subject length); the kind tells every cause apart, whatever the text says.
TEST(Api, ErrorKindsTellSharedNumbersApart) {
  using quarn::ErrorKind;
  std::atomic<bool> raised{true};
  struct Case {
    std::u16string pattern;
    int32_t flags;
    std::u16string text;
    Limits limits;
    int32_t number;
    ErrorKind kind;
  };
  Limits steps;
  steps.steps = 5;
  Limits cancelled;
  cancelled.cancel = &raised;
  const std::vector<Case> cases = {
      {u"a(b", 0, u"", {}, quarn::errSyntax, ErrorKind::kPatternSyntax},
      {u"a**", 0, u"a", {}, quarn::errSyntax, ErrorKind::kPatternSyntax},
      {u"(a)\\2", 0, u"a", {}, quarn::errSyntax, ErrorKind::kPatternSyntax},
      {u"a*", 0, std::u16string(600, u'a'), {}, quarn::errSyntax, ErrorKind::kDepthLimit},
      {u"x{3,1}", 0, u"x", {}, quarn::errQuantifier, ErrorKind::kPatternSyntax},
      {u"[z-a]", 0, u"x", {}, quarn::errQuantifier, ErrorKind::kPatternSyntax},
      {u"x{40000}", 0, u"x", {}, quarn::errOverflow, ErrorKind::kOverflow},
      {u"(?:ab|cd){5000}", 0, u"ab", {}, quarn::errOverflow, ErrorKind::kOverflow},
      {u"b", 0, std::u16string(40000, u'a'), {}, quarn::errOverflow, ErrorKind::kSubjectLength},
      {u"b", 0, std::u16string(32766, u'a'), {}, quarn::errOverflow, ErrorKind::kSubjectLength},
      {u"(a|aa)+[bc]", 0, u"aaaaaaaaaaaa", steps, quarn::errStepLimit, ErrorKind::kStepBudget},
      {u"a", 0, u"a", cancelled, quarn::errCancelled, ErrorKind::kCancelled},
      {u"a", 6, u"a", {}, quarn::errArgument, ErrorKind::kInvalidOptions},
  };
  for (const Case& c : cases) {
    const quarn::SearchResult r = Pattern(c.pattern, c.flags).search(c.text, 0, c.limits);
    ASSERT_TRUE(r.error()) << quarn::Utf16ToUtf8(c.pattern);
    EXPECT_EQ(r.error()->number, c.number) << quarn::Utf16ToUtf8(c.pattern);
    EXPECT_EQ(r.error()->kind, c.kind) << quarn::Utf16ToUtf8(c.pattern);
  }
  EXPECT_EQ(Pattern(std::string_view("\xC3")).error()->kind, ErrorKind::kInvalidUtf8);
  EXPECT_EQ(Pattern(".").search(std::string_view("\xC3")).error()->kind, ErrorKind::kInvalidUtf8);
  EXPECT_EQ(quarn::ErrorKindName(ErrorKind::kDepthLimit), "depth-limit");
}

TEST(Api, ACancelledSearchEndsAndThePatternStaysUsable) {
  const Pattern nested(u"(?:(a|b)+)+c");
  std::atomic<bool> cancel{true};
  Limits limits;
  limits.cancel = &cancel;
  EXPECT_EQ(nested.search(u"ababab", 0, limits).error()->number, quarn::errCancelled);

  // From another thread, while a long search runs: each start position of this subject runs
  // to its end, and the back reference keeps failures from being remembered.
  const Pattern slow(u"(.)(?:\\1|b)*c");
  cancel = false;
  limits.depth = 2'000'000;
  limits.subjectLength = 1 << 20;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    cancel = true;
  });
  const quarn::SearchResult r = slow.search(std::u16string(400000, u'a'), 0, limits);
  stopper.join();
  ASSERT_TRUE(r.error());
  EXPECT_EQ(r.error()->number, quarn::errCancelled);
  EXPECT_TRUE(slow.search(u"aac"));
  EXPECT_TRUE(nested.search(u"abc"));
}

TEST(Api, BadInputGivesErrorValues) {
  // A pattern of a million characters passes the 16-bit positions of escape expansion.
  const Pattern huge(std::u16string(1'000'000, u'x'));
  ASSERT_TRUE(huge.error());
  EXPECT_EQ(huge.error()->number, quarn::errOverflow);
  EXPECT_EQ(huge.search(u"x").error()->number, quarn::errOverflow);

  // Ill-formed UTF-8 in a subject or a pattern; lone surrogates in UTF-16 are characters.
  const Pattern dot(".");
  EXPECT_EQ(dot.search(std::string_view("a\xC3")).error()->number, quarn::errInvalidUtf8);
  EXPECT_EQ(Pattern(std::string_view("\xFF")).error()->number, quarn::errInvalidUtf8);
  EXPECT_EQ(dot.search(std::u16string_view(u"\xD800")).match().end(), 1u);
  EXPECT_TRUE(dot.search(std::string_view("ok")));
}

TEST(Api, Utf8SubjectsHaveByteOffsets) {
  const quarn::SearchResult r =
      Pattern("(é+)(.)").search(std::string_view("caféé\xF0\x9F\x98\x80!"));
  ASSERT_TRUE(r);
  EXPECT_EQ(r.match().byteStart(), 3u);
  EXPECT_EQ(r.match().byteEnd(), 11u);
  EXPECT_EQ(r.match().group8(1), "éé");
  EXPECT_EQ(r.match().group8(2), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Pattern("b").search(std::string_view("aé b"), 3).match().byteStart(), 4u);
}

// A hundred million characters with the limit raised: searched to the end.
TEST(Api, AHundredMillionCharacterSubject) {
  const size_t size = std::getenv("QUARN_SANITIZED") ? 1'000'000 : 100'000'000;
  std::u16string text(size, u'x');
  text.replace(size - 6, 6, u"needle");
  Limits limits;
  limits.subjectLength = UINT32_MAX;
  const quarn::SearchResult r = Pattern(u"ne+dle").search(text, 0, limits);
  ASSERT_TRUE(r);
  EXPECT_EQ(r.match().start(), size - 6);
}

}  // namespace
