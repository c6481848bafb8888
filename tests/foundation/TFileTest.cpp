#include "foundation/stream/TFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kiv/File.h"
#include "tests/support/StreamTestSupport.h"
#include "tests/support/TempFolder.h"

namespace {

using streamtest::Pattern;
using streamtest::PatternByte;
using streamtest::ReadFileBytes;

constexpr uint32_t kReadMode = 0x10;
constexpr uint32_t kReadWriteMode = 0x11;
constexpr uint32_t kCreateMode = 0x101;

// A scratch folder; Patterned(n) writes a file of the first n pattern bytes.
class TFileOnDisk : public VUTest::TempFolderTest {
 protected:
  std::string Patterned(uint32_t n) {
    const std::vector<uint8_t> bytes = Pattern(n);
    return Put("data.bin", std::string(bytes.begin(), bytes.end()));
  }
};

TEST(TFile, WithoutAFileEveryRawOperationRecordsError1) {
  TFile f;
  EXPECT_FALSE(f.IsOpen());
  EXPECT_TRUE(f.IsEOF());
  EXPECT_EQ(f.Tell(), 0u);
  uint8_t byte = 0;
  EXPECT_EQ(f.ReadData(&byte, 1), 0u);
  EXPECT_EQ(f.GetError(), TStream::kErrorFile);
  f.Close();  // no file: nothing to clear
  EXPECT_EQ(f.GetError(), TStream::kErrorFile);

  TFile w;
  EXPECT_EQ(w.Write(&byte, 1), 0u);
  EXPECT_EQ(w.GetError(), TStream::kErrorFile);
  TFile s;
  s.Seek(0, 0);
  EXPECT_EQ(s.GetError(), TStream::kErrorFile);
}

TEST_F(TFileOnDisk, ReadingAWholeFileRecordsNoErrorUntilPastItsEnd) {
  const std::string path = Patterned(4096 * 2 + 40);
  TFile f;
  ASSERT_TRUE(f.Open(path, kReadMode));
  EXPECT_EQ(f.GetSize(), 4096u * 2 + 40);
  uint32_t v = 0;
  for (int i = 0; i < (4096 * 2 + 40) / 4; ++i) ASSERT_TRUE(TStreamReadU32(f, v, 0));
  EXPECT_EQ(f.GetError(), TStream::kErrorNone);
  EXPECT_TRUE(f.IsEOF());
  EXPECT_FALSE(TStreamReadU32(f, v, 5));
  EXPECT_EQ(f.GetError(), TStream::kErrorShortRead);
}

TEST_F(TFileOnDisk, WriteAfterReadingTenBytesLandsAtOffsetTen) {
  const std::string path = Patterned(100);
  {
    TFile f;
    ASSERT_TRUE(f.Open(path, kReadWriteMode));
    uint8_t ten[10];
    ASSERT_EQ(f.Read(ten, 10), 10u);
    TStreamWriteU32(f, 0xA1A2A3A4);
    EXPECT_EQ(f.Tell(), 14u);
    EXPECT_EQ(f.GetError(), TStream::kErrorNone);
  }
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 100u);
  EXPECT_EQ(streamtest::U32At(bytes, 10), 0xA1A2A3A4u);
  EXPECT_EQ(bytes[9], PatternByte(9));
  EXPECT_EQ(bytes[14], PatternByte(14));
}

TEST_F(TFileOnDisk, CloseMovesABorrowedFileBackToTheLogicalPosition) {
  const std::string path = Patterned(500);
  Kiv::File file;
  ASSERT_TRUE(file.Open(path, kReadMode));
  {
    TFile f(&file, false);
    uint8_t ten[10];
    ASSERT_EQ(f.Read(ten, 10), 10u);
    EXPECT_EQ(file.Tell(), 500);
  }
  EXPECT_TRUE(file.IsValid());
  EXPECT_EQ(file.Tell(), 10);
}

TEST_F(TFileOnDisk, ResetReopensWithTheLastOpenMode) {
  const std::string path = Patterned(64);
  TFile f;
  ASSERT_TRUE(f.Open(path, kReadMode));
  uint32_t v = 0;
  TStreamReadU32(f, v, 0);
  f.SetError(TStream::kErrorShortRead);
  f.Reset();
  EXPECT_TRUE(f.IsOpen());
  EXPECT_EQ(f.GetError(), TStream::kErrorNone);
  EXPECT_EQ(f.Tell(), 0u);
  EXPECT_EQ(f.GetSize(), 64u);
  EXPECT_EQ(ReadFileBytes(path).size(), 64u);

  TFile w;
  ASSERT_TRUE(w.Open(path, kCreateMode));
  TStreamWriteU32(w, 1);
  w.Reset();  // a file made for writing starts over
  EXPECT_TRUE(w.IsOpen());
  TStreamWriteU8(w, 9);
  w.Close();
  EXPECT_EQ(ReadFileBytes(path), std::vector<uint8_t>{9});
}

TEST_F(TFileOnDisk, SeekOutsideThe32BitRangeIsRefused) {
  const std::string path = Patterned(8);
  TFile f;
  ASSERT_TRUE(f.Open(path, kReadMode));
  EXPECT_EQ(f.Seek(int64_t{1} << 33, 0), -1);
  EXPECT_EQ(f.GetError(), TStream::kErrorFile);
  EXPECT_EQ(f.Tell(), 0u);
}

TEST_F(TFileOnDisk, RandomTypedRecordRoundTripsThroughAFile) {
  const std::string path = At("record.bin");
  streamtest::RandomRecord record(21);
  {
    TFile out;
    ASSERT_TRUE(out.Open(path, kCreateMode));
    record.WriteTo(out);
    EXPECT_EQ(out.GetError(), TStream::kErrorNone);
  }
  TFile in;
  ASSERT_TRUE(in.Open(path, kReadMode));
  record.ExpectReadFrom(in);
  EXPECT_EQ(in.GetError(), TStream::kErrorNone);
  EXPECT_TRUE(in.IsEOF());
}

}  // namespace
