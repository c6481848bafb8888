// Requests of command hosts and the validate request that uses them.
//
//   0x8C  (one-way) empty: the connection becomes a command host
//   0x8D  (one-way) the reply of the host's outstanding job
//   0x26  PString content set name, string asset folder -> u8 valid
//
// 0x26 runs job 0 (u32 0, string content set name, string folder path) on a
// command host when one is registered or can be started (CommandHostBroker.
// h). The host's reply is a message batch followed by u8 result: the batch
// goes to the tool unchanged as code 3 for its request, then the reply
// carries the result, both sent by the thread that receives the host's
// reply. When a host has room as the request is read, the connection's
// reader sends the job at once and takes the request (a reader start): no
// worker waits for it. Its end answers the tool where it is found (the
// host's answer, the host closing, the job's bound); only a job whose host
// closed before starting it goes to a worker, which sends it on as the
// handler does. A folder of the store whose asset was removed since the
// tool was given it is not sent to a host: the asset is not installed, and
// the error "The asset is not installed locally." (as a handle on it would
// answer, 0x1E) and 0 say so. Without a host the daemon cannot validate: it
// sends the error "Validation is not available: no command host is
// running." and replies 0. A failed job or a damaged job reply gives an
// error message and 0, except while the daemon closes: then a validation
// not yet answered gets no answer, and its connection closes with the
// daemon.
#include <exception>
#include <filesystem>
#include <mutex>
#include <string>

#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/base/LogMessage.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "kiv/DynamicBuffer.h"
#include "vaddaemon/AssetFolderNames.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/CommandHostBroker.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonModule.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/RequestRegistry.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kJobValidate = 0;

std::vector<uint8_t> BodyBytes(DaemonRequest& request) {
  std::vector<uint8_t> bytes(request.BodyRemaining());
  if (!bytes.empty())
    bytes.resize(TStreamReadBytes(request.Body(), bytes.data(), uint32_t(bytes.size())));
  return bytes;
}

// Finds the batch at the start of `reply` (its length in `batchLength`)
// and the byte that follows it; false when the reply does not hold a whole
// batch and the byte.
bool ReadBatchAndResult(const std::vector<uint8_t>& reply, uint32_t* batchLength, uint8_t* result) {
  Kiv::DynamicBuffer data;
  if (!reply.empty() && data.Write(reply.data(), uint32_t(reply.size())) != reply.size())
    return false;
  data.SetPosition(0);
  TBuffer stream(&data);
  ResultsLog scratch;
  if (!scratch.ReadMessages(stream)) return false;
  *batchLength = stream.Tell();
  return TStreamReadBytes(stream, result, 1) == 1;
}

