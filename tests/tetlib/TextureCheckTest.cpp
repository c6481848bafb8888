// The texture folder check on asset folders laid out per case.
#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tetlib/TetTestSupport.h"
#include "tetlib/TextureCheck.h"

namespace {

using Lines_ = std::vector<std::string>;

struct File {
  const char* path;  // below the asset folder
  const char* text;  // the file's text, or null for an image
  uint32_t width = 0;
  uint32_t height = 0;
  bool headerOnly = false;  // the image's pixels cut off
};

class TextureCheckTest : public TetTest {
 protected:
  std::deque<std::string> paths_;  // of the files of the data file's cases

  // Lays the files out in a new asset folder and checks it.
  bool Check(const std::vector<File>& files, float build, bool convert, const std::string& folder) {
    for (const File& file : files) {
      if (file.text != nullptr) {
        Put(folder + "/" + file.path, file.text);
      } else {
        PutBmp(folder + "/" + file.path, file.width, file.height);
        if (file.headerOnly) std::filesystem::resize_file(At(folder + "/" + file.path), 62);
      }
    }
    Findings().Clear();
    Manager().SetAssetBuild(build + 0.001f);
    Manager().SetConvertTextures(convert);
    const Kiv::File::Path asset(At(folder));
    return TETLib::CheckAssetTextures(asset, asset);
  }
};

// The cases of tests/tetlib/texturecheck/cases.txt, each in a folder of its
// own.
TEST_F(TextureCheckTest, ReportsWhatTheTextureFilesOfAFolderTreeLack) {
  std::ifstream in(VU_SOURCE_DIR "/tests/tetlib/texturecheck/cases.txt", std::ios::binary);
  std::vector<std::string> head;
  std::vector<File> files;
  std::vector<std::string> texts;  // the files' texts, unescaped
  Lines_ findings;
  int cases = 0;
  const auto check = [&] {
    if (head.empty()) return;
    const std::string folder = "asset" + std::to_string(cases++);
    for (size_t i = 0; i < files.size(); ++i)
      if (files[i].width == 0) files[i].text = texts[i].c_str();
    EXPECT_EQ(Check(files, std::stof(head[1]), head[2] == "convert", folder), findings.empty())
        << head[0];
    EXPECT_EQ(Lines(), findings) << head[0];
  };
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("== ", 0) == 0) {
      check();
      head = Fields(line.substr(3));
      files.clear(), texts.clear(), findings.clear();
    } else if (line.rfind("finding ", 0) == 0) {
      findings.push_back(FindingLine(line.substr(8)));
    } else if (line.rfind("file ", 0) == 0 || line.rfind("image ", 0) == 0) {
      const std::vector<std::string> f = Fields(line.substr(line.find(' ') + 1));
      files.push_back(File{nullptr, nullptr});
      texts.push_back(f[1]);
      paths_.push_back(f[0]);
      files.back().path = paths_.back().c_str();
      if (line[0] == 'f') {
        for (size_t at; (at = texts.back().find("\\r")) != std::string::npos;)
          texts.back().replace(at, 2, "\r");
        continue;
      }
      std::istringstream size(f[1]);
      std::string header;
      size >> files.back().width >> files.back().height >> header;
      files.back().headerOnly = header == "header";
    }
  }
  check();
  EXPECT_EQ(cases, 15);
}

TEST_F(TextureCheckTest, ALinkedFolderIsNotEnteredAndAnImageOutsideTheAssetIsMissing) {
  PutBmp("outside.bmp", 30, 30);
  Put("asset/w.texture.txt", "Primary=sub/../../outside.bmp\n");
  std::filesystem::create_directories(At("asset/sub"));
  ASSERT_EQ(::symlink("..", At("asset/sub/loop").c_str()), 0);
  ASSERT_EQ(::symlink(At("outside.bmp").c_str(), At("asset/sub/x.convert-tex.txt").c_str()), 0);
  EXPECT_FALSE(Check({}, 3.4f, false, "asset"));
  EXPECT_EQ(
      Lines(),
      (Lines_{"E " + Msg("$tet_texture_failedload", {"sub/x.convert-tex.txt"}),
              "E " + Msg("$tet_texture_missing_primary", {"../outside.bmp", "w.texture.txt"})}));
}

}  // namespace
