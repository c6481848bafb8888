#include "kiv/basics/Bitmap.h"

#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

#include <string>
#include <vector>

#include "tests/support/FileTestDir.h"

namespace {

class BitmapTest : public FileTestDir {};

TEST_F(BitmapTest, InitOwnsOrAliasesAndRefusesBadSizes) {
  Kiv::Bitmap bitmap;
  EXPECT_FALSE(bitmap.Init(0, 4, Kiv::Bitmap::kARGB, nullptr, 16));
  EXPECT_FALSE(bitmap.Init(Kiv::Bitmap::kMaxSide + 1, 1, Kiv::Bitmap::kARGB, nullptr,
                           4 * (Kiv::Bitmap::kMaxSide + 1)));
  EXPECT_FALSE(bitmap.Init(2, 2, Kiv::Bitmap::kARGB, nullptr, 15))
      << "32-bit formats take 4 bytes a pixel";
  EXPECT_TRUE(bitmap.Init(8, 8, Kiv::Bitmap::kBlocks, nullptr, 32)) << "blocks take any size";
  uint32_t pixels[4] = {1, 2, 3, 4};
  ASSERT_TRUE(bitmap.Init(2, 2, Kiv::Bitmap::kXRGB, pixels, 16));
  EXPECT_TRUE(bitmap.IsAlias());
  EXPECT_EQ(bitmap.Row(1)[1], 4u);
  ASSERT_TRUE(bitmap.DetachAlias());
  pixels[3] = 9;
  EXPECT_FALSE(bitmap.IsAlias());
  EXPECT_EQ(bitmap.Row(1)[1], 4u) << "an own copy";
}

TEST_F(BitmapTest, ScaleAveragesAndCopyClips) {
  Kiv::Bitmap source(2, 2, Kiv::Bitmap::kARGB);
  source.Row(0)[0] = 0xFF000000;
  source.Row(0)[1] = 0xFF0000FF;
  source.Row(1)[0] = 0x0000FF00;
  source.Row(1)[1] = 0x00FFFF00;
  std::unique_ptr<Kiv::Bitmap> one = source.Scale(1, 1);
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->Row(0)[0], 0x80408040u) << "A, R, G, B averaged and rounded";
  std::unique_ptr<Kiv::Bitmap> wide = source.Scale(4, 1);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide->Row(0)[0], wide->Row(0)[1]) << "upscaling repeats";
  Kiv::Bitmap target(3, 3, Kiv::Bitmap::kXRGB);
  ASSERT_TRUE(target.CopyImage(source, 2, 1));
  EXPECT_EQ(target.Row(1)[2], 0xFF000000u);
  EXPECT_EQ(target.Row(2)[2], 0x0000FF00u);
  Kiv::Bitmap blocks;
  ASSERT_TRUE(blocks.Init(4, 4, Kiv::Bitmap::kBlocks, nullptr, 8));
  EXPECT_EQ(blocks.Scale(2, 2), nullptr);
  EXPECT_FALSE(target.CopyImage(blocks, 0, 0));
}

TEST_F(BitmapTest, LoadsEveryPictureFormatAsBGRA) {
  const uint8_t rgba[] = {10, 20, 30, 255, 40, 50, 60, 128};
  for (const char* name : {"p.png", "p.bmp", "p.tga", "P.JPG"}) {
    const std::string path = At(name);
    const std::string ending = path.substr(path.size() - 3);
    bool written = false;
    if (ending == "png") written = stbi_write_png(path.c_str(), 2, 1, 4, rgba, 8);
    if (ending == "bmp") written = stbi_write_bmp(path.c_str(), 2, 1, 4, rgba);
    if (ending == "tga") written = stbi_write_tga(path.c_str(), 2, 1, 4, rgba);
    if (ending == "JPG") written = stbi_write_jpg(path.c_str(), 2, 1, 4, rgba, 100);
    ASSERT_TRUE(written) << name;
    std::string error;
    std::unique_ptr<Kiv::Bitmap> bitmap = Kiv::Bitmap::Load(At(name), &error);
    ASSERT_NE(bitmap, nullptr) << name << ": " << error;
    EXPECT_EQ(bitmap->GetFormat(), Kiv::Bitmap::kARGB);
    EXPECT_EQ(bitmap->Width(), 2u);
    const uint8_t* p = bitmap->Pixels();
    EXPECT_NEAR(p[2], 10, 8) << name << ": red is the third byte";
    EXPECT_NEAR(p[0], 30, 8) << name;
    if (ending != "JPG") {
      EXPECT_EQ(p[7], 128) << name << ": alpha kept";
    }
  }
  Put("bad.png", "\x89PNG but not really");
  std::string error;
  EXPECT_EQ(Kiv::Bitmap::Load(At("bad.png"), &error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(Kiv::Bitmap::Load(At("missing.png"), nullptr), nullptr);
}

}  // namespace
