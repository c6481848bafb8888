// "compresstexture" end to end: the built tool converts a tree of texture
// sources in a folder given relative to the directory it was started in.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli/ToolFixture.h"
#include "tests/support/TextureTestSupport.h"

namespace {

namespace fs = std::filesystem;

class CompressTextureEndToEnd : public ToolFixture {};

texturetest::CompiledTexture ReadOutput(const std::string& path) {
  texturetest::CompiledTexture texture;
  EXPECT_EQ(texturetest::ReadCompiledTexture(path, &texture), "") << path;
  return texture;
}

TEST_F(CompressTextureEndToEnd, ConvertsATreeAndReportsTheMissingPicture) {
  const std::string work = MakeTempFolder();
  const std::string tex = work + "/tex";
  fs::create_directories(tex + "/sub");
  const std::vector<uint8_t> a = texturetest::SmoothPicture(256, 256, false);
  ASSERT_TRUE(texturetest::WritePicture(tex + "/a.png", 256, 256, a));
  ASSERT_TRUE(texturetest::WritePicture(tex + "/b.bmp", 128, 128,
                                        texturetest::SmoothPicture(128, 128, false)));
  std::vector<uint8_t> alpha = texturetest::SmoothPicture(128, 128, true);
  for (size_t i = 0; i < alpha.size(); i += 4)
    alpha[i] = alpha[i + 1] = alpha[i + 2] = alpha[i + 3];
  ASSERT_TRUE(texturetest::WritePicture(tex + "/b_alpha.tga", 128, 128, alpha));
  ASSERT_TRUE(
      texturetest::WritePicture(tex + "/c.jpg", 66, 64, texturetest::SmoothPicture(66, 64, false)));
  ASSERT_TRUE(texturetest::WritePicture(tex + "/sub/d.png", 64, 64,
                                        texturetest::SmoothPicture(64, 64, false)));
  ASSERT_TRUE(WriteFile(tex + "/a.texture.txt", "Primary=a.png\r\n"));
  ASSERT_TRUE(WriteFile(tex + "/b.texture.txt", "Primary=b.bmp\r\nAlpha=b_alpha.tga\r\n"));
  ASSERT_TRUE(WriteFile(tex + "/c.texture.txt", "Primary=c.jpg\r\n"));
  ASSERT_TRUE(WriteFile(tex + "/sub/d.texture.txt", "Primary=D.PNG\r\n"));
  ASSERT_TRUE(WriteFile(tex + "/e.texture.txt", "Primary=missing.png\r\n"));
  ASSERT_TRUE(WriteFile(tex + "/e.texture", "an older output"));

  const ToolResult r = Run({"compresstexture", "tex"}, work);
  EXPECT_EQ(r.status, 255) << r.out << r.err;
  EXPECT_NE(r.out.find("- <NULL> : The pictures of the texture source '" + tex +
                       "/e.convert-tex' could not be read."),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("OK (1 Errors, 0 Warnings)"), std::string::npos) << r.out;

  for (const char* source : {"a", "b", "c", "sub/d", "e"})
    EXPECT_TRUE(fs::exists(tex + "/" + source + ".texture.txt"));
  for (const auto& entry : fs::recursive_directory_iterator(tex))
    EXPECT_EQ(entry.path().string().find("convert-tex"), std::string::npos) << entry.path();
  EXPECT_FALSE(fs::exists(tex + "/e.texture"));

  // The compression itself is checked in render's tests; here each source
  // got its output, the alpha picture included.
  EXPECT_EQ(ReadOutput(tex + "/a.texture").target, 10u);
  EXPECT_EQ(ReadOutput(tex + "/c.texture").target, 3u) << "66 is not a multiple of 4";
  EXPECT_EQ(ReadOutput(tex + "/sub/d.texture").target, 10u);
  const texturetest::CompiledTexture outB = ReadOutput(tex + "/b.texture");
  EXPECT_EQ(outB.target, 12u);
  ASSERT_EQ(outB.images.size(), 1u);
  EXPECT_EQ(outB.images[0][0].bytes.size(), 16384u);
  std::vector<uint8_t> decodedAlpha = texturetest::DecodeLevel(outB.images[0][0], 12);
  for (size_t i = 0; i < decodedAlpha.size(); i += 4) decodedAlpha[i] = decodedAlpha[i + 3];
  EXPECT_GE(texturetest::Psnr(decodedAlpha, alpha, 1), 32.0)
      << "the alpha picture became the alpha";
}

TEST_F(CompressTextureEndToEnd, MissingArgumentIsRefused) {
  const ToolResult r = Run({"compresstexture"});
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.out.find("Missing AssetID parameter."), std::string::npos) << r.out;
}

}  // namespace
