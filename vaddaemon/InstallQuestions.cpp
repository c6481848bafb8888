#include "vaddaemon/InstallQuestions.h"

#include <chrono>

#include "assetdb/protocol/VADNotification.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "kiv/DynamicBuffer.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonRequest.h"

int32_t InstallQuestions::Ask(DaemonRequest& request, std::string_view name, const KUID& kuid) {
  if (request.IsOneWay()) return kNoAnswer;
  const Key key(&request.Connection(), request.Id());
  {
    std::lock_guard<std::mutex> hold(lock_);
    pending_[key] = Pending();
  }
  Kiv::DynamicBuffer data;
  TBuffer payload(&data);
  TStreamWriteU32(payload, request.Id());
  payload.WritePString(Kiv::PString(name));
  WriteKUID(payload, kuid);
  const std::vector<uint8_t> bytes(data.Data(), data.Data() + data.DataLength());
  const bool sent = request.SendNote(VADNotification::kCodeQuestion, bytes);

  std::unique_lock<std::mutex> hold(lock_);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
  Pending* pending = &pending_[key];
  while (sent && !pending->answered && !request.Connection().IsClosed() &&
         !context_.WorkAbandoned() && std::chrono::steady_clock::now() < deadline) {
    // Short waits, so the end of the daemon's work is seen soon (it does
    // not signal this condition).
    changed_.wait_for(hold, std::chrono::milliseconds(200));
    pending = &pending_[key];
  }
  const int32_t answer = pending->answered ? pending->answer : kNoAnswer;
  pending_.erase(key);
  return answer;
}

void InstallQuestions::Answer(const DaemonConnection& connection, uint32_t id, int32_t answer) {
  std::lock_guard<std::mutex> hold(lock_);
  const auto found = pending_.find(Key(&connection, id));
  if (found == pending_.end()) return;
  found->second.answered = true;
  found->second.answer = answer;
  changed_.notify_all();
}

void InstallQuestions::OnClosed(const std::shared_ptr<DaemonConnection>& /*connection*/) {
  std::lock_guard<std::mutex> hold(lock_);
  changed_.notify_all();
}
