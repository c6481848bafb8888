#include "vaddaemon/CommandHostEnd.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "assetdb/protocol/CommandHostLock.h"
#include "assetdb/protocol/DatabaseIpc.h"
#include "foundation/base/LogMessage.h"
#include "foundation/threads/ProcessHandle.h"
#include "vaddaemon/CommandHostBroker.h"
#include "vaddaemon/DaemonContext.h"

namespace {

// Whether the process `pid` has the file `lock` open.
bool HasOpen(pid_t pid, const struct stat& lock) {
  const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
  DIR* fds = ::opendir(folder.c_str());
  if (fds == nullptr) return false;
  bool found = false;
  while (const dirent* entry = ::readdir(fds)) {
    struct stat info {};
    if (entry->d_name[0] == '.' || ::fstatat(::dirfd(fds), entry->d_name, &info, 0) != 0) continue;
    if (info.st_dev == lock.st_dev && info.st_ino == lock.st_ino) {
      found = true;
      break;
    }
  }
  ::closedir(fds);
  return found;
}

// The processes that run `toolPath` and have the file `lock` open, each
// pinned before it is looked at.
std::vector<ProcessHandle> Holders(const std::string& toolPath, const struct stat& lock) {
  const std::string tool = ProcessHandle::Normalised(toolPath.c_str());
  std::vector<ProcessHandle> holders;
  for (const pid_t pid : ProcessHandle::ListIds()) {
    if (pid == ::getpid() || ProcessHandle::ExecutableOf(pid) != tool) continue;
    ProcessHandle holder = ProcessHandle::Open(pid, toolPath.c_str());
    if (holder.Valid() && HasOpen(pid, lock)) holders.push_back(std::move(holder));
  }
  return holders;
}

bool OwnsTheDatabase() {
  const DatabaseIpc& ipc = ProcessDatabaseIpc();
  return ipc.IsOwner() && ipc.FilesStillNamed();
}

}  // namespace

bool EndCommandHosts(const DaemonContext& context, uint32_t waitMs) {
  if (!OwnsTheDatabase()) return false;
  const std::string userDataPath = context.UserDataPath().Str();
  Kiv::File::Path toolPath = context.BinPath();
  toolPath.AddPath(CommandHostBroker::kHostExecutable);
  if (WaitUntilNoCommandHost(userDataPath, waitMs)) return true;
  std::string lockPath = userDataPath;
  if (!lockPath.empty() && lockPath.back() != '/') lockPath += '/';
  lockPath += kCommandHostLockFile;
  struct stat lock {};
  if (::lstat(lockPath.c_str(), &lock) != 0) return true;  // no lock, no host
  for (ProcessHandle& host : Holders(toolPath.Str(), lock)) {
    LogMessage("vaddaemon> ending command host process %d, which still holds %s", int(host.Pid()),
               lockPath.c_str());
    host.EndAfterGrace(0);
  }
  return WaitUntilNoCommandHost(userDataPath, kEndedHostsWaitMs);
}
