#include "cli/CommandHost.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <thread>

#include "assetdb/archive/TransferArchive.h"
#include "assetdb/client/FindAssetSpec.h"
#include "assetdb/client/IdleStep.h"
#include "assetdb/client/ScriptLibraryCache.h"
#include "assetdb/client/TransferArchiveClient.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/client/VandruBaseSpec.h"
#include "assetdb/protocol/AssetText.h"
#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "assetdb/protocol/ValidationBound.h"
#include "cli/AssetValidation.h"
#include "cli/CommandHostLifeline.h"
#include "cli/ScriptCompile.h"
#include "foundation/base/EnvironmentNumber.h"
#include "foundation/base/LogMessage.h"
#include "foundation/diag/CrashHandlers.h"
#include "foundation/layout/ContentSetFolder.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/spec/SpecRegistry.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/threads/JobDeadline.h"
#include "foundation/threads/WorkerThread.h"
#include "gscompiler/GSStandardBackEnd.h"
#include "kiv/String.h"
#include "render/textures/TextureConversion.h"

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
constexpr const char* kLinkPauseVariable = "VADCOMMANDHOST_TEST_LINK_PAUSE_MS";
constexpr unsigned long long kMaxLinkPauseMs = 600000;
constexpr const char* kCacheLimitVariable = "VADCOMMANDHOST_TEST_LIBRARY_CACHE_LIMIT";
constexpr unsigned long long kMaxCachedLibraryLimit = 1ull << 40;
constexpr const char* kWatchdogDelayVariable = "VADCOMMANDHOST_TEST_WATCHDOG_DELAY_MS";
constexpr unsigned long long kMaxWatchdogDelayMs = 600000;

std::atomic<bool> g_stopRequested{false};

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

struct FolderJob {
  Kiv::PString contentSet;
  Kiv::String folder;
};

bool ReadFolderJob(TStream& payload, FolderJob& job) {
  Kiv::String contentSet;
  payload.ReadString(contentSet);
  payload.ReadString(job.folder);
  job.contentSet = Kiv::PString(contentSet);
  return PayloadWhole(payload);
}

// The test hooks (CommandHost.h), from the environment.
void ApplyTestHooks() {
  unsigned long long value = 0;
  if (EnvironmentWholeNumber(kLinkPauseVariable, kMaxLinkPauseMs, &value))
    SetScriptLinkPause(std::chrono::milliseconds(value));
  if (EnvironmentWholeNumber(kCacheLimitVariable, kMaxCachedLibraryLimit, &value))
    SetLibraryCacheLimit(int64_t(value));
  if (EnvironmentWholeNumber(kWatchdogDelayVariable, kMaxWatchdogDelayMs, &value))
    SetJobDeadlineWatchdogDelay(std::chrono::milliseconds(value));
}

// The answer of a validation stopped at its bound: one finding about the
// asset of the folder, `text` (the interface text of
// "$tet_validation_time_limit", looked up on the main thread, which loads
// the texts on first use), then result false. The asset's KUID is read from
// the folder's configuration here, on whichever thread stops the job: that
// reads only the file and the content-set registry, which locks itself.
void WriteTimeLimitAnswer(TStream& reply, const FolderJob& job, std::chrono::milliseconds bound,
                          const Kiv::String& text) {
  ResultsLog log;
  AddValidationTimeLimit(log, FolderAssetKUID(job.contentSet, job.folder), job.folder, bound, text);
  log.WriteMessages(reply, 0);
  TStreamWriteBool(reply, false);
}

// Sends the answer of a job stopped at its bound and ends the host, so that
// nothing the job did or kept stays for a later job. It says goodbye first:
// the daemon then sends the jobs queued here, which never started, to
// another host. Any thread but the connection's reader.
[[noreturn]] void AnswerAndEnd(const FolderJob& job, std::chrono::milliseconds bound,
                               const Kiv::String& text) {
  TBuffer answer;
  WriteTimeLimitAnswer(answer, job, bound, text);
  TStreamRewind(answer);
  VADClient::Post(VADRequestCode::kCommandHostReply, answer);
  LogMessage("VADCommandHost> the validation job passed its bound; this host ends");
  VADClient::Disconnect(false);
  std::fflush(nullptr);
  _exit(0);
}

bool RunValidateJob(TStream& payload, TStream& reply) {
  FolderJob job;
  if (!ReadFolderJob(payload, job)) return false;
  bool found = false;
  ContentSetFolder hold = AcquireContentSetFolder(job.contentSet, &found);
  const std::chrono::milliseconds bound = ValidationBound();
  const Kiv::String timeLimit = GetInterfaceText("$tet_validation_time_limit");
  ResultsLog log;
  bool valid = false;
  {
    JobDeadlineScope deadline(bound, [&] { AnswerAndEnd(job, bound, timeLimit); });
    // A validation that throws fails its job; the host serves on.
    try {
      valid = RunValidateAssetTask(job.contentSet, job.folder, log);
    } catch (const std::exception& error) {
      log.AddResult(ResultsLog::kError, PropertyRef(),
                    Kiv::String("The validation stopped: ") + error.what());
    }
    // Past its bound the job never comes back here (AnswerAndEnd).
    deadline.Finish();
  }
  // The compiler's state of the job is not kept for the next one.
  GSStandardBackEndRelease();
  log.WriteMessages(reply, 0);
  TStreamWriteBool(reply, valid);
  return true;
}

bool RunTextureJob(TStream& payload, TStream& reply) {
  FolderJob job;
  if (!ReadFolderJob(payload, job)) return false;
  bool found = false;
  ContentSetFolder hold = AcquireContentSetFolder(job.contentSet, &found);
  ResultsLog log;
  const uint32_t converted =
      ConvertTexturesInFolder(job.contentSet, Kiv::File::Path(job.folder), log);
  log.WriteMessages(reply, 0);
  TStreamWriteU32(reply, converted);
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

// Whatever earlier jobs learnt may no longer hold (an asset installed,
// deleted or changed since): the KUIDs they resolved and the libraries they
// announced go, so that a job answers as a host that just started would.
void ForgetEarlierJobs() {
  ForgetRememberedSpecAnswers();
  ForgetAnnouncedLibraries();
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
  ForgetEarlierJobs();
  bool ran = false;
  switch (commandID) {
    case kJobValidate:
      LogMessage("CommandHostCallback> VAD_CMDHOST_VALIDATE");
      ran = RunValidateJob(payload, reply);
      break;
    case kJobTextureConvert:
      LogMessage("CommandHostCallback> VAD_CMDHOST_TEXTURECONVERT");
      ran = RunTextureJob(payload, reply);
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
  StartCommandHostLifeline();
  g_stopRequested.store(false);
  ApplyTestHooks();
  VADClient::SetCommandHostHook(CommandHostCallback);
  TBuffer empty;
  VADClient::Post(VADRequestCode::kRegisterCommandHost, empty);
  InstallCrashHandlers(false);
  DisableConsoleClose();
  LogMessage("VADCommandHost");

  uint32_t passes = 0;
  while (VADClient::IsConnected() && !ConsoleCloseRequested() && !g_stopRequested.load()) {
    WorkerThread::Get().WaitForWork(kWaitMs);
    if (++passes % kKeepAlivePasses == 0) {
      TBuffer request;
      TBuffer answer;
      VADClient::Transact(VADRequestCode::kKeepAlive, request, answer, nullptr, nullptr, false);
    }
    CollectStringGarbage();
  }

  VADClient::SetCommandHostHook(nullptr);
  AllowConsoleTermination();
  LogMessage("VADCommandHost shutting down...");
  DrainWorkerQueue();
}
