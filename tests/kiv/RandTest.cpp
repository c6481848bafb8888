#include "kiv/Rand.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>

TEST(KivRand, NextIntStaysWithinInclusiveBoundsAndReachesBoth) {
  Kiv::Rand rand(1234);
  std::set<int32_t> seen;
  for (int i = 0; i < 1000; ++i) {
    int32_t v = rand.NextInt(-2, 2);
    ASSERT_GE(v, -2);
    ASSERT_LE(v, 2);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 5u);
  EXPECT_EQ(rand.NextInt(9, 9), 9);
  EXPECT_EQ(rand.NextInt(9, 3), 9);
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  for (int i = 0; i < 100; ++i) rand.NextInt(kMin, kMax);  // Full range without overflow.
}

TEST(KivRand, SameSeedRepeatsSequence) {
  Kiv::Rand a(77);
  Kiv::Rand b;
  b.Randomise(77);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(a.NextInt(0, 1000000), b.NextInt(0, 1000000));
}
