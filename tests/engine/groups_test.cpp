// Group preprocessing: the internal form with numbered markers, comments and non-capturing
// groups rewritten, and the four errors in the order of the text.
#include <gtest/gtest.h>

#include "rewrite.h"
#include "support.h"

namespace quarn::testing {
namespace {

// A marker character, written as <n> to keep expectations readable.
std::string Readable(std::u16string_view text) {
  std::string shown;
  for (const char16_t c : text) {
    shown += c >= 1 && c <= 31 ? "<" + std::to_string(static_cast<int>(c)) + ">"
                               : U8(std::u16string_view(&c, 1));
  }
  return shown;
}

struct Rewrite {
  std::u16string pattern;
  std::string internal;
  int16_t count;
};

TEST(Groups, InternalFormNumbersGroupsByTheirOpeningParenthesis) {
  const std::vector<Rewrite> cases = {
      {u"", "", 0},
      {u"abc", "abc", 0},
      {u"(a)", "(<1>a<1>)", 1},
      {u"(a(b))(c)", "(<1>a(<2>b<2>)<1>)(<3>c<3>)", 3},
      {u"(?:a(b))", "(a(<1>b<1>))", 1},
      {u"x(?=(y))", "x(?=(<1>y<1>))", 1},
      {u"(?!a)", "(?!a)", 0},
      {u"a(?#note)b", "ab", 0},
      {u"(?#(a))(b)", "(<1>b<1>)", 1},
      {u"()", "(<1><1>)", 1},
      {u"(?:)", "()", 0},
      {u"[]]", "[]]", 0},
      {u"[(]", "[(]", 0},
      {u"a)b", "a)b", 0},
      {u"a]b", "a]b", 0},
      {u"\\(a\\)", "\\(a\\)", 0},
      {u"((?:a|(b))|c)", "(<1>(a|(<2>b<2>))|c<1>)", 2},
  };
  for (const Rewrite& c : cases) {
    int16_t count = 0;
    EXPECT_EQ(Readable(ProcessParentheses(c.pattern, count)), c.internal) << U8(c.pattern);
    EXPECT_EQ(count, c.count) << U8(c.pattern);
  }
}

TEST(Groups, TooManyGroups) {
  std::u16string pattern;
  for (int i = 0; i < 31; ++i)
    pattern += u"(?:(x)|)";
  EXPECT_EQ(Search(u"x", pattern).groups.size(), 31u);
  EXPECT_EQ(Search(u"x", pattern + u"(?#(y))"), Search(u"x", pattern));
  EXPECT_EQ(Search(u"x", u"(?:" + pattern + u"|(y))"),
            Reported("Error #20052: Error in Quarn.CreateMatch: Too many subexpressions in "
                     "regular expression (max 31)."));
}

}  // namespace
}  // namespace quarn::testing
