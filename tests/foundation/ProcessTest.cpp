#include "foundation/threads/Process.h"
#include "foundation/threads/ProcessHandle.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kiv/Time.h"
#include "tests/support/CapturedLog.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"

// Every process acted on here is one the test started, from executables
// copied into a fresh mkdtemp folder, so matching by executable can only
// ever find the test's own processes.

namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
}

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.Made());
    dir_ = fs::canonical(temp_.Path());
  }

  void TearDown() override {
    // Stop whatever the test started and did not see end; a pid that is
    // still an unreaped child of ours cannot belong to anyone else.
    for (const pid_t pid : started_) {
      if (waitpid(pid, nullptr, WNOHANG) != 0) continue;
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

  fs::path CopyExecutable(const fs::path& from, const std::string& name) {
    const fs::path to = dir_ / name;
    fs::copy_file(from, to);
    fs::permissions(to, fs::perms::owner_all);
    return to;
  }

  pid_t Launch(const fs::path& file, const std::string& parameters,
               const fs::path& directory = {}) {
    const pid_t pid = LaunchProcess(file.c_str(), parameters.c_str(), directory.c_str(), 2);
    if (pid > 0) started_.push_back(pid);
    return pid;
  }

  std::vector<std::string> Log() { return log_.Lines(); }

  VUTest::TempFolder temp_{"process"};
  VUTest::CapturedLog log_;
  fs::path dir_;
  std::vector<pid_t> started_;
};

// True when our child `pid` has ended and was reaped within `timeoutMs`.
bool ReapWithin(pid_t pid, int timeoutMs) {
  return VUTest::WaitUntil([&] { return waitpid(pid, nullptr, WNOHANG) == pid; }, timeoutMs, 20);
}

// True when our child `pid` is gone and was already reaped (by the code
// under test): waitpid no longer knows it.
bool AlreadyReaped(pid_t pid) {
  return waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

bool IsRunningChild(pid_t pid) {
  return waitpid(pid, nullptr, WNOHANG) == 0;
}

TEST_F(ProcessTest, LaunchFailsWithoutStartingAnything) {
  const fs::path sleeper = CopyExecutable("/bin/sleep", "sleeper");
  const fs::path text = dir_ / "not-executable";
  WriteFile(text, "#!/bin/sh\nexit 0\n");
  fs::permissions(text, fs::perms::owner_read | fs::perms::owner_write);

  EXPECT_EQ(LaunchProcess(nullptr, "", nullptr, 0), 0);
  EXPECT_EQ(LaunchProcess("", "1", nullptr, 0), 0);
  EXPECT_EQ(Launch(dir_ / "missing", "1"), 0);
  EXPECT_EQ(Launch(text, ""), 0);
  EXPECT_EQ(Launch(dir_, ""), 0);
  EXPECT_EQ(Launch(sleeper, "1", dir_ / "no-such-folder"), 0);
  // No child was left behind by the failed attempts.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(ProcessTest, LaunchPassesArgumentsAndStartsDetached) {
  const fs::path shell = CopyExecutable("/bin/sh", "shell");
  const fs::path work = dir_ / "work dir";
  fs::create_directory(work);
  // A descriptor the child must not inherit.
  const int leak = fcntl(STDERR_FILENO, F_DUPFD, 40);
  ASSERT_GE(leak, 40);
  WriteFile(dir_ / "args.sh",
            "so=$(readlink /proc/$$/fd/1)\n"
            "exec 1>\"$1\"\n"
            "shift\n"
            "for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done\n"
            "printf 'cwd=%s\\n' \"$(pwd -P)\"\n"
            "printf 'in=%s\\n' \"$(readlink /proc/$$/fd/0)\"\n"
            "printf 'out=%s\\n' \"$so\"\n"
            "printf 'err=%s\\n' \"$(readlink /proc/$$/fd/2)\"\n"
            "if [ -e /proc/$$/fd/" +
                std::to_string(leak) + " ]; then echo leaked; else echo closed; fi\n");
  const std::string parameters =
      "\"" + (dir_ / "args.sh").string() + "\" args.txt  plain\t\"two  words\" " +
      "/slash/path 'single' a\"b c\"d \"\" back\\slash say\\\"hi\\\" \"open span";
  const pid_t pid = Launch(shell, parameters, work);
  close(leak);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(ReapWithin(pid, 10000));

  EXPECT_EQ(
      temp_.Get("work dir/args.txt"),
      "<plain>\n<two  words>\n</slash/path>\n<'single'>\n<ab cd>\n<>\n<back\\slash>\n<say\"hi\">\n"
      "<open span>\n"
      "cwd=" +
          work.string() + "\nin=/dev/null\nout=/dev/null\nerr=/dev/null\nclosed\n");
}

TEST_F(ProcessTest, LaunchStartsInNewSessionAndAnswersItsId) {
  const fs::path sleeper = CopyExecutable("/bin/sleep", "sleeper");
  const pid_t pid = Launch(sleeper, "30");
  ASSERT_GT(pid, 0);
  EXPECT_EQ(getsid(pid), pid);
  EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(pid) + "/exe"), sleeper);
}

