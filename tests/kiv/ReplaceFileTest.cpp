// Whole-file writes: the KIRF header's size and the file left as it was
// when a write fails.
#include "kiv/basics/ReplaceFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "kiv/File.h"
#include "kiv/basics/KIRFWriteHeader.h"
#include "tests/support/FileTestDir.h"

namespace {

class ReplaceFileTest : public FileTestDir {};

TEST_F(ReplaceFileTest, WritesWholeOrLeavesTheOldFile) {
  Put("out.bin", "old");
  EXPECT_FALSE(Kiv::ReplaceFile(At("out.bin"), [](Kiv::File& file) {
    file.Write("partial", 7);
    return false;
  }));
  EXPECT_EQ(Get("out.bin"), "old");
  ASSERT_TRUE(Kiv::ReplaceFile(At("out.bin"), [](Kiv::File& file) {
    Kiv::KIRFWriteHeader header(file, 0x46544D4D);
    file.Write("body", 4);
    return header.Finish();
  }));
  EXPECT_EQ(Get("out.bin"), std::string("KIRF\x08\0\0\0MMTFbody", 16));
  EXPECT_FALSE(Kiv::ReplaceFile(At("missing/out.bin"), [](Kiv::File&) { return true; }));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1)
      << "no temporary file is left";
}

TEST_F(ReplaceFileTest, HeaderOnAFileThatRefusesWritesFails) {
  Put("ro.bin", "x");
  Kiv::File file;
  ASSERT_TRUE(file.Open(At("ro.bin"), Kiv::File::kRead));
  Kiv::KIRFWriteHeader header(file, 1);
  EXPECT_FALSE(header.Ok());
  EXPECT_FALSE(header.Finish());
}

}  // namespace
