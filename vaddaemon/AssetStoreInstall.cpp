// AssetStore: installing and removing assets (see AssetStore.h).
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "foundation/base/LogMessage.h"
#include "foundation/layout/EditCopyMark.h"
#include "foundation/soup/Soup.h"
#include "vaddaemon/AssetConfigReader.h"
#include "vaddaemon/AssetFolderNames.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/AssetStoreImpl.h"
#include "vaddaemon/ConfigKUID.h"
#include "vaddaemon/FolderTree.h"
#include "vaddaemon/IndexAside.h"

namespace fs = std::filesystem;

namespace {

// Folders to move, each with the staging name it moves to.
using FolderMoves = std::vector<std::pair<std::string, std::string>>;

void MoveFoldersBack(const FolderMoves& moved) {
  for (const auto& [folder, staging] : moved) std::rename(staging.c_str(), folder.c_str());
}

}  // namespace

StoreResult DescribeStaged(const std::string& staging, StoredAsset* fresh) {
  Soup config;
  if (!LoadAssetFolderConfig(staging, &config))
    return StoreResult::Fail(StoreCode::kBadConfig,
                             "the folder holds no readable config.txt or config.chump");
  DescribeAssetFromConfig(config, fresh);
  if (fresh->kuid.IsNull() || !fresh->kuid.IsValid())
    return StoreResult::Fail(StoreCode::kBadConfig, "the configuration names no valid \"kuid\"");
  const std::string unkept = UnkeptConfigKUID(config);
  if (!unkept.empty()) return StoreResult::Fail(StoreCode::kBadConfig, unkept);
  const std::string problem = ConfigStorageProblem(config);
  if (!problem.empty()) return StoreResult::Fail(StoreCode::kBadConfig, problem);
  return StoreResult::Success();
}

namespace {

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
  std::string targetName;   // the staged folder's name in its place
  std::string target;       // its full path there
  std::string oldInstalled;
  std::string oldEdit;
  std::vector<std::string> setAside;  // what stood at the target
};

// Decides from the asset's row (`found`: it has one) what the staged files
// of `kuid` become: kExists when the asset is installed and may not be
// replaced. Changes nothing.
StoreResult PlanInstall(const AssetStore::Impl& s, const StoredAsset& row, bool found,
                        const KUID& kuid, const AssetStore::InstallOptions& options,
                        InstallPlan* plan) {
  plan->installed = found && row.Installed();
  if (plan->installed && !options.replace)
    return StoreResult::Fail(StoreCode::kExists, "the asset is installed already");
  plan->asEditCopy = plan->installed && options.asEditCopy;
  plan->oldEdit = s.EditingPath(row.editFolder);
  if (plan->asEditCopy) {
    plan->targetName = NextAssetFolderName(kuid, row.editFolder);
    plan->target = s.EditingPath(plan->targetName);
  } else {
    plan->oldInstalled = plan->installed ? s.LocalPath(row.folder) : std::string();
    plan->targetName = NextAssetFolderName(kuid, row.folder);
    plan->target = s.LocalPath(plan->targetName);
  }
  return StoreResult::Success();
}

// Before the transaction that records an install (the caller holds the
// asset's KUID, so its folders stay as read): when the files go to the
// other name of the asset's folder there, makes way at that name and adds
// the replacement to `*record` (Impl::PrepareInFlight, with the installed
// copy it replaces; an edit copy it replaces is the user's, set aside
// rather than removed). An install that will fail does nothing here.
StoreResult PrepareInstall(AssetStore::Impl& s, const std::string& staging,
                           const StoredAsset& fresh, const AssetStore::InstallOptions& options,
                           std::vector<InFlightFolder>* record,
                           std::vector<std::string>* setAside) {
  StoredAsset row;
  const RowRead read = s.Read(fresh.kuid, &row);
  if (read == RowRead::kError) return s.DbFail("cannot read the index");
  InstallPlan plan;
  if (!PlanInstall(s, row, read == RowRead::kFound, fresh.kuid, options, &plan).Ok())
    return StoreResult::Success();
  const std::string& current = plan.asEditCopy ? plan.oldEdit : plan.oldInstalled;
  if (current.empty()) return StoreResult::Success();  // the new folder takes the plain name
  return s.PrepareInFlight(staging, plan.target, plan.oldInstalled, record, setAside);
}

