// AssetStore: the daemon's asset database, an index in SQLite plus one
// folder per asset.
//
// Layout (U = the user-data folder given in Options):
//   U/assets.tdx     the index (SQLite, rollback journal, synchronous FULL);
//   U/local/F        the installed files of an asset; F is its folder name;
//   U/editing/F      the edit copy of an asset that is open for edit;
//   U/local/.vadtmp-*  staging folders of installs in progress.
// Folder names: an asset's folder is its KUID's keyword text
// (KUIDToKeywordString: "kuid U C" or "kuid2 U C V"); a replacement goes
// to the same text with "~" appended, and the next one back to the plain
// text, so the new copy never overwrites the one the index still names.
// The index row records which of the two names is current.
//
// Crash safety. Every change of the index is one SQLite transaction. A
// folder takes the place of another only by a rename made inside the
// transaction that records it, before the commit; old copies are removed
// only after the commit. So after a crash at any point the index names
// either the old folders or the new ones, and both exist.
// Replacing: a new copy that goes to the other name of an asset's current
// folder (an install or commit over an installed copy, an install as an
// edit copy over an open one) is recorded in flight first (a file of its
// own beside the index, InFlightRecord.h): once way is made at that name,
// the record takes the staging folder's identity (device, inode and birth
// time, which the rename keeps; ext4 hands a freed inode straight to the
// next folder, so device and inode alone prove nothing) under the name it
// goes to and, when the old copy is the
// store's to remove (an installed copy), that copy's identity under its
// own name; then the transaction that records the asset renames the folder
// into place; then the old copy goes; then the record lets go of them (it
// keeps a folder that still stands while no row names it, so the next
// start removes that folder). The record is written but never synced: a
// crash of the daemon keeps it, and one lost with the machine only makes
// the next start set the store's folder aside instead of removing it, so a
// replacement makes no more synced writes than a first install. The recovery
// removes a folder at an asset's other name only when such a record names
// it with its identity, whichever of the two names the index names after
// the crash; any other folder there is the user's and is set aside (step
// 3), and so is one recorded without a birth time (an older daemon's
// record, a file system that keeps none). A record that cannot be read or
// is not the store's own (InFlightRecord.h) makes the start take no
// replacement as cut short, and fails every replacement. An edit copy
// the install replaces is never recorded: it is the user's work, set
// aside once the commit is recorded (below). An install first
// fills a staging folder (copy or extraction), then, in one transaction,
// records the asset and renames the staging folder to the asset folder.
// An edit copy is made the same way (BeginEdit fills a staging folder and
// renames it into place in the transaction that records it), and one the
// index stops naming after a revert is renamed to a staging name before it
// is removed: so a folder under an asset's name is always whole, and the
// recovery may take it in (step 3).
//
// The folders are the truth, the index derives from them: the store never
// removes an asset folder or an edit copy because the index does not name
// it. Opening (Open): an index that is missing is made (empty). An index
// that cannot be read is damage: a file that does not begin as an SQLite
// database (judged before SQLite opens it, which would otherwise first
// play or drop a journal beside it as its own), one SQLite finds not a
// database or damaged (SQLITE_NOTADB, SQLITE_CORRUPT, also where the
// recovery reads the rows), or one whose tables lack columns this code
// uses. A damaged index is kept aside with its journal (IndexAside.h:
// "assets.tdx.damaged-<time>" and "...-journal", never replacing a file),
// once per Open, and a new one is made. A journal beside a missing index
// is one SQLite drops itself at the first read of the new, empty file: it
// can restore nothing without its own database. An index that cannot be
// opened for another reason (permissions, I/O, a folder in its place), or
// that a newer schema wrote, fails Open with the reason and is never
// touched. A made index is filled from the folders by step 3 below, as a
// start that finds no index is a fresh installation holding those files:
// what only the old index knew (keywords, favourites, per-asset local
// data, user names, "locally modified" and other marks, a reserved asset's
// name, the last KUID handed out) is lost with it.
//
// Recovery (run by Open, before anything else touches the store), in one
// transaction for steps 1, 2 and 4 and one for step 3:
//   1. a row whose installed folder is missing loses it; for a row open
//      for edit, the taken folder of its edit folder (TakenFolderName, a
//      commit cut short, see Edits) gives its files back: it takes the
//      edit folder's name when that is gone, else its entries move back
//      into it (MoveFolderInto; names saved again meanwhile go in aside,
//      listed in the report); one that cannot give everything back is
//      kept. A row whose edit folder is still missing takes the folder of
//      its other name when that exists (a take by an older daemon, which
//      renamed the edit folder), else loses its edit state;
//   2. a row left with neither folder is deleted when it was a placeholder
//      (Reserve) or had an installed folder before step 1; rows that never
//      had folders (catalog rows written by PutMetadata) are kept;
//   3. the entries of U/local and U/editing that no row names: a staging
//      folder (".vadtmp-" followed by anything) is the store's unfinished
//      work and is removed. An asset folder (a KUID keyword text with or
//      without "~") whose other name a row names in the same place is
//      removed when a replacement cut short made or left it: the record
//      of replacements in flight (Replacing, above) names it with its
//      identity (rows an older daemon left in the index's in_flight
//      table prove none; the transaction of steps 1, 2 and 4 deletes
//      them). Any other folder there (one a user made or copied,
//      whatever it holds) is set aside (as under Names in the way below)
//      and listed; the record then lets go of what is settled. Before
//      that, the taken folder of an
//      asset the index has no row for (a commit cut short, its index lost)
//      gives its files back to the edit folder as in step 1. Every other
//      asset folder is taken into the index: in U/local, when its
//      configuration is one an install would take (DescribeStaged) and
//      names the KUID the folder's name gives, as an install records it
//      (name, kind, category, dependencies, obsoletes, marks of missing
//      dependencies; into the asset's row when it has one); otherwise it is
//      left alone and listed with the reason. In U/editing every such
//      folder is the user's work and is taken in whatever its
//      configuration says, as the edit copy of the KUID its name gives
//      (an asset without a row becomes a placeholder, as Reserve makes,
//      named by its configuration when that names the KUID). Of two copies
//      of one asset in one place, the one written last is taken in (the
//      latest status change of the entries right in it; on a tie, the
//      plain name) and every other copy of it there is set aside (as
//      under Names in the way below) and listed, before the index names
//      the first, so that it never stands at the other name of the one
//      the index names; when one cannot be set aside, no copy of that asset is
//      taken in. Entries that are not the store's (other names, links,
//      files) are left alone and listed in the report. So a start with an
//      intact index lists the two folders, reads the record of
//      replacements in flight and reads no configuration;
//   4. the index of dependents (AssetIndex.h) is brought in line with the
//      rows' dependency lists (filled at the first start with an index of
//      an older daemon);
//   5. in each edit folder left, a texture source that a conversion cut
//      short left under its temporary name gets its name back
//      (TextureSourceNames.h): a commit converts in the edit copy. Staging
//      folders, where installs convert, went in step 3; a daemon waits for
//      the command hosts of the one before it to end before it opens the
//      store (assetdb/protocol/CommandHostLock.h), so none is converting.
// Uncommitted transactions are rolled back by SQLite itself on open.
//
// Removal (Remove) renames the asset's folders to staging names inside the
// transaction that deletes its row, and removes them after the commit. A
// folder that cannot be renamed (a store that cannot be written) fails the
// removal with the row and folders as they were; a crash before the commit
// leaves a row whose folders are missing, which the recovery deletes, and
// staging folders, which it removes.
//
// Names in the way: the store removes only its own staging folders, the
// folders it recorded in flight (Replacing) and installed copies the index
// named (once it no longer names them); an edit copy it stops naming after
// an install is set aside, and one after a revert or removal is removed,
// as the user asked. Whatever stands
// at a name the store is about to put an asset's folder or edit copy at
// (a folder the recovery left alone, one a user made, a file, a link) is
// set aside as "<name>.set-aside-<time>" (with "-2", "-3", ... rather than
// replace anything; AssetFolderNames.h), logged and listed in the outcome.
// A new KUID (NewKUID) is never one whose folder name, with or without
// "~", is taken in U/local or U/editing.
//
// Missing dependencies: every transaction that installs, commits or removes
// an asset also sets status byte 11 ("missing dependencies") of that asset
// and of every asset that depends on some version of it, to what
// DependencyCheck.h answers once the change is recorded. So the stored mark
// always says whether the dependencies are missing now; a repair sets it by
// the same rule. The assets concerned are found through the index of
// dependents (AssetIndex.h), so a change costs what its dependents cost,
// whatever the number of assets installed.
//
// Edits: BeginEdit copies the installed files into U/editing; Reserve makes
// an empty edit folder (for a new asset, a placeholder row). CommitEdit
// first refuses while a file of the edit folder is open for writing in
// another program (OpenWriterCheck.h), with nothing touched; then it takes
// the edit folder: it moves every entry into U/editing/TakenFolderName(edit
// folder) and removes the emptied edit folder (FolderMove.h), so that no
// program can save into it any more, by its path or as its working folder,
// and whatever the taken folder holds then is what is committed. A file
// saved again meanwhile under a name already moved, or an edit folder that
// never empties, fails the commit. The taken folder is checked again for
// open writers, copied into staging and installed as above, and removed
// once the commit is recorded. A commit that fails gives the files back
// under the edit folder's name (the taken folder renamed back, or its
// entries moved back into an edit folder that is still there); a taken
// folder that cannot give everything back stays, and the next commit, or
// the recovery, gives it back first. So a crash never loses an edit: the
// edit copy, whole or split between the two folders, stays until its
// commit is recorded. RevertEdit forgets the edit copy (and a placeholder
// row).
// An install (InstallStaged, InstallFolder) over an asset that is open for
// edit replaces the edit copy: the asset is no longer open for edit, unless
// InstallOptions::asEditCopy asks that the files become the edit copy
// instead. Either way the edit copy replaced may be the user's work: once
// the commit is recorded it is set aside in U/editing as
// "<edit folder>.set-aside-<time>" (Names in the way), logged and named in
// the outcome (editCopyAside), unless it still holds only what the store
// put there when it made it (BeginEdit, Reserve and an install as the
// edit copy mark it, foundation/layout/EditCopyMark.h; a copy the
// recovery takes in carries no mark), which is then removed; so is an
// empty one. A crash before
// that leaves it at its name, which the next start takes in again as the
// edit copy, or sets aside when the new edit copy stands at its other
// name. Whether the asset is installed
// is decided from its row as read inside the transaction that records the
// install, so of two installs of one asset at once the second always sees
// the first.
//
// Readers: work that reads an asset's folders (an export, a validation)
// holds the asset for reading (HoldForReading) while it reads, so that it
// sees one whole copy, the one before an install, commit or removal or the
// one after it, never a folder being replaced or removed.
//
// Threads: every member may be called from any thread. One SQLite
// connection is guarded by a mutex held only for index work; copies run
// outside it. Operations that change one KUID's folders (install, remove,
// edit) are serialised, and wait for its readers, so that a copy or a read
// never races a removal of the same folders. Results are copies; callbacks
// (ForEach) run without any lock held.
//
// Failure: operations answer a StoreResult (see StoredAsset.h) or false /
// the null KUID; a failed operation changes nothing in the index and
// removes its own staging folder. Untrusted input (configurations, source
// folders) is checked: a source folder holding links to folders, devices
// or pipes, or deeper than 64 levels, is refused, and so is a configuration
// with a tag that the binary form cannot store (ConfigStorageProblem). An
// index is never overwritten: one that cannot be read is kept aside, one
// that cannot be opened or was written by a newer schema fails Open (see
// Opening above). Nothing throws.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/text/KUID.h"
#include "vaddaemon/KUIDLockSet.h"
#include "vaddaemon/StoredAsset.h"

