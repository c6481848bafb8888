// The core module: keep-alive (0x00), the close request (0x10E) and the
// settings requests (0x64-0x67, kept in a SettingsStore provided to the
// other modules).
//
// Request bodies are untrusted: a body whose strings cannot be read whole
// is logged and answered with an empty reply, which the tools read as the
// default; the writes answer it as a change not kept.
#include <string>
#include <vector>

#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/base/LogMessage.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "kiv/PString.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonModule.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/QueryHandlerSupport.h"
#include "vaddaemon/RequestRegistry.h"
#include "vaddaemon/SettingsStore.h"

namespace {

// Reads the strings of a request body; false (logged) when one is cut short
// or too long.
bool ReadStrings(DaemonRequest& request, std::initializer_list<Kiv::String*> out) {
  for (Kiv::String* text : out) request.Body().ReadString(*text);
  if (request.Body().GetError() == TStream::kErrorNone) return true;
  LogMessage("vaddaemon> request 0x%X: damaged body", request.Code());
  return false;
}

std::vector<uint8_t> RemainingBody(DaemonRequest& request) {
  std::vector<uint8_t> bytes(request.BodyRemaining());
  if (!bytes.empty()) TStreamReadBytes(request.Body(), bytes.data(), uint32_t(bytes.size()));
  return bytes;
}

void ReadGroup(SettingsStore& store, DaemonRequest& request) {
  Kiv::String group;
  if (!ReadStrings(request, {&group})) return;
  std::vector<uint8_t> soup = store.ReadGroup(group);
  TStreamWriteBytes(request.Reply(), soup.data(), uint32_t(soup.size()));
}

// The reply of a settings write: empty when the change was kept; when it
// was not, the reason as a string, which the tool reports as an error.
void ReplyNotKept(DaemonRequest& request, const std::string& failure) {
  WriteReplyText(request.Reply(), failure);
}

void WriteGroup(SettingsStore& store, DaemonRequest& request) {
  Kiv::String group;
  if (!ReadStrings(request, {&group})) return ReplyNotKept(request, "the request is damaged");
  std::vector<uint8_t> soup = RemainingBody(request);
  std::string failure;
  if (!store.WriteGroup(group, soup.data(), uint32_t(soup.size()), &failure)) {
    LogMessage("vaddaemon> settings group \"%s\" not stored", group.c_str());
    ReplyNotKept(request, failure);
  }
}

void ReadValue(SettingsStore& store, DaemonRequest& request) {
  Kiv::String group, key;
  if (!ReadStrings(request, {&group, &key})) return;
  request.Reply().WritePString(Kiv::PString(store.ReadValue(group, key)));
}

void WriteValue(SettingsStore& store, DaemonRequest& request) {
  Kiv::String group, key, value;
  if (!ReadStrings(request, {&group, &key, &value}))
    return ReplyNotKept(request, "the request is damaged");
  std::string failure;
  if (!store.WriteValue(group, key, value, &failure)) {
    LogMessage("vaddaemon> setting \"%s\" of group \"%s\" not stored", key.c_str(), group.c_str());
    ReplyNotKept(request, failure);
  }
}

bool Start(DaemonContext& context) {
  auto store = std::make_shared<SettingsStore>();
  Kiv::File::Path path = context.UserDataPath();
  path.AddPath(SettingsStore::kFileName);
  store->Load(path);
  context.Provide<SettingsStore>(store);
  return true;
}

void Register(RequestRegistry& registry, DaemonContext& context) {
  std::shared_ptr<SettingsStore> store = context.Find<SettingsStore>();
  registry.Register(
      VADRequestCode::kKeepAlive, [](DaemonRequest&) {}, RequestRegistry::Always);
  registry.Register(VADRequestCode::kCloseDaemon, [](DaemonRequest& request) {
    LogMessage("vaddaemon> close request received; exiting");
    DaemonContext& owner = request.Context();
    // The asking tool waits for its connection to close, then for the
    // daemon to end (which finishes the work in hand first, DaemonServer.h).
    request.AfterReply([&owner, connection = request.SharedConnection()] {
      owner.RequestExit();
      if (connection) connection->Close();
    });
  });
  registry.Register(VADRequestCode::kReadSettingsGroup,
                    [store](DaemonRequest& request) { ReadGroup(*store, request); });
  registry.Register(VADRequestCode::kWriteSettingsGroup,
                    [store](DaemonRequest& request) { WriteGroup(*store, request); });
  // Every command's start-up reads its language this way: a quick lookup
  // (the store's lock is held only to copy a group), answered on the reader.
  registry.Register(
      VADRequestCode::kReadSetting, [store](DaemonRequest& request) { ReadValue(*store, request); },
      RequestRegistry::Always);
  registry.Register(VADRequestCode::kWriteSetting,
                    [store](DaemonRequest& request) { WriteValue(*store, request); });
}

}  // namespace

VAD_DAEMON_MODULE(DaemonModule{.name = "core",
                               .order = DaemonModule::kOrderCore,
                               .start = &Start,
                               .registerHandlers = &Register,
                               .stop = nullptr});
