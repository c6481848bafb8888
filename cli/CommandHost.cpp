#include "cli/CommandHost.h"
#include "assetdb/protocol/VADRequestCodes.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <thread>

#include "assetdb/archive/TransferArchive.h"
#include "assetdb/client/IdleStep.h"
#include "assetdb/client/TransferArchiveClient.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/AssetText.h"
#include "assetdb/protocol/ResultsLog.h"
#include "cli/AssetValidation.h"
#include "foundation/base/LogMessage.h"
#include "foundation/diag/CrashHandlers.h"
#include "foundation/layout/ContentSetFolder.h"
#include "foundation/soup/Soup.h"
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
constexpr const char* kValidationBoundVariable = "VADCOMMANDHOST_VALIDATION_MS";
constexpr auto kDefaultValidationBound = std::chrono::milliseconds(60000);
constexpr unsigned long long kMaxValidationMs = 24ull * 3600 * 1000;

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

// The bound of one validation job: VADCOMMANDHOST_VALIDATION_MS when it is
// a whole number of milliseconds up to kMaxValidationMs, else the default.
std::chrono::milliseconds ValidationJobBound() {
  const char* text = std::getenv(kValidationBoundVariable);
  if (text == nullptr || *text == '\0') return kDefaultValidationBound;
  char* end = nullptr;
  errno = 0;
  const unsigned long long ms = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || *text == '-' || ms > kMaxValidationMs)
    return kDefaultValidationBound;
  return std::chrono::milliseconds(ms);
}

// The finding of a stopped validation, about the asset of the folder.
void ReportTimeLimit(ResultsLog& log, const Kiv::PString& contentSet, const Kiv::String& folder,
                     std::chrono::milliseconds bound) {
  const KUID kuid = FolderAssetKUID(contentSet, folder);
  Soup parameters;
  parameters.SetNamedTag(Kiv::PString("file_path"), Kiv::PString(folder));
  parameters.SetNamedTag(Kiv::PString("seconds"),
                         Kiv::PString(Kiv::StringPrintf("%g", double(bound.count()) / 1000.0)));
  log.AddResult(ResultsLog::kError, kuid.IsNull() ? PropertyRef() : AssetSubject(kuid),
                GetInterfaceText("$tet_validation_time_limit"), &parameters);
}

bool RunValidateJob(TStream& payload, TStream& reply) {
  FolderJob job;
  if (!ReadFolderJob(payload, job)) return false;
  bool found = false;
  ContentSetFolder hold = AcquireContentSetFolder(job.contentSet, &found);
  ResultsLog log;
  bool valid = false;
  bool stopped = false;
  const std::chrono::milliseconds bound = ValidationJobBound();
  {
    JobDeadlineScope deadline(bound);
    // A validation that throws fails its job; the host serves on.
    try {
      valid = RunValidateAssetTask(job.contentSet, job.folder, log);
    } catch (const std::exception& error) {
      log.AddResult(ResultsLog::kError, PropertyRef(),
                    Kiv::String("The validation stopped: ") + error.what());
    }
    stopped = deadline.Stopped();
  }
  // The compiler's state of the job is not kept for the next one.
  GSStandardBackEndRelease();
  if (stopped) {
    // What a stopped validation found is incomplete: its one finding is
    // the time limit.
    ResultsLog limit;
    ReportTimeLimit(limit, job.contentSet, job.folder, bound);
    limit.WriteMessages(reply, 0);
    TStreamWriteBool(reply, false);
    return true;
  }
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
  g_stopRequested.store(false);
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
