// "closevaddaemon" and "vadcommandhost": the tool's own relation to the
// asset-database daemon.
#include <signal.h>
#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

#include "assetdb/client/VADClient.h"
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

// The process the owner block names as the database's owner, or 0.
pid_t BlockOwnerPid() {
  DatabaseIpc ipc;
  if (!ipc.Open(GetAssetIndexPath())) return 0;
  const DatabaseIpc::Snapshot snapshot = ipc.Read();
  ipc.Close();
  if (snapshot.owner == DatabaseIpc::kNone || snapshot.owner > 0x7FFFFFFFu) return 0;
  return static_cast<pid_t>(snapshot.owner);
}

// The daemon of this UserData, or 0: the process that holds the folder's
// store guard (every daemon holds it for its whole life), which the owner
// block cannot hide: changed under the daemon, or copied from another
// installation with the daemon of that one named in it. Where /proc/locks
// does not tell the guard's holder (a file system whose devices it names
// otherwise), the owner the block names; the caller takes it only when it
// runs this installation's daemon program, so a block copied from another
// installation never names a daemon to end here.
pid_t DaemonPid() {
  const uint32_t holder = StoreGuardHolder(GetUserDataPath().Str());
  return holder != 0 ? static_cast<pid_t>(holder) : BlockOwnerPid();
}

// The command's answer once the daemon was asked to end: an error naming it
// while it still runs.
int32_t AnswerForDaemon(ResultsLog& log, const ProcessHandle& daemon) {
  if (daemon.Ended()) return kCommandSucceeded;
  AddCommandError(log, "The daemon of this installation (process " + std::to_string(daemon.Pid()) +
                           ") is still running: end it by its process id.");
  return kCommandFailed;
}

// Ends a daemon that owns the database but did not answer this tool at its
// start (stopped or hung: its handshake timed out), as a user would by its
// process id: SIGTERM, with SIGCONT so that a stopped one acts on it, which
// gives it its normal end, then SIGKILL after its grace; then its command
// hosts. Says so on standard error.
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
// hosts it had started (whose executable is the tool's). The daemon is the
// one of this UserData as the request leaves (DaemonPid: the tool is
// connected to no other), pinned by its process id beforehand, and is
// waited for whether or not it answered (one that was ending already
// answers nothing). Nothing
// else is touched: a daemon that other tools start once this one has gone,
// its command hosts, and every other tool keep running. Only executables
// in the running program's own folder are matched (by real path), so the
// processes of another installation are never touched, and the calling
// process never is. Every wait is bounded (VADClient::CloseDaemon's wait,
// and the grace per process). The tool starts this command without a
// daemon when it reached none (EngineStartup.h): then no daemon runs and
// nothing is done, or the one of this UserData was not reached (it does
// not answer, or its owner block no longer tells where it is) and is ended
// (above). The command succeeds only when no daemon of this UserData that
// it found runs any more; otherwise an error names it.
int32_t CloseVADDaemonCommand(ResultsLog& log, EngineObjects&, int, char**) {
  Kiv::File::Path folder;
  ProcessHandle daemon;
  std::vector<ProcessHandle> hosts;
  if (GetModulePath(&folder)) {
    folder.DelName();
    Kiv::File::Path daemonPath = folder;
    daemonPath.AddPath("vaddaemon");
    Kiv::File::Path toolPath = folder;
    toolPath.AddPath("VandruUtil");
    daemon = ProcessHandle::Open(DaemonPid(), daemonPath.c_str());
    if (daemon.Valid()) hosts = ProcessHandle::ChildrenOf(daemon.Pid(), toolPath.c_str());
  }
  if (!VADClient::IsOpen()) {
    EndDaemonThatDoesNotAnswer(daemon, hosts);
    return AnswerForDaemon(log, daemon);
  }
  VADClient::CloseDaemon(nullptr);
  daemon.EndAfterGrace(kDaemonGraceMs);
  for (ProcessHandle& host : hosts) host.EndAfterGrace(kToolGraceMs);
  return AnswerForDaemon(log, daemon);
}

int32_t VADCommandHostCommand(ResultsLog&, EngineObjects&, int, char**) {
  VADCommandHost();
  return kCommandSucceeded;
}