// The asset a validation job reads, held for reading from the moment its
// folder is chosen until the job has ended (see AssetStore::
// HoldFolderForReading), so the host reads one whole copy of it. Released
// by whichever end of the job comes first, from any thread; the store is
// kept until then.
class JobReadHold {
 public:
  void Take(std::shared_ptr<AssetStore> store, AssetStore::ReadHold hold) {
    std::lock_guard<std::mutex> lock(mutex_);
    hold_ = std::move(hold);
    store_ = std::move(store);
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    hold_.Release();
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<AssetStore> store_;  // declared before the hold: outlives it
  AssetStore::ReadHold hold_;
};

enum class PayloadMade { kMade, kDamaged, kBusy, kGone };

// The job payload of a validate request. A folder of the asset store is
// held for reading into `hold` and may be replaced by the asset's current
// copy, whose content location then goes with it (an edit copy committed
// meanwhile is read as the installed copy it became); kBusy, without
// `wait`, when that asset is busy (nothing is held); kGone when it was
// removed since the tool was given the folder (`*gone` is the asset).
PayloadMade ValidateJobPayload(DaemonRequest& request, bool wait, JobReadHold& hold,
                               std::vector<uint8_t>* payload, KUID* gone = nullptr) {
  Kiv::PString contentSet;
  Kiv::String folder;
  request.Body().ReadPString(contentSet);
  request.Body().ReadString(folder);
  if (request.Body().GetError() != TStream::kErrorNone) return PayloadMade::kDamaged;
  std::string read = folder;
  std::string location = contentSet.Str();
  if (auto store = request.Context().Find<AssetStore>()) {
    AssetStore::ReadHold held;
    if (!store->HoldFolderForReading(folder, wait, &held, &read, &location))
      return PayloadMade::kBusy;
    if (read.empty()) {
      const fs::path given = fs::path(folder).lexically_normal();
      const fs::path named = given.filename().empty() ? given.parent_path() : given;
      if (gone) *gone = AssetOfFolderName(named.filename().string());
      return PayloadMade::kGone;
    }
    hold.Take(store, std::move(held));
  }
  Kiv::DynamicBuffer data;
  TBuffer job(&data);
  TStreamWriteU32(job, kJobValidate);
  job.WriteString(location);
  job.WriteString(read);
  payload->assign(data.Data(), data.Data() + data.DataLength());
  return PayloadMade::kMade;
}

// Answers the tool from the host's reply: the host's batch unchanged, then
// the result byte.
void AnswerFromHost(DaemonRequest& request, const std::vector<uint8_t>& reply) {
  uint8_t result = 0;
  uint32_t batchLength = 0;
  if (!ReadBatchAndResult(reply, &batchLength, &result)) {
    request.SendMessage(ResultsLog::kError,
                        "Validation failed: the command host's reply is damaged.");
    TStreamWriteU8(request.Reply(), 0);
    request.SendReply();
    return;
  }
  TStreamWriteU8(request.Reply(), result != 0 ? 1 : 0);
  request.SendMessageBatchAndReply(reply.data(), batchLength);
}

// A closing daemon answers no validation that it has not finished (a job
// given up for the exit, or whose host closed with the daemon): the
// server closes the tool's connection once the exit is asked for, so the
// tool sees its daemon gone, as after a kill, and a batch runs the line
// again with the next daemon, where a failure answer would say nothing
// about the asset. True, with the reply held back, when the daemon is
// closing.
bool LeftForTheNextDaemon(DaemonContext& context, DaemonRequest* request) {
  if (!context.ExitRequested()) return false;
  if (request != nullptr) request->MarkReplySent();
  return true;
}

// Answers a validation that failed: the reason, then result 0.
void AnswerFailure(DaemonRequest& request, const std::string& reason) {
  request.SendMessage(ResultsLog::kError, "Validation failed: " + reason);
  TStreamWriteU8(request.Reply(), 0);
}

// The job of a validate request that the connection's reader sent at once
// (StartValidate), for the request's handler to see through when it goes to
// a worker after all.
struct StartedValidation {
  std::shared_ptr<CommandHostBroker::SentJob> sent;
  std::shared_ptr<JobReadHold> hold;
};

// On the reader: sends the job to a host with room, when one has it now,
// and takes the request. The host's reply answers the tool from the thread
// that receives it, with a request of its own; so does a failure.
bool StartValidate(DaemonRequest& request, const std::shared_ptr<RequestHandoff>& handoff) {
  auto broker = request.Context().Find<CommandHostBroker>();
  if (request.IsOneWay() || !broker) return false;
  // The reader never waits for an asset: a busy one goes to a worker.
  auto hold = std::make_shared<JobReadHold>();
  std::vector<uint8_t> payload;
  if (ValidateJobPayload(request, false, *hold, &payload) != PayloadMade::kMade) return false;
  auto connection = request.SharedConnection();
  DaemonContext* context = &request.Context();
  const uint32_t code = request.Code();
  const uint32_t id = request.Id();
  auto answer = [connection, context, code, id, hold](const std::vector<uint8_t>& reply) {
    hold->Release();
    DaemonRequest answering(code, id, {}, connection, *context);
    AnswerFromHost(answering, reply);
  };
  // Made before the job leaves: once it has, the request must be taken.
  auto started = std::make_shared<StartedValidation>();
  started->hold = hold;
  auto sent = broker->TrySend(payload, answer);
  if (!sent) return false;
  try {
    CommandHostBroker::JobEnd end;
    end.ended = [connection, context, code, id, handoff,
                 hold](CommandHostBroker::JobResult result) {
      hold->Release();
      if (result != CommandHostBroker::JobResult::kOk && !LeftForTheNextDaemon(*context, nullptr)) {
        try {
          DaemonRequest failing(code, id, {}, connection, *context);
          AnswerFailure(failing, CommandHostBroker::Describe(result));
          failing.SendReply();
          // The thread may be the tool's reader, about to hand a resent job
          // to a worker and wait for one: the failure must not wait with it.
          connection->Flush();
        } catch (const std::exception& error) {
          LogMessage("vaddaemon> request 0x%X failed: %s", code, error.what());
        }
      }
      handoff->Done();
    };
    end.resend = [handoff, hold](const std::shared_ptr<CommandHostBroker::SentJob>& again) {
      auto resent = std::make_shared<StartedValidation>();
      resent->sent = again;
      resent->hold = hold;
      handoff->ToWorker(std::move(resent));
    };
    if (broker->Detach(sent, std::move(end))) return true;
  } catch (const std::exception&) {
    // No memory to leave the job by itself: a worker waits for it.
  }
  started->sent = std::move(sent);
  handoff->ToWorker(std::move(started));
  return true;
}

void HandleValidate(DaemonRequest& request) {
  auto broker = request.Context().Find<CommandHostBroker>();
  std::string error;
  if (auto started = request.ReaderStart<StartedValidation>(); started && broker) {
    // Sent by the reader, which also made the answer; here when its host
    // closed before starting it (it is sent on) or nothing could bound it.
    const CommandHostBroker::JobResult result = broker->Finish(started->sent, nullptr, &error);
    if (started->hold) started->hold->Release();
    if (result == CommandHostBroker::JobResult::kOk) {
      request.MarkReplySent();
      return;
    }
    if (!LeftForTheNextDaemon(request.Context(), &request)) AnswerFailure(request, error);
    return;
  }
  JobReadHold hold;
  std::vector<uint8_t> payload;
  KUID gone;
  const PayloadMade made = ValidateJobPayload(request, true, hold, &payload, &gone);
  if (made == PayloadMade::kGone) {
    // The answer of a handle on an asset that is not there (0x1E).
    request.SendMessage(ResultsLog::kError, "The asset is not installed locally.", &gone);
  } else if (made != PayloadMade::kMade) {
    request.SendMessage(ResultsLog::kError, "The validate request is damaged.");
  } else if (LeftForTheNextDaemon(request.Context(), &request)) {
    return;
  } else if (!broker || !broker->HostAvailable()) {
    request.SendMessage(ResultsLog::kError,
                        "Validation is not available: no command host is running.");
  } else {
    // The tool is answered on the thread that receives the host's reply,
    // without waiting for this worker to wake.
    auto answer = [&request, &hold](const std::vector<uint8_t>& reply) {
      hold.Release();
      AnswerFromHost(request, reply);
    };
    if (broker->RunJob(payload, nullptr, &error, answer) == CommandHostBroker::JobResult::kOk)
      return;
    if (!LeftForTheNextDaemon(request.Context(), &request)) AnswerFailure(request, error);
    return;
  }
  TStreamWriteU8(request.Reply(), 0);
}

void HandleRegisterHost(DaemonRequest& request) {
  if (auto broker = request.Context().Find<CommandHostBroker>())
    broker->Register(request.SharedConnection());
}

void HandleJobReply(DaemonRequest& request) {
  if (auto broker = request.Context().Find<CommandHostBroker>()) {
    broker->Complete(request.Connection(), BodyBytes(request));
  }
}

bool Start(DaemonContext& context) {
  auto broker = std::make_shared<CommandHostBroker>(context);
  context.Provide<CommandHostBroker>(broker);
  context.AddCloseObserver([broker](const std::shared_ptr<DaemonConnection>& connection) {
    broker->OnClosed(connection);
  });
  return true;
}

void Register(RequestRegistry& registry, DaemonContext& /*context*/) {
  registry.Register(VADRequestCode::kValidate, &HandleValidate);
  registry.RegisterReaderStart(VADRequestCode::kValidate, &StartValidate);
  registry.Register(VADRequestCode::kRegisterCommandHost, &HandleRegisterHost);
  registry.Register(VADRequestCode::kCommandHostReply, &HandleJobReply);
}

}  // namespace

VAD_DAEMON_MODULE(DaemonModule{.name = "commandhost",
                               .order = DaemonModule::kOrderInstall,
                               .start = &Start,
                               .registerHandlers = &Register,
                               .stop = nullptr});
