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
// handler does. Without a host the daemon cannot validate: it sends
// the error "Validation is not available: no command host is running." and
// replies 0. A failed job or a damaged job reply gives an error message and
// 0, except once a closing daemon has given up its work (DaemonServer.h):
// then a validation not yet answered gets no answer, and its connection
// closes with the daemon. One in flight as the daemon is asked to end is
// still answered as usual until then.
//
// Each validate request is answered within its bound (ValidationBound) and
// a grace of kAnswerGrace from when the daemon takes it up, however long
// it waits for a host: a job not answered by then is given up and the tool
// gets the finding a host gives a validation stopped at its bound. A job
// on a folder of the asset store holds that asset only while a host runs
// it (JobOptionsFor). A folder of the store whose asset was removed since
// the tool was given it is found so when the job starts: the host's answer
// is replaced by the error "The asset is not installed locally." (as a
// handle on it would answer, 0x1E) and 0.
#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <string>

#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "assetdb/protocol/ValidationBound.h"
#include "foundation/base/LogMessage.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "kiv/DynamicBuffer.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/CommandHostBroker.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonModule.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/RequestRegistry.h"
#include "vaddaemon/ValidationHolds.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kJobValidate = 0;
// Beyond its bound, the time a validation is left to its host before the
// daemon answers it: a job that started at once is answered by its host,
// which stops it at its bound and ends.
constexpr std::chrono::milliseconds kAnswerGrace(1000);

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

// A validate request as the daemon takes it up: what it names, when it is
// answered at the latest (its bound from now, and a short grace in which
// the host of a job that started at once answers it itself), and what runs
// it on a host.
struct Validation {
  std::string location;  // the content set name the tool sent
  std::string folder;
  KUID asset;  // the store's asset of `folder`, or null
  std::chrono::milliseconds bound{};
  Clock::time_point limit;  // answered then, whatever the job does
};

// The job payload for `location` and `folder`.
std::vector<uint8_t> JobPayload(const std::string& location, const std::string& folder) {
  Kiv::DynamicBuffer data;
  TBuffer job(&data);
  TStreamWriteU32(job, kJobValidate);
  job.WriteString(location);
  job.WriteString(folder);
  return std::vector<uint8_t>(data.Data(), data.Data() + data.DataLength());
}

// Reads the request; false when its body is damaged.
bool ReadValidation(DaemonRequest& request, Validation* validation) {
  Kiv::PString contentSet;
  Kiv::String folder;
  request.Body().ReadPString(contentSet);
  request.Body().ReadString(folder);
  if (request.Body().GetError() != TStream::kErrorNone) return false;
  validation->location = contentSet.Str();
  validation->folder = folder;
  if (auto store = request.Context().Find<AssetStore>())
    validation->asset = store->AssetOfFolder(validation->folder);
  validation->bound = ValidationBound();
  validation->limit = Clock::now() + validation->bound + kAnswerGrace;
  return true;
}

// The host's reply for a validation of `asset` after the asset was removed:
// the answer of a handle on an asset that is not there (0x1E).
std::vector<uint8_t> NotInstalledReply(const KUID& asset) {
  ResultsLog log;
  log.AddResult(ResultsLog::kError, AssetSubject(asset), "The asset is not installed locally.");
  Kiv::DynamicBuffer data;
  TBuffer batch(&data);
  log.WriteMessages(batch, 0);
  TStreamWriteU8(batch, 0);
  return std::vector<uint8_t>(data.Data(), data.Data() + data.DataLength());
}

// What a job on a folder of the asset store holds while its host runs it.
struct StoreReadHold {
  std::shared_ptr<AssetStore> store;  // declared before the holds: outlives them
  ValidationHolds holds;
};

