// AssetStore: opening, paths and look-ups (see AssetStore.h). Installs are
// in AssetStoreInstall.cpp, edits in AssetStoreEdit.cpp, recovery in
// AssetStoreRecovery.cpp, single values in AssetStoreValues.cpp.
#include "vaddaemon/AssetStore.h"
#include "kiv/FileConfinement.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "foundation/base/LogMessage.h"
#include "foundation/soup/Soup.h"
#include "kiv/File.h"
#include "vaddaemon/AssetConfigReader.h"
#include "vaddaemon/AssetFolderNames.h"
#include "vaddaemon/AssetStoreImpl.h"
#include "vaddaemon/FolderTree.h"
#include "vaddaemon/IndexAside.h"

namespace fs = std::filesystem;

int64_t StoreNow() {
  return static_cast<int64_t>(std::time(nullptr));
}

std::string AssetStore::Impl::Child(const std::string& root, std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos)
    return {};
  if (name.find('\0') != std::string_view::npos) return {};
  return root + "/" + std::string(name);
}

std::string AssetStore::Impl::NewStagingPath() {
  const uint64_t serial = treeFlush.Mark();
  const std::string name = std::string(kStagingPrefix) + std::to_string(getpid()) + "-" +
                           std::to_string(serial) + "-" + std::to_string(StoreNow());
  return LocalPath(name);
}

bool AssetStore::Impl::IsOwnStagingPath(const std::string& path) const {
  const fs::path p(path);
  return p.parent_path() == fs::path(localRoot) && IsStagingFolderName(p.filename().string());
}

uint64_t AssetStore::Impl::StagingMark(const std::string& path) const {
  // "<prefix><pid>-<serial>-<time>", as NewStagingPath names it.
  const std::string own = std::string(kStagingPrefix) + std::to_string(getpid()) + "-";
  const std::string name = fs::path(path).filename().string();
  if (name.compare(0, own.size(), own) != 0) return 0;
  uint64_t serial = 0;
  const char* end = name.data() + name.size();
  const auto [at, error] = std::from_chars(name.data() + own.size(), end, serial);
  return error == std::errc() && at != end && *at == '-' ? serial : 0;
}

bool AssetStore::Impl::FlushStaged(const std::string& path) {
  return treeFlush.Flush(path, StagingMark(path));
}

std::string AssetStore::Impl::RenameToStaging(const std::string& path) {
  const std::string staging =
      fs::path(path).parent_path().string() + "/" + fs::path(NewStagingPath()).filename().string();
  return std::rename(path.c_str(), staging.c_str()) == 0 ? staging : std::string();
}

bool AssetStore::Impl::DiscardFolder(const std::string& path) {
  if (path.empty()) return true;
  const std::string staging = RenameToStaging(path);
  if (staging.empty()) return errno == ENOENT || RemoveFolderTree(path);
  RemoveFolderTree(staging);
  return true;
}

void AssetStore::Impl::DiscardLater(const std::string& path) {
  if (path.empty()) return;
  const std::string staging = RenameToStaging(path);
  if (staging.empty()) {
    if (errno != ENOENT) RemoveFolderTree(path);
    return;
  }
  std::lock_guard<std::mutex> lock(discardedMutex);
  discarded.push_back(staging);
}

void AssetStore::RemoveDiscarded() {
  std::vector<std::string> folders;
  {
    std::lock_guard<std::mutex> lock(impl_->discardedMutex);
    folders.swap(impl_->discarded);
  }
  for (const std::string& folder : folders) RemoveFolderTree(folder);
}

bool AssetStore::Impl::FolderNameTaken(const KUID& kuid) const {
  const std::string name = AssetFolderName(kuid);
  for (const std::string& root : {localRoot, editingRoot}) {
    for (const std::string& folder : {name, name + "~"}) {
      struct stat info = {};
      if (::lstat(Child(root, folder).c_str(), &info) == 0) return true;
    }
  }
  return false;
}

StoreResult AssetStore::Impl::NotOpen() const {
  return StoreResult::Fail(StoreCode::kDbError, "the asset store is not open");
}

StoreResult AssetStore::Impl::DbFail(const std::string& what) {
  return StoreResult::Fail(StoreCode::kDbError, what + ": " + db.LastError());
}

