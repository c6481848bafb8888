// The online-account requests of VADClientRequests (see its header).
#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/VADRequestCodes.h"

Kiv::String VADClientRequests::GetOnlineUsername() {
  VADRequest request;
  Kiv::String name;
  // Only the user name is used; the fields behind it are the daemon's.
  if (request.Transact(VADRequestCode::kGetOnlineUsername)) request.Reply().ReadString(name);
  return name;
}

bool VADClientRequests::RequestF1() {
  VADRequest request;
  return request.Post(VADRequestCode::kLoginRefused);
}

Kiv::String VADClientRequests::RequestF2() {
  VADRequest request;
  Kiv::String text;
  if (request.Transact(VADRequestCode::kGetCredential)) request.Reply().ReadString(text);
  return text;
}
