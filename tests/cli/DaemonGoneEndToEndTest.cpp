// The daemon going away while tools work, end to end: a batch goes on with
// a new daemon after its own was killed, and "closevaddaemon" ends the
// daemon it asked to close, with its command hosts, and nothing that other
// tools started after it; a daemon that does not answer it ends by its
// process id.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/protocol/DatabaseIpc.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/threads/ProcessHandle.h"
#include "tests/cli/CommandHostProcesses.h"
#include "tests/cli/ToolFixture.h"
#include "tests/cli/ToolLoop.h"
#include "tests/support/SanitizerScale.h"
#include "tests/support/WaitUntil.h"

extern char** environ;

namespace {

const char kKuid[] = "<kuid:0:500>";

class DaemonGone : public ToolFixture {
 protected:
  void SetUp() override {
    const ToolResult installed = InstallScenery(kKuid, "", {});
    ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
    ASSERT_NE(DaemonOwnerPid(), 0);
  }

  // A pidfd on `pid`: readable once the process has ended.
  static int WatchProcess(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }
  static bool EndsWithin(int pidfd, int timeoutMs) {
    pollfd watch{pidfd, POLLIN, 0};
    return ::poll(&watch, 1, timeoutMs) == 1;
  }
  // Running, not just a zombie that nobody has reaped yet.
  static bool IsRunning(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t name = stat.rfind(')');
    return name != std::string::npos && stat.size() > name + 2 && stat[name + 2] != 'Z';
  }

  // The pidfds of the daemon and of its command hosts (one at least: a
  // validation starts it), each sent SIGCONT and SIGKILL when the test
  // ends, whichever way it ends.
  struct Processes {
    int daemon = -1;
    std::vector<int> hosts;
    ~Processes() {
      for (const int watch : hosts) Stop(watch);
      Stop(daemon);
    }
    static void Stop(int watch) {
      if (watch < 0) return;
      for (const int signal : {SIGCONT, SIGKILL})
        syscall(SYS_pidfd_send_signal, watch, signal, nullptr, 0u);
      ::close(watch);
    }
  };
  void WatchDaemonAndHosts(Processes* watched) {
    const ToolResult validated = Run({"validate", kKuid});
    ASSERT_EQ(validated.status, 0) << validated.out << validated.err;
    watched->daemon = WatchProcess(DaemonOwnerPid());
    ASSERT_GE(watched->daemon, 0);
    const std::vector<pid_t> hosts = VUTest::CommandHosts(BinPath());
    ASSERT_FALSE(hosts.empty());
    for (const pid_t host : hosts) watched->hosts.push_back(WatchProcess(host));
  }

  // Starts the root's daemon directly, as a tool does (a session of its
  // own, no standard streams): the process id, or 0.
  static pid_t SpawnDaemon() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, BinPath().c_str());
    std::string path = BinPath() + "/vaddaemon";
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : 0;
  }
};

// The daemon is killed after 200 lines of a 20,000-line batch (2,000 in
// the sanitizer tree): the line then in flight may fail, every other line
// runs as a separate call would, finding the new daemon it starts.
TEST_F(DaemonGone, BatchGoesOnWithANewDaemon) {
  constexpr int kLines = 20000 / VUTest::kSanitizerSlowdown;
  const std::string folder = MakeTempFolder();
  std::string lines;
  for (int line = 0; line < kLines; ++line) lines += std::string("\"status\" \"") + kKuid + "\"\n";
  ASSERT_TRUE(WriteFile(folder + "/batch.txt", lines));
  const std::string out = folder + "/out.txt";
  const pid_t first = DaemonOwnerPid();
  ToolResult batch;
  std::thread runner([&] {
    // The shell puts the batch's output where it can be read while it runs.
    batch = RunProgram("/bin/sh", {"-c", "exec ./VandruUtil @" + folder + "/batch.txt > " + out},
                       BinPath(), 240000);
  });
  auto count = [&](const std::string& what) {
    const std::string text = ReadFile(out);
    int found = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
      ++found;
    return found;
  };
  const std::string answered = std::string("+ ") + kKuid + " : ";
  const bool started = VUTest::WaitUntil([&] { return count(answered) >= 200; }, 60000, 2);
  ::kill(first, SIGKILL);
  runner.join();
  ASSERT_TRUE(started);
  // A line that failed may have printed its answer before its connection
  // went: its summary tells.
  const int failed = kLines - count("OK (0 Errors, 0 Warnings)\n");
  const std::string text = ReadFile(out);
  EXPECT_LE(failed, 1) << text.substr(std::min(text.find("- "), text.size()), 400);
  EXPECT_EQ(batch.status, failed == 0 ? 0 : 255) << batch.err;
  const pid_t second = DaemonOwnerPid();
  EXPECT_NE(second, 0);
  EXPECT_NE(second, first);
}

