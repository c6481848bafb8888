// AssetStore: edit copies (see AssetStore.h).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "foundation/soup/Soup.h"
#include "kiv/FileConfinement.h"
#include "vaddaemon/AssetConfigReader.h"
#include "vaddaemon/AssetFolderNames.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/AssetStoreImpl.h"
#include "vaddaemon/ConfigKUID.h"
#include "vaddaemon/FolderTree.h"
#include "vaddaemon/OpenWriterCheck.h"

namespace fs = std::filesystem;

namespace {

void FillInfo(const AssetStore::Impl& s, const StoredAsset& row, AssetStore::EditInfo* info) {
  if (!info) return;
  info->kuid = row.kuid;
  info->editFolder = row.editFolder;
  info->path = s.EditingPath(row.editFolder);
}

// Makes `target` a fresh edit folder: a copy of `installed` when given (its
// configuration as "config.txt"), else empty, flushed to the disk.
StoreResult FillEditFolder(const std::string& installed, const std::string& target) {
  if (target.empty() || !RemoveFolderTree(target))
    return StoreResult::Fail(StoreCode::kIoError, "cannot clear the edit folder " + target);
  std::string error;
  std::error_code ec;
  bool made = installed.empty() ? fs::create_directory(target, ec) && !ec
                                : CopyFolderTree(installed, target, &error);
  // What the user edits is what a commit takes: the configuration as text.
  if (made && !installed.empty() && !KeepConfigAsText(target)) {
    made = false;
    error = "cannot write its config.txt";
  }
  if (!made || !SyncFolderTree(target)) {
    RemoveFolderTree(target);
    return StoreResult::Fail(StoreCode::kIoError, "cannot make the edit folder " + target +
                                                      (error.empty() ? "" : ": " + error));
  }
  return StoreResult::Success();
}

// Installs the edit copy taken to `taken` (the caller holds the asset's
// KUID; `row` is its row): its configuration must load and name the asset;
// the files are copied into staging and recorded as the
// installed copy, the edit state cleared. The taken folder and the old
// installed copy go once the index no longer names them. On failure
// nothing is recorded and `taken` is as it was.
StoreResult CommitTaken(AssetStore::Impl& s, const StoredAsset& row, const std::string& taken,
                        AssetStore::InstallOutcome* outcome) {
  const KUID kuid = row.kuid;
  if (HoldsBothConfigFiles(taken))
    return StoreResult::Fail(StoreCode::kBadConfig,
                             "the edit folder holds both config.txt and config.chump, and "
                             "config.txt would be ignored: remove one of them");
  Soup config;
  // Read as the copy below reads: never through a link out of the folder.
  const Kiv::ConfinedFolder confined(taken);
  if (!LoadAssetFolderConfig(taken, &config))
    return StoreResult::Fail(StoreCode::kBadConfig,
                             "the edit folder holds no readable config.txt or config.chump");
  StoredAsset fresh;
  DescribeAssetFromConfig(config, &fresh);
  // As an install does, a commit takes only a configuration that says
  // whose it is: one without a "kuid" would be installed and then found
  // faulty.
  if (fresh.kuid.IsNull())
    return StoreResult::Fail(StoreCode::kBadConfig,
                             "the configuration names no \"kuid\": add the line \"kuid " +
                                 KUIDToTagString(kuid).Str() + "\" to it");
  // One that the index cannot keep reads as another asset's KUID.
  const std::string unkept = UnkeptConfigKUID(config);
  if (!unkept.empty()) return StoreResult::Fail(StoreCode::kBadConfig, unkept);
  if (fresh.kuid != kuid)
    return StoreResult::Fail(StoreCode::kBadConfig, "the configuration names another KUID");
  const std::string problem = ConfigStorageProblem(config);
  if (!problem.empty()) return StoreResult::Fail(StoreCode::kBadConfig, problem);

  const std::string staging = s.NewStagingPath();
  std::string error;
  if (!CopyFolderTree(taken, staging, &error) || !SyncFolderTree(staging)) {
    RemoveFolderTree(staging);
    return StoreResult::Fail(StoreCode::kIoError, "cannot copy the edit folder: " + error);
  }
  const bool wasInstalled = row.Installed();
  const std::string oldInstalled = wasInstalled ? s.LocalPath(row.folder) : std::string();
  const std::string folder = NextAssetFolderName(kuid, row.folder);
  const StoreResult result = s.CommitRowWithRename(
      kuid,
      [&](StoredAsset& now) {
        now.name = fresh.name;
        now.authorId = kuid.userId;
        ApplyInstalledFields(fresh, true, now);
        now.folder = folder;
        now.editFolder.clear();
      },
      staging, s.LocalPath(folder));
  if (!result.Ok()) {
    RemoveFolderTree(staging);
    return result;
  }
  RemoveFolderTree(oldInstalled);
  RemoveFolderTree(taken);
  if (outcome) {
    outcome->kuid = kuid;
    outcome->replaced = wasInstalled;
    outcome->leftOpenForEdit = false;
  }
  return StoreResult::Success();
}

// A commit that failed after taking the edit folder gives it back its old
// name, so the editor's path works again. When something took that path
// meanwhile, the row names the taken folder instead: the edit stays either
// way. True when the folder has its old name again.
bool GiveBackTaken(AssetStore::Impl& s, const KUID& kuid, const std::string& taken,
                   const std::string& editPath) {
  if (std::rename(taken.c_str(), editPath.c_str()) == 0) return true;
  const std::string takenName = fs::path(taken).filename().string();
  s.CommitRowWithRename(
      kuid, [&](StoredAsset& now) { now.editFolder = takenName; }, std::string(), std::string());
  return false;
}

}  // namespace

