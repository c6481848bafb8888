#include "foundation/containers/FrameMemory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace {

bool IsAligned(const void* p, size_t alignment) {
  return reinterpret_cast<uintptr_t>(p) % alignment == 0;
}

TEST(FrameMemory, AllocationsHonourAlignment) {
  Utils::FrameMemory pool;
  for (size_t alignment : {1, 2, 4, 8, 16, 64}) {
    for (size_t n : {1, 3, 7, 33}) {
      void* p = pool.Allocate(n, alignment);
      ASSERT_NE(p, nullptr);
      EXPECT_TRUE(IsAligned(p, alignment)) << "alignment " << alignment << " n " << n;
      std::memset(p, 0xAB, n);
    }
  }
  // Alignment 0 counts as 1.
  EXPECT_NE(pool.Allocate(5, 0), nullptr);
}

TEST(FrameMemory, FullBlockMovesToFreshBlock) {
  Utils::FrameMemory pool(64);
  char* a = static_cast<char*>(pool.Allocate(64, 1));
  char* b = static_cast<char*>(pool.Allocate(1, 1));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  std::memset(a, 1, 64);
  *b = 2;
  EXPECT_EQ(a[63], 1);
  char* c = static_cast<char*>(pool.Allocate(1, 1));
  EXPECT_EQ(c, b + 1);  // small pieces are carved one after another
}

TEST(FrameMemory, OversizedRequestGetsDedicatedBlock) {
  Utils::FrameMemory pool;
  // Larger than a block, and as the very first request.
  char* big = static_cast<char*>(pool.Allocate(2049, 1));
  ASSERT_NE(big, nullptr);
  std::memset(big, 'x', 2049);

  char* small = static_cast<char*>(pool.Allocate(8, 1));
  ASSERT_NE(small, nullptr);
  void* aligned = pool.Allocate(100000, 64);
  ASSERT_NE(aligned, nullptr);
  EXPECT_TRUE(IsAligned(aligned, 64));
  std::memset(aligned, 'y', 100000);
  // The dedicated block does not displace the current one.
  EXPECT_EQ(static_cast<char*>(pool.Allocate(8, 1)), small + 8);
  EXPECT_EQ(pool.AllocationCount(), 4u);
}

TEST(FrameMemory, SizeOverflowAnswersNull) {
  Utils::FrameMemory pool;
  constexpr size_t kMax = std::numeric_limits<size_t>::max();
  EXPECT_EQ(pool.Allocate(kMax, 2), nullptr);
  EXPECT_EQ(pool.Allocate(kMax - 8, 1), nullptr);
  EXPECT_EQ(pool.AllocationCount(), 0u);
  EXPECT_NE(pool.Allocate(16, 8), nullptr);  // still usable
}

TEST(FrameMemory, DuplicateStringCopiesTextOfAnyLength) {
  Utils::FrameMemory pool;
  EXPECT_EQ(pool.DuplicateString(nullptr), nullptr);
  EXPECT_STREQ(pool.DuplicateString(""), "");
  const char* hello = "hello";
  char* copy = pool.DuplicateString(hello);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, hello);
  EXPECT_STREQ(copy, "hello");

  const std::string literal(10000, 'q');
  char* longCopy = pool.DuplicateString(literal.c_str());
  ASSERT_NE(longCopy, nullptr);
  EXPECT_EQ(std::string(longCopy), literal);
  EXPECT_STREQ(copy, "hello");  // earlier copies stay intact
}

}  // namespace