// The largest user id that the stream and raw soup forms of a KUID keep
// (2^24 - 1; KUID.h): of the valid KUIDs with a user id of 0 or more, only
// those up to it read back as written. The local user's id, which new KUIDs
// carry, lies in 0..kMaxStoredUserId.
inline constexpr int32_t kMaxStoredUserId = 0xFFFFFF;

class Soup;

class AssetStore {
 public:
  static constexpr const char* kLocalLocation = "local";
  static constexpr const char* kEditingLocation = "editing";
  static constexpr const char* kIndexFileName = "assets.tdx";
  static constexpr const char* kStagingPrefix = ".vadtmp-";

  struct Options {
    std::string indexPath;     // the SQLite file, e.g. U + "/assets.tdx"
    std::string userDataPath;  // U: holds "local" and "editing"
    int32_t localUserId = 0;   // NewKUID's user id, 0..kMaxStoredUserId
    int busyTimeoutMs = 5000;
    // Called (when set) after each flush of a content folder that an
    // install makes between its renames and its commit, with the folder's
    // path; for tests that check that order. It runs with the index locked
    // and must not call the store.
    std::function<void(const std::string& folder)> folderFlushed;
  };

  struct RecoveryReport {
    uint32_t rowsRemoved = 0;
    uint32_t editsCleared = 0;
    uint32_t foldersRemoved = 0;         // staging folders and unfinished replacements
    uint32_t dependentsMended = 0;       // dependents rows added or removed (AssetIndex.h)
    std::vector<std::string> leftAlone;  // entries that are not the store's
    uint32_t sourcesRenamed = 0;         // texture sources given their names back
    uint32_t takenGivenBack = 0;         // taken folders of commits cut short (step 1)
    std::vector<std::string> keptAside;  // files given back beside one of their name
    // Opening (see Opening above).
    bool indexMade = false;             // the index was made anew (none, or set aside)
    std::string indexDamage;            // why the index was set aside; "" when it was not
    std::vector<std::string> setAside;  // "<path> as <new path>", the index then its journal
    // Step 3: folders no row named.
    uint32_t installedTakenIn = 0;
    uint32_t editsTakenIn = 0;
    std::vector<std::string> notTakenIn;      // "<folder>: <why>"
    std::vector<std::string> copiesSetAside;  // "<folder> as <aside>: <why>"
  };

