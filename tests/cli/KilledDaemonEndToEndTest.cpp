// A daemon killed (SIGKILL) while tools work with it, end to end: a batch
// of validations goes on with the next daemon and prints for each line
// only what its own run found; a repair keeps the marks it stored; a command host of the killed
// daemon that still lives holds the next daemon back (within its bound) before that daemon touches
// the store's folders.
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/CommandHostProcesses.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/SanitizerScale.h"
#include "tests/support/WaitUntil.h"

namespace {

// Whether every thread of the process `pid` is stopped.
bool Stopped(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  bool any = false;
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream in(task.path() / "stat");
    std::string stat;
    std::getline(in, stat);
    const size_t name = stat.rfind(')');  // the state follows the name
    if (name == std::string::npos || stat.size() < name + 3 || stat[name + 2] != 'T') return false;
    any = true;
  }
  return any;
}

int Count(const std::string& text, const std::string& what) {
  int found = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++found;
  return found;
}

class KilledDaemon : public ToolFixture {
 protected:
  // Processes the test signals, by pidfd: each is sent SIGCONT and SIGKILL
  // when the test ends, whichever way it ends (the fixture reaps them).
  struct Watched {
    std::vector<int> pidfds;
    ~Watched() {
      for (const int pidfd : pidfds) {
        for (const int signal : {SIGCONT, SIGKILL}) Signal(pidfd, signal);
        ::close(pidfd);
      }
    }
    // A pidfd on `pid` (-1 when it has gone).
    int Add(pid_t pid) {
      const int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
      if (pidfd >= 0) pidfds.push_back(pidfd);
      return pidfd;
    }
    static bool Signal(int pidfd, int signal) {
      return syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0u) == 0;
    }
  };

  // Kills the daemon `pid` and waits until it has ended.
  static bool KillDaemon(Watched& watched, pid_t pid) {
    const int daemon = watched.Add(pid);
    if (daemon < 0 || !Watched::Signal(daemon, SIGKILL)) return false;
    pollfd ended{daemon, POLLIN, 0};
    return ::poll(&ended, 1, 20000) == 1;
  }
};

// The blocks of a batch's output, one per line: each ends with its line's
// summary ("OK (n Errors, m Warnings)") and the line end after it.
std::vector<std::string> LineBlocks(const std::string& text) {
  std::vector<std::string> blocks;
  size_t from = 0;
  for (size_t at = text.find("OK ("); at != std::string::npos; at = text.find("OK (", from)) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) break;
    blocks.push_back(text.substr(from, end + 1 - from));
    from = end + 1;
  }
  return blocks;
}

