// SyncedWrites (see SyncedWrites.h).
#include "tests/vaddaemon/syncedwrites/SyncedWrites.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <string>

namespace syncedwrites {
namespace {

std::atomic<uint64_t> count{0};
std::atomic<uint64_t> fileSystemFlushes{0};
std::atomic<bool> failFileSystem{false};
std::string failedFolder;

// Whether `fd` is open on the folder whose flushes fail.
bool FailsFolder(int fd) {
  if (failedFolder.empty()) return false;
  char link[PATH_MAX];
  const std::string name = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t size = readlink(name.c_str(), link, sizeof link);
  return size > 0 && std::string(link, size_t(size)) == failedFolder;
}

int Failed() {
  errno = EIO;
  return -1;
}

}  // namespace

uint64_t Count() {
  return count.load();
}

uint64_t FileSystemFlushes() {
  return fileSystemFlushes.load();
}

void FailNextFileSystemFlush() {
  failFileSystem = true;
}

void FailFlushesOf(const std::string& path) {
  failedFolder = path;
}

void ClearFaults() {
  failFileSystem = false;
  failedFolder.clear();
}

}  // namespace syncedwrites

using namespace syncedwrites;

extern "C" int fsync(int fd) {
  ++count;
  if (FailsFolder(fd)) return Failed();
  return int(syscall(SYS_fsync, fd));
}

extern "C" int fdatasync(int fd) {
  ++count;
  return int(syscall(SYS_fdatasync, fd));
}

extern "C" int syncfs(int fd) noexcept {
  ++count;
  ++fileSystemFlushes;
  if (failFileSystem.exchange(false)) return Failed();
  return int(syscall(SYS_syncfs, fd));
}

extern "C" int sync_file_range(int fd, __off64_t offset, __off64_t bytes, unsigned int flags) {
  ++count;
  return int(syscall(SYS_sync_file_range, fd, offset, bytes, flags));
}
