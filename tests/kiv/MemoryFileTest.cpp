#include "kiv/basics/MemoryFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kiv/model/MeshFileSupport.h"

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

}  // namespace
