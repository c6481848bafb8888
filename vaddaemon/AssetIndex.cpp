// AssetIndex (see AssetIndex.h).
#include "vaddaemon/AssetIndex.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <tuple>

namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS assets("
    " user_id INTEGER NOT NULL, content_id INTEGER NOT NULL, version INTEGER NOT NULL,"
    " name TEXT NOT NULL, kind TEXT NOT NULL, category TEXT NOT NULL, region TEXT NOT NULL,"
    " era TEXT NOT NULL, keywords TEXT NOT NULL, status BLOB NOT NULL, author_id INTEGER NOT NULL,"
    " build REAL NOT NULL, kuid2_user INTEGER NOT NULL, kuid2_content INTEGER NOT NULL,"
    " kuid2_version INTEGER NOT NULL, favourite INTEGER NOT NULL, dependencies BLOB NOT NULL,"
    " obsoletes BLOB NOT NULL, folder TEXT NOT NULL, edit_folder TEXT NOT NULL,"
    " placeholder INTEGER NOT NULL, installed_at INTEGER NOT NULL,"
    " PRIMARY KEY(user_id, content_id, version)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS local_data(user_id INTEGER NOT NULL, content_id INTEGER NOT NULL,"
    " version INTEGER NOT NULL, key TEXT NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(user_id, content_id, version, key)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS users(id INTEGER PRIMARY KEY, second_id INTEGER NOT NULL,"
    " name TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS settings(grp TEXT PRIMARY KEY NOT NULL, data BLOB NOT NULL);"
    "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY NOT NULL, value INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS dependents(dep_user INTEGER NOT NULL, dep_content INTEGER NOT NULL,"
    " user_id INTEGER NOT NULL, content_id INTEGER NOT NULL, version INTEGER NOT NULL,"
    " PRIMARY KEY(dep_user, dep_content, user_id, content_id, version)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS in_flight(place TEXT NOT NULL, name TEXT NOT NULL,"
    " device INTEGER NOT NULL, inode INTEGER NOT NULL, PRIMARY KEY(place, name)) WITHOUT ROWID;";

// Made once the tables are known to hold their columns: an index on a
// column a table lacks would fail as an error, not as damage.
constexpr const char* kIndexes =
    "CREATE INDEX IF NOT EXISTS dependents_by_asset ON dependents(user_id, content_id, version);"
    "PRAGMA user_version = 1;";

constexpr const char* kColumns =
    "user_id, content_id, version, name, kind, category, region, era, keywords, status,"
    " author_id, build, kuid2_user, kuid2_content, kuid2_version, favourite, dependencies,"
    " obsoletes, folder, edit_folder, placeholder, installed_at";

// Every column the store reads or writes in the other tables; a statement
// that does not prepare names a table or column the file lacks.
constexpr const char* kOtherTableChecks[] = {
    "SELECT user_id, content_id, version, key, data FROM local_data LIMIT 0;",
    "SELECT id, second_id, name FROM users LIMIT 0;",
    "SELECT grp, data FROM settings LIMIT 0;",
    "SELECT key, value FROM meta LIMIT 0;",
    "SELECT dep_user, dep_content, user_id, content_id, version FROM dependents LIMIT 0;",
    "SELECT place, name, device, inode FROM in_flight LIMIT 0;",
};

std::vector<uint8_t> PackKUIDs(const std::vector<KUID>& kuids) {
  std::vector<uint8_t> bytes;
  bytes.reserve(kuids.size() * 12);
  for (const KUID& kuid : kuids) {
    for (const int32_t word : {kuid.userId, kuid.contentId, kuid.version}) {
      const uint32_t u = static_cast<uint32_t>(word);
      for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(u >> shift));
    }
  }
  return bytes;
}

int32_t WordAt(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t u = 0;
  for (int i = 3; i >= 0; --i) u = (u << 8) | bytes[at + static_cast<size_t>(i)];
  return static_cast<int32_t>(u);
}

std::vector<KUID> UnpackKUIDs(const std::vector<uint8_t>& bytes) {
  std::vector<KUID> kuids;
  for (size_t at = 0; at + 12 <= bytes.size(); at += 12)
    kuids.push_back(KUID{WordAt(bytes, at), WordAt(bytes, at + 4), WordAt(bytes, at + 8)});
  return kuids;
}

