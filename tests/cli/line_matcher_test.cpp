// The line matcher in process: every match of one or several patterns, empty matches and
// surrogate pairs, -w and -x on patterns whose text the wrapping must not break, the limits
// and the options that raise them, and the faults and warnings of the patterns with their
// positions.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <quarn/utf.h>

#include "line_matcher.h"

namespace quarn::cli {
namespace {

struct MatcherCase {
  const char* name;
  std::vector<std::u16string> patterns;
  Anchoring anchoring;
  std::u16string subject;
  std::vector<std::pair<size_t, size_t>> spans;  // [from, to) of each match
  std::optional<Limit> limit = std::nullopt;
  Limits limits = {};
  uint64_t maxSteps = 0;
};

void PrintTo(const MatcherCase& matcherCase, std::ostream* out) {
  *out << matcherCase.name;
}

const std::u16string kDeep(1500, u'a');
const std::u16string kLong(40000, u'x');
const std::u16string kRunaway(300, u'a');  // (a|b)*c$ takes about n * n steps
constexpr Limits kDeeper{4000};
constexpr Limits kLonger{1000, UINT32_MAX};
constexpr Limits kUnbounded{UINT32_MAX, UINT32_MAX};

const MatcherCase kCases[] = {
    {"EveryMatch", {u"an"}, Anchoring::Anywhere, u"banana", {{1, 3}, {3, 5}}},
    {"EveryMatchAcrossPatterns",
     {u"b+", u"a"},
     Anchoring::Anywhere,
     u"abbaa",
     {{0, 1}, {1, 3}, {3, 4}, {4, 5}}},
    {"TieGoesToTheEarlierPattern", {u"a", u"ab"}, Anchoring::Anywhere, u"abab", {{0, 1}, {2, 3}}},
    {"EmptyMatchesStepOneCharacter", {u"x*"}, Anchoring::Anywhere, u"ab", {{0, 0}, {1, 1}, {2, 2}}},
    {"EmptyMatchThenAMatchThere", {u"b*"}, Anchoring::Anywhere, u"abb", {{0, 0}, {1, 3}, {3, 3}}},
    {"EmptyMatchesSkipASurrogatePair",
     {u""},
     Anchoring::Anywhere,
     u"\U0001F600a",
     {{0, 0}, {2, 2}, {3, 3}}},
    {"DotTakesOneHalfOfAPair", {u"."}, Anchoring::Anywhere, u"\U0001F600", {{0, 1}, {1, 2}}},
    {"EmptyTieBeforeALongerPattern", {u"x*", u"a"}, Anchoring::Anywhere, u"a", {{0, 0}, {1, 1}}},
    {"OverlapGoesToTheEarlierPattern", {u"ab", u"abc"}, Anchoring::Anywhere, u"abc", {{0, 2}}},
    {"OverlapGoesToTheEarlierStart", {u"bc", u"ab"}, Anchoring::Anywhere, u"abc", {{0, 2}}},
    {"WordNotInsideAWord", {u"cat"}, Anchoring::Word, u"concat cat", {{7, 10}}},
    {"WordAtTheStart", {u"cat"}, Anchoring::Word, u"cat!", {{0, 3}}},
    {"WordAfterANonWordStart", {u"foo"}, Anchoring::Word, u"-foo", {{1, 4}}},
    {"WordThatBeginsWithANonWord", {u"\\W?foo"}, Anchoring::Word, u" foo", {{0, 4}}},
    {"WordBacktracksToAShorterMatch", {u"a+"}, Anchoring::Word, u"aaab aa", {{5, 7}}},
    {"EveryWord", {u"a+"}, Anchoring::Word, u"aa ba a-a", {{0, 2}, {6, 7}, {8, 9}}},
    {"WordsSideBySide", {u"\\W?a"}, Anchoring::Word, u" a a", {{0, 2}, {3, 4}}},
    {"NoWord", {u"foo"}, Anchoring::Word, u"x@foo_", {}},
    {"WholeAlternation", {u"a|ab"}, Anchoring::Whole, u"ab", {{0, 2}}},
    {"WholeWithALiteralCloseParen", {u"f\\(x)"}, Anchoring::Whole, u"f(x)", {{0, 4}}},
    {"WholeWithAnOpenQuote", {u"\\Qa.b"}, Anchoring::Whole, u"a.b", {{0, 3}}},
    {"WholeQuoteIsLiteral", {u"\\Qa.b"}, Anchoring::Whole, u"axb", {}},
    {"WholeWithABracket", {u"[]a]+"}, Anchoring::Whole, u"]a", {{0, 2}}},
    {"WholeWithAComment", {u"a(?#x)b"}, Anchoring::Whole, u"ab", {{0, 2}}},
    {"WholeNotPartOfTheLine", {u"b"}, Anchoring::Whole, u"ab", {}},
    {"DepthLimit", {u"a*b"}, Anchoring::Anywhere, kDeep, {}, Limit::Depth},
    {"DepthRaised", {u"a*b"}, Anchoring::Anywhere, kDeep, {}, std::nullopt, kDeeper},
    {"DepthRaisedFindsTheMatch",
     {u"a*"},
     Anchoring::Anywhere,
     kDeep,
     {{0, 1500}, {1500, 1500}},
     std::nullopt,
     kDeeper},
    {"LengthLimit", {u"b"}, Anchoring::Anywhere, kLong, {}, Limit::Length},
    {"LengthRaised", {u"x$"}, Anchoring::Anywhere, kLong, {{39999, 40000}}, std::nullopt, kLonger},
    {"MatchBesideALimit",
     {u"a*b", u"c"},
     Anchoring::Anywhere,
     kDeep + u"c",
     {{1500, 1501}},
     Limit::Depth},
    {"MatchesBeforeALimit", {u"b|a*c"}, Anchoring::Anywhere, u"b" + kDeep, {{0, 1}}, Limit::Depth},
    // The searches of a subject share its step budget: the runaway one takes what is left.
    // The "c" after the a's lets the runaway search go ahead: without it, the engine knows
    // that nothing can match there and does not search at all.
    {"StepBudget",
     {u"x|(a|b)*c$"},
     Anchoring::Anywhere,
     u"xxc" + kRunaway,
     {{0, 1}, {1, 2}},
     Limit::Steps,
     kDeeper,
     5000},
    {"StepBudgetOfSeveralPatterns",
     {u"x", u"(a|b)*c$"},
     Anchoring::Anywhere,
     u"xc" + kRunaway + u"cx",
     {{0, 1}},
     Limit::Steps,
     kDeeper,
     5000},
    // x* takes about two steps a character: 600,000 here, within three budgets of 400,000
    // (one for each 100,000 characters) and beyond three of 150,000.
    {"StepBudgetOfALongSubject",
     {u"x*y"},
     Anchoring::Anywhere,
     std::u16string(300'000, u'x') + u"y",
     {{0, 300'001}},
     std::nullopt,
     kUnbounded,
     400'000},
    {"StepBudgetOfALongSubjectSpent",
     {u"x*y"},
     Anchoring::Anywhere,
     std::u16string(300'000, u'x') + u"y",
     {},
     Limit::Steps,
     kUnbounded,
     150'000},
    {"StepBudgetEnough",
     {u"(a|b)*c"},
     Anchoring::Anywhere,
     kRunaway,
     {},
     std::nullopt,
     kDeeper,
     100'000'000},
};

class MatcherTable : public ::testing::TestWithParam<MatcherCase> {};

TEST_P(MatcherTable, FindsEveryMatch) {
  const MatcherCase& matcherCase = GetParam();
  const auto matcher = MakeLineMatcher(
      {matcherCase.patterns, 0, matcherCase.anchoring, matcherCase.limits, matcherCase.maxSteps});
  const auto expectFound = [&](const Text& subject) {
    LineMatches found;
    matcher->Find(subject, true, found);
    std::vector<std::pair<size_t, size_t>> spans;
    for (const Match& match : found.matches)
      spans.emplace_back(match.whole.from, match.whole.to);
    EXPECT_EQ(spans, matcherCase.spans) << subject.searchesBytes();
    EXPECT_EQ(found.limit, matcherCase.limit) << subject.searchesBytes();
  };
  expectFound(Text(matcherCase.subject));
  // A subject of one byte per unit is searched as those bytes, with the same answers (step
  // budgets and limits included).
  std::string bytes;
  for (const char16_t unit : matcherCase.subject) {
    if (unit > 0xFF) return;
    bytes += static_cast<char>(unit);
  }
  expectFound(Text::Latin1(bytes));
}

INSTANTIATE_TEST_SUITE_P(Patterns, MatcherTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LineMatcher, AWordKeepsTheNumbersOfItsGroups) {
  LineMatches found;
  MakeLineMatcher({{u"(a)\\1"}, 0, Anchoring::Word, {}})->Find(Text(u"b aa"), true, found);
  ASSERT_EQ(found.matches.size(), 1u);
  ASSERT_EQ(found.matches[0].groups.size(), 1u);
  EXPECT_EQ(found.matches[0].groups[0]->from, 2u);
  EXPECT_EQ(found.matches[0].groups[0]->to, 3u);
}

TEST(LineMatcher, WithoutEveryTheFirstMatchingPatternIsEnough) {
  LineMatches found;
  MakeLineMatcher({{u"c", u"a"}, 0, Anchoring::Anywhere, {}})->Find(Text(u"ac"), false, found);
  ASSERT_EQ(found.matches.size(), 1u);
  EXPECT_EQ(found.matches[0].whole.from, 1u);
}

struct NoteCase {
  MatchSettings settings;
  std::vector<PatternNote> notes;
};

// A note in words, so that a difference shows in full.
std::string Described(const PatternNote& note) {
  return std::string(note.fault ? "fault " : "warning ") + std::to_string(note.pattern) + " at " +
         (note.position ? std::to_string(*note.position) : "-") + ": " + note.report;
}

std::vector<std::string> Described(const std::vector<PatternNote>& notes) {
  std::vector<std::string> described;
  for (const PatternNote& note : notes)
    described.push_back(Described(note));
  return described;
}

TEST(LineMatcher, EveryFaultAndWarningOfThePatternsIsKnownBeforeAnySearch) {
  const std::vector<NoteCase> cases = {
      {{{u"x{32767}"}, 0, Anchoring::Anywhere, {}},
       {{true, "Error #6: Error in Quarn.DoQuarn: Overflow", 0, 1}}},
      {{{u"a", u"(b"}, 0, Anchoring::Anywhere, {}},
       {{true,
         "Error #20052: Error in Quarn.ProcessParentheses: Invalid regular expression: A "
         "closing ) expected: (b",
         1, 0}}},
      // Faults that only a search reaching them would meet, each with its place.
      {{{u"a|n\\2", u"[az-a]|b"}, 0, Anchoring::Anywhere, {}},
       {{true,
         "Error #20052: Error in Quarn.MatchAtom: Not so many sub-expressions in this regular "
         "expression: \\2",
         0, 3},
        {true,
         "Error #20050: Error in Quarn.MatchSquareBrackets: Invalid range in regular "
         "expression [az-a]",
         1, 0}}},
      // A fault is found in the pattern as given, at its place there.
      {{{u"x)|a{2,1}"}, 0, Anchoring::Word, {}},
       {{true,
         "Error #20050: Error in Quarn.DoQuarn: Upper limit is less than lower limit in "
         "regular expression {2,1}",
         0, 4}}},
      // -x and -w take any pattern; the warning about the pattern stays, at its own place.
      {{{u"a\\"}, 0, Anchoring::Whole, {}},
       {{false,
         "a backslash at the end of the pattern escapes nothing: it matches only at the end "
         "of the subject",
         0, 1}}},
      {{{u"[])(]"}, 0, Anchoring::Word, {}}, {}},
      // Warnings in the order of their places; under -w the places are the pattern's own.
      {{{u"ok", u"\\h[[:alpha:]]"}, 0, Anchoring::Word, {}},
       {{false, "\\h is just the letter h here, not a class of horizontal space; [ \\t] is", 1, 0},
        {false,
         "no POSIX classes here: [[:alpha:] is a list of its characters, and the ']' after it "
         "is a character of its own",
         1, 2}}},
      {{{u"abc", u"(?:x|y)+z"}, 0, Anchoring::Anywhere, {}}, {}},
  };
  for (const NoteCase& c : cases) {
    EXPECT_EQ(Described(MakeLineMatcher(c.settings)->Notes()), Described(c.notes))
        << Utf16ToUtf8(c.settings.patterns.back());
  }
}

TEST(LineMatcher, AFaultMetInASubjectEndsOnlyThatPatternsSearch) {
  // The matcher is never searched with a faulty pattern by the tool; what it finds then is
  // still no more than the engine does: the fault, and the other patterns' matches.
  const std::unique_ptr<LineMatcher> matcher =
      MakeLineMatcher({{u"x|n\\2", u"a"}, 0, Anchoring::Anywhere, {}});
  struct Case {
    std::u16string subject;
    bool every;
    size_t matches;
    bool fault;
  };
  const std::vector<Case> cases = {
      {u"banana", false, 1, true}, {u"banana", true, 3, true}, {u"xax", true, 3, false},
      {u"bbb", true, 0, false},    {u"n", false, 0, true},
  };
  for (const Case& c : cases) {
    LineMatches found;
    found.fault = PatternNote{};  // a note of an earlier subject does not stay
    matcher->Find(Text(c.subject), c.every, found);
    EXPECT_EQ(found.matches.size(), c.matches) << testing::PrintToString(c.subject);
    EXPECT_EQ(found.fault.has_value(), c.fault) << testing::PrintToString(c.subject);
    if (found.fault) {
      EXPECT_EQ(found.fault->pattern, 0u);
      EXPECT_EQ(found.fault->position, 3u);
    }
  }
}

}  // namespace
}  // namespace quarn::cli
