// AssetIndex: the SQL of the asset store's index (one row per asset, plus
// the tables of per-asset data, users, settings groups and counters).
//
// Tables (schema version 1, kept in PRAGMA user_version):
//   assets(user_id, content_id, version  -- the KUID, primary key
//          name, kind, category, region, era, keywords  TEXT
//          status BLOB (18 bytes), author_id, build REAL,
//          kuid2_user, kuid2_content, kuid2_version, favourite,
//          dependencies, obsoletes BLOB (12 bytes per KUID: user id,
//          content id, version as little-endian i32),
//          folder, edit_folder TEXT ("" = none), placeholder, installed_at)
//   local_data(user_id, content_id, version, key, data BLOB)
//   users(id, second_id, name)
//   settings(grp, data BLOB)
//   meta(key, value)  -- "next_content_id"
//   dependents(dep_user, dep_content, user_id, content_id, version)
//          -- one row per asset (the last three) and user and content id
//          that its dependency list names, any version: the assets whose
//          "missing dependencies" mark a change of that asset can move,
//          found without reading every row
//   in_flight(place, name, device, inode)
//          -- the replacements in flight as an older daemon recorded them
//          (this one keeps them in a file of their own, InFlightRecord.h):
//          a folder the store was making at an asset's other name, or the
//          copy that replacement was to remove: "local" or "editing", the
//          folder's name there and its device and inode, which prove
//          nothing (no birth time: a later folder can take both). The
//          recovery deletes any rows unused (AssetStore.h, Recovery);
//          nothing else writes the table. An
//          index of an older daemon still lacks it, and the schema creates
//          it empty.
//
// PrepareAssetIndex sets the connection's journal mode (rollback journal,
// synchronous FULL), creates the tables in one transaction and checks that
// every table has the columns this code uses. It answers kDamaged when the
// file is not a database, is damaged (SQLITE_NOTADB, SQLITE_CORRUPT) or
// holds tables of these names with other columns; kRefused for an index
// whose schema version is newer than this code's, or one that cannot be
// used for another reason (permissions, I/O, locks); the reason goes to
// `*error` either way. The row
// functions expect the caller to hold the connection's mutex and, for
// changes, usually a transaction. WriteAssetRow stores status bytes 3 and 8
// as the folders say (see StoredAsset.h); it and DeleteAssetRow keep the
// asset's dependents rows in step with its dependency list, in the same
// transaction. The dependents table derives from the assets' dependency
// lists: an index written by an older daemon lacks it (the schema creates
// it empty) or, when such a daemon wrote to it since, holds stale rows, so
// the store's recovery at every start brings it in line with the rows
// (SyncDependents), which writes nothing when it agrees. Stored bytes that are damaged
// (a status blob of another length, a KUID list whose length is not a
// multiple of 12) read as far as they go: missing status bytes read as the
// defaults, a partial KUID is dropped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/text/KUID.h"
#include "vaddaemon/SqliteDb.h"
#include "vaddaemon/StoredAsset.h"

inline constexpr int kAssetIndexSchemaVersion = 1;

enum class IndexPrepared { kReady, kDamaged, kRefused };
IndexPrepared PrepareAssetIndex(SqliteDb& db, std::string* error);

enum class RowRead { kFound, kMissing, kError };
RowRead ReadAssetRow(SqliteDb& db, const KUID& kuid, StoredAsset* asset);
// Every row, ordered by user id, content id, version.
bool ReadAllAssetRows(SqliteDb& db, std::vector<StoredAsset>* assets);
// The rows of every version of `kuid`'s user and content id, by version.
bool ReadAssetVersions(SqliteDb& db, const KUID& kuid, std::vector<StoredAsset>* assets);
bool WriteAssetRow(SqliteDb& db, const StoredAsset& asset);
bool DeleteAssetRow(SqliteDb& db, const KUID& kuid);
// Appends the assets whose dependency list names some version of
// `userId`:`contentId`, each once, in no particular order.
bool ReadDependents(SqliteDb& db, int32_t userId, int32_t contentId, std::vector<KUID>* dependents);
// Makes the dependents table say what the dependency lists of `assets`
// (every row of the index) say; `*mended` counts the rows it added or
// removed.
bool SyncDependents(SqliteDb& db, const std::vector<StoredAsset>& assets, uint32_t* mended);
// The highest content id the index holds for `userId`, or -1.
bool HighestContentId(SqliteDb& db, int32_t userId, int64_t* highest);
bool ReadMeta(SqliteDb& db, const char* key, int64_t* value, bool* found);

// A folder of a replacement in flight: a row of the in_flight table, or a
// line of the store's record file (InFlightRecord.h).
struct InFlightFolder {
  std::string place;  // "local" or "editing"
  std::string name;   // the folder's name there
  uint64_t device = 0;
  uint64_t inode = 0;
  // Its birth time (statx STATX_BTIME) in nanoseconds since the epoch; 0
  // when not known (a row or line of an older daemon, a file system that
  // keeps none): then nothing proves the folder is the one recorded.
  int64_t born = 0;
};
// The rows of the in_flight table (appended), and deleting them all.
bool ReadInFlightFolders(SqliteDb& db, std::vector<InFlightFolder>* folders);
bool ClearInFlightFolders(SqliteDb& db);
bool WriteMeta(SqliteDb& db, const char* key, int64_t value);
