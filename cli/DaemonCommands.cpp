// "closevaddaemon" and "vadcommandhost": the tool's own relation to the
// asset-database daemon.
#include "assetdb/client/VADClient.h"
#include "cli/CommandArgs.h"
#include "cli/CommandHost.h"
#include "cli/Commands.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/threads/Process.h"

namespace {

// How long the daemon and the other tool processes of this installation get
// to end by themselves before they are stopped (per process).
constexpr uint32_t kDaemonGraceMs = 30000;
constexpr uint32_t kToolGraceMs = 10000;

}  // namespace

// Asks the daemon to close, then ends what is left of this installation's
// daemon and tool processes. Only the executables in the running program's
// own folder are matched (by real path), so the processes of another
// installation are never touched, and the calling process never is. Every
// wait is bounded (VADClient::CloseDaemon's wait, and the grace per process
// of TerminateProcessesByName).
int32_t CloseVADDaemonCommand(ResultsLog&, EngineObjects&, int, char**) {
  VADClient::CloseDaemon();
  Kiv::File::Path folder;
  if (!GetModulePath(&folder)) return kCommandSucceeded;
  folder.DelName();
  Kiv::File::Path daemon = folder;
  daemon.AddPath("vaddaemon");
  Kiv::File::Path tool = folder;
  tool.AddPath("VandruUtil");
  TerminateProcessesByName(daemon.c_str(), kDaemonGraceMs);
  TerminateProcessesByName(tool.c_str(), kToolGraceMs);
  return kCommandSucceeded;
}

int32_t VADCommandHostCommand(ResultsLog&, EngineObjects&, int, char**) {
  VADCommandHost();
  return kCommandSucceeded;
}
