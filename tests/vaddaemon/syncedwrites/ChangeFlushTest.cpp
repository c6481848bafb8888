// The flushes of a change to an asset's files: an install of a new asset,
// an edit and a commit make the files durable with a few synced writes
// however many files the asset holds, and a flush that fails, of the files
// or of the folder they are renamed into, fails the change with nothing of
// it committed. The synced writes are counted and failed where the process
// makes them (SyncedWrites.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "foundation/text/KUID.h"
#include "tests/support/TempFolder.h"
#include "tests/vaddaemon/syncedwrites/SyncedWrites.h"
#include "vaddaemon/AssetStore.h"

namespace fs = std::filesystem;

namespace {

constexpr int kManyFiles = 2000;
constexpr uint64_t kManyFilesBound = 40;  // synced writes of a change of kManyFiles files
constexpr uint64_t kFewFilesBound = 8;    // of a change of 2 files, as many as ever

enum class Change {
  kInstall,
  kEdit,
  kCommit,
  kBatchInstall,  // two staged folders installed together
  // A folder staged, then the install of another whose flush is told of a
  // failure, then the staged folder installed: its files were being
  // written when the failure came.
  kInstallStagedBeforeAFailure,
  // The install of another folder whose flush is told of a failure, then
  // a folder installed: written after the failure, it is not failed by it.
  kInstallAfterAFailure,
};
// The flush that fails: none; the next of the file system; every flush of
// the folder the change renames its files into.
enum class Fault { kNone, kFileSystemFlush, kFolderFlush };

struct Row {
  const char* name;
  Change change;
  Fault fault;
  bool succeeds = false;  // else fails with nothing of it committed
};

const KUID kAsset{100, 5, 0};
const KUID kOther{100, 6, 0};

class ChangeFlushTest : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.Made());
    AssetStore::Options options;
    options.userDataPath = temp_.MakeFolder("UserData");
    options.indexPath = options.userDataPath + "/assets.tdx";
    options.localUserId = 100;
    store_ = std::make_unique<AssetStore>(options);
    ASSERT_TRUE(store_->Open().Ok());
  }
  void TearDown() override { syncedwrites::ClearFaults(); }

  // A folder of `files` files: config.txt naming `kuid` and the others.
  std::string Source(const KUID& kuid, int files) {
    const std::string name =
        "src/" + std::string(KUIDToShortString(kuid)) + "-" + std::to_string(files);
    temp_.Put(name + "/config.txt", "kuid " + std::string(KUIDToTagString(kuid).View()) +
                                        "\nusername \"Asset\"\nkind \"scenery\"\n");
    for (int i = 1; i < files; ++i)
      temp_.Put(name + "/" + std::to_string(i) + ".txt", "file " + std::to_string(i));
    return temp_.At(name);
  }

  std::string Staged(const KUID& kuid, int files) {
    std::string staging;
    EXPECT_TRUE(store_->StageFolder(Source(kuid, files), &staging).Ok());
    return staging;
  }

  // What comes before the change: the asset installed for an edit, and
  // open for edit with a file changed for a commit.
  void Prepare(Change change, const KUID& kuid, int files) {
    if (change != Change::kEdit && change != Change::kCommit) return;
    ASSERT_TRUE(store_->InstallFolder(Source(kuid, files), {}, nullptr).Ok());
    if (change == Change::kEdit) return;
    AssetStore::EditInfo edit;
    ASSERT_TRUE(store_->BeginEdit(kuid, &edit).Ok());
    temp_.Put(fs::relative(edit.path, temp_.Path()).string() + "/1.txt", "edited");
  }

  StoreResult Make(Change change, const KUID& kuid, int files) {
    switch (change) {
      case Change::kInstall:
        return store_->InstallFolder(Source(kuid, files), {}, nullptr);
      case Change::kEdit:
        return store_->BeginEdit(kuid, nullptr);
      case Change::kCommit:
        return store_->CommitEdit(kuid, nullptr);
      case Change::kBatchInstall: {
        std::vector<AssetStore::StagedInstall> installs(2);
        installs[0].stagingPath = Staged(kuid, files);
        installs[1].stagingPath = Staged(kOther, files);
        store_->InstallStagedTogether(installs);
        EXPECT_EQ(installs[1].result.code, installs[0].result.code);
        return installs[0].result;
      }
      case Change::kInstallStagedBeforeAFailure: {
        const std::string staging = Staged(kuid, files);
        const StoreResult other = store_->InstallFolder(Source(kOther, files), {}, nullptr);
        EXPECT_EQ(other.code, StoreCode::kIoError) << "the failure is told to this install";
        syncedwrites::ClearFaults();
        return store_->InstallStaged(staging, {}, nullptr);
      }
      case Change::kInstallAfterAFailure: {
        const StoreResult other = store_->InstallFolder(Source(kOther, files), {}, nullptr);
        EXPECT_EQ(other.code, StoreCode::kIoError) << "the failure is told to this install";
        return store_->InstallFolder(Source(kuid, files), {}, nullptr);
      }
    }
    return StoreResult::Success();
  }

  // The asset's folder that the change makes.
  std::string MadeFolder(Change change, const KUID& kuid) {
    StoredAsset asset;
    EXPECT_TRUE(store_->Find(kuid, &asset));
    return change == Change::kEdit ? store_->EditPath(asset) : store_->InstalledPath(asset);
  }

  // The folder the change renames its files into.
  std::string InstalledInto(Change change) const {
    return fs::canonical(change == Change::kEdit ? store_->EditingRoot() : store_->LocalRoot());
  }

  // The rows of both assets and every path below the store's folders.
  std::vector<std::string> State() {
    std::vector<std::string> state;
    for (const KUID& kuid : {kAsset, kOther}) {
      StoredAsset row;
      if (store_->Find(kuid, &row)) state.push_back(row.folder + " | " + row.editFolder);
    }
    for (const std::string& root : {store_->LocalRoot(), store_->EditingRoot()}) {
      for (const auto& entry : fs::recursive_directory_iterator(root))
        state.push_back(fs::relative(entry.path(), temp_.Path()).string());
    }
    std::sort(state.begin(), state.end());
    return state;
  }

  // The synced writes of the change to an asset of `files` files, which
  // succeeds, and the flushes of the file system among them.
  struct Synced {
    uint64_t writes = 0;
    uint64_t fileSystemFlushes = 0;
  };
  Synced SyncedWritesOf(Change change, const KUID& kuid, int files) {
    Prepare(change, kuid, files);
    const Synced before{syncedwrites::Count(), syncedwrites::FileSystemFlushes()};
    const StoreResult result = Make(change, kuid, files);
    EXPECT_TRUE(result.Ok()) << result.message;
    return {syncedwrites::Count() - before.writes,
            syncedwrites::FileSystemFlushes() - before.fileSystemFlushes};
  }

  const VUTest::TempFolder temp_{"ChangeFlush", "/dev/shm"};
  std::unique_ptr<AssetStore> store_;
};

