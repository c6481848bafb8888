// How a commit takes an edit folder: moving a folder's entries so that no
// program can save into it any more (FolderMove.h), the lease check while
// programs open files (OpenWriterCheck.h), and what the store gives back
// of a take that a crash cut short.
#include <fcntl.h>
#include <limits.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ImmutableFolder.h"
#include "tests/vaddaemon/StoreTestRoot.h"
#include "vaddaemon/AssetFolderNames.h"
#include "vaddaemon/FolderMove.h"
#include "vaddaemon/FolderTree.h"
#include "vaddaemon/OpenWriterCheck.h"

namespace {

namespace fs = std::filesystem;
using FolderMoveTest = VUTest::TempFolderTest;

TEST_F(FolderMoveTest, EveryEntryMovesAndATakenNameKeepsBoth) {
  Put("from/a.txt", "moved a");
  Put("from/sub/b.txt", "moved b");
  Put("from/sub/deep/c.txt", "moved c");
  fs::create_symlink("a.txt", At("from/link"));
  Put("into/a.txt", "kept a");
  Put("into/sub/b.txt", "kept b");
  Put("into/sub/deep", "a file");
  const FolderMove move = MoveFolderInto(At("from"), At("into"));
  EXPECT_TRUE(move.emptied);
  EXPECT_EQ(move.error, "");
  EXPECT_FALSE(fs::exists(At("from")));
  std::vector<std::pair<std::string, std::string>> aside;
  for (const FolderMove::Aside& entry : move.aside) aside.emplace_back(entry.name, entry.keptAs);
  std::sort(aside.begin(), aside.end());
  EXPECT_EQ(aside, (std::vector<std::pair<std::string, std::string>>{
                       {"a.txt", "a.txt.~1~"},
                       {"sub/b.txt", "sub/b.txt.~1~"},
                       {"sub/deep", "sub/deep.~1~"}}));
  EXPECT_EQ(Get("into/a.txt") + Get("into/a.txt.~1~"), "kept amoved a");
  EXPECT_EQ(Get("into/sub/b.txt") + Get("into/sub/b.txt.~1~"), "kept bmoved b");
  EXPECT_EQ(Get("into/sub/deep") + Get("into/sub/deep.~1~/c.txt"), "a filemoved c");
  EXPECT_EQ(fs::read_symlink(At("into/link")), "a.txt");
}

// Waits for the first event on `watch` and, when it is an entry moved out,
// makes the file `late`: 0, or why not (ENOENT: the folder was gone).
int SaveOnFirstMoveOut(int watch, const std::string& late) {
  alignas(inotify_event) char event[sizeof(inotify_event) + NAME_MAX + 1];
  if (::read(watch, event, sizeof event) <= 0) return errno;
  if (!(reinterpret_cast<const inotify_event*>(event)->mask & IN_MOVED_FROM)) return EIO;
  const int fd = ::open(late.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

// A file saved into the folder after its entries were listed (here as soon
// as the first one is moved out) stops the folder's removal: the mover
// takes another pass and moves it too. Should the folder be gone before
// the file could be made, the case is tried again.
TEST_F(FolderMoveTest, AFileThatCannotBePlacedStaysAndTheMoveSaysWhy) {
  Put("from/a.txt", "stays");
  // The folder to move into has gone: the move stops at once, naming the
  // file, and is not taken for a program that keeps saving.
  const FolderMove move = MoveFolderInto(At("from"), At("gone"));
  EXPECT_FALSE(move.emptied);
  EXPECT_EQ(move.error, "cannot move " + At("from") + "/a.txt: No such file or directory");
  EXPECT_EQ(Get("from/a.txt"), "stays");
}

// A folder that is not there has nothing to move; one below a file cannot
// be read, and the move says so rather than passing for emptied.
TEST_F(FolderMoveTest, AMissingFolderIsEmptiedAndOneBelowAFileSaysWhy) {
  const FolderMove missing = MoveFolderInto(At("none/from"), temp_.MakeFolder("into"));
  EXPECT_TRUE(missing.emptied);
  EXPECT_EQ(missing.error, "");
  Put("file", "not a folder");
  const FolderMove below = MoveFolderInto(At("file/from"), At("into"));
  EXPECT_FALSE(below.emptied);
  EXPECT_EQ(below.error, "cannot read the folder above " + At("file/from") + ": Not a directory");
}

TEST_F(FolderMoveTest, AFileSavedAfterTheListingIsMovedOnTheNextPass) {
  int saved = ENOENT;
  for (int attempt = 0; attempt < 5 && saved == ENOENT; ++attempt) {
    const std::string from = temp_.MakeFolder("from" + std::to_string(attempt));
    const std::string into = temp_.MakeFolder("into" + std::to_string(attempt));
    for (int i = 0; i < 1000; ++i) std::ofstream(from + "/" + std::to_string(i)).put('-');
    const int watch = ::inotify_init1(IN_CLOEXEC);
    const int watched = ::inotify_add_watch(watch, from.c_str(), IN_MOVED_FROM);
    ASSERT_GE(watched, 0);
    std::thread saver([&] { saved = SaveOnFirstMoveOut(watch, from + "/late"); });
    const FolderMove move = MoveFolderInto(from, into);
    ::inotify_rm_watch(watch, watched);  // wakes the saver had nothing moved
    saver.join();
    ::close(watch);
    if (saved == ENOENT) continue;
    ASSERT_EQ(saved, 0) << std::strerror(saved);
    EXPECT_EQ(move.error, "");
    EXPECT_TRUE(move.emptied);
    EXPECT_FALSE(fs::exists(from));
    EXPECT_TRUE(fs::exists(into + "/late"));
    EXPECT_EQ(std::distance(fs::directory_iterator(into), fs::directory_iterator()), 1001);
  }
  EXPECT_NE(saved, ENOENT) << "the folder was gone before any try could save into it";
}

// A program opening the file for writing while the check holds its lease
// breaks the lease with a signal to the checking process, which must live on.
TEST_F(FolderMoveTest, ProgramsOpeningFilesWhileTheyAreCheckedEndNothing) {
  const std::string notes = Put("edit/notes.txt", "");
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    while (!stop) ::close(::open(notes.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  });
  int refused = 0, passed = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((refused < 200 || passed < 200) && std::chrono::steady_clock::now() < end)
    ++(RefuseFilesOpenForWriting(At("edit")).Ok() ? passed : refused);
  stop = true;
  writer.join();
  EXPECT_GE(refused, 200);
  EXPECT_GE(passed, 200);
}

class TakenEditFolderTest : public StoreTestRoot {
 protected:
  void Reopen() {
    AssetStore::Options options;
    options.userDataPath = temp_.At("UserData");
    options.indexPath = options.userDataPath + "/assets.tdx";
    options.localUserId = 100;
    store_ = std::make_unique<AssetStore>(options);
    ASSERT_TRUE(store_->Open().Ok());
  }

  // Opens kLoco for edit with notes.txt saved in it; its edit folder.
  AssetStore::EditInfo Edit() {
    AssetStore::EditInfo edit;
    EXPECT_TRUE(Install(kLoco).Ok());
    EXPECT_TRUE(store_->BeginEdit(kLoco, &edit).Ok());
    Write(edit.path + "/notes.txt", "before");
    return edit;
  }

  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  const KUID kLoco{100, 5, 0};
};

// Files a commit had taken when a crash stopped it go back to the edit
// folder: before the next commit takes it, or at the next start. Only what
// a recorded commit left is removed.
TEST_F(TakenEditFolderTest, WhatACommitCutShortTookGoesBackToTheEditFolder) {
  const AssetStore::EditInfo edit = Edit();
  const std::string taken = store_->EditingRoot() + "/" + TakenFolderName(edit.editFolder);
  // Stopped while taking: notes.txt was moved, then saved again.
  store_.reset();
  fs::create_directory(taken);
  fs::rename(edit.path + "/notes.txt", taken + "/notes.txt");
  Write(edit.path + "/notes.txt", "since");
  Reopen();
  EXPECT_EQ(store_->LastRecovery().takenGivenBack, 1u);
  EXPECT_EQ(ReadAll(edit.path + "/notes.txt") + ReadAll(edit.path + "/notes.txt.~1~"),
            "sincebefore");
  EXPECT_FALSE(fs::exists(taken));

  // Stopped once the take had finished: the edit folder is gone.
  store_.reset();
  fs::rename(edit.path, taken);
  Reopen();
  EXPECT_EQ(Get(kLoco).editFolder, edit.editFolder);
  EXPECT_EQ(ReadAll(edit.path + "/notes.txt"), "since");
  EXPECT_FALSE(fs::exists(taken));

  // Left beside the edit folder while the daemon runs: committed with it.
  fs::create_directory(taken);
  Write(taken + "/extra.txt", "extra");
  ASSERT_TRUE(store_->CommitEdit(kLoco, nullptr).Ok());
  const std::string installed = store_->InstalledPath(Get(kLoco));
  EXPECT_EQ(ReadAll(installed + "/extra.txt") + ReadAll(installed + "/notes.txt"), "extrasince");
  EXPECT_FALSE(fs::exists(taken));
  EXPECT_FALSE(fs::exists(edit.path));

  // Left after the commit was recorded: what was committed, removed.
  store_.reset();
  fs::create_directory(taken);
  Write(taken + "/notes.txt", "since");
  Reopen();
  EXPECT_FALSE(fs::exists(taken));
  EXPECT_FALSE(Get(kLoco).OpenForEdit());
}

// A taken folder whose files cannot all go back (here the edit folder
// takes no new entries) is kept with them until a later start can.
TEST_F(TakenEditFolderTest, ATakenFolderThatCannotGiveEverythingBackIsKept) {
  const AssetStore::EditInfo edit = Edit();
  const std::string taken = store_->EditingRoot() + "/" + TakenFolderName(edit.editFolder);
  store_.reset();
  fs::create_directory(taken);
  Write(taken + "/saved.txt", "saved");
  {
    ImmutableFolder stuck(edit.path);
    if (!stuck.Made()) GTEST_SKIP() << "the immutable attribute cannot be set here";
    Reopen();
    EXPECT_EQ(store_->LastRecovery().takenGivenBack, 1u);
    EXPECT_EQ(ReadAll(taken + "/saved.txt"), "saved");
    store_.reset();
  }
  Reopen();
  EXPECT_EQ(ReadAll(edit.path + "/saved.txt") + ReadAll(edit.path + "/notes.txt"), "savedbefore");
  EXPECT_FALSE(fs::exists(taken));
}

// A folder the commit cannot empty (here one whose entries cannot be
// renamed) fails it, and every file goes back to the edit folder.
TEST_F(TakenEditFolderTest, ACommitThatCannotTakeTheWholeFolderGivesEveryFileBack) {
  const AssetStore::EditInfo edit = Edit();
  fs::create_directory(edit.path + "/sub");
  Write(edit.path + "/sub/a.txt", "a");
  {
    ImmutableFolder stuck(edit.path + "/sub");
    if (!stuck.Made()) GTEST_SKIP() << "the immutable attribute cannot be set here";
    const StoreResult refused = store_->CommitEdit(kLoco, nullptr);
    EXPECT_EQ(refused.code, StoreCode::kIoError);
    EXPECT_EQ(refused.message.rfind("cannot take the edit folder " + edit.path + ": cannot move " +
                                        edit.path + "/sub/a.txt", 0),
              0u)
        << refused.message;
  }
  EXPECT_EQ(ReadAll(edit.path + "/notes.txt") + ReadAll(edit.path + "/sub/a.txt"), "beforea");
  EXPECT_EQ(temp_.Listing("UserData/editing"), edit.editFolder);
  EXPECT_TRUE(Get(kLoco).OpenForEdit());
  ASSERT_TRUE(store_->CommitEdit(kLoco, nullptr).Ok());
  EXPECT_EQ(ReadAll(store_->InstalledPath(Get(kLoco)) + "/sub/a.txt"), "a");
}

// --- A link at a folder name the store makes itself, to a folder outside
// the store: refused by name, and nothing outside is read, moved or
// removed; a removal takes the link itself.

struct LinkScene {
  AssetStore* store = nullptr;
  AssetStore::EditInfo edit;
  std::string outside;  // a folder outside the store, with files of its own
  std::string scratch;  // a folder for the row's own entries
  std::string planted;  // where the row put its link
};

struct LinkCase {
  const char* name;
  // Puts a link to `outside` where the store names a folder and runs what
  // meets it; answers its message (a move's error), "" when it passed.
  std::string (*act)(LinkScene&);
  const char* says;  // a text the message holds ("" for none)
  bool linkStays;
};

// Puts a link to the outside folder at `path`, the folder there moved aside.
void PlantLink(LinkScene& scene, const std::string& path) {
  if (fs::exists(path)) fs::rename(path, scene.scratch + "/moved aside");
  fs::create_directory_symlink(scene.outside, path);
  scene.planted = path;
}

std::string CommitPastALinkedEditFolder(LinkScene& scene) {
  PlantLink(scene, scene.edit.path);
  return scene.store->CommitEdit(scene.edit.kuid, nullptr).message;
}

std::string EditPastALinkedInstalledFolder(LinkScene& scene) {
  EXPECT_TRUE(scene.store->RevertEdit(scene.edit.kuid).Ok());
  StoredAsset asset;
  EXPECT_TRUE(scene.store->Find(scene.edit.kuid, &asset));
  PlantLink(scene, scene.store->InstalledPath(asset));
  return scene.store->BeginEdit(scene.edit.kuid, nullptr).message;
}

std::string MoveOutOfALink(LinkScene& scene) {
  PlantLink(scene, scene.scratch + "/from");
  fs::create_directory(scene.scratch + "/into");
  const FolderMove move = MoveFolderInto(scene.planted, scene.scratch + "/into");
  return move.emptied ? "" : move.error;
}

std::string MoveIntoALink(LinkScene& scene) {
  fs::create_directories(scene.scratch + "/from/sub");
  std::ofstream(scene.scratch + "/from/sub/a.txt") << "stays";
  PlantLink(scene, scene.scratch + "/into");
  const FolderMove move = MoveFolderInto(scene.scratch + "/from", scene.planted);
  return move.emptied ? "" : move.error;
}

std::string RemoveALink(LinkScene& scene) {
  PlantLink(scene, scene.scratch + "/gone");
  return RemoveFolderTree(scene.planted) ? "" : "not removed";
}

const LinkCase kLinkCases[] = {
    {"AtTheEditFolderNothingIsTaken", CommitPastALinkedEditFolder,
     "cannot take the edit folder: ", true},
    {"AtTheInstalledFolderNothingIsCopied", EditPastALinkedInstalledFolder,
     "is a link, not a folder of the store's own", true},
    {"AtTheFolderAMoveEmptiesNothingMoves", MoveOutOfALink, "/from is a link, not a folder", true},
    {"AtTheFolderAMoveFillsNothingMoves", MoveIntoALink, "/into is a link, not a folder", true},
    {"AtAFolderToRemoveOnlyTheLinkGoes", RemoveALink, "", false},
};

// Every file below `folder` with its bytes.
std::vector<std::pair<std::string, std::string>> Files(const std::string& folder) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    if (entry.is_regular_file())
      files.emplace_back(entry.path().string(),
                         std::string(std::istreambuf_iterator<char>(in), {}));
  }
  std::sort(files.begin(), files.end());
  return files;
}

class LinkAtAStoreName : public TakenEditFolderTest,
                         public ::testing::WithParamInterface<LinkCase> {};

TEST_P(LinkAtAStoreName, IsRefusedByNameAndNothingOutsideChanges) {
  LinkScene scene;
  scene.store = store_.get();
  scene.edit = Edit();
  scene.outside = temp_.MakeFolder("outside");
  temp_.Put("outside/secret.txt", "not the store's");
  temp_.Put("outside/deeper/private.txt", "nor this");
  scene.scratch = temp_.MakeFolder("scratch");
  const auto before = Files(scene.outside);

  const std::string message = GetParam().act(scene);
  EXPECT_NE(message.find(GetParam().says), std::string::npos) << message;
  EXPECT_EQ(message.empty(), *GetParam().says == '\0') << message;
  EXPECT_EQ(Files(scene.outside), before);
  EXPECT_EQ(fs::is_symlink(scene.planted), GetParam().linkStays) << scene.planted;
}

std::string LinkRowName(const ::testing::TestParamInfo<LinkCase>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, LinkAtAStoreName, ::testing::ValuesIn(kLinkCases), LinkRowName);

}  // namespace
