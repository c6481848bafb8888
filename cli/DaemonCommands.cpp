// "closevaddaemon" and "vadcommandhost": the tool's own relation to the
// asset-database daemon.
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/DaemonStartRecord.h"
#include "assetdb/protocol/DatabaseIpc.h"
#include "assetdb/protocol/StoreGuardHolder.h"
#include "cli/CommandArgs.h"
#include "cli/CommandHost.h"
#include "cli/Commands.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/threads/ProcessHandle.h"

namespace {

// How long the daemon and the command hosts it started get to end by
// themselves before they are stopped (per process).
constexpr uint32_t kDaemonGraceMs = 30000;
constexpr uint32_t kToolGraceMs = 10000;
// How long a daemon that the command can find by no process id gets to let
// go of UserData: asked to close, the daemon's grace; not reached (the
// owner block changed under it), the wait a tool gives a daemon's answer.
constexpr uint32_t kUnreachedDaemonWaitMs = 10000;
constexpr uint32_t kGuardPollMs = 20;

// The process the owner block names as the database's owner, or 0.
pid_t BlockOwnerPid() {
  DatabaseIpc ipc;
  if (!ipc.Open(GetAssetIndexPath())) return 0;
  const DatabaseIpc::Snapshot snapshot = ipc.Read();
  ipc.Close();
  if (snapshot.owner == DatabaseIpc::kNone || snapshot.owner > 0x7FFFFFFFu) return 0;
  return static_cast<pid_t>(snapshot.owner);
}

// The daemon that the start record of this UserData names, while that
// process runs; 0 otherwise.
pid_t RecordedDaemonPid() {
  DaemonStartRecord record;
  if (!ReadDaemonStartRecord(GetUserDataPath().Str(), &record) || !DaemonStartRecordAlive(record))
    return 0;
  return static_cast<pid_t>(record.pid);
}

// Process `pid` when it runs a daemon program (whichever installation's:
// UserData may be a link that two installations share).
ProcessHandle OpenDaemonProgram(pid_t pid) {
  if (pid <= 0) return ProcessHandle();
  const std::string program = ProcessHandle::ExecutableOf(pid);
  if (std::filesystem::path(program).filename() != "vaddaemon") return ProcessHandle();
  return ProcessHandle::Open(pid, program.c_str());
}

// The daemon of this UserData, pinned: the process that holds the folder's
// store guard (every daemon holds it for its whole life), which the owner
// block cannot hide: changed under the daemon, or copied from another
// installation with the daemon of that one named in it. Where /proc/locks
// does not tell the guard's holder (a file system whose devices it names
// otherwise), the daemon that the start record of the folder names (the
// record names the folder and the process's start time, so it is never
// another's), else the owner the block names when it runs this
// installation's daemon program (`bin`), so a block copied from another
// installation never names a daemon to end here. Not Valid when none.
ProcessHandle FindDaemon(const Kiv::File::Path& bin) {
  const pid_t holder = static_cast<pid_t>(StoreGuardHolder(GetUserDataPath().Str()));
  if (holder != 0) return OpenDaemonProgram(holder);
  const pid_t recorded = RecordedDaemonPid();
  if (recorded != 0) return OpenDaemonProgram(recorded);
  Kiv::File::Path daemonPath = bin;
  daemonPath.AddPath("vaddaemon");
  return ProcessHandle::Open(BlockOwnerPid(), daemonPath.c_str());
}

// The command hosts that `daemon` started: the tool program beside it.
std::vector<ProcessHandle> HostsOf(const ProcessHandle& daemon) {
  if (!daemon.Valid()) return {};
  const std::filesystem::path program = ProcessHandle::ExecutableOf(daemon.Pid());
  return ProcessHandle::ChildrenOf(daemon.Pid(), (program.parent_path() / "VandruUtil").c_str());
}

// Whether the lock on UserData is free within `waitMs`: then no daemon
// serves it any more.
bool GuardFreeWithin(uint32_t waitMs) {
  const std::string userData = GetUserDataPath().Str();
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (!StoreGuardFree(userData)) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kGuardPollMs));
  }
  return true;
}

