// Single atoms: anchors, ".", "\n", literals, back references and word boundaries, around
// the CR LF line break and under the three options.
#include <gtest/gtest.h>

#include "support.h"

namespace quarn::testing {
namespace {

TEST(Atoms, OnTheEmptySubject) {
  ExpectAll({
      {u"", u"^", Matched("", 1)},
      {u"", u"$", Matched("", 1)},
      {u"", u"\\A", Matched("", 1)},
      {u"", u"\\Z", Matched("", 1)},
      {u"", u"\\B", Matched("", 1)},
      {u"", u".", NoMatch()},
      {u"", u"a", NoMatch()},
      {u"", u"\\n", NoMatch()},
      {u"", u"\\b", NoMatch()},
  });
}

TEST(Atoms, AnchorsAroundALineBreak) {
  const std::u16string lines = u"ab\r\ncd";
  ExpectAll({
      {lines, u"b$", NoMatch()},
      {lines, u"b$", Matched("b", 2), reMultiline},
      {lines, u"$", Matched("", 7)},
      {lines, u"^c", NoMatch()},
      {lines, u"^c", Matched("c", 5), reMultiline},
      {lines, u"\r\n^c", Matched("\r\nc", 3), reMultiline},
      {lines, u"\r^\n", NoMatch(), reMultiline},  // the two characters before the LF are b, CR
      {lines, u"d\\Z", Matched("d", 6)},
      {lines, u"b\\Z", NoMatch(), reMultiline},
      {lines, u"\\Ac", NoMatch(), reMultiline},
      {u"ab\r\n", u"b$", Matched("b", 2)},
      {u"ab\r\n", u"b\\Z", Matched("b", 2)},
      {u"ab\r\n", u"\\n^$", Matched("\r\n", 3), reMultiline},
      {u"ab\r\n", u"\\n^", NoMatch()},
  });
}

TEST(Atoms, DotAndTheLineBreak) {
  ExpectAll({
      {u"\r\n", u".", NoMatch()},
      {u"\r\n", u".", Matched("\r", 1), reSingleLine},
      {u"\r\n", u"..", Matched("\r\n", 1), reSingleLine},
      {u"\rx", u".", Matched("\r", 1)},
      {u"\n", u".", Matched("\n", 1)},
      {u"a\r\nb", u"\\r.", NoMatch()},
      {u"a\r\nb", u"a.*", Matched("a", 1)},
      {u"a\r\nb", u"a.*", Matched("a\r\nb", 1), reSingleLine},
      {u"a\r\nb", u"a\\nb", Matched("a\r\nb", 1)},
      {u"a\nb", u"a\\nb", NoMatch()},
      {u"\r\n", u"\\n", Matched("\r\n", 1), reIgnoreCase},
  });
}

TEST(Atoms, EscapedLiteralsAndTheLoneBackslash) {
  ExpectAll({
      {u"N", u"\\N", Matched("N", 1)},
      {u"z", u"\\z", Matched("z", 1)},
      {u"a.b", u"a\\.b", Matched("a.b", 1)},
      {u"axb", u"a\\.b", NoMatch()},
      {u"a\\b", u"a\\\\b", Matched("a\\b", 1)},
      {u"xa", u"a\\", Matched("a", 2)},
      {u"ab", u"a\\", NoMatch()},
      {u"$^", u"\\$\\^", Matched("$^", 1)},
  });
}

TEST(Atoms, CaseFoldingIsUnicodeSimpleLowercase) {
  ExpectAll({
      {u"ABC", u"abc", NoMatch()},
      {u"ABC", u"abc", Matched("ABC", 1), reIgnoreCase},
      {u"abc", u"ABC", Matched("abc", 1), reIgnoreCase},
      {u"\u00C9t\u00C9", u"\u00E9T\u00E9", Matched("\u00C9t\u00C9", 1), reIgnoreCase},
      {u"\u00D7", u"\u00F7", NoMatch(), reIgnoreCase},
      {u"\u03A3", u"\u03C3", Matched("\u03A3", 1), reIgnoreCase},
      {u"\u0130", u"i", Matched("\u0130", 1), reIgnoreCase},
      {u"\u212A", u"k", Matched("\u212A", 1), reIgnoreCase},
      {u"\u1E9E", u"\u00DF", Matched("\u1E9E", 1), reIgnoreCase},
      {u"\u0416", u"\u0436", Matched("\u0416", 1), reIgnoreCase},
      // Each 16-bit unit folds alone, so letters beyond the first 65,536 do not fold.
      {u"\U00010400", u"\U00010428", NoMatch(), reIgnoreCase},
  });
}

TEST(Atoms, BackReferences) {
  const std::string tooFew =
      "Error #20052: Error in Quarn.MatchAtom: Not so many sub-expressions in this regular "
      "expression: \\3";
  ExpectAll({
      {u"abab", u"(ab)\\1", Matched("abab", 1, {"ab"})},
      {u"abAB", u"(ab)\\1", NoMatch()},
      {u"AbaB", u"(Ab)\\1", Matched("AbaB", 1, {"Ab"}), reIgnoreCase},
      {u"bc", u"(a*)b\\1c", Matched("bc", 1, {""})},
      {u"aa", u"(a)\\1\\1", NoMatch()},
      {u"b", u"(a)|b\\1", NoMatch()},
      {u"ab", u"(a)(b)\\3", Reported(tooFew)},
      {u"xyz", u"q(a)(b)\\3", NoMatch()},
      {u"0", u"\\0", NoMatch()},  // "\0" is the character of code 0, not a reference
      {std::u16string(1, u'\0'), u"\\0", Matched(std::string(1, '\0'), 1)},
  });
}

TEST(Atoms, WordBoundaries) {
  ExpectAll({
      {u"abc", u"\\babc\\b", Matched("abc", 1)},
      {u" x", u"\\b", Matched("", 2)},
      {u"e\u00E9", u"e\\b", Matched("e", 1)},
      {u"e\u00FF", u"e\\b", NoMatch()},
      {u"abc", u"b\\Bc", Matched("bc", 2)},
      {u"ab cd", u"\\b\\w+\\b", Matched("ab", 1)},
      {u"ab cd", u"\\B..", Matched("b ", 2)},
      {u"a_1", u"a\\B_\\B1\\b", Matched("a_1", 1)},
      {u"!", u"\\b", NoMatch()},
      {u"AB", u"\\bab\\b", Matched("AB", 1), reIgnoreCase},
  });
}

}  // namespace
}  // namespace quarn::testing
