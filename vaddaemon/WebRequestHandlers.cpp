// Web requests, served from local fixtures (WebFixtures.h), and the
// download service's needed-items selection.
//
//   0xE6  u8 0, PString URL, u32 mode, u32 0xFFFFFFFF, soup (ignored)
//         -> u64 handle (all ones, and nothing more, when refused), status
//   0xE7  (one-way) u64 handle: forget the request
//   0xE8  u64 handle -> status
//   note 4  u64 handle, status: sent once the request is done
//   0x4A  u32 n, n x {KUID requires, KUID latest-version, u32 size}
//         -> u32 k, k x u32 item numbers
//
// Status record: u8 done, u32 second word, u32 result, u32 third word,
// string result path, PString name (empty unless the fixture asks for a
// file inside the archive, WebFixtures::StatusOf).
//
// A request starts not done; right after the 0xE6 reply the daemon looks
// the URL up and copies the fixture file to
// "<UserData>/cache/web/<handle>.txt" (mode 2, a query: the file is a text
// soup) or ".cdp" (mode 0, a download: the file is an archive), then sends
// notification 4 with the final status. So every request reaches done,
// at once and without a network. Final status: result 0, second word 200,
// third word the file's size, result path the copy; or, for a URL that no
// fixture serves, result and second word 404; for another mode, 400; when
// the copy fails, 500; the path is then empty. A poll of an unknown handle
// answers done with result 404. A fixture that asks for it (pending) leaves
// its request not done for good: no notification, and polls answer the
// start's status.
//
// The online web login ("vologin:" URLs, mode 2) is served from the
// settings instead: the value "internet"/"weblogin" is the credential it
// obtains; it is stored as "internet"/"password" and the request ends with
// result 0 (second word 200, no file). Without that value it ends with
// result 3, a refused login.
//
// Requests belong to their connection: 0xE7 from another connection is
// ignored, and a connection that closes forgets its requests. Forgetting a
// request removes its copy; start-up removes the copies a daemon that was
// killed left behind. At most kMaxRequests requests live at once;
// beyond that 0xE6 answers the handle all ones.
//
// 0x4A: an item is needed when its "latest-version" KUID is valid and that
// asset is not installed locally. The item count is bounded by the bytes of
// the body.
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

#include "assetdb/protocol/VADNotification.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "kiv/DynamicBuffer.h"
#include "kiv/Log.h"
#include "kiv/String.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonModule.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/RequestRegistry.h"
#include "vaddaemon/SettingsStore.h"
#include "vaddaemon/WebFixtures.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kNoHandle = ~uint64_t(0);
constexpr uint32_t kModeDownload = 0;
constexpr uint32_t kModeQuery = 2;
constexpr size_t kMaxRequests = 4096;
constexpr uint32_t kItemBytes = 20;

struct WebStatus {
  bool done = false;
  uint32_t second = 0;
  uint32_t result = 0;
  uint32_t third = 0;
  std::string path;
  std::string name;
};

void WriteStatus(TStream& out, const WebStatus& status) {
  TStreamWriteU8(out, status.done ? 1 : 0);
  TStreamWriteU32(out, status.second);
  TStreamWriteU32(out, status.result);
  TStreamWriteU32(out, status.third);
  out.WriteString(status.path);
  out.WritePString(Kiv::PString(status.name));
}

WebStatus Ended(uint32_t code) {
  WebStatus status;
  status.done = true;
  status.second = code;
  status.result = code;
  return status;
}

// The daemon's web requests.
class WebRequests {
 public:
  explicit WebRequests(DaemonContext& context) : context_(context) {}

  // A new request, or kNoHandle when too many live.
  uint64_t Add(const DaemonConnection* owner) {
    std::lock_guard<std::mutex> hold(lock_);
    if (requests_.size() >= kMaxRequests) return kNoHandle;
    const uint64_t handle = next_++;
    requests_[handle].owner = owner;
    return handle;
  }

