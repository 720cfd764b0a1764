// Random patterns and subjects built from the pattern language's special characters: every
// search must end with a Boolean and at most one report, and what the result calls give
// back must be consistent with the subject. Run under the sanitizers, this is what finds
// out-of-range reads and undefined behaviour in the stages.
#include <gtest/gtest.h>

#include <random>

#include "support.h"

namespace quarn::testing {
namespace {

std::u16string RandomText(std::mt19937& random, std::u16string_view alphabet, size_t maxLength) {
  std::uniform_int_distribution<size_t> length(0, maxLength);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::u16string text(length(random), u' ');
  for (char16_t& c : text)
    c = alphabet[pick(random)];
  return text;
}

// The match and every completed group lie inside the subject, and the three texts around
// the match put it back together.
void ExpectConsistentResults(std::u16string_view subject) {
  const auto before = Text(QuarnResult(reBeforeMatch));
  const auto match = Text(QuarnResult(reMatch));
  const auto after = Text(QuarnResult(reAfterMatch));
  ASSERT_TRUE(before && match && after);
  EXPECT_EQ(*before + *match + *after, U8(subject));

  const ResultValue count = QuarnResult(reSubexprCount);
  const int16_t groups = std::holds_alternative<int16_t>(count) ? std::get<int16_t>(count) : 0;
  for (int n = 1; n <= groups; ++n) {
    int32_t start = -1;
    int32_t length = -1;
    QuarnIndex(n, start, length);
    if (start == 0) continue;  // the group took no part in the match
    EXPECT_GE(start, 1);
    EXPECT_GE(length, 0);
    EXPECT_LE(start + length - 1, static_cast<int32_t>(subject.size()));
  }
}

TEST(Robustness, RandomSearchesEndCleanly) {
  std::mt19937 random(20261208);
  const std::u16string_view patternAlphabet =
      u"ab()[]{}|*+?.^$\\-,0123wWdDsSbBnAZQEcx:=!#\r\n\t\u00E9\u0100";
  const std::u16string_view subjectAlphabet = u"aAb1_- \r\n\u00E9";
  for (int i = 0; i < 20000; ++i) {
    const std::u16string pattern = RandomText(random, patternAlphabet, 12);
    const std::u16string subject = RandomText(random, subjectAlphabet, 16);
    const int32_t flags = static_cast<int32_t>(random() % 6);  // never both line options
    CapturedReports reports;
    const bool matched = Quarn(subject, pattern, flags);
    ASSERT_LE(reports.texts.size(), 1u) << U8(pattern);
    if (!matched) continue;
    ExpectConsistentResults(subject);
    // A search that reports has failed, and a stored match answers every result call.
    ASSERT_TRUE(reports.texts.empty()) << U8(pattern) << ": " << reports.texts[0];
  }
}

}  // namespace
}  // namespace quarn::testing
