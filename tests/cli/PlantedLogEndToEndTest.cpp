// Logs in a UserData that another user can write: the daemon and the
// command host it starts append nothing through a link planted under a
// log's name, nor to a log file that belongs to another user.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/cli/ToolFixture.h"

namespace fs = std::filesystem;

namespace {

class PlantedLog : public ToolFixture {};

TEST_F(PlantedLog, LogsAreNotWrittenThroughLinksNorToAnotherUsersFile) {
  const std::string root = MakeRoot();
  const std::string userData = root + "/UserData";
  fs::create_directories(userData);
  const std::string notes = MakeTempFolder() + "/notes.txt";
  ASSERT_TRUE(WriteFile(notes, "the owner's notes\n"));
  fs::create_symlink(notes, userData + "/vadcommandhost.log");
  ASSERT_TRUE(WriteFile(userData + "/vaddaemon.log", "theirs\n"));
  const bool otherUser = ::chown((userData + "/vaddaemon.log").c_str(), 65534, 65534) == 0;
  if (!otherUser) fs::remove(userData + "/vaddaemon.log");
  if (!otherUser) fs::create_symlink(notes, userData + "/vaddaemon.log");

  // The install starts the daemon; the validation starts a command host.
  ToolResult r = InstallScenery("<kuid:123:770001>", "", {{"body.txt", "body\n"}}, root);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  r = RunProgram(root + "/bin/VandruUtil", {"validate", "<kuid:123:770001>"}, root + "/bin");
  EXPECT_NE(r.out.find("OK (0 Errors"), std::string::npos) << r.out << r.err;
  EXPECT_TRUE(StopDaemonOf(root));

  EXPECT_EQ(ReadFile(notes), "the owner's notes\n");
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(userData + "/vadcommandhost.log")));
  if (!otherUser) GTEST_SKIP() << "no file of another user can be made here";
  EXPECT_EQ(ReadFile(userData + "/vaddaemon.log"), "theirs\n");
}

}  // namespace
