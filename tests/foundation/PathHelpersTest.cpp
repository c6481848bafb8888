#include "foundation/PathHelpers.h"

#include <gtest/gtest.h>

namespace {

TEST(PathHelpers, GetExtensionOfTakesTextAfterLastDot) {
  Kiv::String ext;
  EXPECT_TRUE(GetExtensionOf("folder/model.im", &ext));
  EXPECT_EQ(ext, "im");
  ext.clear();
  EXPECT_TRUE(GetExtensionOf("a.b.texture.txt", &ext));
  EXPECT_EQ(ext, "txt");
  ext.clear();
  EXPECT_TRUE(GetExtensionOf("file.", &ext));
  EXPECT_EQ(ext, "");
}

TEST(PathHelpers, GetExtensionOfSearchesPastFolderSeparators) {
  Kiv::String ext;
  EXPECT_TRUE(GetExtensionOf("my.folder/readme", &ext));
  EXPECT_EQ(ext, "folder/readme");
  ext.clear();
  EXPECT_TRUE(GetExtensionOf("v1.2\\data\\file", &ext));
  EXPECT_EQ(ext, "2\\data\\file");
}

TEST(PathHelpers, GetExtensionOfWithoutDotOrName) {
  Kiv::String ext;
  EXPECT_FALSE(GetExtensionOf("folder/readme", &ext));
  EXPECT_EQ(ext, "");
  EXPECT_FALSE(GetExtensionOf(nullptr, &ext));
  EXPECT_EQ(ext, "");
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

TEST(PathHelpers, IsTextureSourceFileNeedsDotAndIgnoresCase) {
  EXPECT_TRUE(IsTextureSourceFile("art/wall.texture.txt"));
  EXPECT_TRUE(IsTextureSourceFile("ART/WALL.TEXTURE.TXT"));
  EXPECT_TRUE(IsTextureSourceFile(".texture.txt"));
  EXPECT_FALSE(IsTextureSourceFile("walltexture.txt"));
  EXPECT_FALSE(IsTextureSourceFile("texture.txt"));
  EXPECT_FALSE(IsTextureSourceFile("wall.texture.txt.bak"));
  EXPECT_FALSE(IsTextureSourceFile(nullptr));
}

TEST(PathHelpers, IsDotOrDotDot) {
  EXPECT_TRUE(IsDotOrDotDot("."));
  EXPECT_TRUE(IsDotOrDotDot(".."));
  EXPECT_FALSE(IsDotOrDotDot("..."));
  EXPECT_FALSE(IsDotOrDotDot(".a"));
  EXPECT_FALSE(IsDotOrDotDot(""));
  EXPECT_FALSE(IsDotOrDotDot(nullptr));
}

TEST(PathHelpers, WildcardPrefixMatchQuestionMarkAndCase) {
  EXPECT_TRUE(WildcardPrefixMatch("a?c", "abc"));
  EXPECT_TRUE(WildcardPrefixMatch("a?c", "AXCdefg"));
  EXPECT_TRUE(WildcardPrefixMatch("A?C", "a/c"));
  EXPECT_FALSE(WildcardPrefixMatch("a?c", "abd"));
  EXPECT_FALSE(WildcardPrefixMatch("a?c", "ba c"));
}

TEST(PathHelpers, WildcardPrefixMatchLengths) {
  EXPECT_FALSE(WildcardPrefixMatch("abcd", "abc"));
  EXPECT_FALSE(WildcardPrefixMatch("ab?", "ab"));  // "?" needs a character.
  EXPECT_TRUE(WildcardPrefixMatch("", "anything"));
  EXPECT_TRUE(WildcardPrefixMatch("", ""));
  EXPECT_TRUE(WildcardPrefixMatch(nullptr, "x"));
  EXPECT_FALSE(WildcardPrefixMatch("x", nullptr));
  // "*" has no special meaning here.
  EXPECT_FALSE(WildcardPrefixMatch("*", "abc"));
  EXPECT_TRUE(WildcardPrefixMatch("*", "*abc"));
}

}  // namespace
