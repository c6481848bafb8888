// AssetStore: edit copies (see AssetStore.h).
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "foundation/base/LogMessage.h"
#include "foundation/layout/EditCopyMark.h"
#include "foundation/soup/Soup.h"
#include "kiv/FileConfinement.h"
#include "vaddaemon/AssetConfigReader.h"
#include "vaddaemon/AssetFolderNames.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/AssetStoreImpl.h"
#include "vaddaemon/ConfigKUID.h"
#include "vaddaemon/FolderMove.h"
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

// Makes `target` (a fresh staging path) a fresh edit folder: a copy of
// `installed` when given (its configuration as "config.txt"), else empty,
// marked as the store's (EditCopyMark.h) and flushed to the disk. The
// installed folder is read as the folder at its name, never through a link.
StoreResult FillEditFolder(AssetStore::Impl& s, const std::string& installed,
                           const std::string& target) {
  std::string error;
  std::error_code ec;
  bool made = installed.empty() && fs::create_directory(target, ec) && !ec;
  if (!installed.empty()) {
    const HeldFolder source(installed);
    if (source.Fd() >= 0) {
      made = CopyFolderTree(source.Path(), target, &error);
      error = source.Named(error);
    } else {
      error = InTheWayText(installed);
      if (error.empty()) error = "not a folder: " + installed;
    }
  }
  // What the user edits is what a commit takes: the configuration as text.
  if (made && !installed.empty() && !KeepConfigAsText(target)) {
    made = false;
    error = "cannot write its config.txt";
  }
  // An install tells the store's own files from the user's work by this
  // mark (a copy that cannot be marked only counts as the user's); the
  // flush below carries it.
  if (made) MarkAsMade(target);
  if (!made || !s.FlushStaged(target)) {
    RemoveFolderTree(target);
    return StoreResult::Fail(StoreCode::kIoError, "cannot make the edit folder " + target +
                                                      (error.empty() ? "" : ": " + error));
  }
  return StoreResult::Success();
}

// Installs the edit copy taken to `taken` (the caller holds the asset's
// KUID; `row` is its row): its configuration must load and name the asset;
// the files are copied into staging and recorded as the
// installed copy, the edit state cleared. The old installed copy goes once
// the index no longer names it (the taken folder is the caller's). On
// failure nothing is recorded and `taken` is as it was.
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
  if (!CopyFolderTree(taken, staging, &error) || !s.FlushStaged(staging)) {
    RemoveFolderTree(staging);
    return StoreResult::Fail(StoreCode::kIoError, "cannot copy the edit folder: " + error);
  }
  const bool wasInstalled = row.Installed();
  const std::string oldInstalled = wasInstalled ? s.LocalPath(row.folder) : std::string();
  const std::string folder = NextAssetFolderName(kuid, row.folder);
  std::vector<std::string>* setAside = outcome ? &outcome->setAside : nullptr;
  std::vector<InFlightFolder> inFlight;
  StoreResult result = StoreResult::Success();
  if (wasInstalled)
    result = s.PrepareInFlight(staging, s.LocalPath(folder), oldInstalled, &inFlight, setAside);
  if (result.Ok()) result = s.RecordInFlight(inFlight);
  if (result.Ok()) {
    result = s.CommitRowWithRename(
        kuid,
        [&](StoredAsset& now) {
          now.name = fresh.name;
          now.authorId = kuid.userId;
          ApplyInstalledFields(fresh, true, now);
          now.folder = folder;
          now.editFolder.clear();
        },
        staging, s.LocalPath(folder), setAside);
  }
  if (!result.Ok()) {
    RemoveFolderTree(staging);
    s.ClearInFlight(inFlight);
    return result;
  }
  s.DiscardLater(oldInstalled);
  s.ClearInFlight(inFlight);
  if (outcome) {
    outcome->kuid = kuid;
    outcome->replaced = wasInstalled;
    outcome->leftOpenForEdit = false;
  }
  return StoreResult::Success();
}

bool Exists(const std::string& path) {
  struct stat info = {};
  return ::lstat(path.c_str(), &info) == 0;
}

void LogAside(const FolderMove& move, const std::string& into) {
  for (const FolderMove::Aside& aside : move.aside) {
    LogMessage("vaddaemon> commit: %s/%s is kept as %s/%s beside the file saved there since",
               into.c_str(), aside.name.c_str(), into.c_str(), aside.keptAs.c_str());
  }
}

