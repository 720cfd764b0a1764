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
  const SearchLimits host = ResolveLimits({.host = true}, uint64_t{16} << 30);
  SearchLimits deeper = host;
  deeper.engine.depth = 5000;
  SearchLimits longest = host;
  longest.engine.subjectLength = UINT32_MAX;
  const SearchLimits defaults = ResolveLimits({}, uint64_t{16} << 30);
  const struct {
    Limit limit;
    int64_t lines;
    bool whole;
    SearchLimits limits;
    std::string notice;
  } cases[] = {
      {Limit::Depth, 1, false, host,
       "f: the depth limit ended the search of line 7: a repeated atom can take about 499 "
       "characters; --depth raises it"},
      {Limit::Depth, 2, false, deeper,
       "f: the depth limit ended the search of 2 lines (the first: line 7): a repeated atom can "
       "take about 2,499 characters; --depth raises it"},
      {Limit::Length, 1, true, host,
       "f: the length limit ended the search of the file: files longer than 32,765 characters "
       "cannot be searched to their end with --whole; --long-lines raises it"},
      {Limit::Length, 1, false, longest,
       "f: the length limit ended the search of line 7: lines longer than 4,294,967,295 "
       "characters cannot be searched to their end"},
      // A quarter of 16 GB for a line: a third of it in characters, a 64th in levels.
      {Limit::Length, 1, false, defaults,
       "f: the length limit ended the search of line 7: lines longer than 1,431,655,765 "
       "characters cannot be searched to their end; --long-lines raises it"},
      {Limit::Depth, 1, false, defaults,
       "f: the depth limit ended the search of line 7: a repeated atom can take about "
       "33,554,431 characters; --depth raises it"},
      {Limit::Steps, 3, false, defaults,
       "f: the step budget ended the search of 3 lines (the first: line 7): a search may take "
       "100,000,000 steps, or as many for each 100,000 characters of a longer line; "
       "--max-steps raises it"},
      {Limit::Size, 1, false, host,
       "f: the size limit ended the search of line 7: lines of more than 1,431,655,765 bytes "
       "are not read into memory"},
      {Limit::Memory, 1, false, defaults,
       "f: the memory available ended the search of line 7: the search ran out of memory"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LimitNotice("f", c.limit, c.lines, 7, c.whole, c.limits), c.notice);
  }
}

TEST(SearchLimits, HostLimitsAreTheEnginesAndOptionsRaiseEachOnItsOwn) {
  constexpr uint64_t kMemory = uint64_t{16} << 30;
  const SearchLimits host = ResolveLimits({.host = true}, kMemory);
  EXPECT_EQ(host.engine.depth, Limits().depth);
  EXPECT_EQ(host.engine.subjectLength, Limits().subjectLength);
  EXPECT_EQ(host.maxSteps, 0u);
  const SearchLimits raised =
      ResolveLimits({.host = true, .depth = 7, .longLines = true, .maxSteps = 9}, kMemory);
  EXPECT_EQ(raised.engine.depth, 7u);
  EXPECT_EQ(raised.engine.subjectLength, UINT32_MAX);
  EXPECT_EQ(raised.maxSteps, 9u);
  // On a small machine the defaults never fall below the engine's own.
  const SearchLimits small = ResolveLimits({}, 4096);
  EXPECT_EQ(small.engine.depth, Limits().depth);
  EXPECT_EQ(small.engine.subjectLength, Limits().subjectLength);
  EXPECT_EQ(ResolveLimits({}, uint64_t{1} << 50).engine.depth, UINT32_MAX);
}

TEST(SearchLimits, TheStepBudgetGrowsWithLongLines) {
  EXPECT_EQ(StepBudget(1000, 0), 1000u);
  EXPECT_EQ(StepBudget(1000, kStepBlock - 1), 1000u);
  EXPECT_EQ(StepBudget(1000, 2 * kStepBlock), 2000u);
  EXPECT_EQ(StepBudget(1000, 10 * kStepBlock + 5), 10000u);
  EXPECT_EQ(StepBudget(UINT64_MAX / 2, 4 * kStepBlock), UINT64_MAX);
}

}  // namespace
}  // namespace quarn::cli