TEST_F(ProcessTest, MatchStillRunningAfterGraceIsKilledAndOthersAreLeft) {
  const fs::path sleeper = CopyExecutable("/bin/sleep", "sleeper");
  const fs::path other = CopyExecutable("/bin/sleep", "other-sleeper");
  const pid_t first = Launch(sleeper, "30");
  const pid_t second = Launch(sleeper, "30");
  const pid_t bystander = Launch(other, "30");
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  ASSERT_GT(bystander, 0);

  // The path is normalised before it is compared.
  const std::string roundabout = (dir_ / "." / "sub" / ".." / "sleeper").string();
  fs::create_directory(dir_ / "sub");
  const uint64_t start = Kiv::Time::Ms();
  TerminateProcessesByName(roundabout.c_str(), 600);
  const uint64_t elapsed = Kiv::Time::Ms() - start;

  EXPECT_GE(elapsed, 2 * 600u);  // each match gets its own grace
  EXPECT_LT(elapsed, 2 * 600u + 2000u);
  EXPECT_TRUE(AlreadyReaped(first));
  EXPECT_TRUE(AlreadyReaped(second));
  EXPECT_TRUE(IsRunningChild(bystander));
  const std::vector<std::string> log = Log();
  EXPECT_TRUE(log_.Holds("Terminating process with ID " + std::to_string(first)));
  EXPECT_TRUE(log_.Holds("Terminating process with ID " + std::to_string(second)));
  EXPECT_EQ(log.size(), 2u);
}

TEST_F(ProcessTest, MatchEndingWithinGraceIsLeftToEndAndReaped) {
  const fs::path sleeper = CopyExecutable("/bin/sleep", "sleeper");
  const pid_t pid = Launch(sleeper, "0.3");
  ASSERT_GT(pid, 0);

  const uint64_t start = Kiv::Time::Ms();
  TerminateProcessesByName(sleeper.c_str(), 10000);
  const uint64_t elapsed = Kiv::Time::Ms() - start;

  EXPECT_LT(elapsed, 3000u);
  EXPECT_TRUE(AlreadyReaped(pid));  // an exited child counts as ended
  EXPECT_TRUE(Log().empty());
}

TEST_F(ProcessTest, ZeroGraceOrOtherPathLeavesMatchAlone) {
  const fs::path sleeper = CopyExecutable("/bin/sleep", "sleeper");
  const pid_t pid = Launch(sleeper, "30");
  ASSERT_GT(pid, 0);

  TerminateProcessesByName(sleeper.c_str(), 0);
  TerminateProcessesByName((dir_ / "SLEEPER").c_str(), 200);  // names compare with their case
  TerminateProcessesByName("", 200);
  TerminateProcessesByName(nullptr, 200);

  EXPECT_TRUE(IsRunningChild(pid));
  EXPECT_TRUE(Log().empty());
}

// A handle holds a process only when it runs the named executable, finds
// children by parent and executable, and ends its own process only.
TEST_F(ProcessTest, HandleEndsOnlyTheProcessItHolds) {
  const fs::path sleeper = CopyExecutable("/bin/sleep", "sleeper");
  const fs::path other = CopyExecutable("/bin/sleep", "other-sleeper");
  const pid_t held = Launch(sleeper, "30");
  const pid_t bystander = Launch(other, "30");
  ASSERT_GT(held, 0);
  ASSERT_GT(bystander, 0);
  ASSERT_TRUE(VUTest::WaitUntil(
      [&] { return ProcessHandle::ExecutableOf(bystander) == other.string(); }, 10000));
  EXPECT_FALSE(ProcessHandle::Open(bystander, sleeper.c_str()).Valid());
  EXPECT_FALSE(ProcessHandle::Open(0, sleeper.c_str()).Valid());
  ASSERT_TRUE(VUTest::WaitUntil(
      [&] { return ProcessHandle::ExecutableOf(held) == sleeper.string(); }, 10000));
  const std::vector<ProcessHandle> children = ProcessHandle::ChildrenOf(getpid(), sleeper.c_str());
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0].Pid(), held);

  ProcessHandle handle = ProcessHandle::Open(held, sleeper.c_str());
  ASSERT_TRUE(handle.Valid());
  EXPECT_FALSE(handle.Ended());
  EXPECT_FALSE(handle.EndAfterGrace(200));
  EXPECT_TRUE(handle.Ended());
  EXPECT_TRUE(AlreadyReaped(held));
  EXPECT_TRUE(IsRunningChild(bystander));
  EXPECT_TRUE(log_.Holds("Terminating process with ID " + std::to_string(held)));
  EXPECT_TRUE(ProcessHandle().EndAfterGrace(10));
}

TEST_F(ProcessTest, CallingProcessIsNeverTerminated) {
  // A copy of this test program is started and ends the processes of its
  // own executable (see ProcessSelfCheck below); it must survive that.
  const fs::path self = CopyExecutable(fs::read_symlink("/proc/self/exe"), "self-check");
  WriteFile(dir_ / "self-check.armed", "");
  const pid_t pid =
      Launch(self, "--gtest_filter=ProcessSelfCheck.* --gtest_also_run_disabled_tests", dir_);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(ReapWithin(pid, 60000));
  EXPECT_EQ(temp_.Get("self-check.result"), "survived, 0 log lines");
}

// Runs only in the copy started above (it needs the marker beside its own
// executable), so it can never act on another run of the test program.
TEST(ProcessSelfCheck, DISABLED_EndingOwnExecutableSparesCaller) {
  const fs::path self = fs::canonical("/proc/self/exe");
  if (!fs::exists(self.parent_path() / "self-check.armed")) GTEST_SKIP();
  size_t lines = 0;
  {
    VUTest::CapturedLog log;
    TerminateProcessesByName(self.c_str(), 200);
    lines = log.Lines().size();
  }
  WriteFile(self.parent_path() / "self-check.result",
            "survived, " + std::to_string(lines) + " log lines");
}

}  // namespace
