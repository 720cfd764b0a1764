// The depth limit has to stop every runaway search before the C++ stack does, also on a
// thread with a small stack.
#include <gtest/gtest.h>
#include <pthread.h>

#include "support.h"

namespace quarn::testing {
namespace {

constexpr size_t kStackBytes = size_t{1} << 20;

struct Job {
  std::u16string text;
  std::u16string pattern;
  Outcome outcome;
};

// Runs the search on a new thread whose stack is 1 MiB.
Outcome SearchOnSmallStack(std::u16string text, std::u16string pattern) {
  Job job{std::move(text), std::move(pattern), {}};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kStackBytes);
  pthread_t thread;
  const int created = pthread_create(
      &thread, &attributes,
      [](void* argument) -> void* {
        Job& j = *static_cast<Job*>(argument);
        j.outcome = Search(j.text, j.pattern);
        return nullptr;
      },
      &job);
  pthread_attr_destroy(&attributes);
  EXPECT_EQ(created, 0);
  if (created == 0) pthread_join(thread, nullptr);
  return job.outcome;
}

TEST(Stack, DepthLimitHoldsOnAOneMebibyteStack) {
  const std::string depth =
      "Error #20052: Error in Quarn.DoQuarn: Maximum number of iterations exceeded. Possibly an "
      "infinite loop.";
  const std::u16string many(1200, u'a');
  auto nested = [](std::u16string_view open, int levels) {
    std::u16string pattern;
    for (int i = 0; i < levels; ++i)
      pattern += open;
    return pattern + u"a" + std::u16string(levels, u')');
  };
  const std::vector<std::pair<std::u16string, std::u16string>> runaways = {
      {many, u"a*"},
      {many, u"(a)*"},
      {many, u"(?:a|b)+?$"},
      {many, u"[a]{0,1100}"},
      {many, u"(?=a)*"},
      {many, u"(?=(?=(?=(a*)*)))"},
      {u"x", u"(a*)*"},
      {many, u"(((a)))*"},
      {many, u"(a)\\1*"},
      {u"a", nested(u"(?=", 1100)},
      {u"a", nested(u"(?!", 1100)},
      {u"a", nested(u"(?:", 1100)},
  };
  for (const auto& [text, pattern] : runaways) {
    EXPECT_EQ(SearchOnSmallStack(text, pattern), Reported(depth)) << U8(pattern);
  }
}

}  // namespace
}  // namespace quarn::testing
