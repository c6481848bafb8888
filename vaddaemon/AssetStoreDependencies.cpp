// AssetStore: the versions of an asset, and the "missing dependencies" mark
// that installs, commits and removals keep up to date (see AssetStore.h).
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/AssetStoreImpl.h"
#include "vaddaemon/DependencyCheck.h"

namespace {

bool SameAssetAnyVersion(const KUID& a, const KUID& b) {
  return a.userId == b.userId && a.contentId == b.contentId;
}

// True when `asset` is one of `changed`, or depends on some version of one.
bool Concerned(const StoredAsset& asset, const std::vector<KUID>& changed) {
  for (const KUID& kuid : changed) {
    if (asset.kuid == kuid) return true;
    for (const KUID& dependency : asset.dependencies) {
      if (SameAssetAnyVersion(dependency, kuid)) return true;
    }
  }
  return false;
}

}  // namespace

std::vector<StoredAsset> AssetStore::Versions(const KUID& kuid) {
  std::vector<StoredAsset> versions;
  std::lock_guard<FairMutex> lock(impl_->dbMutex);
  if (!impl_->open || !ReadAssetVersions(impl_->db, kuid, &versions)) versions.clear();
  return versions;
}

bool AssetStore::Impl::RefreshMissingMarks(const std::vector<KUID>& changed) {
  std::vector<StoredAsset> rows;
  if (!ReadAllAssetRows(db, &rows)) return false;
  const AvailableAssets available(rows);
  for (StoredAsset& row : rows) {
    if (!Concerned(row, changed)) continue;
    const uint8_t missing = available.Missing(row).empty() ? 0 : 1;
    if (row.status[kStatusMissingDependencies] == missing) continue;
    row.status[kStatusMissingDependencies] = missing;
    if (!WriteAssetRow(db, row)) return false;
  }
  return true;
}
