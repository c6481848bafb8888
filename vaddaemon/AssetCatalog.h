// AssetCatalog: a snapshot of every asset of the store, with the facts that
// need more than one asset to answer (dependencies present, newer versions,
// obsoletes). The search (request 0x02) evaluates its filter flags here.
//
// The catalog copies the assets it is given and keeps their order (the
// store's order: user id, content id, version), which is the order of
// every search answer. It never changes after construction.
//
// Search flags (VADFilterElementBool ids) and what each means here:
//    0 local                     installed locally (status byte 3)
//    1 fetchery                  available from the download service (byte 6)
//    2 location-unknown          neither installed, built in, on the download
//                                service nor archived
//    3 locally-available         installed locally or built in (byte 3 or 4)
//    4 up-to-date                not obsolete (flag 5 clear)
//    5 obsolete                  another asset of the catalog has the same user
//                                and content id with a higher version, or
//                                names it in its obsoletes list
//    6 locally-modified          byte 2
//    7 valid-name                the display name is not empty
//    8 open-for-edit             byte 8
//    9 in-archive                byte 7
//   10 locally-enabled           as 3: this daemon never disables an asset
//   11 has-missing-dependencies  a dependency of which no version is locally
//                                available (DependencyCheck.h)
//   12 has-faulty-dependencies   a dependency of the catalog with byte 9 set
//   13 faulty                    byte 9
//   14 from-tintgarth            never: no asset here comes from that source
//   15 builtin                   byte 4
//   16 listing-privilege         always: every asset may be listed
//   17 commit-privilege          not built in
//   18 warnings                  byte 10 (kept as fixtures or callers set it)
//   19 has-script-source         the installed configuration names a script
//                                ("script" or "scriptlibrary"); asked through
//                                the callback given at construction
//   20 compatible                not faulty
//   21 in-base-content-set       built in (byte 4)
// Any other flag id matches nothing.
//
// Threads: const after construction; the script callback is called on the
// caller's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "assetdb/protocol/VADFilterElementAssetID.h"
#include "foundation/text/KUID.h"
#include "vaddaemon/DependencyCheck.h"
#include "vaddaemon/StoredAsset.h"

class AssetCatalog {
 public:
  using ScriptTest = std::function<bool(const StoredAsset& asset)>;

  explicit AssetCatalog(std::vector<StoredAsset> assets, ScriptTest hasScriptSource = nullptr);

  const std::vector<StoredAsset>& Assets() const { return assets_; }
  // The asset of exactly this KUID, or null.
  const StoredAsset* Find(const KUID& kuid) const;

  bool Flag(uint32_t flagId, const StoredAsset& asset) const;

  bool LocallyAvailable(const StoredAsset& asset) const;
  bool HasMissingDependencies(const StoredAsset& asset) const;
  bool HasFaultyDependencies(const StoredAsset& asset) const;
  bool IsObsolete(const StoredAsset& asset) const;

 private:
  std::vector<StoredAsset> assets_;
  std::map<KUID, size_t, KUIDUnsignedLess> byKUID_;
  std::set<KUID, KUIDUnsignedLess> obsoleted_;
  AvailableAssets available_;
  ScriptTest hasScriptSource_;
};

// True when status byte `index` of `asset` is set.
bool StatusSet(const StoredAsset& asset, uint32_t index);
