#include "vaddaemon/DaemonMain.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "assetdb/protocol/DatabaseIpc.h"
#include "assetdb/protocol/ProcessAlive.h"
#include "foundation/base/LogMessage.h"
#include "foundation/diag/OwnLogFile.h"
#include "foundation/layout/FolderLayout.h"
#include "kiv/Log.h"
#include "vaddaemon/CommandHostEnd.h"
#include "vaddaemon/DaemonConfig.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonModule.h"
#include "vaddaemon/DaemonServer.h"
#include "vaddaemon/RequestRegistry.h"
#include "vaddaemon/StartState.h"
#include "vaddaemon/StoreGuard.h"
#include "vaddaemon/UserDataWatch.h"

namespace {

constexpr long kMaxLogSize = 1L << 20;
// How long a starting daemon waits for the command hosts of the one before
// it to end before it ends them; they end as their connection does, so
// this is only reached when one is stopped or hung.
constexpr uint32_t kEarlierHostsWaitMs = 2000;

std::atomic<DaemonServer*> g_server{nullptr};

void OnStopSignal(int) {
  DaemonServer* server = g_server.load();
  if (server != nullptr) server->RequestStop();
}

void InstallSignals() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

// Before anything is written: a write to a closed peer, or past the
// file-size limit (RLIMIT_FSIZE), then fails (EPIPE, EFBIG) and is reported
// like any failed write, instead of ending the daemon.
void IgnoreWriteSignals() {
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (int signal : {SIGPIPE, SIGXFSZ}) sigaction(signal, &ignore, nullptr);
}

// Every log line goes to standard error and to the log file.
void OpenLogFile(const Kiv::File::Path& userData) {
  Kiv::File::Path path = userData;
  path.AddPath("vaddaemon.log");
  if (Kiv::File::FileSize(path.Str()) > kMaxLogSize)
    Kiv::File::Rename(path.Str(), path.Str() + ".old");
  // Never appended through a link, nor to another user's file (said once
  // on standard error).
  const int fd = OpenOwnLogFile(path.Str(), 0666);
  std::FILE* file = fd >= 0 ? ::fdopen(fd, "a") : nullptr;
  if (fd >= 0 && file == nullptr) ::close(fd);
  const unsigned pid = unsigned(getpid());
  Kiv::Log::SetSink([file, pid](std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    if (file == nullptr) return;
    std::fprintf(file, "[%u] ", pid);
    std::fwrite(line.data(), 1, line.size(), file);
    std::fflush(file);
  });
}

Kiv::File::Path InstallRootOfExecutable() {
  Kiv::File::Path executable;
  if (!GetModulePath(&executable)) return Kiv::File::Path();
  executable.DelName();
  executable.DelSlash();
  executable.PrevDir();
  executable.DelSlash();
  return executable;
}

struct Started {
  std::vector<DaemonModule> modules;
};

void StopModules(Started& started, DaemonContext& context) {
  for (auto it = started.modules.rbegin(); it != started.modules.rend(); ++it) {
    if (it->stop != nullptr) it->stop(context);
  }
  started.modules.clear();
}

bool StartModules(Started& started, DaemonContext& context, RequestRegistry& registry) {
  for (const DaemonModule& module : RegisteredDaemonModules()) {
    if (module.start != nullptr && !module.start(context)) {
      std::fprintf(stderr, "vaddaemon: the %s module could not start; not starting.\n",
                   module.name);
      LogMessage("vaddaemon> the %s module could not start", module.name);
      if (StartFailure().empty()) {
        NoteStartFailure("The asset-database daemon could not start its " +
                         std::string(module.name) + " module: see the last lines of '" +
                         context.UserDataPath().Str() + "/vaddaemon.log'.");
      }
      return false;
    }
    started.modules.push_back(module);
    if (module.registerHandlers != nullptr) module.registerHandlers(registry, context);
  }
  return true;
}

void ReleaseAll(DatabaseIpc& ipc) {
  ipc.ReleaseOwnership();
  ipc.Close();
  ReleaseFolderLayout();
  std::fflush(stdout);
  std::fflush(stderr);
}

// The server's end check. An index removed or replaced in the UserData
// folder the daemon started in ends the daemon as a close does: the work in
// hand is finished and answered with what it recorded (the store guard
// keeps the next daemon off the folder until then). Anything else the
// watch answers ends it at once (UserDataWatch.h).
std::string EndCheck(UserDataWatch& watch, DaemonContext& context) {
  std::string reason = watch.Check();
  if (reason.empty() || !watch.UserDataStillOwn()) return reason;
  static std::atomic<bool> said{false};
  if (!said.exchange(true)) LogMessage("vaddaemon> %s; exiting", reason.c_str());
  context.RequestExit();
  return std::string();
}

// Another daemon serves the store (its guard is held), or the guard cannot
// be taken: says so on standard error and answers the exit status.
int RefuseStart(const StoreGuard& guard, const Kiv::File::Path& index) {
  if (guard.state == StoreGuard::kFailed) {
    std::fprintf(stderr, "vaddaemon: unable to lock the folder of %s (%s); not starting.\n",
                 index.c_str(), std::strerror(guard.error));
    return kExitFailed;
  }
  if (guard.holder == 0) {
    std::fprintf(stderr, "vaddaemon: another daemon already serves %s; not starting.\n",
                 index.c_str());
  } else {
    std::fprintf(stderr,
                 "vaddaemon: another daemon (process %u) already serves %s; not starting.\n",
                 guard.holder, index.c_str());
  }
  return kExitRefused;
}

// What a file of the owner block is when this user may not read and write
// it (made read-only): "a file this user may not read and write (mode
// 0444)"; "" otherwise.
std::string UnwritableFile(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      ::access(path.c_str(), R_OK | W_OK) == 0 || errno != EACCES)
    return std::string();
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", unsigned(info.st_mode & 07777));
  return std::string("a file this user may not read and write (mode ") + mode + ")";
}