void ReadRow(const SqliteStatement& s, StoredAsset* a) {
  a->kuid = KUID{int32_t(s.Int(0)), int32_t(s.Int(1)), int32_t(s.Int(2))};
  a->name = s.Text(3);
  a->kind = s.Text(4);
  a->category = s.Text(5);
  a->region = s.Text(6);
  a->era = s.Text(7);
  a->keywords = s.Text(8);
  a->status = DefaultStatusBytes();
  const std::vector<uint8_t> status = s.Blob(9);
  std::copy_n(status.begin(), std::min<size_t>(status.size(), kStatusByteCount), a->status.begin());
  a->authorId = int32_t(s.Int(10));
  a->build = static_cast<float>(s.Double(11));
  a->kuid2 = KUID{int32_t(s.Int(12)), int32_t(s.Int(13)), int32_t(s.Int(14))};
  a->favourite = s.Int(15) != 0;
  a->dependencies = UnpackKUIDs(s.Blob(16));
  a->obsoletes = UnpackKUIDs(s.Blob(17));
  a->folder = s.Text(18);
  a->editFolder = s.Text(19);
  a->placeholder = s.Int(20) != 0;
  a->installedAt = s.Int(21);
}

// Appends the rows that `s` selects (the columns kColumns); false when the
// index fails before the last row.
bool ReadRows(SqliteStatement& s, std::vector<StoredAsset>* assets) {
  int rc = SQLITE_ROW;
  while ((rc = s.Step()) == SQLITE_ROW) {
    StoredAsset asset;
    ReadRow(s, &asset);
    assets->push_back(std::move(asset));
  }
  return rc == SQLITE_DONE;
}

void BindKUID(SqliteStatement& s, int first, const KUID& kuid) {
  s.BindInt(first, kuid.userId);
  s.BindInt(first + 1, kuid.contentId);
  s.BindInt(first + 2, kuid.version);
}

// The stored dependency list of `kuid` into `*packed`; false when the
// asset has no row (or the index fails).
bool StoredDependencies(SqliteDb& db, const KUID& kuid, std::vector<uint8_t>* packed) {
  SqliteStatement s(
      db,
      "SELECT dependencies FROM assets WHERE user_id = ?1 AND content_id = ?2 AND version = ?3;");
  BindKUID(s, 1, kuid);
  if (s.Step() != SQLITE_ROW) return false;
  *packed = s.Blob(0);
  return true;
}

bool DeleteDependents(SqliteDb& db, const KUID& kuid) {
  SqliteStatement s(
      db, "DELETE FROM dependents WHERE user_id = ?1 AND content_id = ?2 AND version = ?3;");
  BindKUID(s, 1, kuid);
  return s.Run();
}

bool InsertDependent(SqliteDb& db, const KUID& dependency, const KUID& kuid) {
  SqliteStatement s(db,
                    "INSERT OR IGNORE INTO dependents(dep_user, dep_content, user_id, content_id,"
                    " version) VALUES(?1, ?2, ?3, ?4, ?5);");
  s.BindInt(1, dependency.userId);
  s.BindInt(2, dependency.contentId);
  BindKUID(s, 3, kuid);
  return s.Run();
}

// Makes the dependents rows of `kuid` those of `dependencies`.
bool ReplaceDependents(SqliteDb& db, const KUID& kuid, const std::vector<KUID>& dependencies) {
  if (!DeleteDependents(db, kuid)) return false;
  for (const KUID& dependency : dependencies) {
    if (!InsertDependent(db, dependency, kuid)) return false;
  }
  return true;
}

}  // namespace

