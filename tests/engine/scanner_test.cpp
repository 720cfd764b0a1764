// The pattern scanner: how atoms and quantifiers are cut, where groups and bracket
// expressions end, and the display form used in messages.
#include <gtest/gtest.h>

#include "scanner.h"
#include "support.h"

namespace quarn::testing {
namespace {

struct Cut {
  std::u16string atom;
  std::u16string quantifier;
  std::u16string rest;
  bool operator==(const Cut&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Cut& c) {
  return out << "atom \"" << U8(c.atom) << "\" quantifier \"" << U8(c.quantifier) << "\" rest \""
             << U8(c.rest) << "\"";
}

Cut Next(std::u16string_view pattern) {
  std::u16string_view quantifier;
  const std::u16string_view atom = GetNextQuarn(pattern, quantifier);
  return {std::u16string(atom), std::u16string(quantifier), std::u16string(pattern)};
}

TEST(Scanner, AtomsAndTheirQuantifiers) {
  const std::vector<std::pair<std::u16string, Cut>> cases = {
      {u"*ab", {u"*", u"", u"ab"}},         {u"**", {u"*", u"*", u""}},
      {u"a*?b", {u"a", u"*?", u"b"}},       {u"a??b", {u"a", u"??", u"b"}},
      {u"a+?", {u"a", u"+?", u""}},         {u"a{2}?b", {u"a", u"{2}?", u"b"}},
      {u"a{", {u"a", u"", u"{"}},           {u"a*{", {u"a", u"*", u"{"}},
      {u"a{b}c", {u"a", u"{b}", u"c"}},     {u"a{1,2x}", {u"a", u"{1,2x}", u""}},
      {u"a{\\}}", {u"a", u"{\\}", u"}"}},   {u"{2}", {u"{", u"", u"2}"}},
      {u"\\", {u"\\", u"", u""}},           {u"\\**", {u"\\*", u"*", u""}},
      {u"[]a]*", {u"[]a]", u"*", u""}},     {u"[^]a]", {u"[^]a]", u"", u""}},
      {u"[\\]]x", {u"[\\]]", u"", u"x"}},   {u"(a(b)c)+d", {u"(a(b)c)", u"+", u"d"}},
      {u"(a[)]b)", {u"(a[)]b)", u"", u""}}, {u"(a\\)b)", {u"(a\\)b)", u"", u""}},
      {u"\x01*", {u"\x01", u"*", u""}},     {u")]", {u")", u"", u"]"}},
  };
  for (const auto& [pattern, expected] : cases) {
    EXPECT_EQ(Next(pattern), expected) << U8(pattern);
  }
}

TEST(Scanner, FindersAgreeOnWhereThingsEnd) {
  std::u16string_view group = u"([]))";
  EXPECT_EQ(GetParentheses(group), u"([])");
  EXPECT_EQ(group, u")");

  for (std::u16string_view unclosed : {u"[]", u"[^]", u"[a\\]"}) {
    EXPECT_EQ(GetSquareBrackets(unclosed), u"");
  }
  std::u16string_view open = u"(a";
  EXPECT_EQ(GetParentheses(open), u"");
  EXPECT_EQ(open, u"(a");
  std::u16string_view braces = u"{1,2";
  EXPECT_EQ(GetCurlyBrackets(braces), u"");
  EXPECT_TRUE(StartsWithQuantifier(u"{x}"));
  EXPECT_FALSE(StartsWithQuantifier(u"{x"));
  EXPECT_FALSE(StartsWithQuantifier(u""));
}

// What GetParentheses answers on a stretch of a text, or its overflow as "overflow".
std::u16string FinderAnswer(std::u16string_view stretch) {
  try {
    return std::u16string(GetParentheses(stretch));
  } catch (const Error&) {
    return u"overflow";
  }
}

std::u16string TableAnswer(GroupEnds& ends, size_t from, size_t limit) {
  try {
    return std::u16string(ends.Find(from, limit));
  } catch (const Error&) {
    return u"overflow";
  }
}

// The table of where groups close answers what the finder answers from every "(" of a text
// and on every stretch of it, whichever order the questions come in.
TEST(Scanner, GroupTableAnswersLikeTheFinder) {
  const std::u16string longRun(32800, u'a');
  const std::vector<std::u16string> texts = {
      u"(a(b)c)(d)",
      u"([]))((a)",
      u"(a[)]b)(x\\)y)",
      u"((([(]))))",
      u"(\\)(\\\\)(",
      u"([](])(a)",
      u"(a]b[c(d)e)f)",
      u"((a)|(b(c)))*",
      u"(" + longRun + u")(a)",
      u"((" + longRun + u")",
      u"(" + longRun + u"\\",
      // 32,768 characters: the walk looks at the last only when no backslash escapes it.
      u"(" + longRun.substr(0, 32765) + u"\\x",
      u"(" + longRun.substr(0, 32764) + u"\\\\x",
  };
  for (const std::u16string& text : texts) {
    for (const bool backwards : {false, true}) {
      GroupEnds ends(text);
      for (size_t k = 0; k < text.size(); ++k) {
        const size_t from = backwards ? text.size() - 1 - k : k;
        if (text[from] != u'(') continue;
        for (const size_t limit : {text.size(), std::min(text.size(), from + 5)}) {
          EXPECT_EQ(U8(TableAnswer(ends, from, limit)),
                    U8(FinderAnswer(std::u16string_view(text).substr(from, limit - from))))
              << "from " << from << " to " << limit << " of " << U8(text.substr(0, 40));
        }
      }
    }
  }
}

TEST(Scanner, FindersFailPastSixteenBitPositions) {
  // A bracket expression that expands past 32,767 characters cannot be found.
  std::u16string pattern = u"[";
  for (int i = 0; i < 3000; ++i)
    pattern += u"\\w";
  pattern += u"]";
  EXPECT_EQ(Search(u"a", pattern),
            Reported("Error #6: Error in Quarn.GetSquareBrackets: Overflow"));
}

TEST(Scanner, DisplayFormDropsMarkersOutsideBrackets) {
  const std::vector<std::pair<std::u16string, std::u16string>> cases = {
      {u"(\x01"
       u"ab\x01)",
       u"(ab)"},
      {u"\\\t", u"\\\t"},
      {u"[\x05]", u"[\x05]"},
      {u"[\x02x", u"[x"},
      {std::u16string(u"a") + u'\0', std::u16string(u"a") + u'\0'},
  };
  for (const auto& [text, shown] : cases)
    EXPECT_EQ(StripGroupMarkers(text), shown);
}

}  // namespace
}  // namespace quarn::testing
