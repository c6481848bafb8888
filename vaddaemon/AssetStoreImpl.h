// AssetStore::Impl: the state behind AssetStore, shared by the files that
// implement it (AssetStore*.cpp). Not for use outside the store.
//
// `db` is used only while `dbMutex` is held. Operations that change an
// asset's folders hold the asset's KUID in `kuidLocks` for their whole run
// (copies included) and take `dbMutex` only around index work; every
// whole-row write re-reads the row under the same hold of `dbMutex`, so
// concurrent changes of single fields are never lost.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "vaddaemon/AssetIndex.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/FairMutex.h"
#include "vaddaemon/InFlightRecord.h"
#include "vaddaemon/KUIDLockSet.h"
#include "vaddaemon/SqliteDb.h"
#include "vaddaemon/TreeFlush.h"

struct AssetStore::Impl {
  explicit Impl(Options o)
      : options(std::move(o)), inFlightRecord(options.indexPath + ".in-flight") {}

  Options options;
  std::string localRoot;
  std::string editingRoot;
  FairMutex dbMutex;
  SqliteDb db;
  bool open = false;
  RecoveryReport report;
  KUIDLockSet kuidLocks;
  // Flushes the trees the store writes (TreeFlush.h); its marks number the
  // staging folders, each taken before the folder is made.
  TreeFlush treeFlush;
  // Staging folders DiscardLater left, for RemoveDiscarded.
  std::mutex discardedMutex;
  std::vector<std::string> discarded;

  // root + "/" + name, or "" when `name` is not one safe path component
  // (empty, ".", "..", or holding "/"): a damaged index can never make the
  // store touch anything outside its folders.
  static std::string Child(const std::string& root, std::string_view name);
  std::string LocalPath(std::string_view name) const { return Child(localRoot, name); }
  std::string EditingPath(std::string_view name) const { return Child(editingRoot, name); }
  // A fresh staging path inside the local root (not created).
  std::string NewStagingPath();
  bool IsOwnStagingPath(const std::string& path) const;
  // The mark of treeFlush taken for the staging folder `path` (0 for a
  // path NewStagingPath of this process did not give: the earliest).
  uint64_t StagingMark(const std::string& path) const;
  // Flushes the filled staging folder `path` to the disk (TreeFlush::Flush
  // with its mark): false when it is not wholly there.
  bool FlushStaged(const std::string& path);
  // Removes the folder at `path` (an asset folder the index no longer
  // names) by renaming it to a staging name first, so that a crash in the
  // middle leaves a staging folder, never part of an asset folder that the
  // recovery would take in. True when nothing is left at `path`.
  bool DiscardFolder(const std::string& path);
  // DiscardFolder's rename now, its removal later: the staging folder it
  // leaves is removed by AssetStore::RemoveDiscarded (work after a
  // request's reply), else by the next start. A folder that cannot be
  // renamed is removed at once, as DiscardFolder does.
  void DiscardLater(const std::string& path);
  // Renames the folder at `path` to a fresh staging name beside it (no
  // rename across folders): that name; "" when nothing stands at `path`
  // or it cannot be renamed (errno says which).
  std::string RenameToStaging(const std::string& path);

  // Flushes the entries of `folder` after a rename into it, before the
  // commit that records the rename (SyncFolder), and tells
  // Options::folderFlushed: false when the flush failed, and the commit
  // must not be made.
  bool FlushFolder(const std::string& folder);

  StoreResult NotOpen() const;
  StoreResult DbFail(const std::string& what);
  // Reads a row under dbMutex.
  RowRead Read(const KUID& kuid, StoredAsset* asset);

  // Makes way at `path`, a name the store is about to put a folder at.
  // Nothing there is ever removed: whatever stands there (no row names it:
  // a folder the recovery left alone, one a user made, a file, a link) is
  // set aside as "<path>.set-aside-<time>" (kSetAsideWhy, IndexAside.h),
  // logged, and "<path> as <aside>" added to `*setAside` (when not null).
  // kIoError naming it when it cannot be moved.
  StoreResult MakeWay(const std::string& path, std::vector<std::string>* setAside);
  // Replacements in flight (AssetStore.h, Replacing). Before the staging
  // folder `staging` is renamed to `target`, the other name of the asset's
  // folder in the same place: makes way at `target` (MakeWay, into
  // `*setAside`) and adds to `*record` the folder that will stand there (by
  // the staging folder's identity) and the installed copy `replaced` (""
  // for none: an edit copy is never the store's to remove), which goes
  // once the index names the new one.
  StoreResult PrepareInFlight(const std::string& staging, const std::string& target,
                              const std::string& replaced, std::vector<InFlightFolder>* record,
                              std::vector<std::string>* setAside);
  // Adds `record` to inFlightRecord, before the rename (kIoError naming
  // the file when it cannot be written); does nothing when it is empty.
  StoreResult RecordInFlight(const std::vector<InFlightFolder>& record);
  // Drops the folders of `record` that are no longer needed: every one but
  // a folder that still stands at its name with its identity while no row
  // names it (an old copy that could not be removed), which the next start
  // removes. A failure is logged; the next write or start mends the file.
  void ClearInFlight(const std::vector<InFlightFolder>& record);
  // The path of a row's folder ("" for a place that is not the store's),
  // and whether a folder stands there with the row's identity: device,
  // inode and birth time (never for a row without a birth time, which
  // proves nothing: ext4 hands a freed inode straight to the next folder).
  std::string InFlightPath(const InFlightFolder& folder) const;
  bool Stands(const InFlightFolder& folder) const;
  // The folders of the replacements in flight (InFlightRecord.h).
  InFlightRecord inFlightRecord;
  // The folders the start found recorded (read by Recover, used by step 3):
  // those of inFlightRecord. Rows an older daemon left in the index's
  // in_flight table have no birth time; Recover deletes them unused.
  std::vector<InFlightFolder> inFlightAtStart;

