#include "assetdb/client/SettingsRequests.h"

#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"

namespace {

// Sends a settings write: true when the daemon kept the change (an empty
// reply); otherwise false, with the daemon's reason in `failure` when it
// gave one.
bool TransactWrite(VADRequest& request, uint32_t code, std::string* failure) {
  if (!request.Transact(code)) return false;
  if (request.ReplyRemaining() == 0) return true;
  Kiv::String why;
  request.Reply().ReadString(why);
  if (failure != nullptr) *failure = why.empty() ? "the daemon did not keep it" : why;
  return false;
}

}  // namespace

bool ReadSettingsGroup(Soup& out, const Kiv::PString& group) {
  VADRequest request;
  request.Body().WritePString(group);
  if (!request.Transact(VADRequestCode::kReadSettingsGroup)) return false;
  Soup read;
  if (request.ReplyRemaining() != 0 && BinarySoup::Read(request.Reply(), read)) out = read;
  return true;
}

bool WriteSettingsGroup(const Kiv::PString& group, Soup& holder, std::string* failure) {
  Soup soup = std::move(holder);
  holder.Release();
  const bool hasChildren = soup.GetChunk() && soup.GetChunk()->CountChildren() != 0;
  if (!hasChildren) soup.Release();
  VADRequest request;
  request.Body().WritePString(group);
  BinarySoup::Write(request.Body(), soup);
  soup.Release();
  return TransactWrite(request, VADRequestCode::kWriteSettingsGroup, failure);
}

Kiv::PString ReadSetting(const Kiv::PString& group, const Kiv::PString& key) {
  VADRequest request;
  request.Body().WritePString(group);
  request.Body().WritePString(key);
  Kiv::PString value;
  if (request.Transact(VADRequestCode::kReadSetting)) request.Reply().ReadPString(value);
  return value;
}

bool WriteSetting(const Kiv::PString& group, const Kiv::PString& key, const Kiv::PString& value,
                  std::string* failure) {
  VADRequest request;
  request.Body().WritePString(group);
  request.Body().WritePString(key);
  request.Body().WritePString(value);
  return TransactWrite(request, VADRequestCode::kWriteSetting, failure);
}
