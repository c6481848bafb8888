// SyncedWrites (see SyncedWrites.h).
#include "tests/vaddaemon/syncedwrites/SyncedWrites.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <set>
#include <string>
#include <utility>

namespace syncedwrites {
namespace {

using Identity = std::pair<dev_t, ino_t>;
const Identity kNone{0, 0};

uint64_t count = 0;
uint64_t fileSystemFlushes = 0;
bool failFileSystem = false;
std::string failedName;
std::set<Identity> flushed;

Identity IdentityOf(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 ? Identity{info.st_dev, info.st_ino} : kNone;
}

// Whether `fd` is open on a file or folder of the name whose flushes fail.
bool Fails(int fd) {
  char link[PATH_MAX];
  const ssize_t size = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, sizeof link);
  const std::string path(link, size_t(size > 0 ? size : 0));
  return !failedName.empty() && path.substr(path.rfind('/') + 1) == failedName;
}

// The system call's result, noting what it flushed.
int Flushing(int fd, long result) {
  if (result == 0) flushed.insert(IdentityOf(fd));
  return int(result);
}

int Failed() {
  errno = EIO;
  return -1;
}

}  // namespace

uint64_t Count() {
  return count;
}

uint64_t FileSystemFlushes() {
  return fileSystemFlushes;
}

bool Flushed(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && flushed.count({info.st_dev, info.st_ino}) != 0;
}

void FailNextFileSystemFlush() {
  failFileSystem = true;
}

void FailFlushesOf(const std::string& name) {
  failedName = name;
}

void ClearFaults() {
  failFileSystem = false;
  failedName.clear();
}

}  // namespace syncedwrites

using namespace syncedwrites;

extern "C" int fsync(int fd) {
  ++count;
  if (Fails(fd)) return Failed();
  return Flushing(fd, syscall(SYS_fsync, fd));
}

extern "C" int fdatasync(int fd) {
  ++count;
  return Flushing(fd, syscall(SYS_fdatasync, fd));
}

extern "C" int syncfs(int fd) noexcept {
  ++count;
  ++fileSystemFlushes;
  if (std::exchange(failFileSystem, false)) return Failed();
  return int(syscall(SYS_syncfs, fd));
}

extern "C" int sync_file_range(int fd, __off64_t offset, __off64_t bytes, unsigned int flags) {
  ++count;
  return int(syscall(SYS_sync_file_range, fd, offset, bytes, flags));
}
