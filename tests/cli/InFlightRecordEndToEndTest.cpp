// The record of replacements in flight (UserData/assets.tdx.in-flight),
// end to end through the installed tool on roots of their own: whatever is
// planted at its name, the start serves at once and says why it takes no
// replacement as cut short, replacements are refused with the reason, and
// nothing outside the root is written; a folder the user puts at a
// leftover's name after a kill survives the next start, even at the
// leftover's freed inode.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "tests/cli/ToolFixture.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kKuid = "<kuid:0:9501>";
constexpr const char* kFolder = "kuid 0 9501";

// A root of its own with the asset installed, and what the row plants.
struct Scene {
  std::string root, outside, source;
  std::string Record() const { return root + "/UserData/assets.tdx.in-flight"; }
  std::string Local(const std::string& name) const { return root + "/UserData/local/" + name; }
  ToolResult Run(const std::vector<std::string>& args, int timeoutMs = 120000) const {
    return ToolFixture::RunProgram(root + "/bin/VandruUtil", args, root + "/bin", timeoutMs);
  }
  // Writes the asset's source folder, its name `name`.
  bool Source(const std::string& name) const {
    fs::create_directories(source);
    return ToolFixture::WriteFile(source + "/config.txt",
                                  std::string("kuid ") + kKuid + "\nusername \"" + name +
                                      "\"\nkind \"scenery\"\nvandru-build 3.4\n") &&
           ToolFixture::WriteFile(source + "/body.txt", name);
  }
};

struct PlantedCase {
  const char* name;
  void (*plant)(const Scene&);  // at the record's name, with no daemon running
  const char* why;              // what the start logs and a replacement answers
  void (*alsoCheck)(const Scene&);
};

void PrintTo(const PlantedCase& row, std::ostream* out) {
  *out << row.name;
}

class InFlightRecordEndToEnd : public ToolFixture {};
class PlantedAtTheInFlightRecord : public InFlightRecordEndToEnd,
                           public ::testing::WithParamInterface<PlantedCase> {};

// The start serves within seconds; two replacements are refused and the
// first copy stays served; the log says what is at the name.
TEST_P(PlantedAtTheInFlightRecord, TheStartServesAndReplacementsAreRefusedWithTheReason) {
  Scene s{MakeRoot(), MakeTempFolder(), MakeTempFolder() + "/asset"};
  ASSERT_TRUE(s.Source("first"));
  ASSERT_EQ(s.Run({"installfrompath", s.source}).status, 0);
  ASSERT_TRUE(StopDaemonOf(s.root));
  GetParam().plant(s);

  const ToolResult served = s.Run({"status", kKuid}, 10000);
  EXPECT_FALSE(served.timedOut);
  EXPECT_EQ(served.status, 0) << served.out << served.err;
  EXPECT_NE(served.out.find(std::string("+ ") + kKuid + " : "), std::string::npos) << served.out;
  ASSERT_TRUE(s.Source("second"));
  for (int replacement = 0; replacement < 2; ++replacement) {
    const ToolResult refused = s.Run({"installfrompath", s.source});
    EXPECT_NE(refused.out.find(s.Record() + ": it " + GetParam().why), std::string::npos)
        << refused.out;
  }
  EXPECT_NE(s.Run({"status", kKuid}).out.find(" : first\n"), std::string::npos);
  EXPECT_TRUE(StopDaemonOf(s.root));
  EXPECT_NE(ReadFile(s.root + "/UserData/vaddaemon.log")
                .find("cannot read " + s.Record() + ": it " + GetParam().why +
                      "; no replacement is taken as cut short"),
            std::string::npos);
  GetParam().alsoCheck(s);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PlantedAtTheInFlightRecord,
    ::testing::Values(
        PlantedCase{"LinkToAFileOutside",
                    [](const Scene& s) {
                      ASSERT_TRUE(ToolFixture::WriteFile(s.outside + "/notes.txt", "the user's text\n"));
                      fs::create_symlink(s.outside + "/notes.txt", s.Record());
                    },
                    "is a link",
                    [](const Scene& s) {
                      EXPECT_EQ(ToolFixture::ReadFile(s.outside + "/notes.txt"), "the user's text\n");
                    }},
        PlantedCase{"DanglingLink",
                    [](const Scene& s) { fs::create_symlink(s.outside + "/made", s.Record()); },
                    "is a link",
                    [](const Scene& s) { EXPECT_FALSE(fs::exists(s.outside + "/made")); }},
        PlantedCase{"Pipe",
                    [](const Scene& s) { ASSERT_EQ(::mkfifo(s.Record().c_str(), 0600), 0); },
                    "is not a plain file", [](const Scene&) {}}),
    [](const ::testing::TestParamInfo<PlantedCase>& row) { return row.param.name; });

