// The record of replacements in flight (UserData/assets.tdx.in-flight)
// through the installed tool: whatever is planted at its name, a start
// serves at once, replacements are refused with the reason and nothing is
// written through it; after a kill, a user's folder at a leftover's name
// (at its freed inode, as ext4 hands it back) survives the next start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <thread>

#include "tests/cli/ToolFixture.h"
#include "tests/support/WaitUntil.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kKuid = "<kuid:0:9501>";
const std::string kFolder = "kuid 0 9501";

// A root of its own, the asset's source folder and a folder outside both.
struct Scene {
  std::string root = ToolFixture::MakeRoot(), outside = ToolFixture::MakeTempFolder(),
              source = ToolFixture::MakeTempFolder();
  std::string Record() const { return root + "/UserData/assets.tdx.in-flight"; }
  std::string Local(const std::string& name) const { return root + "/UserData/local/" + name; }
  ToolResult Run(const std::vector<std::string>& args, int timeoutMs = 60000) const {
    return ToolFixture::RunProgram(root + "/bin/VandruUtil", args, root + "/bin", timeoutMs);
  }
  // Installs (or replaces) the asset, named `name`.
  ToolResult Install(const std::string& name) const {
    ToolFixture::WriteFile(source + "/config.txt", std::string("kuid ") + kKuid + "\nusername \"" +
                                                       name + "\"\nkind \"scenery\"\n");
    return Run({"installfrompath", source});
  }
  // The files outside, with what they hold.
  std::string Outside() const {
    std::string files;
    for (const auto& file : fs::directory_iterator(outside))
      files += file.path().string() + ": " + ToolFixture::ReadFile(file.path()) + "\n";
    return files;
  }
};

struct PlantedCase {
  const char* name;
  void (*plant)(const Scene&);  // at the record's name, no daemon running
  const char* why;              // what the start logs and a replacement answers
};

void PrintTo(const PlantedCase& row, std::ostream* out) {
  *out << row.name;
}

class InFlightRecordEndToEnd : public ToolFixture {};
class PlantedAtTheInFlightRecord : public InFlightRecordEndToEnd,
                                   public ::testing::WithParamInterface<PlantedCase> {};

TEST_P(PlantedAtTheInFlightRecord, TheStartServesAndReplacementsAreRefusedWithTheReason) {
  const Scene s;
  ASSERT_EQ(s.Install("first").status, 0);
  ASSERT_TRUE(StopDaemonOf(s.root));
  GetParam().plant(s);
  const std::string outside = s.Outside();
  const std::string why = s.Record() + ": it " + GetParam().why;
  EXPECT_NE(s.Run({"status", kKuid}, 10000).out.find(" : first\n"), std::string::npos);
  for (int replacement = 0; replacement < 2; ++replacement)
    EXPECT_NE(s.Install("second").out.find(why), std::string::npos);
  EXPECT_NE(s.Run({"status", kKuid}).out.find(" : first\n"), std::string::npos);
  EXPECT_TRUE(StopDaemonOf(s.root));
  EXPECT_NE(ReadFile(s.root + "/UserData/vaddaemon.log").find(why + "; no replacement is taken"),
            std::string::npos);
  EXPECT_EQ(s.Outside(), outside);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PlantedAtTheInFlightRecord,
    ::testing::Values(
        PlantedCase{"LinkToAFileOutside",
                    [](const Scene& s) {
                      ToolFixture::WriteFile(s.outside + "/notes.txt", "the user's text\n");
                      fs::create_symlink(s.outside + "/notes.txt", s.Record());
                    },
                    "is a link"},
        PlantedCase{"DanglingLink",
                    [](const Scene& s) { fs::create_symlink(s.outside + "/made", s.Record()); },
                    "is a link"},
        PlantedCase{"Pipe", [](const Scene& s) { ::mkfifo(s.Record().c_str(), 0600); },
                    "is not a plain file"}),
    [](const ::testing::TestParamInfo<PlantedCase>& row) { return row.param.name; });

// The daemon killed as a replacement renames its new copy into place
// (mostly before its commit); the user removes that leftover and copies a
// backup of their own to its name. The start sets the backup aside and
// says so (or, the commit done, serves it as the asset's copy).
TEST_F(InFlightRecordEndToEnd, AUsersBackupAtALeftoversFreedInodeSurvivesTheStart) {
  const Scene s;
  ASSERT_EQ(s.Install("0").status, 0);
  WriteFile(s.outside + "/mine.txt", "the user's own");
  int reused = 0;
  for (int attempt = 1; attempt <= 40 && reused < 3; ++attempt) {
    const bool plain = fs::exists(s.Local(kFolder));
    const std::string name = plain ? kFolder + "~" : kFolder,
                      other = plain ? kFolder : kFolder + "~";
    ASSERT_EQ(s.Run({"status", kKuid}).status, 0);
    const pid_t daemon = DaemonOwnerPidOf(s.root);
    ASSERT_GT(daemon, 0);
    std::thread replacing([&] { s.Install(std::to_string(attempt)); });
    const bool moved = VUTest::WaitUntil([&] { return fs::exists(s.Local(name)); }, 60000, 0);
    ::kill(daemon, SIGKILL);
    ::waitpid(daemon, nullptr, 0);
    replacing.join();
    ASSERT_TRUE(moved);
    if (!fs::exists(s.Local(other))) continue;  // the replacement had ended
    struct stat leftover {
    }, backup{};
    ::lstat(s.Local(name).c_str(), &leftover);
    RunProgram("/bin/sh",
               {"-c", "rm -rf \"$1\" && cp -a \"$2\" \"$1\"", "sh", s.Local(name), s.outside},
               s.root);
    ::lstat(s.Local(name).c_str(), &backup);
    EXPECT_EQ(s.Run({"status", kKuid}).status, 0);
    if (fs::exists(s.Local(name) + "/mine.txt")) continue;  // served as the asset's copy
    std::string aside;
    for (const auto& entry : fs::directory_iterator(s.Local("")))
      if (entry.path().filename().string().starts_with(name + ".set-aside-")) aside = entry.path();
    ASSERT_EQ(ReadFile(aside + "/mine.txt"), "the user's own") << attempt;
    EXPECT_NE(ReadFile(s.root + "/UserData/vaddaemon.log").find(s.Local(name) + " as " + aside),
              std::string::npos);
    fs::remove_all(aside);
    reused += backup.st_ino == leftover.st_ino ? 1 : 0;
  }
  EXPECT_TRUE(StopDaemonOf(s.root));
  if (reused == 0) GTEST_SKIP() << "this file system never handed a freed inode back";
  EXPECT_GE(reused, 3);
}

}  // namespace