// The command's answer once the daemon was asked to end: an error naming it
// while it still runs. Without a daemon found by its process, the lock on
// UserData tells whether one still runs (waited for up to `unnamedWaitMs`);
// an error says so when it does.
int32_t AnswerForDaemon(ResultsLog& log, const ProcessHandle& daemon, uint32_t unnamedWaitMs) {
  if (!daemon.Valid()) {
    if (GuardFreeWithin(unnamedWaitMs)) return kCommandSucceeded;
    AddCommandError(log,
                    "The daemon of this installation is still running, and the system does not "
                    "tell its process id: end it, then run this command again.");
    return kCommandFailed;
  }
  if (daemon.Ended()) return kCommandSucceeded;
  AddCommandError(log, "The daemon of this installation (process " + std::to_string(daemon.Pid()) +
                           ") is still running: end it by its process id.");
  return kCommandFailed;
}

// Ends a daemon that owns the database but did not answer this tool at its
// start (stopped or hung: its handshake timed out, or its owner block names
// no port), as a user would by its process id: SIGTERM, with SIGCONT so
// that a stopped one acts on it, which gives it its normal end, then
// SIGKILL after its grace; then its command hosts. Says so on standard
// error.
void EndDaemonThatDoesNotAnswer(ProcessHandle& daemon, std::vector<ProcessHandle>& hosts) {
  if (!daemon.Valid()) return;
  std::fprintf(stderr,
               "The daemon of this installation (process %d) does not answer; it is being "
               "ended.\n",
               static_cast<int>(daemon.Pid()));
  daemon.Signal(SIGTERM);
  daemon.Signal(SIGCONT);
  daemon.EndAfterGrace(kDaemonGraceMs);
  for (ProcessHandle& host : hosts) host.EndAfterGrace(kToolGraceMs);
}

}  // namespace

// Asks the daemon to close, then waits until that daemon has ended, and
// ends it when it has not within its grace; then the same for the command
// hosts it had started (whose executable is the tool beside the daemon's).
// The daemon is the one of this UserData as the request leaves (FindDaemon:
// the tool is connected to no other), pinned by its process id beforehand,
// and is waited for whether or not it answered (one that was ending already
// answers nothing). Nothing else is touched: a daemon that other tools
// start once this one has gone, its command hosts, and every other tool
// keep running. The calling process is never touched. Every wait is
// bounded (VADClient::CloseDaemon's wait, the grace per process, the wait
// for the lock on UserData). The tool starts this command without a daemon
// when it reached none (EngineStartup.h): then no daemon runs and nothing
// is done, or the one of this UserData was not reached (it does not
// answer, or its owner block no longer tells where it is) and is ended
// (above). The command succeeds only when no daemon of this UserData that
// it found runs any more, and, when it found none by its process, once
// the lock on UserData is free; otherwise an error says so.
int32_t CloseVADDaemonCommand(ResultsLog& log, EngineObjects&, int, char**) {
  Kiv::File::Path bin;
  ProcessHandle daemon;
  if (GetModulePath(&bin)) {
    bin.DelName();
    daemon = FindDaemon(bin);
  }
  std::vector<ProcessHandle> hosts = HostsOf(daemon);
  if (!VADClient::IsOpen()) {
    EndDaemonThatDoesNotAnswer(daemon, hosts);
    return AnswerForDaemon(log, daemon, kUnreachedDaemonWaitMs);
  }
  VADClient::CloseDaemon(nullptr);
  daemon.EndAfterGrace(kDaemonGraceMs);
  for (ProcessHandle& host : hosts) host.EndAfterGrace(kToolGraceMs);
  return AnswerForDaemon(log, daemon, kDaemonGraceMs);
}

int32_t VADCommandHostCommand(ResultsLog&, EngineObjects&, int, char**) {
  VADCommandHost();
  return kCommandSucceeded;
}