// Kills the daemon `pid` and waits until it has ended.
bool Kill(pid_t pid) {
  const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd < 0) return false;
  pollfd ended{pidfd, POLLIN, 0};
  const bool killed = ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0u) == 0 &&
                      ::poll(&ended, 1, 20000) == 1;
  ::close(pidfd);
  return killed;
}

// Waits (at most 60 s) until `name` is renamed into the folder `watch` reads.
bool MovedIn(int watch, const std::string& name) {
  alignas(inotify_event) char events[4096];
  pollfd ready{watch, POLLIN, 0};
  while (::poll(&ready, 1, 60000) == 1) {
    const ssize_t got = ::read(watch, events, sizeof events);
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      if ((event->mask & IN_MOVED_TO) && event->len != 0 && name == event->name) return true;
      at += ssize_t(sizeof(inotify_event) + event->len);
    }
  }
  return false;
}

ino_t Inode(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// The daemon killed as soon as a replacement has renamed its new copy into
// place (before its commit, mostly); the user removes that leftover and
// copies a backup of their own to its name, where ext4 hands the freed
// inode straight back. The next start never removes the backup: it sets it
// aside and says so (or, the commit done, serves it as the asset's copy).
TEST_F(InFlightRecordEndToEnd, AUsersBackupAtALeftoversFreedInodeSurvivesTheStart) {
  Scene s{MakeRoot(), MakeTempFolder() + "/backup", MakeTempFolder() + "/asset"};
  ASSERT_TRUE(s.Source("0"));
  ASSERT_EQ(s.Run({"installfrompath", s.source}).status, 0);
  fs::copy(s.Local(kFolder), s.outside, fs::copy_options::recursive);
  ASSERT_TRUE(WriteFile(s.outside + "/mine.txt", "the user's own"));
  int reused = 0;
  for (int attempt = 1; attempt <= 40 && reused < 3; ++attempt) {
    const std::string name = fs::exists(s.Local(kFolder)) ? std::string(kFolder) + "~" : kFolder;
    const std::string other = name.back() == '~' ? kFolder : std::string(kFolder) + "~";
    ASSERT_TRUE(s.Source(std::to_string(attempt)));
    ASSERT_EQ(s.Run({"status", kKuid}).status, 0);
    const pid_t daemon = DaemonOwnerPidOf(s.root);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, s.Local("").c_str(), IN_MOVED_TO), 0);
    std::thread replacing([&] { s.Run({"installfrompath", s.source}); });
    const bool moved = MovedIn(watch, name);
    const bool killed = moved && Kill(daemon);
    replacing.join();
    ::close(watch);
    ASSERT_TRUE(killed) << attempt;
    if (!fs::exists(s.Local(other))) continue;  // the replacement had ended
    const ino_t leftover = Inode(s.Local(name));
    ASSERT_EQ(RunProgram("/bin/sh", {"-c", "rm -rf \"$1\" && cp -a \"$2\" \"$1\"", "sh",
                                     s.Local(name), s.outside},
                         s.root)
                  .status,
              0);
    const bool sameInode = Inode(s.Local(name)) == leftover;

    const ToolResult served = s.Run({"status", kKuid});
    EXPECT_EQ(served.status, 0) << served.out << served.err;
    if (ReadFile(s.Local(name) + "/mine.txt") == "the user's own") continue;  // served as it
    std::string aside;
    for (const auto& entry : fs::directory_iterator(s.Local("")))
      if (entry.path().filename().string().starts_with(name + ".set-aside-")) aside = entry.path();
    ASSERT_EQ(ReadFile(aside + "/mine.txt"), "the user's own") << attempt;
    EXPECT_NE(ReadFile(s.root + "/UserData/vaddaemon.log")
                  .find("set aside, not taken into the index: " + s.Local(name) + " as " + aside),
              std::string::npos);
    fs::remove_all(aside);
    reused += sameInode ? 1 : 0;
  }
  EXPECT_TRUE(StopDaemonOf(s.root));
  if (reused == 0) GTEST_SKIP() << "this file system never handed a freed inode back";
  EXPECT_GE(reused, 3);
}

}  // namespace
