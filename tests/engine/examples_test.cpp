// The demo window's examples, run through the engine with no options. The expectations are
// read off the patterns: the leftmost match, then every subexpression.
#include <gtest/gtest.h>

#include "examples.h"
#include "support.h"

namespace quarn::testing {
namespace {

TEST(Examples, EachFindsWhatItsPatternDescribes) {
  const std::vector<Outcome> expected = {
      Matched("", 1),
      Matched("help.desk@example.org", 21, {"help.desk", "example.org"}),
      Matched("$50,000.00", 6),
      Matched("192.168.10.254", 28),
      Matched("14 Dec 1997", 8, {"14", "Dec", "1997"}),
      Matched("-10.23E-12", 1, {"10.23", "E-12"}),
      Matched("\"VB means \"\"Visual Basic\"\", right?\"", 7),
      Matched("#const abc = 100", 1, {"abc", "100"}),
      Matched("#If abc Then", 1, {"abc"}),
      Matched("\"Let's have a C-style \\\"string\\\" with lots of \\\\escapes\\\\\"", 6,
              {"Let's have a C-style \\\"string\\\" with lots of \\\\escapes\\\\"}),
      Matched("food is under the bar in the bar", 5),
      Matched("food is under the bar", 5),
      Matched("is is is", 6, {"is"}),
      Matched("mY cAPS lOCK", 31),
      Matched("ENjoy WRiting LIke", 10),
      Matched("11 companies", 25),
      Matched("foo", 41),
      Matched(U8(demo::kExamples[17].text), 1, {"Fennvaxe"}),
  };
  ASSERT_EQ(expected.size(), demo::kExamples.size());
  for (size_t i = 1; i < expected.size(); ++i) {
    const demo::Example& example = demo::kExamples[i];
    EXPECT_EQ(Search(example.text, example.pattern), expected[i]) << U8(example.caption);
  }
}

TEST(Examples, TheSurnameRunHasThirteenSpellings) {
  const std::u16string_view text = demo::kExamples[17].text;
  EXPECT_EQ(std::count(text.begin(), text.end(), u' '), 12);
}

}  // namespace
}  // namespace quarn::testing