// The line for the user when the owner block cannot be opened: the file in
// the way, when one is.
std::string OwnerBlockFailure(const Kiv::File::Path& index) {
  for (const char* suffix : {".lock", ".ipc"}) {
    const std::string path = index.Str() + suffix;
    std::string what = EntryInTheWay(path, false);
    if (what.empty()) what = UnwritableFile(path);
    if (what.empty()) continue;
    return "'" + path + "' is " + what +
           ", where the database owner block needs a file of its own: remove it, then run the "
           "command again.";
  }
  return "The asset-database daemon cannot open the database owner block beside '" + index.Str() +
         "': see the last lines of its log in that folder.";
}

// Claims the owner block, which this daemon may do whoever it names: it
// holds the store guard, so no other daemon serves this UserData. A live
// owner named there is a daemon of another installation (the block was
// copied with its UserData while that daemon ran) or a process that took a
// dead daemon's id; it is logged and replaced.
void ClaimOwnerBlock(DatabaseIpc& ipc) {
  const uint32_t named = ipc.Read().owner;
  ipc.ClaimOwnership(0, true);
  if (named == DatabaseIpc::kNone || named == CurrentProcessId() || !IsProcessAlive(named)) return;
  LogMessage(
      "vaddaemon> the database-owner block names process %u, which does not serve this UserData "
      "(this daemon holds its guard); taking the block over",
      named);
}

}  // namespace