  // Serves the request; answers its final status (also stored).
  WebStatus Serve(uint64_t handle, const std::string& url, uint32_t mode) {
    WebStatus status = Fetch(handle, url, mode);
    std::lock_guard<std::mutex> hold(lock_);
    const auto found = requests_.find(handle);
    if (found == requests_.end()) {
      // Forgotten meanwhile: the copy has no owner.
      RemoveFile(status.path);
      return status;
    }
    found->second.status = status;
    return status;
  }

  WebStatus Status(uint64_t handle) {
    std::lock_guard<std::mutex> hold(lock_);
    const auto found = requests_.find(handle);
    return found == requests_.end() ? Ended(404) : found->second.status;
  }

  void Forget(const DaemonConnection* owner, uint64_t handle) {
    std::lock_guard<std::mutex> hold(lock_);
    const auto found = requests_.find(handle);
    if (found == requests_.end() || found->second.owner != owner) return;
    RemoveFile(found->second.status.path);
    requests_.erase(found);
  }

  void ForgetAll(const DaemonConnection* owner) {
    std::lock_guard<std::mutex> hold(lock_);
    for (auto it = requests_.begin(); it != requests_.end();) {
      if (it->second.owner != owner) {
        ++it;
        continue;
      }
      RemoveFile(it->second.status.path);
      it = requests_.erase(it);
    }
  }

 private:
  struct Entry {
    const DaemonConnection* owner = nullptr;
    WebStatus status;
  };

  static void RemoveFile(const std::string& path) {
    if (path.empty()) return;
    std::error_code ignored;
    fs::remove(path, ignored);
  }

  WebStatus Fetch(uint64_t handle, const std::string& url, uint32_t mode) {
    if (mode != kModeQuery && mode != kModeDownload) return Ended(400);
    if (IsWebLogin(url)) return WebLogin(mode);
    const std::string source = WebFixtures::Lookup(WebFixtures::Folder(), url);
    if (source.empty()) {
      Kiv::Log::Printf("vaddaemon> web request %llu: no fixture serves '%s'\n",
                       static_cast<unsigned long long>(handle), url.c_str());
      return Ended(404);
    }
    const WebFixtures::FixtureStatus asked = WebFixtures::StatusOf(source);
    if (asked.pending) return WebStatus();
    const fs::path folder = fs::path(context_.UserDataPath().Str()) / "cache" / "web";
    const fs::path target =
        folder / (std::to_string(handle) + (mode == kModeQuery ? ".txt" : ".cdp"));
    std::error_code failure;
    fs::create_directories(folder, failure);
    if (!failure) fs::copy_file(source, target, fs::copy_options::overwrite_existing, failure);
    uintmax_t size = 0;
    if (!failure) size = fs::file_size(target, failure);
    if (failure) {
      RemoveFile(target.string());
      return Ended(500);
    }
    WebStatus status;
    status.done = true;
    status.second = 200;
    status.result = 0;
    status.third = size > UINT32_MAX ? UINT32_MAX : uint32_t(size);
    status.path = target.string();
    status.name = asked.name;
    return status;
  }

  static bool IsWebLogin(const std::string& url) {
    return url.size() >= 8 && Kiv::EqualsIgnoreCase(std::string_view(url).substr(0, 8), "vologin:");
  }

  // The online web login: the credential it obtains is the settings value
  // "internet"/"weblogin"; it becomes the stored "password" and the login
  // ends with result 0. Without one the login is refused: result 3.
  WebStatus WebLogin(uint32_t mode) {
    if (mode != kModeQuery) return Ended(400);
    auto settings = context_.Find<SettingsStore>();
    const std::string credential = settings ? settings->ReadValue("internet", "weblogin") : "";
    if (credential.empty() || !settings->WriteValue("internet", "password", credential)) {
      return Ended(3);
    }
    WebStatus status;
    status.done = true;
    status.second = 200;
    return status;
  }

  DaemonContext& context_;
  std::mutex lock_;
  uint64_t next_ = 1;
  std::map<uint64_t, Entry> requests_;
};