  struct InstallOptions {
    // False: an asset that is already installed is refused with kExists.
    bool replace = true;
    // When the asset is already installed: the files become its edit copy
    // and it is left open for edit, the installed copy unchanged. For an
    // asset that is not installed this has no effect.
    bool asEditCopy = false;
    // Called (when set) inside the transaction that records the install,
    // once the store has read the asset's row there and knows what the
    // files become (`asEditCopy`: the edit copy of the installed asset).
    // It may finish the staging folder, e.g. name the configuration as
    // that outcome needs, and flushes what it writes; false installs
    // nothing. It runs with the index locked and must not call the store.
    std::function<bool(const std::string& stagingPath, bool asEditCopy)> finishStaging;
  };

  struct InstallOutcome {
    KUID kuid;
    bool replaced = false;         // it was installed before
    bool leftOpenForEdit = false;  // asEditCopy took effect
    // "<path> as <aside>": what stood at the name the files went to, set
    // aside (see Names in the way below).
    std::vector<std::string> setAside;
    // The edit copy the install replaced (see Installing below): "<path> as
    // <aside>" when it was set aside; why not, naming it, in `editCopyLeft`
    // when it could not be moved and stays at its name; both empty when
    // there was none (or it was empty, and removed).
    std::string editCopyAside;
    std::string editCopyLeft;
  };

