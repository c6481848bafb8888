#include "gsnative/HTMLBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The text is bounded: plain and escaped appends up to the bound are
// taken, and the first that would pass it is refused whole, leaving the
// text and the empty flag as they were. Escaping counts what it writes,
// not what it is given.
TEST(HTMLBufferTest, AppendsPastTheBoundAreRefusedWhole) {
  const std::string almost(HTMLBuffer::kMaxLength - 4, 'x');

  HTMLBuffer plain;
  EXPECT_TRUE(plain.Append(almost.data(), almost.size()));
  EXPECT_FALSE(plain.AppendText("12345"));
  EXPECT_TRUE(plain.AppendText("1234"));
  EXPECT_EQ(plain.Length(), HTMLBuffer::kMaxLength);
  EXPECT_FALSE(plain.AppendText("y"));
  EXPECT_FALSE(plain.AppendEscaped("y"));
  EXPECT_TRUE(plain.AppendText(""));
  EXPECT_EQ(plain.Length(), HTMLBuffer::kMaxLength);

  HTMLBuffer escaped;
  EXPECT_TRUE(escaped.Append(almost.data(), almost.size()));
  EXPECT_FALSE(escaped.AppendEscaped("&"));  // five bytes
  EXPECT_FALSE(escaped.AppendEscaped("ab<"));
  EXPECT_TRUE(escaped.AppendEscaped("\r\n"));  // one "<br>"
  EXPECT_EQ(escaped.Length(), HTMLBuffer::kMaxLength);
  EXPECT_EQ(escaped.GetText().View().substr(almost.size()), "<br>");

  // A refused first append leaves an empty buffer empty.
  const std::string ampersands(HTMLBuffer::kMaxLength / 5 + 1, '&');
  HTMLBuffer fresh;
  EXPECT_FALSE(fresh.AppendEscaped(ampersands.c_str()));
  EXPECT_TRUE(fresh.IsEmpty());
  EXPECT_EQ(fresh.Length(), 0u);
}

}  // namespace