void HandleStart(DaemonRequest& request) {
  TStream& body = request.Body();
  uint8_t first = 0;
  if (TStreamReadBytes(body, &first, 1) != 1) body.SetError(TStream::kErrorShortRead);
  Kiv::PString url;
  body.ReadPString(url);
  uint32_t mode = 0;
  uint32_t reserved = 0;
  TStreamReadU32(body, mode, 0);
  TStreamReadU32(body, reserved, 0);
  auto requests = request.Context().Find<WebRequests>();
  if (body.GetError() != TStream::kErrorNone || !requests) {
    TStreamWriteU64(request.Reply(), kNoHandle);
    return;
  }
  const uint64_t handle = requests->Add(&request.Connection());
  TStreamWriteU64(request.Reply(), handle);
  if (handle == kNoHandle) return;
  WriteStatus(request.Reply(), WebStatus());
  const std::string text = url.Str();
  std::shared_ptr<DaemonConnection> connection = request.SharedConnection();
  request.AfterReply([requests, connection, handle, text, mode]() {
    const WebStatus status = requests->Serve(handle, text, mode);
    if (!status.done) return;
    Kiv::DynamicBuffer data;
    TBuffer note(&data);
    TStreamWriteU64(note, handle);
    WriteStatus(note, status);
    connection->SendNote(VADNotification::kCodeHttpStatus, data.Data(), data.DataLength());
  });
}

void HandlePoll(DaemonRequest& request) {
  uint64_t handle = kNoHandle;
  TStreamReadU64(request.Body(), handle, kNoHandle);
  auto requests = request.Context().Find<WebRequests>();
  WriteStatus(request.Reply(), requests ? requests->Status(handle) : Ended(404));
}

void HandleForget(DaemonRequest& request) {
  uint64_t handle = kNoHandle;
  TStreamReadU64(request.Body(), handle, kNoHandle);
  if (auto requests = request.Context().Find<WebRequests>())
    requests->Forget(&request.Connection(), handle);
}

void HandleNeededItems(DaemonRequest& request) {
  TStream& body = request.Body();
  uint32_t count = 0;
  TStreamReadU32(body, count, 0);
  const uint32_t fit = request.BodyRemaining() / kItemBytes;
  if (count > fit) count = fit;
  auto store = request.Context().Find<AssetStore>();
  std::vector<uint32_t> needed;
  for (uint32_t i = 0; i < count; ++i) {
    ReadKUID(body);  // "requires": the latest version decides.
    const KUID latest = ReadKUID(body);
    uint32_t size = 0;
    TStreamReadU32(body, size, 0);
    if (latest.IsNull()) continue;
    StoredAsset asset;
    if (store && store->Find(latest, &asset) && asset.Installed()) continue;
    needed.push_back(i);
  }
  TStreamWriteU32(request.Reply(), uint32_t(needed.size()));
  for (uint32_t item : needed) TStreamWriteU32(request.Reply(), item);
}

bool Start(DaemonContext& context) {
  // Copies left by a daemon that ended without forgetting its requests.
  std::error_code ignored;
  fs::remove_all(fs::path(context.UserDataPath().Str()) / "cache" / "web", ignored);
  auto requests = std::make_shared<WebRequests>(context);
  context.Provide<WebRequests>(requests);
  context.AddCloseObserver([requests](const std::shared_ptr<DaemonConnection>& connection) {
    requests->ForgetAll(connection.get());
  });
  return true;
}

void Register(RequestRegistry& registry, DaemonContext& /*context*/) {
  registry.Register(VADRequestCode::kStartWebRequest, &HandleStart);
  registry.Register(VADRequestCode::kForgetWebRequest, &HandleForget);
  registry.Register(VADRequestCode::kPollWebRequest, &HandlePoll);
  registry.Register(VADRequestCode::kNeededItems, &HandleNeededItems);
}

}  // namespace

VAD_DAEMON_MODULE(DaemonModule{.name = "web",
                               .order = DaemonModule::kOrderInstall,
                               .start = &Start,
                               .registerHandlers = &Register,
                               .stop = nullptr});
