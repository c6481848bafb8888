// Command hosts that live and end with their daemon, end to end: a daemon
// that has run a host still ends when idle, and its host with it; a daemon
// killed while its host converts an asset's textures leaves no host behind,
// and the next daemon's start gives every source its name back and removes
// the killed one's staging copy; a host killed while it converts is named in
// the command's output, which keeps the install.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/cli/CommandHostProcesses.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/TextureTestSupport.h"
#include "tests/support/WaitUntil.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSources = 100;
constexpr int kWaitMs = 60000;
// How long hosts may outlive their daemon.
constexpr int kHostEndMs = 500;
const char kBoards[] = "<kuid:0:700>";
const char kNotCompiled[] =
    "These texture sources were not compiled, as their conversion was "
    "cut short: ";

bool Has(const ToolResult& r, const std::string& text) {
  return r.out.find(text) != std::string::npos;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
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

  // An asset folder `kuid` with kSources texture sources, each with its own
  // small picture and no compiled texture; its path.
  static std::string WriteBoards(const std::string& kuid) {
    const std::string folder = MakeTempFolder() + "/boards";
    fs::create_directories(folder);
    EXPECT_TRUE(WriteFile(folder + "/config.txt", "kuid " + kuid +
                                                      "\nusername \"Boards\"\nkind \"scenery\"\n"
                                                      "vandru-build 3.4\ncategory-class \"BA\"\n"));
    const std::vector<uint8_t> picture = texturetest::SmoothPicture(64, 64, false);
    for (int i = 0; i < kSources; ++i) {
      const std::string name = "t" + std::to_string(i);
      EXPECT_TRUE(texturetest::WritePicture(folder + "/" + name + ".png", 64, 64, picture));
      EXPECT_TRUE(WriteFile(folder + "/" + name + ".texture.txt", "Primary=" + name + ".png\r\n"));
    }
    return folder;
  }

  // The files below `folder` (its sub-folders whose name starts with
  // `prefix`) whose name ends in `ending`, as paths below `folder`.
  static std::vector<std::string> FilesEndingIn(const std::string& folder,
                                                const std::string& ending,
                                                const std::string& prefix = "") {
    std::vector<std::string> found;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
      const std::string path = it->path().string().substr(folder.size() + 1);
      if (path.starts_with(prefix) && EndsWith(path, ending)) found.push_back(path);
    }
    return found;
  }

  // Opens the boards for edit and removes their compiled textures, so that
  // a commit converts every source; the edit folder.
  static std::string EditWithoutCompiledTextures() {
    const ToolResult opened = Run({"edit", kBoards});
    const std::string head = std::string("+ ") + kBoards + " : ";
    EXPECT_EQ(opened.out.rfind(head, 0), 0u) << opened.out;
    const std::string folder = opened.out.substr(head.size(), opened.out.find('\n') - head.size());
    for (const std::string& file : FilesEndingIn(folder, ".texture"))
      fs::remove(folder + "/" + file);
    return folder;
  }

  // Runs `args` on a thread of its own until `compiled` textures are there
  // below `where` (in its sub-folders whose name starts with `prefix`),
  // then kills `victims()`, and answers the command's result. False in
  // `*caught` when the conversion never came that far.
  template <class Victims>
  static ToolResult KillDuringConversion(const std::vector<std::string>& args,
                                         const std::string& where, const std::string& prefix,
                                         size_t compiled, Victims victims, bool* caught) {
    ToolResult result;
    std::thread command([&] { result = Run(args); });
    *caught = VUTest::WaitUntil(
        [&] { return FilesEndingIn(where, ".texture", prefix).size() >= compiled; }, kWaitMs, 1);
    if (*caught) victims();
    command.join();
    return result;
  }

  // Kills the root's daemon; true when each of its hosts has ended within
  // kHostEndMs of the kill.
  static bool KillDaemonAndSeeItsHostsEnd() {
    const std::vector<pid_t> hosts = VUTest::CommandHosts(BinPath());
    EXPECT_FALSE(hosts.empty());
    ::kill(DaemonOwnerPid(), SIGKILL);
    return VUTest::WaitUntil(
        [&] {
          for (const pid_t host : hosts) {
            if (!VUTest::Ended(host)) return false;
          }
          return true;
        },
        kHostEndMs, 1);
  }

  // The sources named by the warning of a conversion cut short.
  static std::vector<std::string> NamedAsNotCompiled(const ToolResult& r) {
    std::vector<std::string> names;
    const size_t start = r.out.find(kNotCompiled);
    if (start == std::string::npos) return names;
    const std::string list =
        r.out.substr(start + std::string(kNotCompiled).size(),
                     r.out.find(". ", start) - start - std::string(kNotCompiled).size());
    for (size_t at = 0; at < list.size();) {
      const size_t comma = std::min(list.find(", ", at), list.size());
      names.push_back(list.substr(at, comma - at));
      at = comma + 2;
    }
    return names;
  }

  // The folder the boards are installed in.
  static std::string InstalledBoards(const std::string& kuid) {
    const std::string folder = UserDataPath() + "/local/kuid 0 " + kuid;
    return fs::exists(folder) ? folder : folder + "~";
  }

  std::string idleRoot_;
};

