// The online-account requests 0xF0, 0xF1, 0xF2, answered from the settings
// group "internet" ("username", "password"); see QueryHandlers.h.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/base/LogMessage.h"
#include "foundation/stream/TStreamTyped.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/QueryHandlerSupport.h"
#include "vaddaemon/QueryHandlers.h"
#include "vaddaemon/RequestRegistry.h"
#include "vaddaemon/SettingsStore.h"

namespace {

constexpr const char* kGroup = "internet";

// The credential the online service refused (0xF1), so that it is not
// handed out again until the stored one changes.
struct Refusal {
  std::mutex lock;
  std::optional<std::string> refused;
};

std::string Setting(DaemonRequest& request, const char* key) {
  auto settings = FindSettingsStore(request);
  return settings ? settings->ReadValue(kGroup, key) : std::string();
}

void WriteU16(TStream& out, uint16_t value) {
  TStreamWriteU8(out, static_cast<uint8_t>(value & 0xFF));
  TStreamWriteU8(out, static_cast<uint8_t>(value >> 8));
}

// 0xF0: -> string user name, string, string, u16, string, u16. Only the
// user name is known here; the other fields are empty or 0.
void AccountName(DaemonRequest& request) {
  WriteReplyText(request.Reply(), Setting(request, "username"));
  WriteReplyText(request.Reply(), "");
  WriteReplyText(request.Reply(), "");
  WriteU16(request.Reply(), 0);
  WriteReplyText(request.Reply(), "");
  WriteU16(request.Reply(), 0);
}

}  // namespace

void RegisterAccountHandlers(RequestRegistry& registry, DaemonContext&) {
  auto refusal = std::make_shared<Refusal>();
  registry.Register(VADRequestCode::kGetOnlineUsername, AccountName);
  // 0xF1 (one-way): the service refused the login; remember the credential.
  registry.Register(VADRequestCode::kLoginRefused, [refusal](DaemonRequest& request) {
    const std::string password = Setting(request, "password");
    std::lock_guard<std::mutex> hold(refusal->lock);
    refusal->refused = password;
    LogMessage(
        "vaddaemon> online login refused; the stored credential is held back until it changes");
  });
  // 0xF2: -> string credential; empty when none is stored or the stored one
  // was refused.
  registry.Register(VADRequestCode::kGetCredential, [refusal](DaemonRequest& request) {
    std::string password = Setting(request, "password");
    {
      std::lock_guard<std::mutex> hold(refusal->lock);
      if (refusal->refused && *refusal->refused == password) password.clear();
    }
    WriteReplyText(request.Reply(), password);
  });
}
