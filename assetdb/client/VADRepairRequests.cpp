// The database-repair requests of VADClientRequests (see its header).
#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/stream/TStreamTyped.h"

bool VADClientRequests::RepairStep03(uint32_t mode, ResultsLog* log) {
  VADRequest request;
  TStreamWriteU32(request.Body(), mode);
  return request.Transact(VADRequestCode::kStartRepair, log, true);
}

bool VADClientRequests::RepairStep04(bool& flag, float& progress, Kiv::String& status) {
  VADRequest request;
  if (!request.Transact(VADRequestCode::kPollRepair)) return false;
  TStreamReadBool(request.Reply(), flag, false);
  TStreamReadFloat(request.Reply(), progress, 0.0f);
  request.Reply().ReadString(status);
  return true;
}

bool VADClientRequests::RepairDatabase() {
  VADRequest request;
  return request.Post(VADRequestCode::kRepairDatabase);
}
