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
  ASSERT_TRUE(texturetest::WritePicture(tex + "/a.png", 256, 256,
                                        texturetest::SmoothPicture(256, 256, false)));
  ASSERT_TRUE(texturetest::WritePicture(tex + "/sub/d.png", 64, 64,
                                        texturetest::SmoothPicture(64, 64, false)));
  ASSERT_TRUE(WriteFile(tex + "/a.texture.txt", "Primary=a.png\r\n"));
  ASSERT_TRUE(WriteFile(tex + "/sub/d.texture.txt", "Primary=D.PNG\r\n"));
  ASSERT_TRUE(WriteFile(tex + "/e.texture.txt", "Primary=missing.png\r\n"));
  ASSERT_TRUE(WriteFile(tex + "/e.texture", "an older output"));

  const ToolResult r = Run({"compresstexture", "tex"}, work);
  EXPECT_EQ(r.status, 255) << r.out << r.err;
  EXPECT_NE(r.out.find("- <NULL> : The pictures of the texture source '" + tex +
                       "/e.convert-tex' could not be read."),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("; <NULL> : The texture source '" + tex +
                       "/e.texture.txt' was not converted: the primary picture 'missing.png' "
                       "cannot be read: cannot read the file.\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("OK (1 Errors, 0 Warnings)"), std::string::npos) << r.out;

  for (const char* source : {"a", "sub/d", "e"})
    EXPECT_TRUE(fs::exists(tex + "/" + source + ".texture.txt"));
  for (const auto& entry : fs::recursive_directory_iterator(tex))
    EXPECT_EQ(entry.path().string().find("convert-tex"), std::string::npos) << entry.path();
  EXPECT_FALSE(fs::exists(tex + "/e.texture"));

  // The conversion itself (formats, alpha, targets) is checked in kiv's and
  // render's tests; here each source of the tree got its output.
  EXPECT_EQ(ReadOutput(tex + "/a.texture").target, 10u);
  EXPECT_EQ(ReadOutput(tex + "/sub/d.texture").target, 10u);
}

}  // namespace