// Inside an open transaction (dbMutex held): reads the asset's row, decides
// from it what the staged files become, lets the caller finish the staging
// folder and writes the row. `plan->target` receives where the staging
// folder must go. The caller holds the asset's KUID.
StoreResult DecideInstall(AssetStore::Impl& s, const std::string& staging, const StoredAsset& fresh,
                          const AssetStore::InstallOptions& options, InstallPlan* plan) {
  StoredAsset row;
  const RowRead read = ReadAssetRow(s.db, fresh.kuid, &row);
  if (read == RowRead::kError) return s.DbFail("cannot read the index");
  const bool found = read == RowRead::kFound;
  if (!found) row = StoredAsset();
  row.kuid = fresh.kuid;
  const StoreResult planned = PlanInstall(s, row, found, fresh.kuid, options, plan);
  if (!planned.Ok()) return planned;
  if (options.finishStaging && !options.finishStaging(staging, plan->asEditCopy))
    return StoreResult::Fail(StoreCode::kIoError, "cannot finish the staged files");
  if (plan->asEditCopy) {
    // What the store puts in an edit copy is told from the user's work by
    // its mark; one that cannot be marked only counts as the user's.
    MarkAsMade(staging);
    row.editFolder = plan->targetName;
  } else {
    row.name = fresh.name;
    row.authorId = fresh.authorId;
    ApplyInstalledFields(fresh, false, row);
    row.folder = plan->targetName;
    row.editFolder.clear();
  }
  if (!WriteAssetRow(s.db, row)) return s.DbFail("cannot record the asset");
  return StoreResult::Success();
}

// In one transaction: DecideInstall, then the staging folder renamed into
// place and the commit.
StoreResult RecordInstall(AssetStore::Impl& s, const std::string& staging, const StoredAsset& fresh,
                          const AssetStore::InstallOptions& options, InstallPlan* plan) {
  std::lock_guard<FairMutex> lock(s.dbMutex);
  SqliteTransaction transaction(s.db);
  if (!transaction.Begun()) return s.DbFail("cannot record the asset");
  StoreResult result = DecideInstall(s, staging, fresh, options, plan);
  if (result.Ok() && !s.RefreshMissingMarks({fresh.kuid}))
    result = s.DbFail("cannot record the asset");
  if (result.Ok()) result = s.RenameAndCommit(transaction, staging, plan->target, &plan->setAside);
  if (!result.Ok()) *plan = InstallPlan();
  return result;
}

// The edit copy at `path` that an install replaced may be the user's work:
// it is set aside under a name no start takes in or removes, into the
// outcome, unless it still holds only what the store put there
// (EditCopyMark.h), which is removed. It is looked at once aside, so that
// nothing saved by its path after the look goes with it. An empty one
// holds nothing and is removed. One that cannot be moved stays at its name
// (the next start takes it in again), and is said.
void KeepReplacedEditCopy(AssetStore::Impl& s, const std::string& path,
                          AssetStore::InstallOutcome* outcome) {
  if (path.empty() || ::rmdir(path.c_str()) == 0 || errno == ENOENT) return;
  std::string aside;
  std::string error;
  if (!MoveAside(path, kSetAsideWhy, &aside, &error)) {
    LogMessage("vaddaemon> store: the edit copy %s that an install replaced stays: %s",
               path.c_str(), error.c_str());
    if (outcome) outcome->editCopyLeft = error;
    return;
  }
  if (HoldsOnlyWhatWasMade(aside) && s.DiscardFolder(aside)) {
    LogMessage(
        "vaddaemon> store: the edit copy %s that an install replaced held only what the "
        "store put there; removed",
        path.c_str());
    return;
  }
  LogMessage("vaddaemon> store: the edit copy %s that an install replaced is kept as %s",
             path.c_str(), aside.c_str());
  if (outcome) outcome->editCopyAside = path + " as " + aside;
}

// Removes the copy an install replaced, once the index no longer names it,
// sets aside the edit copy it replaced, and fills the outcome.
void FinishInstall(AssetStore::Impl& s, const InstallPlan& plan, const KUID& kuid,
                   AssetStore::InstallOutcome* outcome) {
  if (!plan.oldInstalled.empty()) RemoveFolderTree(plan.oldInstalled);
  if (outcome) {
    outcome->kuid = kuid;
    outcome->replaced = plan.installed;
    outcome->leftOpenForEdit = plan.asEditCopy;
    outcome->setAside = plan.setAside;
  }
  KeepReplacedEditCopy(s, plan.oldEdit, outcome);
}

bool KUIDBefore(const KUID& a, const KUID& b) {
  if (a.userId != b.userId) return a.userId < b.userId;
  if (a.contentId != b.contentId) return a.contentId < b.contentId;
  return a.version < b.version;
}