// A tool that starts while the daemon is closing (it still owns the
// database, without a port) finds the next daemon: the one it starts ends
// at once, as the closing one is still there, so it starts another once
// the database has no owner.
TEST_F(DaemonGone, ToolStartedWhileTheDaemonClosesFindsTheNextOne) {
  ASSERT_TRUE(StopDaemonOf(Root()));
  // This process stands for the closing daemon: a live owner, no port,
  // holding the store guard (a flock on UserData) as a daemon does.
  DetermineInstallPath(Kiv::File::Path(Root()));
  auto closing = std::make_unique<DatabaseIpc>();
  ASSERT_TRUE(closing->Open(GetAssetIndexPath()) && closing->ClaimOwnership(0));
  const int guard = ::open(UserDataPath().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(::flock(guard, LOCK_EX | LOCK_NB), 0);
  ResetFolderLayoutForTests();
  ToolResult status;
  std::thread tool([&] { status = Run({"status", kKuid}, "", 30000); });
  // The daemon the tool starts gives up while the owner lives.
  const std::string daemon = BinPath() + "/vaddaemon";
  pid_t refused = 0;
  VUTest::WaitUntil(
      [&] {
        for (const pid_t pid : ProcessHandle::ListIds()) {
          if (ProcessHandle::ExecutableOf(pid) == daemon) refused = pid;
        }
        return refused != 0;
      },
      3000, 1);
  if (refused != 0) VUTest::WaitUntil([&] { return !IsRunning(refused); }, 5000);
  closing.reset();  // the closing daemon has gone
  ::close(guard);
  tool.join();
  EXPECT_EQ(status.status, 0) << status.out << status.err;
  EXPECT_NE(status.out.find(std::string("+ ") + kKuid + " : "), std::string::npos) << status.out;
}

// "closevaddaemon" while other tools keep working: it returns once the
// daemon it asked to close has gone, and the daemon that starts right
// after (here as soon as the first one has ended) keeps serving the tools.
TEST_F(DaemonGone, CloseEndsOnlyTheDaemonItAskedToClose) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(Run({"status", kKuid}).status, 0);
    const pid_t closing = DaemonOwnerPid();
    ASSERT_NE(closing, 0);
    const int watch = WatchProcess(closing);
    ASSERT_GE(watch, 0);
    ToolLoop others({"status", kKuid});
    std::thread successor([&] {
      if (EndsWithin(watch, 20000)) SpawnDaemon();
    });
    const auto start = std::chrono::steady_clock::now();
    const ToolResult closed = Run({"closevaddaemon"}, "", 20000);
    const auto took = std::chrono::steady_clock::now() - start;
    const auto returned = ToolLoop::Clock::now();
    successor.join();
    EXPECT_EQ(closed.status, 0) << closed.out << closed.err;
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_TRUE(EndsWithin(watch, 0)) << "the daemon asked to close still runs";
    ::close(watch);
    pid_t next = 0;
    EXPECT_TRUE(VUTest::WaitUntil(
        [&] {
          next = DaemonOwnerPid();
          return next != 0 && next != closing;
        },
        20000));
    const int runs = others.Runs();
    EXPECT_TRUE(others.WaitForRuns(runs + 2, 30000));
    others.Stop();
    EXPECT_TRUE(IsRunning(next)) << "the daemon started after the close was ended";
    for (const ToolLoop::Run& run : others.Records()) {
      if (run.start < returned) continue;
      EXPECT_EQ(run.result.status, 0) << run.result.out;
    }
  }
}

// "closevaddaemon" returns only once the daemon and its command hosts have
// gone: a host that does not end by itself (stopped here) is ended after
// its grace.
TEST_F(DaemonGone, CloseReturnsOnceTheDaemonAndItsHostsHaveGone) {
  Processes watched;
  ASSERT_NO_FATAL_FAILURE(WatchDaemonAndHosts(&watched));
  ASSERT_EQ(syscall(SYS_pidfd_send_signal, watched.hosts[0], SIGSTOP, nullptr, 0u), 0);
  const ToolResult closed = Run({"closevaddaemon"}, "", 60000);
  EXPECT_EQ(closed.status, 0) << closed.out << closed.err;
  EXPECT_TRUE(EndsWithin(watched.daemon, 0)) << "the daemon still runs";
  for (const int host : watched.hosts) EXPECT_TRUE(EndsWithin(host, 0)) << "a host still runs";
}

// A stopped daemon does not answer: "closevaddaemon" ends it by its process
// id after the wait for its answer, and its hosts with it, and says so;
// with no daemon left, it starts none.
TEST_F(DaemonGone, CloseEndsADaemonThatDoesNotAnswer) {
  Processes watched;
  ASSERT_NO_FATAL_FAILURE(WatchDaemonAndHosts(&watched));
  const pid_t daemon = DaemonOwnerPid();
  ASSERT_EQ(syscall(SYS_pidfd_send_signal, watched.daemon, SIGSTOP, nullptr, 0u), 0);
  const auto start = std::chrono::steady_clock::now();
  const ToolResult closed = Run({"closevaddaemon"}, "", 60000);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(closed.status, 0) << closed.err;
  EXPECT_EQ(closed.out, "OK (0 Errors, 0 Warnings)\n");
  EXPECT_NE(closed.err.find("(process " + std::to_string(daemon) + ") does not answer"),
            std::string::npos)
      << closed.err;
  EXPECT_TRUE(EndsWithin(watched.daemon, 0)) << "the daemon still runs";
  for (const int host : watched.hosts) EXPECT_TRUE(EndsWithin(host, 0)) << "a host still runs";
  EXPECT_EQ(DaemonOwnerPid(), 0) << "the daemon ended as when closed";

  const ToolResult again = Run({"closevaddaemon"});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out, "OK (0 Errors, 0 Warnings)\n");
  EXPECT_EQ(again.err, "");
  EXPECT_EQ(DaemonOwnerPid(), 0) << "no daemon started only to be closed";
}

}  // namespace
