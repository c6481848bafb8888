// AssetStore: installing and removing assets (see AssetStore.h).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "foundation/Soup.h"
#include "vaddaemon/AssetConfigReader.h"
#include "vaddaemon/AssetFolderNames.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/AssetStoreImpl.h"
#include "vaddaemon/FolderTree.h"

namespace fs = std::filesystem;

namespace {

// Folders to move, each with the staging name it moves to.
using FolderMoves = std::vector<std::pair<std::string, std::string>>;

void MoveFoldersBack(const FolderMoves& moved) {
  for (const auto& [folder, staging] : moved) std::rename(staging.c_str(), folder.c_str());
}

// Reads the staged configuration into `fresh`; a failure names the reason.
StoreResult DescribeStaged(const std::string& staging, StoredAsset* fresh) {
  Soup config;
  if (!LoadAssetFolderConfig(staging, &config))
    return StoreResult::Fail(StoreCode::kBadConfig, "the folder holds no readable config.txt or config.chump");
  DescribeAssetFromConfig(config, fresh);
  if (fresh->kuid.IsNull() || !fresh->kuid.IsValid())
    return StoreResult::Fail(StoreCode::kBadConfig, "the configuration names no valid \"kuid\"");
  const std::string problem = ConfigStorageProblem(config);
  if (!problem.empty()) return StoreResult::Fail(StoreCode::kBadConfig, problem);
  return StoreResult::Success();
}

// Renames each folder of `wanted` to its staging name and lists in `moved`
// those that were there to move (a missing folder is gone already). On
// failure the folders moved so far go back and `moved` is left empty.
StoreResult MoveFoldersAside(const FolderMoves& wanted, FolderMoves* moved) {
  for (const auto& move : wanted) {
    if (std::rename(move.first.c_str(), move.second.c_str()) == 0) {
      moved->push_back(move);
      continue;
    }
    if (errno == ENOENT) continue;
    const std::string reason = std::strerror(errno);
    MoveFoldersBack(*moved);
    moved->clear();
    return StoreResult::Fail(StoreCode::kIoError, "cannot remove the folder " + move.first + ": " + reason);
  }
  return StoreResult::Success();
}

}  // namespace

void ApplyInstalledFields(const StoredAsset& fresh, bool locallyModified, StoredAsset& row) {
  row.kind = fresh.kind;
  row.category = fresh.category;
  row.region = fresh.region;
  row.era = fresh.era;
  row.build = fresh.build;
  row.dependencies = fresh.dependencies;
  row.obsoletes = fresh.obsoletes;
  row.status[kStatusLocallyModified] = locallyModified ? 1 : 0;
  row.status[kStatusFaulty] = 0;
  row.placeholder = false;
  row.installedAt = StoreNow();
}

StoreResult AssetStore::MakeStagingFolder(std::string* path) {
  if (!impl_->open) return impl_->NotOpen();
  const std::string staging = impl_->NewStagingPath();
  std::error_code ec;
  if (!fs::create_directory(staging, ec) || ec)
    return StoreResult::Fail(StoreCode::kIoError, "cannot create the staging folder " + staging);
  *path = staging;
  return StoreResult::Success();
}

void AssetStore::DiscardStagingFolder(const std::string& path) {
  if (impl_->IsOwnStagingPath(path)) RemoveFolderTree(path);
}

