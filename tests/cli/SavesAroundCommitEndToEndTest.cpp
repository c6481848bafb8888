// Programs that work inside the edit folder, end to end: each has the folder
// (or a subfolder of it) as its working folder, as an editor or a shell that
// went there does, and saves by relative name: open, append a line, close,
// over and over, while another process commits. A save that the program was
// told succeeded is never lost: it is in the committed asset, or the commit
// was refused and the edit copy holds it. A daemon started afterwards, whose
// recovery runs over what the commit left, keeps every such save as well.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "tests/cli/ToolFixture.h"
#include "tests/support/WaitUntil.h"

namespace {

namespace fs = std::filesystem;

const char kKuid[] = "<kuid:0:760>";

// One saving program: a thread with a working folder of its own, which
// saves a line every `pace` (its pace, not a wait for an event).
struct Saver {
  std::string tag;
  std::string folder;
  std::chrono::microseconds pace{0};
  std::vector<int> acknowledged;  // the lines whose save succeeded (the thread's own)
  std::atomic<int> tries{0};
  std::thread thread;

  void Run(const std::atomic<bool>& stop) {
    if (::unshare(CLONE_FS) != 0 || ::chdir(folder.c_str()) != 0) return;
    for (int line = 1; !stop; ++line, ++tries) {
      const std::string text = tag + " " + std::to_string(line) + "\n";
      const int fd = ::open("notes.txt", O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
      if (fd < 0) continue;
      const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
      if (::close(fd) == 0 && written) acknowledged.push_back(line);
      std::this_thread::sleep_for(pace);
    }
  }
};

class SavesAroundCommit : public ToolFixture {
 protected:
  static std::string OpenForEdit() {
    const ToolResult opened = Run({"edit", kKuid});
    const std::string head = std::string("+ ") + kKuid + " : ";
    if (opened.status != 0 || opened.out.rfind(head, 0) != 0) return std::string();
    return opened.out.substr(head.size(), opened.out.find('\n') - head.size());
  }

  // Every line of every file below `folder`, the configuration aside.
  static std::unordered_set<std::string> Lines(const std::string& folder) {
    std::unordered_set<std::string> lines;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file() || entry.path().filename() == "config.txt") continue;
      std::istringstream text(ReadFile(entry.path().string()));
      for (std::string line; std::getline(text, line);) lines.insert(line);
    }
    return lines;
  }

  // Waits until both savers have tried `more` saves beyond what they had.
  static bool TriedMore(std::vector<Saver>& savers, int more) {
    const int top = savers[0].tries + more, sub = savers[1].tries + more;
    return VUTest::WaitUntil([&] { return savers[0].tries >= top && savers[1].tries >= sub; },
                             60000, 1);
  }

  // A round: programs save in the edit folder and in its subfolder while
  // another process commits, until a commit goes through (one may refuse,
  // and then the programs go on, or can no longer save there); they save on
  // after it, and then the daemon is closed, so that the next command
  // starts one whose recovery runs. Each saver's acknowledged lines go to
  // `acknowledged` under its tag.
  static void SaveAroundACommit(const std::string& round, std::chrono::microseconds pace,
                                std::vector<std::pair<std::string, std::vector<int>>>* out) {
    const std::string folder = OpenForEdit();
    ASSERT_FALSE(folder.empty());
    fs::create_directories(folder + "/sub");
    std::vector<Saver> savers(2);
    savers[0].tag = round + "top";
    savers[0].folder = folder;
    savers[1].tag = round + "sub";
    savers[1].folder = folder + "/sub";
    std::atomic<bool> stop{false};
    for (Saver& saver : savers) {
      saver.pace = pace;
      saver.thread = std::thread([&] { saver.Run(stop); });
    }
    const std::string refused = std::string("- ") + kKuid + " : ";
    bool committed = false;
    if (TriedMore(savers, 200)) {
      for (int attempt = 0; attempt < 100 && !committed; ++attempt) {
        const ToolResult commit = Run({"commit", kKuid});
        committed = commit.out.find("The asset was committed.") != std::string::npos;
        // Refused by the daemon, which goes on (a program opening a file
        // while the commit looks at it does not end it).
        if (!committed) {
          EXPECT_EQ(commit.out.rfind(refused, 0), 0u) << commit.out;
        }
        if (!TriedMore(savers, 50)) break;
      }
    }
    stop = true;
    for (Saver& saver : savers) {
      saver.thread.join();
      EXPECT_FALSE(saver.acknowledged.empty()) << saver.tag;
      out->emplace_back(saver.tag, std::move(saver.acknowledged));
    }
    EXPECT_TRUE(committed);
    StopDaemon();
  }
};

TEST_F(SavesAroundCommit, EveryAcknowledgedSaveIsKeptThroughACommitAndARestart) {
  ASSERT_EQ(InstallScenery(kKuid, "", {{"sub/base.txt", "installed\n"}}).status, 0);
  std::vector<std::pair<std::string, std::vector<int>>> acknowledged;
  const std::chrono::microseconds paces[] = {std::chrono::microseconds(500),
                                             std::chrono::microseconds(0),
                                             std::chrono::microseconds(100)};
  for (size_t round = 0; round < std::size(paces); ++round) {
    SCOPED_TRACE(round);
    SaveAroundACommit("r" + std::to_string(round), paces[round], &acknowledged);
  }

  const std::string folder = OpenForEdit();
  ASSERT_FALSE(folder.empty());
  const std::unordered_set<std::string> kept = Lines(folder);
  for (const auto& [tag, lines] : acknowledged) {
    int lost = 0, first = 0;
    for (const int line : lines) {
      if (kept.count(tag + " " + std::to_string(line))) continue;
      if (lost++ == 0) first = line;
    }
    EXPECT_EQ(lost, 0) << tag << ": acknowledged saves lost, the first line " << first << " of "
                       << lines.size();
  }
  EXPECT_EQ(Run({"revert", kKuid}).status, 0);
}

}  // namespace
