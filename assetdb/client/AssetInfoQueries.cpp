#include "assetdb/client/AssetInfoQueries.h"

#include "assetdb/client/UserNameCache.h"
#include "assetdb/client/VADClientRequests.h"
#include "assetdb/protocol/AssetRecord.h"
#include "foundation/soup/Soup.h"
#include "kiv/File.h"

namespace {

// The record of `kuid` with `mask`; false when the request failed.
bool Info(const KUID& kuid, uint32_t mask, AssetRecord& record) {
  return VADClientRequests::GetAssetInfo(kuid, mask, record);
}

// `status` bits of `kuid` (mask 8) tested with `bit`; `onFailure` when the
// request fails.
bool PresenceBit(const KUID& kuid, uint32_t bit, bool onFailure) {
  AssetRecord record;
  if (!Info(kuid, kAssetInfoMaskPresence, record)) return onFailure;
  return (record.status & bit) != 0;
}

Kiv::String FirstTag(const Soup& config, const char* first, const char* second) {
  Kiv::String text = config.GetNamedTag(Kiv::PString(first)).Str();
  if (text.empty()) text = config.GetNamedTag(Kiv::PString(second)).Str();
  return text;
}

// `path` with the extension of its last component replaced by (or, without
// one, given) "gs".
Kiv::String WithScriptExtension(const Kiv::String& path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.rfind('.');
  const bool hasExtension = dot != Kiv::String::npos && (slash == Kiv::String::npos || dot > slash);
  return (hasExtension ? path.substr(0, dot) : path) + ".gs";
}

}  // namespace

Kiv::String GetAssetInfoField(const KUID& kuid) {
  AssetRecord record;
  return Info(kuid, kAssetInfoMaskName, record) ? record.username : Kiv::String();
}

Kiv::String GetAssetInfoTextA(const KUID& kuid) {
  AssetRecord record;
  return Info(kuid, kAssetInfoMaskTexts, record) ? record.text4 : Kiv::String();
}

Kiv::String GetAssetInfoTextB(const KUID& kuid) {
  AssetRecord record;
  return Info(kuid, kAssetInfoMaskTexts, record) ? record.text2 : Kiv::String();
}

Kiv::String GetAssetInfoTextC(const KUID& kuid) {
  AssetRecord record;
  return Info(kuid, kAssetInfoMaskTexts, record) ? record.text3 : Kiv::String();
}

bool VADClientRequests::IsAssetBuiltIn(const KUID& kuid) {
  AssetRecord record;
  if (!Info(kuid, kAssetInfoMaskStatus, record)) return false;
  return (record.status & kAssetBuiltIn) != 0;
}

bool VADClientRequests::IsAssetLocallyModified(const KUID& kuid) {
  return PresenceBit(kuid, kAssetLocallyModified, true);
}

bool VADClientRequests::IsAssetPresent(const KUID& kuid) {
  return PresenceBit(kuid, kAssetInstalledLocally, true);
}

bool VADClientRequests::IsAssetFaulty(const KUID& kuid) {
  return PresenceBit(kuid, kAssetFaulty, true);
}

bool VADClientRequests::HasMissingDependencies(const KUID& kuid, bool whenAbsent) {
  AssetRecord record;
  if (!Info(kuid, kAssetInfoMaskPresence, record)) return true;
  if (whenAbsent && (record.status & kAssetInstalledLocally) == 0) return true;
  return (record.status & kAssetMissingDependencies) != 0;
}

bool GetAssetScriptAndClass(const KUID& kuid, Kiv::String& script, Kiv::String& scriptClass) {
  script.clear();
  scriptClass.clear();
  Soup config;
  if (!VADClientRequests::GetAssetConfig(kuid, config)) return false;
  script = FirstTag(config, "script", "scriptlibrary");
  if (!script.empty()) script = WithScriptExtension(script);
  scriptClass = FirstTag(config, "class", "scriptclass");
  // An old configuration may name its class only as "classlibrary", which
  // the validation's upgrade reads as "class".
  if (scriptClass.empty()) scriptClass = config.GetNamedTag(Kiv::PString("classlibrary")).Str();
  return true;
}

bool GetAuthorName(int32_t authorId, Kiv::String& name) {
  name = GetUserName(authorId).Str();
  return !name.empty();
}
