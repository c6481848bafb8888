// Daemons and command hosts across time, end to end: a daemon whose
// UserData was removed under it ends and leaves the next daemon's files; a
// job sent to a host that was killed before it read the job runs on
// another host; a stopped host of a killed daemon is ended before the next
// daemon's recovery, so it renames nothing after it.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
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

const char kCrate[] = "<kuid:0:500>";
const char kBoards[] = "<kuid:0:700>";
constexpr int kSources = 100;

bool Has(const ToolResult& r, const std::string& text) {
  return r.out.find(text) != std::string::npos;
}

// A process watched through a pidfd; sent SIGCONT and SIGKILL when the
// test ends, however it ends.
class Watched {
 public:
  explicit Watched(pid_t pid) : fd_(int(syscall(SYS_pidfd_open, pid, 0))) {}
  ~Watched() {
    for (const int signal : {SIGCONT, SIGKILL}) Signal(signal);
    if (fd_ >= 0) ::close(fd_);
  }
  Watched(const Watched&) = delete;
  Watched& operator=(const Watched&) = delete;
  bool Valid() const { return fd_ >= 0; }
  bool Signal(int signal) const {
    return fd_ >= 0 && syscall(SYS_pidfd_send_signal, fd_, signal, nullptr, 0u) == 0;
  }
  bool EndsWithin(int timeoutMs) const {
    pollfd watch{fd_, POLLIN, 0};
    return ::poll(&watch, 1, timeoutMs) == 1;
  }

 private:
  int fd_;
};

// The bytes waiting unread in the receive queue of the loopback TCP
// sockets that `pid` has open.
long UnreadBytes(pid_t pid) {
  std::vector<std::string> inodes;
  std::error_code error;
  for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    const std::string target = fs::read_symlink(fd.path(), error).string();
    if (target.starts_with("socket:[")) inodes.push_back(target.substr(8, target.size() - 9));
  }
  std::ifstream table("/proc/net/tcp");
  std::string line, field;
  long unread = 0;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::vector<std::string> row;
    while (fields >> field) row.push_back(field);
    if (row.size() > 9 && std::find(inodes.begin(), inodes.end(), row[9]) != inodes.end())
      unread += std::stol(row[4].substr(row[4].find(':') + 1), nullptr, 16);
  }
  return unread;
}

// Whether every thread of `pid` is stopped.
bool AllStopped(pid_t pid) {
  std::error_code error;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    std::ifstream in(task.path() / "stat");
    std::string stat;
    std::getline(in, stat);
    const size_t name = stat.rfind(')');  // the state follows the name
    if (name == std::string::npos || stat.size() < name + 3 || stat[name + 2] != 'T') return false;
  }
  return !error;
}

// The files below `folder` whose names end in `ending`, but for those in
// the store's staging folders (a copy a commit let go of goes after the
// answer).
std::vector<std::string> Files(const std::string& folder, const std::string& ending) {
  std::vector<std::string> found;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().filename().string().starts_with(".vadtmp-")) {
      it.disable_recursion_pending();
      continue;
    }
    if (it->path().string().ends_with(ending)) found.push_back(it->path().filename().string());
  }
  return found;
}

class DaemonAcrossTime : public ToolFixture {
 protected:
  void TearDown() override {
    for (const pid_t host : VUTest::CommandHosts(BinPath())) ::kill(host, SIGKILL);
  }
};

// UserData removed while its daemon is stopped, and the next command's
// daemon serving the new one: the first daemon, once it runs again, ends
// by itself, leaves the new daemon's files, and the next commands are
// served at once, "closevaddaemon" ending the new daemon.
TEST_F(DaemonAcrossTime, ADaemonWhoseUserDataWasRemovedEndsAndLeavesTheNextOnesFiles) {
  ASSERT_EQ(InstallScenery(kCrate, "", {}).status, 0);
  const Watched first(DaemonOwnerPid());
  ASSERT_TRUE(first.Valid() && first.Signal(SIGSTOP));
  fs::remove_all(UserDataPath());
  EXPECT_EQ(InstallScenery(kCrate, "", {}).status, 0);
  const Watched next(DaemonOwnerPid());
  ASSERT_TRUE(next.Valid());

  first.Signal(SIGCONT);
  EXPECT_TRUE(first.EndsWithin(10000)) << "the daemon of the removed UserData still runs";
  first.Signal(SIGTERM);  // one that did not end by itself ends now
  ASSERT_TRUE(first.EndsWithin(20000));
  for (const char* file : {"assets.tdx.ipc", "assets.tdx.lock", "assets.tdx-journal"})
    EXPECT_TRUE(fs::exists(UserDataPath() + "/" + file)) << file;
  const auto start = std::chrono::steady_clock::now();
  const ToolResult status = Run({"status", kCrate});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(Has(status, std::string("+ ") + kCrate + " : ")) << status.out << status.err;
  EXPECT_EQ(Run({"closevaddaemon"}).status, 0);
  EXPECT_TRUE(next.EndsWithin(0)) << "\"closevaddaemon\" did not find the next daemon";
}