IndexPrepared PrepareAssetIndex(SqliteDb& db, std::string* error) {
  // A failure the file's bytes explain is damage; any other (permissions,
  // I/O, locks) leaves the file for the caller to refuse.
  const auto failed = [&db, error](const std::string& what) {
    *error = what + ": " + db.LastError();
    return db.LastFailureIsDamage() ? IndexPrepared::kDamaged : IndexPrepared::kRefused;
  };
  // The daemon is the index's only user (the owner block sees to that), so
  // it keeps the file locked once it has read it: a read then takes no file
  // lock and checks no change counter. Every commit is still journalled and
  // synced; a journal left by a crash is rolled back at the next open.
  if (!db.Exec("PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL; "
               "PRAGMA locking_mode = EXCLUSIVE;"))
    return failed("cannot set up the index");
  int64_t version = 0;
  {
    SqliteStatement s(db, "PRAGMA user_version;");
    if (s.Step() != SQLITE_ROW) return failed("cannot read the index");
    version = s.Int(0);
  }
  if (version > kAssetIndexSchemaVersion) {
    *error = "the index was written by a newer daemon (schema " + std::to_string(version) + ")";
    return IndexPrepared::kRefused;
  }
  SqliteTransaction transaction(db);
  if (!transaction.Begun() || !db.Exec(kSchema)) return failed("cannot create the index tables");
  // Tables of the same names but other columns (or none of ours where a
  // table is expected) are a schema this code cannot read: damage.
  std::vector<std::string> checks{std::string("SELECT ") + kColumns + " FROM assets LIMIT 0;"};
  checks.insert(checks.end(), std::begin(kOtherTableChecks), std::end(kOtherTableChecks));
  for (const std::string& check : checks) {
    SqliteStatement s(db, check.c_str());
    if (s.Ok()) continue;
    *error = "the index's tables are not the ones this daemon writes: " + db.LastError();
    return IndexPrepared::kDamaged;
  }
  if (!db.Exec(kIndexes) || !transaction.Commit()) return failed("cannot create the index tables");
  return IndexPrepared::kReady;
}

RowRead ReadAssetRow(SqliteDb& db, const KUID& kuid, StoredAsset* asset) {
  static const std::string sql =
      std::string("SELECT ") + kColumns +
      " FROM assets WHERE user_id = ?1 AND content_id = ?2 AND version = ?3;";
  SqliteStatement s(db, sql.c_str());
  BindKUID(s, 1, kuid);
  const int rc = s.Step();
  if (rc == SQLITE_DONE) return RowRead::kMissing;
  if (rc != SQLITE_ROW) return RowRead::kError;
  ReadRow(s, asset);
  return RowRead::kFound;
}

bool ReadAllAssetRows(SqliteDb& db, std::vector<StoredAsset>* assets) {
  const std::string sql =
      std::string("SELECT ") + kColumns + " FROM assets ORDER BY user_id, content_id, version;";
  SqliteStatement s(db, sql.c_str());
  return ReadRows(s, assets);
}

bool ReadAssetVersions(SqliteDb& db, const KUID& kuid, std::vector<StoredAsset>* assets) {
  static const std::string sql = std::string("SELECT ") + kColumns +
                                 " FROM assets WHERE user_id = ?1 AND content_id = ?2"
                                 " ORDER BY version;";
  SqliteStatement s(db, sql.c_str());
  s.BindInt(1, kuid.userId);
  s.BindInt(2, kuid.contentId);
  return ReadRows(s, assets);
}

bool WriteAssetRow(SqliteDb& db, const StoredAsset& a) {
  // The dependents rows change only with the dependency list, which most
  // writes (a status byte, keywords) keep.
  const std::vector<uint8_t> dependencies = PackKUIDs(a.dependencies);
  std::vector<uint8_t> stored;
  const bool same = StoredDependencies(db, a.kuid, &stored) && stored == dependencies;
  if (!same && !ReplaceDependents(db, a.kuid, a.dependencies)) return false;
  const std::string sql = std::string("INSERT OR REPLACE INTO assets(") + kColumns +
                          ") VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14,"
                          " ?15, ?16, ?17, ?18, ?19, ?20, ?21, ?22);";
  SqliteStatement s(db, sql.c_str());
  BindKUID(s, 1, a.kuid);
  s.BindText(4, a.name);
  s.BindText(5, a.kind);
  s.BindText(6, a.category);
  s.BindText(7, a.region);
  s.BindText(8, a.era);
  s.BindText(9, a.keywords);
  StatusBytes status = a.status;
  status[kStatusInstalledLocally] = a.Installed() ? 1 : 0;
  status[kStatusOpenForEdit] = a.OpenForEdit() ? 1 : 0;
  s.BindBlob(10, status);
  s.BindInt(11, a.authorId);
  s.BindDouble(12, a.build);
  BindKUID(s, 13, a.kuid2);
  s.BindInt(16, a.favourite ? 1 : 0);
  s.BindBlob(17, dependencies);
  s.BindBlob(18, PackKUIDs(a.obsoletes));
  s.BindText(19, a.folder);
  s.BindText(20, a.editFolder);
  s.BindInt(21, a.placeholder ? 1 : 0);
  s.BindInt(22, a.installedAt);
  return s.Run();
}

