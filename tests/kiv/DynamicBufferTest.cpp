#include "kiv/DynamicBuffer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

using Kiv::DynamicBuffer;

namespace {

TEST(DynamicBuffer, WritesReadBackAndReadsStopAtDataEnd) {
  DynamicBuffer buffer;
  const char text[] = "0123456789";
  ASSERT_EQ(buffer.Write(text, 2, 5), 10u);
  EXPECT_EQ(buffer.Position(), 10u);
  EXPECT_EQ(buffer.DataLength(), 10u);

  char out[16] = {};
  EXPECT_EQ(buffer.Read(out, 4), 0u);  // At the end of the data.
  buffer.SetPosition(7);
  EXPECT_EQ(buffer.Read(out, 4, 2), 3u);  // Only three bytes remain.
  EXPECT_EQ(std::memcmp(out, "789", 3), 0);
  EXPECT_EQ(buffer.Position(), 10u);

  // Overwriting inside the data keeps its length.
  buffer.SetPosition(2);
  ASSERT_EQ(buffer.Write("ab", 2), 2u);
  EXPECT_EQ(buffer.DataLength(), 10u);
  EXPECT_EQ(std::memcmp(buffer.Data(), "01ab456789", 10), 0);

  EXPECT_EQ(buffer.Write(text, 0, 5), 0u);
  EXPECT_EQ(buffer.Write(nullptr, 1, 5), 0u);
  EXPECT_EQ(buffer.DataLength(), 10u);
}

TEST(DynamicBuffer, GrowthKeepsBytesAndAtLeastDoubles) {
  DynamicBuffer buffer;
  int growths = 0;
  uint32_t allocated = buffer.AllocatedSize();
  for (uint32_t i = 0; i < 100000; ++i) {
    auto byte = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(buffer.Write(&byte, 1), 1u);
    if (buffer.AllocatedSize() == allocated) continue;
    if (allocated > 0) {
      EXPECT_GE(buffer.AllocatedSize(), 2 * allocated);
    }
    allocated = buffer.AllocatedSize();
    ++growths;
  }
  EXPECT_LE(growths, 20);
  for (uint32_t i = 0; i < 100000; ++i) {
    ASSERT_EQ(buffer.Data()[i], static_cast<uint8_t>(i * 7)) << "at " << i;
  }
}

TEST(DynamicBuffer, ExhaustingMaxSizeAnswersZeroAndChangesNothing) {
  DynamicBuffer buffer;
  buffer.SetMaxSize(100);
  std::vector<uint8_t> data(100, 0x5A);
  ASSERT_EQ(buffer.Write(data.data(), 60), 60u);
  const uint32_t allocated = buffer.AllocatedSize();
  EXPECT_LE(allocated, 100u);

  EXPECT_EQ(buffer.Write(data.data(), 41), 0u);
  EXPECT_EQ(buffer.Position(), 60u);
  EXPECT_EQ(buffer.DataLength(), 60u);
  EXPECT_EQ(buffer.AllocatedSize(), allocated);
  EXPECT_FALSE(buffer.AddLength(100));
  EXPECT_FALSE(buffer.SetDataLength(101));
  EXPECT_EQ(buffer.DataLength(), 60u);

  // Exactly up to the limit still fits.
  EXPECT_EQ(buffer.Write(data.data(), 40), 40u);
  EXPECT_EQ(buffer.DataLength(), 100u);
  EXPECT_EQ(buffer.AllocatedSize(), 100u);
}

TEST(DynamicBuffer, WritesPassingFourGigabytesFailWithoutAllocating) {
  DynamicBuffer buffer;
  uint8_t byte = 1;
  ASSERT_EQ(buffer.Write(&byte, 1), 1u);
  // size * count overflows 32 bits; the end passes 0xFFFFFFFF.
  EXPECT_EQ(buffer.Write(&byte, 0x10000u, 0x10000u), 0u);
  EXPECT_EQ(buffer.Write(&byte, 0x80000000u, 2), 0u);
  EXPECT_EQ(buffer.Write(&byte, 0xFFFFFFFFu), 0u);  // 1 + 0xFFFFFFFF passes the limit.
  EXPECT_EQ(buffer.DataLength(), 1u);
  EXPECT_EQ(buffer.Position(), 1u);
  EXPECT_FALSE(buffer.AddLength(0xFFFFFFFFu));
  EXPECT_LT(buffer.AllocatedSize(), 0x10000u);
}

TEST(DynamicBuffer, PositionStopsAtAllocationEndAndGapsAreZero) {
  DynamicBuffer buffer(32);
  EXPECT_EQ(buffer.AllocatedSize(), 32u);
  EXPECT_EQ(buffer.DataLength(), 0u);
  buffer.SetPosition(1000);
  EXPECT_EQ(buffer.Position(), 32u);
  ASSERT_EQ(buffer.Write("xy", 2), 2u);
  EXPECT_EQ(buffer.DataLength(), 34u);
  EXPECT_EQ(buffer.Data()[0], 0);  // Fresh bytes before the position are zero.

  buffer.Clean();
  EXPECT_EQ(buffer.DataLength(), 0u);
  EXPECT_GE(buffer.AllocatedSize(), 34u);
}

// Fills and frees blocks of about `size` bytes, so that the allocator holds
// dirty memory of that size to hand out next.
uint8_t* volatile gDirtySink = nullptr;
void LeaveDirtyMemory(uint32_t size) {
  for (size_t i = 1; i <= 4; ++i) {
    auto* block = static_cast<uint8_t*>(std::malloc(size * i));
    ASSERT_NE(block, nullptr);
    std::memset(block, 0xAB, size * i);
    gDirtySink = block;
    std::free(gDirtySink);
  }
}

// The allocator may hand back memory that held other data: every way of
// growing must still leave the bytes nobody wrote reading as zero.
TEST(DynamicBuffer, FreshBytesReadZeroAfterEveryKindOfGrowth) {
  using Grow = void (*)(DynamicBuffer&, uint32_t);
  const std::pair<const char*, Grow> cases[] = {
      {"write", [](DynamicBuffer& b, uint32_t n) { b.Write(std::vector<uint8_t>(n, 7).data(), n); }},
      {"add length", [](DynamicBuffer& b, uint32_t n) { b.AddLength(n); }},
      {"set data length", [](DynamicBuffer& b, uint32_t n) { b.SetDataLength(n); }},
      {"write past a gap",
       [](DynamicBuffer& b, uint32_t n) {
         b.AddLength(n / 2);
         b.SetPosition(n / 2);
         b.Write(std::vector<uint8_t>(n, 7).data(), n);
       }},
  };
  for (const uint32_t size : {100u, 5000u, 300000u}) {
    for (const auto& [what, grow] : cases) {
      LeaveDirtyMemory(size);
      DynamicBuffer buffer;
      const uint8_t first = 0x55;
      ASSERT_EQ(buffer.Write(&first, 1), 1u);
      grow(buffer, size);
      const uint32_t end = buffer.DataLength();
      ASSERT_TRUE(buffer.SetDataLength(buffer.AllocatedSize())) << what;
      EXPECT_EQ(buffer.Data()[0], 0x55) << what;
      uint32_t wrong = 0;
      for (uint32_t i = 1; i < buffer.AllocatedSize(); ++i) {
        const uint8_t b = buffer.Data()[i];
        if (b != 0 && !(b == 7 && i < end)) ++wrong;
      }
      EXPECT_EQ(wrong, 0u) << what << ", size " << size;
    }
  }
}

}  // namespace
