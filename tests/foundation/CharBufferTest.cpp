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
  EXPECT_EQ(buffer.Capacity(), 8192u);  // steps of 4096
  EXPECT_EQ(std::string(buffer.Data(), buffer.Length()), expected);
  ASSERT_TRUE(buffer.Resize(2));
  ASSERT_TRUE(buffer.Resize(9000));
  EXPECT_EQ(buffer.Capacity(), 12288u);
  EXPECT_EQ(std::string(buffer.Data(), 4), std::string("ab\0\0", 4));
  EXPECT_EQ(buffer.Data()[8999], '\0');
}

TEST(CharBuffer, GrowthBeyond32BitsFailsAndKeepsTheBuffer) {
  CharBuffer buffer;
  ASSERT_TRUE(buffer.Push('x'));
  EXPECT_FALSE(buffer.Reserve(UINT32_MAX));
  EXPECT_FALSE(buffer.Resize(UINT32_MAX - 1));
  EXPECT_EQ(buffer.Capacity(), 4096u);
  EXPECT_EQ(buffer.Length(), 1u);
  EXPECT_EQ(buffer.Data()[0], 'x');
}

}  // namespace
