#include "cli/CommandHost.h"
#include "assetdb/protocol/VADRequestCodes.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "assetdb/archive/TransferArchive.h"
#include "assetdb/client/IdleStep.h"
#include "assetdb/client/TransferArchiveClient.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/AssetText.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/base/LogMessage.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/spec/SpecRegistry.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/threads/WorkerThread.h"

namespace {

constexpr uint32_t kJobValidate = 0;
constexpr uint32_t kJobTextureConvert = 1;
constexpr uint32_t kJobArchiveSave = 2;
constexpr uint32_t kJobArchiveInstall = 3;

constexpr uint32_t kWaitMs = 50;
constexpr uint32_t kKeepAlivePasses = 100;
constexpr uint32_t kDrainPauseMs = 10;
// The drain at the end waits at most this long for tasks still queued, so a
// task that keeps posting more cannot hold the process forever.
constexpr auto kDrainLimit = std::chrono::seconds(30);
constexpr uint32_t kKUIDBytes = 8;

std::atomic<bool> g_stopRequested{false};
std::atomic<bool> g_exitOnSignal{false};

void OnConsoleSignal(int) {
  if (g_exitOnSignal.load()) _exit(0);
  g_stopRequested.store(true);
}

void InstallConsoleHandler() {
  struct sigaction action {};
  action.sa_handler = OnConsoleSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

bool PayloadWhole(TStream& payload) {
  return payload.GetError() == TStream::kErrorNone;
}

uint32_t BytesLeft(TStream& stream) {
  const uint32_t size = stream.GetSize();
  const uint32_t at = stream.Tell();
  return at < size ? size - at : 0;
}

struct ArchiveJob {
  uint32_t token = 0;
  Kiv::String path;
  KUIDList kuids;
};

// Reads token, path and the KUID list; false when the payload is short. The
// count is checked against the bytes the payload holds before any KUID is
// read, so a forged count neither loops nor allocates.
bool ReadArchiveJob(TStream& payload, ArchiveJob& job) {
  TStreamReadU32(payload, job.token, 0);
  payload.ReadString(job.path);
  uint32_t count = 0;
  TStreamReadU32(payload, count, 0);
  if (!PayloadWhole(payload) || count > BytesLeft(payload) / kKUIDBytes) return false;
  for (uint32_t i = 0; i < count; ++i) job.kuids.Append(ReadKUID(payload));
  return PayloadWhole(payload);
}

// Validation and texture conversion are done by libraries this build does
// not have: the job answers an error and a zero result in the reply form
// the daemon expects.
bool RunUnavailableJob(TStream& payload, TStream& reply, const char* tag, bool wideResult) {
  Kiv::String contentSet;
  Kiv::String folder;
  payload.ReadString(contentSet);
  payload.ReadString(folder);
  if (!PayloadWhole(payload)) return false;
  ResultsLog log;
  log.AddResult(ResultsLog::kError, PropertyRef(), GetInterfaceText(tag));
  log.WriteMessages(reply, 0);
  if (wideResult)
    TStreamWriteU32(reply, 0);
  else
    TStreamWriteBool(reply, false);
  return true;
}

bool RunArchiveSave(TStream& payload, TStream& reply) {
  ArchiveJob job;
  if (!ReadArchiveJob(payload, job)) return false;
  ResultsLog log;
  const bool all = WriteTransferArchive(job.token, job.path, job.kuids, &log);
  log.WriteMessages(reply, 0);
  TStreamWriteU32(reply, all ? 1 : 0);
  return true;
}

bool RunArchiveInstall(TStream& payload, TStream& reply) {
  ArchiveJob job;
  if (!ReadArchiveJob(payload, job)) return false;
  ResultsLog log;
  InstallFromArchiveFile(job.token, job.kuids, job.path, &log);
  log.WriteMessages(reply, 0);
  TStreamWriteU32(reply, job.kuids.Count());
  for (const KUID& kuid : job.kuids) WriteKUID(reply, kuid);
  return true;
}

void ReleaseJobResources() {
  if (SpecRegistry* registry = SpecRegistry::Instance()) registry->ReleaseAll();
  TrimResourceCaches();
}

void DrainWorkerQueue() {
  WorkerThread& queue = WorkerThread::Get();
  const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
  for (;;) {
    const int left = queue.RunPending(0);
    if (left <= 0 && !queue.HasPendingTasks()) return;
    if (std::chrono::steady_clock::now() >= deadline) {
      LogMessage("VADCommandHost> tasks still queued at shut-down; not waiting longer");
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kDrainPauseMs));
  }
}

}  // namespace

void RequestCommandHostStop() {
  g_stopRequested.store(true);
}

void CommandHostCallback(TStream& payload, TStream& reply) {
  uint32_t commandID = 0;
  // A short id reads as 0 and leaves the stream's error set, so the job's
  // own reads then fail and nothing is written.
  TStreamReadU32(payload, commandID, 0);
  bool ran = false;
  switch (commandID) {
    case kJobValidate:
      LogMessage("CommandHostCallback> VAD_CMDHOST_VALIDATE");
      ran = RunUnavailableJob(payload, reply, "$vad_cmdhost_validate_unavailable", false);
      break;
    case kJobTextureConvert:
      LogMessage("CommandHostCallback> VAD_CMDHOST_TEXTURECONVERT");
      ran = RunUnavailableJob(payload, reply, "$vad_cmdhost_textureconvert_unavailable", true);
      break;
    case kJobArchiveSave:
      LogMessage("CommandHostCallback> VAD_CMDHOST_ARCHIVE_SAVETODISK");
      ran = RunArchiveSave(payload, reply);
      break;
    case kJobArchiveInstall:
      LogMessage("CommandHostCallback> VAD_CMDHOST_ARCHIVE_INSTALL");
      ran = RunArchiveInstall(payload, reply);
      break;
    default:
      LogMessage("CommandHostCallback> unsupported commandID=%d", static_cast<int>(commandID));
      ReleaseJobResources();
      return;
  }
  if (!ran) return;
  LogMessage("CommandHostCallback> complete");
  ReleaseJobResources();
}

void VADCommandHost() {
  g_stopRequested.store(false);
  g_exitOnSignal.store(false);
  VADClient::SetCommandHostHook(CommandHostCallback);
  TBuffer empty;
  VADClient::Post(VADRequestCode::kRegisterCommandHost, empty);
  InstallConsoleHandler();
  LogMessage("VADCommandHost");

  uint32_t passes = 0;
  while (VADClient::IsConnected() && !g_stopRequested.load()) {
    WorkerThread::Get().WaitForWork(kWaitMs);
    if (++passes % kKeepAlivePasses == 0) {
      TBuffer request;
      TBuffer answer;
      VADClient::Transact(VADRequestCode::kKeepAlive, request, answer, nullptr, nullptr, false);
    }
    CollectStringGarbage();
  }

  VADClient::SetCommandHostHook(nullptr);
  g_exitOnSignal.store(true);
  LogMessage("VADCommandHost shutting down...");
  DrainWorkerQueue();
}
