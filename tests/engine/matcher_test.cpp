// The backtracking matcher: quantifier rewriting, brace quantifiers, alternation, groups,
// lookahead, captures across backtracking, and the depth limit.
#include <gtest/gtest.h>

#include "support.h"

namespace quarn::testing {
namespace {

const std::string kDepth =
    "Error #20052: Error in Quarn.DoQuarn: Maximum number of iterations exceeded. Possibly an "
    "infinite loop.";

TEST(Matcher, QuantifiersAreGreedyOrLazyAsWritten) {
  const std::u16string bar = u"The food is under the bar in the barn";
  ExpectAll({
      {bar, u"foo.*bar", Matched("food is under the bar in the bar", 5)},
      {bar, u"foo.*?bar", Matched("food is under the bar", 5)},
      {u"aaab", u"a*", Matched("aaa", 1)},
      {u"aaab", u"a*?", Matched("", 1)},
      {u"aaab", u"a*?b", Matched("aaab", 1)},
      {u"baaa", u"a+", Matched("aaa", 2)},
      {u"baaa", u"a+?", Matched("a", 2)},
      {u"ab", u"ab?", Matched("ab", 1)},
      {u"ab", u"ab??", Matched("a", 1)},
      {u"ac", u"ab?c", Matched("ac", 1)},
      {u"xyz", u"b+", NoMatch()},
      // A quantifier with no atom before it is a literal character.
      {u"a*b", u"*b", Matched("*b", 2)},
      // "**" is "*" repeated, and its rewrite "***" holds a nested quantifier.
      {u"**", u"**",
       Reported("Error #20052: Error in Quarn.GetNextQuarn: Nested +?*{} in regular expression.")},
  });
}

TEST(Matcher, BraceQuantifiersExpandIntoCopies) {
  const std::u16string five = u"xxxxx";
  ExpectAll({
      {five, u"x{2,4}", Matched("xxxx", 1)},
      {five, u"x{2,4}?", Matched("xx", 1)},
      {five, u"x{2,}", Matched("xxxxx", 1)},
      {five, u"x{2,}?", Matched("xx", 1)},
      {five, u"x{3}", Matched("xxx", 1)},
      {five, u"x{3}?", Matched("xxx", 1)},
      {u"xx", u"x{3}", NoMatch()},
      {u"ab", u"(?:ab){2}", NoMatch()},
      {u"abab", u"(ab){1,2}", Matched("abab", 1, {"ab"})},
      // Lenient numbers: blanks before, a missing number is 0, reading stops at a
      // character that cannot continue it, halves round to the even neighbour.
      {five, u"x{ 3 }", Matched("xxx", 1)},
      {five, u"x{,2}", Matched("xx", 1)},
      {five, u"x{,}", Matched("xxxxx", 1)},
      {five, u"x{2x}", Matched("xx", 1)},
      {five, u"x{+2}", Matched("xx", 1)},
      {five, u"x{2.5}", Matched("xx", 1)},
      {five, u"x{3.5}", Matched("xxxx", 1)},
      {five, u"x{2.51}", Matched("xxx", 1)},
      {five, u"x{1,2,3}", Matched("xx", 1)},
      {five, u"x{1e3}", Matched("x", 1)},
      {five, u"x{-0.4}", Matched("", 1)},
      // An upper bound of 0 means zero occurrences: the atom is skipped.
      {u"ac", u"ab{0}c", Matched("ac", 1)},
      {u"ac", u"ab{0,0}c", Matched("ac", 1)},
      {u"ac", u"ab{,0}c", Matched("ac", 1)},
      {u"ac", u"ab{0}?c", Matched("ac", 1)},
      {u"abc", u"ab{0}c", NoMatch()},
      {u"ac", u"ab{}c", Matched("ac", 1)},
      {u"ac", u"ab{x}c", Matched("ac", 1)},
  });
}

TEST(Matcher, BraceErrorsAreReportedWhenReached) {
  const std::string prefix = "Error #20050: Error in Quarn.DoQuarn: ";
  const std::string overflow = "Error #6: Error in Quarn.DoQuarn: Overflow";
  ExpectAll({
      {u"abc", u"x{3,1}",
       Reported(prefix + "Upper limit is less than lower limit in regular expression {3,1}")},
      {u"abc", u"x{-1,2}",
       Reported(prefix + "Upper or lower limit is less than zero in regular expression {-1,2}")},
      {u"abc", u"x{-3,-1}",
       Reported(prefix + "Upper or lower limit is less than zero in regular expression {-3,-1}")},
      {u"abc", u"x{-1}", Reported(prefix + "Count is less than zero in regular expression {-1}")},
      {u"abc", u"x{-1,}", Reported(prefix + "Count is less than zero in regular expression {-1,}")},
      {u"abc", u"x{-1}?", Reported(prefix + "Count is less than zero in regular expression {-1}")},
      {u"abc", u"x{-0.6}",
       Reported(prefix + "Count is less than zero in regular expression {-0.6}")},
      {u"abc", u"x{-32768}",
       Reported(prefix + "Count is less than zero in regular expression {-32768}")},
      // A quantifier behind an atom that never matches is never read.
      {u"abc", u"zx{3,1}", NoMatch()},
      // 16-bit bounds and counts.
      {u"abc", u"x{32768}", Reported(overflow)},
      {u"abc", u"x{-32769}", Reported(overflow)},
      {u"abc", u"x{32767.5}", Reported(overflow)},
      {u"abc", u"x{40000,}", Reported(overflow)},
      {u"abc", u"x{32767}", Reported(overflow)},
      {u"abc", u"x{0,32767}", Reported(overflow)},
      {u"abc", u"x{32767,}", Reported(overflow)},
      {u"abc", u"x{32766.5}", NoMatch()},
  });
}

TEST(Matcher, AlternativesAreTriedLeftToRightNotLongestFirst) {
  ExpectAll({
      {u"ab", u"a|ab", Matched("a", 1)},
      {u"abc", u"(a|ab)c", Matched("abc", 1, {"ab"})},
      {u"abcd", u"(a|ab)(c|bcd)(d*)", Matched("abcd", 1, {"a", "bcd", ""})},
      {u"xyz", u"a|b|z", Matched("z", 3)},
      {u"b", u"(a)|b", Matched("b", 1, {std::nullopt})},
      {u"ab", u"|ab", Matched("", 1)},
      {u"ab", u"x|", Matched("", 1)},
      // A "|" inside brackets, after a backslash or inside a group does not split.
      {u"|", u"[|]", Matched("|", 1)},
      {u"a|b", u"a\\|b", Matched("a|b", 1)},
      {u"ac", u"a(b|c)", Matched("ac", 1, {"c"})},
  });
}

TEST(Matcher, CapturesFollowTheSuccessfulPath) {
  ExpectAll({
      {u"abc", u"(b)", Matched("b", 2, {"b"})},
      {u"ab", u"a()b", Matched("ab", 1, {""})},
      {u"aa", u"(a)*", Matched("aa", 1, {"a"})},
      {u"abc", u"([a-c])+", Matched("abc", 1, {"c"})},
      {u"abc", u"(a(b))(c)", Matched("abc", 1, {"ab", "b", "c"})},
      // A failed attempt leaves no capture behind.
      {u"a", u"(a)x|a", Matched("a", 1, {std::nullopt})},
      {u"ac", u"(a)b|(a)c", Matched("ac", 1, {std::nullopt, "a"})},
      {u"aab", u"(a)*(a)b", Matched("aab", 1, {"a", "a"})},
      {u"xab", u"(a)?b", Matched("ab", 2, {"a"})},
      {u"xb", u"(a)?b", Matched("b", 2, {std::nullopt})},
      {u"ab", u"(?:(a)|b)+", Matched("ab", 1, {"a"})},
  });
}

TEST(Matcher, LookaheadConsumesNothing) {
  ExpectAll({
      {u"A foo without bar isn't enough, we need foobar", u"foo(?=bar)", Matched("foo", 41)},
      {u"It took 11 years to buy 11 companies", u"[0-9]+ (?!years)[a-zA-Z]+",
       Matched("11 companies", 25)},
      {u"a", u"(?=(a))a", Matched("a", 1, {"a"})},
      {u"b", u"(?!(a))b", Matched("b", 1, {std::nullopt})},
      {u"ab", u"(?=ab)a", Matched("a", 1)},
      {u"ab", u"(?=b)", Matched("", 2)},
      {u"ab", u"a(?!b)", NoMatch()},
      {u"ab", u"a(?=)", Matched("a", 1)},
      {u"ab", u"(?=a|b)b", Matched("b", 2)},
  });
}

TEST(Matcher, DepthLimitBoundsEveryPath) {
  const std::u16string a499(499, u'a');
  const std::u16string a500(500, u'a');
  ExpectAll({
      {a499, u"a*", Matched(std::string(499, 'a'), 1)},
      {a500, u"a*", Reported(kDepth)},
      {std::u16string(999, u'a'), u"a{999}", Matched(std::string(999, 'a'), 1)},
      {std::u16string(1000, u'a'), u"a{1000}", Reported(kDepth)},
      // A group that matches the empty text rewrites itself without consuming.
      {u"x", u"(a*)*", Reported(kDepth)},
      {u"x", u"(a*)*?", Matched("", 1, {std::nullopt})},
      {u"a", u"(?=a)*a", Reported(kDepth)},
      {u"x", u"(?=a)*x", Matched("x", 1)},
      // The depth is per start position: a long subject scanned shallowly is fine.
      {std::u16string(20000, u'b') + u"a", u"a", Matched("a", 20001)},
  });
}

}  // namespace
}  // namespace quarn::testing
