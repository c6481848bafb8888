// The local time of day as the script base gives it.
#include <gtest/gtest.h>

#include "gsnative/VandruScriptContext.h"

TEST(NormalizedSystemTime, MidnightIsHalfNoonIsOneAndThenItWraps) {
  EXPECT_EQ(NormalizedSystemTime(0, 0, 0), 0.5f);
  EXPECT_EQ(NormalizedSystemTime(12, 0, 0), 1.0f);
  EXPECT_NEAR(NormalizedSystemTime(12, 0, 1), 1.0f / 86400.0f, 1e-6f);
  EXPECT_NEAR(NormalizedSystemTime(18, 0, 0), 0.25f, 1e-6f);
}