  struct EditInfo {
    KUID kuid;
    std::string editFolder;             // below U/editing
    std::string path;                   // the full path of the edit folder
    std::vector<std::string> setAside;  // as InstallOutcome's, for the edit folder
  };

  explicit AssetStore(Options options);
  ~AssetStore();
  AssetStore(const AssetStore&) = delete;
  AssetStore& operator=(const AssetStore&) = delete;

  // Creates U/local and U/editing, opens or creates the index (setting a
  // damaged one aside, see Opening) and runs the recovery. Every other
  // member fails (kDbError / false / null) until Open has succeeded. Call
  // once.
  StoreResult Open();
  const RecoveryReport& LastRecovery() const;

  const std::string& LocalRoot() const;    // U/local
  const std::string& EditingRoot() const;  // U/editing
  // Full paths of an asset's folders ("" when it has none).
  std::string InstalledPath(const StoredAsset& asset) const;
  std::string EditPath(const StoredAsset& asset) const;

  // --- Installing.
  // A new, empty staging folder inside U/local (full path in `*path`).
  StoreResult MakeStagingFolder(std::string* path);
  // Removes a staging folder the caller no longer needs (only a path the
  // store made; anything else is ignored).
  void DiscardStagingFolder(const std::string& path);
  // Installs a filled staging folder: reads its configuration (see
  // AssetConfigReader.h), records the asset and renames the folder into
  // place. The staging folder is gone afterwards, on success or failure.
  StoreResult InstallStaged(const std::string& stagingPath, const InstallOptions& options,
                            InstallOutcome* outcome);
  // One install of InstallStagedTogether: the staging folder and options
  // in, the result and outcome out.
  struct StagedInstall {
    std::string stagingPath;
    InstallOptions options;
    StoreResult result;
    InstallOutcome outcome;
  };
  // Installs several filled staging folders as InstallStaged would one
  // after another, in their order (a later one of the same KUID sees the
  // earlier one installed), each with its own result, but made durable
  // together: the staged files are flushed with one flush of the file
  // system, every asset is recorded and renamed into place in one
  // transaction (each in a savepoint of its own, so that one that fails
  // leaves the others), the content folders are flushed once and the
  // transaction commits once. A crash leaves each asset wholly installed
  // (old or new copy) or absent, as for InstallStaged (recovery step 3).
  // When the index refuses the batch, every install not yet failed fails
  // with the index's message. The staging folders are gone afterwards.
  void InstallStagedTogether(std::vector<StagedInstall>& installs);
  // Copies `sourceFolder` into a new staging folder (full path in `*path`);
  // on failure nothing is left behind (kIoError naming the reason).
  StoreResult StageFolder(const std::string& sourceFolder, std::string* path);
  // StageFolder, then InstallStaged.
  StoreResult InstallFolder(const std::string& sourceFolder, const InstallOptions& options,
                            InstallOutcome* outcome);
  // Deletes the asset: its row, its installed files and its edit copy
  // (see Removal above). kIoError when a folder cannot be moved aside.
  StoreResult Remove(const KUID& kuid);

