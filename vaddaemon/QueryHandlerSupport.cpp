#include "vaddaemon/QueryHandlerSupport.h"

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "kiv/PString.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/SettingsStore.h"

void SendSetAside(DaemonRequest& request, const std::vector<std::string>& setAside,
                  const KUID& kuid) {
  for (const std::string& one : setAside)
    request.SendMessage(ResultsLog::kInformation,
                        "Set aside " + one + ": it stood where the asset's folder goes.", &kuid);
}

std::shared_ptr<AssetStore> FindAssetStore(DaemonRequest& request) {
  return request.Context().Find<AssetStore>();
}

std::shared_ptr<SettingsStore> FindSettingsStore(DaemonRequest& request) {
  return request.Context().Find<SettingsStore>();
}

bool ReadBodyKUID(DaemonRequest& request, KUID* kuid) {
  if (request.BodyRemaining() < 8) return false;
  *kuid = ReadKUID(request.Body());
  return request.Body().GetError() == TStream::kErrorNone;
}

bool ReadBodyU32(DaemonRequest& request, uint32_t* value) {
  return TStreamReadU32(request.Body(), *value, 0);
}

bool ReadBodyU64(DaemonRequest& request, uint64_t* value) {
  return TStreamReadU64(request.Body(), *value, 0);
}

bool ReadBodyBool(DaemonRequest& request, bool* value) {
  return TStreamReadBool(request.Body(), *value, false);
}

bool ReadBodyText(DaemonRequest& request, std::string* text) {
  Kiv::String read;
  request.Body().ReadString(read);
  if (request.Body().GetError() != TStream::kErrorNone) return false;
  *text = std::move(read);
  return true;
}

std::vector<uint8_t> ReadBodyRest(DaemonRequest& request) {
  std::vector<uint8_t> bytes(request.BodyRemaining());
  if (!bytes.empty()) {
    const uint32_t got = TStreamReadBytes(request.Body(), bytes.data(), uint32_t(bytes.size()));
    bytes.resize(got);
  }
  return bytes;
}

std::string FitText(std::string_view text, size_t limit) {
  if (text.size() <= limit) return std::string(text);
  size_t end = limit;
  while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end));
}

void WriteReplyText(TStream& out, std::string_view text) {
  out.WriteString(FitText(text, TStream::kMaxStringLength));
}

void WriteReplyPString(TStream& out, std::string_view text) {
  // A PString also carries its NUL, so it holds one byte less.
  out.WritePString(Kiv::PString(FitText(text, TStream::kMaxStringLength - 1)));
}
