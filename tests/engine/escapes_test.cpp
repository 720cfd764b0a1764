// Escape expansion: the rewritten pattern for each kind of escape, and the errors it reports.
#include <gtest/gtest.h>

#include "rewrite.h"
#include "support.h"

namespace quarn::testing {
namespace {

// Makes control characters visible in failure messages.
std::string Visible(std::u16string_view text) {
  std::string shown;
  for (const char16_t c : text) {
    if (c < 32 || c == 127 || c > 126) {
      shown += "<" + std::to_string(static_cast<int>(c)) + ">";
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

void ExpectRewrites(const std::vector<std::pair<std::u16string, std::u16string>>& cases) {
  for (const auto& [pattern, expanded] : cases) {
    EXPECT_EQ(Visible(ExpandEspaces(pattern)), Visible(expanded)) << Visible(pattern);
  }
}

const std::u16string kWord = u"a-zA-Z0-9_\u0080\u00FF";

TEST(Escapes, ClassesBecomeBracketExpressionsOrBareLists) {
  ExpectRewrites({
      {u"", u""},
      {u"abc(d)[e]", u"abc(d)[e]"},
      {u"\\d+", u"[0-9]+"},
      {u"\\D", u"[^0-9]"},
      {u"[\\d_]", u"[0-9_]"},
      {u"[\\D]", u"[^0-9]"},
      {u"[a\\D]", u"[a^0-9]"},
      {u"\\w", u"[" + kWord + u"]"},
      {u"\\W", u"[^" + kWord + u"]"},
      {u"\\s", u"[ \\n\t\r\n]"},
      {u"\\S", u"[^ \\n\t\r\n]"},
      {u"\\b(\\w+)\\b", u"\\b([" + kWord + u"]+)\\b"},
      // The bracket flag is a plain switch: an escaped "]" leaves it on, a second "[" too.
      {u"a\\]b\\d", u"a\\]b[0-9]"},
      {u"[a\\]\\d]", u"[a\\]0-9]"},
      {u"[[a]\\d", u"[[a][0-9]"},
      {u"[a]]\\d", u"[a]][0-9]"},
  });
  EXPECT_EQ(ExpandEspaces(u"\\w").size(), 14u);
}

TEST(Escapes, CharacterEscapesGetAProtectingBackslash) {
  ExpectRewrites({
      {u"\\t", u"\\\t"},
      {u"\\cI", u"\\\t"},
      {u"\t", u"\\\t"},
      {u"a\rb\x01", u"a\\\rb\\\x01"},
      {u"\\f", u"\\\f"},
      {u"\\r", u"\\\r"},
      {u"\\a", u"\\\a"},
      {u"\\e", u"\\\x1B"},
      {u"[\\b]", u"[\\\b]"},
      {u"\\b", u"\\b"},
      {u"\\c@", std::u16string(u"\\") + u'\0'},
      {u"\\c_", u"\\\x1F"},
      {u"\\ca", u"\\\x01"},
      {u"\\cA", u"\\\x01"},
      {u"\\c[", u"\\\x1B"},
  });
}

TEST(Escapes, OctalAndHexadecimalCodes) {
  ExpectRewrites({
      {u"\\0101", u"A"},
      {u"\\056", u"\\."},
      {u"\\0377", u"\u00FF"},
      {u"\\08", std::u16string(u"\\") + u'\0' + u"8"},
      {u"\\0", std::u16string(u"\\") + u'\0'},
      {u"\\01234", u"S4"},
      {u"\\x41", u"A"},
      {u"\\x2a", u"\\*"},
      {u"\\x7f", u"\\\x7F"},
      {u"\\xff", u"\u00FF"},
      {u"\\xFF", u"\u00FF"},
      {u"\\x4g", u"\\\x04g"},
      {u"\\xg", u"xg"},
      {u"\\x", u"x"},
      {u"\\x303", u"03"},
  });
}

TEST(Escapes, QuotedStretchesAreLiteral) {
  ExpectRewrites({
      {u"\\Q.*\\E", u"\\.\\*"},
      {u"\\Qa b\\E", u"a\\ b"},
      {u"\\Q[a]\\E\\d", u"\\[a\\][0-9]"},
      {u"\\Qab", u"ab"},
      {u"\\Q\\\\E", u"\\\\"},
      {u"\\Q\\x", u"\\\\x"},
      {u"\\Q\\e", u"\\\\e"},
      {u"\\Q\u00E9\u0100\\E", u"\u00E9\\\u0100"},
      {u"\\Q\\d\\E\\d", u"\\\\d[0-9]"},
  });
}

TEST(Escapes, OtherEscapesPassThrough) {
  ExpectRewrites({
      {u"\\E", u"\\E"},
      {u"\\n\\N\\B\\A\\Z\\3", u"\\n\\N\\B\\A\\Z\\3"},
      {u"\\.\\\\\\[\\]\\(\\)\\*\\+\\?\\{\\|\\^\\$\\-",
       u"\\.\\\\\\[\\]\\(\\)\\*\\+\\?\\{\\|\\^\\$\\-"},
      {u"ab\\", u"ab\\"},
      {u"ab\\\\", u"ab\\\\"},
  });
}

TEST(Escapes, EscapeCharCodeKeepsLettersDigitsAndHighCodesBare) {
  EXPECT_EQ(EscapeCharCode('A'), u"A");
  EXPECT_EQ(EscapeCharCode('z'), u"z");
  EXPECT_EQ(EscapeCharCode('7'), u"7");
  EXPECT_EQ(EscapeCharCode(128), u"\u0080");
  EXPECT_EQ(EscapeCharCode(' '), u"\\ ");
  EXPECT_EQ(EscapeCharCode(127), u"\\\x7F");
  EXPECT_EQ(EscapeCharCode(0), (std::u16string{u'\\', u'\0'}));
}

}  // namespace
}  // namespace quarn::testing
