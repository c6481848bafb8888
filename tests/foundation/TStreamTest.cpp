#include "foundation/stream/TStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"
#include "tests/support/StreamTestSupport.h"

namespace {

using streamtest::Pattern;
using streamtest::PatternByte;

std::vector<uint8_t> Contents(const TBuffer& b) {
  const Kiv::DynamicBuffer* d = b.GetData();
  return {d->Data(), d->Data() + d->DataLength()};
}

// A TBuffer that holds `bytes`, positioned at its start.
void Fill(TBuffer& b, const std::vector<uint8_t>& bytes) {
  TStreamWriteBytes(b, bytes.data(), uint32_t(bytes.size()));
  TStreamRewind(b);
}

TEST(TStream, StringFormsAreByteExactAndReadByEitherReader) {
  TBuffer b;
  b.WritePString(Kiv::PString("abc"));
  b.WriteString("abc");
  EXPECT_EQ(Contents(b), (std::vector<uint8_t>{4, 0, 0, 0, 'a', 'b', 'c', 0,  //
                                               3, 0, 0, 0, 'a', 'b', 'c'}));
  for (int pstringFirst = 0; pstringFirst < 2; ++pstringFirst) {
    TStreamRewind(b);
    Kiv::String s;
    Kiv::PString p;
    if (pstringFirst != 0) {
      b.ReadString(s);
      b.ReadPString(p);
    } else {
      b.ReadPString(p);
      b.ReadString(s);
    }
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(p, Kiv::PString("abc"));
  }
  EXPECT_EQ(b.GetError(), TStream::kErrorNone);
}

TEST(TStream, OverlongStringLengthIsSkippedWithError3) {
  for (int pstring = 0; pstring < 2; ++pstring) {
    TBuffer b;
    TStreamWriteU32(b, 70000);
    std::vector<uint8_t> body = Pattern(70000);
    TStreamWriteBytes(b, body.data(), uint32_t(body.size()));
    TStreamWriteU32(b, 0x12345678);
    TStreamRewind(b);
    if (pstring != 0) {
      Kiv::PString p("stale");
      b.ReadPString(p);
      EXPECT_TRUE(p.Empty());
    } else {
      Kiv::String s = "stale";
      b.ReadString(s);
      EXPECT_EQ(s, "");
    }
    EXPECT_EQ(b.GetError(), TStream::kErrorSize);
    EXPECT_EQ(b.Tell(), 70004u);
    uint32_t next = 0;
    EXPECT_TRUE(TStreamReadU32(b, next, 0));
    EXPECT_EQ(next, 0x12345678u);
  }
}

TEST(TStream, OverlongStringIsNotWrittenAndRecordsError3) {
  TBuffer b;
  b.WriteString(std::string(65536, 'x'));
  b.WritePString(Kiv::PString(std::string(65535, 'y')));  // 65536 with its NUL
  EXPECT_EQ(b.GetData()->DataLength(), 0u);
  EXPECT_EQ(b.GetError(), TStream::kErrorSize);

  TBuffer fits;
  fits.WriteString(std::string(65535, 'x'));
  fits.WritePString(Kiv::PString(std::string(65534, 'y')));
  EXPECT_EQ(fits.GetError(), TStream::kErrorNone);
  TStreamRewind(fits);
  Kiv::String s;
  Kiv::PString p;
  fits.ReadString(s);
  fits.ReadPString(p);
  EXPECT_EQ(s, std::string(65535, 'x'));
  EXPECT_EQ(p.Str(), std::string(65534, 'y'));
  EXPECT_EQ(fits.GetError(), TStream::kErrorNone);
}

TEST(TStream, ShortStringBodyKeepsTextAndRecordsError4) {
  TBuffer b;
  Fill(b, {10, 0, 0, 0, 'a', 'b', 'c'});
  Kiv::String s;
  b.ReadString(s);
  EXPECT_EQ(s, "abc");
  EXPECT_EQ(b.GetError(), TStream::kErrorShortRead);
}

TEST(TStream, ShortTypedReadsGiveDefaultAndKeepFirstError) {
  TBuffer b;
  Fill(b, {1, 2, 3});
  uint32_t v = 0;
  EXPECT_FALSE(TStreamReadU32(b, v, 77));
  EXPECT_EQ(v, 77u);
  EXPECT_EQ(b.GetError(), TStream::kErrorShortRead);
  b.WriteString(std::string(70000, 'x'));  // would record error 3
  EXPECT_EQ(b.GetError(), TStream::kErrorShortRead);

  TBuffer empty;
  float f = 0;
  uint64_t w = 0;
  bool flag = false;
  EXPECT_FALSE(TStreamReadFloat(empty, f, 1.5f));
  EXPECT_FALSE(TStreamReadU64(empty, w, 99));
  EXPECT_FALSE(TStreamReadBool(empty, flag, true));
  EXPECT_EQ(f, 1.5f);
  EXPECT_EQ(w, 99u);
  EXPECT_TRUE(flag);
  EXPECT_EQ(empty.GetError(), TStream::kErrorShortRead);
}

TEST(TStream, TypedValuesAreLittleEndian) {
  TBuffer b;
  TStreamWriteU8(b, 0xAB);
  TStreamWriteBool(b, true);
  TStreamWriteBool(b, false);
  TStreamWriteU32(b, 0x11223344);
  TStreamWriteU64(b, 0x0102030405060708ull);
  TStreamWriteFloat(b, 1.0f);
  uint32_t words[2] = {1, 0xFFFFFFFF};
  b.WriteU32Array(words, 2);
  EXPECT_EQ(Contents(b),
            (std::vector<uint8_t>{0xAB, 1,    0, 0x44, 0x33, 0x22, 0x11,  //
                                  8,    7,    6, 5,    4,    3,    2,    1,    0,    0,
                                  0x80, 0x3F, 1, 0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF}));
  TBuffer other;
  Fill(other, {7});
  bool flag = false;
  EXPECT_TRUE(TStreamReadBool(other, flag, false));
  EXPECT_TRUE(flag);  // any non-zero byte
}

TEST(TStream, MarkerAndPatches) {
  TBuffer b;
  EXPECT_EQ(b.WriteMarker(), 0u);
  EXPECT_EQ(Contents(b), (std::vector<uint8_t>{0xEB, 0xCE, 0xED, 0xFE}));

  uint32_t at = b.WriteMarker();
  std::vector<uint8_t> twelve = Pattern(12);
  TStreamWriteBytes(b, twelve.data(), 12);
  b.PatchLength(at);
  b.PatchU32(0, 0xCAFEF00D);
  EXPECT_EQ(b.Tell(), 20u);
  TStreamWriteU8(b, 0x55);
  std::vector<uint8_t> bytes = Contents(b);
  ASSERT_EQ(bytes.size(), 21u);
  EXPECT_EQ(streamtest::U32At(bytes, 4), 12u);
  EXPECT_EQ(streamtest::U32At(bytes, 0), 0xCAFEF00Du);
  EXPECT_EQ(bytes[20], 0x55);
  EXPECT_EQ(b.GetError(), TStream::kErrorNone);
}

TEST(TStream, PatchLengthOfFieldBehindTheEndIsRefused) {
  TBuffer b;
  TStreamWriteU32(b, 0xEEEEEEEE);
  TStreamWriteU8(b, 1);
  b.PatchLength(2);  // the field would reach past the end
  EXPECT_EQ(b.GetError(), TStream::kErrorSize);
  EXPECT_EQ(streamtest::U32At(Contents(b), 0), 0xEEEEEEEEu);
  EXPECT_EQ(b.Tell(), 5u);
}

TEST(TStream, WriteAfterReadLandsAtLogicalPosition) {
  TBuffer b;
  Fill(b, Pattern(100));
  uint8_t ten[10];
  EXPECT_EQ(b.Read(ten, 10), 10u);
  EXPECT_GT(b.GetBuffered(), 0u);
  TStreamWriteU32(b, 0);
  std::vector<uint8_t> bytes = Contents(b);
  EXPECT_EQ(bytes.size(), 100u);
  EXPECT_EQ(streamtest::U32At(bytes, 10), 0u);
  EXPECT_EQ(bytes[14], PatternByte(14));
  EXPECT_EQ(b.Tell(), 14u);
}

// Buffered reads give the right bytes whatever the seeks around the
// read-ahead, the refills and the reads that bypass the buffer.
TEST(TStream, RandomSeeksAndReadsGiveTheRightBytes) {
  TBuffer b;
  Fill(b, Pattern(20000));
  EXPECT_EQ(b.GetSize(), 20000u);
  streamtest::ExpectRandomSeeksReadThePattern(b, 20000, 5);
  TBuffer odd;
  Fill(odd, Pattern(102));
  streamtest::ExpectRandomSeeksReadThePattern(odd, 102, 6);
}

}  // namespace
