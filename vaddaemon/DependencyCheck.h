// DependencyCheck: whether the dependencies of an asset are present, by the
// one rule behind every answer of the daemon about them: the asset record's
// "missing dependencies" byte (request 0x15), the search flag
// "has-missing-dependencies", the repair's warning, and the mark the store
// keeps in status byte 11.
//
// A dependency is present when some version of its user and content id is
// installed or built in: the asset that request 0x1A answers for it, the
// highest such version. So "<kuid:0:500>" (a KUID without a version) is met
// by an installed "<kuid2:0:500:2>", as the tool's own look-ups, which go
// through 0x1A, find it; a dependency that names a version is met the same
// way by any installed version.
//
// AvailableAssets answers from the rows it was built from (a snapshot of
// the index, or the rows read inside an index transaction). The functions
// that take an AssetStore read the index on each call.
//
// Threads: AvailableAssets is const after construction; the store
// functions are as thread-safe as the store. Nothing fails: an index that
// cannot be read counts as holding nothing.
#pragma once

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "foundation/text/KUID.h"
#include "vaddaemon/StoredAsset.h"

class AssetStore;

// Installed locally, or built in (status byte 4).
bool LocallyAvailable(const StoredAsset& asset);

// The highest locally available version among `versions`; the null KUID
// when none is available.
KUID HighestAvailable(const std::vector<StoredAsset>& versions);

class AvailableAssets {
 public:
  explicit AvailableAssets(const std::vector<StoredAsset>& assets);

  bool Present(const KUID& dependency) const;
  // The dependencies of `asset` that are not present, in its order.
  std::vector<KUID> Missing(const StoredAsset& asset) const;

 private:
  std::set<std::pair<int32_t, int32_t>> available_;  // user id, content id
};

// The asset that stands for `kuid` in the store (see above); the null KUID
// when there is none.
KUID FindStandIn(AssetStore& store, const KUID& kuid);
// The dependencies of `asset` that are not present in the store.
std::vector<KUID> FindMissingDependencies(AssetStore& store, const StoredAsset& asset);
