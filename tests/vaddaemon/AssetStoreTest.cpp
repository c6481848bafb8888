// Tests of the daemon's asset store: installs, edits, new KUIDs, stored
// values and the crash recovery rule, each in a temporary user-data root.
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/KUIDLockSet.h"

#include <limits.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "foundation/soup/Soup.h"
#include "tests/support/ImmutableFolder.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "tests/vaddaemon/InstallTestSupport.h"

namespace fs = std::filesystem;
using installtest::GetFile;
using installtest::PutFile;

namespace {

constexpr KUID kLoco{100, 5, 0};
constexpr KUID kWagon{100, 6, 0};

std::string Config(const KUID& kuid, const std::string& name, const std::string& extra = "") {
  return "kuid " + std::string(KUIDToTagString(kuid).View()) + "\r\nusername \"" + name +
         "\"\r\nkind \"traincar\"\r\ncategory-region \"DE\"\r\ncategory-era \"1950s\"\r\n" + extra;
}

// The files set aside as damaged indexes and journals, by name.
std::vector<fs::path> DamagedFilesIn(const fs::path& userData) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(userData)) {
    if (entry.path().filename().string().starts_with("assets.tdx.damaged-"))
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class AssetStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.Made());
    fs::create_directories(userData_);
    Reopen();
  }

  AssetStore::Options Options() const {
    AssetStore::Options options;
    options.indexPath = (userData_ / "assets.tdx").string();
    options.userDataPath = userData_.string();
    options.localUserId = 100;
    return options;
  }

  void Reopen() {
    store_.reset();
    store_ = std::make_unique<AssetStore>(Options());
    const StoreResult opened = store_->Open();
    ASSERT_TRUE(opened.Ok()) << opened.message;
  }

  // A source folder for `kuid` with a configuration and two files.
  fs::path Source(const KUID& kuid, const std::string& name, const std::string& extra = "") {
    const fs::path folder = root_ / ("src-" + std::to_string(kuid.contentId) + "-" + name);
    fs::remove_all(folder);
    PutFile(folder / "config.txt", Config(kuid, name, extra));
    PutFile(folder / "meshes" / "body.im", "mesh of " + name);
    return folder;
  }

  StoredAsset Get(const KUID& kuid) {
    StoredAsset asset;
    EXPECT_TRUE(store_->Find(kuid, &asset));
    return asset;
  }

  StoreResult Install(const fs::path& source, AssetStore::InstallOptions options = {}) {
    AssetStore::InstallOutcome outcome;
    return store_->InstallFolder(source.string(), options, &outcome);
  }

  // Runs one SQL statement on the index behind the store's back.
  void Sql(const std::string& statement) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((userData_ / "assets.tdx").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }

  // The folders recorded in flight, with the store closed: the rows of the
  // index's in_flight table and the lines of the record file beside it.
  int InFlightRows() {
    sqlite3* db = nullptr;
    int rows = -1;
    EXPECT_EQ(sqlite3_open((userData_ / "assets.tdx").c_str(), &db), SQLITE_OK);
    const auto first = [](void* out, int, char** values, char**) {
      *static_cast<int*>(out) = std::atoi(values[0]);
      return 0;
    };
    sqlite3_exec(db, "SELECT COUNT(*) FROM in_flight;", first, &rows, nullptr);
    sqlite3_close(db);
    std::ifstream record(InFlightRecordPath(), std::ios::binary);
    std::string text;
    std::getline(record, text, '\0');
    return rows + int(std::count(text.begin(), text.end(), '\n'));
  }

  fs::path InFlightRecordPath() const { return userData_ / "assets.tdx.in-flight"; }

  // Records the folder at `path` (below local/ or editing/) in flight, as
  // a replacement does before it makes it.
  void RecordInFlight(const fs::path& path) {
    struct stat info = {};
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    Sql("INSERT INTO in_flight VALUES('" + path.parent_path().filename().string() + "', '" +
        path.filename().string() + "', " + std::to_string(info.st_dev) + ", " +
        std::to_string(info.st_ino) + ");");
  }

  // A staging folder of the store holding a copy of `source`.
  std::string Staged(const fs::path& source) {
    std::string staging;
    EXPECT_TRUE(store_->MakeStagingFolder(&staging).Ok());
    fs::copy(source, staging, fs::copy_options::recursive);
    return staging;
  }

  std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Whether an install is under way: a staging folder is in local/.
  bool StagingUnderWay() const {
    std::error_code error;
    for (const auto& item : fs::directory_iterator(userData_ / "local", error)) {
      if (item.path().filename().string().starts_with(".vadtmp-")) return true;
    }
    return false;
  }

  // Runs `installRound` over and over in a child process, on a store of
  // its own, and kills that process in its `rounds`-th round or later,
  // while a staging folder of it exists (the install is under way).
  void KillInstallerDuringRound(int rounds, const std::function<void(AssetStore&)>& installRound) {
    int done[2];
    ASSERT_EQ(pipe(done), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(done[0]);
      AssetStore store(Options());
      if (!store.Open().Ok()) _exit(2);
      for (;;) {
        installRound(store);
        if (write(done[1], "r", 1) != 1) _exit(3);
      }
    }
    close(done[1]);
    char round;
    for (int i = 0; i < rounds; ++i) ASSERT_EQ(read(done[0], &round, 1), 1);
    EXPECT_TRUE(VUTest::WaitUntil([this] { return StagingUnderWay(); }, 10000, 1));
    kill(child, SIGKILL);
    close(done[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
  }

  std::vector<fs::path> DamagedFiles() const { return DamagedFilesIn(userData_); }

  VUTest::TempFolder temp_{"Store"};
  const fs::path root_ = temp_.Path();
  const fs::path userData_ = root_ / "UserData";
  std::unique_ptr<AssetStore> store_;
};

TEST_F(AssetStoreTest, InstallRecordsConfigurationAndCopiesFiles) {
  const fs::path source =
      Source(kLoco, "Old_Loco", "vandru-build 3.5\r\nkuid-table\r\n{\r\n  0 <kuid:100:6>\r\n}\r\n");
  AssetStore::InstallOutcome outcome;
  const StoreResult result = store_->InstallFolder(source.string(), {}, &outcome);
  ASSERT_TRUE(result.Ok()) << result.message;
  EXPECT_EQ(outcome.kuid, kLoco);
  EXPECT_FALSE(outcome.replaced);

  const StoredAsset asset = Get(kLoco);
  EXPECT_EQ(asset.name, "Old_Loco");
  EXPECT_EQ(asset.kind, "traincar");
  EXPECT_EQ(asset.region, "DE");
  EXPECT_EQ(asset.era, "1950s");
  EXPECT_EQ(asset.authorId, 100);
  EXPECT_FLOAT_EQ(asset.build, 3.5f);
  EXPECT_EQ(asset.dependencies, std::vector<KUID>{kWagon});
  EXPECT_EQ(asset.status[kStatusAlwaysSet], 1);
  EXPECT_EQ(asset.status[kStatusInstalledLocally], 1);
  EXPECT_EQ(asset.status[kStatusOpenForEdit], 0);
  EXPECT_EQ(asset.folder, "kuid 100 5");
  EXPECT_EQ(GetFile(fs::path(store_->InstalledPath(asset)) / "meshes" / "body.im"),
            "mesh of Old_Loco");
  Soup config;
  ASSERT_TRUE(store_->LoadConfig(kLoco, &config));
  EXPECT_EQ(config.GetNamedTag(Kiv::PString("kind")).Str(), "traincar");
  EXPECT_EQ(Entries(userData_ / "local"), std::vector<std::string>{"kuid 100 5"});

  ASSERT_TRUE(store_->Remove(kLoco).Ok());
  StoredAsset gone;
  EXPECT_FALSE(store_->Find(kLoco, &gone));
  EXPECT_TRUE(Entries(userData_ / "local").empty());
  EXPECT_EQ(store_->Remove(kLoco).code, StoreCode::kNotFound);
}

TEST_F(AssetStoreTest, BadSourcesAreRefusedWithoutLeftovers) {
  const fs::path noConfig = root_ / "no-config";
  PutFile(noConfig / "readme.txt", "nothing");
  EXPECT_EQ(Install(noConfig).code, StoreCode::kBadConfig);

  const fs::path noKuid = root_ / "no-kuid";
  PutFile(noKuid / "config.txt", "username \"x\"\r\n");
  EXPECT_EQ(Install(noKuid).code, StoreCode::kBadConfig);

  // A pipe would block a plain copy forever; a link to a folder could loop.
  const fs::path pipe = Source(kLoco, "pipe");
  ASSERT_EQ(mkfifo((pipe / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(Install(pipe).code, StoreCode::kIoError);
  const fs::path link = Source(kLoco, "link");
  fs::create_directory_symlink(root_, link / "loop");
  EXPECT_EQ(Install(link).code, StoreCode::kIoError);

  EXPECT_EQ(Install(root_ / "missing").code, StoreCode::kIoError);
  // A tag name that the binary form cannot hold: the configuration could
  // not be handed out whole, so it is not taken in.
  const StoreResult longName = Install(Source(kLoco, "long", std::string(300, 'q') + " 1\r\n"));
  EXPECT_EQ(longName.code, StoreCode::kBadConfig);
  EXPECT_NE(longName.message.find("\"" + std::string(40, 'q') + "...\" cannot be stored"),
            std::string::npos)
      << longName.message;
  EXPECT_TRUE(Entries(userData_ / "local").empty());
  EXPECT_TRUE(store_->List().empty());
  // Only the store's own staging folders are installed from.
  EXPECT_EQ(store_->InstallStaged(noKuid.string(), {}, nullptr).code, StoreCode::kBadArgument);
  EXPECT_TRUE(fs::exists(noKuid / "config.txt"));
}

TEST_F(AssetStoreTest, ReinstallReplacesFilesAndKeepsStoredValues) {
  ASSERT_TRUE(Install(Source(kLoco, "first")).Ok());
  ASSERT_TRUE(store_->SetKeywords(kLoco, "red;fast").Ok());
  ASSERT_TRUE(store_->SetFavourite(kLoco, true).Ok());
  ASSERT_TRUE(store_->SetStatusByte(kLoco, kStatusOnDownloadService, 1).Ok());
  ASSERT_TRUE(store_->SetStatusByte(kLoco, kStatusFaulty, 1).Ok());

  AssetStore::InstallOptions keep;
  keep.replace = false;
  EXPECT_EQ(Install(Source(kLoco, "second"), keep).code, StoreCode::kExists);
  AssetStore::InstallOutcome outcome;
  ASSERT_TRUE(store_->InstallFolder(Source(kLoco, "second").string(), {}, &outcome).Ok());
  EXPECT_TRUE(outcome.replaced);

  const StoredAsset asset = Get(kLoco);
  EXPECT_EQ(asset.name, "second");
  EXPECT_EQ(asset.keywords, "red;fast");
  EXPECT_TRUE(asset.favourite);
  EXPECT_EQ(asset.status[kStatusOnDownloadService], 1);
  // A new copy is not known to be faulty.
  EXPECT_EQ(asset.status[kStatusFaulty], 0);
  // The new copy takes the other name; the old one is gone, and so is the
  // record of the replacement.
  EXPECT_EQ(Entries(userData_ / "local"), std::vector<std::string>{"kuid 100 5~"});
  store_.reset();
  EXPECT_EQ(InFlightRows(), 0);
  Reopen();
  EXPECT_EQ(GetFile(fs::path(store_->InstalledPath(asset)) / "meshes" / "body.im"),
            "mesh of second");
  ASSERT_TRUE(Install(Source(kLoco, "third")).Ok());
  EXPECT_EQ(Entries(userData_ / "local"), std::vector<std::string>{"kuid 100 5"});
}

// A replacement makes its new folder only once it has recorded it: when
// the record cannot be written, the install fails and the asset is as it
// was.
TEST_F(AssetStoreTest, AReplacementThatCannotRecordItselfChangesNothing) {
  ASSERT_TRUE(Install(Source(kLoco, "first")).Ok());
  PutFile(InFlightRecordPath() / "in-the-way.txt", "not the store's");
  const StoreResult replaced = Install(Source(kLoco, "second"));
  EXPECT_EQ(replaced.code, StoreCode::kIoError);
  EXPECT_NE(replaced.message.find(InFlightRecordPath().string()), std::string::npos)
      << replaced.message;
  EXPECT_EQ(Get(kLoco).name, "first");
  EXPECT_EQ(Entries(userData_ / "local"), std::vector<std::string>{"kuid 100 5"});
}

// An old copy that a replacement could not remove stays recorded, and the
// next start removes it rather than set it aside.
TEST_F(AssetStoreTest, AnOldCopyAReplacementCouldNotRemoveGoesAtTheNextStart) {
  ASSERT_TRUE(Install(Source(kLoco, "first")).Ok());
  {
    ImmutableFolder frozen((userData_ / "local" / "kuid 100 5").string());
    if (!frozen.Made()) GTEST_SKIP() << "the immutable attribute cannot be set here";
    ASSERT_TRUE(Install(Source(kLoco, "second")).Ok());
    store_.reset();
  }
  Reopen();
  EXPECT_EQ(store_->LastRecovery().foldersRemoved, 1u);
  EXPECT_TRUE(store_->LastRecovery().copiesSetAside.empty());
  EXPECT_EQ(Entries(userData_ / "local"), std::vector<std::string>{"kuid 100 5~"});
  EXPECT_EQ(Get(kLoco).name, "second");
}

TEST_F(AssetStoreTest, EditCycleCommitsAndRevertsCopies) {
  ASSERT_TRUE(Install(Source(kLoco, "loco")).Ok());
  AssetStore::EditInfo edit;
  ASSERT_TRUE(store_->BeginEdit(kLoco, &edit).Ok());
  EXPECT_EQ(edit.kuid, kLoco);
  EXPECT_EQ(fs::path(edit.path).parent_path(), userData_ / "editing");
  EXPECT_EQ(GetFile(fs::path(edit.path) / "meshes" / "body.im"), "mesh of loco");
  EXPECT_EQ(Get(kLoco).status[kStatusOpenForEdit], 1);
  // Opening again answers the same copy.
  AssetStore::EditInfo again;
  ASSERT_TRUE(store_->BeginEdit(kLoco, &again).Ok());
  EXPECT_EQ(again.path, edit.path);

  PutFile(fs::path(edit.path) / "config.txt", Config(kLoco, "edited"));
  PutFile(fs::path(edit.path) / "meshes" / "body.im", "new mesh");
  AssetStore::InstallOutcome outcome;
  ASSERT_TRUE(store_->CommitEdit(kLoco, &outcome).Ok());
  // What the commit let go of waits under a staging name until the store
  // is told to remove it (after the reply).
  EXPECT_EQ(Entries(userData_ / "editing").size(), 1u);
  store_->RemoveDiscarded();
  EXPECT_TRUE(outcome.replaced);
  StoredAsset asset = Get(kLoco);
  EXPECT_EQ(asset.name, "edited");
  EXPECT_FALSE(asset.OpenForEdit());
  EXPECT_EQ(asset.status[kStatusLocallyModified], 1);
  EXPECT_EQ(GetFile(fs::path(store_->InstalledPath(asset)) / "meshes" / "body.im"), "new mesh");
  EXPECT_TRUE(Entries(userData_ / "editing").empty());
  EXPECT_EQ(store_->CommitEdit(kLoco, nullptr).code, StoreCode::kNotFound);

  ASSERT_TRUE(store_->BeginEdit(kLoco, &edit).Ok());
  PutFile(fs::path(edit.path) / "meshes" / "body.im", "thrown away");
  ASSERT_TRUE(store_->RevertEdit(kLoco).Ok());
  asset = Get(kLoco);
  EXPECT_FALSE(asset.OpenForEdit());
  EXPECT_EQ(GetFile(fs::path(store_->InstalledPath(asset)) / "meshes" / "body.im"), "new mesh");
  EXPECT_TRUE(Entries(userData_ / "editing").empty());
  EXPECT_EQ(store_->RevertEdit(kLoco).code, StoreCode::kNotFound);
  EXPECT_EQ(store_->BeginEdit(kWagon, &edit).code, StoreCode::kNotFound);
}

// The quick answer for an asset already open for edit: the same copy as
// BeginEdit, and nothing at all (no copy made) for any other asset.
TEST_F(AssetStoreTest, BeginEditIfOpenAnswersOnlyAnAssetAlreadyOpen) {
  ASSERT_TRUE(Install(Source(kLoco, "loco")).Ok());
  AssetStore::EditInfo quick;
  EXPECT_FALSE(store_->BeginEditIfOpen(kLoco, &quick));
  EXPECT_FALSE(store_->BeginEditIfOpen(kWagon, &quick));
  EXPECT_FALSE(Get(kLoco).OpenForEdit());
  EXPECT_FALSE(fs::exists(userData_ / "editing") && !Entries(userData_ / "editing").empty());

  AssetStore::EditInfo edit;
  ASSERT_TRUE(store_->BeginEdit(kLoco, &edit).Ok());
  ASSERT_TRUE(store_->BeginEditIfOpen(kLoco, &quick));
  EXPECT_EQ(quick.kuid, kLoco);
  EXPECT_EQ(quick.editFolder, edit.editFolder);
  EXPECT_EQ(quick.path, edit.path);

  ASSERT_TRUE(store_->RevertEdit(kLoco).Ok());
  EXPECT_FALSE(store_->BeginEditIfOpen(kLoco, &quick));
}

TEST(KUIDLockSet, TryAcquireTakesNothingWhileTheKUIDIsHeld) {
  KUIDLockSet locks;
  const KUID a{100, 1, 0};
  const KUID b{100, 2, 0};
  {
    const KUIDLockSet::Hold held = locks.Acquire(a);
    EXPECT_FALSE(locks.TryAcquire(a).Held());
    EXPECT_TRUE(locks.TryAcquire(b).Held());
  }
  EXPECT_TRUE(locks.TryAcquire(a).Held());
}

// Readers of one asset hold it together; a writer waits for them, and once
// it waits, new readers wait behind it, so readers never starve it.
TEST(KUIDLockSet, ReadersShareAndAWaitingWriterGoesFirst) {
  KUIDLockSet locks;
  const KUID a{100, 1, 0};
  const KUID b{100, 2, 0};
  KUIDLockSet::Hold first = locks.AcquireShared(a);
  KUIDLockSet::Hold second = locks.TryAcquireShared(a);
  ASSERT_TRUE(second.Held());
  EXPECT_FALSE(locks.TryAcquire(a).Held());
  std::atomic<bool> writing{false};
  std::thread writer([&] {
    const KUIDLockSet::Hold held = locks.Acquire(a);
    writing = true;
  });
  // Once the writer waits, a new reader of `a` is turned away.
  EXPECT_TRUE(VUTest::WaitUntil([&] { return !locks.TryAcquireShared(a).Held(); }, 10000));
  EXPECT_TRUE(locks.TryAcquireShared(b).Held());
  EXPECT_FALSE(writing);
  first.Release();
  EXPECT_FALSE(writing);
  second = KUIDLockSet::Hold();  // the last reader goes
  writer.join();
  EXPECT_TRUE(writing);
  EXPECT_TRUE(locks.TryAcquire(a).Held());
}

// Whether the thread `tid` of this process sleeps (blocked in a wait).
bool ThreadSleeps(pid_t tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string stat;
  std::getline(in, stat);
  const size_t name = stat.rfind(')');
  return name != std::string::npos && stat.size() > name + 2 && stat[name + 2] == 'S';
}

// A reader that blocks while a writer waits gets the asset after that
// writer, not beside the readers that came before it.
TEST(KUIDLockSet, BlockingReaderArrivingWhileAWriterWaitsComesAfterIt) {
  KUIDLockSet locks;
  const KUID a{100, 1, 0};
  KUIDLockSet::Hold first = locks.AcquireShared(a);
  std::atomic<bool> written{false};
  std::thread writer([&] {
    const KUIDLockSet::Hold held = locks.Acquire(a);
    written = true;
  });
  ASSERT_TRUE(VUTest::WaitUntil([&] { return !locks.TryAcquireShared(a).Held(); }, 10000));
  std::atomic<pid_t> readerTid{0};
  std::atomic<bool> reading{false};
  bool writtenBeforeRead = false;
  std::thread reader([&] {
    readerTid = gettid();
    const KUIDLockSet::Hold held = locks.AcquireShared(a);
    writtenBeforeRead = written;
    reading = true;
  });
  // The reader holds the asset already (wrongly) or waits for it.
  EXPECT_TRUE(VUTest::WaitUntil(
      [&] { return reading || (readerTid != 0 && ThreadSleeps(readerTid)); }, 10000));
  EXPECT_FALSE(reading) << "a reader went ahead of the waiting writer";
  first.Release();
  writer.join();
  reader.join();
  EXPECT_TRUE(writtenBeforeRead);
}

// A reader sent to a copy that was replaced meanwhile reads the copy that
// took its place; other paths are read as they are, with nothing held.
TEST_F(AssetStoreTest, ReaderOfAReplacedCopyReadsTheCurrentOne) {
  ASSERT_TRUE(Install(Source(kLoco, "first")).Ok());
  const std::string old = store_->InstalledPath(Get(kLoco));
  ASSERT_TRUE(Install(Source(kLoco, "second")).Ok());
  const std::string now = store_->InstalledPath(Get(kLoco));
  ASSERT_NE(old, now);
  AssetStore::ReadHold hold;
  std::string folder;
  ASSERT_TRUE(store_->HoldFolderForReading(old, true, &hold, &folder));
  EXPECT_EQ(folder, now);
  EXPECT_TRUE(hold.Held());
  hold.Release();
  ASSERT_TRUE(store_->HoldFolderForReading(now, false, &hold, &folder));
  EXPECT_EQ(folder, now);
  EXPECT_TRUE(hold.Held());
  hold.Release();

  // The location named with a path goes with the copy read instead.
  AssetStore::EditInfo edit;
  ASSERT_TRUE(store_->BeginEdit(kLoco, &edit).Ok());
  std::string location = AssetStore::kEditingLocation;
  ASSERT_TRUE(store_->HoldFolderForReading(edit.path, true, &hold, &folder, &location));
  EXPECT_EQ(folder, edit.path);
  EXPECT_EQ(location, AssetStore::kEditingLocation);
  hold.Release();
  ASSERT_TRUE(store_->CommitEdit(kLoco, nullptr).Ok());
  store_->RemoveDiscarded();
  ASSERT_TRUE(store_->HoldFolderForReading(edit.path, true, &hold, &folder, &location));
  EXPECT_EQ(folder, store_->InstalledPath(Get(kLoco)));
  EXPECT_EQ(location, AssetStore::kLocalLocation);
  hold.Release();

  const std::string elsewhere = (root_ / "kuid 100 5").string();
  ASSERT_TRUE(store_->HoldFolderForReading(elsewhere, true, &hold, &folder));
  EXPECT_EQ(folder, elsewhere);
  EXPECT_FALSE(hold.Held());

  // A removed asset has nothing left to read.
  ASSERT_TRUE(store_->Remove(kLoco).Ok());
  ASSERT_TRUE(store_->HoldFolderForReading(now, true, &hold, &folder));
  EXPECT_EQ(folder, "");
}

// A commit that fails after taking the edit folder gives it back under its
// name, with what it held; one cut short by a crash after the take finds
// its edit copy under the other name at the next start.
TEST_F(AssetStoreTest, TakenEditFolderIsNeverLost) {
  ASSERT_TRUE(Install(Source(kLoco, "loco")).Ok());
  AssetStore::EditInfo edit;
  ASSERT_TRUE(store_->BeginEdit(kLoco, &edit).Ok());
  PutFile(fs::path(edit.path) / "notes.txt", "my change");
  PutFile(fs::path(edit.path) / "config.txt", Config(kWagon, "misfiled"));
  EXPECT_EQ(store_->CommitEdit(kLoco, nullptr).code, StoreCode::kBadConfig);
  EXPECT_EQ(GetFile(fs::path(edit.path) / "notes.txt"), "my change");
  EXPECT_EQ(Get(kLoco).editFolder, edit.editFolder);
  EXPECT_EQ(Entries(userData_ / "editing"), std::vector<std::string>{edit.editFolder});

  PutFile(fs::path(edit.path) / "config.txt", Config(kLoco, "loco"));
  store_.reset();
  fs::rename(edit.path, edit.path + "~");  // the take, and then the crash
  Reopen();
  EXPECT_EQ(store_->LastRecovery().editsCleared, 0u);
  const StoredAsset asset = Get(kLoco);
  ASSERT_TRUE(asset.OpenForEdit());
  EXPECT_EQ(asset.editFolder, edit.editFolder + "~");
  ASSERT_TRUE(store_->CommitEdit(kLoco, nullptr).Ok());
  store_->RemoveDiscarded();
  EXPECT_EQ(GetFile(fs::path(store_->InstalledPath(Get(kLoco))) / "notes.txt"), "my change");
  EXPECT_TRUE(Entries(userData_ / "editing").empty());
}

TEST_F(AssetStoreTest, CommitRefusesEditWithoutUsableConfiguration) {
  ASSERT_TRUE(Install(Source(kLoco, "loco")).Ok());
  AssetStore::EditInfo edit;
  ASSERT_TRUE(store_->BeginEdit(kLoco, &edit).Ok());
  PutFile(fs::path(edit.path) / "config.txt", Config(kWagon, "misfiled"));
  EXPECT_EQ(store_->CommitEdit(kLoco, nullptr).code, StoreCode::kBadConfig);
  PutFile(fs::path(edit.path) / "config.txt",
          Config(kLoco, "long", std::string(300, 'q') + " 1\r\n"));
  EXPECT_EQ(store_->CommitEdit(kLoco, nullptr).code, StoreCode::kBadConfig);
  fs::remove(fs::path(edit.path) / "config.txt");
  EXPECT_EQ(store_->CommitEdit(kLoco, nullptr).code, StoreCode::kBadConfig);
  // A configuration that links out of the folder is refused unread, even
  // when the file it leads to would do.
  const fs::path outside = root_ / "outside-config.txt";
  PutFile(outside, Config(kLoco, "outside"));
  fs::create_symlink(outside, fs::path(edit.path) / "config.txt");
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, outside.c_str(), IN_OPEN | IN_ACCESS), 0);
  EXPECT_EQ(store_->CommitEdit(kLoco, nullptr).code, StoreCode::kBadConfig);
  char event[sizeof(inotify_event) + NAME_MAX + 1];
  EXPECT_LT(read(watch, event, sizeof event), 0) << "the outside file was opened";
  close(watch);
  fs::remove(fs::path(edit.path) / "config.txt");
  // Nothing changed: still open, installed copy untouched, no staging left.
  const StoredAsset asset = Get(kLoco);
  EXPECT_TRUE(asset.OpenForEdit());
  EXPECT_EQ(asset.name, "loco");
  EXPECT_EQ(Entries(userData_ / "local"), std::vector<std::string>{"kuid 100 5"});
}

TEST_F(AssetStoreTest, RemoveThatCannotMoveAFolderChangesNothing) {
  // The asset is installed and open for edit; one of the two folders
  // cannot be written.
  for (const char* location : {"local", "editing"}) {
    SCOPED_TRACE(location);
    ASSERT_TRUE(Install(Source(kLoco, "loco")).Ok());
    AssetStore::EditInfo edit;
    ASSERT_TRUE(store_->BeginEdit(kLoco, &edit).Ok());
    const std::vector<std::string> local = Entries(userData_ / "local");
    const std::vector<std::string> editing = Entries(userData_ / "editing");
    {
      ImmutableFolder frozen((userData_ / location).string());
      if (!frozen.Made()) GTEST_SKIP() << "the immutable attribute cannot be set here";
      const StoreResult refused = store_->Remove(kLoco);
      EXPECT_EQ(refused.code, StoreCode::kIoError) << refused.message;
    }
    const StoredAsset asset = Get(kLoco);
    EXPECT_TRUE(asset.Installed());
    EXPECT_TRUE(asset.OpenForEdit());
    EXPECT_EQ(Entries(userData_ / "local"), local);
    EXPECT_EQ(Entries(userData_ / "editing"), editing);
    EXPECT_EQ(GetFile(fs::path(edit.path) / "meshes" / "body.im"), "mesh of loco");

    ASSERT_TRUE(store_->Remove(kLoco).Ok());
    EXPECT_TRUE(Entries(userData_ / "local").empty());
    EXPECT_TRUE(Entries(userData_ / "editing").empty());
  }
}

TEST_F(AssetStoreTest, ReservedAssetIsAPlaceholderUntilCommitted) {
  AssetStore::EditInfo edit;
  ASSERT_TRUE(store_->Reserve(kNullKUID, "Fresh", &edit).Ok());
  EXPECT_EQ(edit.kuid.userId, 100);
  EXPECT_EQ(edit.kuid.version, 0);
  StoredAsset asset = Get(edit.kuid);
  EXPECT_TRUE(asset.placeholder);
  EXPECT_FALSE(asset.Installed());
  EXPECT_EQ(asset.name, "Fresh");
  EXPECT_TRUE(fs::is_directory(edit.path));

  PutFile(fs::path(edit.path) / "config.txt", Config(edit.kuid, "Fresh"));
  ASSERT_TRUE(store_->CommitEdit(edit.kuid, nullptr).Ok());
  store_->RemoveDiscarded();
  asset = Get(edit.kuid);
  EXPECT_FALSE(asset.placeholder);
  EXPECT_TRUE(asset.Installed());

  AssetStore::EditInfo dropped;
  ASSERT_TRUE(store_->Reserve(kWagon, "Dropped", &dropped).Ok());
  ASSERT_TRUE(store_->RevertEdit(kWagon).Ok());
  EXPECT_FALSE(store_->Find(kWagon, &asset));
  EXPECT_TRUE(Entries(userData_ / "editing").empty());
  EXPECT_EQ(store_->Reserve(KUID{0x2000000, 7, 0}, "bad", &dropped).code, StoreCode::kBadArgument);
}

TEST_F(AssetStoreTest, InstallAsEditCopyLeavesInstalledCopyAlone) {
  ASSERT_TRUE(Install(Source(kLoco, "installed")).Ok());
  AssetStore::InstallOptions options;
  options.asEditCopy = true;
  AssetStore::InstallOutcome outcome;
  ASSERT_TRUE(store_->InstallFolder(Source(kLoco, "incoming").string(), options, &outcome).Ok());
  EXPECT_TRUE(outcome.leftOpenForEdit);
  const StoredAsset asset = Get(kLoco);
  EXPECT_EQ(asset.name, "installed");
  EXPECT_EQ(GetFile(fs::path(store_->EditPath(asset)) / "meshes" / "body.im"), "mesh of incoming");
  EXPECT_EQ(GetFile(fs::path(store_->InstalledPath(asset)) / "meshes" / "body.im"),
            "mesh of installed");
  // A plain install over it replaces the edit copy, which is kept aside
  // once the user has written into it.
  PutFile(fs::path(store_->EditPath(asset)) / "notes.txt", "the user's");
  AssetStore::InstallOutcome plain;
  ASSERT_TRUE(store_->InstallFolder(Source(kLoco, "plain").string(), {}, &plain).Ok());
  EXPECT_FALSE(Get(kLoco).OpenForEdit());
  const std::vector<std::string> editing = Entries(userData_ / "editing");
  ASSERT_EQ(editing.size(), 1u);
  EXPECT_EQ(plain.editCopyAside, (userData_ / "editing" / "kuid 100 5").string() + " as " +
                                     (userData_ / "editing" / editing[0]).string());
  EXPECT_EQ(GetFile(userData_ / "editing" / editing[0] / "meshes" / "body.im"), "mesh of incoming");
}

TEST_F(AssetStoreTest, NewKUIDStaysAboveUsedIdsAndAcrossRestarts) {
  ASSERT_TRUE(Install(Source(KUID{100, 40, 2}, "v2")).Ok());
  EXPECT_EQ(store_->NewKUID(), (KUID{100, 41, 0}));
  EXPECT_EQ(store_->NewKUID(), (KUID{100, 42, 0}));
  Reopen();
  EXPECT_EQ(store_->NewKUID(), (KUID{100, 43, 0}));
  ASSERT_TRUE(Install(Source(KUID{100, 0x7FFFFFFF, 0}, "last")).Ok());
  EXPECT_TRUE(store_->NewKUID().IsNull());
  AssetStore::EditInfo edit;
  EXPECT_EQ(store_->Reserve(kNullKUID, "none left", &edit).code, StoreCode::kExhausted);

  AssetStore::Options options = Options();
  options.localUserId = 0x2000000;
  AssetStore outside(options);
  EXPECT_EQ(outside.Open().code, StoreCode::kBadArgument);
}

TEST_F(AssetStoreTest, StoredValuesSurviveReopen) {
  const std::vector<uint8_t> soup{'A', 'C', 'S', '$', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(store_->SetSettingsGroup("internet", soup).Ok());
  ASSERT_TRUE(store_->SetLocalData(kLoco, "rating", soup).Ok());
  ASSERT_TRUE(store_->SetLocalData(kLoco, "empty", std::vector<uint8_t>()).Ok());
  ASSERT_TRUE(store_->SetUser(77, "maker", 12).Ok());
  StoredAsset catalog;
  catalog.kuid = kWagon;
  catalog.name = "catalog only";
  catalog.status[kStatusOnDownloadService] = 1;
  catalog.status[kStatusInstalledLocally] = 1;  // not the caller's to set
  ASSERT_TRUE(store_->PutMetadata(catalog).Ok());
  Reopen();

  std::vector<uint8_t> bytes;
  ASSERT_TRUE(store_->GetSettingsGroup("internet", &bytes));
  EXPECT_EQ(bytes, soup);
  EXPECT_FALSE(store_->GetSettingsGroup("Internet", &bytes));
  ASSERT_TRUE(store_->GetLocalData(kLoco, "rating", &bytes));
  EXPECT_EQ(bytes, soup);
  ASSERT_TRUE(store_->GetLocalData(kLoco, "empty", &bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(store_->GetLocalData(kWagon, "rating", &bytes));
  std::string name;
  int32_t second = 0;
  ASSERT_TRUE(store_->FindUser(77, &name, &second));
  EXPECT_EQ(name, "maker");
  EXPECT_EQ(second, 12);
  EXPECT_FALSE(store_->FindUser(78, &name, &second));

  // The catalog row has no folder, so recovery keeps it.
  const StoredAsset kept = Get(kWagon);
  EXPECT_EQ(kept.name, "catalog only");
  EXPECT_EQ(kept.status[kStatusOnDownloadService], 1);
  EXPECT_EQ(kept.status[kStatusInstalledLocally], 0);
  EXPECT_EQ(store_->SetStatusByte(kWagon, kStatusInstalledLocally, 1).code,
            StoreCode::kBadArgument);
  EXPECT_EQ(store_->SetStatusByte(kWagon, kStatusByteCount, 1).code, StoreCode::kBadArgument);
  EXPECT_EQ(store_->SetFavourite(kLoco, true).code, StoreCode::kNotFound);
}

TEST_F(AssetStoreTest, RecoveryMakesIndexAndFoldersAgree) {
  const KUID gone{100, 20, 0};
  const KUID edited{100, 21, 0};
  const KUID reserved{100, 22, 0};
  const KUID converting{100, 23, 0};
  ASSERT_TRUE(Install(Source(kLoco, "kept")).Ok());
  ASSERT_TRUE(Install(Source(gone, "gone")).Ok());
  ASSERT_TRUE(Install(Source(edited, "edited")).Ok());
  ASSERT_TRUE(Install(Source(converting, "converting")).Ok());
  AssetStore::EditInfo edit;
  ASSERT_TRUE(store_->BeginEdit(converting, &edit).Ok());
  const fs::path cutShort = edit.path;
  ASSERT_TRUE(store_->BeginEdit(edited, &edit).Ok());
  ASSERT_TRUE(store_->Reserve(reserved, "reserved", &edit).Ok());
  store_.reset();

  // What a crash can leave: a staging folder, the new copy of a replacement
  // whose commit never happened (recorded in flight by an older daemon in
  // the index, without a birth time: set aside), rows whose folders are
  // missing. Folders no row names are taken in when they are usable (an
  // edit copy always is), else left alone. Plus entries that are not the
  // store's.
  const fs::path local = userData_ / "local";
  const fs::path editing = userData_ / "editing";
  PutFile(local / ".vadtmp-1-2-3" / "config.txt", "half");
  PutFile(local / "kuid 100 5~" / "config.txt", "uncommitted copy");
  RecordInFlight(local / "kuid 100 5~");
  PutFile(local / "kuid2 100 9 3" / "config.txt", "no row");
  PutFile(editing / "kuid 100 9" / "config.txt", "no row");
  fs::remove_all(local / "kuid 100 20");
  fs::remove_all(editing / "kuid 100 21");
  fs::remove_all(editing / "kuid 100 22");
  PutFile(local / "notes" / "mine.txt", "user's own");
  PutFile(local / "kuid2 100 9 0" / "x", "not a canonical name");
  // Texture sources a conversion cut short left under their temporary name,
  // one beside a source of its own name.
  PutFile(cutShort / "sub" / "a.convert-tex.txt", "Primary=a.png");
  PutFile(cutShort / "b.CONVERT-TEX.txt", "aside");
  PutFile(cutShort / "B.texture.txt", "Primary=b.png");
  Reopen();

  const AssetStore::RecoveryReport& report = store_->LastRecovery();
  EXPECT_EQ(report.rowsRemoved, 2u);  // `gone` and the placeholder `reserved`
  EXPECT_EQ(report.editsCleared, 2u);
  EXPECT_EQ(report.foldersRemoved, 1u);
  ASSERT_EQ(report.copiesSetAside.size(), 1u);
  EXPECT_EQ(report.copiesSetAside[0].rfind((local / "kuid 100 5~").string() + " as ", 0), 0u);
  EXPECT_EQ(report.leftAlone.size(), 2u);
  EXPECT_EQ(report.notTakenIn.size(), 1u);  // "kuid2 100 9 3" names no KUID
  EXPECT_EQ(report.editsTakenIn, 1u);
  EXPECT_EQ(report.sourcesRenamed, 1u);
  EXPECT_EQ(GetFile(cutShort / "sub" / "a.texture.txt"), "Primary=a.png");
  EXPECT_EQ(GetFile(cutShort / "b.CONVERT-TEX.txt"), "aside");
  StoredAsset asset;
  EXPECT_FALSE(store_->Find(gone, &asset));
  EXPECT_FALSE(store_->Find(reserved, &asset));
  ASSERT_TRUE(store_->Find(edited, &asset));
  EXPECT_TRUE(asset.Installed());
  EXPECT_FALSE(asset.OpenForEdit());
  ASSERT_TRUE(store_->Find(kLoco, &asset));
  EXPECT_EQ(GetFile(fs::path(store_->InstalledPath(asset)) / "meshes" / "body.im"), "mesh of kept");
  ASSERT_TRUE(store_->Find(KUID{100, 9, 0}, &asset));
  EXPECT_TRUE(asset.OpenForEdit());
  EXPECT_TRUE(asset.placeholder);
  std::vector<std::string> entries = Entries(local);
  ASSERT_EQ(entries.size(), 7u);
  EXPECT_EQ(entries[3].rfind("kuid 100 5~.set-aside-", 0), 0u);
  entries.erase(entries.begin() + 3);
  EXPECT_EQ(entries, (std::vector<std::string>{"kuid 100 21", "kuid 100 23", "kuid 100 5",
                                               "kuid2 100 9 0", "kuid2 100 9 3", "notes"}));
  EXPECT_EQ(Entries(editing), (std::vector<std::string>{"kuid 100 23", "kuid 100 9"}));
  // The row an older daemon recorded is settled and gone.
  store_.reset();
  EXPECT_EQ(InFlightRows(), 0);
}

TEST_F(AssetStoreTest, DamagedIndexNeverLeadsOutsideTheFolders) {
  ASSERT_TRUE(Install(Source(kLoco, "loco")).Ok());
  store_.reset();
  PutFile(root_ / "victim" / "keep.txt", "precious");
  Sql("UPDATE assets SET folder = '../../victim';");
  Reopen();
  // The row loses the folder it named; the asset's own folder is taken in.
  StoredAsset asset;
  ASSERT_TRUE(store_->Find(kLoco, &asset));
  EXPECT_EQ(asset.folder, "kuid 100 5");
  EXPECT_EQ(GetFile(root_ / "victim" / "keep.txt"), "precious");
}

TEST_F(AssetStoreTest, IndexThatIsNotADatabaseIsSetAsideAndANewerOneKept) {
  store_.reset();
  const fs::path index = userData_ / "assets.tdx";
  fs::remove(index);
  const std::string junk(4096, 'x');
  PutFile(index, junk);
  {
    AssetStore store(Options());
    const StoreResult result = store.Open();
    ASSERT_TRUE(result.Ok()) << result.message;
    EXPECT_NE(store.LastRecovery().indexDamage.find("not a readable database"), std::string::npos);
    const std::vector<fs::path> aside = DamagedFiles();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(GetFile(aside[0]), junk);
    EXPECT_TRUE(store.InstallFolder(Source(kLoco, "x").string(), {}, nullptr).Ok());
  }

  fs::remove(index);
  Sql("PRAGMA user_version = 99;");
  AssetStore newer(Options());
  EXPECT_EQ(newer.Open().code, StoreCode::kDbError);
  EXPECT_EQ(DamagedFiles().size(), 1u);
}

TEST_F(AssetStoreTest, ConcurrentInstallsOfOneAndManyAssetsStayConsistent) {
  std::vector<fs::path> sources;
  for (int i = 0; i < 4; ++i)
    sources.push_back(Source(KUID{100, 50 + i, 0}, "many" + std::to_string(i)));
  const fs::path a = Source(kLoco, "a");
  const fs::path b = Source(kLoco, "b");
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round) {
        if (!Install(sources[size_t(t)]).Ok()) ++failures;
        if (!Install(round % 2 ? a : b).Ok()) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(store_->List().size(), 5u);
  const StoredAsset loco = Get(kLoco);
  const std::string mesh = GetFile(fs::path(store_->InstalledPath(loco)) / "meshes" / "body.im");
  EXPECT_EQ(mesh, "mesh of " + loco.name);
  EXPECT_EQ(Entries(userData_ / "local").size(), 5u);
}

// A process killed at any point of an install leaves, after recovery, the
// asset either fully installed (old or new copy) or absent.
TEST_F(AssetStoreTest, KilledInstallerLeavesEveryAssetWholeOrAbsent) {
  const fs::path a = Source(kLoco, "a");
  const fs::path b = Source(kLoco, "b");
  for (int file = 0; file < 40; ++file) {
    PutFile(a / ("f" + std::to_string(file)), std::string(2000, 'a'));
    PutFile(b / ("f" + std::to_string(file)), std::string(2000, 'b'));
  }
  store_.reset();
  // Each attempt kills the installer in its `attempt`-th install or later.
  for (int attempt = 0; attempt < 6; ++attempt) {
    int round = 0;  // counted in the installer's process
    ASSERT_NO_FATAL_FAILURE(KillInstallerDuringRound(attempt, [&](AssetStore& store) {
      store.InstallFolder((round++ % 2 ? a : b).string(), {}, nullptr);
    }));

    Reopen();
    StoredAsset asset;
    if (!store_->Find(kLoco, &asset)) {
      EXPECT_TRUE(Entries(userData_ / "local").empty());
    } else {
      const fs::path folder = store_->InstalledPath(asset);
      const char letter = asset.name == "a" ? 'a' : 'b';
      EXPECT_EQ(GetFile(folder / "meshes" / "body.im"), "mesh of " + asset.name);
      for (int file = 0; file < 40; ++file)
        EXPECT_EQ(GetFile(folder / ("f" + std::to_string(file))), std::string(2000, letter));
      EXPECT_EQ(Entries(userData_ / "local"), std::vector<std::string>{asset.folder});
    }
    store_.reset();
  }
}

// Installs made together answer as the same installs one after another:
// a later one of a KUID sees the earlier one, one that fails leaves the
// others, and no staging folder is left behind.
TEST_F(AssetStoreTest, InstallsMadeTogetherAnswerAsOneAfterAnother) {
  ASSERT_TRUE(Install(Source(kWagon, "Wagon_Old")).Ok());
  const fs::path broken = root_ / "broken";
  PutFile(broken / "config.txt", "username \"no kuid\"\r\n");
  const KUID third{100, 7, 0};

  std::vector<AssetStore::StagedInstall> installs(5);
  installs[0].stagingPath = Staged(Source(kLoco, "Loco_A"));
  installs[1].stagingPath = Staged(broken);
  installs[2].stagingPath = Staged(Source(kLoco, "Loco_B"));
  installs[2].options.asEditCopy = true;  // Loco_A is installed by then
  installs[3].stagingPath = Staged(Source(kWagon, "Wagon_New"));
  installs[3].options.replace = false;  // refused: installed before
  installs[4].stagingPath = Staged(Source(third, "Third"));
  bool finishedAsEditCopy = false;
  installs[2].options.finishStaging = [&](const std::string&, bool asEditCopy) {
    finishedAsEditCopy = asEditCopy;
    return true;
  };
  store_->InstallStagedTogether(installs);

  EXPECT_TRUE(installs[0].result.Ok()) << installs[0].result.message;
  EXPECT_EQ(installs[0].outcome.kuid, kLoco);
  EXPECT_FALSE(installs[0].outcome.replaced);
  EXPECT_EQ(installs[1].result.code, StoreCode::kBadConfig);
  EXPECT_TRUE(installs[2].result.Ok()) << installs[2].result.message;
  EXPECT_TRUE(installs[2].outcome.replaced);
  EXPECT_TRUE(installs[2].outcome.leftOpenForEdit);
  EXPECT_TRUE(finishedAsEditCopy);
  EXPECT_EQ(installs[3].result.code, StoreCode::kExists);
  EXPECT_TRUE(installs[4].result.Ok()) << installs[4].result.message;

  const StoredAsset loco = Get(kLoco);
  EXPECT_EQ(loco.name, "Loco A");
  ASSERT_TRUE(loco.OpenForEdit());
  EXPECT_EQ(GetFile(fs::path(store_->InstalledPath(loco)) / "meshes" / "body.im"),
            "mesh of Loco_A");
  EXPECT_EQ(GetFile(userData_ / "editing" / loco.editFolder / "meshes" / "body.im"),
            "mesh of Loco_B");
  EXPECT_EQ(Get(kWagon).name, "Wagon Old");
  EXPECT_EQ(Get(third).name, "Third");
  EXPECT_EQ(Entries(userData_ / "local"),
            (std::vector<std::string>{"kuid 100 5", "kuid 100 6", "kuid 100 7"}));

  // The same asset twice: the second replaces the first, whose folder goes.
  std::vector<AssetStore::StagedInstall> again(2);
  again[0].stagingPath = Staged(Source(third, "Third_1"));
  again[1].stagingPath = Staged(Source(third, "Third_2"));
  store_->InstallStagedTogether(again);
  ASSERT_TRUE(again[0].result.Ok() && again[1].result.Ok());
  EXPECT_TRUE(again[1].outcome.replaced);
  const StoredAsset replaced = Get(third);
  EXPECT_EQ(replaced.name, "Third 2");
  EXPECT_EQ(GetFile(fs::path(store_->InstalledPath(replaced)) / "meshes" / "body.im"),
            "mesh of Third_2");
  EXPECT_EQ(Entries(userData_ / "local").size(), 3u);
}

// What an install had done when it flushed a content folder: the folder,
// the entries of local/, and whether the index file was still as before the
// install (its changes reach the file only as it commits).
struct Flush {
  std::string folder;
  std::vector<std::string> local;
  bool indexAsBefore = false;
  bool operator==(const Flush&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Flush& flush) {
  out << flush.folder << " [";
  for (const std::string& name : flush.local) out << " " << name;
  return out << " ] " << (flush.indexAsBefore ? "before the commit" : "after the commit");
}

// The folders are renamed into place, then both content folders flushed,
// then the index commits: a crash can never leave a committed row whose
// folder's entry is not on the disk.
TEST_F(AssetStoreTest, InstallsFlushTheContentFoldersAfterTheRenamesAndBeforeTheCommit) {
  const fs::path index = userData_ / "assets.tdx";
  std::string indexBefore;
  std::vector<Flush> flushes;
  AssetStore::Options options = Options();
  options.folderFlushed = [&](const std::string& folder) {
    flushes.push_back({folder, Entries(userData_ / "local"), GetFile(index) == indexBefore});
  };
  store_.reset();
  store_ = std::make_unique<AssetStore>(options);
  ASSERT_TRUE(store_->Open().Ok());

  std::vector<AssetStore::StagedInstall> installs(2);
  installs[0].stagingPath = Staged(Source(kLoco, "Loco"));
  installs[1].stagingPath = Staged(Source(kWagon, "Wagon"));
  indexBefore = GetFile(index);
  store_->InstallStagedTogether(installs);
  ASSERT_TRUE(installs[0].result.Ok() && installs[1].result.Ok());
  const std::vector<std::string> both = {"kuid 100 5", "kuid 100 6"};
  EXPECT_EQ(flushes, (std::vector<Flush>{{store_->LocalRoot(), both, true},
                                         {store_->EditingRoot(), both, true}}));
  EXPECT_NE(GetFile(index), indexBefore);
  EXPECT_EQ(Get(kWagon).name, "Wagon");

  // One install alone flushes the folder it renamed into.
  flushes.clear();
  const fs::path third = Source(KUID{100, 7, 0}, "Third");
  indexBefore = GetFile(index);
  ASSERT_TRUE(Install(third).Ok());
  EXPECT_EQ(flushes, (std::vector<Flush>{
                         {store_->LocalRoot(), {"kuid 100 5", "kuid 100 6", "kuid 100 7"}, true}}));
  EXPECT_NE(GetFile(index), indexBefore);
}

// A change cut short by a crash after it renamed its new folder to the
// other name of the asset's folder, before its commit (the process ends at
// the flush between the two): the next start removes that folder, which
// the store recorded in flight, and every asset is as before. A folder at
// that name that the store did not make (the user's copy, put there before
// or after the crash), or whose record was lost, is set aside.
TEST_F(AssetStoreTest, AStartRemovesAtTheOtherNameOnlyWhatAReplacementCutShortMade) {
  struct CutShort {
    const char* name;
    std::function<void(AssetStore&)> change;  // in a child process, on a store of its own
    uint32_t removed;                         // folders the start removes
    size_t setAside;                          // and sets aside
    std::function<void()> then = [] {};       // after the child, before the start
  };
  const auto stage = [&](AssetStore& store, const KUID& kuid) {
    AssetStore::StagedInstall install;
    EXPECT_TRUE(store.StageFolder(Source(kuid, "second").string(), &install.stagingPath).Ok());
    return install;
  };
  const auto reinstall = [&](AssetStore& store) {
    store.InstallFolder(Source(kLoco, "second").string(), {}, nullptr);
  };
  const fs::path made = userData_ / "local" / "kuid 100 5~";
  const CutShort rows[] = {
      {"reinstall", reinstall, 1, 0},
      // A record lost with the machine: the store's folder is set aside.
      {"reinstall, its record lost", reinstall, 0, 1, [&] { fs::remove(InFlightRecordPath()); }},
      // The user's folder in place of the one the record names (made while
      // that one stood, so it cannot have its identity).
      {"reinstall, its folder since replaced by the user's", reinstall, 0, 1,
       [&] {
         PutFile(userData_ / "mine" / "mine.txt", "the user's own");
         fs::remove_all(made);
         fs::rename(userData_ / "mine", made);
       }},
      // Lines without birth times (an older daemon's) prove no folder.
      {"reinstall, recorded without birth times", reinstall, 0, 1,
       [&] {
         std::string text = GetFile(InFlightRecordPath());
         for (size_t at; (at = text.find("born=")) != std::string::npos;)
           text.erase(at, text.find(' ', at) + 1 - at);
         PutFile(InFlightRecordPath(), text);
       }},
      {"install as the edit copy",
       [&](AssetStore& store) {
         AssetStore::InstallOptions asEditCopy;
         asEditCopy.asEditCopy = true;
         store.InstallFolder(Source(kLoco, "second").string(), asEditCopy, nullptr);
       },
       1, 0},
      {"commit", [](AssetStore& store) { store.CommitEdit(kLoco, nullptr); }, 1, 0},
      {"batch",
       [&](AssetStore& store) {
         std::vector<AssetStore::StagedInstall> installs{stage(store, kLoco), stage(store, kWagon)};
         store.InstallStagedTogether(installs);
       },
       2, 0},
      {"the user's copy",
       [&](AssetStore&) {
         fs::copy(userData_ / "local" / "kuid 100 5", userData_ / "local" / "kuid 100 5~",
                  fs::copy_options::recursive);
         PutFile(userData_ / "local" / "kuid 100 5~" / "mine.txt", "the user's own");
         _exit(0);
       },
       0, 1},
  };
  for (const CutShort& row : rows) {
    SCOPED_TRACE(row.name);
    store_.reset();
    fs::remove_all(userData_);
    fs::create_directories(userData_);
    Reopen();
    ASSERT_TRUE(Install(Source(kLoco, "first")).Ok());
    ASSERT_TRUE(Install(Source(kWagon, "first")).Ok());
    AssetStore::EditInfo edit;
    ASSERT_TRUE(store_->BeginEdit(kLoco, &edit).Ok());
    PutFile(fs::path(edit.path) / "edited.txt", "edited");
    store_.reset();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      AssetStore::Options options = Options();
      options.folderFlushed = [](const std::string&) { _exit(0); };
      AssetStore store(options);
      if (store.Open().Ok()) row.change(store);
      _exit(3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    row.then();
    Reopen();

    const AssetStore::RecoveryReport& report = store_->LastRecovery();
    EXPECT_EQ(report.foldersRemoved, row.removed);
    EXPECT_EQ(report.copiesSetAside.size(), row.setAside);
    EXPECT_EQ(Get(kLoco).name, "first");
    EXPECT_EQ(GetFile(fs::path(store_->InstalledPath(Get(kLoco))) / "meshes" / "body.im"),
              "mesh of first");
    EXPECT_EQ(Get(kWagon).name, "first");
    EXPECT_EQ(Get(kLoco).editFolder, "kuid 100 5");
    EXPECT_EQ(GetFile(userData_ / "editing" / "kuid 100 5" / "edited.txt"), "edited");
    std::vector<std::string> local;
    for (const std::string& name : Entries(userData_ / "local"))
      if (name.find(".set-aside-") == std::string::npos) local.push_back(name);
    EXPECT_EQ(local, (std::vector<std::string>{"kuid 100 5", "kuid 100 6"}));
    EXPECT_EQ(Entries(userData_ / "editing"), std::vector<std::string>{"kuid 100 5"});
    store_.reset();
    EXPECT_EQ(InFlightRows(), 0);
  }
}

// A process killed at any point of installs made together leaves, after
// recovery, every asset of the batch either wholly installed or absent.
TEST_F(AssetStoreTest, KilledBatchInstallLeavesEveryAssetWholeOrAbsent) {
  constexpr int kAssets = 8;
  std::vector<fs::path> sources;
  for (int i = 0; i < kAssets; ++i) {
    const KUID kuid{100, 20 + i, 0};
    sources.push_back(Source(kuid, "asset" + std::to_string(i)));
    for (int file = 0; file < 20; ++file)
      PutFile(sources.back() / ("f" + std::to_string(file)), std::string(3000, char('a' + i)));
  }
  store_.reset();
  for (int attempt = 0; attempt < 6; ++attempt) {
    ASSERT_NO_FATAL_FAILURE(KillInstallerDuringRound(attempt, [&](AssetStore& store) {
      std::vector<AssetStore::StagedInstall> installs(kAssets);
      for (int i = 0; i < kAssets; ++i) {
        if (!store.MakeStagingFolder(&installs[size_t(i)].stagingPath).Ok()) _exit(4);
        std::error_code error;
        fs::copy(sources[size_t(i)], installs[size_t(i)].stagingPath, fs::copy_options::recursive,
                 error);
      }
      store.InstallStagedTogether(installs);
    }));

    Reopen();
    std::vector<std::string> expected;
    for (int i = 0; i < kAssets; ++i) {
      const KUID kuid{100, 20 + i, 0};
      StoredAsset asset;
      if (!store_->Find(kuid, &asset)) continue;
      const fs::path folder = store_->InstalledPath(asset);
      EXPECT_EQ(GetFile(folder / "meshes" / "body.im"), "mesh of asset" + std::to_string(i));
      for (int file = 0; file < 20; ++file)
        EXPECT_EQ(GetFile(folder / ("f" + std::to_string(file))), std::string(3000, char('a' + i)));
      expected.push_back(asset.folder);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(userData_ / "local"), expected);
    store_.reset();
  }
}

// Asset folders copied into staging and installed together, round after
// round over installed copies of the same assets, by a process killed at
// any point: after recovery every asset is absent or wholly one of its two
// versions, and no folder is left that the index does not name.
TEST_F(AssetStoreTest, KilledFolderBatchLeavesEveryAssetWholeOldNewOrAbsent) {
  constexpr int kAssets = 8;
  const auto kuidOf = [](int i) { return KUID{100, 40 + i, 0}; };
  const auto letterOf = [](int i, const std::string& version) {
    return char((version == "old" ? 'a' : 'n') + i);
  };
  std::vector<std::array<fs::path, 2>> sources;
  for (int i = 0; i < kAssets; ++i) {
    sources.push_back({Source(kuidOf(i), "old"), Source(kuidOf(i), "new")});
    for (const fs::path& source : sources.back()) {
      const std::string version = source.filename().string().ends_with("old") ? "old" : "new";
      for (int file = 0; file < 10; ++file)
        PutFile(source / "sub" / ("f" + std::to_string(file)),
                std::string(3000, letterOf(i, version)));
    }
  }
  store_.reset();
  for (int attempt = 0; attempt < 6; ++attempt) {
    int round = 0;  // counted in the installer's process
    ASSERT_NO_FATAL_FAILURE(KillInstallerDuringRound(attempt, [&](AssetStore& store) {
      std::vector<AssetStore::StagedInstall> installs(kAssets);
      for (int i = 0; i < kAssets; ++i) {
        const fs::path& source = sources[size_t(i)][size_t(round % 2)];
        if (!store.StageFolder(source.string(), &installs[size_t(i)].stagingPath).Ok()) _exit(4);
      }
      ++round;
      store.InstallStagedTogether(installs);
    }));

    Reopen();
    std::vector<std::string> expected;
    for (int i = 0; i < kAssets; ++i) {
      StoredAsset asset;
      if (!store_->Find(kuidOf(i), &asset)) continue;
      const fs::path folder = store_->InstalledPath(asset);
      ASSERT_TRUE(asset.name == "old" || asset.name == "new") << asset.name;
      EXPECT_EQ(GetFile(folder / "meshes" / "body.im"), "mesh of " + asset.name);
      for (int file = 0; file < 10; ++file)
        EXPECT_EQ(GetFile(folder / "sub" / ("f" + std::to_string(file))),
                  std::string(3000, letterOf(i, asset.name)));
      expected.push_back(asset.folder);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(userData_ / "local"), expected);
    store_.reset();
  }
}

// --- The index lost, damaged or silent about folders: the store takes the
// assets back from their folders. Each row starts from two installed
// assets, kDepending (which depends on kEdited and on kAbsent, never
// installed) and kEdited (open for edit, with an unsaved file in its edit
// copy), and a reserved asset (an empty edit copy). The row harms the
// store while it is closed; then the store opens as the row says.

constexpr KUID kDepending{100, 30, 0};
constexpr KUID kEdited{100, 31, 0};
constexpr KUID kReserved{100, 32, 0};
constexpr KUID kAbsent{100, 39, 0};

struct LostIndexCase {
  const char* name;
  void (*harm)(const fs::path& userData);
  bool opens;
  size_t setAside;  // files kept aside as damaged
  // Checks of the row's own, or nullptr.
  void (*check)(AssetStore& store, const StoreResult& opened, const fs::path& userData);
};

void RemoveIndex(const fs::path& userData) {
  ASSERT_TRUE(fs::remove(userData / "assets.tdx"));
}

// With no index to tell, two empty edit copies of the reserved asset tie.
void RemoveIndexBesideASecondReservedCopy(const fs::path& userData) {
  RemoveIndex(userData);
  fs::create_directory(userData / "editing" / "kuid 100 32~");
}

void PlainNameWinsATie(AssetStore& store, const StoreResult&, const fs::path& userData) {
  StoredAsset asset;
  ASSERT_TRUE(store.Find(kReserved, &asset));
  EXPECT_EQ(asset.editFolder, "kuid 100 32");
  EXPECT_FALSE(fs::exists(userData / "editing" / "kuid 100 32~"));  // set aside
  EXPECT_EQ(store.LastRecovery().copiesSetAside.size(), 1u);
}

void WriteJunkIndexAndJournal(const fs::path& userData) {
  PutFile(userData / "assets.tdx", "not a database");
  PutFile(userData / "assets.tdx-journal", "not a journal");
}

void JunkAndJournalKeptAside(AssetStore&, const StoreResult&, const fs::path& userData) {
  const std::vector<fs::path> aside = DamagedFilesIn(userData);  // the index, then its journal
  ASSERT_EQ(aside.size(), 2u);
  EXPECT_EQ(aside[1], aside[0].string() + "-journal");
  EXPECT_EQ(GetFile(aside[0]), "not a database");
  EXPECT_EQ(GetFile(aside[1]), "not a journal");
}

// Every page past the first (the schema) overwritten: the rows cannot be read.
void DamagePagesPastTheSchema(const fs::path& userData) {
  const fs::path index = userData / "assets.tdx";
  const auto size = fs::file_size(index);
  ASSERT_GT(size, 4096u);
  std::fstream file(index, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(4096);
  file << std::string(size - 4096, '\x5a');
}

void DamageNamed(AssetStore& store, const StoreResult&, const fs::path&) {
  EXPECT_NE(store.LastRecovery().indexDamage.find("malformed"), std::string::npos)
      << store.LastRecovery().indexDamage;
}

void DropAColumn(const fs::path& userData) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((userData / "assets.tdx").c_str(), &db), SQLITE_OK);
  EXPECT_EQ(
      sqlite3_exec(db, "ALTER TABLE assets DROP COLUMN installed_at;", nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_close(db);
}

void FolderInPlaceOfTheIndex(const fs::path& userData) {
  RemoveIndex(userData);
  fs::create_directory(userData / "assets.tdx");
}

void OpenSaysWhy(AssetStore&, const StoreResult& opened, const fs::path& userData) {
  EXPECT_EQ(opened.code, StoreCode::kDbError);
  EXPECT_NE(opened.message.find("Is a directory"), std::string::npos) << opened.message;
  EXPECT_TRUE(fs::is_directory(userData / "assets.tdx"));
}

const KUID kOther{100, 33, 0};
const KUID kNamesAnother{100, 34, 0};
const KUID kTwice{100, 36, 0};

std::string FolderOf(const KUID& kuid) {
  return "kuid " + std::to_string(kuid.userId) + " " + std::to_string(kuid.contentId);
}

// Folders the intact index does not name: one at the other name of an
// asset's folder that no record in flight names, an asset of its own, one
// whose configuration names another asset, and two copies of one asset.
void AddFoldersTheIndexDoesNotName(const fs::path& userData) {
  const fs::path local = userData / "local";
  PutFile(local / FolderOf(kEdited) / "config.txt", Config(kEdited, "old copy"));
  PutFile(local / FolderOf(kOther) / "config.txt", Config(kOther, "other"));
  PutFile(local / FolderOf(kNamesAnother) / "config.txt", Config(kOther, "misnamed"));
  PutFile(local / FolderOf(kTwice) / "config.txt", Config(kTwice, "earlier"));
  const fs::path later = local / (FolderOf(kTwice) + "~") / "config.txt";
  PutFile(later, Config(kTwice, "later"));
  // Written again until it changed later than the other, whatever the
  // clock's resolution.
  const auto changed = [](const fs::path& file) {
    struct stat info = {};
    ::stat(file.c_str(), &info);
    return std::pair(info.st_ctim.tv_sec, info.st_ctim.tv_nsec);
  };
  const auto earlier = changed(local / FolderOf(kTwice) / "config.txt");
  ASSERT_TRUE(VUTest::WaitUntil(
      [&] {
        PutFile(later, Config(kTwice, "later"));
        return changed(later) > earlier;
      },
      5000, 1));
}

void UsableFoldersTakenIn(AssetStore& store, const StoreResult&, const fs::path& userData) {
  StoredAsset asset;
  ASSERT_TRUE(store.Find(kEdited, &asset));
  EXPECT_EQ(asset.folder, FolderOf(kEdited) + "~");
  EXPECT_FALSE(fs::exists(userData / "local" / FolderOf(kEdited)));
  ASSERT_TRUE(store.Find(kOther, &asset));
  EXPECT_EQ(asset.name, "other");
  EXPECT_FALSE(store.Find(kNamesAnother, &asset));
  EXPECT_TRUE(fs::exists(userData / "local" / FolderOf(kNamesAnother) / "config.txt"));
  ASSERT_TRUE(store.Find(kTwice, &asset));
  EXPECT_EQ(asset.name, "later");
  EXPECT_EQ(asset.folder, FolderOf(kTwice) + "~");
  // The earlier copy is set aside, never left at the other name of the
  // one taken in; so is the folder at the other name of kEdited's.
  EXPECT_FALSE(fs::exists(userData / "local" / FolderOf(kTwice)));
  ASSERT_EQ(store.LastRecovery().copiesSetAside.size(), 2u);
  EXPECT_EQ(store.LastRecovery().notTakenIn.size(), 1u);
}

// A commit cut short after it took the edit folder, and the index lost.
void TakeTheEditFolderAndRemoveTheIndex(const fs::path& userData) {
  const fs::path editing = userData / "editing";
  fs::rename(editing / FolderOf(kEdited), editing / (".vadtmp-take-" + FolderOf(kEdited)));
  RemoveIndex(userData);
}

const LostIndexCase kLostIndexCases[] = {
    {"MissingIndex", RemoveIndexBesideASecondReservedCopy, true, 0, PlainNameWinsATie},
    {"IndexAndJournalThatAreNotADatabase", WriteJunkIndexAndJournal, true, 2,
     JunkAndJournalKeptAside},
    {"IndexDamagedPastItsSchema", DamagePagesPastTheSchema, true, 1, DamageNamed},
    {"IndexWhoseTablesAreNotTheStores", DropAColumn, true, 1, nullptr},
    {"IndexThatCannotBeOpenedIsNotDamage", FolderInPlaceOfTheIndex, false, 0, OpenSaysWhy},
    {"FoldersTheIndexDoesNotName", AddFoldersTheIndexDoesNotName, true, 0, UsableFoldersTakenIn},
    {"CommitCutShortAndIndexLost", TakeTheEditFolderAndRemoveTheIndex, true, 0, nullptr},
};

class LostIndexTest : public AssetStoreTest, public ::testing::WithParamInterface<LostIndexCase> {};

TEST_P(LostIndexTest, AssetsComeBackFromTheirFolders) {
  const LostIndexCase& row = GetParam();
  ASSERT_TRUE(Install(Source(kDepending, "depending",
                             "kuid-table {\n  0 <kuid:100:31>\n  1 <kuid:100:39>\n}\n"))
                  .Ok());
  // Installed twice: its folder is the name with "~".
  ASSERT_TRUE(Install(Source(kEdited, "edited")).Ok());
  ASSERT_TRUE(Install(Source(kEdited, "edited")).Ok());
  AssetStore::EditInfo edit;
  ASSERT_TRUE(store_->BeginEdit(kEdited, &edit).Ok());
  PutFile(fs::path(edit.path) / "new.txt", "unsaved");
  ASSERT_TRUE(store_->Reserve(kReserved, "reserved", &edit).Ok());
  store_.reset();
  ASSERT_NO_FATAL_FAILURE(row.harm(userData_));

  const bool missing = !fs::exists(userData_ / "assets.tdx");
  AssetStore store(Options());
  const StoreResult opened = store.Open();
  EXPECT_EQ(opened.Ok(), row.opens) << opened.message;
  EXPECT_EQ(DamagedFiles().size(), row.setAside);
  EXPECT_EQ(store.LastRecovery().indexMade, opened.Ok() && (missing || row.setAside > 0));
  if (row.check != nullptr) row.check(store, opened, userData_);
  if (!opened.Ok()) {
    // Nothing of the store was touched.
    EXPECT_EQ(Entries(userData_ / "local"),
              (std::vector<std::string>{"kuid 100 30", "kuid 100 31~"}));
    EXPECT_EQ(Entries(userData_ / "editing"),
              (std::vector<std::string>{"kuid 100 31", "kuid 100 32"}));
    return;
  }
  StoredAsset asset;
  ASSERT_TRUE(store.Find(kEdited, &asset));
  EXPECT_TRUE(asset.Installed());
  EXPECT_EQ(GetFile(fs::path(store.EditPath(asset)) / "new.txt"), "unsaved");
  ASSERT_TRUE(store.Find(kReserved, &asset));
  EXPECT_TRUE(asset.OpenForEdit() && asset.placeholder && !asset.Installed());
  ASSERT_TRUE(store.Find(kDepending, &asset));
  EXPECT_EQ(asset.name, "depending");
  EXPECT_EQ(asset.dependencies, (std::vector<KUID>{kEdited, kAbsent}));
  EXPECT_EQ(asset.status[kStatusMissingDependencies], 1);
  // The index of dependents is whole again: the dependency's install
  // clears the mark.
  ASSERT_TRUE(store.InstallFolder(Source(kAbsent, "absent").string(), {}, nullptr).Ok());
  ASSERT_TRUE(store.Find(kDepending, &asset));
  EXPECT_EQ(asset.status[kStatusMissingDependencies], 0);
}

std::string LostIndexRowName(const ::testing::TestParamInfo<LostIndexCase>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, LostIndexTest, ::testing::ValuesIn(kLostIndexCases),
                         LostIndexRowName);

}  // namespace
