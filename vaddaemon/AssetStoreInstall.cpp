// AssetStore: installing and removing assets (see AssetStore.h).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "foundation/soup/Soup.h"
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
    return StoreResult::Fail(StoreCode::kBadConfig,
                             "the folder holds no readable config.txt or config.chump");
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
    return StoreResult::Fail(StoreCode::kIoError,
                             "cannot remove the folder " + move.first + ": " + reason);
  }
  return StoreResult::Success();
}

// What an install found and what it left to remove after its commit.
struct InstallPlan {
  bool installed = false;   // the asset was installed before
  bool asEditCopy = false;  // the files became its edit copy
  std::string oldInstalled;
  std::string oldEdit;
};

// In one transaction: reads the asset's row, decides from it what the
// staged files become, records that and renames the staging folder into
// place. The caller holds the asset's KUID.
StoreResult RecordInstall(AssetStore::Impl& s, const std::string& staging, const StoredAsset& fresh,
                          const AssetStore::InstallOptions& options, InstallPlan* plan) {
  std::lock_guard<std::mutex> lock(s.dbMutex);
  SqliteTransaction transaction(s.db);
  if (!transaction.Begun()) return s.DbFail("cannot record the asset");
  StoredAsset row;
  const RowRead read = ReadAssetRow(s.db, fresh.kuid, &row);
  if (read == RowRead::kError) return s.DbFail("cannot read the index");
  const bool found = read == RowRead::kFound;
  if (!found) row = StoredAsset();
  row.kuid = fresh.kuid;
  plan->installed = found && row.Installed();
  if (plan->installed && !options.replace)
    return StoreResult::Fail(StoreCode::kExists, "the asset is installed already");
  plan->asEditCopy = plan->installed && options.asEditCopy;
  if (options.finishStaging && !options.finishStaging(staging, plan->asEditCopy))
    return StoreResult::Fail(StoreCode::kIoError, "cannot finish the staged files");

  plan->oldEdit = s.EditingPath(row.editFolder);
  std::string target;
  if (plan->asEditCopy) {
    row.editFolder = NextAssetFolderName(fresh.kuid, row.editFolder);
    target = s.EditingPath(row.editFolder);
  } else {
    plan->oldInstalled = plan->installed ? s.LocalPath(row.folder) : std::string();
    row.name = fresh.name;
    row.authorId = fresh.authorId;
    ApplyInstalledFields(fresh, false, row);
    row.folder = NextAssetFolderName(fresh.kuid, row.folder);
    row.editFolder.clear();
    target = s.LocalPath(row.folder);
  }
  if (!WriteAssetRow(s.db, row)) return s.DbFail("cannot record the asset");
  const StoreResult result = s.RenameAndCommit(transaction, staging, target);
  if (!result.Ok()) *plan = InstallPlan();
  return result;
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
    return StoreResult::Fail(StoreCode::kBadArgument,
                             "not a staging folder of the store: " + stagingPath);
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
  InstallPlan plan;
  result = RecordInstall(s, stagingPath, fresh, options, &plan);
  if (!result.Ok()) return result;
  // The index names the new folders now; the old copies are free to go.
  if (!plan.oldInstalled.empty()) RemoveFolderTree(plan.oldInstalled);
  if (!plan.oldEdit.empty()) RemoveFolderTree(plan.oldEdit);
  if (outcome) {
    outcome->kuid = fresh.kuid;
    outcome->replaced = plan.installed;
    outcome->leftOpenForEdit = plan.asEditCopy;
  }
  return StoreResult::Success();
}

StoreResult AssetStore::InstallFolder(const std::string& sourceFolder,
                                      const InstallOptions& options, InstallOutcome* outcome) {
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
      wanted.emplace_back(
          s.EditingPath(row.editFolder),
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
