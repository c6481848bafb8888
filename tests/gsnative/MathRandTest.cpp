// The Math.Rand generator: the product taken from four-digit halves gives
// exactly (a * 31415821 + 1) mod 100000000 in truncating arithmetic, for
// positive and negative states, and each draw is |a| mod 65535.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "gsnative/MathNatives.h"

namespace {

TEST(MathRandTest, KnownSequenceFromZero) {
  SeedMathRand(0);
  const int32_t expected[] = {1, 24557, 19233, 38924};
  for (int32_t r : expected) EXPECT_EQ(NextMathRand(), r);
}

TEST(MathRandTest, HalvesAgreeWithWideArithmetic) {
  for (int32_t seed : {INT32_MIN, -5, 12345, 99999999, INT32_MAX}) {
    int64_t a = seed;
    SeedMathRand(seed);
    for (int i = 0; i < 10000; ++i) {
      a = (a * 31415821 + 1) % 100000000;
      const int32_t r = NextMathRand();
      ASSERT_EQ(r, static_cast<int32_t>(std::llabs(a) % 65535)) << seed << " draw " << i;
      ASSERT_GE(r, 0);
      ASSERT_LT(r, 65535);
    }
  }
}

}  // namespace
