#include "vaddaemon/StoreGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "assetdb/protocol/StoreGuardHolder.h"

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
    if (::fstat(fd, &info) == 0) guard.holder = FlockHolder(info.st_dev, info.st_ino);
  }
  ::close(fd);
  return guard;
}
