// The flushes of a change to an asset's files: an install of a new asset,
// an edit and a commit make the files durable with a few synced writes
// however many files the asset holds, and a flush that fails, of the files
// or of the folder they are renamed into, fails the install with nothing
// of it committed. The synced writes are counted and failed where the
// process makes them (SyncedWrites.h).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
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
  // failure, then the staged folder installed: written before the failure.
  kInstallStagedBeforeAFailure,
  // The same failure, then a folder staged and installed after it.
  kInstallAfterAFailure,
  kInstallFew,        // of 2 files
  kInstallFewNested,  // of 2 files, 1.txt in a folder below
};
// The flush that fails: the next of the file system; every flush of the
// folder the files are renamed into; of the files called 1.txt.
enum class Fault { kNone, kFileSystemFlush, kFolderFlush, kFileFlush };

struct Row {
  const char* name;
  Change change;
  Fault fault;
  bool succeeds;  // else fails with nothing of it committed
};

const KUID kAsset{100, 5, 0};
const KUID kOther{100, 6, 0};

class ChangeFlushTest : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.Made());
    descriptors_ = EntriesOf("/proc/self/fd");
    AssetStore::Options options;
    options.userDataPath = temp_.MakeFolder("UserData");
    options.indexPath = options.userDataPath + "/assets.tdx";
    store_ = std::make_unique<AssetStore>(options);
    ASSERT_TRUE(store_->Open().Ok());
  }
  // The store gives back every descriptor it opened.
  void TearDown() override {
    syncedwrites::ClearFaults();
    store_.reset();
    EXPECT_EQ(EntriesOf("/proc/self/fd"), descriptors_);
  }

  // A folder of `files` files: config.txt naming `kuid` and the others
  // (1.txt in the folder `below` when it is not empty).
  std::string Source(const KUID& kuid, int files, const std::string& below = "") {
    const std::string name = "src/" + std::string(KUIDToShortString(kuid));
    temp_.Put(name + "/config.txt", "kuid " + std::string(KUIDToTagString(kuid).View()) +
                                        "\nusername \"Asset\"\nkind \"scenery\"\n");
    for (int i = 1; i < files; ++i)
      temp_.Put(name + (i == 1 ? below : "") + "/" + std::to_string(i) + ".txt",
                "file " + std::to_string(i));
    return temp_.At(name);
  }

  StoreResult Install(const KUID& kuid, int files) {
    return store_->InstallFolder(Source(kuid, files), {}, nullptr);
  }

  std::string Staged(const KUID& kuid, int files) {
    std::string staging;
    EXPECT_TRUE(store_->StageFolder(Source(kuid, files), &staging).Ok());
    return staging;
  }

  // Before an edit the asset is installed; before a commit also open for
  // edit, with a file changed.
  void Prepare(Change change, const KUID& kuid, int files) {
    if (change != Change::kEdit && change != Change::kCommit) return;
    ASSERT_TRUE(Install(kuid, files).Ok());
    AssetStore::EditInfo edit;
    if (change == Change::kEdit) return;
    ASSERT_TRUE(store_->BeginEdit(kuid, &edit).Ok());
    std::ofstream(edit.path + "/1.txt", std::ios::trunc) << "edited";
  }

  StoreResult Make(Change change, const KUID& kuid, int files) {
    if (change == Change::kEdit) return store_->BeginEdit(kuid, nullptr);
    if (change == Change::kCommit) return store_->CommitEdit(kuid, nullptr);
    if (change == Change::kBatchInstall) {
      std::vector<AssetStore::StagedInstall> installs(2);
      installs[0].stagingPath = Staged(kuid, files);
      installs[1].stagingPath = Staged(kOther, files);
      store_->InstallStagedTogether(installs);
      EXPECT_EQ(installs[1].result.code, installs[0].result.code);
      return installs[0].result;
    }
    if (change == Change::kInstall) return Install(kuid, files);
    if (change >= Change::kInstallFew) {
      const std::string below = change == Change::kInstallFewNested ? "/below" : "";
      return store_->InstallFolder(Source(kuid, 2, below), {}, nullptr);
    }
    const std::string staging =
        change == Change::kInstallStagedBeforeAFailure ? Staged(kuid, files) : std::string();
    EXPECT_EQ(Install(kOther, files).code, StoreCode::kIoError) << "the flush told of it";
    syncedwrites::ClearFaults();
    return staging.empty() ? Install(kuid, files) : store_->InstallStaged(staging, {}, nullptr);
  }

  // The asset's folder that the change made.
  std::string MadeFolder(Change change, const KUID& kuid) {
    StoredAsset asset;
    EXPECT_TRUE(store_->Find(kuid, &asset));
    return change == Change::kEdit ? store_->EditPath(asset) : store_->InstalledPath(asset);
  }

  // The synced writes of the change to an asset of `files` files, which
  // succeeds, and the syncfs among them.
  std::pair<uint64_t, uint64_t> SyncedWritesOf(Change change, const KUID& kuid, int files) {
    Prepare(change, kuid, files);
    const uint64_t writes = syncedwrites::Count();
    const uint64_t fileSystem = syncedwrites::FileSystemFlushes();
    const StoreResult result = Make(change, kuid, files);
    EXPECT_TRUE(result.Ok()) << result.message;
    return {syncedwrites::Count() - writes, syncedwrites::FileSystemFlushes() - fileSystem};
  }

  static long EntriesOf(const std::string& folder) {
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
  }

  const VUTest::TempFolder temp_{"ChangeFlush", "/dev/shm"};
  std::unique_ptr<AssetStore> store_;
  long descriptors_ = 0;
};

