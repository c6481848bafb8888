// Work that meets another tool's doing, end to end: a batch of validations
// through a "closevaddaemon" goes on with the next daemon, a commit never
// installs a file that another program is still writing, and a command
// that meets a daemon ending, starting slowly, unable to start, whose index
// or owner block changes under it, or that serves another copy of the
// installation is served by the next daemon (its own) or told why none can
// serve it.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <ostream>
#include <regex>
#include <string>
#include <thread>

#include "assetdb/protocol/DatabaseIpc.h"
#include "tests/cli/CommandHostProcesses.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/SanitizerScale.h"
#include "tests/support/WaitUntil.h"

namespace {

using DaemonEndsMidWork = ToolFixture;

int Count(const std::string& text, const std::string& what) {
  int found = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++found;
  return found;
}

// Another tool closes the daemon after a tenth of a 3,000-line batch of
// validations of 16 assets, several in flight at once: at most the line
// then in flight fails, the others go on with the next daemon.
TEST_F(DaemonEndsMidWork, BatchOfValidationsGoesOnThroughAClose) {
  constexpr int kAssets = 16, kLines = 3000 / VUTest::kSanitizerSlowdown;
  const std::string folder = MakeTempFolder();
  std::string installs, lines;
  for (int asset = 0; asset < kAssets; ++asset) {
    const std::string path = folder + "/" + std::to_string(asset);
    std::filesystem::create_directory(path);
    WriteFile(path + "/config.txt", "kuid <kuid:0:" + std::to_string(600 + asset) +
                                        ">\nusername a\nkind scenery\nvandru-build 3.4\n");
    installs += "installfrompath " + path + "\n";
  }
  for (int line = 0; line < kLines; ++line)
    lines += "validate <kuid:0:" + std::to_string(600 + line % kAssets) + ">\n";
  ASSERT_TRUE(WriteFile(folder + "/installs.txt", installs) && WriteFile(folder + "/batch", lines));
  ASSERT_EQ(Run({"@" + folder + "/installs.txt"}).status, 0);
  ToolResult batch;
  std::thread runner([&] {
    batch = RunProgram("/bin/sh", {"-c", "exec ./VandruUtil @" + folder + "/batch > ../out"},
                       BinPath(), 120000);
  });
  const std::string summary = "OK (0 Errors, 0 Warnings)\n", out = Root() + "/out";
  const bool started =
      VUTest::WaitUntil([&] { return Count(ReadFile(out), summary) >= kLines / 10; }, 60000, 2);
  const pid_t closing = DaemonOwnerPid();
  EXPECT_EQ(Run({"closevaddaemon"}, "", 40000).status, 0);
  runner.join();
  ASSERT_TRUE(started);
  const pid_t next = DaemonOwnerPid();  // started by the lines after the close
  EXPECT_TRUE(next != 0 && next != closing);
  EXPECT_FALSE(batch.timedOut);
  const std::string text = ReadFile(out);
  EXPECT_LE(kLines - Count(text, summary), 2)
      << text.substr(std::min(text.find("- "), text.size()), 400);
}

// Where a program holds notes.txt open while it writes 30 lines: in the
// edit folder, or in the folder a commit cut short left at the take name
// (whose files the next commit gives back to the edit folder, then takes
// with the rest, after its first look for open files).
struct OpenWriterCase {
  const char* name;
  const char* kuid;
  const char* installedAs;  // the installed folder's name, "~" aside
  bool inTakenFolder;
};

class OpenWriterAtCommit : public ToolFixture,
                           public ::testing::WithParamInterface<OpenWriterCase> {};

// A commit made after the program's 10th line refuses, naming the file, and
// leaves the asset open for edit with its folder; the writer's own commit,
// once it has closed the file, installs all 30 lines.
TEST_P(OpenWriterAtCommit, CommitRefusesAFileStillOpenForWriting) {
  const std::string kuid = GetParam().kuid;
  ASSERT_EQ(InstallScenery(kuid, "", {}).status, 0);
  const ToolResult edit = Run({"edit", kuid});
  const std::string prefix = "+ " + kuid + " : ";
  ASSERT_EQ(edit.out.rfind(prefix, 0), 0u) << edit.out;
  const std::string folder = edit.out.substr(prefix.size(), edit.out.find('\n') - prefix.size());
  const std::string notes = folder + "/notes.txt";
  std::string opened = notes;
  if (GetParam().inTakenFolder) {
    const std::string taken = UserDataPath() + "/editing/.vadtmp-take-" +
                              std::filesystem::path(folder).filename().string();
    ASSERT_TRUE(std::filesystem::create_directory(taken));
    opened = taken + "/notes.txt";
  }
  std::promise<void> tenWritten, committed;
  std::thread writer([&, commitDone = committed.get_future()] {
    const int fd = ::open(opened.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    for (int line = 1; line <= 30; ++line) {
      const std::string text = "line " + std::to_string(line) + "\n";
      EXPECT_EQ(::write(fd, text.data(), text.size()), ssize_t(text.size()));
      if (line != 10) continue;
      tenWritten.set_value();
      commitDone.wait();
    }
    ::close(fd);
  });
  tenWritten.get_future().wait();
  const ToolResult refused = Run({"commit", kuid});
  committed.set_value();
  writer.join();
  EXPECT_EQ(refused.status, 255) << refused.out;
  EXPECT_NE(refused.out.find("- " + kuid + " : the file " + notes + " is open for writing"),
            std::string::npos)
      << refused.out;
  EXPECT_EQ(Count(ReadFile(notes), "line "), 30);
  EXPECT_NE(Run({"commit", kuid}).out.find("The asset was committed."), std::string::npos);
  int installed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(UserDataPath() + "/local")) {
    if (entry.path().filename().string().rfind(GetParam().installedAs, 0) == 0)
      installed = Count(ReadFile(entry.path().string() + "/notes.txt"), "line ");
  }
  EXPECT_EQ(installed, 30);
}

const OpenWriterCase kOpenWriterCases[] = {
    {"OpenInTheEditFolder", "<kuid:0:610>", "kuid 0 610", false},
    {"OpenInAFolderLeftAtTheTakeName", "<kuid:0:611>", "kuid 0 611", true},
};

std::string OpenWriterRowName(const ::testing::TestParamInfo<OpenWriterCase>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, OpenWriterAtCommit, ::testing::ValuesIn(kOpenWriterCases),
                         OpenWriterRowName);

// --- A command that meets a daemon ending, starting slowly, or unable to
// start. Each row has a fresh root of its own.

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// An environment variable set while the row runs (daemons started then
// inherit it).
struct Setting {
  Setting(const char* name, const char* value) : name_(name) { ::setenv(name, value, 1); }
  ~Setting() { ::unsetenv(name_); }
  const char* name_;
};

ToolResult RunIn(const std::string& root, const std::vector<std::string>& args) {
  return ToolFixture::RunProgram(root + "/bin/VandruUtil", args, root + "/bin");
}

bool LogSays(const std::string& root, const std::string& file, const std::string& text) {
  return ToolFixture::ReadFile(root + "/UserData/" + file).find(text) != std::string::npos;
}

// A validation stalls past the old 10 s wait (its bound 12 s) as SIGTERM
// comes: the daemon answers it, and a status sent meanwhile is served by
// the next daemon.
ToolResult StatusWhileEndingWithAStalledValidation(const std::string& root) {
  Setting bound("VADCOMMANDHOST_VALIDATION_MS", "12000");
  Setting stall("VADCOMMANDHOST_TEST_LINK_PAUSE_MS", "600000");
  EXPECT_EQ(ToolFixture::InstallScenery("<kuid:0:620>", "script \"main.gs\"\nclass \"Crate\"\n",
                                        {{"main.gs",
                                          "include \"gs.gs\"\nclass Crate isclass "
                                          "GameObject {\n};\n"}},
                                        root)
                .status,
            0);
  ToolResult validated;
  std::thread validation([&] { validated = RunIn(root, {"validate", "<kuid:0:620>"}); });
  const bool stalled = VUTest::WaitUntil(
      [&] { return LogSays(root, "vadcommandhost.log", "pausing 600000 ms"); }, 60000, 10);
  const pid_t ending = ToolFixture::DaemonOwnerPidOf(root);
  if (ending > 0) ::kill(ending, SIGTERM);
  EXPECT_TRUE(VUTest::WaitUntil(
      [&] { return LogSays(root, "vaddaemon.log", "stop signal received"); }, 10000, 5));
  const ToolResult status = RunIn(root, {"status", "<kuid:0:620>"});
  validation.join();
  EXPECT_TRUE(stalled && ending > 0);
  EXPECT_NE(validated.out.find("took longer than 12 seconds"), std::string::npos) << validated.out;
  EXPECT_NE(ToolFixture::DaemonOwnerPidOf(root), ending);
  return status;
}

// The index removed while a 2,000-file commit runs: the commit is answered
// with what it recorded, and a status sent meanwhile is served by the next
// daemon (which makes the index again).
ToolResult StatusWhileTheIndexIsRemovedDuringACommit(const std::string& root) {
  EXPECT_EQ(ToolFixture::InstallScenery("<kuid:0:620>", "", {}, root).status, 0);
  const ToolResult opened = RunIn(root, {"edit", "<kuid:0:620>"});
  const size_t at = opened.out.find(" : ");
  const std::string edit = opened.out.substr(at + 3, opened.out.find('\n', at) - at - 3);
  for (int i = 0; i < 2000; ++i)
    ToolFixture::WriteFile(edit + "/more" + std::to_string(i) + ".txt", std::to_string(i));
  const std::string taken =
      root + "/UserData/editing/.vadtmp-take-" + fs::path(edit).filename().string();
  ToolResult committed;
  std::thread commit([&] { committed = RunIn(root, {"commit", "<kuid:0:620>"}); });
  EXPECT_TRUE(VUTest::WaitUntil([&] { return fs::exists(taken); }, 60000, 1));
  fs::remove(root + "/UserData/assets.tdx");
  EXPECT_TRUE(VUTest::WaitUntil(
      [&] { return LogSays(root, "vaddaemon.log", "was removed or replaced; exiting"); }, 10000,
      1));
  const ToolResult status = RunIn(root, {"status", "<kuid:0:620>"});
  commit.join();
  EXPECT_NE(committed.out.find("The asset was committed."), std::string::npos)
      << committed.out << committed.err;
  EXPECT_NE(ToolFixture::ReadFile(root + "/UserData/local/kuid 0 620~/more1999.txt") +
                ToolFixture::ReadFile(root + "/UserData/local/kuid 0 620/more1999.txt"),
            "");
  return status;
}

// A start that rebuilds the index for longer than the old 10 s wait.
ToolResult FirstCommandAfterASlowRebuild(const std::string& root) {
  for (int asset = 0; asset < 15; ++asset)
    EXPECT_EQ(
        ToolFixture::InstallScenery("<kuid:0:" + std::to_string(620 + asset) + ">", "", {}, root)
            .status,
        0);
  EXPECT_TRUE(ToolFixture::StopDaemonOf(root));
  fs::remove(root + "/UserData/assets.tdx");
  Setting slow("VADDAEMON_TEST_REBUILD_STEP_MS", "1000");
  const Clock::time_point start = Clock::now();
  const ToolResult status = RunIn(root, {"status", "<kuid:0:620>"});
  EXPECT_GE(Clock::now() - start, std::chrono::seconds(15)) << "the rebuild was slow";
  return status;
}

// A status sent as a start stalls, the daemon killed meanwhile.
ToolResult StatusWhileTheStartIsKilled(const std::string& root) {
  Setting stall("VADDAEMON_TEST_REBUILD_STEP_MS", "600000");
  ToolResult status;
  std::thread command([&] { status = RunIn(root, {"status", "<kuid:0:620>"}); });
  pid_t starting = 0;
  EXPECT_TRUE(VUTest::WaitUntil(
      [&] {
        starting = ToolFixture::DaemonOwnerPidOf(root);
        const std::string said = "starting\n" + std::to_string(starting) + "\n";
        return starting != 0 &&
               ToolFixture::ReadFile(root + "/UserData/vaddaemon.state").rfind(said, 0) == 0;
      },
      30000, 5));
  if (starting > 0) ::kill(starting, SIGKILL);
  command.join();
  return status;
}

// The daemon killed in the middle of its start: the tool waiting for it
// names it, and the next command is served by a daemon of its own.
ToolResult StatusWhenTheStartingDaemonIsKilled(const std::string& root) {
  EXPECT_EQ(ToolFixture::InstallScenery("<kuid:0:620>", "", {}, root).status, 0);
  EXPECT_TRUE(ToolFixture::StopDaemonOf(root));
  fs::remove(root + "/UserData/assets.tdx");
  const ToolResult named = StatusWhileTheStartIsKilled(root);
  const ToolResult next = RunIn(root, {"status", "<kuid:0:620>"});
  EXPECT_NE(next.out.find("+ <kuid:0:620> : "), std::string::npos) << next.out << next.err;
  return named;
}

ToolResult StatusPastAFolderAtTheLock(const std::string& root) {
  fs::create_directories(root + "/UserData/assets.tdx.lock");
  return RunIn(root, {"status", "<kuid:0:620>"});
}

// The reason names the lock by its path, which holds a line break here: it
// is said on one line all the same.
ToolResult StatusPastAFolderAtTheLockOfARootNamedOnTwoLines(const std::string& root) {
  const std::string moved = root + "\nforged";
  fs::rename(root, moved);
  const ToolResult r = StatusPastAFolderAtTheLock(moved);
  fs::rename(moved, root);
  return r;
}

ToolResult StatusPastAFileAtLocal(const std::string& root) {
  fs::create_directories(root + "/UserData");
  ToolFixture::WriteFile(root + "/UserData/local", "not a folder\n");
  return RunIn(root, {"status", "<kuid:0:620>"});
}

ToolResult StatusWithABadUserId(const std::string& root) {
  Setting user("VADDAEMON_USER_ID", "abc");
  return RunIn(root, {"status", "<kuid:0:620>"});
}

// --- The index (and its journal) removed under a serving daemon, then at
// once a command that a worker would serve: the next daemon serves it.

ToolResult AtOnceAfterTheIndexIsRemoved(const std::string& root,
                                        const std::vector<std::string>& args, bool openForEdit) {
  EXPECT_EQ(ToolFixture::InstallScenery("<kuid:0:620>", "", {}, root).status, 0);
  if (openForEdit) {
    EXPECT_EQ(RunIn(root, {"edit", "<kuid:0:620>"}).status, 0);
  }
  for (const char* name : {"/UserData/assets.tdx", "/UserData/assets.tdx-journal"})
    fs::remove(root + name);
  return RunIn(root, args);
}

ToolResult InstallAfterTheIndexIsRemoved(const std::string& root) {
  const std::string folder = ToolFixture::MakeTempFolder();
  ToolFixture::WriteFile(folder + "/config.txt",
                         "kuid <kuid:0:621>\nusername b\nkind scenery\nvandru-build 3.4\n");
  return AtOnceAfterTheIndexIsRemoved(root, {"installfrompath", folder}, false);
}

ToolResult CommitAfterTheIndexIsRemoved(const std::string& root) {
  return AtOnceAfterTheIndexIsRemoved(root, {"commit", "<kuid:0:620>"}, true);
}

ToolResult EditAfterTheIndexIsRemoved(const std::string& root) {
  return AtOnceAfterTheIndexIsRemoved(root, {"edit", "<kuid:0:620>"}, false);
}

ToolResult DeleteAfterTheIndexIsRemoved(const std::string& root) {
  const ToolResult deleted = AtOnceAfterTheIndexIsRemoved(root, {"delete", "<kuid:0:620>"}, false);
  EXPECT_FALSE(fs::exists(root + "/UserData/local/kuid 0 620"));
  return deleted;
}

ToolResult GenerateKUIDAfterTheIndexIsRemoved(const std::string& root) {
  return AtOnceAfterTheIndexIsRemoved(root, {"generatekuid"}, false);
}

// --- The owner block changed in place under a serving daemon: a status is
// served by the next daemon, and "closevaddaemon" answers OK only once the
// daemon it was to close has ended.

void EmptyTheBlock(const std::string& block) {
  fs::resize_file(block, 0);
}

void OverwriteTheBlock(const std::string& block) {
  const int fd = ::open(block.c_str(), O_WRONLY | O_CLOEXEC);
  EXPECT_EQ(::write(fd, std::string(36, 'x').data(), 36), 36);
  ::close(fd);
}

ToolResult StatusAfterTheBlockChanges(const std::string& root, void (*change)(const std::string&)) {
  EXPECT_EQ(ToolFixture::InstallScenery("<kuid:0:620>", "", {}, root).status, 0);
  const std::string block = root + "/UserData/assets.tdx.ipc";
  change(block);
  const Clock::time_point start = Clock::now();
  const ToolResult status = RunIn(root, {"status", "<kuid:0:620>"});
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
  const pid_t serving = ToolFixture::DaemonOwnerPidOf(root);
  change(block);
  const ToolResult closed = RunIn(root, {"closevaddaemon"});
  EXPECT_TRUE(serving != 0 && VUTest::Ended(serving)) << closed.out << closed.err;
  EXPECT_EQ(closed.status, 0) << closed.out << closed.err;
  return status;
}

ToolResult StatusAfterTheBlockIsEmptied(const std::string& root) {
  return StatusAfterTheBlockChanges(root, EmptyTheBlock);
}

ToolResult StatusAfterTheBlockIsOverwritten(const std::string& root) {
  return StatusAfterTheBlockChanges(root, OverwriteTheBlock);
}

// A stale owner block of the user's own, made read-only, with no daemon.
// Root opens it whatever its mode, so as root the tool (and its daemon)
// runs as another user, in a root handed to that user.
ToolResult StatusPastAReadOnlyBlock(const std::string& root) {
  fs::create_directories(root + "/UserData");
  const std::string block = root + "/UserData/assets.tdx.ipc";
  ToolFixture::WriteFile(block, std::string(36, '\0'));
  ::chmod(block.c_str(), 0444);
  if (::geteuid() != 0) return RunIn(root, {"status", "<kuid:0:620>"});
  const uid_t user = 65534;
  auto handTo = [&](uid_t owner) {
    ::lchown(root.c_str(), owner, owner);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (entry.path().parent_path() != root + "/bin") ::lchown(entry.path().c_str(), owner, owner);
    }
  };
  handTo(user);
  const std::string id = std::to_string(user);
  const ToolResult status =
      ToolFixture::RunProgram("/usr/bin/setpriv",
                              {"--reuid=" + id, "--regid=" + id, "--clear-groups", "--",
                               root + "/bin/VandruUtil", "status", "<kuid:0:620>"},
                              root + "/bin");
  handTo(0);
  return status;
}