  // Whether anything stands at a folder name of `kuid` (with or without
  // "~") in U/local or U/editing: NewKUID never hands such a KUID out.
  bool FolderNameTaken(const KUID& kuid) const;

  // In one transaction under dbMutex: reads the row of `kuid` (a default
  // row with that KUID when there is none), lets `change` edit it, writes
  // it and, before the commit, renames `from` to `to` (when `from` is not
  // empty; way is made at `to` first (MakeWay, into `*setAside`) and its
  // parent flushed after the rename; a flush that fails fails the change).
  // On failure nothing is recorded and `from` is where it was; what was
  // set aside stays aside.
  using RowChange = std::function<void(StoredAsset& row)>;
  StoreResult CommitRowWithRename(const KUID& kuid, const RowChange& change,
                                  const std::string& from, const std::string& to,
                                  std::vector<std::string>* setAside = nullptr);
  // The end of such a transaction, with dbMutex held and the row written:
  // the rename (as above) and the commit. On failure nothing is recorded
  // and `from` is where it was.
  StoreResult RenameAndCommit(SqliteTransaction& transaction, const std::string& from,
                              const std::string& to, std::vector<std::string>* setAside = nullptr);
  // With dbMutex held, inside the transaction of a change of the assets
  // `changed`: sets status byte 11 of each of them and of every asset that
  // depends on some version of them to whether its dependencies are missing
  // (DependencyCheck.h). False when the index fails.
  bool RefreshMissingMarks(const std::vector<KUID>& changed);
  // Opens an asset whose KUID the caller holds (BeginEdit, Reserve).
  StoreResult BeginEditHeld(const KUID& kuid, AssetStore::EditInfo* info);

  // What Open found of the index (AssetStore.h, Opening), for the report.
  struct IndexOpening {
    bool made = false;
    std::string damage;
    std::vector<std::string> setAside;
  };
  IndexOpening opening;
  // With dbMutex held: opens the index, making it when missing; a damaged
  // one is set aside and a new one made, once per Open (see Opening).
  StoreResult OpenIndex();
  // With dbMutex held: closes the index and sets it aside as damaged for
  // `why`; false when it cannot be moved (the reason in `*error`).
  bool SetDamagedIndexAside(const std::string& why, std::string* error);

  StoreResult Recover();
  // Recovery step 3 (AssetStore.h) over the entries of the local and
  // editing folders (names, as listed): `keepLocal` and `keepEditing` hold
  // the folders the rows name (and any other that must stay); the folders
  // taken in are added to them. Takes in, in one transaction, then removes
  // what it clears. Fails only when the index fails.
  StoreResult SettleUnnamedFolders(const std::vector<std::string>& localEntries,
                                   const std::vector<std::string>& editingEntries,
                                   std::set<std::string>& keepLocal,
                                   std::set<std::string>& keepEditing);
};

// The names of the entries of `folder` ("." and ".." left out); empty when
// it cannot be listed.
std::vector<std::string> ListFolderEntries(const std::string& folder);

// Reads the configuration of an asset folder that the store made or is
// taking in into `fresh`: kBadConfig naming the reason when it does not
// load, names no valid KUID, or holds what the index cannot keep
// (UnkeptConfigKUID, ConfigStorageProblem).
StoreResult DescribeStaged(const std::string& staging, StoredAsset* fresh);

// The current time in Unix seconds.
int64_t StoreNow();

// Puts the fields a configuration decides over an index row (kind,
// category, texts, build, dependency lists) and marks it installed now.
// Keywords, favourite, kuid2 and the other status bits survive; "faulty"
// describes the old files and is cleared; "locally modified" is set for a
// committed edit and cleared for a fresh install. Name and author are the
// caller's: both take the name from the configuration (empty when it has
// none), as the index says what the installed files say.
void ApplyInstalledFields(const StoredAsset& fresh, bool locallyModified, StoredAsset& row);