// One install of a batch on its way through RecordTogether.
struct StagedTogether {
  AssetStore::StagedInstall* install = nullptr;
  StoredAsset fresh;
  InstallPlan plan;
  std::string target;
  bool renamed = false;
};

// Records the replacements of the installs (of distinct KUIDs, which the
// caller holds) in flight, then records the installs in one transaction,
// each in a savepoint, renames their folders into place, flushes the
// content folders and commits; then removes what they replaced. When the
// index refuses, nothing is recorded, the folders go back to staging and
// every install not failed yet fails.
void RecordTogether(AssetStore::Impl& s, std::span<StagedTogether> batch) {
  bool committed = false;
  std::vector<InFlightFolder> inFlight;
  for (StagedTogether& p : batch) {
    AssetStore::StagedInstall& one = *p.install;
    if (one.result.Ok())
      one.result =
          PrepareInstall(s, one.stagingPath, p.fresh, one.options, &inFlight, &p.plan.setAside);
  }
  StoreResult refused = s.RecordInFlight(inFlight);
  {
    std::lock_guard<FairMutex> lock(s.dbMutex);
    SqliteTransaction transaction(s.db);
    if (!transaction.Begun()) refused = s.DbFail("cannot record the asset");
    for (StagedTogether& p : batch) {
      if (!refused.Ok()) break;
      AssetStore::StagedInstall& one = *p.install;
      if (!one.result.Ok()) continue;
      if (!s.db.Exec("SAVEPOINT install;")) {
        refused = s.DbFail("cannot record the asset");
        break;
      }
      one.result = DecideInstall(s, one.stagingPath, p.fresh, one.options, &p.plan);
      p.target = p.plan.target;
      if (one.result.Ok()) one.result = s.MakeWay(p.target, &p.plan.setAside);
      if (one.result.Ok()) {
        p.renamed = std::rename(one.stagingPath.c_str(), p.target.c_str()) == 0;
        if (!p.renamed)
          one.result = StoreResult::Fail(StoreCode::kIoError,
                                         "cannot move " + one.stagingPath + " to " + p.target);
      }
      if (one.result.Ok()) {
        if (!s.db.Exec("RELEASE install;")) refused = s.DbFail("cannot record the asset");
        continue;
      }
      p.plan = InstallPlan();
      if (one.result.code == StoreCode::kDbError) {
        refused = one.result;
      } else if (!s.db.Exec("ROLLBACK TO install; RELEASE install;")) {
        refused = s.DbFail("cannot record the asset");
      }
    }
    std::vector<KUID> recorded;
    for (const StagedTogether& p : batch) {
      if (p.install->result.Ok()) recorded.push_back(p.fresh.kuid);
    }
    if (refused.Ok() && !s.RefreshMissingMarks(recorded))
      refused = s.DbFail("cannot record the asset");
    if (refused.Ok() && !(s.FlushFolder(s.localRoot) && s.FlushFolder(s.editingRoot)))
      refused =
          StoreResult::Fail(StoreCode::kIoError, "cannot flush the asset folders to the disk");
    if (refused.Ok()) {
      committed = transaction.Commit();
      if (!committed) refused = s.DbFail("cannot commit the asset");
    }
    if (!committed) {
      // Nothing is recorded: the folders go back where they were staged.
      for (StagedTogether& p : batch) {
        if (p.renamed) std::rename(p.target.c_str(), p.install->stagingPath.c_str());
        p.renamed = false;
      }
    }
  }
  for (StagedTogether& p : batch) {
    AssetStore::StagedInstall& one = *p.install;
    if (!committed && one.result.Ok()) one.result = refused;
    // The index names the new folders now; the old copies are free to go.
    if (one.result.Ok()) FinishInstall(s, p.plan, p.fresh.kuid, &one.outcome);
  }
  s.ClearInFlight(inFlight);
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
  if (!s.FlushStaged(stagingPath))
    return StoreResult::Fail(StoreCode::kIoError, "cannot flush the staged files to the disk");

  const KUIDLockSet::Hold hold = s.kuidLocks.Acquire(fresh.kuid);
  InstallPlan plan;
  std::vector<InFlightFolder> inFlight;
  result = PrepareInstall(s, stagingPath, fresh, options, &inFlight, &plan.setAside);
  if (result.Ok()) result = s.RecordInFlight(inFlight);
  if (result.Ok()) result = RecordInstall(s, stagingPath, fresh, options, &plan);
  // The index names the new folders now; the old copies are free to go.
  if (result.Ok()) FinishInstall(s, plan, fresh.kuid, outcome);
  s.ClearInFlight(inFlight);
  return result;
}

