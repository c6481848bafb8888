// Work that meets another tool's doing, end to end: a batch of validations
// through a "closevaddaemon" goes on with the next daemon, and a commit
// never installs a file that another program is still writing.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "tests/cli/ToolFixture.h"
#include "tests/support/SanitizerScale.h"
#include "tests/support/WaitUntil.h"

namespace {

class DaemonEndsMidWork : public ToolFixture {
 protected:
  static int Count(const std::string& text, const std::string& what) {
    int found = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
      ++found;
    return found;
  }
};

// Another tool closes the daemon after 300 lines of a 3,000-line batch of
// validations of 16 assets (so that lines of different assets are in
// flight at once): at most the line then in flight may fail, the others
// run again with the next daemon.
TEST_F(DaemonEndsMidWork, BatchOfValidationsGoesOnThroughAClose) {
  constexpr int kAssets = 16;
  constexpr int kLines = 3000 / VUTest::kSanitizerSlowdown;
  const std::string folder = MakeTempFolder();
  std::string installs, lines;
  for (int asset = 0; asset < kAssets; ++asset) {
    const std::string kuid = "<kuid:0:" + std::to_string(600 + asset) + ">";
    const std::string path = folder + "/" + std::to_string(asset);
    std::filesystem::create_directory(path);
    ASSERT_TRUE(WriteFile(path + "/config.txt", "kuid " + kuid +
                                                    "\nusername \"Crate\"\n"
                                                    "kind \"scenery\"\nvandru-build 3.4\n"));
    installs += "\"installfrompath\" \"" + path + "\"\n";
  }
  for (int line = 0; line < kLines; ++line)
    lines += "\"validate\" \"<kuid:0:" + std::to_string(600 + line % kAssets) + ">\"\n";
  ASSERT_TRUE(WriteFile(folder + "/installs.txt", installs));
  const ToolResult installed = Run({"@" + folder + "/installs.txt"});
  ASSERT_EQ(installed.status, 0) << installed.out;
  ASSERT_TRUE(WriteFile(folder + "/batch.txt", lines));
  const std::string out = folder + "/out.txt";
  ToolResult batch;
  std::thread runner([&] {
    batch = RunProgram("/bin/sh", {"-c", "exec ./VandruUtil @" + folder + "/batch.txt > " + out},
                       BinPath(), 120000);
  });
  const std::string summary = "OK (0 Errors, 0 Warnings)\n";
  const bool started =
      VUTest::WaitUntil([&] { return Count(ReadFile(out), summary) >= 300; }, 60000, 2);
  const pid_t closing = DaemonOwnerPid();
  const ToolResult closed = Run({"closevaddaemon"}, "", 40000);
  runner.join();
  ASSERT_TRUE(started);
  // The lines after the close started the next daemon.
  EXPECT_NE(DaemonOwnerPid(), closing);
  EXPECT_NE(DaemonOwnerPid(), 0);
  EXPECT_EQ(closed.status, 0) << closed.out << closed.err;
  EXPECT_FALSE(batch.timedOut);
  const std::string text = ReadFile(out);
  const int failed = kLines - Count(text, summary);
  EXPECT_LE(failed, 2) << text.substr(std::min(text.find("- "), text.size()), 400);
}

// A program holds notes.txt of the edit folder open and writes 30 lines;
// a commit made after its 10th line refuses, naming the file, and leaves
// the asset open for edit with its folder; the writer's own commit, once it
// has closed the file, installs all 30 lines.
TEST_F(DaemonEndsMidWork, CommitRefusesAFileStillOpenForWriting) {
  const std::string kuid = "<kuid:0:610>";
  ASSERT_EQ(InstallScenery(kuid, "", {}).status, 0);
  const ToolResult edit = Run({"edit", kuid});
  const std::string prefix = "+ " + kuid + " : ";
  ASSERT_EQ(edit.out.rfind(prefix, 0), 0u) << edit.out;
  const std::string notes =
      edit.out.substr(prefix.size(), edit.out.find('\n') - prefix.size()) + "/notes.txt";
  std::promise<void> tenWritten, committed;
  std::future<void> commitDone = committed.get_future();
  std::thread writer([&] {
    const int fd = ::open(notes.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
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
  const ToolResult done = Run({"commit", kuid});
  EXPECT_NE(done.out.find("The asset was committed."), std::string::npos) << done.out;
  int installed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(UserDataPath() + "/local")) {
    if (entry.path().filename().string().rfind("kuid 0 610", 0) == 0)
      installed = Count(ReadFile(entry.path().string() + "/notes.txt"), "line ");
  }
  EXPECT_EQ(installed, 30);
}

}  // namespace
