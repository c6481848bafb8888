// Per-asset values and small look-ups: 0x32, 0x36, 0x3A, 0x5A, 0x79, 0x7A,
// 0xB5, 0xFD (see QueryHandlers.h and the README for the replies).
#include <string>
#include <vector>

#include "assetdb/protocol/VADFrames.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/base/LogMessage.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/QueryHandlerSupport.h"
#include "vaddaemon/QueryHandlers.h"
#include "vaddaemon/RequestRegistry.h"

namespace {

// The empty "ACS$" soup.
const std::vector<uint8_t>& EmptySoupBytes() {
  static const std::vector<uint8_t> kBytes = {0x41, 0x43, 0x53, 0x24, 1, 0, 0, 0,
                                              0,    0,    0,    0,    0, 0, 0, 0};
  return kBytes;
}

void LogStoreFailure(const char* what, const StoreResult& result) {
  if (!result.Ok()) LogMessage("vaddaemon> %s failed: %s", what, result.message.c_str());
}

// 0x32 (one-way): KUID, u8 favourite.
void SetFavourite(DaemonRequest& request) {
  KUID kuid;
  bool favourite = false;
  auto store = FindAssetStore(request);
  if (!ReadBodyKUID(request, &kuid) || !ReadBodyBool(request, &favourite) || !store) return;
  LogStoreFailure("storing a favourite mark", store->SetFavourite(kuid, favourite));
}

// 0x36 (one-way): KUID, string keywords.
void SetKeywords(DaemonRequest& request) {
  KUID kuid;
  std::string keywords;
  auto store = FindAssetStore(request);
  if (!ReadBodyKUID(request, &kuid) || !ReadBodyText(request, &keywords) || !store) return;
  LogStoreFailure("storing keywords", store->SetKeywords(kuid, keywords));
}

// 0x3A: -> a new KUID of the local user's range; the null KUID when none is
// left or the index fails, followed by why as a string.
void NewKUID(DaemonRequest& request) {
  auto store = FindAssetStore(request);
  std::string failure = "the asset store is not open";
  const KUID kuid = store ? store->NewKUID(&failure) : kNullKUID;
  WriteKUID(request.Reply(), kuid);
  if (kuid.IsNull()) {
    LogMessage("vaddaemon> no new KUID: %s", failure.c_str());
    WriteReplyText(request.Reply(), failure);
  }
}

// 0x5A: u32 user id -> u32 second id (-1 when none), PString name (empty
// with -1 when the user is unknown).
void UserName(DaemonRequest& request) {
  uint32_t id = 0;
  auto store = FindAssetStore(request);
  std::string name;
  int32_t second = -1;
  if (!ReadBodyU32(request, &id) || !store ||
      !store->FindUser(static_cast<int32_t>(id), &name, &second)) {
    name.clear();
    second = -1;
  }
  TStreamWriteU32(request.Reply(), static_cast<uint32_t>(second));
  WriteReplyPString(request.Reply(), name);
}

// 0x79: KUID, string key -> the soup stored under them; the empty soup when
// there is none.
void GetLocalData(DaemonRequest& request) {
  KUID kuid;
  std::string key;
  auto store = FindAssetStore(request);
  std::vector<uint8_t> bytes;
  if (!ReadBodyKUID(request, &kuid) || !ReadBodyText(request, &key) || !store ||
      !store->GetLocalData(kuid, key, &bytes) || bytes.empty())
    bytes = EmptySoupBytes();
  TStreamWriteBytes(request.Reply(), bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// 0x7A (one-way): KUID, string key, soup. The soup is checked by the binary
// soup reader and stored in its written-out form; a damaged one is dropped
// (and logged), keeping what was stored before.
void SetLocalData(DaemonRequest& request) {
  KUID kuid;
  std::string key;
  auto store = FindAssetStore(request);
  if (!ReadBodyKUID(request, &kuid) || !ReadBodyText(request, &key) || !store) return;
  Soup soup;
  if (!BinarySoup::Read(request.Body(), soup)) {
    LogMessage("vaddaemon> per-asset data \"%s\" refused: damaged soup", key.c_str());
    return;
  }
  TBuffer written;
  BinarySoup::Write(written, soup);
  const auto* data = written.GetData();
  std::vector<uint8_t> bytes(data->Data(), data->Data() + data->DataLength());
  LogStoreFailure("storing per-asset data", store->SetLocalData(kuid, key, bytes));
}

// 0xB5: -> u8 1. The tool turns "not flag" into its acceleration switch;
// this daemon offers no accelerated texture work, so the switch stays off.
void TextureFlag(DaemonRequest& request) {
  TStreamWriteU8(request.Reply(), 1);
}

// 0xFD: -> PString: the installed builds, one build number (this daemon's
// own, the one it gives in the handshake).
void ListBuilds(DaemonRequest& request) {
  WriteReplyPString(request.Reply(), std::to_string(VADFrames::kBuild));
}

}  // namespace

void RegisterValueHandlers(RequestRegistry& registry, DaemonContext&) {
  registry.Register(VADRequestCode::kSetFavourite, SetFavourite);
  registry.Register(VADRequestCode::kSetKeywords, SetKeywords);
  registry.Register(VADRequestCode::kGenerateKUID, NewKUID);
  registry.Register(VADRequestCode::kLookupUserName, UserName);
  registry.Register(VADRequestCode::kGetLocalData, GetLocalData);
  registry.Register(VADRequestCode::kSetLocalData, SetLocalData);
  // Asked by a command host in the middle of a texture job, which a worker
  // may be waiting for: answered on the reader, it never needs a worker.
  registry.Register(VADRequestCode::kTextureFlag, TextureFlag, RequestRegistry::Always);
  registry.Register(VADRequestCode::kListBuilds, ListBuilds);
}