RowRead AssetStore::Impl::Read(const KUID& kuid, StoredAsset* asset) {
  std::lock_guard<FairMutex> lock(dbMutex);
  if (!open) return RowRead::kError;
  return ReadAssetRow(db, kuid, asset);
}

StoreResult AssetStore::Impl::MakeWay(const std::string& path, std::vector<std::string>* setAside) {
  struct stat info = {};
  if (path.empty()) return StoreResult::Fail(StoreCode::kIoError, "no folder name to write");
  if (::lstat(path.c_str(), &info) != 0 && errno == ENOENT) return StoreResult::Success();
  std::string aside;
  std::string error;
  if (!MoveAside(path, kSetAsideWhy, &aside, &error))
    return StoreResult::Fail(StoreCode::kIoError, error);
  LogMessage("vaddaemon> store: %s was in the way of an asset's folder and is kept as %s",
             path.c_str(), aside.c_str());
  if (setAside) setAside->push_back(path + " as " + aside);
  return StoreResult::Success();
}

StoreResult AssetStore::Impl::CommitRowWithRename(const KUID& kuid, const RowChange& change,
                                                  const std::string& from, const std::string& to,
                                                  std::vector<std::string>* setAside) {
  std::lock_guard<FairMutex> lock(dbMutex);
  SqliteTransaction transaction(db);
  if (!transaction.Begun()) return DbFail("cannot record the asset");
  StoredAsset row;
  const RowRead read = ReadAssetRow(db, kuid, &row);
  if (read == RowRead::kError) return DbFail("cannot read the index");
  if (read == RowRead::kMissing) row = StoredAsset();
  row.kuid = kuid;
  change(row);
  if (!WriteAssetRow(db, row) || !RefreshMissingMarks({kuid}))
    return DbFail("cannot record the asset");
  return RenameAndCommit(transaction, from, to, setAside);
}

bool AssetStore::Impl::FlushFolder(const std::string& folder) {
  const bool flushed = SyncFolder(folder);
  if (options.folderFlushed) options.folderFlushed(folder);
  return flushed;
}

StoreResult AssetStore::Impl::RenameAndCommit(SqliteTransaction& transaction,
                                              const std::string& from, const std::string& to,
                                              std::vector<std::string>* setAside) {
  if (!from.empty()) {
    const StoreResult way = MakeWay(to, setAside);
    if (!way.Ok()) return way;
    if (std::rename(from.c_str(), to.c_str()) != 0)
      return StoreResult::Fail(StoreCode::kIoError, "cannot move " + from + " to " + to);
    const std::string into = fs::path(to).parent_path().string();
    if (!FlushFolder(into)) {
      std::rename(to.c_str(), from.c_str());
      return StoreResult::Fail(StoreCode::kIoError,
                               "cannot flush the folder " + into + " to the disk");
    }
  }
  if (transaction.Commit()) return StoreResult::Success();
  if (!from.empty()) std::rename(to.c_str(), from.c_str());
  return DbFail("cannot commit the asset");
}