TEST_P(ChangeFlushTest, FlushesWithAFewSyncedWritesOrFailsWithNothingCommitted) {
  const Row& row = GetParam();
  if (row.fault == Fault::kNone) {
    const auto [many, manyFileSystem] = SyncedWritesOf(row.change, kAsset, kManyFiles);
    EXPECT_LE(many, kManyFilesBound);
    EXPECT_EQ(manyFileSystem, 1u);
    EXPECT_EQ(EntriesOf(MadeFolder(row.change, kAsset)), kManyFiles);
    // A few files cost less flushed one by one than the file system with
    // all that others have pending on it: each of them and their folder.
    const auto [few, fewFileSystem] = SyncedWritesOf(row.change, kOther, 2);
    EXPECT_LE(few, kFewFilesBound);
    EXPECT_EQ(fewFileSystem, 0u);
    const std::string made = MadeFolder(row.change, kOther);
    EXPECT_TRUE(syncedwrites::Flushed(made));
    for (const auto& entry : fs::directory_iterator(made))
      EXPECT_TRUE(syncedwrites::Flushed(entry.path())) << entry.path();
    std::string text;
    std::ifstream(made + "/1.txt") >> text;
    EXPECT_EQ(text, row.change == Change::kCommit ? "edited" : "file");
    return;
  }
  const std::string before = temp_.Listing("UserData/local");
  if (row.fault == Fault::kFileSystemFlush) syncedwrites::FailNextFileSystemFlush();
  if (row.fault == Fault::kFolderFlush) syncedwrites::FailFlushesOf("local");
  if (row.fault == Fault::kFileFlush) syncedwrites::FailFlushesOf("1.txt");
  const StoreResult result = Make(row.change, kAsset, kManyFiles);
  syncedwrites::ClearFaults();
  if (row.succeeds) {
    EXPECT_TRUE(result.Ok()) << result.message;
    EXPECT_EQ(EntriesOf(MadeFolder(row.change, kAsset)), kManyFiles);
    return;
  }
  EXPECT_EQ(result.code, StoreCode::kIoError) << result.message;
  StoredAsset asset;
  EXPECT_FALSE(store_->Find(kAsset, &asset) || store_->Find(kOther, &asset));
  EXPECT_EQ(temp_.Listing("UserData/local"), before);
}

const Row kRows[] = {
    {"Install", Change::kInstall, Fault::kNone, true},
    {"Edit", Change::kEdit, Fault::kNone, true},
    {"Commit", Change::kCommit, Fault::kNone, true},
    {"InstallWhoseFlushFails", Change::kInstall, Fault::kFileSystemFlush, false},
    {"BatchInstallWhoseFlushFails", Change::kBatchInstall, Fault::kFileSystemFlush, false},
    {"InstallWrittenBeforeAFailureToldToAnotherFlush", Change::kInstallStagedBeforeAFailure,
     Fault::kFileSystemFlush, false},
    {"InstallWrittenAfterAFailureToldToAnotherFlush", Change::kInstallAfterAFailure,
     Fault::kFileSystemFlush, true},
    {"InstallWhoseFolderFlushFails", Change::kInstall, Fault::kFolderFlush, false},
    {"BatchInstallWhoseFolderFlushFails", Change::kBatchInstall, Fault::kFolderFlush, false},
    {"InstallOfAFewFilesOneOfWhoseFlushesFails", Change::kInstallFew, Fault::kFileFlush, false},
    {"InstallOfAFewFilesOneOfWhoseFlushesBelowFails", Change::kInstallFewNested, Fault::kFileFlush,
     false},
};

std::string RowName(const ::testing::TestParamInfo<Row>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, ChangeFlushTest, ::testing::ValuesIn(kRows), RowName);

}  // namespace
