#include "vaddaemon/DependencyCheck.h"

#include "vaddaemon/AssetStore.h"

namespace {

std::pair<int32_t, int32_t> AnyVersion(const KUID& kuid) {
  return {kuid.userId, kuid.contentId};
}

}  // namespace

bool LocallyAvailable(const StoredAsset& asset) {
  return asset.Installed() || asset.status[kStatusBuiltIn] != 0;
}

KUID HighestAvailable(const std::vector<StoredAsset>& versions) {
  KUID best = kNullKUID;
  for (const StoredAsset& asset : versions) {
    if (!LocallyAvailable(asset)) continue;
    if (best.IsNull() || asset.kuid.version > best.version) best = asset.kuid;
  }
  return best;
}

AvailableAssets::AvailableAssets(const std::vector<StoredAsset>& assets) {
  for (const StoredAsset& asset : assets) {
    if (LocallyAvailable(asset)) available_.insert(AnyVersion(asset.kuid));
  }
}

bool AvailableAssets::Present(const KUID& dependency) const {
  return available_.count(AnyVersion(dependency)) != 0;
}

std::vector<KUID> AvailableAssets::Missing(const StoredAsset& asset) const {
  std::vector<KUID> missing;
  for (const KUID& dependency : asset.dependencies) {
    if (!Present(dependency)) missing.push_back(dependency);
  }
  return missing;
}

KUID FindStandIn(AssetStore& store, const KUID& kuid) {
  return HighestAvailable(store.Versions(kuid));
}

std::vector<KUID> FindMissingDependencies(AssetStore& store, const StoredAsset& asset) {
  std::vector<KUID> missing;
  for (const KUID& dependency : asset.dependencies) {
    if (FindStandIn(store, dependency).IsNull()) missing.push_back(dependency);
  }
  return missing;
}