bool DeleteAssetRow(SqliteDb& db, const KUID& kuid) {
  if (!DeleteDependents(db, kuid)) return false;
  SqliteStatement s(db,
                    "DELETE FROM assets WHERE user_id = ?1 AND content_id = ?2 AND version = ?3;");
  BindKUID(s, 1, kuid);
  return s.Run();
}

bool ReadDependents(SqliteDb& db, int32_t userId, int32_t contentId,
                    std::vector<KUID>* dependents) {
  SqliteStatement s(db,
                    "SELECT user_id, content_id, version FROM dependents"
                    " WHERE dep_user = ?1 AND dep_content = ?2;");
  s.BindInt(1, userId);
  s.BindInt(2, contentId);
  int rc = SQLITE_ROW;
  while ((rc = s.Step()) == SQLITE_ROW)
    dependents->push_back(KUID{int32_t(s.Int(0)), int32_t(s.Int(1)), int32_t(s.Int(2))});
  return rc == SQLITE_DONE;
}

bool SyncDependents(SqliteDb& db, const std::vector<StoredAsset>& assets, uint32_t* mended) {
  // The user and content id depended on, then the dependent asset.
  using Link = std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t>;
  std::set<Link> wanted;
  for (const StoredAsset& a : assets) {
    for (const KUID& d : a.dependencies)
      wanted.emplace(d.userId, d.contentId, a.kuid.userId, a.kuid.contentId, a.kuid.version);
  }
  std::set<Link> stored;
  {
    SqliteStatement s(
        db, "SELECT dep_user, dep_content, user_id, content_id, version FROM dependents;");
    int rc = SQLITE_ROW;
    while ((rc = s.Step()) == SQLITE_ROW)
      stored.emplace(int32_t(s.Int(0)), int32_t(s.Int(1)), int32_t(s.Int(2)), int32_t(s.Int(3)),
                     int32_t(s.Int(4)));
    if (rc != SQLITE_DONE) return false;
  }
  *mended = 0;
  for (const Link& p : stored) {
    if (wanted.count(p)) continue;
    SqliteStatement s(db,
                      "DELETE FROM dependents WHERE dep_user = ?1 AND dep_content = ?2"
                      " AND user_id = ?3 AND content_id = ?4 AND version = ?5;");
    s.BindInt(1, std::get<0>(p));
    s.BindInt(2, std::get<1>(p));
    BindKUID(s, 3, KUID{std::get<2>(p), std::get<3>(p), std::get<4>(p)});
    if (!s.Run()) return false;
    ++*mended;
  }
  for (const Link& p : wanted) {
    if (stored.count(p)) continue;
    const KUID dependency{std::get<0>(p), std::get<1>(p), 0};
    if (!InsertDependent(db, dependency, KUID{std::get<2>(p), std::get<3>(p), std::get<4>(p)}))
      return false;
    ++*mended;
  }
  return true;
}

bool HighestContentId(SqliteDb& db, int32_t userId, int64_t* highest) {
  SqliteStatement s(db, "SELECT IFNULL(MAX(content_id), -1) FROM assets WHERE user_id = ?1;");
  s.BindInt(1, userId);
  if (s.Step() != SQLITE_ROW) return false;
  *highest = s.Int(0);
  return true;
}

bool ReadMeta(SqliteDb& db, const char* key, int64_t* value, bool* found) {
  SqliteStatement s(db, "SELECT value FROM meta WHERE key = ?1;");
  s.BindText(1, key);
  const int rc = s.Step();
  *found = rc == SQLITE_ROW;
  if (*found) *value = s.Int(0);
  return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

bool WriteMeta(SqliteDb& db, const char* key, int64_t value) {
  SqliteStatement s(db, "INSERT OR REPLACE INTO meta(key, value) VALUES(?1, ?2);");
  s.BindText(1, key);
  s.BindInt(2, value);
  return s.Run();
}

bool ClearInFlightFolders(SqliteDb& db) {
  return db.Exec("DELETE FROM in_flight;");
}

bool ReadInFlightFolders(SqliteDb& db, std::vector<InFlightFolder>* folders) {
  SqliteStatement s(db, "SELECT place, name, device, inode FROM in_flight;");
  int rc = SQLITE_ROW;
  while ((rc = s.Step()) == SQLITE_ROW) {
    folders->push_back(
        {s.Text(0), s.Text(1), static_cast<uint64_t>(s.Int(2)), static_cast<uint64_t>(s.Int(3))});
  }
  return rc == SQLITE_DONE;
}
