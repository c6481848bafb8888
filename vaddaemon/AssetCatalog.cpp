#include "vaddaemon/AssetCatalog.h"

#include <utility>

#include "assetdb/protocol/VADFilterElementBool.h"

namespace {

using Bool = VADFilterElementBool;

// The same asset in another version: user and content id.
KUID Unversioned(const KUID& kuid) {
  return KUID{kuid.userId, kuid.contentId, 0};
}

}  // namespace

bool StatusSet(const StoredAsset& asset, uint32_t index) {
  return index < kStatusByteCount && asset.status[index] != 0;
}

AssetCatalog::AssetCatalog(std::vector<StoredAsset> assets, ScriptTest hasScriptSource)
    : assets_(std::move(assets)),
      available_(assets_),
      hasScriptSource_(std::move(hasScriptSource)) {
  std::map<KUID, int32_t, KUIDUnsignedLess> highest;
  for (size_t i = 0; i < assets_.size(); ++i) {
    const StoredAsset& asset = assets_[i];
    byKUID_.emplace(asset.kuid, i);
    auto [it, added] = highest.emplace(Unversioned(asset.kuid), asset.kuid.version);
    if (!added && it->second < asset.kuid.version) it->second = asset.kuid.version;
    for (const KUID& old : asset.obsoletes) obsoleted_.insert(old);
  }
  for (const StoredAsset& asset : assets_) {
    if (highest[Unversioned(asset.kuid)] > asset.kuid.version) obsoleted_.insert(asset.kuid);
  }
}

const StoredAsset* AssetCatalog::Find(const KUID& kuid) const {
  auto it = byKUID_.find(kuid);
  return it == byKUID_.end() ? nullptr : &assets_[it->second];
}

bool AssetCatalog::LocallyAvailable(const StoredAsset& asset) const {
  return ::LocallyAvailable(asset);
}

bool AssetCatalog::HasMissingDependencies(const StoredAsset& asset) const {
  return !available_.Missing(asset).empty();
}

bool AssetCatalog::HasFaultyDependencies(const StoredAsset& asset) const {
  for (const KUID& dependency : asset.dependencies) {
    const StoredAsset* found = Find(dependency);
    if (found != nullptr && StatusSet(*found, kStatusFaulty)) return true;
  }
  return false;
}

bool AssetCatalog::IsObsolete(const StoredAsset& asset) const {
  return obsoleted_.count(asset.kuid) != 0;
}

bool AssetCatalog::Flag(uint32_t flagId, const StoredAsset& asset) const {
  switch (flagId) {
    case Bool::kLocal:
      return asset.Installed();
    case Bool::kFetchery:
      return StatusSet(asset, kStatusOnDownloadService);
    case Bool::kLocationUnknown:
      return !LocallyAvailable(asset) && !StatusSet(asset, kStatusOnDownloadService) &&
             !StatusSet(asset, kStatusArchived);
    case Bool::kLocallyAvailable:
    case Bool::kLocallyEnabled:
      return LocallyAvailable(asset);
    case Bool::kUpToDate:
      return !IsObsolete(asset);
    case Bool::kObsolete:
      return IsObsolete(asset);
    case Bool::kLocallyModified:
      return StatusSet(asset, kStatusLocallyModified);
    case Bool::kValidName:
      return !asset.name.empty();
    case Bool::kOpenForEdit:
      return asset.OpenForEdit();
    case Bool::kInArchive:
      return StatusSet(asset, kStatusArchived);
    case Bool::kHasMissingDependencies:
      return HasMissingDependencies(asset);
    case Bool::kHasFaultyDependencies:
      return HasFaultyDependencies(asset);
    case Bool::kFaulty:
      return StatusSet(asset, kStatusFaulty);
    case Bool::kBuiltin:
    case Bool::kInBaseContentSet:
      return StatusSet(asset, kStatusBuiltIn);
    case Bool::kListingPrivilege:
      return true;
    case Bool::kCommitPrivilege:
      return !StatusSet(asset, kStatusBuiltIn);
    case Bool::kWarnings:
      return StatusSet(asset, 10);
    case Bool::kHasScriptSource:
      return asset.Installed() && hasScriptSource_ && hasScriptSource_(asset);
    case Bool::kCompatible:
      return !StatusSet(asset, kStatusFaulty);
    default:
      return false;
  }
}
