#include "foundation/stream/TBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "foundation/stream/TMEPacket.h"
#include "kiv/DynamicBuffer.h"
#include "tests/support/StreamTestSupport.h"

namespace {

using streamtest::Pattern;

TEST(TBuffer, SeekCountsBackFromTheEndAndStopsAtTheAllocation) {
  Kiv::DynamicBuffer data(64);
  TBuffer b(&data, false);
  std::vector<uint8_t> bytes = Pattern(40);
  TStreamWriteBytes(b, bytes.data(), 40);
  ASSERT_EQ(data.AllocatedSize(), 64u);

  EXPECT_EQ(b.Seek(10, 2), 30);
  EXPECT_EQ(b.Seek(-5, 2), 45);  // behind the data, inside the allocation
  EXPECT_EQ(b.Seek(1000, 0), 64);
  EXPECT_EQ(data.Position(), 64u);
  EXPECT_EQ(b.Seek(-1000, 1), 0);
  EXPECT_EQ(b.Seek(100, 2), 0);
  EXPECT_EQ(b.GetSize(), 40u);
}

TEST(TBuffer, IsEOFAndResetFollowTheData) {
  TBuffer b;
  EXPECT_TRUE(b.IsEOF());
  TStreamWriteU32(b, 1);
  TStreamRewind(b);
  EXPECT_FALSE(b.IsEOF());
  uint8_t one[1];
  b.Read(one, 1);  // three bytes still read ahead
  EXPECT_FALSE(b.IsEOF());
  b.Read(one, 1);
  b.Read(one, 1);
  b.Read(one, 1);
  EXPECT_TRUE(b.IsEOF());
  b.Reset();
  EXPECT_EQ(b.GetData()->DataLength(), 0u);
  EXPECT_EQ(b.Tell(), 0u);
  EXPECT_EQ(b.GetBuffered(), 0u);
}

// Growth stays geometric for a long series of writes.
TEST(TBuffer, LargeBuffersGrowGeometrically) {
  TBuffer b;
  std::vector<uint8_t> bytes = Pattern(20000);
  Kiv::DynamicBuffer* data = b.GetData();
  uint32_t grows = 0;
  uint32_t last = data->AllocatedSize();
  for (int i = 0; i < 2000; ++i) {
    TStreamWriteBytes(b, bytes.data(), 20000);
    if (data->AllocatedSize() != last) ++grows;
    last = data->AllocatedSize();
  }
  EXPECT_LT(grows, 12u);
  EXPECT_EQ(b.GetError(), TStream::kErrorNone);
}

TEST(TBuffer, ExhaustedMemoryRecordsError3AndKeepsTheData) {
  Kiv::DynamicBuffer data;
  data.SetMaxSize(1000);
  TBuffer b(&data, false);
  TStreamWriteU32(b, 0x01020304);
  std::vector<uint8_t> bytes = Pattern(2000);
  EXPECT_EQ(TStreamWriteBytes(b, bytes.data(), 2000), 0u);
  EXPECT_EQ(b.GetError(), TStream::kErrorSize);
  EXPECT_EQ(data.DataLength(), 4u);
}

TEST(TBuffer, OwnedBufferIsFreedAndAPacketRoundTripsARandomRecord) {
  auto* data = new Kiv::DynamicBuffer(8);
  {
    TBuffer owner(data, true);  // freed here (ASan reports a leak otherwise)
    TStreamWriteU32(owner, 5);
  }
  TMEPacket packet;
  streamtest::RandomRecord record(11, 100);
  record.WriteTo(packet);
  TStreamRewind(packet);
  record.ExpectReadFrom(packet);
  EXPECT_EQ(packet.GetError(), TStream::kErrorNone);
}

}  // namespace