// A host idle after a large validation dies, and the next validation's job
// reaches it before its end is seen (stopped here, and killed once the job
// waits unread with it): the job runs on another host.
TEST_F(DaemonAcrossTime, AJobThatAKilledHostNeverReadRunsOnAnotherHost) {
  std::string script = "include \"gs.gs\"\n";
  for (int i = 0; i < 20000 / VUTest::kSanitizerSlowdown; ++i)
    script += "class C" + std::to_string(i) + " isclass GameObject {\n  int v;\n};\n";
  script += "class Crate isclass GameObject {\n};\n";
  ASSERT_EQ(
      InstallScenery(kCrate, "script \"main.gs\"\nclass \"Crate\"\n", {{"main.gs", script}}).status,
      0);
  ASSERT_TRUE(Has(Run({"validate", kCrate}), "OK (0 Errors, 0 Warnings)"));
  const std::vector<pid_t> hosts = VUTest::CommandHosts(BinPath());
  ASSERT_EQ(hosts.size(), 1u);
  const Watched host(hosts[0]);
  ASSERT_TRUE(host.Valid() && host.Signal(SIGSTOP));
  // Every thread stopped: its reader can take nothing more.
  ASSERT_TRUE(VUTest::WaitUntil([&] { return AllStopped(hosts[0]); }, 10000, 1));
  ToolResult validated;
  std::thread validation([&] { validated = Run({"validate", kCrate}); });
  const bool waiting = VUTest::WaitUntil([&] { return UnreadBytes(hosts[0]) > 0; }, 30000, 2);
  host.Signal(SIGKILL);
  validation.join();
  ASSERT_TRUE(waiting) << "the job never reached the stopped host";
  EXPECT_TRUE(Has(validated, "OK (0 Errors, 0 Warnings)")) << validated.out;
  EXPECT_EQ(validated.status, 0);
}

// A commit converting textures; its host stopped and its daemon killed.
// The next daemon's start ends the stopped host before its recovery gives
// the sources their names back, so nothing is renamed after it: the next
// commit installs every source under its own name.
TEST_F(DaemonAcrossTime, AStoppedHostOfAKilledDaemonIsEndedBeforeTheRecovery) {
  const std::string source = MakeTempFolder();
  WriteFile(source + "/config.txt",
            std::string("kuid ") + kBoards + "\nusername \"B\"\nkind \"scenery\"\n");
  const std::vector<uint8_t> picture = texturetest::SmoothPicture(64, 64, false);
  for (int i = 0; i < kSources; ++i) {
    const std::string name = source + "/t" + std::to_string(i);
    texturetest::WritePicture(name + ".png", 64, 64, picture);
    WriteFile(name + ".texture.txt", "Primary=t" + std::to_string(i) + ".png\r\n");
  }
  ASSERT_EQ(Run({"installfrompath", source}).status, 0);
  const ToolResult opened = Run({"edit", kBoards});
  const size_t at = opened.out.find(" : ");
  ASSERT_NE(at, std::string::npos) << opened.out;
  const std::string edit = opened.out.substr(at + 3, opened.out.find('\n') - at - 3);
  for (const std::string& name : Files(edit, ".texture")) fs::remove(edit + "/" + name);

  const Watched daemon(DaemonOwnerPid());
  std::vector<std::unique_ptr<Watched>> hosts;
  ToolResult cut;
  std::thread commit([&] { cut = Run({"commit", kBoards}); });
  const bool converting =
      VUTest::WaitUntil([&] { return Files(edit, ".convert-tex.txt").size() > 0; }, 60000, 1);
  for (const pid_t pid : VUTest::CommandHosts(BinPath())) {
    hosts.push_back(std::make_unique<Watched>(pid));
    hosts.back()->Signal(SIGSTOP);
    EXPECT_TRUE(VUTest::WaitUntil([&] { return AllStopped(pid); }, 10000, 1));
  }
  daemon.Signal(SIGKILL);
  commit.join();
  ASSERT_TRUE(converting && !hosts.empty()) << cut.out;
  ASSERT_TRUE(daemon.EndsWithin(10000));

  EXPECT_EQ(Run({"status", kBoards}).status, 0);  // the next daemon, and its recovery
  for (const auto& host : hosts) {
    EXPECT_TRUE(host->EndsWithin(0)) << "a stopped host outlived the next daemon's recovery";
    host->Signal(SIGCONT);
    EXPECT_TRUE(host->EndsWithin(10000));
  }
  const ToolResult committed = Run({"commit", kBoards});
  EXPECT_TRUE(Has(committed, "committed.\nOK (0 Errors, 0 Warnings)")) << committed.out;
  EXPECT_EQ(Files(UserDataPath(), ".convert-tex.txt").size(), 0u);
  EXPECT_EQ(Files(UserDataPath() + "/local", ".texture.txt").size(), size_t(kSources));
}

