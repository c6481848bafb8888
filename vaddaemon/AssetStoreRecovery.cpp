// AssetStore::Impl::Recover: makes the index and the folders agree after a
// crash (the rule is stated in AssetStore.h).
#include <cstdio>
#include <filesystem>
#include <set>

#include "foundation/base/LogMessage.h"
#include "vaddaemon/AssetFolderNames.h"
#include "vaddaemon/AssetStoreImpl.h"
#include "vaddaemon/FolderMove.h"
#include "vaddaemon/FolderTree.h"
#include "vaddaemon/TextureSourceNames.h"

namespace fs = std::filesystem;

namespace {

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(fs::symlink_status(path, ec));
}

// A commit (or its give-back) cut short leaves the edit's files in the
// taken folder beside the edit folder `row` names: the taken folder is the
// edit folder again when that is gone (the take had finished), else its
// files go back into the edit folder. A taken folder that cannot give
// everything back is kept (named in `keep`), never removed with its files.
void GiveBackTakenFolder(AssetStore::Impl& s, StoredAsset& row, bool* changed,
                         std::set<std::string>* keep) {
  const std::string takenName = TakenFolderName(row.editFolder);
  const std::string taken = s.EditingPath(takenName);
  const std::string editPath = s.EditingPath(row.editFolder);
  if (!IsFolder(taken)) return;
  ++s.report.takenGivenBack;
  if (!IsFolder(editPath)) {
    if (std::rename(taken.c_str(), editPath.c_str()) == 0) return;
    row.editFolder = takenName;
    *changed = true;
    return;
  }
  const FolderMove back = MoveFolderInto(taken, editPath);
  for (const FolderMove::Aside& aside : back.aside)
    s.report.keptAside.push_back(editPath + "/" + aside.keptAs);
  if (!back.emptied) keep->insert(takenName);
}

}  // namespace

StoreResult AssetStore::Impl::Recover() {
  report = RecoveryReport();
  std::set<std::string> keepLocal;
  std::set<std::string> keepEditing;
  {
    std::lock_guard<FairMutex> lock(dbMutex);
    std::vector<StoredAsset> rows;
    if (!ReadAllAssetRows(db, &rows)) return DbFail("cannot read the index");
    std::vector<InFlightFolder> oldRows;
    if (!ReadInFlightFolders(db, &oldRows)) return DbFail("cannot read the index");
    inFlightAtStart.clear();
    std::string error;
    if (!inFlightRecord.Load(&inFlightAtStart, &error)) {
      LogMessage(
          "vaddaemon> store: %s; no replacement is taken as cut short: a folder one left is set "
          "aside, not removed",
          error.c_str());
    }
    SqliteTransaction transaction(db);
    if (!transaction.Begun()) return DbFail("cannot recover the index");
    // Rows an older daemon recorded in the index carry no birth time, so
    // they prove no folder the store's: what they name is set aside.
    if (!oldRows.empty() && !ClearInFlightFolders(db)) return DbFail("cannot recover the index");
    std::vector<StoredAsset> kept;
    kept.reserve(rows.size());
    for (StoredAsset& row : rows) {
      const bool hadFolder = row.Installed();
      bool changed = false;
      if (row.Installed() && !IsFolder(LocalPath(row.folder))) {
        row.folder.clear();
        changed = true;
      }
      if (row.OpenForEdit()) GiveBackTakenFolder(*this, row, &changed, &keepEditing);
      if (row.OpenForEdit() && !IsFolder(EditingPath(row.editFolder))) {
        // A commit stopped after taking the edit folder to its other name.
        const std::string taken = NextAssetFolderName(row.kuid, row.editFolder);
        if (IsFolder(EditingPath(taken))) {
          row.editFolder = taken;
        } else {
          row.editFolder.clear();
          ++report.editsCleared;
        }
        changed = true;
      }
      if (!row.Installed() && !row.OpenForEdit() && (row.placeholder || hadFolder)) {
        if (!DeleteAssetRow(db, row.kuid)) return DbFail("cannot recover the index");
        ++report.rowsRemoved;
        continue;
      }
      if (changed && !WriteAssetRow(db, row)) return DbFail("cannot recover the index");
      if (row.Installed()) keepLocal.insert(row.folder);
      if (row.OpenForEdit()) keepEditing.insert(row.editFolder);
      kept.push_back(std::move(row));
    }
    // An index of an older daemon has no dependents rows yet, or stale ones.
    if (!SyncDependents(db, kept, &report.dependentsMended))
      return DbFail("cannot recover the index");
    if (!transaction.Commit()) return DbFail("cannot recover the index");
  }
  // A commit cut short of an asset the index does not know (it was lost or
  // damaged since) left the edit's files in the taken folder: they go back
  // to the edit folder, which step 3 takes in.
  std::vector<std::string> editing = ListFolderEntries(editingRoot);
  bool gaveBack = false;
  const std::string prefix = TakenFolderName(std::string());
  for (const std::string& name : editing) {
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    StoredAsset row;
    row.editFolder = name.substr(prefix.size());
    row.kuid = AssetOfFolderName(row.editFolder);
    StoredAsset known;
    if (row.kuid.IsNull() || Read(row.kuid, &known) != RowRead::kMissing) continue;
    bool unmoved = false;
    GiveBackTakenFolder(*this, row, &unmoved, &keepEditing);
    if (unmoved) keepEditing.insert(row.editFolder);
    gaveBack = true;
  }
  if (gaveBack) editing = ListFolderEntries(editingRoot);
  const StoreResult settled =
      SettleUnnamedFolders(ListFolderEntries(localRoot), editing, keepLocal, keepEditing);
  if (!settled.Ok()) return settled;
  // The replacements cut short are settled; a record whose folder could not
  // be removed stays for the next start.
  ClearInFlight(inFlightAtStart);
  // A texture conversion cut short (a commit's, in the edit copy) may have
  // left sources under their temporary name.
  for (const std::string& name : keepEditing)
    report.sourcesRenamed += GiveTextureSourceNamesBack(EditingPath(name));
  return StoreResult::Success();
}
