#include "kiv/basics/MemoryFile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "kiv/model/MeshFileSupport.h"
#include "tests/support/TempFolder.h"

namespace {

TEST(MemoryFile, ReadsPastTheEndChangeNothingAndMarkTheFile) {
  const uint8_t bytes[] = {1, 0, 0, 0, 0, 0, 0x80, 0x3F, 9};
  Kiv::MemoryFile file;
  file.Assign(bytes, sizeof(bytes));
  uint32_t u = 0;
  float f = 0;
  ASSERT_TRUE(file.Read(&u));
  ASSERT_TRUE(file.Read(&f));
  EXPECT_EQ(u, 1u);
  EXPECT_EQ(f, 1.0f);
  EXPECT_FALSE(file.Truncated());
  u = 77;
  EXPECT_FALSE(file.Read(&u));
  EXPECT_EQ(u, 77u) << "unchanged";
  EXPECT_EQ(file.Tell(), 8u) << "the cursor stays";
  EXPECT_TRUE(file.Truncated());
  EXPECT_EQ(file.ReadBlock(2), nullptr);
  EXPECT_NE(file.ReadBlock(1), nullptr);
  file.Back(100);
  EXPECT_EQ(file.Tell(), 0u) << "never before the start";
  file.Seek(100);
  EXPECT_EQ(file.Tell(), file.Size());
  file.Assign(bytes, 4);
  EXPECT_FALSE(file.Truncated()) << "new data, new mark";
}

TEST(MeshFileSupport, PaddedStringsAreReadWholeOrNotAtAll) {
  struct Case {
    std::vector<uint8_t> bytes;
    bool ok;
    std::string text;
    uint64_t end;
  };
  const Case cases[] = {
      {{0, 0, 0, 0}, true, "", 4},
      {{3, 0, 0, 0, 'a', 'b', 'c', 0, 7}, true, "abc", 8},
      {{4, 0, 0, 0, 'a', 'b', 'c', 'd', 7}, true, "abcd", 8},
      {{5, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 0, 0}, false, "old", 11},
      {{0xFF, 0xFF, 0xFF, 0xFF, 'a'}, false, "old", 5},
      {{1, 0}, false, "old", 0},
  };
  for (const Case& c : cases) {
    Kiv::MemoryFile file;
    file.Assign(c.bytes.data(), c.bytes.size());
    std::string text = "old";
    EXPECT_EQ(Kiv::MeshFileSupport::ReadPaddedString(file, &text), c.ok) << c.bytes.size();
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(file.Tell(), c.end);
    EXPECT_EQ(file.Truncated(), !c.ok);
  }
}

// Bytes that differ from one offset to the next, so that a read from the
// wrong place shows.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  uint32_t seed = 7;
  for (char& c : bytes) {
    seed = seed * 1103515245u + 12345u;
    c = char(seed >> 16);
  }
  return bytes;
}

// Small reads through the window, large ones straight into the target,
// reads that start inside the window and end past it, moves back into and
// out of the window, and reads past the end: a streamed file answers each
// as the whole file does.
TEST(MemoryFile, StreamedReadsAnswerAsWholeReads) {
  VUTest::TempFolder folder;
  ASSERT_TRUE(folder.Made());
  const std::string path = folder.Put("data.bin", Pattern(300000));
  enum Op { kRaw, kBlock, kSkip, kBack, kSeek };
  const struct {
    Op op;
    uint64_t size;
  } steps[] = {{kRaw, 4},      {kRaw, 100},    {kRaw, 70000},  {kBack, 30000}, {kRaw, 20000},
               {kRaw, 8},      {kBlock, 5000}, {kRaw, 65000},  {kBack, 4},     {kRaw, 4},
               {kSkip, 90000}, {kRaw, 16384},  {kBlock, 100},  {kSeek, 10},    {kRaw, 120000},
               {kRaw, 200000}, {kSkip, 1},     {kRaw, 110000}, {kRaw, 8},      {kBlock, 1}};
  Kiv::MemoryFile whole, streamed;
  streamed.SetStreamed(true);
  ASSERT_TRUE(whole.Open(path));
  ASSERT_TRUE(streamed.Open(path));
  EXPECT_NE(whole.Base(), nullptr);
  EXPECT_EQ(streamed.Base(), nullptr);
  EXPECT_EQ(streamed.Size(), whole.Size());
  for (size_t i = 0; i < std::size(steps); ++i) {
    const uint64_t size = steps[i].size;
    std::string got[2] = {std::string(size, 'x'), std::string(size, 'x')};
    bool ok[2] = {true, true};
    Kiv::MemoryFile* files[2] = {&whole, &streamed};
    for (int f = 0; f < 2; ++f) {
      Kiv::MemoryFile& file = *files[f];
      switch (steps[i].op) {
        case kRaw:
          ok[f] = file.ReadRaw(got[f].data(), size);
          break;
        case kBlock:
          if (const uint8_t* block = file.ReadBlock(size))
            got[f].assign(reinterpret_cast<const char*>(block), size);
          else
            ok[f] = false;
          break;
        case kSkip:
          ok[f] = file.Skip(size);
          break;
        case kBack:
          file.Back(size);
          break;
        case kSeek:
          file.Seek(size);
          break;
      }
    }
    EXPECT_EQ(ok[1], ok[0]) << "step " << i;
    EXPECT_TRUE(got[1] == got[0]) << "step " << i;
    EXPECT_EQ(streamed.Tell(), whole.Tell()) << "step " << i;
    EXPECT_EQ(streamed.Truncated(), whole.Truncated()) << "step " << i;
  }
  EXPECT_TRUE(streamed.Truncated()) << "the script ends past the end";
}

TEST(MemoryFile, StreamedFileCutAfterOpenFailsTheReadsItCannotServe) {
  VUTest::TempFolder folder;
  ASSERT_TRUE(folder.Made());
  const std::string bytes = Pattern(200000);
  const std::string path = folder.Put("data.bin", bytes);
  for (const uint64_t first : {uint64_t(8), uint64_t(40000)}) {
    Kiv::MemoryFile file;
    file.SetStreamed(true);
    ASSERT_TRUE(file.Open(path));
    std::string head(first, 'x');
    ASSERT_TRUE(file.ReadRaw(head.data(), first));
    ASSERT_EQ(::truncate(path.c_str(), 100000), 0);
    // What the window holds stays readable; what lies past the cut is
    // refused, whether read through the window or straight.
    std::string rest(120000, 'x');
    EXPECT_FALSE(file.ReadRaw(rest.data(), rest.size()));
    EXPECT_TRUE(file.Truncated());
    EXPECT_EQ(file.Tell(), first) << "the cursor stays";
    file.Seek(150000);
    EXPECT_EQ(file.ReadBlock(8), nullptr);
    uint32_t value = 77;
    EXPECT_FALSE(file.Read(&value));
    EXPECT_EQ(file.Size(), bytes.size()) << "the size taken at Open";
    folder.Put("data.bin", bytes);
  }
}

}  // namespace