StoreResult AssetStore::Impl::BeginEditHeld(const KUID& kuid, AssetStore::EditInfo* info) {
  StoredAsset row;
  const RowRead read = Read(kuid, &row);
  if (read == RowRead::kError) return DbFail("cannot read the index");
  if (read == RowRead::kMissing) return StoreResult::Fail(StoreCode::kNotFound, "unknown asset");
  if (row.OpenForEdit()) {
    FillInfo(*this, row, info);
    return StoreResult::Success();
  }
  const std::string name = NextAssetFolderName(kuid, std::string());
  const std::string target = EditingPath(name);
  StoreResult result =
      FillEditFolder(row.Installed() ? LocalPath(row.folder) : std::string(), target);
  if (!result.Ok()) return result;
  {
    // Only the edit state changes; other fields may have moved meanwhile.
    std::lock_guard<FairMutex> lock(dbMutex);
    SqliteTransaction transaction(db);
    StoredAsset now;
    if (!transaction.Begun() || ReadAssetRow(db, kuid, &now) != RowRead::kFound) {
      RemoveFolderTree(target);
      return DbFail("cannot open the asset for edit");
    }
    now.editFolder = name;
    if (!WriteAssetRow(db, now) || !transaction.Commit()) {
      RemoveFolderTree(target);
      return DbFail("cannot open the asset for edit");
    }
    row = now;
  }
  FillInfo(*this, row, info);
  return StoreResult::Success();
}

StoreResult AssetStore::BeginEdit(const KUID& kuid, EditInfo* info) {
  if (!impl_->open) return impl_->NotOpen();
  const KUIDLockSet::Hold hold = impl_->kuidLocks.Acquire(kuid);
  return impl_->BeginEditHeld(kuid, info);
}

bool AssetStore::BeginEditIfOpen(const KUID& kuid, EditInfo* info) {
  if (!impl_->open) return false;
  // Only reads: a reader of the asset does not stand in its way.
  const KUIDLockSet::Hold hold = impl_->kuidLocks.TryAcquireShared(kuid);
  if (!hold.Held()) return false;
  StoredAsset row;
  if (impl_->Read(kuid, &row) != RowRead::kFound || !row.OpenForEdit()) return false;
  FillInfo(*impl_, row, info);
  return true;
}

