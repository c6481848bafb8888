// AssetStore: single values of assets, new KUIDs, per-asset data, settings
// groups and user names (see AssetStore.h).
#include <limits>

#include "vaddaemon/AssetStore.h"
#include "vaddaemon/AssetStoreImpl.h"

namespace {

// Reads, changes and writes one existing row in one transaction; the
// caller holds the mutex.
StoreResult ChangeRow(AssetStore::Impl& s, const KUID& kuid,
                      const AssetStore::Impl::RowChange& change) {
  SqliteTransaction transaction(s.db);
  if (!transaction.Begun()) return s.DbFail("cannot change the asset");
  StoredAsset row;
  const RowRead read = ReadAssetRow(s.db, kuid, &row);
  if (read == RowRead::kError) return s.DbFail("cannot read the index");
  if (read == RowRead::kMissing) return StoreResult::Fail(StoreCode::kNotFound, "unknown asset");
  change(row);
  if (!WriteAssetRow(s.db, row) || !transaction.Commit())
    return s.DbFail("cannot change the asset");
  return StoreResult::Success();
}

std::string NextContentKey(int32_t userId) {
  return "next_content_id_" + std::to_string(userId);
}

void BindKUID(SqliteStatement& s, int first, const KUID& kuid) {
  s.BindInt(first, kuid.userId);
  s.BindInt(first + 1, kuid.contentId);
  s.BindInt(first + 2, kuid.version);
}

}  // namespace

StoreResult AssetStore::PutMetadata(const StoredAsset& asset) {
  Impl& s = *impl_;
  if (asset.kuid.IsNull() || !asset.kuid.IsValid())
    return StoreResult::Fail(StoreCode::kBadArgument, "not a valid KUID");
  std::lock_guard<FairMutex> lock(s.dbMutex);
  if (!s.open) return s.NotOpen();
  SqliteTransaction transaction(s.db);
  if (!transaction.Begun()) return s.DbFail("cannot store the asset");
  StoredAsset row = asset;
  StoredAsset existing;
  const RowRead read = ReadAssetRow(s.db, asset.kuid, &existing);
  if (read == RowRead::kError) return s.DbFail("cannot read the index");
  const bool found = read == RowRead::kFound;
  row.folder = found ? existing.folder : std::string();
  row.editFolder = found ? existing.editFolder : std::string();
  row.placeholder = found && existing.placeholder;
  row.installedAt = found ? existing.installedAt : 0;
  if (!WriteAssetRow(s.db, row) || !transaction.Commit()) return s.DbFail("cannot store the asset");
  return StoreResult::Success();
}

StoreResult AssetStore::SetStatusByte(const KUID& kuid, uint32_t index, uint8_t value) {
  if (index >= kStatusByteCount || index == kStatusInstalledLocally || index == kStatusOpenForEdit)
    return StoreResult::Fail(StoreCode::kBadArgument, "this status byte cannot be set");
  std::lock_guard<FairMutex> lock(impl_->dbMutex);
  if (!impl_->open) return impl_->NotOpen();
  return ChangeRow(*impl_, kuid, [&](StoredAsset& row) { row.status[index] = value; });
}

StoreResult AssetStore::StoreRepairMarks(const std::vector<RepairMark>& marks) {
  Impl& s = *impl_;
  std::lock_guard<FairMutex> lock(s.dbMutex);
  if (!s.open) return s.NotOpen();
  SqliteTransaction transaction(s.db);
  if (!transaction.Begun()) return s.DbFail("cannot store the repair's marks");
  std::vector<KUID> marked;
  for (const RepairMark& mark : marks) {
    StoredAsset row;
    const RowRead read = ReadAssetRow(s.db, mark.kuid, &row);
    if (read == RowRead::kError) return s.DbFail("cannot read the index");
    if (read == RowRead::kMissing) continue;
    marked.push_back(mark.kuid);
    const bool checkedCopy =
        !mark.folder.empty() && row.folder == mark.folder && row.installedAt == mark.installedAt;
    if (!checkedCopy || row.status[kStatusFaulty] == mark.faulty) continue;
    row.status[kStatusFaulty] = mark.faulty;
    if (!WriteAssetRow(s.db, row)) return s.DbFail("cannot store the repair's marks");
  }
  if (!s.RefreshMissingMarks(marked) || !transaction.Commit())
    return s.DbFail("cannot store the repair's marks");
  return StoreResult::Success();
}

StoreResult AssetStore::SetFavourite(const KUID& kuid, bool favourite) {
  std::lock_guard<FairMutex> lock(impl_->dbMutex);
  if (!impl_->open) return impl_->NotOpen();
  return ChangeRow(*impl_, kuid, [&](StoredAsset& row) { row.favourite = favourite; });
}

StoreResult AssetStore::SetKeywords(const KUID& kuid, std::string_view keywords) {
  std::lock_guard<FairMutex> lock(impl_->dbMutex);
  if (!impl_->open) return impl_->NotOpen();
  return ChangeRow(*impl_, kuid, [&](StoredAsset& row) { row.keywords = std::string(keywords); });
}

