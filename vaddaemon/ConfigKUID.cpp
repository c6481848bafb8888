// ConfigKUID (see ConfigKUID.h).
#include "vaddaemon/ConfigKUID.h"

#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/Soup.h"
#include "vaddaemon/AssetStore.h"

namespace {

constexpr int32_t kMinStoredUserId = -kMaxStoredUserId - 1;
// A user id that a 25-bit field wraps comes back 2^25 lower.
constexpr int32_t kWrap = (kMaxStoredUserId + 1) * 2;

}  // namespace

KUID KUIDAsWritten(const Soup& soup) {
  const Kiv::PString name("kuid");
  if (soup.GetNamedTagType(name) == SoupType::kString)
    return ParseKUID(soup.GetNamedTag(name).c_str(), false);
  const KUID read = soup.GetNamedTagAsKUID(name, kNullKUID);
  if (read.IsValid() || read.userId >= 0) return read;
  return KUID{read.userId + kWrap, read.contentId, read.version};
}

std::string KUIDStorageProblem(const KUID& kuid) {
  if (kuid.IsValid() && KUIDReadsBack(kuid)) return std::string();
  if (kuid.userId > kMaxStoredUserId) {
    return "its user id lies beyond " + std::to_string(kMaxStoredUserId) +
           ", the highest that the asset database keeps";
  }
  if (kuid.userId < kMinStoredUserId) {
    return "its user id lies below " + std::to_string(kMinStoredUserId) +
           ", the lowest that the asset database keeps";
  }
  return "it is not a valid KUID";
}

std::string UnkeptConfigKUID(const Soup& config) {
  const KUID named = KUIDAsWritten(config);
  const std::string problem = KUIDStorageProblem(named);
  if (problem.empty()) return problem;
  return "the configuration names " + KUIDToTagString(named).Str() + ": " + problem;
}