// --- Files changed under a daemon that serves.

// What happens to the files under the first daemon (`first`, process
// `pid`), once it has installed kCrate.
struct FilesCase {
  const char* name;
  void (*change)(DaemonAcrossTime& test, const Watched& first, pid_t pid);
  // Whether the first daemon ends by itself; else it serves the next
  // command.
  bool firstEnds;
  // What the first daemon's log says of it, after "vaddaemon> the ".
  const char* logged;
};

// The index replaced by a copy of itself (as a restore from a backup does).
void ReplaceIndexByItsCopy(DaemonAcrossTime& test, const Watched&, pid_t) {
  const std::string index = test.UserDataPath() + "/assets.tdx";
  fs::copy_file(index, index + ".copy");
  fs::rename(index + ".copy", index);
}

// The owner block's files removed while the daemon is stopped, so that it
// cannot make them anew at once: a daemon that a tool starts meanwhile
// refuses to serve the same store.
void RemoveBlockFilesUnderAStoppedDaemon(DaemonAcrossTime& test, const Watched& first, pid_t pid) {
  ASSERT_TRUE(first.Signal(SIGSTOP));
  ASSERT_TRUE(VUTest::WaitUntil([&] { return AllStopped(pid); }, 10000, 1));
  for (const char* name : {"/assets.tdx.lock", "/assets.tdx.ipc"})
    fs::remove(test.UserDataPath() + name);
  const ToolResult second =
      test.RunProgram(test.BinPath() + "/vaddaemon", {}, test.BinPath(), 20000);
  EXPECT_EQ(second.status, 2) << second.err;
  EXPECT_NE(second.err.find("another daemon (process " + std::to_string(pid) + ") already serves"),
            std::string::npos)
      << second.err;
  first.Signal(SIGCONT);
}

const FilesCase kFilesCases[] = {
    {"AnIndexReplacedByItsCopyEndsItsDaemonAndTheNextInstallIsKept", ReplaceIndexByItsCopy, true,
     "asset index <index> was removed or replaced; exiting"},
    {"BlockFilesRemovedUnderItKeepAnotherDaemonOffAndTheNextCommandFindsIt",
     RemoveBlockFilesUnderAStoppedDaemon, false,
     "database-owner block beside <index> was removed or replaced; made it anew"},
};

class DaemonFilesChange : public DaemonAcrossTime,
                          public ::testing::WithParamInterface<FilesCase> {};

TEST_P(DaemonFilesChange, TheNextCommandsAreServedAndKeptWhateverServesThem) {
  const FilesCase& row = GetParam();
  ASSERT_EQ(InstallScenery(kCrate, "", {}).status, 0);
  const pid_t pid = DaemonOwnerPid();
  const Watched first(pid);
  ASSERT_TRUE(first.Valid());
  row.change(*this, first, pid);
  ASSERT_FALSE(HasFatalFailure());
  if (row.firstEnds) {
    EXPECT_TRUE(first.EndsWithin(10000)) << "the daemon still runs on files no longer its own";
  }

  const auto start = std::chrono::steady_clock::now();
  const ToolResult installed = InstallScenery(kBoards, "", {});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(Has(installed, "Installed")) << installed.out << installed.err;
  if (!row.firstEnds) {
    EXPECT_EQ(DaemonOwnerPid(), pid) << "the next command found another daemon";
  }
  // What a new daemon reads from the index.
  EXPECT_EQ(Run({"closevaddaemon"}).status, 0);
  EXPECT_TRUE(first.EndsWithin(10000));
  std::string logged = std::string("[") + std::to_string(pid) + "] vaddaemon> the " + row.logged;
  logged.replace(logged.find("<index>"), 7, UserDataPath() + "/assets.tdx");
  const std::string log = ReadFile(UserDataPath() + "/vaddaemon.log");
  const size_t at = log.find(logged);
  EXPECT_NE(at, std::string::npos) << log;
  EXPECT_EQ(log.find(logged, at + 1), std::string::npos) << "said more than once: " << log;
  for (const char* kuid : {kCrate, kBoards}) {
    const ToolResult status = Run({"status", kuid});
    EXPECT_TRUE(Has(status, std::string("+ ") + kuid + " : ")) << status.out << status.err;
  }
}

std::string FilesCaseName(const ::testing::TestParamInfo<FilesCase>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, DaemonFilesChange, ::testing::ValuesIn(kFilesCases), FilesCaseName);

}  // namespace
