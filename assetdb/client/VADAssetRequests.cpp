// The asset-information requests of VADClientRequests (see its header).
#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

// The KUID an asset-information query asks about: one that the request's
// 8-byte form cannot carry as it is (KUIDReadsBack fails) would reach the
// daemon as another asset's KUID, so the null KUID is asked about instead,
// which the daemon answers as an asset it does not know: that asset is not
// installed.
void WriteQueryKUID(TStream& body, const KUID& kuid) {
  WriteKUID(body, KUIDReadsBack(kuid) ? kuid : kNullKUID);
}

// A request whose body is one KUID and whose reply is one KUID.
KUID KUIDForKUID(uint32_t code, const KUID& kuid) {
  VADRequest request;
  WriteQueryKUID(request.Body(), kuid);
  if (!request.Transact(code)) return kuid;
  return ReadKUID(request.Reply());
}

}  // namespace

bool VADClientRequests::GetAssetConfig(const KUID& kuid, Soup& config) {
  config.Release();
  VADRequest request;
  WriteQueryKUID(request.Body(), kuid);
  if (!request.Transact(VADRequestCode::kGetAssetConfig)) return false;
  if (request.ReplyRemaining() == 0) return false;
  return BinarySoup::Read(request.Reply(), config) && !config.Empty();
}

bool VADClientRequests::GetAssetInfo(const KUID& kuid, uint32_t mask, AssetRecord& record) {
  VADRequest request;
  WriteQueryKUID(request.Body(), kuid);
  TStreamWriteU32(request.Body(), mask);
  if (!request.Transact(VADRequestCode::kGetAssetInfo)) return false;
  return ReadAssetInfoRecord(request.Reply(), record);
}

bool VADClientRequests::Request17(const KUID& kuid, bool flag, Kiv::PString& name,
                                  Kiv::String& folder) {
  VADRequest request;
  WriteQueryKUID(request.Body(), kuid);
  TStreamWriteBool(request.Body(), flag);
  if (!request.Transact(VADRequestCode::kGetAssetFolder)) return false;
  request.Reply().ReadPString(name);
  request.Reply().ReadString(folder);
  return true;
}

KUID VADClientRequests::Request1A(const KUID& kuid) {
  return KUIDForKUID(VADRequestCode::kResolveKUID, kuid);
}

KUID VADClientRequests::Request1B(const KUID& kuid) {
  // No newer version of an asset that is not installed is known.
  if (!KUIDReadsBack(kuid)) return kuid;
  return KUIDForKUID(VADRequestCode::kNewestKUID, kuid);
}

Kiv::String VADClientRequests::Request1C(const KUID& kuid) {
  VADRequest request;
  WriteQueryKUID(request.Body(), kuid);
  Kiv::String text;
  if (request.Transact(VADRequestCode::kGetDescription)) request.Reply().ReadString(text);
  return text;
}

bool VADClientRequests::Request1D(const KUID& kuid, uint32_t selector, Kiv::PString& name,
                                  Kiv::String& path, uint32_t& number) {
  VADRequest request;
  WriteQueryKUID(request.Body(), kuid);
  TStreamWriteU32(request.Body(), selector);
  if (!request.Transact(VADRequestCode::kGetThumbnail)) return false;
  request.Reply().ReadPString(name);
  request.Reply().ReadString(path);
  TStreamReadU32(request.Reply(), number, 0);
  return true;
}

bool VADClientRequests::Request2A(const KUIDList& kuids, KUIDList& result) {
  VADRequest request;
  WriteKUIDList(request.Body(), kuids);
  if (!request.Transact(VADRequestCode::kGetDependencies)) return false;
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
  WriteQueryKUID(request.Body(), kuid);
  if (!request.Transact(VADRequestCode::kGetObsoletes)) return false;
  ReadKUIDList(request.Reply(), request.ReplyRemaining(), result);
  return true;
}

bool VADClientRequests::Request32(const KUID& kuid, bool favourite) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  TStreamWriteBool(request.Body(), favourite);
  return request.Post(VADRequestCode::kSetFavourite);
}

bool VADClientRequests::Request36(const KUID& kuid, const Kiv::String& keywords) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  request.Body().WriteString(keywords);
  return request.Post(VADRequestCode::kSetKeywords);
}

KUID VADClientRequests::GenerateKUID(std::string* failure) {
  VADRequest request;
  if (!request.Transact(VADRequestCode::kGenerateKUID)) return kNullKUID;
  const KUID kuid = ReadKUID(request.Reply());
  if (!kuid.IsNull() || failure == nullptr) return kuid;
  Kiv::String why;
  if (request.ReplyRemaining() != 0) request.Reply().ReadString(why);
  *failure = why.empty() ? "the daemon gave none" : why;
  return kNullKUID;
}

bool VADClientRequests::RequestB5() {
  VADRequest request;
  if (!request.Transact(VADRequestCode::kTextureFlag)) return true;
  bool flag = true;
  TStreamReadBool(request.Reply(), flag, true);
  return flag;
}

Kiv::PString VADClientRequests::ListBuilds() {
  VADRequest request;
  Kiv::PString builds;
  if (request.Transact(VADRequestCode::kListBuilds)) request.Reply().ReadPString(builds);
  return builds;
}

bool VADClientRequests::DeleteAsset(const KUID& kuid, bool flag, ResultsLog* log) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  TStreamWriteBool(request.Body(), flag);
  if (!request.Transact(VADRequestCode::kDeleteAsset, log)) return false;
  bool deleted = false;
  TStreamReadBool(request.Reply(), deleted, false);
  return deleted;
}
