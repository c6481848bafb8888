// The asset-information requests of VADClientRequests (see its header).
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/VADRequest.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

constexpr uint32_t kGetAssetConfig = 0x14;
constexpr uint32_t kGetAssetInfo = 0x15;
constexpr uint32_t kRequest17 = 0x17;
constexpr uint32_t kRequest1A = 0x1A;
constexpr uint32_t kRequest1B = 0x1B;
constexpr uint32_t kRequest1C = 0x1C;
constexpr uint32_t kRequest1D = 0x1D;
constexpr uint32_t kDeleteAsset = 0x24;
constexpr uint32_t kRequest2A = 0x2A;
constexpr uint32_t kRequest2B = 0x2B;
constexpr uint32_t kRequest32 = 0x32;
constexpr uint32_t kRequest36 = 0x36;
constexpr uint32_t kGenerateKUID = 0x3A;
constexpr uint32_t kRequestB5 = 0xB5;
constexpr uint32_t kListBuilds = 0xFD;

// A request whose body is one KUID and whose reply is one KUID.
KUID KUIDForKUID(uint32_t code, const KUID& kuid) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  if (!request.Transact(code)) return kuid;
  return ReadKUID(request.Reply());
}

}  // namespace

bool VADClientRequests::GetAssetConfig(const KUID& kuid, Soup& config) {
  config.Release();
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  if (!request.Transact(kGetAssetConfig)) return false;
  if (request.ReplyRemaining() == 0) return false;
  return BinarySoup::Read(request.Reply(), config) && !config.Empty();
}

bool VADClientRequests::GetAssetInfo(const KUID& kuid, uint32_t mask, AssetRecord& record) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  TStreamWriteU32(request.Body(), mask);
  if (!request.Transact(kGetAssetInfo)) return false;
  return ReadAssetInfoRecord(request.Reply(), record);
}

bool VADClientRequests::Request17(const KUID& kuid, bool flag, Kiv::PString& name, Kiv::String& folder) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  TStreamWriteBool(request.Body(), flag);
  if (!request.Transact(kRequest17)) return false;
  request.Reply().ReadPString(name);
  request.Reply().ReadString(folder);
  return true;
}

KUID VADClientRequests::Request1A(const KUID& kuid) { return KUIDForKUID(kRequest1A, kuid); }

KUID VADClientRequests::Request1B(const KUID& kuid) { return KUIDForKUID(kRequest1B, kuid); }

Kiv::String VADClientRequests::Request1C(const KUID& kuid) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  Kiv::String text;
  if (request.Transact(kRequest1C)) request.Reply().ReadString(text);
  return text;
}

bool VADClientRequests::Request1D(const KUID& kuid, uint32_t selector, Kiv::PString& name, Kiv::String& path,
                                  uint32_t& number) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  TStreamWriteU32(request.Body(), selector);
  if (!request.Transact(kRequest1D)) return false;
  request.Reply().ReadPString(name);
  request.Reply().ReadString(path);
  TStreamReadU32(request.Reply(), number, 0);
  return true;
}

bool VADClientRequests::Request2A(const KUIDList& kuids, KUIDList& result) {
  VADRequest request;
  WriteKUIDList(request.Body(), kuids);
  if (!request.Transact(kRequest2A)) return false;
  ReadKUIDList(request.Reply(), request.ReplyRemaining(), result);
  return true;
}

bool VADClientRequests::GetDependencyList(const KUIDList& kuids, KUIDList& result) {
  // The request works on a copy, so that `result` may be `kuids` itself.
  KUIDList copy;
  for (const KUID& kuid : const_cast<KUIDList&>(kuids)) copy.Append(kuid);
  return Request2A(copy, result);
}

bool VADClientRequests::Request2B(const KUID& kuid, KUIDList& result) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  if (!request.Transact(kRequest2B)) return false;
  ReadKUIDList(request.Reply(), request.ReplyRemaining(), result);
  return true;
}

bool VADClientRequests::Request32(const KUID& kuid, bool favourite) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  TStreamWriteBool(request.Body(), favourite);
  return request.Post(kRequest32);
}

bool VADClientRequests::Request36(const KUID& kuid, const Kiv::String& keywords) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  request.Body().WriteString(keywords);
  return request.Post(kRequest36);
}

KUID VADClientRequests::GenerateKUID() {
  VADRequest request;
  if (!request.Transact(kGenerateKUID)) return kNullKUID;
  return ReadKUID(request.Reply());
}

bool VADClientRequests::RequestB5() {
  VADRequest request;
  if (!request.Transact(kRequestB5)) return true;
  bool flag = true;
  TStreamReadBool(request.Reply(), flag, true);
  return flag;
}

Kiv::PString VADClientRequests::ListBuilds() {
  VADRequest request;
  Kiv::PString builds;
  if (request.Transact(kListBuilds)) request.Reply().ReadPString(builds);
  return builds;
}

bool VADClientRequests::DeleteAsset(const KUID& kuid, bool flag, ResultsLog* log) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  TStreamWriteBool(request.Body(), flag);
  if (!request.Transact(kDeleteAsset, log)) return false;
  bool deleted = false;
  TStreamReadBool(request.Reply(), deleted, false);
  return deleted;
}