StoreResult AssetStore::Reserve(const KUID& wanted, std::string_view displayName, EditInfo* info) {
  Impl& s = *impl_;
  if (!s.open) return s.NotOpen();
  const KUID kuid = wanted.IsNull() ? NewKUID() : wanted;
  if (kuid.IsNull())
    return StoreResult::Fail(StoreCode::kExhausted,
                             "no new KUID is left in the local user's range");
  if (!kuid.IsValid()) return StoreResult::Fail(StoreCode::kBadArgument, "not a valid KUID");
  const KUIDLockSet::Hold hold = s.kuidLocks.Acquire(kuid);
  StoredAsset row;
  const RowRead read = s.Read(kuid, &row);
  if (read == RowRead::kError) return s.DbFail("cannot read the index");
  if (read == RowRead::kFound) return s.BeginEditHeld(kuid, info);

  const std::string editFolder = NextAssetFolderName(kuid, std::string());
  const std::string target = s.EditingPath(editFolder);
  StoreResult result = FillEditFolder(std::string(), target);
  if (!result.Ok()) return result;
  const std::string name(displayName);
  result = s.CommitRowWithRename(
      kuid,
      [&](StoredAsset& fresh) {
        fresh.name = name;
        fresh.authorId = kuid.userId;
        fresh.placeholder = true;
        fresh.editFolder = editFolder;
        row = fresh;
      },
      std::string(), std::string());
  if (!result.Ok()) {
    RemoveFolderTree(target);
    return result;
  }
  FillInfo(s, row, info);
  return StoreResult::Success();
}

StoreResult AssetStore::CommitEdit(const KUID& kuid, InstallOutcome* outcome,
                                   const std::function<void(const std::string&)>& prepare) {
  Impl& s = *impl_;
  if (!s.open) return s.NotOpen();
  const KUIDLockSet::Hold hold = s.kuidLocks.Acquire(kuid);
  StoredAsset row;
  const RowRead read = s.Read(kuid, &row);
  if (read == RowRead::kError) return s.DbFail("cannot read the index");
  if (read == RowRead::kMissing || !row.OpenForEdit())
    return StoreResult::Fail(StoreCode::kNotFound, "the asset is not open for edit");
  const std::string editPath = s.EditingPath(row.editFolder);
  if (prepare) prepare(editPath);
  // The edit folder is taken in one rename: what it holds now is what is
  // committed, and a write into the old path from now on fails at once.
  const std::string taken = s.EditingPath(NextAssetFolderName(kuid, row.editFolder));
  if (taken.empty() || !RemoveFolderTree(taken))
    return StoreResult::Fail(StoreCode::kIoError, "cannot clear the folder " + taken);
  if (std::rename(editPath.c_str(), taken.c_str()) != 0)
    return StoreResult::Fail(StoreCode::kIoError, "cannot take the edit folder " + editPath + ": " +
                                                      std::strerror(errno));
  // A file another program still writes through a descriptor opened
  // before the take would be committed half-written: the edit goes back.
  StoreResult result = RefuseFilesOpenForWriting(taken);
  if (result.Ok()) result = CommitTaken(s, row, taken, outcome);
  if (result.Ok()) return result;
  if (!GiveBackTaken(s, kuid, taken, editPath)) return result;
  // The editor knows the folder by its own name, which it has again.
  for (size_t at = result.message.find(taken); at != std::string::npos;
       at = result.message.find(taken, at + editPath.size())) {
    result.message.replace(at, taken.size(), editPath);
  }
  return result;
}

StoreResult AssetStore::RevertEdit(const KUID& kuid) {
  Impl& s = *impl_;
  if (!s.open) return s.NotOpen();
  const KUIDLockSet::Hold hold = s.kuidLocks.Acquire(kuid);
  std::string editPath;
  {
    std::lock_guard<FairMutex> lock(s.dbMutex);
    StoredAsset row;
    const RowRead read = ReadAssetRow(s.db, kuid, &row);
    if (read == RowRead::kError) return s.DbFail("cannot read the index");
    if (read == RowRead::kMissing || !row.OpenForEdit())
      return StoreResult::Fail(StoreCode::kNotFound, "the asset is not open for edit");
    editPath = s.EditingPath(row.editFolder);
    SqliteTransaction transaction(s.db);
    if (!transaction.Begun()) return s.DbFail("cannot revert the asset");
    const bool drop = row.placeholder && !row.Installed();
    row.editFolder.clear();
    const bool written = drop ? DeleteAssetRow(s.db, kuid) : WriteAssetRow(s.db, row);
    if (!written || !transaction.Commit()) return s.DbFail("cannot revert the asset");
  }
  RemoveFolderTree(editPath);
  return StoreResult::Success();
}