int RunDaemon() {
  IgnoreWriteSignals();
  const Kiv::File::Path root = InstallRootOfExecutable();
  if (root.Empty()) {
    std::fprintf(stderr, "vaddaemon: unable to determine the installation folder.\n");
    return kExitFailed;
  }
  DetermineInstallPath(root);
  CreateUserDataFolders();
  // Before anything is written in UserData (the log is moved aside at start).
  const StoreGuard guard = HoldStoreGuard(GetUserDataPath().Str());
  if (guard.state != StoreGuard::kHeld) {
    ReleaseFolderLayout();
    return RefuseStart(guard, GetAssetIndexPath());
  }
  OpenLogFile(GetUserDataPath());

  auto context = std::make_unique<DaemonContext>();
  context->SetInstallPath(GetInstallPath());
  const Kiv::File::Path index = GetAssetIndexPath();
  DatabaseIpc& ipc = ProcessDatabaseIpc();
  StartState state(GetUserDataPath().Str());
  if (!ipc.Open(index)) {
    std::fprintf(stderr,
                 "vaddaemon: unable to open the database-owner block of %s; not starting.\n",
                 index.c_str());
    const std::string why = OwnerBlockFailure(index);
    LogMessage("vaddaemon> %s", why.c_str());
    state.Failed(why);
    ReleaseAll(ipc);
    return kExitFailed;
  }
  ClaimOwnerBlock(ipc);
  state.Starting();

  // Hosts of a daemon before this one (killed) may still be working in the
  // store's folders: the store's recovery waits for them, and ends those
  // that do not end by themselves (stopped ones).
  EndCommandHosts(*context, kEarlierHostsWaitMs);
  Started started;
  RequestRegistry registry;
  if (!StartModules(started, *context, registry)) {
    state.Failed(StartFailure());
    StopModules(started, *context);
    ReleaseAll(ipc);
    return kExitFailed;
  }
  auto server = std::make_unique<DaemonServer>(*context, registry, DaemonConfig::IdleSeconds(),
                                               DaemonConfig::MaxConnections());
  // Said before the port is published, so that a tool that finds the port
  // connects at once.
  const bool listening = server->Listen();
  if (listening) state.Serving();
  if (!listening || !ipc.ClaimOwnership(server->Port())) {
    std::fprintf(stderr, "vaddaemon: unable to listen on 127.0.0.1; not starting.\n");
    state.Failed("The asset-database daemon cannot listen on 127.0.0.1: see the last lines of '" +
                 GetUserDataPath().Str() + "/vaddaemon.log'.");
    server.reset();
    StopModules(started, *context);
    ReleaseAll(ipc);
    return kExitFailed;
  }
  auto watch = std::make_shared<UserDataWatch>(index.Str(), ipc);
  watch->Record();
  // The work in hand asks it too (a repair stops once UserData is gone).
  context->Provide(watch);
  server->SetEndCheck([&watch, &context] { return EndCheck(*watch, *context); });
  server->SetOnEnding([&state] { state.Ending(); });
  server->SetClientCheck(
      [&watch](const std::string& clientIndex) { return watch->NotItsClient(clientIndex); });
  g_server.store(server.get());
  InstallSignals();
  LogMessage("vaddaemon> process %u serves %s on 127.0.0.1 port %u", CurrentProcessId(),
             index.c_str(), unsigned(server->Port()));

  const bool drained = server->Serve();
  const std::string replaced = watch->Changed();
  if (!replaced.empty()) {
    LogMessage("vaddaemon> %s: ending without closing the store, whose files are another's",
               replaced.c_str());
  }
  if (!drained || !replaced.empty()) {
    // Requests are still running, or the files are no longer this daemon's:
    // nothing may be torn down. With the files another's, the owner block
    // is released so that a new daemon can start at once (its names are
    // removed only when still its own). With requests still running the
    // store stays this daemon's until the process has ended: the next
    // daemon takes over the block of an owner that no longer runs.
    if (!replaced.empty()) {
      ipc.ReleaseOwnership();
      ipc.Close();
    }
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(0);
  }
  g_server.store(nullptr);
  server.reset();
  StopModules(started, *context);
  ReleaseAll(ipc);
  LogMessage("vaddaemon> process %u ended", CurrentProcessId());
  return 0;
}
