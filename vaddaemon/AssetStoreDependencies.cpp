// AssetStore: the versions of an asset, and the "missing dependencies" mark
// that installs, commits and removals keep up to date (see AssetStore.h).
#include <algorithm>
#include <map>
#include <utility>

#include "assetdb/protocol/VADFilterElementAssetID.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/AssetStoreImpl.h"
#include "vaddaemon/DependencyCheck.h"

namespace {

// Whether some version of a dependency is present, read from the index
// once per user and content id for one refresh.
class PresenceCache {
 public:
  explicit PresenceCache(SqliteDb& db) : db_(db) {}

  // False in `*present` when no version is installed or built in; false
  // as the answer when the index fails.
  bool Present(const KUID& dependency, bool* present) {
    const std::pair<int32_t, int32_t> key{dependency.userId, dependency.contentId};
    if (auto it = known_.find(key); it != known_.end()) {
      *present = it->second;
      return true;
    }
    std::vector<StoredAsset> versions;
    if (!ReadAssetVersions(db_, dependency, &versions)) return false;
    *present = !HighestAvailable(versions).IsNull();
    known_.emplace(key, *present);
    return true;
  }

 private:
  SqliteDb& db_;
  std::map<std::pair<int32_t, int32_t>, bool> known_;
};

}  // namespace

std::vector<StoredAsset> AssetStore::Versions(const KUID& kuid) {
  std::vector<StoredAsset> versions;
  std::lock_guard<FairMutex> lock(impl_->dbMutex);
  if (!impl_->open || !ReadAssetVersions(impl_->db, kuid, &versions)) versions.clear();
  return versions;
}

bool AssetStore::Impl::RefreshMissingMarks(const std::vector<KUID>& changed) {
  // The changed assets and those depending on some version of them: no
  // other asset's answer can have moved.
  std::vector<KUID> concerned = changed;
  for (const KUID& kuid : changed) {
    if (!ReadDependents(db, kuid.userId, kuid.contentId, &concerned)) return false;
  }
  std::sort(concerned.begin(), concerned.end(), KUIDUnsignedLess());
  concerned.erase(std::unique(concerned.begin(), concerned.end()), concerned.end());
  PresenceCache presence(db);
  for (const KUID& kuid : concerned) {
    StoredAsset row;
    const RowRead read = ReadAssetRow(db, kuid, &row);
    if (read == RowRead::kError) return false;
    if (read == RowRead::kMissing) continue;
    uint8_t missing = 0;
    for (const KUID& dependency : row.dependencies) {
      bool present = false;
      if (!presence.Present(dependency, &present)) return false;
      if (!present) missing = 1;
    }
    if (row.status[kStatusMissingDependencies] == missing) continue;
    row.status[kStatusMissingDependencies] = missing;
    if (!WriteAssetRow(db, row)) return false;
  }
  return true;
}