// A file of the edit folder met twice by a move, kept under both names for
// the user to check; `how` says how it came about.
StoreResult KeptBoth(const std::string& editPath, const FolderMove::Aside& aside,
                     const std::string& how) {
  return StoreResult::Fail(StoreCode::kIoError, "the file " + editPath + "/" + aside.name + how +
                                                    editPath + "/" + aside.keptAs +
                                                    ": check both, then commit again");
}

// A folder left at the taken name (a give-back that could not finish)
// holds saves of the edit: they go back into the edit folder first, and
// the folder is never removed with them. A file saved again since under
// the name of one it holds keeps both, and the commit stops for the user
// to check them, as a take does. A link, file or anything else at that
// name is not the store's: it is refused by name, never followed.
StoreResult ClearTakenFolder(const std::string& taken, const std::string& editPath) {
  const std::string inTheWay = InTheWayText(taken);
  if (!inTheWay.empty())
    return StoreResult::Fail(StoreCode::kIoError, "cannot take the edit folder " + editPath + ": " +
                                                      inTheWay + ": remove it, then commit again");
  if (!Exists(taken)) return StoreResult::Success();
  const FolderMove back = MoveFolderInto(taken, editPath);
  LogAside(back, editPath);
  if (!back.emptied)
    return StoreResult::Fail(
        StoreCode::kIoError,
        "cannot clear the folder " + taken + (back.error.empty() ? "" : ": " + back.error));
  if (back.aside.empty()) return StoreResult::Success();
  return KeptBoth(
      editPath, back.aside.front(),
      " was saved again since an earlier commit took it; that commit's copy is kept as ");
}

// Moves the entries of the edit folder into `taken` (made here, and held
// open in `*held`) and removes the edit folder, so that no program saves
// into it any more, by its path or as its working folder (FolderMove.h):
// what the held folder holds then is what is committed. A file saved again
// under a name already moved, or a folder that never empties, fails the
// commit, and the caller gives the files back.
StoreResult TakeEditFolder(const std::string& editPath, const std::string& taken,
                           std::optional<HeldFolder>* held) {
  int error = !Exists(editPath) ? ENOENT : ::mkdir(taken.c_str(), 0777) != 0 ? errno : 0;
  if (error == 0) error = held->emplace(taken).Error();
  if (error != 0) {
    const std::string inTheWay = InTheWayText(taken);
    return StoreResult::Fail(StoreCode::kIoError,
                             "cannot take the edit folder " + editPath + ": " +
                                 (inTheWay.empty() ? std::strerror(error) : inTheWay));
  }
  const FolderMove move = MoveFolderInto(editPath, (*held)->Fd(), taken);
  if (!move.error.empty())
    return StoreResult::Fail(StoreCode::kIoError,
                             "cannot take the edit folder " + editPath + ": " + move.error);
  if (!move.aside.empty())
    return KeptBoth(
        editPath, move.aside.front(),
        " was saved again while the commit took the edit folder; that save is kept as ");
  if (!move.emptied)
    return StoreResult::Fail(StoreCode::kIoError,
                             "files kept being saved into the edit folder " + editPath +
                                 " while the commit took it: commit again once no program "
                                 "saves there");
  return StoreResult::Success();
}