// The broker's options for the job of `validation`. A folder of the asset
// store is held for reading only once a host starts the job (it starts
// alone, CommandHostBroker.h), with the assets its script include tables
// reach (ValidationHolds.h), and may then be replaced by the asset's
// current copy, whose content location goes with it (an edit copy
// committed meanwhile is read as the installed copy it became); so the host
// reads one whole copy of each, and a job waiting for a host holds nothing.
CommandHostBroker::JobOptions JobOptionsFor(DaemonContext& context, const Validation& validation,
                                            CommandHostBroker::AnswerHandler onAnswer) {
  CommandHostBroker::JobOptions options;
  options.deadline = validation.limit;
  auto store = context.Find<AssetStore>();
  if (!store || validation.asset.IsNull()) {
    options.onAnswer = std::move(onAnswer);
    return options;
  }
  // Set when the job starts on a folder whose asset is gone; the held
  // asset cannot come back before the host has answered.
  auto gone = std::make_shared<std::atomic<bool>>(false);
  options.onAnswer = [gone, asset = validation.asset,
                      onAnswer = std::move(onAnswer)](const std::vector<uint8_t>& reply) {
    onAnswer(*gone ? NotInstalledReply(asset) : reply);
  };
  // The asset that kept the job from starting last; take and await of one
  // job never run at once.
  auto busy = std::make_shared<KUID>(validation.asset);
  options.start.take = [store, validation, gone, busy](std::vector<uint8_t>* payload,
                                                       std::shared_ptr<void>* held) {
    auto hold = std::make_shared<StoreReadHold>();
    hold->store = store;
    ValidationHolds& holds = hold->holds;
    holds.location = validation.location;
    if (!TakeValidationHolds(*store, validation.folder, &holds)) {
      *busy = holds.busy;
      return false;
    }
    *gone = holds.folder.empty();
    *payload = JobPayload(holds.location, holds.folder.empty() ? validation.folder : holds.folder);
    *held = std::move(hold);
    return true;
  };
  options.start.await = [store, busy](Clock::time_point until) {
    store->WaitUntilReadable(*busy, until);
  };
  return options;
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

// A closing daemon answers no validation that it gave up (a job given up
// at the end's bound, or whose host closed then): the server closes the
// tool's connection as it ends, so the tool sees its daemon gone, as after
// a kill, and a batch runs the line again with the next daemon, where a
// failure answer would say nothing about the asset. True, with the reply
// held back, once the daemon has given up its work.
bool LeftForTheNextDaemon(DaemonContext& context, DaemonRequest* request) {
  if (!context.WorkAbandoned()) return false;
  if (request != nullptr) request->MarkReplySent();
  return true;
}

// Answers a validation whose job failed with `result`: at its limit, the
// finding of a validation stopped at its bound, as a host gives it; else
// the reason, then result 0. Sends the reply; nothing while the daemon
// closes (LeftForTheNextDaemon).
void AnswerFailure(DaemonRequest& request, const Validation& validation,
                   CommandHostBroker::JobResult result, const std::string& reason) {
  if (LeftForTheNextDaemon(request.Context(), &request)) return;
  TStreamWriteU8(request.Reply(), 0);
  if (result != CommandHostBroker::JobResult::kTimedOut || Clock::now() < validation.limit) {
    request.SendMessage(ResultsLog::kError, "Validation failed: " + reason);
    request.SendReply();
    return;
  }
  ResultsLog log;
  AddValidationTimeLimit(log, validation.asset, validation.folder, validation.bound,
                         GetInterfaceText("$tet_validation_time_limit"));
  Kiv::DynamicBuffer data;
  TBuffer batch(&data);
  log.WriteMessages(batch, 0);
  request.SendMessageBatchAndReply(data.Data(), data.DataLength());
}

// The job of a validate request that the connection's reader sent at once
// (StartValidate), for the request's handler to see through when it goes to
// a worker after all.
struct StartedValidation {
  std::shared_ptr<CommandHostBroker::SentJob> sent;
  Validation validation;
};

// On the reader: sends the job to a host with room, when one has it now,
// and takes the request. The host's reply answers the tool from the thread
// that receives it, with a request of its own; so does a failure.
bool StartValidate(DaemonRequest& request, const std::shared_ptr<RequestHandoff>& handoff) {
  auto broker = request.Context().Find<CommandHostBroker>();
  if (request.IsOneWay() || !broker) return false;
  auto started = std::make_shared<StartedValidation>();
  if (!ReadValidation(request, &started->validation)) return false;
  auto connection = request.SharedConnection();
  DaemonContext* context = &request.Context();
  const uint32_t code = request.Code();
  const uint32_t id = request.Id();
  auto answer = [connection, context, code, id](const std::vector<uint8_t>& reply) {
    DaemonRequest answering(code, id, {}, connection, *context);
    AnswerFromHost(answering, reply);
  };
  const Validation& validation = started->validation;
  // The reader never waits for an asset: a busy one goes to a worker.
  auto sent = broker->TrySend(JobPayload(validation.location, validation.folder),
                              JobOptionsFor(request.Context(), validation, std::move(answer)));
  if (!sent) return false;
  try {
    CommandHostBroker::JobEnd end;
    end.ended = [connection, context, code, id, handoff,
                 validation](CommandHostBroker::JobResult result) {
      if (result != CommandHostBroker::JobResult::kOk && !LeftForTheNextDaemon(*context, nullptr)) {
        try {
          DaemonRequest failing(code, id, {}, connection, *context);
          AnswerFailure(failing, validation, result, CommandHostBroker::Describe(result));
          // The thread may be the tool's reader, about to hand a resent job
          // to a worker and wait for one: the failure must not wait with it.
          connection->Flush();
        } catch (const std::exception& error) {
          LogMessage("vaddaemon> request 0x%X failed: %s", code, error.what());
        }
      }
      handoff->Done();
    };
    end.resend = [handoff, validation](const std::shared_ptr<CommandHostBroker::SentJob>& again) {
      auto resent = std::make_shared<StartedValidation>();
      resent->sent = again;
      resent->validation = validation;
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
    if (result == CommandHostBroker::JobResult::kOk) {
      request.MarkReplySent();
      return;
    }
    AnswerFailure(request, started->validation, result, error);
    return;
  }
  Validation validation;
  if (!ReadValidation(request, &validation)) {
    request.SendMessage(ResultsLog::kError, "The validate request is damaged.");
  } else if (LeftForTheNextDaemon(request.Context(), &request)) {
    return;
  } else if (!broker || !broker->HostAvailable()) {
    request.SendMessage(ResultsLog::kError,
                        "Validation is not available: no command host is running.");
  } else {
    // The tool is answered on the thread that receives the host's reply,
    // without waiting for this worker to wake.
    auto answer = [&request](const std::vector<uint8_t>& reply) { AnswerFromHost(request, reply); };
    const CommandHostBroker::JobResult result =
        broker->RunJob(JobPayload(validation.location, validation.folder), nullptr, &error,
                       JobOptionsFor(request.Context(), validation, std::move(answer)));
    if (result == CommandHostBroker::JobResult::kOk) return;
    AnswerFailure(request, validation, result, error);
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