// A root copied with "cp -a" while its daemon serves: the copy's commands
// change the copy only.
ToolResult CommandsInACopyMadeWhileTheDaemonServes(const std::string& root) {
  EXPECT_EQ(ToolFixture::InstallScenery("<kuid:0:620>", "", {}, root).status, 0);
  const std::string copy = ToolFixture::MakeTempFolder() + "/copy";
  EXPECT_EQ(ToolFixture::RunProgram("/bin/cp", {"-a", root, copy}, "/").status, 0);
  // Kept open, as by another tool of the copy, the copied block stays as it
  // was copied, naming the original's daemon, until the copy's daemon
  // takes it over.
  DatabaseIpc copied;
  EXPECT_TRUE(copied.Open(Kiv::File::Path(copy + "/UserData/assets.tdx")));
  EXPECT_EQ(RunIn(copy, {"delete", "<kuid:0:620>"}).status, 0);
  const std::string folder = ToolFixture::MakeTempFolder();
  ToolFixture::WriteFile(folder + "/config.txt",
                         "kuid <kuid:0:621>\nusername b\nkind scenery\nvandru-build 3.4\n");
  const ToolResult installed = RunIn(copy, {"installfrompath", folder});
  copied.Close();
  EXPECT_TRUE(LogSays(copy, "vaddaemon.log", "which does not serve this UserData"));
  EXPECT_TRUE(ToolFixture::StopDaemonOf(copy));
  EXPECT_TRUE(fs::exists(root + "/UserData/local/kuid 0 620"));
  EXPECT_FALSE(fs::exists(root + "/UserData/local/kuid 0 621"));
  EXPECT_FALSE(fs::exists(copy + "/UserData/local/kuid 0 620"));
  EXPECT_TRUE(fs::exists(copy + "/UserData/local/kuid 0 621"));
  return installed;
}