// The daemon is killed five times during a 3,000-line batch of validations
// of 16 assets, several lines in flight at once: per kill, one line may
// fail for it, and only such a line says what it could not read; the lines
// that ran again with the next daemon print only what that run found.
TEST_F(KilledDaemon, BatchOfValidationsPrintsOnlyWhatEachLinesLastRunFound) {
  constexpr int kAssets = 16, kLines = 3000 / VUTest::kSanitizerSlowdown, kKills = 5;
  const std::string folder = MakeTempFolder();
  std::string installs, lines;
  for (int asset = 0; asset < kAssets; ++asset) {
    const std::string path = folder + "/" + std::to_string(asset);
    std::filesystem::create_directory(path);
    WriteFile(path + "/config.txt", "kuid <kuid:0:" + std::to_string(800 + asset) +
                                        ">\nusername a\nkind scenery\nvandru-build 3.4\n");
    installs += "installfrompath " + path + "\n";
  }
  for (int line = 0; line < kLines; ++line)
    lines += "validate <kuid:0:" + std::to_string(800 + line % kAssets) + ">\n";
  ASSERT_TRUE(WriteFile(folder + "/installs.txt", installs) && WriteFile(folder + "/batch", lines));
  ASSERT_EQ(Run({"@" + folder + "/installs.txt"}).status, 0);

  Watched watched;
  ToolResult batch;
  const std::string out = folder + "/out";
  std::thread runner([&] {
    batch = RunProgram("/bin/sh", {"-c", "exec ./VandruUtil @" + folder + "/batch > " + out},
                       BinPath(), 120000);
  });
  const std::string summary = "OK (0 Errors, 0 Warnings)\n";
  // A kill after a tenth of the batch, then after every further fifth, each
  // of a daemon that the batch started after the one killed before.
  int killed = 0;
  pid_t serving = 0;
  for (pid_t last = 0; killed < kKills; last = serving, ++killed) {
    const int answered = kLines * (1 + 2 * killed) / 10;
    if (!VUTest::WaitUntil(
            [&] {
              serving = DaemonOwnerPid();
              return serving != 0 && serving != last && Count(ReadFile(out), summary) >= answered;
            },
            60000, 2) ||
        !KillDaemon(watched, serving))
      break;
  }
  runner.join();
  ASSERT_EQ(killed, kKills) << "the batch did not reach every kill";
  EXPECT_FALSE(batch.timedOut);
  const std::vector<std::string> blocks = LineBlocks(ReadFile(out));
  EXPECT_EQ(blocks.size(), size_t(kLines));
  int failed = 0;
  for (const std::string& block : blocks) {
    if (block.ends_with(summary)) continue;
    ++failed;
    EXPECT_NE(block.find("- <NULL> : The connection to the asset-database daemon was lost"),
              std::string::npos)
        << block;
  }
  EXPECT_LE(failed, kKills);
  EXPECT_EQ(batch.status, failed == 0 ? 0 : 255) << batch.err;
}

// A host of the killed daemon that still lives (stopped here, so it cannot
// see its connection end) keeps the next daemon waiting for it, until that
// daemon's bound, which it logs; the command that started it is answered.
TEST_F(KilledDaemon, TheNextDaemonWaitsForALiveHostOfTheKilledOne) {
  const std::string kuid = "<kuid:0:830>";
  ASSERT_EQ(InstallScenery(kuid, "", {}).status, 0);
  ASSERT_EQ(Run({"validate", kuid}).status, 0);  // on a host
  const std::vector<pid_t> hosts = VUTest::CommandHosts(BinPath());
  ASSERT_FALSE(hosts.empty());
  Watched watched;
  for (const pid_t host : hosts) ASSERT_TRUE(Watched::Signal(watched.Add(host), SIGSTOP));
  // Stopped for good before the daemon goes, or a host would see it go.
  for (const pid_t host : hosts)
    ASSERT_TRUE(VUTest::WaitUntil([&] { return Stopped(host); }, 10000)) << host;
  ASSERT_TRUE(KillDaemon(watched, DaemonOwnerPid()));

  const ToolResult status = Run({"status", kuid});
  EXPECT_EQ(status.status, 0) << status.out << status.err;
  const pid_t next = DaemonOwnerPid();
  ASSERT_NE(next, 0);
  const std::string log = ReadFile(UserDataPath() + "/vaddaemon.log");
  const std::string own = "[" + std::to_string(next) + "] vaddaemon> ";
  EXPECT_NE(log.find(own + "waiting for command hosts to end"), std::string::npos) << log;
  EXPECT_NE(log.find(own + "command hosts still run after 2000 ms; going on"), std::string::npos)
      << log;
}

// The daemon killed while it works on a request about an asset of 2,000
// files (copying it for an edit, packing it for an archive), as it takes
// the request (its line in the request log): in each of 20 runs the tool
// says only that the connection was lost, nothing of the asset.
struct CutShortCase {
  std::string name, request;  // the request's line in the request log
  std::vector<std::string> args;
};

void PrintTo(const CutShortCase& row, std::ostream* out) {
  *out << row.name;
}

class KilledDaemonMidRequest : public KilledDaemon,
                               public ::testing::WithParamInterface<CutShortCase> {};

