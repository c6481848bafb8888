#include "foundation/stream/CharBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TEST(CharBuffer, GrowthAndResizeKeepTheTextAndZeroTheRest) {
  CharBuffer buffer;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    expected.push_back(static_cast<char>('a' + i % 26));
    ASSERT_TRUE(buffer.Push(expected.back()));
  }
  EXPECT_EQ(std::string(buffer.Data(), buffer.Length()), expected);
  ASSERT_TRUE(buffer.Resize(2));
  ASSERT_TRUE(buffer.Resize(9000));
  EXPECT_GE(buffer.Capacity(), 9000u);
  EXPECT_EQ(std::string(buffer.Data(), 4), std::string("ab\0\0", 4));
  EXPECT_EQ(buffer.Data()[8999], '\0');
}

TEST(CharBuffer, GrowthBeyond32BitsFailsAndKeepsTheBuffer) {
  CharBuffer buffer;
  ASSERT_TRUE(buffer.Push('x'));
  const uint32_t capacity = buffer.Capacity();
  EXPECT_FALSE(buffer.Reserve(UINT32_MAX));
  EXPECT_FALSE(buffer.Resize(UINT32_MAX - 1));
  EXPECT_EQ(buffer.Capacity(), capacity);
  EXPECT_EQ(buffer.Length(), 1u);
  EXPECT_EQ(buffer.Data()[0], 'x');
}

}  // namespace
