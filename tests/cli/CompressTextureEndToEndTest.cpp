// "compresstexture" end to end: the built tool converts a tree of texture
// sources in a folder given relative to the directory it was started in;
// and whatever cuts a conversion short, or stands at the name a source
// takes while it converts, the user's source keeps its name and no file of
// the user's is lost.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <filesystem>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/CommandHostProcesses.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/SanitizerScale.h"
#include "tests/support/TextureTestSupport.h"
#include "tests/support/WaitUntil.h"

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

// A source large enough that its conversion is still running when the
// test has seen its rename and signalled the tool (a quarter of the side
// under the sanitizers, which convert about ten times slower).
constexpr int kLargeSide = 2048 / (VUTest::kSanitizerSlowdown == 1 ? 1 : 4);
constexpr const char* kSourceText = "Primary=t.png\r\n";
constexpr const char* kUsersText = "the user's own notes";

struct CutRow {
  const char* name;
  // Sent to the tool once t.texture.txt carries the conversion's name; 0
  // lets the run end by itself.
  int signal;
  // The user has a file at t.convert-tex.txt beside the source.
  bool usersFile;
  int status;
  // The status of a second run, -1 for none.
  int againStatus;
  // Lines the last run prints ("" none), "<tex>" standing for the folder.
  const char* told[2];
};

const CutRow kCutRows[] = {
    {"SigintGivesTheSourceItsNameBack", SIGINT, false, 128 + SIGINT, -1, {"", ""}},
    {"SigtermGivesTheSourceItsNameBack", SIGTERM, false, 128 + SIGTERM, -1, {"", ""}},
    {"SighupGivesTheSourceItsNameBack", SIGHUP, false, 128 + SIGHUP, -1, {"", ""}},
    {"AfterAKillTheNextRunGivesTheSourceItsNameBackAndConvertsIt",
     SIGKILL,
     false,
     128 + SIGKILL,
     0,
     {"; <NULL> : The texture source '<tex>/t.texture.txt' was left as '<tex>/t.convert-tex.txt' "
      "by a conversion cut short; it has its name back.\n",
      ""}},
    {"AUsersFileAtTheConversionsNameIsKeptAndNamed",
     0,
     true,
     255,
     -1,
     {"! <NULL> : The file '<tex>/t.convert-tex.txt' may be left by a conversion cut short, but "
      "the texture source '<tex>/t.texture.txt' is there too; neither was changed.\n",
      "- <NULL> : The file '<tex>/t.convert-tex.txt' has the name the texture source takes while "
      "it converts; it was left as it is, and the source was not converted.\n"}},
};

class CompressTextureCutShort : public ToolFixture, public ::testing::WithParamInterface<CutRow> {};

// Runs "compresstexture tex" in `work`; with a signal, sends it to the tool
// as soon as its source carries the conversion's name.
ToolResult RunAndSignal(const std::string& work, int signal) {
  if (signal == 0) return ToolFixture::Run({"compresstexture", "tex"}, work);
  ToolResult r;
  std::atomic<bool> done{false};
  std::thread command([&] {
    r = ToolFixture::Run({"compresstexture", "tex"}, work);
    done = true;
  });
  const std::string held = work + "/tex/t.convert-tex.txt";
  if (VUTest::WaitUntil([&] { return fs::exists(held) || done; }, 120000, 1) && !done) {
    for (const pid_t tool : VUTest::ToolProcesses(ToolFixture::BinPath(), "compresstexture"))
      ::kill(tool, signal);
  }
  command.join();
  return r;
}

std::string Told(std::string text, const std::string& tex) {
  for (size_t at = text.find("<tex>"); at != std::string::npos; at = text.find("<tex>", at))
    text.replace(at, 5, tex);
  return text;
}

TEST_P(CompressTextureCutShort, TheSourceKeepsItsNameAndNoFileOfTheUsersIsLost) {
  const CutRow& row = GetParam();
  const std::string work = MakeTempFolder();
  const std::string tex = work + "/tex";
  fs::create_directories(tex);
  const int side = row.signal == 0 ? 64 : kLargeSide;
  ASSERT_TRUE(texturetest::WritePicture(tex + "/t.png", side, side,
                                        texturetest::SmoothPicture(side, side, false)));
  ASSERT_TRUE(WriteFile(tex + "/t.texture.txt", kSourceText));
  // No conversion holds a source of no name under this name.
  ASSERT_TRUE(WriteFile(tex + "/.convert-tex.txt", kUsersText));
  if (row.usersFile) {
    ASSERT_TRUE(WriteFile(tex + "/t.convert-tex.txt", kUsersText));
  }

  ToolResult r = RunAndSignal(work, row.signal);
  EXPECT_EQ(r.status, row.status) << r.out << r.err;
  if (row.againStatus >= 0) {
    r = Run({"compresstexture", "tex"}, work);
    EXPECT_EQ(r.status, row.againStatus) << r.out << r.err;
    EXPECT_EQ(ReadOutput(tex + "/t.texture").target, 10u);
  }
  for (const char* told : row.told)
    EXPECT_NE(r.out.find(Told(told, tex)), std::string::npos) << r.out;
  EXPECT_EQ(ReadFile(tex + "/t.texture.txt"), kSourceText);
  EXPECT_EQ(ReadFile(tex + "/.convert-tex.txt"), kUsersText);
  if (row.usersFile) {
    EXPECT_EQ(ReadFile(tex + "/t.convert-tex.txt"), kUsersText);
  } else {
    EXPECT_FALSE(fs::exists(tex + "/t.convert-tex.txt"));
  }
}

void PrintTo(const CutRow& row, std::ostream* out) {
  *out << row.name;
}

std::string CutRowName(const ::testing::TestParamInfo<CutRow>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, CompressTextureCutShort, ::testing::ValuesIn(kCutRows), CutRowName);

}  // namespace
