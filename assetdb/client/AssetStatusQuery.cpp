#include "assetdb/client/AssetStatusQuery.h"

#include "assetdb/client/VADClientRequests.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

constexpr uint32_t kAllParts = 0xFFFFFFFFu;

void WriteInfoRequest(VADRequest& request, const KUID& kuid, uint32_t mask) {
  WriteKUID(request.Body(), kuid);
  TStreamWriteU32(request.Body(), mask);
}

}  // namespace

AssetStatusQuery::AssetStatusQuery(const KUID& kuid)
    : lostBefore_(VADClient::LostRequestCountOfThisThread()) {
  WriteInfoRequest(info_, kuid, kAllParts);
  WriteInfoRequest(missing_, kuid, kAssetInfoMaskPresence);
  WriteInfoRequest(faulty_, kuid, kAssetInfoMaskPresence);
  if (!info_.Start(VADRequestCode::kGetAssetInfo, true)) return;
  missing_.Start(VADRequestCode::kGetAssetInfo, false);
  faulty_.Start(VADRequestCode::kGetAssetInfo, false);
  aheadSent_ = true;
}

AssetStatusQuery::~AssetStatusQuery() {
  missing_.Settle();
  faulty_.Settle();
}

bool AssetStatusQuery::Record(AssetRecord& record) {
  return info_.Finish(false) && ReadAssetInfoRecord(info_.Reply(), record);
}

bool AssetStatusQuery::PresenceBit(VADRequest& request, uint32_t bit) {
  // Asked after a record that failed to go out: made in full, in turn.
  if (!aheadSent_) request.Start(VADRequestCode::kGetAssetInfo, true);
  AssetRecord record;
  if (!request.Finish(true) || !ReadAssetInfoRecord(request.Reply(), record)) return true;
  return (record.status & bit) != 0;
}

bool AssetStatusQuery::MissingDependencies() {
  return PresenceBit(missing_, kAssetMissingDependencies);
}

bool AssetStatusQuery::Faulty() {
  return PresenceBit(faulty_, kAssetFaulty);
}

bool AssetStatusQuery::Cut() const {
  return VADClient::LostRequestCountOfThisThread() != lostBefore_;
}

AssetStatusQuery::Reply AssetStatusQuery::Answer(AssetRecord& record, bool* missing, bool* faulty) {
  const bool answered = Record(record);
  if (Cut()) return Reply::kCut;
  if (!answered || !record.flagE) return Reply::kUnknown;
  *missing = MissingDependencies();
  *faulty = Faulty();
  return Cut() ? Reply::kCut : Reply::kKnown;
}
