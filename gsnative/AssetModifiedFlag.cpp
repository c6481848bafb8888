#include "gsnative/AssetModifiedFlag.h"

#include <cstdint>

#include "assetdb/client/VADClient.h"
#include "assetdb/client/VandruBaseSpec.h"

namespace {

// Bits of VandruBaseSpec::modifiedFlags.
constexpr uint8_t kModifiedKnown = 0x1;
constexpr uint8_t kModified = 0x2;

}  // namespace

bool IsAssetSpecLocallyModified(const KUID& kuid) {
  SpecRef held;
  GetVandruBaseSpec(held, kuid);
  VandruBaseSpec* spec = CastToVandruBaseSpec(held.Get());
  if (spec == nullptr) return false;
  if ((spec->modifiedFlags & kModifiedKnown) == 0) {
    const bool modified = VADClient::IsAssetLocallyModified(kuid);
    spec->modifiedFlags = kModifiedKnown | (modified ? kModified : 0);
  }
  return (spec->modifiedFlags & kModified) != 0;
}
