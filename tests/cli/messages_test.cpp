// The caret under a fault's position in a pattern, in the columns a terminal shows, and the
// limit notices at the limits in force.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "messages.h"

namespace quarn::cli {
namespace {

std::string Shown(std::string_view pattern, std::optional<size_t> position) {
  char* text = nullptr;
  size_t size = 0;
  std::FILE* err = open_memstream(&text, &size);
  {
    Sink sink(stdout, err);
    Messages(sink).ShowPatternPosition(pattern, position);
  }
  std::fclose(err);
  std::string shown(text, size);
  std::free(text);
  return shown;
}

struct CaretCase {
  const char* pattern;
  size_t position;  // UTF-16 units
  const char* caret;
};

TEST(PatternPosition, ACaretUnderTheCharacterAsTheTerminalShowsIt) {
  const CaretCase cases[] = {
      {"ab(c", 2, "    ^"},
      // U+1F600 is two units and two columns, "é" one and one.
      {"\xF0\x9F\x98\x80\xC3\xA9x{", 4, "      ^"},
      // A CJK character is one unit and two columns; a combining acute accent none.
      {"\xE4\xB8\xAD(", 1, "    ^"},
      {"e\xCC\x81(", 2, "   ^"},
      // A tab is kept, so that both lines reach the same tab stop.
      {"a\tb(", 3, "   \t ^"},
  };
  for (const CaretCase& c : cases) {
    EXPECT_EQ(Shown(c.pattern, c.position),
              std::string("quarn:   ") + c.pattern + "\nquarn: " + c.caret + "\n")
        << c.pattern;
  }
}

TEST(PatternPosition, NothingWithoutAPosition) {
  EXPECT_EQ(Shown("ab(c", std::nullopt), "");
}

TEST(LimitNotice, NamesTheLimitsInForceAndTheOptionThatRaisesThem) {
  Limits deeper;
  deeper.depth = 5000;
  Limits longest;
  longest.subjectLength = UINT32_MAX;
  EXPECT_EQ(LimitNotice("f", Limit::Depth, 1, 7, false, {}),
            "f: the depth limit ended the search of line 7: a repeated atom can take about 499 "
            "characters; --depth raises it");
  EXPECT_EQ(LimitNotice("f", Limit::Depth, 2, 3, false, deeper),
            "f: the depth limit ended the search of 2 lines (the first: line 3): a repeated atom "
            "can take about 2,499 characters; --depth raises it");
  EXPECT_EQ(LimitNotice("f", Limit::Length, 1, 2, true, {}),
            "f: the length limit ended the search of the file: files longer than 32,765 "
            "characters cannot be searched to their end with --whole; --long-lines raises it");
  EXPECT_EQ(LimitNotice("f", Limit::Length, 1, 2, false, longest),
            "f: the length limit ended the search of line 2: lines longer than 4,294,967,295 "
            "characters cannot be searched to their end");
}

}  // namespace
}  // namespace quarn::cli
