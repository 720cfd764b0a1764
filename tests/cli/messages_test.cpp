// The caret under a fault's position in a pattern, which the engine cannot give yet: the
// hook must show it right once it can, and say nothing until then.
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
  Messages(stdout, err).ShowPatternPosition(pattern, position);
  std::fclose(err);
  std::string shown(text, size);
  std::free(text);
  return shown;
}

TEST(PatternPosition, ACaretUnderTheCharacter) {
  EXPECT_EQ(Shown("ab(c", 2), "quarn:   ab(c\nquarn:     ^\n");
  // Positions count UTF-16 units, columns characters: U+1F600 is two units, "é" one.
  EXPECT_EQ(Shown("\xF0\x9F\x98\x80\xC3\xA9x{", 4),
            "quarn:   \xF0\x9F\x98\x80\xC3\xA9x{\nquarn:      ^\n");
}

TEST(PatternPosition, NothingWithoutAPosition) {
  EXPECT_EQ(Shown("ab(c", std::nullopt), "");
}

}  // namespace
}  // namespace quarn::cli
