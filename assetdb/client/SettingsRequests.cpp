#include "assetdb/client/SettingsRequests.h"

#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"

bool ReadSettingsGroup(Soup& out, const Kiv::PString& group) {
  VADRequest request;
  request.Body().WritePString(group);
  if (!request.Transact(VADRequestCode::kReadSettingsGroup)) return false;
  Soup read;
  if (request.ReplyRemaining() != 0 && BinarySoup::Read(request.Reply(), read)) out = read;
  return true;
}

bool WriteSettingsGroup(const Kiv::PString& group, Soup& holder) {
  Soup soup = std::move(holder);
  holder.Release();
  const bool hasChildren = soup.GetChunk() && soup.GetChunk()->CountChildren() != 0;
  if (!hasChildren) soup.Release();
  VADRequest request;
  request.Body().WritePString(group);
  BinarySoup::Write(request.Body(), soup);
  soup.Release();
  return request.Transact(VADRequestCode::kWriteSettingsGroup);
}

Kiv::PString ReadSetting(const Kiv::PString& group, const Kiv::PString& key) {
  VADRequest request;
  request.Body().WritePString(group);
  request.Body().WritePString(key);
  Kiv::PString value;
  if (request.Transact(VADRequestCode::kReadSetting)) request.Reply().ReadPString(value);
  return value;
}

bool WriteSetting(const Kiv::PString& group, const Kiv::PString& key, const Kiv::PString& value) {
  VADRequest request;
  request.Body().WritePString(group);
  request.Body().WritePString(key);
  request.Body().WritePString(value);
  return request.Transact(VADRequestCode::kWriteSetting);
}