TEST_P(KilledDaemonMidRequest, TheToolSaysOnlyThatTheConnectionWasLost) {
  const std::string root = MakeRoot(), work = MakeTempFolder(), requests = work + "/requests";
  ::setenv("VADDAEMON_REQUEST_LOG", requests.c_str(), 1);
  // 16 MB that does not pack well, so that the request lasts past the kill.
  std::string text(8192, 'a');
  for (size_t c = 0; c < text.size(); ++c) text[c] = char('a' + (c * 2654435761u >> 7) % 26);
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 2000; ++i) files.emplace_back("f" + std::to_string(i) + ".txt", text);
  ASSERT_EQ(InstallScenery("<kuid:0:9401>", "", files, root).status, 0);
  const auto taken = [&] { return Count(ReadFile(requests), "\n" + GetParam().request + "\n"); };
  for (int run = 0; run < 20; ++run) {
    const int before = taken();
    ToolResult cut;
    std::thread tool([&] { cut = RunProgram(root + "/bin/VandruUtil", GetParam().args, work); });
    Watched watched;
    const bool killed = VUTest::WaitUntil([&] { return taken() > before; }, 60000, 1) &&
                        KillDaemon(watched, DaemonOwnerPidOf(root));
    tool.join();
    ASSERT_TRUE(killed) << run;
    EXPECT_EQ(cut.out,
              "- <NULL> : The connection to the asset-database daemon was lost; the command could "
              "not be completed.\nOK (1 Errors, 0 Warnings)\n")
        << run;
    RunProgram(root + "/bin/VandruUtil", {"revert", "<kuid:0:9401>"}, work);  // an edit kept
  }
  ::unsetenv("VADDAEMON_REQUEST_LOG");
  EXPECT_TRUE(StopDaemonOf(root));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, KilledDaemonMidRequest,
    ::testing::Values(CutShortCase{"edit", "0x1E", {"edit", "<kuid:0:9401>"}},
                      CutShortCase{"createcdp", "0x30", {"createcdp", "out.cdp", "<kuid:0:9401>"}}),
    [](const ::testing::TestParamInfo<CutShortCase>& row) { return row.param.name; });

// A repair stores the marks it finds as it goes, not at its end: killed
// midway (each asset takes a second), it has stored the faulty mark of the
// first asset, which the next daemon shows beside every asset.
TEST_F(KilledDaemon, ARepairKilledMidwayKeepsTheMarksItStoredAndEveryAsset) {
  const std::vector<std::string> kuids{"<kuid:0:840>", "<kuid:0:841>", "<kuid:0:842>",
                                       "<kuid:0:843>", "<kuid:0:844>"};
  for (const std::string& kuid : kuids) ASSERT_EQ(InstallScenery(kuid, "", {}).status, 0);
  ASSERT_TRUE(WriteFile(UserDataPath() + "/local/kuid 0 840/config.txt", "kuid <kuid:0:849>\n"));
  StopDaemon();
  ASSERT_EQ(setenv("VADDAEMON_REPAIR_STEP_MS", "1000", 1), 0);  // for the next daemon
  ToolResult repair;
  std::thread repairing([&] { repair = Run({"repairdatabase"}); });
  const auto faulty = [&] {
    return Run({"status", kuids[0]}).out.find("lmF : ") != std::string::npos;
  };
  EXPECT_TRUE(VUTest::WaitUntil(faulty, 20000, 20));
  Watched watched;
  EXPECT_TRUE(KillDaemon(watched, DaemonOwnerPid()));
  repairing.join();
  ::unsetenv("VADDAEMON_REPAIR_STEP_MS");
  EXPECT_EQ(repair.out.find("repair complete"), std::string::npos) << "not killed midway";
  EXPECT_TRUE(faulty());
  for (const std::string& kuid : kuids)
    EXPECT_NE(Run({"status", kuid}).out.find("+ " + kuid + " : "), std::string::npos) << kuid;
}

}  // namespace
