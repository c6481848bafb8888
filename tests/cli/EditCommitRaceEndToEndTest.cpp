// Two editors of one asset at once, end to end: each opens the asset for
// edit ("edit" names the edit folder, which they share), saves a file of
// its own into that folder, and commits. Whatever a save put into the
// folder before a commit took it is committed; a save after that either
// lands in a new edit copy (committed later) or fails at once. Nothing that
// was saved vanishes while a commit says "The asset was committed.".
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/ToolFixture.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 20;
const char kKuid[] = "<kuid:0:400>";

class EditCommitRace : public ToolFixture {
 protected:
  // What one editor saved, and how its saves and commits went.
  struct Editor {
    std::string tag;
    std::vector<std::string> saved;  // names whose save succeeded
    int refused = 0;                 // saves that failed at once
    std::vector<std::string> failures;
  };

  // The folder "edit" names ("+ <kuid> : <folder>"), or "".
  static std::string OpenForEdit() {
    const ToolResult opened = Run({"edit", kKuid});
    const std::string head = std::string("+ ") + kKuid + " : ";
    if (opened.status != 0 || opened.out.rfind(head, 0) != 0) return std::string();
    return opened.out.substr(head.size(), opened.out.find('\n') - head.size());
  }

  // Saves as an editor does: the whole file written beside, then moved in.
  static bool Save(const std::string& scratch, const std::string& folder, const std::string& name) {
    const std::string beside = scratch + "/" + name;
    if (!WriteFile(beside, "saved " + name + "\n")) return false;
    if (std::rename(beside.c_str(), (folder + "/" + name).c_str()) == 0) return true;
    fs::remove(beside);
    return false;
  }

  static void RunEditor(Editor& editor, const std::string& scratch) {
    for (int round = 0; round < kRounds; ++round) {
      const std::string folder = OpenForEdit();
      if (folder.empty()) {
        editor.failures.push_back("edit failed");
        continue;
      }
      const std::string name = editor.tag + std::to_string(round) + ".txt";
      if (Save(scratch, folder, name)) {
        editor.saved.push_back(name);
      } else {
        ++editor.refused;
      }
      // The other editor's commit may have taken the edit copy (this
      // editor's save with it) between this one's open and its commit.
      const ToolResult committed = Run({"commit", kKuid});
      const bool done = committed.status == 0 &&
                        committed.out.find("The asset was committed.") != std::string::npos;
      const bool takenFirst =
          committed.out.find("the asset is not open for edit") != std::string::npos;
      // A tool one editor starts holds, until it runs, every descriptor of
      // this process open as it started: a file the other editor was then
      // writing beside may still be open for writing a moment after it was
      // moved in. The edit stays open with it; a later commit takes it.
      const bool heldOpen = committed.out.find("is open for writing") != std::string::npos;
      if (!done && !takenFirst && !heldOpen)
        editor.failures.push_back("commit: " + committed.out + committed.err);
    }
  }
};

TEST_F(EditCommitRace, EverySavedFileIsCommitted) {
  const ToolResult installed = InstallScenery(kKuid, "", {{"base.txt", "the installed copy\n"}});
  ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
  const std::string scratch = UserDataPath() + "/../scratch";
  fs::create_directories(scratch);  // the same file system as the edit folders

  Editor editors[2];
  editors[0].tag = "a";
  editors[1].tag = "b";
  std::thread second([&] { RunEditor(editors[1], scratch); });
  RunEditor(editors[0], scratch);
  second.join();

  // The installed copy, as a fresh edit copy shows it.
  const std::string folder = OpenForEdit();
  ASSERT_FALSE(folder.empty());
  std::string lost;
  int saved = 0;
  for (const Editor& editor : editors) {
    for (const std::string& failure : editor.failures) ADD_FAILURE() << failure;
    for (const std::string& name : editor.saved) {
      ++saved;
      if (ReadFile(folder + "/" + name) != "saved " + name + "\n") lost += " " + name;
    }
  }
  EXPECT_EQ(lost, "") << "saved, yet not in the committed asset";
  EXPECT_GT(saved, 0);  // the others were refused at once
  EXPECT_EQ(ReadFile(folder + "/base.txt"), "the installed copy\n");
  const ToolResult reverted = Run({"revert", kKuid});
  EXPECT_EQ(reverted.status, 0) << reverted.out;
}

}  // namespace
