#include "foundation/stream/TSubFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TFile.h"
#include "kiv/DynamicBuffer.h"
#include "tests/support/StreamTestSupport.h"
#include "tests/support/TempFolder.h"

namespace {

using streamtest::Pattern;
using streamtest::PatternByte;

// A parent of 300 pattern bytes standing at offset 100.
void FillParent(TBuffer& parent) {
  std::vector<uint8_t> bytes = Pattern(300);
  TStreamWriteBytes(parent, bytes.data(), 300);
  parent.SeekTo(100);
}

TEST(TSubFile, WindowBehavesAsAFiftyByteStream) {
  TBuffer parent;
  FillParent(parent);
  TSubFile sub(parent, 100, 150);
  EXPECT_EQ(sub.Tell(), 0u);
  EXPECT_EQ(sub.GetSize(), 50u);
  EXPECT_FALSE(sub.IsEOF());
  std::vector<uint8_t> got(80);
  EXPECT_EQ(sub.Read(got.data(), 80), 50u);
  for (uint32_t i = 0; i < 50; ++i) EXPECT_EQ(got[i], PatternByte(100 + i));
  EXPECT_TRUE(sub.IsEOF());
  EXPECT_EQ(sub.Tell(), 50u);
  EXPECT_EQ(parent.Tell(), 150u);

  sub.SeekTo(10);
  uint8_t byte = 0;
  EXPECT_EQ(sub.Read(&byte, 1), 1u);
  EXPECT_EQ(byte, PatternByte(110));
  EXPECT_EQ(sub.Seek(-5, 2), 45);
  EXPECT_EQ(sub.Seek(500, 0), 50);
  EXPECT_EQ(sub.Seek(-500, 1), 0);
  EXPECT_EQ(sub.GetError(), TStream::kErrorNone);
}

TEST(TSubFile, ShortReadAtTheWindowEndStopsThere) {
  TBuffer parent;
  FillParent(parent);
  TSubFile sub(parent, 100, 150);
  sub.SeekTo(47);
  uint32_t v = 0;
  EXPECT_FALSE(TStreamReadU32(sub, v, 9));
  EXPECT_EQ(v, 9u);
  EXPECT_EQ(sub.GetError(), TStream::kErrorShortRead);
  EXPECT_EQ(parent.Tell(), 150u);
  EXPECT_EQ(parent.GetError(), TStream::kErrorNone);
}

TEST(TSubFile, WritesStayInsideTheWindow) {
  TBuffer parent;
  FillParent(parent);
  TSubFile sub(parent, 100, 150);
  sub.SeekTo(40);
  std::vector<uint8_t> ones(20, 0x11);
  EXPECT_EQ(TStreamWriteBytes(sub, ones.data(), 20), 10u);
  EXPECT_EQ(sub.GetError(), TStream::kErrorFile);
  EXPECT_EQ(sub.Tell(), 50u);
  const uint8_t* data = parent.GetData()->Data();
  EXPECT_EQ(data[149], 0x11);
  EXPECT_EQ(data[150], PatternByte(150));
  EXPECT_EQ(parent.GetData()->DataLength(), 300u);
}

TEST(TSubFile, WriteAfterReadLandsAtTheWindowsLogicalPosition) {
  TBuffer parent;
  FillParent(parent);
  TSubFile sub(parent, 100, 150);
  uint8_t three[3];
  ASSERT_EQ(sub.Read(three, 3), 3u);  // the window reads ahead to its end
  TStreamWriteU8(sub, 0xEE);
  EXPECT_EQ(sub.Tell(), 4u);
  EXPECT_EQ(parent.GetData()->Data()[103], 0xEE);
  EXPECT_EQ(parent.GetData()->Data()[104], PatternByte(104));
}

TEST(TSubFile, ParentOutsideTheWindowIsMovedToItsBound) {
  TBuffer parent;
  FillParent(parent);
  parent.SeekTo(20);
  TSubFile below(parent, 100, 150);
  EXPECT_EQ(below.Tell(), 0u);
  EXPECT_EQ(parent.Tell(), 100u);
  TSubFile inverted(parent, 200, 120);  // empty window
  EXPECT_EQ(inverted.GetSize(), 0u);
  EXPECT_TRUE(inverted.IsEOF());
}

TEST(TSubFile, RandomTypedRecordRoundTripsThroughAWindowOfAFile) {
  VUTest::TempFolder dir;
  const std::string path = dir.At("archive.bin");
  streamtest::RandomRecord record(31);
  uint32_t start = 0;
  uint32_t end = 0;
  {
    TFile out;
    ASSERT_TRUE(out.Open(path, 0x101));
    std::vector<uint8_t> junk = Pattern(777);
    TStreamWriteBytes(out, junk.data(), 777);
    start = out.Tell();
    record.WriteTo(out);
    end = out.Tell();
    TStreamWriteBytes(out, junk.data(), 777);
    ASSERT_EQ(out.GetError(), TStream::kErrorNone);
  }
  TFile in;
  ASSERT_TRUE(in.Open(path, 0x10));
  uint8_t first = 0;
  ASSERT_EQ(in.Read(&first, 1), 1u);  // leave a pending read in the parent
  in.SeekTo(start);
  TSubFile sub(in, start, end);
  EXPECT_EQ(sub.GetSize(), end - start);
  record.ExpectReadFrom(sub);
  EXPECT_EQ(sub.GetError(), TStream::kErrorNone);
  EXPECT_TRUE(sub.IsEOF());
  uint8_t past = 0;
  EXPECT_EQ(sub.Read(&past, 1), 0u);
  EXPECT_EQ(in.Tell(), end);
}

}  // namespace
