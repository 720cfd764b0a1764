// Nested quantifiers, with and without back references, make a backtracking matcher try
// exponentially many ways through a run of "a" that cannot match. With its failures
// remembered the engine must give the rewriting's answer within a step budget that grows
// polynomially with the run, never near the rewriting's own count (over 2^24 steps at 25
// characters). The step count is deterministic, so the budget is exact, not a timing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quarn/pattern.h"
#include "quarn/utf.h"

namespace {

enum class Answer { kNoMatch, kDepthLimit };

struct Case {
  std::u16string pattern;
  size_t length;  // of the run of "a"
  Answer answer;  // what the rewriting gives
};

constexpr uint64_t kStepBudget = 200000;
const std::string kDepthLimit =
    "Error #20052: Error in Quarn.DoQuarn: Maximum number of iterations exceeded. Possibly an "
    "infinite loop.";

TEST(Backtracking, ExponentialSearchesAnswerWithinAPolynomialStepBudget) {
  const std::vector<Case> cases = {
      {u"(a|a)*\\1b", 25, Answer::kNoMatch},      {u"(a|a)*\\1b", 100, Answer::kNoMatch},
      {u"(a|a)*\\1b", 400, Answer::kDepthLimit},  {u"(a+)+\\1b", 25, Answer::kNoMatch},
      {u"(a+)+\\1b", 100, Answer::kNoMatch},      {u"(a+)+\\1b", 400, Answer::kDepthLimit},
      {u"(\\w+)*\\1x", 25, Answer::kNoMatch},     {u"(\\w+)*\\1x", 100, Answer::kNoMatch},
      {u"(\\w+)*\\1x", 400, Answer::kDepthLimit}, {u"(a|aa)+b", 100, Answer::kNoMatch},
      {u"(a|aa)+b", 400, Answer::kDepthLimit},    {u"(a+)+b", 100, Answer::kNoMatch},
      {u"(a+)+b", 199, Answer::kDepthLimit},      {u"(?:a|a)*b*\\bx", 100, Answer::kNoMatch},
      {u"(a|aa)+c*$x", 100, Answer::kNoMatch},
  };
  quarn::Limits limits;
  limits.steps = kStepBudget;
  for (const Case& c : cases) {
    const quarn::Pattern pattern(c.pattern);
    const quarn::SearchResult result = pattern.search(std::u16string(c.length, u'a'), 0, limits);
    const std::string what = quarn::Utf16ToUtf8(c.pattern) + " on " + std::to_string(c.length);
    EXPECT_FALSE(result.matched()) << what;
    if (c.answer == Answer::kNoMatch) {
      EXPECT_FALSE(result.error()) << what << ": " << result.error()->report();
    } else {
      ASSERT_TRUE(result.error()) << what;
      EXPECT_EQ(result.error()->report(), kDepthLimit) << what;
    }
  }
}

}  // namespace