  // --- Editing.
  // Opens an asset for edit: the installed files are copied into a new edit
  // folder. An asset already open answers its edit folder as it is. An
  // asset with a row but no installed files gets an empty edit folder.
  StoreResult BeginEdit(const KUID& kuid, EditInfo* info);
  // BeginEdit for an asset already open for edit, without waiting: true
  // with its edit folder when the asset is open for edit and no change of
  // it is under way or waiting (readers do not count); false, having
  // changed nothing, otherwise (then BeginEdit gives the answer).
  bool BeginEditIfOpen(const KUID& kuid, EditInfo* info);
  // Reserves an asset to be written: the null KUID takes NewKUID(). An
  // unknown KUID gets a placeholder row named `displayName` and an empty
  // edit folder; a known one is opened as by BeginEdit.
  StoreResult Reserve(const KUID& kuid, std::string_view displayName, EditInfo* info);
  // Takes the edit copy as the installed asset. Its configuration must be
  // readable and name this KUID as written (ConfigKUID.h; kBadConfig
  // otherwise, the edit copy kept open). The display name and every other field come from it, as
  // for an install. Sets "locally modified". `prepare`, when set, is called with the edit folder's
  // path once the asset is held and found open for edit, before the folder is taken: work that
  // changes the edit copy on its way into the store (compiling its textures) runs there, so no
  // other change of the asset (a second commit, a revert) meets it half done. A failure it answers
  // fails the commit with that result, nothing taken (the asset stays open for edit). It must not
  // call the store for this KUID.
  StoreResult CommitEdit(
      const KUID& kuid, InstallOutcome* outcome,
      const std::function<StoreResult(const std::string& editFolder)>& prepare = {});
  // The copies a commit lets go of (the installed copy it replaced, the
  // edit folder it took) leave their names at once, as staging folders;
  // removing their files is left to this call, which a request makes once
  // its tool has the answer (a start removes what it did not get to).
  void RemoveDiscarded();
  // Drops the edit copy; a placeholder row goes with it.
  StoreResult RevertEdit(const KUID& kuid);

