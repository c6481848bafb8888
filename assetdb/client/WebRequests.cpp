#include "assetdb/client/WebRequests.h"

#include <atomic>
#include <map>

#include "assetdb/client/VADClient.h"
#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "kiv/CriticalSection.h"
#include "kiv/Time.h"

namespace {

std::atomic<uint64_t> timeoutMs{DaemonHttpRequest::kDefaultTimeoutMs};

Kiv::CriticalSection& RegistryLock() {
  static Kiv::CriticalSection* lock = new Kiv::CriticalSection;  // Lives to the end of the process.
  return *lock;
}

std::map<uint64_t, DaemonHttpRequest*>& Registry() {
  static auto* registry = new std::map<uint64_t, DaemonHttpRequest*>;
  return *registry;
}

}  // namespace

DaemonHttpRequest::DaemonHttpRequest(uint64_t handle, const UrlRecord& url)
    : handle_(handle), url_(url), startMs_(Kiv::Time::Ms()) {}

DaemonHttpRequest* DaemonHttpRequest::Start(const UrlRecord& url, uint32_t mode) {
  VADClient::SetHttpStatusHook(&DaemonHttpRequest::DispatchStatus);
  VADRequest request;
  TStreamWriteU8(request.Body(), 0);
  request.Body().WritePString(BuildUrl(url));
  TStreamWriteU32(request.Body(), mode);
  TStreamWriteU32(request.Body(), 0xFFFFFFFFu);
  BinarySoup::Write(request.Body(), Soup());
  uint64_t handle = kNoHandle;
  if (request.Transact(VADRequestCode::kStartWebRequest))
    TStreamReadU64(request.Reply(), handle, kNoHandle);
  auto* started = new DaemonHttpRequest(handle, url);
  if (handle == kNoHandle) {
    Kiv::SingleLock guard(RegistryLock());
    started->EndLocally(kResultNoDaemon);
    return started;
  }
  {
    Kiv::SingleLock guard(RegistryLock());
    Registry()[handle] = started;
    started->registered_ = true;
  }
  ApplyStatus(request.Reply(), *started);
  return started;
}

void DaemonHttpRequest::Delete(DaemonHttpRequest* request) {
  if (!request) return;
  request->Close();
  delete request;
}

void DaemonHttpRequest::DispatchStatus(uint64_t handle, TStream& stream) {
  Kiv::SingleLock guard(RegistryLock());
  const auto found = Registry().find(handle);
  if (found == Registry().end()) return;
  ApplyStatus(stream, *found->second);
}

DaemonHttpStatus DaemonHttpRequest::ReadStatus(TStream& stream) {
  DaemonHttpStatus status;
  TStreamReadBool(stream, status.done, true);
  TStreamReadU32(stream, status.second, 0);
  TStreamReadU32(stream, status.result, 0);
  TStreamReadU32(stream, status.third, 0);
  stream.ReadString(status.resultPath);
  stream.ReadPString(status.name);
  return status;
}

void DaemonHttpRequest::ApplyStatus(TStream& stream, DaemonHttpRequest& request) {
  DaemonHttpStatus status = ReadStatus(stream);
  Kiv::SingleLock guard(RegistryLock());
  request.statusReceived_ = true;
  // A reply read on the requesting thread can be overtaken by the final
  // status that the reader thread pushes; it must not take that back.
  if (request.status_.done && !status.done) return;
  request.status_ = std::move(status);
}

void DaemonHttpRequest::EndLocally(uint32_t result) {
  status_ = DaemonHttpStatus();
  status_.done = true;
  status_.result = result;
  statusReceived_ = true;
}

bool DaemonHttpRequest::TimedOut() const {
  return Kiv::Time::Ms() - startMs_ >= timeoutMs.load();
}

void DaemonHttpRequest::Poll(DaemonHttpStatus& out) {
  {
    Kiv::SingleLock guard(RegistryLock());
    if (!status_.done && TimedOut()) EndLocally(kResultTimedOut);
    if (status_.done) {
      out = status_;
      return;
    }
  }
  VADRequest request;
  TStreamWriteU64(request.Body(), handle_);
  const bool answered = request.Transact(VADRequestCode::kPollWebRequest);
  Kiv::SingleLock guard(RegistryLock());
  if (answered) {
    ApplyStatus(request.Reply(), *this);
  } else if (!status_.done) {
    EndLocally(kResultNoDaemon);
  }
  out = status_;
}

uint32_t DaemonHttpRequest::GetResult() {
  DaemonHttpStatus status;
  Poll(status);
  return status.result;
}

bool DaemonHttpRequest::GetResultPath(Kiv::String& path, Kiv::PString& name) {
  DaemonHttpStatus status;
  Poll(status);
  path = status.resultPath;
  name = status.name;
  return !path.empty();
}

bool DaemonHttpRequest::IsDone() {
  DaemonHttpStatus status;
  Poll(status);
  return status.done;
}

void DaemonHttpRequest::Close() {
  if (handle_ != kNoHandle) {
    VADRequest request;
    TStreamWriteU64(request.Body(), handle_);
    request.Post(VADRequestCode::kForgetWebRequest);
  }
  Kiv::SingleLock guard(RegistryLock());
  if (registered_) {
    const auto found = Registry().find(handle_);
    if (found != Registry().end() && found->second == this) Registry().erase(found);
    registered_ = false;
  }
  status_.name.Release();
}

bool DaemonHttpRequest::StatusReceived() const {
  Kiv::SingleLock guard(RegistryLock());
  return statusReceived_;
}

void DaemonHttpRequest::SetTimeoutForTests(uint64_t ms) {
  timeoutMs.store(ms);
}

uint32_t DaemonHttpRequest::RegisteredCount() {
  Kiv::SingleLock guard(RegistryLock());
  return static_cast<uint32_t>(Registry().size());
}
