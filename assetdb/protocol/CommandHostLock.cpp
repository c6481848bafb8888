#include "assetdb/protocol/CommandHostLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "foundation/base/LogMessage.h"

namespace {

// How often a waiting daemon looks whether the hosts have ended.
constexpr auto kPollStep = std::chrono::milliseconds(5);

std::string LockPath(const std::string& userDataPath) {
  std::string path = userDataPath;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + kCommandHostLockFile;
}

// The lock file, opened as the header says; -1 (logged) when it cannot be
// used.
int OpenLockFile(const std::string& path) {
  const int fd =
      ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) {
    LogMessage("CommandHostLock> cannot open \"%s\" (errno %d)", path.c_str(), errno);
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
    LogMessage("CommandHostLock> \"%s\" is not a file of this user; not using it", path.c_str());
    ::close(fd);
    return -1;
  }
  return fd;
}

bool Flock(int fd, int operation) {
  while (::flock(fd, operation) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

bool HoldCommandHostLock(const std::string& userDataPath) {
  const std::string path = LockPath(userDataPath);
  const int fd = OpenLockFile(path);
  if (fd < 0) return false;
  // A daemon holds it exclusively only for a moment at its start.
  if (!Flock(fd, LOCK_SH)) {
    LogMessage("CommandHostLock> cannot lock \"%s\" (errno %d)", path.c_str(), errno);
    ::close(fd);
    return false;
  }
  return true;  // held until the process ends: the descriptor stays open
}

bool WaitUntilNoCommandHost(const std::string& userDataPath, uint32_t waitMs) {
  const std::string path = LockPath(userDataPath);
  const int fd = OpenLockFile(path);
  if (fd < 0) return true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  bool logged = false;
  for (;;) {
    if (Flock(fd, LOCK_EX | LOCK_NB)) break;
    if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
      LogMessage("vaddaemon> command hosts still run after %u ms; going on", waitMs);
      ::close(fd);
      return false;
    }
    if (!logged) {
      LogMessage("vaddaemon> waiting for command hosts to end");
      logged = true;
    }
    std::this_thread::sleep_for(kPollStep);
  }
  ::close(fd);  // lets the hold go
  return true;
}