void AssetStore::InstallStagedTogether(std::vector<StagedInstall>& installs) {
  Impl& s = *impl_;
  if (installs.size() < 2 || !s.open) {
    for (StagedInstall& one : installs)
      one.result = InstallStaged(one.stagingPath, one.options, &one.outcome);
    return;
  }
  // The staging folders go whatever happens, unless they were renamed.
  struct Cleanup {
    Impl& s;
    std::vector<StagedInstall>& installs;
    ~Cleanup() {
      for (StagedInstall& one : installs) {
        if (s.IsOwnStagingPath(one.stagingPath)) RemoveFolderTree(one.stagingPath);
      }
    }
  } cleanup{s, installs};
  std::vector<StagedTogether> pending;
  for (StagedInstall& one : installs) {
    if (!s.IsOwnStagingPath(one.stagingPath)) {
      one.result = StoreResult::Fail(StoreCode::kBadArgument,
                                     "not a staging folder of the store: " + one.stagingPath);
      continue;
    }
    StagedTogether staged;
    staged.install = &one;
    one.result = DescribeStaged(one.stagingPath, &staged.fresh);
    if (one.result.Ok()) pending.push_back(std::move(staged));
  }
  if (pending.empty()) return;
  // One flush of the file system for every staged file, told of the
  // failures since the first of them was marked.
  uint64_t mark = UINT64_MAX;
  for (const StagedTogether& p : pending)
    mark = std::min(mark, s.StagingMark(p.install->stagingPath));
  if (!s.treeFlush.FlushFileSystem(s.localRoot, mark)) {
    for (StagedTogether& p : pending)
      p.install->result =
          StoreResult::Fail(StoreCode::kIoError, "cannot flush the staged files to the disk");
  }
  // Every KUID once, in one order, so that batches never wait on each other
  // in a cycle (the index lock is always taken after the KUIDs).
  std::vector<KUID> kuids;
  for (const StagedTogether& p : pending) kuids.push_back(p.fresh.kuid);
  std::sort(kuids.begin(), kuids.end(), KUIDBefore);
  kuids.erase(std::unique(kuids.begin(), kuids.end()), kuids.end());
  std::vector<KUIDLockSet::Hold> holds;
  holds.reserve(kuids.size());
  for (const KUID& kuid : kuids) holds.push_back(s.kuidLocks.Acquire(kuid));
  // A KUID that comes again starts a new transaction: the later install
  // must see the earlier one recorded, and its folders settled.
  for (size_t begin = 0; begin < pending.size();) {
    std::vector<KUID> seen;
    size_t end = begin;
    for (; end < pending.size(); ++end) {
      if (std::find(seen.begin(), seen.end(), pending[end].fresh.kuid) != seen.end()) break;
      seen.push_back(pending[end].fresh.kuid);
    }
    RecordTogether(s, std::span<StagedTogether>(pending.data() + begin, end - begin));
    begin = end;
  }
}

StoreResult AssetStore::StageFolder(const std::string& sourceFolder, std::string* path) {
  if (!impl_->open) return impl_->NotOpen();
  const std::string staging = impl_->NewStagingPath();
  std::string error;
  if (!CopyFolderTree(sourceFolder, staging, &error)) {
    RemoveFolderTree(staging);
    return StoreResult::Fail(StoreCode::kIoError, "cannot copy the asset folder: " + error);
  }
  *path = staging;
  return StoreResult::Success();
}

StoreResult AssetStore::InstallFolder(const std::string& sourceFolder,
                                      const InstallOptions& options, InstallOutcome* outcome) {
  std::string staging;
  const StoreResult staged = StageFolder(sourceFolder, &staging);
  if (!staged.Ok()) return staged;
  return InstallStaged(staging, options, outcome);
}

StoreResult AssetStore::Remove(const KUID& kuid) {
  Impl& s = *impl_;
  if (!s.open) return s.NotOpen();
  const KUIDLockSet::Hold hold = s.kuidLocks.Acquire(kuid);
  FolderMoves moved;
  {
    std::lock_guard<FairMutex> lock(s.dbMutex);
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
    if (!DeleteAssetRow(s.db, kuid) || !s.RefreshMissingMarks({kuid}) || !transaction.Commit()) {
      MoveFoldersBack(moved);
      return s.DbFail("cannot remove the asset");
    }
  }
  // A copy that cannot be removed now is left to the recovery of the next
  // start: no row names it, and its name is the store's own.
  for (const auto& [folder, staging] : moved) RemoveFolderTree(staging);
  return StoreResult::Success();
}
