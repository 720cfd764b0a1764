#include <gtest/gtest.h>

#include "quarn/quarn.h"

TEST(Smoke, FindsB) {
  EXPECT_TRUE(quarn::Quarn(u"abc", u"b", 0));
}
