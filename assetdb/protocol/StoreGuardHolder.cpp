#include "assetdb/protocol/StoreGuardHolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

uint32_t FlockHolder(dev_t device, ino_t inode) {
  char file[64];
  std::snprintf(file, sizeof file, "%02x:%02x:%llu", major(device), minor(device),
                static_cast<unsigned long long>(inode));
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, named;
    uint32_t pid = 0;
    if (!(fields >> number >> kind) || kind != "FLOCK") continue;
    if (fields >> mode >> access >> pid >> named && named == file) return pid;
  }
  return 0;
}

uint32_t StoreGuardHolder(const std::string& userDataPath) {
  struct stat folder {};
  if (::stat(userDataPath.c_str(), &folder) != 0) return 0;
  return FlockHolder(folder.st_dev, folder.st_ino);
}

bool StoreGuardFree(const std::string& userDataPath) {
  const int fd = ::open(userDataPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  const bool free = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
  ::close(fd);  // lets the shared hold go
  return free;
}