AssetStore::AssetStore(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

AssetStore::~AssetStore() = default;

StoreResult AssetStore::Open() {
  Impl& s = *impl_;
  {
    std::lock_guard<FairMutex> lock(s.dbMutex);
    if (s.open || s.db.IsOpen())
      return StoreResult::Fail(StoreCode::kBadArgument, "the store is open already");
    const int32_t user = s.options.localUserId;
    if (user < 0 || user > kMaxStoredUserId)
      return StoreResult::Fail(StoreCode::kBadArgument, "the local user id is outside 0..16777215");
    if (s.options.userDataPath.empty() || s.options.indexPath.empty())
      return StoreResult::Fail(StoreCode::kBadArgument, "no user-data folder or index path");
    Kiv::File::Path root(s.options.userDataPath);
    root.Normalize();
    root.DelSlash();
    s.localRoot = Impl::Child(root.Str(), kLocalLocation);
    s.editingRoot = Impl::Child(root.Str(), kEditingLocation);
    if (!Kiv::File::Md(s.localRoot) || !Kiv::File::Md(s.editingRoot))
      return StoreResult::Fail(StoreCode::kIoError,
                               "cannot create the folders below " + root.Str());
    // Before any tree is written there (TreeFlush.h); without it the
    // trees are flushed as the flusher falls back to.
    s.treeFlush.Open(s.localRoot);
  }
  // Nothing else can use the store before Open has answered.
  for (;;) {
    {
      std::lock_guard<FairMutex> lock(s.dbMutex);
      const StoreResult opened = s.OpenIndex();
      if (!opened.Ok()) return opened;
      s.open = true;
    }
    const StoreResult result = s.Recover();
    if (result.Ok()) break;
    std::lock_guard<FairMutex> lock(s.dbMutex);
    s.open = false;
    // Damage past the header shows only where the recovery reads the rows.
    if (!s.db.LastFailureIsDamage() || !s.opening.damage.empty()) return result;
    std::string error;
    if (!s.SetDamagedIndexAside(result.message, &error))
      return StoreResult::Fail(StoreCode::kIoError, error);
  }
  s.report.indexMade = s.opening.made;
  s.report.indexDamage = s.opening.damage;
  s.report.setAside = s.opening.setAside;
  return StoreResult::Success();
}

StoreResult AssetStore::Impl::OpenIndex() {
  const std::string& path = options.indexPath;
  std::string error;
  struct stat info = {};
  opening.made = ::lstat(path.c_str(), &info) != 0 && errno == ENOENT;
  for (;;) {
    IndexPrepared prepared = IndexPrepared::kRefused;
    if (!BeginsAsDatabase(path)) {
      // Never opened: SQLite would first play or drop a journal beside it.
      error = "the index is not a readable database (it does not begin as an SQLite database)";
      prepared = IndexPrepared::kDamaged;
    } else if (db.Open(path, options.busyTimeoutMs)) {
      prepared = PrepareAssetIndex(db, &error);
    } else {
      error = db.LastError();
      if (db.LastFailureIsDamage()) prepared = IndexPrepared::kDamaged;
    }
    if (prepared == IndexPrepared::kReady) return StoreResult::Success();
    // Anything but damage, a newer schema among it, leaves the file as it
    // is; so does damage of an index this start made itself.
    if (prepared == IndexPrepared::kRefused || !opening.damage.empty()) {
      db.Close();
      return StoreResult::Fail(StoreCode::kDbError, path + ": " + error);
    }
    const std::string why = error;
    if (!SetDamagedIndexAside(why, &error)) return StoreResult::Fail(StoreCode::kIoError, error);
    opening.made = true;
  }
}

bool AssetStore::Impl::SetDamagedIndexAside(const std::string& why, std::string* error) {
  db.Close();
  if (!SetIndexAside(options.indexPath, &opening.setAside, error)) return false;
  opening.damage = why;
  return true;
}

const AssetStore::RecoveryReport& AssetStore::LastRecovery() const {
  return impl_->report;
}

const std::string& AssetStore::LocalRoot() const {
  return impl_->localRoot;
}

const std::string& AssetStore::EditingRoot() const {
  return impl_->editingRoot;
}

std::string AssetStore::InstalledPath(const StoredAsset& asset) const {
  return asset.Installed() ? impl_->LocalPath(asset.folder) : std::string();
}

std::string AssetStore::EditPath(const StoredAsset& asset) const {
  return asset.OpenForEdit() ? impl_->EditingPath(asset.editFolder) : std::string();
}

bool AssetStore::Find(const KUID& kuid, StoredAsset* asset) {
  StoredAsset found;
  if (impl_->Read(kuid, &found) != RowRead::kFound) return false;
  *asset = std::move(found);
  return true;
}

std::vector<StoredAsset> AssetStore::List() {
  std::vector<StoredAsset> assets;
  std::lock_guard<FairMutex> lock(impl_->dbMutex);
  if (!impl_->open || !ReadAllAssetRows(impl_->db, &assets)) assets.clear();
  return assets;
}

void AssetStore::ForEach(const std::function<bool(const StoredAsset&)>& visit) {
  for (const StoredAsset& asset : List()) {
    if (!visit(asset)) return;
  }
}

bool AssetStore::LoadConfig(const KUID& kuid, Soup* config) {
  StoredAsset asset;
  if (!Find(kuid, &asset) || !asset.Installed()) return false;
  const std::string path = InstalledPath(asset);
  if (path.empty()) return false;
  // Never read through a link out of the folder, nor from a pipe.
  const Kiv::ConfinedFolder confined(path);
  return LoadAssetFolderConfig(path, config);
}
