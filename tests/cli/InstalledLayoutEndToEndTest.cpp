// The tool as `cmake --install` lays it out: the modules it loads, the
// local user ids its daemon accepts, and the mode of the file that keeps
// the account's password.
#include <sys/prctl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "tests/cli/ToolFixture.h"
#include "tests/support/TextureTestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string gInstalled;

class InstalledLayoutEndToEnd : public ToolFixture {
 protected:
  // Only the installed root: the fixture's own root is not laid out.
  static void SetUpTestSuite() {
    if (!gInstalled.empty()) return;
    // Daemons that the tool starts become our children, to be reaped.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    ::setenv("VADDAEMON_IDLE_SECONDS", "60", 1);
    const std::string root = MakeTempFolder() + "/installed";
    const ToolResult r =
        RunProgram(VU_CMAKE_COMMAND, {"--install", VU_BUILD_DIR, "--prefix", root}, "/");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    gInstalled = root;
  }
  // The daemon of a test goes with it, and with it the user id it took.
  void TearDown() override {
    StopDaemonOf(gInstalled);
    ::unsetenv("VADDAEMON_USER_ID");
  }
  static void StartWithUserId(const char* id) {
    StopDaemonOf(gInstalled);
    ::setenv("VADDAEMON_USER_ID", id, 1);
  }

  static ToolResult RunInstalled(const std::vector<std::string>& args,
                                 const std::string& workdir = "") {
    return RunProgram(gInstalled + "/bin/VandruUtil", args,
                      workdir.empty() ? gInstalled + "/bin" : workdir);
  }
};

TEST_F(InstalledLayoutEndToEnd, LoadsModulesOnlyFromItsOwnFolder) {
  ASSERT_TRUE(fs::exists(std::string(VU_BUILD_DIR) + "/modules/libvu_nvtt.so"));
  ASSERT_TRUE(fs::remove(gInstalled + "/bin/libvu_nvtt.so"));
  const std::string work = MakeTempFolder();
  ASSERT_TRUE(texturetest::WritePicture(work + "/a.png", 64, 64,
                                        texturetest::SmoothPicture(64, 64, false)));
  ASSERT_TRUE(WriteFile(work + "/a.texture.txt", "Primary=a.png\r\n"));
  const ToolResult r = RunInstalled({"compresstexture", "."}, work);
  EXPECT_EQ(r.status, 255) << r.out << r.err;
  EXPECT_NE(r.out.find("libvu_nvtt.so was not found"), std::string::npos) << r.out << r.err;
  EXPECT_FALSE(fs::exists(work + "/a.texture"));
}

TEST_F(InstalledLayoutEndToEnd, AcceptsTheUserIdsWhoseKUIDsReadBack) {
  StartWithUserId("16777216");
  ToolResult r = RunInstalled({"generatekuid"});
  EXPECT_EQ(r.status, 255) << r.out << r.err;
  EXPECT_NE(r.err.find("- Init failed"), std::string::npos) << r.err;
  EXPECT_NE(ReadFile(gInstalled + "/UserData/vaddaemon.log")
                .find("VADDAEMON_USER_ID=\"16777216\" is not a user id from 0 to 16777215"),
            std::string::npos);

  StartWithUserId("16777215");
  r = RunInstalled({"generatekuid"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  std::smatch made;
  ASSERT_TRUE(std::regex_search(r.out, made, std::regex("<KUID2:16777215:([0-9]+):0>"))) << r.out;
  const std::string kuid = "<kuid:16777215:" + made[1].str() + ">";
  r = InstallScenery(kuid, "", {}, gInstalled);
  EXPECT_NE(r.out.find("+ " + kuid + " : Installed " + kuid + "."), std::string::npos) << r.out;
  r = RunInstalled({"status", kuid});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("+ " + kuid + " : "), std::string::npos) << r.out;

  // A configuration may name a KUID beyond that: it is refused as written.
  r = InstallScenery("<kuid:20000000:1>", "", {}, gInstalled);
  EXPECT_NE(r.out.find("Unable to install <kuid:20000000:1>: its user id lies beyond 16777215"),
            std::string::npos)
      << r.out;
}

TEST_F(InstalledLayoutEndToEnd, KeepsThePasswordFromOtherUsers) {
  const std::string settings = gInstalled + "/UserData/vaddaemon-settings.chump";
  const auto mode = [&settings] {
    struct stat info {};
    return ::stat(settings.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
  };
  ToolResult r = RunInstalled({"registeraccount", "bob", "secret"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(mode(), 0600u);
  // A file that others could read (left by an older version) is narrowed.
  ASSERT_EQ(::chmod(settings.c_str(), 0644), 0);
  r = RunInstalled({"registeraccount", "bob", "other"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(mode(), 0600u);
  EXPECT_NE(ReadFile(settings).find("other"), std::string::npos);
}

}  // namespace
