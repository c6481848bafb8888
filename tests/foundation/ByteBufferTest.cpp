#include "foundation/stream/ByteBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

namespace {

TEST(ByteBuffer, WordsRoundTripLittleEndianAndBufferGrows) {
  ByteBuffer buffer;
  ASSERT_TRUE(buffer.Init(5));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.Data()) % 4, 0u);

  buffer.WriteU32(0x04030201);
  buffer.WriteU32(0xDDCCBBAA);
  buffer.WriteU32(7);
  EXPECT_EQ(buffer.errors, 0u);
  EXPECT_EQ(buffer.size, 12u);
  EXPECT_EQ(buffer.position, 12u);

  const unsigned char expected[8] = {1, 2, 3, 4, 0xAA, 0xBB, 0xCC, 0xDD};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(buffer.Data()[i], expected[i]) << i;

  buffer.position = 0;
  uint32_t value = 0;
  ASSERT_TRUE(buffer.ReadU32(value));
  EXPECT_EQ(value, 0x04030201u);
  ASSERT_TRUE(buffer.ReadU32(value));
  EXPECT_EQ(value, 0xDDCCBBAAu);
  ASSERT_TRUE(buffer.ReadU32(value));
  EXPECT_EQ(value, 7u);
}

// Growing in place or moving, every growth keeps the words written so far,
// whatever the first capacity and grow step.
TEST(ByteBuffer, GrowthToMegabytesKeepsEveryWrittenWord) {
  struct Case {
    uint32_t initial;
    uint32_t growStep;
  };
  for (const Case& c : {Case{4, 4}, Case{5, 1}, Case{512, 1 << 20}, Case{64, 0}}) {
    SCOPED_TRACE(c.initial);
    ByteBuffer buffer;
    ASSERT_TRUE(buffer.Init(c.initial));
    buffer.growStep = c.growStep;
    constexpr uint32_t kWords = 1u << 20;
    for (uint32_t i = 0; i < kWords; ++i) buffer.WriteU32(i * 2654435761u);
    ASSERT_EQ(buffer.errors, 0u);
    ASSERT_EQ(buffer.size, kWords * 4);
    EXPECT_GE(buffer.capacity, buffer.size);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.Data()) % 4, 0u);
    buffer.position = 0;
    uint32_t value = 0;
    uint32_t wrong = 0;
    for (uint32_t i = 0; i < kWords; ++i) wrong += !buffer.ReadU32(value) || value != i * 2654435761u;
    EXPECT_EQ(wrong, 0u);
  }
}

TEST(ByteBuffer, ReadPastTheEndSetsBitOneAndChangesNothing) {
  ByteBuffer buffer;
  ASSERT_TRUE(buffer.Init(64));
  buffer.WriteU32(1);
  buffer.WriteU32(2);
  buffer.position = 6;  // two bytes left of the eight written
  uint32_t value = 99;
  EXPECT_FALSE(buffer.ReadU32(value));
  EXPECT_EQ(buffer.errors, ByteBuffer::kReadPastEnd);
  EXPECT_EQ(value, 99u);
  EXPECT_EQ(buffer.position, 6u);

  // The capacity holds more, but only written bytes can be read.
  buffer.position = 8;
  EXPECT_FALSE(buffer.ReadU32(value));
  // A size set beyond the storage does not let a read run off it.
  buffer.size = 1000;
  buffer.position = 62;
  EXPECT_FALSE(buffer.ReadU32(value));
  EXPECT_EQ(value, 99u);
}

TEST(ByteBuffer, FailedGrowthKeepsTheBufferAndSkipsLaterWrites) {
  ByteBuffer empty;
  empty.WriteU32(5);  // no storage at all
  EXPECT_EQ(empty.errors, ByteBuffer::kGrowthFailed);
  EXPECT_EQ(empty.position, 0u);
  EXPECT_EQ(empty.size, 0u);

  ByteBuffer buffer;
  ASSERT_TRUE(buffer.Init(16));
  buffer.WriteU32(0x11223344);

  GrowBuffer(buffer, UINT32_MAX - 8);  // grow step + index beyond 32 bits
  EXPECT_EQ(buffer.errors, ByteBuffer::kGrowthFailed);
  EXPECT_EQ(buffer.capacity, 16u);
  EXPECT_EQ(buffer.size, 4u);

  buffer.position = UINT32_MAX - 2;  // position + 4 wraps
  buffer.WriteU32(1);
  EXPECT_EQ(buffer.size, 4u);

  // Once growth failed, later writes are skipped even where they would fit.
  buffer.position = 4;
  buffer.WriteU32(2);
  EXPECT_EQ(buffer.position, 4u);
  EXPECT_EQ(buffer.Data()[0], 0x44);
}

// A word written back inside the written bytes leaves the size alone; one
// that ends exactly at the capacity grows the buffer first.
TEST(ByteBuffer, RewriteKeepsSizeAndWordAtCapacityGrows) {
  ByteBuffer buffer;
  ASSERT_TRUE(buffer.Init(8));
  buffer.WriteU32(1);
  buffer.WriteU32(2);
  EXPECT_EQ(buffer.size, 8u);
  EXPECT_GT(buffer.capacity, 8u);
  const uint32_t grown = buffer.capacity;
  buffer.position = 0;
  buffer.WriteU32(0x0A0B0C0D);
  EXPECT_EQ(buffer.position, 4u);
  EXPECT_EQ(buffer.size, 8u);
  EXPECT_EQ(buffer.capacity, grown);
  EXPECT_EQ(buffer.Data()[0], 0x0D);
  EXPECT_EQ(buffer.Data()[4], 2);
}

// The storage goes with the move; the buffer left behind refuses writes
// instead of writing through storage it no longer owns.
TEST(ByteBuffer, MovedFromBufferRefusesWrites) {
  ByteBuffer from;
  ASSERT_TRUE(from.Init(64));
  from.WriteU32(0x11223344);
  ByteBuffer to(std::move(from));
  EXPECT_EQ(to.size, 4u);
  EXPECT_EQ(to.Data()[0], 0x44);
  EXPECT_EQ(from.capacity, 0u);
  from.WriteU32(5);
  EXPECT_NE(from.errors & ByteBuffer::kGrowthFailed, 0u);
  EXPECT_EQ(from.position, 0u);

  ByteBuffer assigned;
  assigned = std::move(to);
  assigned.WriteU32(6);
  EXPECT_EQ(assigned.size, 8u);
  EXPECT_EQ(assigned.Data()[4], 6);
}

}  // namespace