TEST_P(ChangeFlushTest, FlushesWithAFewSyncedWritesOrFailsWithNothingCommitted) {
  const Row& row = GetParam();
  if (row.fault == Fault::kNone) {
    const Synced many = SyncedWritesOf(row.change, kAsset, kManyFiles);
    EXPECT_LE(many.writes, kManyFilesBound);
    EXPECT_EQ(many.fileSystemFlushes, 1u);
    const std::string folder = MadeFolder(row.change, kAsset);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), kManyFiles);
    EXPECT_EQ(temp_.Get(fs::relative(folder, temp_.Path()).string() + "/1.txt"),
              row.change == Change::kCommit ? "edited" : "file 1");
    // A few files cost less flushed one by one than the file system with
    // all that others have pending on it: each of them and their folder.
    const Synced few = SyncedWritesOf(row.change, kOther, 2);
    EXPECT_LE(few.writes, kFewFilesBound);
    EXPECT_EQ(few.fileSystemFlushes, 0u);
    const std::string made = MadeFolder(row.change, kOther);
    EXPECT_TRUE(syncedwrites::Flushed(made));
    for (const auto& entry : fs::recursive_directory_iterator(made))
      EXPECT_TRUE(syncedwrites::Flushed(entry.path())) << entry.path();
    return;
  }
  ASSERT_NO_FATAL_FAILURE(Prepare(row.change, kAsset, kManyFiles));
  const std::vector<std::string> before = State();
  if (row.fault == Fault::kFileSystemFlush) syncedwrites::FailNextFileSystemFlush();
  if (row.fault == Fault::kFolderFlush) syncedwrites::FailFlushesOf(InstalledInto(row.change));
  const StoreResult result = Make(row.change, kAsset, kManyFiles);
  syncedwrites::ClearFaults();
  if (row.succeeds) {
    EXPECT_TRUE(result.Ok()) << result.message;
    EXPECT_EQ(std::distance(fs::directory_iterator(MadeFolder(row.change, kAsset)),
                            fs::directory_iterator()),
              kManyFiles);
    return;
  }
  EXPECT_EQ(result.code, StoreCode::kIoError) << result.message;
  EXPECT_EQ(State(), before);
}

const Row kRows[] = {
    {"Install", Change::kInstall, Fault::kNone},
    {"Edit", Change::kEdit, Fault::kNone},
    {"Commit", Change::kCommit, Fault::kNone},
    {"InstallWhoseFlushFails", Change::kInstall, Fault::kFileSystemFlush},
    {"EditWhoseFlushFails", Change::kEdit, Fault::kFileSystemFlush},
    {"CommitWhoseFlushFails", Change::kCommit, Fault::kFileSystemFlush},
    {"BatchInstallWhoseFlushFails", Change::kBatchInstall, Fault::kFileSystemFlush},
    {"InstallWrittenBeforeAFailureToldToAnotherFlush", Change::kInstallStagedBeforeAFailure,
     Fault::kFileSystemFlush},
    {"InstallWrittenAfterAFailureToldToAnotherFlush", Change::kInstallAfterAFailure,
     Fault::kFileSystemFlush, true},
    {"InstallWhoseFolderFlushFails", Change::kInstall, Fault::kFolderFlush},
    {"EditWhoseFolderFlushFails", Change::kEdit, Fault::kFolderFlush},
    {"CommitWhoseFolderFlushFails", Change::kCommit, Fault::kFolderFlush},
    {"BatchInstallWhoseFolderFlushFails", Change::kBatchInstall, Fault::kFolderFlush},
};

std::string RowName(const ::testing::TestParamInfo<Row>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, ChangeFlushTest, ::testing::ValuesIn(kRows), RowName);

}  // namespace
