// Texture compression: uncompressed chains, DXT through nvtt, the alpha
// fix-up and the output handler's refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "render/textures/OurOutputHandler.h"
#include "render/textures/TextureCompress.h"
#include "tests/support/MappedLibrary.h"
#include "tests/support/TextureTestSupport.h"

namespace {

// A bitmap of the given format from RGBA pixels.
std::unique_ptr<Kiv::Bitmap> FromRGBA(int width, int height, const std::vector<uint8_t>& rgba,
                                      uint32_t format) {
  auto bitmap = std::make_unique<Kiv::Bitmap>(uint32_t(width), uint32_t(height), format);
  for (size_t i = 0; i < rgba.size(); i += 4) {
    uint8_t* p = bitmap->Pixels() + i;
    p[0] = rgba[i + 2];
    p[1] = rgba[i + 1];
    p[2] = rgba[i];
    p[3] = rgba[i + 3];
  }
  return bitmap;
}

texturetest::Level AsLevel(const Kiv::Bitmap& bitmap) {
  return {bitmap.Width(), bitmap.Height(), bitmap.GetFormat(),
          std::vector<uint8_t>(bitmap.Pixels(), bitmap.Pixels() + bitmap.ByteSize())};
}

std::vector<std::pair<uint32_t, uint32_t>> Sizes(const TextureCompress& levels) {
  std::vector<std::pair<uint32_t, uint32_t>> sizes;
  for (uint32_t i = 0; i < levels.GetNumLevels(); ++i)
    sizes.emplace_back(levels.GetLevel(i)->Width(), levels.GetLevel(i)->Height());
  return sizes;
}

TEST(CompressBitmap, UncompressedChainsReachOnePixel) {
  struct Case {
    int width, height;
    uint32_t target, format;
    std::vector<std::pair<uint32_t, uint32_t>> sizes;
  };
  const Case cases[] = {
      {1, 1, kTargetXRGB, Kiv::Bitmap::kXRGB, {{1, 1}}},
      {5, 3, kTargetARGB, Kiv::Bitmap::kARGB, {{5, 3}, {2, 1}, {1, 1}}},
      {4,
       16,
       kTargetPassThrough,
       Kiv::Bitmap::kPassThrough,
       {{4, 16}, {2, 8}, {1, 4}, {1, 2}, {1, 1}}},
  };
  for (const Case& c : cases) {
    auto source = FromRGBA(c.width, c.height, texturetest::SmoothPicture(c.width, c.height, false),
                           Kiv::Bitmap::kARGB);
    TextureCompress levels;
    ASSERT_TRUE(CompressBitmap(*source, levels, c.target, false, true, false, false, false))
        << c.target;
    EXPECT_EQ(Sizes(levels), c.sizes) << c.target << ": always down to 1 x 1, mipmaps or not";
    EXPECT_EQ(levels.GetLevel(0)->GetFormat(), c.format);
    EXPECT_EQ(std::memcmp(levels.GetLevel(0)->Pixels(), source->Pixels(), source->ByteSize()), 0);
  }
}

TEST(CompressBitmap, OpaqueTargetsFixAlphaButKeepZeroPixels) {
  struct Case {
    uint32_t sourceFormat, target;
    uint32_t pixel, want;
  };
  const Case cases[] = {
      {Kiv::Bitmap::kARGB, kTargetXRGB, 0x00123456, 0xFF123456},
      {Kiv::Bitmap::kARGB, kTargetXRGB, 0x00000000, 0x00000000},
      {Kiv::Bitmap::kARGB, kTargetARGB, 0x40123456, 0x40123456},
      {Kiv::Bitmap::kXRGB, kTargetARGB, 0x40123456, 0xFF123456},
  };
  for (const Case& c : cases) {
    Kiv::Bitmap source(1, 1, c.sourceFormat);
    *source.Row(0) = c.pixel;
    TextureCompress levels;
    ASSERT_TRUE(CompressBitmap(source, levels, c.target, false, false, false, false, false));
    EXPECT_EQ(*levels.GetLevel(0)->Row(0), c.want) << std::hex << c.pixel << " to " << c.target;
  }
}

TEST(CompressBitmap, DxtTargetsMakeBlockLevels) {
  struct Case {
    uint32_t target;
    bool alpha, mipmap;
    std::vector<size_t> sizes;
  };
  const Case cases[] = {
      {kTargetDXT1, false, true, {32, 8, 8, 8}},
      {kTargetDXT1, true, false, {32}},
      {kTargetDXT3, true, true, {64, 16, 16, 16}},
      {kTargetDXT5, true, false, {64}},
  };
  for (const Case& c : cases) {
    auto source = FromRGBA(8, 8, texturetest::SmoothPicture(8, 8, true), Kiv::Bitmap::kARGB);
    TextureCompress levels;
    ASSERT_TRUE(CompressBitmap(*source, levels, c.target, c.alpha, false, false, c.mipmap, true))
        << c.target;
    std::vector<size_t> sizes;
    for (uint32_t i = 0; i < levels.GetNumLevels(); ++i) {
      EXPECT_EQ(levels.GetLevel(i)->GetFormat(), Kiv::Bitmap::kBlocks);
      sizes.push_back(levels.GetLevel(i)->ByteSize());
    }
    EXPECT_EQ(sizes, c.sizes) << c.target;
    EXPECT_TRUE(LastCompressionError().empty());
  }
}

using VUTest::IsLibraryMapped;

// nvtt comes only with the compressor module, which the first DXT
// compression loads: a program that compresses nothing never maps it.
TEST(CompressBitmap, NvttIsMappedOnlyWithTheModuleOfTheFirstDxtCompression) {
  EXPECT_EQ(IsLibraryMapped("libnvtt"), IsLibraryMapped("libvu_nvtt"))
      << "nvtt is linked in, not loaded on use";
  auto source = FromRGBA(8, 8, texturetest::SmoothPicture(8, 8, true), Kiv::Bitmap::kARGB);
  TextureCompress levels;
  ASSERT_TRUE(CompressBitmap(*source, levels, kTargetDXT1, false, false, false, false, false));
  EXPECT_TRUE(IsLibraryMapped("libvu_nvtt"));
  EXPECT_TRUE(IsLibraryMapped("libnvtt"));
}

TEST(CompressBitmap, OnlyDxt1aKeepsTransparentPixels) {
  std::vector<uint8_t> rgba = texturetest::SmoothPicture(8, 8, false);
  for (size_t i = 3; i < rgba.size(); i += 16) rgba[i] = 0;
  for (bool alpha : {false, true}) {
    auto source = FromRGBA(8, 8, rgba, Kiv::Bitmap::kARGB);
    TextureCompress levels;
    ASSERT_TRUE(CompressBitmap(*source, levels, kTargetDXT1, alpha, false, false, false, false));
    const std::vector<uint8_t> decoded =
        texturetest::DecodeLevel(AsLevel(*levels.GetLevel(0)), kTargetDXT1);
    EXPECT_EQ(decoded[3], alpha ? 0 : 255) << alpha;
  }
}

TEST(CompressBitmap, Dxt1TopLevelStaysCloseToItsSource) {
  const std::vector<uint8_t> rgba = texturetest::SmoothPicture(64, 64, false);
  auto source = FromRGBA(64, 64, rgba, Kiv::Bitmap::kARGB);
  TextureCompress levels;
  ASSERT_TRUE(CompressBitmap(*source, levels, kTargetDXT1, false, true, false, true, false));
  EXPECT_EQ(levels.GetNumLevels(), 7u);
  EXPECT_GE(texturetest::Psnr(texturetest::DecodeLevel(AsLevel(*levels.GetLevel(0)), kTargetDXT1),
                              rgba, 3),
            32.0);
}

TEST(CompressBitmap, ParallelCompressionsGiveTheSameBlocks) {
  const std::vector<uint8_t> rgba = texturetest::SmoothPicture(128, 128, true);
  auto compress = [&rgba](std::vector<uint8_t>* out) {
    auto source = FromRGBA(128, 128, rgba, Kiv::Bitmap::kARGB);
    TextureCompress levels;
    if (!CompressBitmap(*source, levels, kTargetDXT5, true, true, false, true, false)) return;
    for (uint32_t i = 0; i < levels.GetNumLevels(); ++i)
      out->insert(out->end(), levels.GetLevel(i)->Pixels(),
                  levels.GetLevel(i)->Pixels() + levels.GetLevel(i)->ByteSize());
  };
  std::vector<uint8_t> alone;
  compress(&alone);
  ASSERT_FALSE(alone.empty());
  std::vector<std::vector<uint8_t>> results(4);
  std::vector<std::thread> threads;
  for (auto& result : results) threads.emplace_back(compress, &result);
  for (std::thread& thread : threads) thread.join();
  for (const auto& result : results) EXPECT_EQ(result, alone);
}

TEST(CompressBitmap, RefusesOtherSourcesAndTargets) {
  Kiv::Bitmap blocks;
  ASSERT_TRUE(blocks.Init(4, 4, Kiv::Bitmap::kBlocks, nullptr, 8));
  Kiv::Bitmap passThrough(4, 4, Kiv::Bitmap::kPassThrough);
  Kiv::Bitmap good(4, 4, Kiv::Bitmap::kARGB);
  TextureCompress levels;
  EXPECT_FALSE(CompressBitmap(blocks, levels, kTargetDXT1, false, false, false, false, false));
  EXPECT_FALSE(CompressBitmap(passThrough, levels, kTargetARGB, false, false, false, false, false));
  for (uint32_t target : {0u, 2u, 4u, 13u})
    EXPECT_FALSE(CompressBitmap(good, levels, target, false, false, false, false, false));
  EXPECT_EQ(levels.GetNumLevels(), 0u);
}

TEST(OurOutputHandler, RefusesOverflowAndShortLevels) {
  const uint8_t bytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  {
    TextureCompress levels;
    OurOutputHandler handler(levels);
    handler.beginImage(8, 4, 4, 1, 0, 0);
    EXPECT_TRUE(handler.writeData(bytes, 6));
    EXPECT_FALSE(handler.writeData(bytes, 3)) << "past the announced size";
    EXPECT_TRUE(handler.Failed());
  }
  {
    TextureCompress levels;
    OurOutputHandler handler(levels);
    handler.beginImage(8, 4, 4, 1, 0, 0);
    EXPECT_TRUE(handler.writeData(bytes, 4));
    handler.beginImage(8, 2, 2, 1, 0, 1);
    EXPECT_TRUE(handler.Failed()) << "the first level was short";
  }
  {
    TextureCompress levels;
    OurOutputHandler handler(levels);
    EXPECT_FALSE(handler.writeData(bytes, 4)) << "before any level";
    handler.beginImage(8, 4, 4, 1, 0, 0);
    EXPECT_TRUE(handler.writeData(bytes, 8));
    handler.FinishLevel();
    EXPECT_TRUE(handler.Failed());
    ASSERT_EQ(levels.GetNumLevels(), 1u);
    EXPECT_EQ(std::memcmp(levels.GetLevel(0)->Pixels(), bytes, 8), 0);
  }
}

}  // namespace
