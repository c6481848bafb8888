#include "kiv/ResourceSystem.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ResourceSystem, FirstOneIsCurrentUntilDestroyed) {
  EXPECT_EQ(Kiv::ResourceSystem::Current(), nullptr);
  {
    Kiv::ResourceSystem first;
    Kiv::ResourceSystem second;
    EXPECT_EQ(Kiv::ResourceSystem::Current(), &first);
  }
  EXPECT_EQ(Kiv::ResourceSystem::Current(), nullptr);
}

TEST(ResourceSystem, DumpCallsTheRegisteredReleasersInOrder) {
  Kiv::ResourceSystem resources;
  std::vector<int> calls;
  const uint32_t a = resources.AddCacheReleaser([&] { calls.push_back(1); });
  const uint32_t b = resources.AddCacheReleaser([&] { calls.push_back(2); });
  EXPECT_NE(a, 0u);
  EXPECT_NE(a, b);
  EXPECT_EQ(resources.AddCacheReleaser(nullptr), 0u);
  resources.DumpUnusedResourcesFromCache();
  EXPECT_EQ(calls, (std::vector<int>{1, 2}));
  resources.RemoveCacheReleaser(a);
  resources.RemoveCacheReleaser(12345);
  resources.DumpUnusedResourcesFromCache();
  EXPECT_EQ(calls, (std::vector<int>{1, 2, 2}));
}

}  // namespace