// --- A repair in hand as the daemon is asked to end (by default 10
// assets checked 500 ms apart, the end asked once the tool has polled the
// repair): the daemon finishes it, and the tool gets its answer.

ToolResult RepairUntil(const std::string& root, void (*end)(const std::string& root),
                       const char* stepMs = "500", int assets = 10, const char* begun = "\n0x4\n",
                       pid_t* daemon = nullptr) {
  Setting slow("VADDAEMON_REPAIR_STEP_MS", stepMs);
  const std::string requests = root + "/requests";
  Setting recorded("VADDAEMON_REQUEST_LOG", requests.c_str());
  for (int asset = 0; asset < assets; ++asset)
    ToolFixture::InstallScenery("<kuid:0:" + std::to_string(630 + asset) + ">", "", {}, root);
  ToolResult repaired;
  std::thread repair([&] { repaired = RunIn(root, {"repairdatabase"}); });
  EXPECT_TRUE(VUTest::WaitUntil(
      [&] { return ToolFixture::ReadFile(requests).find(begun) != std::string::npos; }, 60000, 5));
  if (daemon != nullptr) *daemon = ToolFixture::DaemonOwnerPidOf(root);
  end(root);
  repair.join();
  return repaired;
}

// A repair of `assets` assets `stepMs` apart cut short as it begins by
// UserData moved away or removed (`gone`; a removal takes time, and ends
// before the first asset): nothing is found of the asset folders gone
// with it, the last line counts the assets checked against all, and the
// daemon has ended once its tool has that line.
ToolResult RepairUntilUserDataGoes(const std::string& root, void (*gone)(const std::string&),
                                   const char* stepMs, int assets) {
  pid_t daemon = 0;
  const ToolResult r = RepairUntil(root, gone, stepMs, assets, "\n0x3\n", &daemon);
  EXPECT_TRUE(daemon != 0 && VUTest::WaitUntil([&] { return VUTest::Ended(daemon); }, 2000, 5));
  EXPECT_TRUE(std::regex_match(
      r.out, std::regex("Repairing asset database \\(this may take some time\\)\n- <NULL> : Asset "
                        "database repair stopped: the asset-database daemon ended before it was "
                        "done \\(\\d+ of " +
                        std::to_string(assets) +
                        " assets checked, 0 faulty, 0 with missing "
                        "dependencies\\)\\.\nOK \\(1 Errors, 0 Warnings\\)\n")))
      << r.out;
  return r;
}

