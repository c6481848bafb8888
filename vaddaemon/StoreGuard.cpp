#include "vaddaemon/StoreGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// The process that holds a flock on the file `info` describes, from
// /proc/locks ("1: FLOCK  ADVISORY  WRITE <pid> <major>:<minor>:<inode>
// 0 EOF"; a waiter's line has "->" after the number); 0 when none is named.
uint32_t FlockHolder(const struct stat& info) {
  char device[64];
  std::snprintf(device, sizeof device, "%02x:%02x:%llu", major(info.st_dev), minor(info.st_dev),
                static_cast<unsigned long long>(info.st_ino));
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, file;
    uint32_t pid = 0;
    if (!(fields >> number >> kind) || kind != "FLOCK") continue;
    if (fields >> mode >> access >> pid >> file && file == device) return pid;
  }
  return 0;
}

}  // namespace

StoreGuard HoldStoreGuard(const std::string& userDataPath) {
  StoreGuard guard;
  const int fd = ::open(userDataPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    guard.error = errno;
    return guard;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    guard.state = StoreGuard::kHeld;
    return guard;  // the descriptor stays open for the process's life
  }
  guard.error = errno;
  struct stat info {};
  if (guard.error == EWOULDBLOCK) {
    guard.state = StoreGuard::kHeldByAnother;
    if (::fstat(fd, &info) == 0) guard.holder = FlockHolder(info);
  }
  ::close(fd);
  return guard;
}
