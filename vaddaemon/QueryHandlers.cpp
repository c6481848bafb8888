// Read-only asset queries: 0x14, 0x15, 0x17, 0x1A, 0x1B, 0x1C, 0x1D, 0x2A,
// 0x2B (see QueryHandlers.h and the README for the replies).
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "vaddaemon/AssetRecordWriter.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/DependencyCheck.h"
#include "vaddaemon/QueryHandlerSupport.h"
#include "vaddaemon/QueryHandlers.h"
#include "vaddaemon/RequestRegistry.h"
#include "vaddaemon/SettingsStore.h"

namespace {

constexpr uint32_t kThumbnailSelector = 0xF0;

// 0x14: KUID -> the installed configuration as a binary soup; nothing when
// the asset is unknown or not installed.
void GetConfig(DaemonRequest& request) {
  KUID kuid;
  auto store = FindAssetStore(request);
  if (!ReadBodyKUID(request, &kuid) || !store) return;
  Soup config;
  if (!store->LoadConfig(kuid, &config) || config.Empty()) return;
  if (!BinarySoup::Write(request.Reply(), config)) request.Reply().Reset();
}

// 0x15: KUID, u32 mask -> the whole record (AssetRecordWriter.h); the mask
// is read and otherwise ignored, since every field is always sent.
void GetInfo(DaemonRequest& request) {
  KUID kuid;
  uint32_t mask = 0;
  auto store = FindAssetStore(request);
  StoredAsset asset;
  const bool known = ReadBodyKUID(request, &kuid) && store && store->Find(kuid, &asset);
  ReadBodyU32(request, &mask);
  if (!known) {
    WriteAssetRecord(request.Reply(), nullptr, false);
    return;
  }
  WriteAssetRecord(request.Reply(), &asset, !FindMissingDependencies(*store, asset).empty());
}

// 0x17: KUID, u8 -> PString location, string folder: "local" and the full
// path of the installed files; both empty when the asset is not installed.
void GetFolder(DaemonRequest& request) {
  KUID kuid;
  bool flag = false;
  auto store = FindAssetStore(request);
  StoredAsset asset;
  const bool known =
      ReadBodyKUID(request, &kuid) && store && store->Find(kuid, &asset) && asset.Installed();
  ReadBodyBool(request, &flag);
  if (!known) {
    WriteReplyPString(request.Reply(), "");
    WriteReplyText(request.Reply(), "");
    return;
  }
  WriteReplyPString(request.Reply(), AssetStore::kLocalLocation);
  WriteReplyText(request.Reply(), store->InstalledPath(asset));
}

// 0x1A: KUID -> the locally available asset that stands for it: the highest
// installed or built-in version of the same user and content id (the KUID
// itself when that is it); the null KUID when there is none. The missing-
// dependency answers use the same rule (DependencyCheck.h).
void Resolve(DaemonRequest& request) {
  KUID kuid;
  auto store = FindAssetStore(request);
  KUID answer = kNullKUID;
  if (ReadBodyKUID(request, &kuid) && store && !kuid.IsNull()) answer = FindStandIn(*store, kuid);
  WriteKUID(request.Reply(), answer);
}

// 0x1B: KUID -> the newest version the index knows of the same user and
// content id (installed or only catalogued); the KUID itself when none is
// newer.
void Updated(DaemonRequest& request) {
  KUID kuid;
  auto store = FindAssetStore(request);
  if (!ReadBodyKUID(request, &kuid)) {
    WriteKUID(request.Reply(), kNullKUID);
    return;
  }
  KUID answer = kuid;
  if (store && !kuid.IsNull()) {
    const std::vector<StoredAsset> versions = store->Versions(kuid);
    if (!versions.empty() && versions.back().kuid.version > kuid.version)
      answer = versions.back().kuid;
  }
  WriteKUID(request.Reply(), answer);
}

// 0x1C: KUID -> string: the configuration's "description-<language>" for
// the language of the settings ("internet", "language"), else its
// "description"; empty when there is none.
void Description(DaemonRequest& request) {
  KUID kuid;
  auto store = FindAssetStore(request);
  Soup config;
  if (!ReadBodyKUID(request, &kuid) || !store || !store->LoadConfig(kuid, &config)) {
    WriteReplyText(request.Reply(), "");
    return;
  }
  std::string text;
  auto settings = FindSettingsStore(request);
  const std::string language =
      settings ? settings->ReadValue("internet", "language") : std::string();
  if (!language.empty()) text = config.GetNamedTag(Kiv::PString("description-" + language)).Str();
  if (text.empty()) text = config.GetNamedTag(Kiv::PString("description")).Str();
  WriteReplyText(request.Reply(), text);
}

// A file name taken from a configuration may name a file of the asset's
// folder only: relative, and without any ".." component.
bool SafeRelativePath(const std::string& path) {
  if (path.empty() || path[0] == '/' || path[0] == '\\') return false;
  std::string normal = path;
  std::replace(normal.begin(), normal.end(), '\\', '/');
  for (const auto& part : std::filesystem::path(normal)) {
    if (part == "..") return false;
  }
  return true;
}

// 0x1D: KUID, u32 selector -> PString location, string path, u32 number.
// Selector 0xF0 answers the first image of the configuration's "thumbnails"
// as "local" and the path relative to it ("<asset folder>/<image>"), with
// number 0; the image must exist. Anything else: empty, empty, 0.
void Thumbnail(DaemonRequest& request) {
  KUID kuid;
  uint32_t selector = 0;
  auto store = FindAssetStore(request);
  StoredAsset asset;
  Soup config;
  std::string image;
  if (ReadBodyKUID(request, &kuid) && ReadBodyU32(request, &selector) &&
      selector == kThumbnailSelector && store && store->Find(kuid, &asset) && asset.Installed() &&
      store->LoadConfig(kuid, &config)) {
    const Soup thumbnails = config.GetNamedSoup(Kiv::PString("thumbnails"));
    image = thumbnails.GetIndexedSoup(0).GetNamedTag(Kiv::PString("image")).Str();
    std::error_code error;
    if (!SafeRelativePath(image) ||
        !std::filesystem::is_regular_file(
            std::filesystem::path(store->InstalledPath(asset)) / image, error))
      image.clear();
  }
  if (image.empty()) {
    WriteReplyPString(request.Reply(), "");
    WriteReplyText(request.Reply(), "");
    TStreamWriteU32(request.Reply(), 0);
    return;
  }
  WriteReplyPString(request.Reply(), AssetStore::kLocalLocation);
  WriteReplyText(request.Reply(), asset.folder + "/" + image);
  TStreamWriteU32(request.Reply(), 0);
}

// A KUID list of a reply. A KUID kept as written whose user id the 8-byte
// form cannot carry (a dependency named as text) is left out: written, it
// would name another asset.
void WriteKUIDs(TStream& out, const std::vector<KUID>& kuids) {
  std::vector<KUID> carried;
  for (const KUID& kuid : kuids)
    if (KUIDReadsBack(kuid)) carried.push_back(kuid);
  TStreamWriteU32(out, static_cast<uint32_t>(carried.size()));
  for (const KUID& kuid : carried) WriteKUID(out, kuid);
}

// 0x2A: u32 n, n KUIDs -> u32 m, m KUIDs: the dependencies of the listed
// assets, each once, in the order first named. The count is bounded by the
// body's bytes; unknown assets add nothing.
void Dependencies(DaemonRequest& request) {
  uint32_t count = 0;
  auto store = FindAssetStore(request);
  std::vector<KUID> result;
  if (ReadBodyU32(request, &count) && store) {
    count = std::min(count, request.BodyRemaining() / 8);
    for (uint32_t i = 0; i < count; ++i) {
      KUID kuid;
      StoredAsset asset;
      if (!ReadBodyKUID(request, &kuid) || !store->Find(kuid, &asset)) continue;
      for (const KUID& dependency : asset.dependencies) {
        if (std::find(result.begin(), result.end(), dependency) == result.end())
          result.push_back(dependency);
      }
    }
  }
  WriteKUIDs(request.Reply(), result);
}

// 0x2B: KUID -> u32 m, m KUIDs: the asset's obsoletes list.
void Obsoletes(DaemonRequest& request) {
  KUID kuid;
  auto store = FindAssetStore(request);
  StoredAsset asset;
  if (ReadBodyKUID(request, &kuid) && store && store->Find(kuid, &asset)) {
    WriteKUIDs(request.Reply(), asset.obsoletes);
    return;
  }
  WriteKUIDs(request.Reply(), {});
}

}  // namespace

void RegisterQueryHandlers(RequestRegistry& registry, DaemonContext&) {
  // The two lookups of every validation are served on the connection's
  // reader: they only read the index and one file.
  registry.Register(VADRequestCode::kGetAssetConfig, GetConfig, RequestRegistry::Always);
  registry.Register(VADRequestCode::kGetAssetInfo, GetInfo, RequestRegistry::Always);
  registry.Register(VADRequestCode::kGetAssetFolder, GetFolder);
  registry.Register(VADRequestCode::kResolveKUID, Resolve);
  registry.Register(VADRequestCode::kNewestKUID, Updated);
  registry.Register(VADRequestCode::kGetDescription, Description);
  registry.Register(VADRequestCode::kGetThumbnail, Thumbnail);
  registry.Register(VADRequestCode::kGetDependencies, Dependencies);
  registry.Register(VADRequestCode::kGetObsoletes, Obsoletes);
}
