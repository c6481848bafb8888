// VADClientRequests::SearchAssets (request 2).
#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/VADFilterElement.h"
#include "assetdb/protocol/VADRequestCodes.h"

void VADClientRequests::SearchAssets(const VADFilterElement* filter, KUIDList& result) {
  VADRequest request;
  WriteFilterElement(request.Body(), filter);
  if (!request.Transact(VADRequestCode::kSearchAssets)) return;
  ReadKUIDList(request.Reply(), request.ReplyRemaining(), result);
}
