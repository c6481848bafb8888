// The database-repair requests of VADClientRequests (see its header).
#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/VADRequest.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

constexpr uint32_t kRepairStep03 = 0x03;
constexpr uint32_t kRepairStep04 = 0x04;
constexpr uint32_t kRepairDatabase = 0x100;

}  // namespace

bool VADClientRequests::RepairStep03(uint32_t mode, ResultsLog* log) {
  VADRequest request;
  TStreamWriteU32(request.Body(), mode);
  return request.Transact(kRepairStep03, log, true);
}

bool VADClientRequests::RepairStep04(bool& flag, float& progress, Kiv::String& status) {
  VADRequest request;
  if (!request.Transact(kRepairStep04)) return false;
  TStreamReadBool(request.Reply(), flag, false);
  TStreamReadFloat(request.Reply(), progress, 0.0f);
  request.Reply().ReadString(status);
  return true;
}

bool VADClientRequests::RepairDatabase() {
  VADRequest request;
  return request.Post(kRepairDatabase);
}