int32_t AssetStore::LocalUserId() const {
  return impl_->options.localUserId;
}

KUID AssetStore::NewKUID(std::string* failure) {
  Impl& s = *impl_;
  const int32_t user = s.options.localUserId;
  std::string unused;
  std::string& why = failure != nullptr ? *failure : unused;
  std::lock_guard<FairMutex> lock(s.dbMutex);
  if (!s.open) {
    why = "the asset store is not open";
    return kNullKUID;
  }
  SqliteTransaction transaction(s.db);
  int64_t highest = -1;
  int64_t next = 0;
  bool found = false;
  const std::string key = NextContentKey(user);
  if (!transaction.Begun() || !HighestContentId(s.db, user, &highest) ||
      !ReadMeta(s.db, key.c_str(), &next, &found)) {
    why = "the asset index cannot be read: " + s.db.LastError();
    return kNullKUID;
  }
  int64_t candidate = highest + 1;
  if (found && next > candidate) candidate = next;
  // Each KUID skipped has a folder of its own: this ends.
  while (candidate <= std::numeric_limits<int32_t>::max() &&
         s.FolderNameTaken(KUID{user, static_cast<int32_t>(candidate), 0}))
    ++candidate;
  if (candidate < 0 || candidate > std::numeric_limits<int32_t>::max()) {
    why = "no KUID is left in the local user's range";
    return kNullKUID;
  }
  if (!WriteMeta(s.db, key.c_str(), candidate + 1) || !transaction.Commit()) {
    why = "the asset index cannot be written: " + s.db.LastError();
    return kNullKUID;
  }
  return KUID{user, static_cast<int32_t>(candidate), 0};
}

bool AssetStore::GetLocalData(const KUID& kuid, std::string_view key, std::vector<uint8_t>* bytes) {
  std::lock_guard<FairMutex> lock(impl_->dbMutex);
  if (!impl_->open) return false;
  SqliteStatement s(
      impl_->db,
      "SELECT data FROM local_data WHERE user_id = ?1 AND content_id = ?2 AND version = ?3"
      " AND key = ?4;");
  BindKUID(s, 1, kuid);
  s.BindText(4, key);
  if (s.Step() != SQLITE_ROW) return false;
  *bytes = s.Blob(0);
  return true;
}

StoreResult AssetStore::SetLocalData(const KUID& kuid, std::string_view key,
                                     std::span<const uint8_t> bytes) {
  std::lock_guard<FairMutex> lock(impl_->dbMutex);
  if (!impl_->open) return impl_->NotOpen();
  SqliteStatement s(impl_->db,
                    "INSERT OR REPLACE INTO local_data(user_id, content_id, version, key, data)"
                    " VALUES(?1, ?2, ?3, ?4, ?5);");
  BindKUID(s, 1, kuid);
  s.BindText(4, key);
  s.BindBlob(5, bytes);
  return s.Run() ? StoreResult::Success() : impl_->DbFail("cannot store the asset's data");
}

bool AssetStore::GetSettingsGroup(std::string_view group, std::vector<uint8_t>* bytes) {
  std::lock_guard<FairMutex> lock(impl_->dbMutex);
  if (!impl_->open) return false;
  SqliteStatement s(impl_->db, "SELECT data FROM settings WHERE grp = ?1;");
  s.BindText(1, group);
  if (s.Step() != SQLITE_ROW) return false;
  *bytes = s.Blob(0);
  return true;
}

StoreResult AssetStore::SetSettingsGroup(std::string_view group, std::span<const uint8_t> bytes) {
  std::lock_guard<FairMutex> lock(impl_->dbMutex);
  if (!impl_->open) return impl_->NotOpen();
  SqliteStatement s(impl_->db, "INSERT OR REPLACE INTO settings(grp, data) VALUES(?1, ?2);");
  s.BindText(1, group);
  s.BindBlob(2, bytes);
  return s.Run() ? StoreResult::Success() : impl_->DbFail("cannot store the settings group");
}

bool AssetStore::FindUser(int32_t id, std::string* name, int32_t* secondId) {
  std::lock_guard<FairMutex> lock(impl_->dbMutex);
  if (!impl_->open) return false;
  SqliteStatement s(impl_->db, "SELECT name, second_id FROM users WHERE id = ?1;");
  s.BindInt(1, id);
  if (s.Step() != SQLITE_ROW) return false;
  if (name) *name = s.Text(0);
  if (secondId) *secondId = static_cast<int32_t>(s.Int(1));
  return true;
}

StoreResult AssetStore::SetUser(int32_t id, std::string_view name, int32_t secondId) {
  std::lock_guard<FairMutex> lock(impl_->dbMutex);
  if (!impl_->open) return impl_->NotOpen();
  SqliteStatement s(impl_->db,
                    "INSERT OR REPLACE INTO users(id, second_id, name) VALUES(?1, ?2, ?3);");
  s.BindInt(1, id);
  s.BindInt(2, secondId);
  s.BindText(3, name);
  return s.Run() ? StoreResult::Success() : impl_->DbFail("cannot store the user name");
}