// A daemon whose command host ran a validation ends when no client is left
// for its idle time, and the host ends with it.
TEST_F(HostLifetime, AnIdleDaemonEndsWithItsHost) {
  ::setenv("VADDAEMON_IDLE_SECONDS", "1", 1);
  idleRoot_ = MakeRoot();
  const ToolResult installed = InstallScenery("<kuid:0:710>", "", {}, idleRoot_);
  const ToolResult validated =
      RunProgram(idleRoot_ + "/bin/VandruUtil", {"validate", "<kuid:0:710>"}, idleRoot_ + "/bin");
  ::setenv("VADDAEMON_IDLE_SECONDS", "60", 1);
  ASSERT_EQ(installed.status, 0) << installed.out;
  // The validation ran on a host.
  EXPECT_TRUE(Has(validated, "OK (0 Errors, 0 Warnings)")) << validated.out;
  EXPECT_TRUE(VUTest::WaitUntil(
      [&] {
        return DaemonOwnerPidOf(idleRoot_) == 0 && VUTest::CommandHosts(idleRoot_ + "/bin").empty();
      },
      20000, 10));
}

// The daemon is killed while a commit's host converts the edit copy, at five
// moments: its host ends within half a second, and a commit made at once
// (by the next daemon) installs every source under its own name. Then once
// while an install converts its staging copy: the next daemon's start
// removes that copy.
TEST_F(HostLifetime, ADaemonKilledMidConversionLeavesNoHostNorTemporaryName) {
  const ToolResult installed = Run({"installfrompath", WriteBoards(kBoards)});
  ASSERT_EQ(installed.status, 0) << installed.out;
  for (const size_t moment : {1, 15, 30, 50, 70}) {
    SCOPED_TRACE(moment);
    EditWithoutCompiledTextures();
    bool caught = false;
    bool hostsEnded = false;
    const ToolResult killed = KillDuringConversion(
        {"commit", kBoards}, UserDataPath() + "/editing", "", moment,
        [&] { hostsEnded = KillDaemonAndSeeItsHostsEnd(); }, &caught);
    ASSERT_TRUE(caught) << killed.out;
    EXPECT_FALSE(Has(killed, "The asset was committed.")) << "killed after the conversion";
    EXPECT_TRUE(hostsEnded);
    const ToolResult committed = Run({"commit", kBoards});
    EXPECT_TRUE(Has(committed, "The asset was committed.\nOK (0 Errors, 0 Warnings)"))
        << committed.out;
    const std::string folder = InstalledBoards("700");
    EXPECT_EQ(FilesEndingIn(folder, ".texture.txt").size(), size_t(kSources));
    EXPECT_EQ(FilesEndingIn(folder, ".texture").size(), size_t(kSources));
    EXPECT_TRUE(FilesEndingIn(UserDataPath(), ".convert-tex.txt").empty());
  }

  bool caught = false;
  bool hostsEnded = false;
  KillDuringConversion(
      {"installfrompath", WriteBoards("<kuid:0:701>")}, UserDataPath() + "/local", ".vadtmp-", 20,
      [&] { hostsEnded = KillDaemonAndSeeItsHostsEnd(); }, &caught);
  ASSERT_TRUE(caught);
  EXPECT_TRUE(hostsEnded);
  const ToolResult status = Run({"status", kBoards});
  EXPECT_EQ(status.status, 0) << status.out;
  for (const auto& entry : fs::directory_iterator(UserDataPath() + "/local"))
    EXPECT_FALSE(entry.path().filename().string().starts_with(".vadtmp-")) << entry.path();
}

// A host killed while it converts the textures of an install or a commit:
// the asset is installed all the same, and the command names, as a
// warning, exactly the sources left without a compiled texture.
TEST_F(HostLifetime, AHostKilledMidConversionIsNamedInTheCommandsOutput) {
  const auto killHosts = [] {
    for (const pid_t host : VUTest::CommandHosts(BinPath())) ::kill(host, SIGKILL);
  };
  bool caught = false;
  const ToolResult installed =
      KillDuringConversion({"installfrompath", WriteBoards(kBoards)}, UserDataPath() + "/local",
                           ".vadtmp-", 10, killHosts, &caught);
  ASSERT_TRUE(caught) << installed.out;
  EditWithoutCompiledTextures();
  const ToolResult committed = KillDuringConversion(
      {"commit", kBoards}, UserDataPath() + "/editing", "", 10, killHosts, &caught);
  ASSERT_TRUE(caught) << committed.out;

  for (const auto& [result, done] :
       {std::pair{installed, std::string("Installed <kuid:0:700>.")},
        std::pair{committed, std::string("The asset was committed.")}}) {
    SCOPED_TRACE(done);
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_TRUE(Has(result, done)) << result.out;
    EXPECT_TRUE(Has(result, "OK (0 Errors, 1 Warnings)")) << result.out;
  }
  // What the commit installed: the sources it names lack their compiled
  // texture, the others have it.
  const std::vector<std::string> named = NamedAsNotCompiled(committed);
  EXPECT_FALSE(named.empty()) << committed.out;
  const std::string folder = InstalledBoards("700");
  for (int i = 0; i < kSources; ++i) {
    const std::string name = "t" + std::to_string(i) + ".texture";
    const bool isNamed = std::find(named.begin(), named.end(), name + ".txt") != named.end();
    EXPECT_TRUE(fs::exists(folder + "/" + name + ".txt")) << name;
    EXPECT_NE(fs::exists(folder + "/" + name), isNamed) << name;
  }
}

}  // namespace
