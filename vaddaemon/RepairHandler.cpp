// The asset-database repair requests (see RepairJob.h for the repair):
//   0x03  u32 mode -> nothing. Starts a repair whose messages go to this
//         connection as code-3 notifications under this request's id (the
//         client keeps its log registered). While a repair runs, nothing is
//         started and one error message says so.
//   0x04  -> u8 running (1 while the repair runs, 0 once it has ended or
//         when none was started), f32 progress 0..1, string status text.
//         A quick lookup, served on the reader: also while the daemon
//         ends, so that the tool of a repair in hand follows it to its end.
//   0x100 one-way: starts a "patcher" repair (mode 50); its messages go to
//         the daemon's log, since no client waits for them. An ending
//         daemon starts none.
// A running repair is work in hand (DaemonContext::AddWorkInHand): an end
// of the daemon finishes it, and gives it up with the rest of the work.
// Given up, a repair begun by 0x03 stays work in hand until its tool has
// read its end (a 0x04 on its connection answered 0) or gone, so that an
// end which finishes nothing (UserData removed) still lets its last
// message and its end reach the tool. The repair is given up also once
// the daemon's UserData is no longer its own (UserDataWatch.h), which
// ends the daemon.
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADNotification.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/base/LogMessage.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/QueryHandlerSupport.h"
#include "vaddaemon/QueryHandlers.h"
#include "vaddaemon/RepairJob.h"
#include "vaddaemon/RequestRegistry.h"
#include "vaddaemon/UserDataWatch.h"

namespace {

constexpr uint32_t kPatcherMode = 50;

// The connection of the tool that follows the repair (above), until that
// tool has read the end.
class FollowingTool {
 public:
  void Follow(std::shared_ptr<DaemonConnection> connection) {
    std::lock_guard<std::mutex> hold(lock_);
    connection_ = std::move(connection);
  }
  void ReadTheEnd(const DaemonConnection& reader) {
    std::lock_guard<std::mutex> hold(lock_);
    if (connection_.get() == &reader) connection_.reset();
  }
  bool Waits() const {
    std::lock_guard<std::mutex> hold(lock_);
    return connection_ && !connection_->PeerClosed();
  }

 private:
  mutable std::mutex lock_;
  std::shared_ptr<DaemonConnection> connection_;
};

bool RepairGivenUp(const DaemonContext& context) {
  if (context.WorkAbandoned()) return true;
  const std::shared_ptr<UserDataWatch> watch = context.Find<UserDataWatch>();
  return watch && !watch->UserDataStillOwn();
}

// Sends one message as a code-3 notification for request `id`.
void SendResult(DaemonConnection& connection, uint32_t id, uint32_t severity,
                const std::string& text, const KUID* subject) {
  ResultsLog log;
  log.AddResult(severity, subject != nullptr ? AssetSubject(*subject) : PropertyRef(), text);
  TBuffer payload;
  TStreamWriteU32(payload, id);
  log.WriteMessages(payload, 0);
  const Kiv::DynamicBuffer* data = payload.GetData();
  if (payload.GetError() == TStream::kErrorNone)
    connection.SendNote(VADNotification::kCodeResults, data->Data(), data->DataLength());
}

// Messages of a repair no client waits for go to the daemon's log.
RepairJob::Reporter LogReporter() {
  return [](uint32_t, const std::string& text, const KUID*) {
    LogMessage("vaddaemon> repair: %s", text.c_str());
  };
}

void StartRepair(RepairJob& job, FollowingTool& tool, DaemonRequest& request) {
  uint32_t mode = 0;
  ReadBodyU32(request, &mode);
  RepairJob::Reporter reporter;
  if (request.IsOneWay()) {
    reporter = LogReporter();
  } else {
    std::shared_ptr<DaemonConnection> connection = request.SharedConnection();
    const uint32_t id = request.Id();
    reporter = [connection, id](uint32_t severity, const std::string& text, const KUID* subject) {
      SendResult(*connection, id, severity, text, subject);
    };
  }
  if (job.Start(FindAssetStore(request), mode, reporter)) {
    if (!request.IsOneWay()) tool.Follow(request.SharedConnection());
    return;
  }
  request.SendMessage(
      ResultsLog::kError,
      "A repair of the asset database is already running, or there is no database.");
}

void Poll(RepairJob& job, const std::shared_ptr<FollowingTool>& tool, DaemonRequest& request) {
  const RepairJob::Progress progress = job.Poll();
  TStreamWriteU8(request.Reply(), progress.running ? 1 : 0);
  TStreamWriteFloat(request.Reply(), progress.progress);
  WriteReplyText(request.Reply(), progress.status);
  if (progress.running) return;
  // The reader holds its replies until it reads again: this one leaves
  // first, so that nothing closes the connection before it is out.
  request.AfterReply([tool, connection = request.SharedConnection()] {
    connection->Flush();
    tool->ReadTheEnd(*connection);
  });
}

}  // namespace

void RegisterRepairHandlers(RequestRegistry& registry, DaemonContext& context) {
  std::shared_ptr<RepairJob> job = context.Find<RepairJob>();
  if (!job) {
    job = std::make_shared<RepairJob>(RepairJob::StepDelayFromEnvironment(),
                                      [&context] { return RepairGivenUp(context); });
    context.Provide(job);
  }
  auto tool = std::make_shared<FollowingTool>();
  context.AddWorkInHand([job, tool, &context] {
    return job->Poll().running || (context.WorkAbandoned() && tool->Waits());
  });
  registry.Register(VADRequestCode::kStartRepair,
                    [job, tool](DaemonRequest& request) { StartRepair(*job, *tool, request); });
  registry.Register(
      VADRequestCode::kPollRepair,
      [job, tool](DaemonRequest& request) { Poll(*job, tool, request); }, RequestRegistry::Always);
  registry.Register(VADRequestCode::kRepairDatabase, [job](DaemonRequest& request) {
    if (request.Context().ExitRequested()) {
      LogMessage("vaddaemon> repair not started: the daemon is ending");
      return;
    }
    if (!job->Start(FindAssetStore(request), kPatcherMode, LogReporter()))
      LogMessage("vaddaemon> repair not started: one is already running, or there is no database");
  });
}
