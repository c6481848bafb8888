#include "foundation/text/PathHelpers.h"

#include <gtest/gtest.h>

namespace {

TEST(PathHelpers, GetExtensionOfTakesTextAfterLastDotEvenPastFolders) {
  const struct {
    const char* path;
    bool found;
    const char* ext;
  } cases[] = {
      {"folder/model.im", true, "im"},
      {"a.b.texture.txt", true, "txt"},
      {"file.", true, ""},
      {"my.folder/readme", true, "folder/readme"},
      {"v1.2\\data\\file", true, "2\\data\\file"},
      {"folder/readme", false, ""},
      {nullptr, false, ""},
  };
  for (const auto& c : cases) {
    Kiv::String ext;
    EXPECT_EQ(GetExtensionOf(c.path, &ext), c.found) << (c.path ? c.path : "null");
    EXPECT_EQ(ext, c.ext) << (c.path ? c.path : "null");
  }
  EXPECT_FALSE(GetExtensionOf("a.b", nullptr));
}

TEST(PathHelpers, GetExtensionOfKeepsGivenExtensionDroppingOneDot) {
  Kiv::String ext = ".tga";
  EXPECT_TRUE(GetExtensionOf("image.bmp", &ext));
  EXPECT_EQ(ext, "tga");
  ext = "..x";
  EXPECT_TRUE(GetExtensionOf(nullptr, &ext));
  EXPECT_EQ(ext, ".x");
  ext = "png";
  EXPECT_TRUE(GetExtensionOf("noext", &ext));
  EXPECT_EQ(ext, "png");
}

TEST(PathHelpers, TextureSourceAndDotNamesMatchExactly) {
  for (const char* yes : {"art/wall.texture.txt", "ART/WALL.TEXTURE.TXT", ".texture.txt"}) {
    EXPECT_TRUE(IsTextureSourceFile(yes)) << yes;
  }
  for (const char* no : {"walltexture.txt", "texture.txt", "wall.texture.txt.bak"}) {
    EXPECT_FALSE(IsTextureSourceFile(no)) << no;
  }
  EXPECT_FALSE(IsTextureSourceFile(nullptr));
  EXPECT_TRUE(IsDotOrDotDot("."));
  EXPECT_TRUE(IsDotOrDotDot(".."));
  for (const char* no : {"...", ".a", ""}) EXPECT_FALSE(IsDotOrDotDot(no)) << no;
  EXPECT_FALSE(IsDotOrDotDot(nullptr));
}

TEST(PathHelpers, WildcardPrefixMatchQuestionMarkCaseAndLengths) {
  const struct {
    const char* pattern;
    const char* text;
    bool match;
  } cases[] =
      {
          {"a?c", "abc", true},   {"a?c", "AXCdefg", true}, {"A?C", "a/c", true},
          {"a?c", "abd", false},  {"a?c", "ba c", false},   {"abcd", "abc", false},
          {"ab?", "ab", false},  // "?" needs a character
          {"", "anything", true}, {"", "", true},           {nullptr, "x", true},
          {"x", nullptr, false},  {"*", "abc", false},  // "*" has no special meaning
          {"*", "*abc", true},
      };
  for (const auto& c : cases) {
    EXPECT_EQ(WildcardPrefixMatch(c.pattern, c.text), c.match)
        << (c.pattern ? c.pattern : "null") << " / " << (c.text ? c.text : "null");
  }
}

}  // namespace
