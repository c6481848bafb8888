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
// reply. Without a host the daemon cannot validate: it sends
// the error "Validation is not available: no command host is running." and
// replies 0. A failed job or a damaged job reply gives an error message and
// 0.
#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "kiv/DynamicBuffer.h"
#include "vaddaemon/CommandHostBroker.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonModule.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/RequestRegistry.h"

namespace {

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
bool ReadBatchAndResult(const std::vector<uint8_t>& reply, uint32_t* batchLength,
                        uint8_t* result) {
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

void HandleValidate(DaemonRequest& request) {
  Kiv::PString contentSet;
  Kiv::String folder;
  request.Body().ReadPString(contentSet);
  request.Body().ReadString(folder);
  auto broker = request.Context().Find<CommandHostBroker>();
  if (request.Body().GetError() != TStream::kErrorNone) {
    request.SendMessage(ResultsLog::kError, "The validate request is damaged.");
  } else if (!broker || !broker->HostAvailable()) {
    request.SendMessage(ResultsLog::kError,
                        "Validation is not available: no command host is running.");
  } else {
    Kiv::DynamicBuffer data;
    TBuffer job(&data);
    TStreamWriteU32(job, kJobValidate);
    job.WriteString(contentSet.Str());
    job.WriteString(folder);
    std::string error;
    const std::vector<uint8_t> payload(data.Data(), data.Data() + data.DataLength());
    // The tool is answered on the thread that receives the host's reply,
    // without waiting for this worker to wake.
    auto answer = [&request](const std::vector<uint8_t>& reply) {
      uint8_t result = 0;
      uint32_t batchLength = 0;
      if (!ReadBatchAndResult(reply, &batchLength, &result)) {
        request.SendMessage(ResultsLog::kError,
                            "Validation failed: the command host's reply is damaged.");
        TStreamWriteU8(request.Reply(), 0);
        request.SendReply();
        return;
      }
      // The host's batch goes to the tool unchanged, with the reply.
      TStreamWriteU8(request.Reply(), result != 0 ? 1 : 0);
      request.SendMessageBatchAndReply(reply.data(), batchLength);
    };
    if (broker->RunJob(payload, nullptr, &error, answer) == CommandHostBroker::JobResult::kOk)
      return;
    request.SendMessage(ResultsLog::kError, "Validation failed: " + error);
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
  registry.Register(VADRequestCode::kRegisterCommandHost, &HandleRegisterHost);
  registry.Register(VADRequestCode::kCommandHostReply, &HandleJobReply);
}

}  // namespace

VAD_DAEMON_MODULE(DaemonModule{.name = "commandhost",
                               .order = DaemonModule::kOrderInstall,
                               .start = &Start,
                               .registerHandlers = &Register,
                               .stop = nullptr});