  // --- Reading an asset's folders.
  // While the hold lives, nothing changes the asset's folders (see Readers
  // above); it delays installs, commits and removals of the asset, so keep
  // it only while the folders are read. HoldForReading waits for a change
  // in progress to end; TryHoldForReading never waits (Held() false when
  // the asset is busy).
  using ReadHold = KUIDLockSet::Hold;
  ReadHold HoldForReading(const KUID& kuid);
  ReadHold TryHoldForReading(const KUID& kuid);
  // For a reader given a folder by path (a validation job): when `path`
  // names an asset folder of the store (an installed or edit folder, by its
  // name), holds that asset for reading into `*hold` and answers in
  // `*folder` what to read: `path` itself while it is still one of the
  // asset's folders, else the asset's current copy of the same kind (its
  // edit copy when `path` was one and the asset is still open for edit,
  // else its installed copy), so a reader sent to a copy that was replaced
  // meanwhile reads the copy that took its place; the empty string when the
  // asset has no folder left (it was removed: it is not installed). Any
  // other path is answered as it is, with nothing held. Without `wait`,
  // answers false, holding nothing, when the asset is busy. When `location`
  // is given and `*folder` is another folder than `path`, `*location`
  // receives that folder's content location
  // (kLocalLocation or kEditingLocation), which a reader that named `path`
  // by its location must use instead; otherwise it is left as it was.
  bool HoldFolderForReading(const std::string& path, bool wait, ReadHold* hold, std::string* folder,
                            std::string* location = nullptr);
  // The asset whose installed or edit folder `path` names (by its name, as
  // HoldFolderForReading reads it), or the null KUID; holds nothing.
  KUID AssetOfFolder(const std::string& path) const;
  // Waits, holding nothing, at most until `until`, until TryHoldForReading
  // of `kuid` would not find the asset busy; false when the time ran out.
  bool WaitUntilReadable(const KUID& kuid, std::chrono::steady_clock::time_point until);

  // --- Looking up.
  bool Find(const KUID& kuid, StoredAsset* asset);
  // Every asset, ordered by user id, content id, version (signed).
  std::vector<StoredAsset> List();
  // Calls `visit` for each asset of List() until it answers false.
  void ForEach(const std::function<bool(const StoredAsset&)>& visit);
  // Every version of `kuid`'s user and content id, by version; empty when
  // there is none (or the index fails).
  std::vector<StoredAsset> Versions(const KUID& kuid);
  // The configuration of the installed copy ("config.chump", else
  // "config.txt"), read confined to that folder (kiv/FileConfinement.h);
  // false when the asset is not installed or has none.
  bool LoadConfig(const KUID& kuid, Soup* config);

  // --- Per-asset values.
  // Stores every field of `asset` but the folders, placeholder and the two
  // folder status bytes (which keep their stored values); adds a row
  // without folders for an unknown KUID. For fixtures and catalog entries.
  StoreResult PutMetadata(const StoredAsset& asset);
  // Bytes 3 and 8 (installed, open for edit) are the store's: kBadArgument.
  StoreResult SetStatusByte(const KUID& kuid, uint32_t index, uint8_t value);
  // What a repair found of one asset as it was when checked: its installed
  // copy (folder, time of install; no folder when not installed) and that
  // copy's faulty mark (status byte 9).
  struct RepairMark {
    KUID kuid;
    std::string folder;
    int64_t installedAt = 0;
    uint8_t faulty = 0;
  };
  // Stores a repair's marks in one transaction: each asset's faulty mark
  // while its installed copy is still the one checked (one installed again
  // or removed since keeps its own), and its missing-dependencies mark as
  // the index says now (the rule of every other change); an asset gone
  // since is skipped. On failure nothing is stored.
  StoreResult StoreRepairMarks(const std::vector<RepairMark>& marks);
  StoreResult SetFavourite(const KUID& kuid, bool favourite);
  StoreResult SetKeywords(const KUID& kuid, std::string_view keywords);

  // A KUID never used before in the local user's range (version 0): the
  // first above both the highest content id the index holds for that user
  // and the last one handed out whose folder name is not taken (see Names
  // in the way). The null KUID when the range is used up or the index
  // fails, with why in `failure` (when given).
  KUID NewKUID(std::string* failure = nullptr);
  int32_t LocalUserId() const;

  // --- Other stored values (opaque bytes, usually "ACS$" soups).
  bool GetLocalData(const KUID& kuid, std::string_view key, std::vector<uint8_t>* bytes);
  StoreResult SetLocalData(const KUID& kuid, std::string_view key, std::span<const uint8_t> bytes);
  bool GetSettingsGroup(std::string_view group, std::vector<uint8_t>* bytes);
  StoreResult SetSettingsGroup(std::string_view group, std::span<const uint8_t> bytes);
  // User names by user id; `secondId` as stored (-1 when none).
  bool FindUser(int32_t id, std::string* name, int32_t* secondId);
  StoreResult SetUser(int32_t id, std::string_view name, int32_t secondId = -1);

  // The store's state, defined in vaddaemon/AssetStoreImpl.h for the
  // store's own files only.
  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};
