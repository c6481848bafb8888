// ValidationHolds (see ValidationHolds.h).
#include "vaddaemon/ValidationHolds.h"

#include <algorithm>
#include <utility>

#include "foundation/soup/Soup.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "kiv/FileConfinement.h"
#include "vaddaemon/AssetConfigReader.h"
#include "vaddaemon/DependencyCheck.h"

namespace {

// Appends the KUIDs of the include table of `config` to `pending`.
void AddIncludes(const Soup& config, std::vector<KUID>* pending) {
  KUIDList includes;
  GetKUIDList(config.GetNamedSoup(Kiv::PString("script-include-table")), includes);
  for (const KUID& kuid : includes) pending->push_back(kuid);
}

}  // namespace

bool TakeValidationHolds(AssetStore& store, const std::string& folder, ValidationHolds* out) {
  out->holds.clear();
  AssetStore::ReadHold own;
  if (!store.HoldFolderForReading(folder, false, &own, &out->folder, &out->location)) {
    out->busy = store.AssetOfFolder(folder);
    return false;
  }
  std::vector<AssetStore::ReadHold> holds;
  holds.push_back(std::move(own));
  std::vector<KUID> held{store.AssetOfFolder(folder)};
  std::vector<KUID> pending;
  if (!out->folder.empty()) {
    Soup config;
    // Never read through a link out of the folder, nor from a pipe.
    const Kiv::ConfinedFolder confined(out->folder);
    if (LoadAssetFolderConfig(out->folder, &config)) AddIncludes(config, &pending);
  }
  for (size_t at = 0; at < pending.size(); ++at) {
    const KUID asset = FindStandIn(store, pending[at]);
    if (asset.IsNull() || std::find(held.begin(), held.end(), asset) != held.end()) continue;
    AssetStore::ReadHold hold = store.TryHoldForReading(asset);
    if (!hold.Held()) {
      out->busy = asset;
      return false;  // the holds taken go with `holds`
    }
    holds.push_back(std::move(hold));
    held.push_back(asset);
    Soup config;
    if (store.LoadConfig(asset, &config)) AddIncludes(config, &pending);
  }
  out->holds = std::move(holds);
  return true;
}
