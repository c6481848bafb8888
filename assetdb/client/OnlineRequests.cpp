// The online-account requests of VADClientRequests (see its header).
#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/VADRequest.h"

namespace {

constexpr uint32_t kGetOnlineUsername = 0xF0;
constexpr uint32_t kRequestF1 = 0xF1;
constexpr uint32_t kRequestF2 = 0xF2;

}  // namespace

Kiv::String VADClientRequests::GetOnlineUsername() {
  VADRequest request;
  Kiv::String name;
  // Only the user name is used; the fields behind it are the daemon's.
  if (request.Transact(kGetOnlineUsername)) request.Reply().ReadString(name);
  return name;
}

bool VADClientRequests::RequestF1() {
  VADRequest request;
  return request.Post(kRequestF1);
}

Kiv::String VADClientRequests::RequestF2() {
  VADRequest request;
  Kiv::String text;
  if (request.Transact(kRequestF2)) request.Reply().ReadString(text);
  return text;
}
