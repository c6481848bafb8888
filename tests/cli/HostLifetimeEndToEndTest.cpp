// Command hosts that live and end with their daemon, end to end: an idle
// daemon ends with its host; a daemon killed while its host converts
// textures leaves no host behind, and the next one gives every source its
// name back and removes the killed one's staging copy; a host killed while
// it converts is replaced, and the conversion done again.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/CommandHostProcesses.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/TextureTestSupport.h"
#include "tests/support/WaitUntil.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSources = 100;
const char kBoards[] = "<kuid:0:700>";

bool Has(const ToolResult& r, const std::string& text) {
  return r.out.find(text) != std::string::npos;
}

class HostLifetime : public ToolFixture {
 protected:
  void TearDown() override {
    // Hosts that outlived their daemon (a failure) go too.
    for (const std::string& bin : {BinPath(), idleRoot_ + "/bin"}) {
      for (const pid_t host : VUTest::CommandHosts(bin)) ::kill(host, SIGKILL);
    }
    if (!idleRoot_.empty()) StopDaemonOf(idleRoot_);
  }

  // An asset folder with kSources texture sources and no compiled texture.
  static std::string WriteBoards(const std::string& kuid) {
    const std::string folder = MakeTempFolder();
    WriteFile(folder + "/config.txt", "kuid " + kuid + "\nusername \"B\"\nkind \"scenery\"\n");
    const std::vector<uint8_t> picture = texturetest::SmoothPicture(64, 64, false);
    for (int i = 0; i < kSources; ++i) {
      const std::string name = folder + "/t" + std::to_string(i);
      texturetest::WritePicture(name + ".png", 64, 64, picture);
      WriteFile(name + ".texture.txt", "Primary=t" + std::to_string(i) + ".png\r\n");
    }
    return folder;
  }