// A commit that failed after taking the edit folder gives the files back
// under the edit folder's name, so the editor's path works again: the taken
// folder is renamed back, or, when the edit folder is still there (it would
// not empty, or was made again), its files are moved back into it. When
// the folder can be neither renamed nor filled, the row names the taken
// folder instead: the edit stays either way. True when the files are under
// the edit folder's name.
bool GiveBackTaken(AssetStore::Impl& s, const KUID& kuid, const std::string& taken,
                   const std::string& editPath) {
  if (std::rename(taken.c_str(), editPath.c_str()) == 0 || errno == ENOENT) return true;
  if (errno == EEXIST || errno == ENOTEMPTY) {
    const FolderMove back = MoveFolderInto(taken, editPath);
    LogAside(back, editPath);
    if (!back.emptied) {
      LogMessage(
          "vaddaemon> commit: %s keeps what it could not give back to %s (%s); the next "
          "commit or start gives it back",
          taken.c_str(), editPath.c_str(), back.error.c_str());
    }
    return true;
  }
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
  // Filled under a staging name and renamed into place in the transaction
  // that records it: a copy cut short never stands under the edit name.
  const std::string staging = NewStagingPath();
  std::vector<std::string> setAside;
  StoreResult result =
      FillEditFolder(*this, row.Installed() ? LocalPath(row.folder) : std::string(), staging);
  if (!result.Ok()) return result;
  {
    // Only the edit state changes; other fields may have moved meanwhile.
    std::lock_guard<FairMutex> lock(dbMutex);
    SqliteTransaction transaction(db);
    StoredAsset now;
    const bool found = transaction.Begun() && ReadAssetRow(db, kuid, &now) == RowRead::kFound;
    if (found) now.editFolder = name;
    if (!found || !WriteAssetRow(db, now)) {
      RemoveFolderTree(staging);
      return DbFail("cannot open the asset for edit");
    }
    result = RenameAndCommit(transaction, staging, EditingPath(name), &setAside);
    if (!result.Ok()) {
      RemoveFolderTree(staging);
      return result.code == StoreCode::kDbError ? DbFail("cannot open the asset for edit") : result;
    }
    row = now;
  }
  FillInfo(*this, row, info);
  if (info) info->setAside = setAside;
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
  // Made under a staging name and renamed into place as BeginEdit does.
  const std::string staging = s.NewStagingPath();
  StoreResult result = FillEditFolder(s, std::string(), staging);
  if (!result.Ok()) return result;
  const std::string name(displayName);
  std::vector<std::string> setAside;
  result = s.CommitRowWithRename(
      kuid,
      [&](StoredAsset& fresh) {
        fresh.name = name;
        fresh.authorId = kuid.userId;
        fresh.placeholder = true;
        fresh.editFolder = editFolder;
        row = fresh;
      },
      staging, s.EditingPath(editFolder), &setAside);
  if (!result.Ok()) {
    RemoveFolderTree(staging);
    return result;
  }
  FillInfo(s, row, info);
  if (info) info->setAside = setAside;
  return StoreResult::Success();
}

StoreResult AssetStore::CommitEdit(const KUID& kuid, InstallOutcome* outcome,
                                   const std::function<StoreResult(const std::string&)>& prepare) {
  Impl& s = *impl_;
  if (!s.open) return s.NotOpen();
  const KUIDLockSet::Hold hold = s.kuidLocks.Acquire(kuid);
  StoredAsset row;
  const RowRead read = s.Read(kuid, &row);
  if (read == RowRead::kError) return s.DbFail("cannot read the index");
  if (read == RowRead::kMissing || !row.OpenForEdit())
    return StoreResult::Fail(StoreCode::kNotFound, "the asset is not open for edit");
  const std::string editPath = s.EditingPath(row.editFolder);
  // Nothing is read, converted or moved through a link at its name.
  const std::string inTheWay = InTheWayText(editPath);
  if (!inTheWay.empty())
    return StoreResult::Fail(StoreCode::kIoError, "cannot take the edit folder: " + inTheWay);
  if (prepare) {
    const StoreResult prepared = prepare(editPath);
    if (!prepared.Ok()) return prepared;
  }
  // A file another program opened for writing before the commit would be
  // committed half-written: the commit refuses with nothing touched, so
  // that program goes on writing into the edit copy.
  StoreResult result = RefuseFilesOpenForWriting(editPath);
  if (!result.Ok()) return result;
  const std::string taken = s.EditingPath(TakenFolderName(row.editFolder));
  result = ClearTakenFolder(taken, editPath);
  if (!result.Ok()) return result;
  std::optional<HeldFolder> held;
  result = TakeEditFolder(editPath, taken, &held);
  // From here the taken folder is read as the one the files went into,
  // whatever its name holds meanwhile.
  const std::string takenNow = result.Ok() ? held->Path() : taken;
  // A file opened for writing between the check and the take is still
  // written through its descriptor, into the taken folder.
  if (result.Ok()) result = RefuseFilesOpenForWriting(takenNow);
  if (result.Ok()) result = CommitTaken(s, row, takenNow, outcome);
  if (held) result.message = held->Named(result.message);
  if (result.Ok()) {
    s.DiscardLater(taken);
    return result;
  }
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
  s.DiscardFolder(editPath);
  return StoreResult::Success();
}