StoreResult AssetStore::InstallStaged(const std::string& stagingPath, const InstallOptions& options,
                                      InstallOutcome* outcome) {
  Impl& s = *impl_;
  if (!s.open) return s.NotOpen();
  if (!s.IsOwnStagingPath(stagingPath))
    return StoreResult::Fail(StoreCode::kBadArgument, "not a staging folder of the store: " + stagingPath);
  // The staging folder goes whatever happens below, unless it was renamed.
  struct Cleanup {
    const std::string& path;
    ~Cleanup() { RemoveFolderTree(path); }
  } cleanup{stagingPath};

  StoredAsset fresh;
  StoreResult result = DescribeStaged(stagingPath, &fresh);
  if (!result.Ok()) return result;
  if (!SyncFolderTree(stagingPath))
    return StoreResult::Fail(StoreCode::kIoError, "cannot flush the staged files to the disk");

  const KUIDLockSet::Hold hold = s.kuidLocks.Acquire(fresh.kuid);
  StoredAsset existing;
  const RowRead read = s.Read(fresh.kuid, &existing);
  if (read == RowRead::kError) return s.DbFail("cannot read the index");
  const bool found = read == RowRead::kFound;
  const bool installed = found && existing.Installed();
  if (installed && !options.replace)
    return StoreResult::Fail(StoreCode::kExists, "the asset is installed already");

  std::string target;
  std::string oldInstalled;
  const std::string oldEdit = found ? s.EditingPath(existing.editFolder) : std::string();
  Impl::RowChange change;
  if (installed && options.asEditCopy) {
    const std::string editFolder = NextAssetFolderName(fresh.kuid, existing.editFolder);
    target = s.EditingPath(editFolder);
    change = [editFolder](StoredAsset& row) { row.editFolder = editFolder; };
  } else {
    const std::string folder = NextAssetFolderName(fresh.kuid, found ? existing.folder : std::string());
    target = s.LocalPath(folder);
    oldInstalled = installed ? s.LocalPath(existing.folder) : std::string();
    change = [&fresh, folder](StoredAsset& row) {
      row.name = fresh.name;
      row.authorId = fresh.authorId;
      ApplyInstalledFields(fresh, false, row);
      row.folder = folder;
      row.editFolder.clear();
    };
  }
  result = s.CommitRowWithRename(fresh.kuid, change, stagingPath, target);
  if (!result.Ok()) return result;
  // The index names the new folders now; the old copies are free to go.
  if (!oldInstalled.empty()) RemoveFolderTree(oldInstalled);
  if (!oldEdit.empty()) RemoveFolderTree(oldEdit);
  if (outcome) {
    outcome->kuid = fresh.kuid;
    outcome->replaced = installed;
    outcome->leftOpenForEdit = installed && options.asEditCopy;
  }
  return StoreResult::Success();
}

StoreResult AssetStore::InstallFolder(const std::string& sourceFolder, const InstallOptions& options,
                                      InstallOutcome* outcome) {
  if (!impl_->open) return impl_->NotOpen();
  const std::string staging = impl_->NewStagingPath();
  std::string error;
  if (!CopyFolderTree(sourceFolder, staging, &error)) {
    RemoveFolderTree(staging);
    return StoreResult::Fail(StoreCode::kIoError, "cannot copy the asset folder: " + error);
  }
  return InstallStaged(staging, options, outcome);
}

StoreResult AssetStore::Remove(const KUID& kuid) {
  Impl& s = *impl_;
  if (!s.open) return s.NotOpen();
  const KUIDLockSet::Hold hold = s.kuidLocks.Acquire(kuid);
  FolderMoves moved;
  {
    std::lock_guard<std::mutex> lock(s.dbMutex);
    StoredAsset row;
    const RowRead read = ReadAssetRow(s.db, kuid, &row);
    if (read == RowRead::kError) return s.DbFail("cannot read the index");
    if (read == RowRead::kMissing) return StoreResult::Fail(StoreCode::kNotFound, "unknown asset");
    SqliteTransaction transaction(s.db);
    if (!transaction.Begun()) return s.DbFail("cannot remove the asset");
    // The folders move aside before the row goes, so that a store that
    // cannot be written refuses the removal with nothing changed.
    FolderMoves wanted;
    if (row.Installed()) wanted.emplace_back(s.LocalPath(row.folder), s.NewStagingPath());
    if (row.OpenForEdit())
      wanted.emplace_back(s.EditingPath(row.editFolder),
                          Impl::Child(s.editingRoot, fs::path(s.NewStagingPath()).filename().string()));
    const StoreResult aside = MoveFoldersAside(wanted, &moved);
    if (!aside.Ok()) return aside;
    if (!DeleteAssetRow(s.db, kuid) || !transaction.Commit()) {
      MoveFoldersBack(moved);
      return s.DbFail("cannot remove the asset");
    }
  }
  // A copy that cannot be removed now is left to the recovery of the next
  // start: no row names it, and its name is the store's own.
  for (const auto& [folder, staging] : moved) RemoveFolderTree(staging);
  return StoreResult::Success();
}