  // The names of the files below `folder`, in its sub-folders whose name
  // starts with `prefix`, that end in `ending`; sorted. The store's staging
  // folders count only when `prefix` names them (what a commit let go of
  // goes after its answer).
  static std::vector<std::string> Files(const std::string& folder, const std::string& ending,
                                        const std::string& prefix = "") {
    std::vector<std::string> found;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
      const std::string path = it->path().string().substr(folder.size() + 1);
      if (prefix.empty() && path.starts_with(".vadtmp-")) continue;
      if (path.starts_with(prefix) && path.ends_with(ending))
        found.push_back(it->path().filename().string());
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  // Opens the boards for edit without their compiled textures, so that a
  // commit converts every source.
  static void EditWithoutCompiledTextures() {
    const ToolResult opened = Run({"edit", kBoards});
    const std::string folder = opened.out.substr(
        opened.out.find(" : ") + 3, opened.out.find('\n') - opened.out.find(" : ") - 3);
    for (const std::string& name : Files(folder, ".texture")) fs::remove(folder + "/" + name);
  }

  // Runs `args` until `compiled` textures are below `where` (as Files
  // looks), then calls `kill`; the command's result. `*caught` false when
  // the conversion never came that far.
  template <class Kill>
  static ToolResult KillDuringConversion(const std::vector<std::string>& args,
                                         const std::string& where, const std::string& prefix,
                                         size_t compiled, Kill kill, bool* caught) {
    ToolResult result;
    std::thread command([&] { result = Run(args); });
    *caught = VUTest::WaitUntil([&] { return Files(where, ".texture", prefix).size() >= compiled; },
                                60000, 1);
    if (*caught) kill();
    command.join();
    return result;
  }

  // Kills the daemon; whether each of its hosts ended within 0.5 s.
  static bool KillDaemonAndSeeItsHostsEnd() {
    const std::vector<pid_t> hosts = VUTest::CommandHosts(BinPath());
    EXPECT_FALSE(hosts.empty());
    ::kill(DaemonOwnerPid(), SIGKILL);
    if (VUTest::WaitUntil([&] { return std::all_of(hosts.begin(), hosts.end(), VUTest::Ended); },
                          500, 1))
      return true;
    for (const pid_t host : hosts) {
      const std::string proc = "/proc/" + std::to_string(host);
      ADD_FAILURE() << host << ": " << ReadFile(proc + "/stat") << ReadFile(proc + "/wchan");
    }
    const std::string log = ReadFile(UserDataPath() + "/vadcommandhost.log");
    ADD_FAILURE() << log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
    return false;
  }

  static std::string InstalledBoards() {
    const std::string folder = UserDataPath() + "/local/kuid 0 700";
    return fs::exists(folder) ? folder : folder + "~";
  }

  std::string idleRoot_;
};

TEST_F(HostLifetime, AnIdleDaemonEndsWithItsHost) {
  ::setenv("VADDAEMON_IDLE_SECONDS", "1", 1);
  idleRoot_ = MakeRoot();
  const ToolResult installed = InstallScenery("<kuid:0:710>", "", {}, idleRoot_);
  const ToolResult validated =
      RunProgram(idleRoot_ + "/bin/VandruUtil", {"validate", "<kuid:0:710>"}, idleRoot_ + "/bin");
  ::setenv("VADDAEMON_IDLE_SECONDS", "60", 1);
  ASSERT_EQ(installed.status, 0) << installed.out;
  EXPECT_TRUE(Has(validated, "OK (0 Errors, 0 Warnings)")) << validated.out;  // on a host
  EXPECT_TRUE(VUTest::WaitUntil(
      [&] {
        return DaemonOwnerPidOf(idleRoot_) == 0 && VUTest::CommandHosts(idleRoot_ + "/bin").empty();
      },
      20000, 10));
}

// The daemon killed while a commit converts, at five moments: its host ends
// within 0.5 s, and a commit made at once installs every source by its
// name. Killed while an install converts: the next start removes the copy.
TEST_F(HostLifetime, ADaemonKilledMidConversionLeavesNoHostNorTemporaryName) {
  ASSERT_EQ(Run({"installfrompath", WriteBoards(kBoards)}).status, 0);
  bool caught = false;
  bool hostsEnded = false;
  const auto kill = [&] { hostsEnded = KillDaemonAndSeeItsHostsEnd(); };
  for (const size_t moment : {1, 15, 30, 50, 70}) {
    SCOPED_TRACE(moment);
    EditWithoutCompiledTextures();
    const ToolResult killed = KillDuringConversion({"commit", kBoards}, UserDataPath() + "/editing",
                                                   "", moment, kill, &caught);
    ASSERT_TRUE(caught && !Has(killed, "committed")) << "not killed mid-conversion";
    EXPECT_TRUE(hostsEnded);
    const ToolResult committed = Run({"commit", kBoards});
    EXPECT_TRUE(Has(committed, "committed.\nOK (0 Errors, 0 Warnings)")) << committed.out;
    EXPECT_EQ(Files(InstalledBoards(), ".texture.txt").size(), size_t(kSources));
    EXPECT_EQ(Files(InstalledBoards(), ".texture").size(), size_t(kSources));
    EXPECT_EQ(Files(UserDataPath(), ".convert-tex.txt").size(), 0u);
  }
  KillDuringConversion({"installfrompath", WriteBoards("<kuid:0:701>")}, UserDataPath() + "/local",
                       ".vadtmp-", 20, kill, &caught);
  ASSERT_TRUE(caught);
  EXPECT_TRUE(hostsEnded);
  EXPECT_EQ(Run({"status", kBoards}).status, 0);
  for (const auto& entry : fs::directory_iterator(UserDataPath() + "/local"))
    EXPECT_FALSE(entry.path().filename().string().starts_with(".vadtmp-")) << entry.path();
}

// A host killed while an install or a commit converts: the job runs again
// on another host, and the asset goes in with every source compiled.
TEST_F(HostLifetime, AHostKilledMidConversionIsReplacedAndEverySourceCompiled) {
  const auto killHosts = [] {
    for (const pid_t host : VUTest::CommandHosts(BinPath())) ::kill(host, SIGKILL);
  };
  for (const char* command : {"installfrompath", "commit"}) {
    SCOPED_TRACE(command);
    const bool install = command == std::string("installfrompath");
    if (!install) EditWithoutCompiledTextures();
    bool caught = false;
    const ToolResult r = KillDuringConversion({command, install ? WriteBoards(kBoards) : kBoards},
                                              UserDataPath() + (install ? "/local" : "/editing"),
                                              install ? ".vadtmp-" : "", 10, killHosts, &caught);
    ASSERT_TRUE(caught) << r.out;
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r, install ? "Installed <kuid:0:700>." : "The asset was committed.")) << r.out;
    EXPECT_TRUE(Has(r, "OK (0 Errors, 0 Warnings)")) << r.out;
    EXPECT_EQ(Files(InstalledBoards(), ".texture").size(), size_t(kSources));
    EXPECT_EQ(Files(UserDataPath(), ".convert-tex.txt").size(), 0u);
  }
}

}  // namespace
