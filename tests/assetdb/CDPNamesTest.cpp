#include "assetdb/archive/CDPNames.h"

#include <gtest/gtest.h>

namespace {

TEST(CDPNames, FileNamesAcceptOnlyTheSafeSet) {
  EXPECT_TRUE(CDP::IsValidFileName("My File (2).txt"));
  EXPECT_TRUE(CDP::IsValidFileName("a-b&c,d+e'f_g$h~i.tga"));
  EXPECT_TRUE(CDP::IsValidFileName("x"));
  for (const char* bad : {"", ".hidden", " lead", "~tilde", "trail ", "a:b", "a/b", "a\\b", "..",
                          ".", "../x", "/etc/x", "a\\..\\..\\x", "tab\there", "star*"}) {
    EXPECT_FALSE(CDP::IsValidFileName(bad)) << bad;
  }
  EXPECT_FALSE(CDP::IsValidFileName("caf\xC3\xA9.txt"));
  EXPECT_FALSE(CDP::IsValidFileName(std::string_view("nul\0x", 5)));
}

TEST(CDPNames, RelativePathsRefuseEmptyAndDotComponents) {
  EXPECT_TRUE(CDP::IsValidRelativePath("a/b/c"));
  EXPECT_TRUE(CDP::IsValidRelativePath("a\\b"));
  EXPECT_TRUE(CDP::IsValidRelativePath("a/.."));  // the last component is not judged
  EXPECT_TRUE(CDP::IsValidRelativePath("a/.b/c"));
  EXPECT_TRUE(CDP::IsValidRelativePath(""));
  for (const char* bad :
       {"/a", "\\a", "a//b", "a\\\\b", "../a", "a/../b", "a/.../b", "./a", "a\\..\\b"}) {
    EXPECT_FALSE(CDP::IsValidRelativePath(bad)) << bad;
  }
}

TEST(CDPNames, FileTypesAreTheContentExtensions) {
  for (const char* good : {"a.txt", "b.TGA", "c.texture", "d.jpeg", "e.gse", "f.srt", "g.mp3",
                           "h.lm.txt", "dir/i.chump"}) {
    EXPECT_TRUE(CDP::IsAllowedFileType(good)) << good;
  }
  for (const char* bad : {"a.exe", "b.sh", "c", "d.txt.exe", "e.so", "f.", "txt"}) {
    EXPECT_FALSE(CDP::IsAllowedFileType(bad)) << bad;
  }
}

}  // namespace
