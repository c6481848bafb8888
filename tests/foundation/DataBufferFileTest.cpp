#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/diag/DolmDataBufferFile.h"
#include "tests/support/FileTestDir.h"

namespace {

namespace fs = std::filesystem;

class DataBufferFileTest : public FileTestDir {
 protected:
  static uint64_t SizeOf(const DolmDataBufferFile& file) {
    uint64_t size = 0;
    EXPECT_EQ(file.GetSize(&size), kDataBufferOk);
    return size;
  }
  static uint64_t PositionOf(const DolmDataBufferFile& file) {
    uint64_t position = 0;
    EXPECT_EQ(file.Tell(&position), kDataBufferOk);
    return position;
  }
};

TEST_F(DataBufferFileTest, ModesRefuseTheWrongDirection) {
  Put("data", "0123456789");
  char buffer[4] = {};
  DolmDataBufferFile reader(kDataBufferRead, At("data"));
  ASSERT_TRUE(reader.IsOpen());
  EXPECT_EQ(SizeOf(reader), 10u);
  EXPECT_EQ(reader.Write("x", 1), kDataBufferWrongMode);
  EXPECT_EQ(reader.Read(buffer, 4), kDataBufferOk);
  EXPECT_EQ(std::string(buffer, 4), "0123");

  DolmDataBufferFile creator(kDataBufferCreate, At("made"));
  ASSERT_TRUE(creator.IsOpen());
  EXPECT_EQ(creator.Read(buffer, 1), kDataBufferWrongMode);
  EXPECT_EQ(creator.Write("abc", 3), kDataBufferOk);
  EXPECT_EQ(SizeOf(creator), 3u);

  // Read-write means both, also on a file it had to create.
  DolmDataBufferFile both(kDataBufferReadWrite, At("new"));
  ASSERT_TRUE(both.IsOpen());
  EXPECT_EQ(both.Write("hello", 5), kDataBufferOk);
  EXPECT_EQ(both.Seek(1), kDataBufferOk);
  EXPECT_EQ(both.Read(buffer, 3), kDataBufferOk);
  EXPECT_EQ(std::string(buffer, 3), "ell");
  EXPECT_EQ(both.Write("abc", 0), kDataBufferOk);
  EXPECT_EQ(both.Read(buffer, 0), kDataBufferOk);
}

TEST_F(DataBufferFileTest, ClosedFilesAnswerNotOpen) {
  DolmDataBufferFile missing(kDataBufferRead, At("none"));
  DolmDataBufferFile missing_old(kDataBufferReadWriteOld, At("none"));
  DolmDataBufferFile folder(kDataBufferRead, dir_);
  testing::internal::CaptureStdout();
  DolmDataBufferFile unknown(9, At("none"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "DolmDataBufferFile> unknown access mode 9\n");
  EXPECT_FALSE(fs::exists(At("none")));
  for (DolmDataBufferFile* file : {&missing, &missing_old, &folder, &unknown}) {
    ASSERT_FALSE(file->IsOpen());
    uint64_t value = 0;
    char buffer[1];
    EXPECT_EQ(file->GetSize(&value), kDataBufferNotOpen);
    EXPECT_EQ(file->Tell(&value), kDataBufferNotOpen);
    EXPECT_EQ(file->SetSize(0), kDataBufferNotOpen);
    EXPECT_EQ(file->Seek(0), kDataBufferNotOpen);
    EXPECT_EQ(file->Write("x", 1), kDataBufferNotOpen);
    EXPECT_EQ(file->Read(buffer, 1), kDataBufferNotOpen);
    EXPECT_EQ(file->Flush(), kDataBufferOk);
  }
}

TEST_F(DataBufferFileTest, ReadsAndWritesAlternateWithoutExplicitSeeks) {
  for (int mode : {kDataBufferReadWrite, kDataBufferReadWriteOld}) {
    Put("rw", "0123456789");
    {
      DolmDataBufferFile file(mode, At("rw"));
      ASSERT_TRUE(file.IsOpen());
      char buffer[8] = {};
      ASSERT_EQ(file.Seek(2), kDataBufferOk);
      ASSERT_EQ(file.Read(buffer, 3), kDataBufferOk);
      EXPECT_EQ(std::string(buffer, 3), "234");
      ASSERT_EQ(file.Write("ab", 2), kDataBufferOk);
      EXPECT_EQ(PositionOf(file), 7u);
      ASSERT_EQ(file.Read(buffer, 2), kDataBufferOk);
      EXPECT_EQ(std::string(buffer, 2), "78");
      ASSERT_EQ(file.Write("XYZ", 3), kDataBufferOk);
      EXPECT_EQ(SizeOf(file), 12u);
      ASSERT_EQ(file.Seek(0), kDataBufferOk);
      ASSERT_EQ(file.Read(buffer, 8), kDataBufferOk);
      EXPECT_EQ(std::string(buffer, 8), "01234ab7");
    }
    EXPECT_EQ(Get("rw"), "01234ab78XYZ") << "mode " << mode;
  }
}

TEST_F(DataBufferFileTest, ShortReadsAndSizeChangesKeepPositionsTrue) {
  Put("short", "abc");
  DolmDataBufferFile file(kDataBufferReadWriteOld, At("short"));
  char buffer[8];
  EXPECT_EQ(file.Read(buffer, 8), kDataBufferIoError);
  EXPECT_EQ(PositionOf(file), 3u);
  // Data still in the stream's buffer must not land after a cut.
  std::string block(100, 'z');
  ASSERT_EQ(file.Write(block.data(), block.size()), kDataBufferOk);
  ASSERT_EQ(file.SetSize(10), kDataBufferOk);
  EXPECT_EQ(SizeOf(file), 10u);
  EXPECT_EQ(PositionOf(file), 10u);
  ASSERT_EQ(file.Flush(), kDataBufferOk);
  EXPECT_EQ(fs::file_size(At("short")), 10u);
  ASSERT_EQ(file.SetSize(20), kDataBufferOk);
  EXPECT_EQ(PositionOf(file), 10u);
  ASSERT_EQ(file.Flush(), kDataBufferOk);
  EXPECT_EQ(fs::file_size(At("short")), 20u);
  EXPECT_EQ(Get("short").substr(0, 10), "abczzzzzzz");
  EXPECT_EQ(file.Seek(UINT64_MAX), kDataBufferIoError);
  EXPECT_EQ(PositionOf(file), 10u);
}

TEST_F(DataBufferFileTest, BackslashesInThePathAreSeparators) {
  fs::create_directories(At("sub"));
  DolmDataBufferFile file(kDataBufferCreate, dir_ + "\\sub\\f.bin");
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.GetPath(), At("sub/f.bin"));
  EXPECT_TRUE(fs::exists(At("sub/f.bin")));
}

}  // namespace
