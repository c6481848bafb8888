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

}  // namespace
