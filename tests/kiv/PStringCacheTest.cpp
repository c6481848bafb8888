// The intern table under growth and removal in any order.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "kiv/PString.h"

namespace {

TEST(PStringCache, ReleasingInAnyOrderKeepsTheOthersFindable) {
  const size_t before = Kiv::PStringCache::Count();
  std::vector<Kiv::PString> held;
  for (int i = 0; i < 5000; ++i) held.emplace_back("cache-test-" + std::to_string(i * 7919));
  EXPECT_EQ(Kiv::PStringCache::Count(), before + held.size());
  std::mt19937 rng(3);
  std::shuffle(held.begin(), held.end(), rng);
  while (held.size() > 100) {
    held.pop_back();
    if (held.size() % 500 != 0) continue;
    // Every survivor is still the one entry of its text.
    for (const auto& s : held) ASSERT_EQ(Kiv::PString(s.View()), s) << s.Str();
  }
  EXPECT_EQ(Kiv::PStringCache::Count(), before + held.size());
  for (const auto& s : held) {
    EXPECT_EQ(s.Length(), s.View().size());
    EXPECT_EQ(s.c_str()[s.Length()], '\0');
  }
  held.clear();
  EXPECT_EQ(Kiv::PStringCache::Count(), before);
}

}  // namespace
