// The online-account requests of VADClientRequests (see its header).
#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TStreamTyped.h"

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

bool VADClientRequests::GetLocalData(const KUID& kuid, const Kiv::String& key, Soup& soup) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  request.Body().WriteString(key);
  if (!request.Transact(VADRequestCode::kGetLocalData)) return false;
  Soup reply;
  if (!BinarySoup::Read(request.Reply(), reply)) return false;
  soup = std::move(reply);
  return true;
}

bool VADClientRequests::SetLocalData(const KUID& kuid, const Kiv::String& key, const Soup& soup) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  request.Body().WriteString(key);
  if (!BinarySoup::Write(request.Body(), soup)) return false;
  return request.Post(VADRequestCode::kSetLocalData);
}