void RemoveUserData(const std::string& root) {
  std::error_code error;  // the ending daemon may still write there
  for (int tries = 0; tries < 10 && fs::exists(root + "/UserData"); ++tries)
    fs::remove_all(root + "/UserData", error);
}

// The opens of the folder itself that the inotify `watch` has seen since.
int FolderOpens(int watch) {
  alignas(inotify_event) char events[4096];
  int opens = 0;
  for (ssize_t got; (got = ::read(watch, events, sizeof events)) > 0;) {
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      opens += event->len == 0 ? 1 : 0;
      at += ssize_t(sizeof(inotify_event) + event->len);
    }
  }
  return opens;
}

// "closevaddaemon" while another process holds the lock on UserData, no
// daemon running: the tool looks at the lock again and again (each look
// opens the folder) and says OK once it is let go, after its fourth open.
ToolResult CloseWhileTheLockIsHeld(const std::string& root) {
  const std::string userData = root + "/UserData";
  fs::create_directory(userData);
  const int held = ::open(userData.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  EXPECT_EQ(::flock(held, LOCK_EX), 0);
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  EXPECT_GE(::inotify_add_watch(watch, userData.c_str(), IN_OPEN), 0);
  std::atomic<bool> answered{false};
  ToolResult closed;
  std::thread closing([&] {
    closed = RunIn(root, {"closevaddaemon"});
    answered = true;
  });
  int opens = 0;
  VUTest::WaitUntil([&] { return (opens += FolderOpens(watch)) >= 4 || answered; }, 60000, 2);
  ::close(held);
  closing.join();
  ::close(watch);
  return closed;
}

// Closes the daemon of `daemonRoot` with the tool of `root`: OK only once
// it has ended.
void CloseWith(const std::string& root, const std::string& daemonRoot) {
  const pid_t daemon = ToolFixture::DaemonOwnerPidOf(daemonRoot);
  const ToolResult closed = RunIn(root, {"closevaddaemon"});
  EXPECT_EQ(closed.status, 0) << closed.out << closed.err;
  EXPECT_TRUE(daemon != 0 && VUTest::Ended(daemon)) << closed.out << closed.err;
}

void CloseTheDaemon(const std::string& root) {
  CloseWith(root, root);
}

// A second installation whose UserData is a link to the first one's.
void CloseFromAnInstallationSharingUserData(const std::string& root) {
  const std::string other = ToolFixture::MakeRoot();
  fs::remove_all(other + "/UserData");
  fs::create_directory_symlink(root + "/UserData", other + "/UserData");
  CloseWith(other, root);
}

// "closevaddaemon" where /proc/locks does not tell who holds the UserData
// lock (hidden in a mount namespace of its own), the daemon stopped; its
// start record or its owner block names it, or, both gone, nothing does.
ToolResult CloseAStoppedDaemonWithTheLockHolderHidden(const std::string& root, bool blockEmptied,
                                                      bool recordRemoved) {
  ToolFixture::InstallScenery("<kuid:0:620>", "", {}, root);
  const pid_t daemon = ToolFixture::DaemonOwnerPidOf(root);
  ::kill(daemon, SIGSTOP);
  if (blockEmptied) EmptyTheBlock(root + "/UserData/assets.tdx.ipc");
  if (recordRemoved) fs::remove(root + "/UserData/vaddaemon.state");
  const ToolResult closed = ToolFixture::RunProgram(
      "/usr/bin/unshare",
      {"-m", "sh", "-c", "mount --bind /dev/null /proc/locks && exec \"$0\" closevaddaemon",
       root + "/bin/VandruUtil"},
      root + "/bin");
  EXPECT_EQ(VUTest::Ended(daemon), closed.status == 0) << closed.out << closed.err;
  ::kill(daemon, SIGKILL);
  ::kill(daemon, SIGCONT);
  return closed;
}

// The owner block cut to nothing: the daemon ends without touching it
// (no SIGBUS) and removes its files.
ToolResult StatusAfterTheBlockIsCutToNothing(const std::string& root) {
  ToolFixture::InstallScenery("<kuid:0:620>", "", {}, root);
  const pid_t daemon = ToolFixture::DaemonOwnerPidOf(root);
  EmptyTheBlock(root + "/UserData/assets.tdx.ipc");
  EXPECT_TRUE(VUTest::WaitUntil([&] { return VUTest::Ended(daemon); }, 30000, 5));
  EXPECT_TRUE(LogSays(root, "vaddaemon.log", "process " + std::to_string(daemon) + " ended"));
  EXPECT_FALSE(fs::exists(root + "/UserData/assets.tdx.ipc"));
  EXPECT_FALSE(fs::exists(root + "/UserData/assets.tdx.lock"));
  return RunIn(root, {"status", "<kuid:0:620>"});
}

void RefuseOpenings(const std::string& block) {
  const uint32_t refusal = 1;
  const int fd = ::open(block.c_str(), O_WRONLY | O_CLOEXEC);
  EXPECT_EQ(::pwrite(fd, &refusal, sizeof refusal, 24), ssize_t(sizeof refusal));
  ::close(fd);
}

struct SeamCase {
  const char* name;
  // Lays out the row in a fresh root and runs the command; its result.
  ToolResult (*act)(const std::string& root);
  const char* says;  // in the command's standard output or error
  int status;
  int withinMs;            // the command's time bound; 0 for none
  bool initFailed = true;  // a row that fails says "- Init failed"
};

const char kServed[] = "+ <kuid:0:620> : ";
const char kInitFailed[] = "- Init failed";
constexpr int kTold = 6000;
const char kRepaired[] =
    "Asset database repair complete: 10 assets checked, 0 faulty, 0 with missing dependencies.";
const char kRepairStopped[] =
    "Asset database repair stopped: the asset-database daemon ended before it was done (";

const SeamCase kSeamCases[] = {
    {"StatusWhileEndingWithAStalledValidationIsServedByTheNextDaemon",
     StatusWhileEndingWithAStalledValidation, kServed, 0, 0},
    {"StatusWhileTheIndexIsRemovedDuringACommitIsServed", StatusWhileTheIndexIsRemovedDuringACommit,
     kServed, 0, 0},
    {"FirstCommandAfterASlowRebuildIsServed", FirstCommandAfterASlowRebuild, kServed, 0, 0},
    {"ADaemonKilledDuringItsStartIsNamed", StatusWhenTheStartingDaemonIsKilled,
     "ended during its start without saying why: see the last lines of '", 255, 0},
    {"AFolderAtTheLockIsNamed", StatusPastAFolderAtTheLock,
     "/UserData/assets.tdx.lock' is a folder, where the database owner block needs a file of its "
     "own: remove it",
     255, kTold},
    {"AReasonNamingALineBreakIsOneLine", StatusPastAFolderAtTheLockOfARootNamedOnTwoLines,
     "\\x0Aforged/UserData/assets.tdx.lock' is a folder", 255, kTold},
    {"AFileAtLocalIsNamed", StatusPastAFileAtLocal,
     "/UserData/local' is a file, where the asset store keeps its asset folders: move it out of",
     255, kTold},
    {"ABadUserIdIsNamed", StatusWithABadUserId,
     "VADDAEMON_USER_ID is \"abc\", not a user id from 0 to 16777215: set it to one, or unset it",
     255, kTold},
    {"AnInstallJustAfterTheIndexIsRemovedIsServed", InstallAfterTheIndexIsRemoved,
     "Installed <kuid:0:621>.", 0, 0},
    {"ACommitJustAfterTheIndexIsRemovedIsServed", CommitAfterTheIndexIsRemoved,
     "The asset was committed.", 0, 0},
    {"AnEditJustAfterTheIndexIsRemovedIsServed", EditAfterTheIndexIsRemoved,
     "/UserData/editing/kuid 0 620\n", 0, 0},
    {"ADeleteJustAfterTheIndexIsRemovedIsServed", DeleteAfterTheIndexIsRemoved,
     "OK (0 Errors, 0 Warnings)", 0, 0},
    {"AGeneratedKUIDJustAfterTheIndexIsRemovedIsServed", GenerateKUIDAfterTheIndexIsRemoved,
     "<KUID2:0:", 0, 0},
    {"StatusAfterTheOwnerBlockIsEmptiedIsServed", StatusAfterTheBlockIsEmptied, kServed, 0, 0},
    {"StatusAfterTheOwnerBlockIsOverwrittenIsServed", StatusAfterTheBlockIsOverwritten, kServed, 0,
     0},
    {"AReadOnlyOwnerBlockIsNamed", StatusPastAReadOnlyBlock,
     "/UserData/assets.tdx.ipc' is a file this user may not read and write (mode 0444), where the "
     "database owner block needs a file of its own: remove it",
     255, kTold},
    {"ACopyMadeWhileTheDaemonServesChangesItselfOnly", CommandsInACopyMadeWhileTheDaemonServes,
     "Installed <kuid:0:621>.", 0, 0},
    {"ARepairInHandIsFinishedThroughAClose",
     [](const std::string& root) { return RepairUntil(root, CloseTheDaemon); }, kRepaired, 0, 0},
    {"ARepairInHandIsFinishedThroughTheIndexRemoved",
     [](const std::string& root) {
       return RepairUntil(root,
                          [](const std::string& r) { fs::remove(r + "/UserData/assets.tdx"); });
     },
     kRepaired, 0, 0},
    {"ARepairInHandIsFinishedThroughTheOwnerBlockEmptied",
     [](const std::string& root) {
       return RepairUntil(
           root, [](const std::string& r) { EmptyTheBlock(r + "/UserData/assets.tdx.ipc"); });
     },
     kRepaired, 0, 0},
    {"ACloseFromAnInstallationSharingUserDataWaitsForTheDaemon",
     [](const std::string& root) {
       return RepairUntil(root, CloseFromAnInstallationSharingUserData);
     },
     kRepaired, 0, 0},
    // 4 assets 9 s apart, closed as the repair begins: past the close's 20 s.
    {"ARepairPastTheClosesBoundIsCutShortAndSaysSo",
     [](const std::string& root) {
       return RepairUntil(root, CloseTheDaemon, "9000", 4, "\n0x3\n");
     },
     "Asset database repair stopped: the asset-database daemon ended before it was done (2 of 4 "
     "assets checked, 0 faulty, 0 with missing dependencies).",
     255, 0, false},
    {"ARepairCutShortByMovingUserDataAwaySaysSo",
     [](const std::string& root) {
       return RepairUntilUserDataGoes(
           root, [](const std::string& r) { fs::rename(r + "/UserData", r + "/moved"); }, "10",
           150);
     },
     kRepairStopped, 255, 0, false},
    {"ARepairCutShortByRemovingUserDataSaysSo",
     [](const std::string& root) {
       return RepairUntilUserDataGoes(root, RemoveUserData, "2000", 10);
     },
     kRepairStopped, 255, 0, false},
    {"ACloseWaitsForTheLockOnUserDataToBeLetGo", CloseWhileTheLockIsHeld,
     "OK (0 Errors, 0 Warnings)", 0, 0},
    {"ACloseEndsAStoppedDaemonWhoseLockHolderIsHidden",
     [](const std::string& root) {
       return CloseAStoppedDaemonWithTheLockHolderHidden(root, true, false);
     },
     "OK (0 Errors, 0 Warnings)", 0, 0},
    {"ACloseEndsAStoppedDaemonThatOnlyItsOwnerBlockNames",
     [](const std::string& root) {
       return CloseAStoppedDaemonWithTheLockHolderHidden(root, false, true);
     },
     "OK (0 Errors, 0 Warnings)", 0, 0},
    {"ACloseThatCannotNameTheDaemonSaysSo",
     [](const std::string& root) {
       return CloseAStoppedDaemonWithTheLockHolderHidden(root, true, true);
     },
     "The daemon of this installation is still running, and the system does not tell its "
     "process id: end it, then run this command again.",
     255, 0, false},
    {"ADaemonWhoseOwnerBlockIsCutToNothingRemovesItsFiles", StatusAfterTheBlockIsCutToNothing,
     kServed, 0, 0},
    {"StatusAfterTheOwnerBlockRefusesOpeningsIsServed",
     [](const std::string& root) { return StatusAfterTheBlockChanges(root, RefuseOpenings); },
     kServed, 0, 0},
};

class DaemonSeam : public ToolFixture, public ::testing::WithParamInterface<SeamCase> {
 protected:
  void SetUp() override { root_ = MakeRoot(); }
  void TearDown() override { StopDaemonOf(root_); }
  std::string root_;
};

TEST_P(DaemonSeam, TheCommandIsServedOrToldWhyNot) {
  const SeamCase& row = GetParam();
  const Clock::time_point start = Clock::now();
  const ToolResult r = row.act(root_);
  const auto took = Clock::now() - start;
  const std::string said = r.out + r.err;
  EXPECT_NE(said.find(row.says), std::string::npos) << said;
  EXPECT_EQ(r.status, row.status) << said;
  if (row.status != 0 && row.initFailed) {
    EXPECT_NE(r.err.find(kInitFailed), std::string::npos) << r.err;
  }
  if (row.withinMs != 0) {
    EXPECT_LT(took, std::chrono::milliseconds(row.withinMs));
  }
}

void PrintTo(const SeamCase& row, std::ostream* out) {
  *out << row.name;
}

std::string SeamRowName(const ::testing::TestParamInfo<SeamCase>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, DaemonSeam, ::testing::ValuesIn(kSeamCases), SeamRowName);

}  // namespace
