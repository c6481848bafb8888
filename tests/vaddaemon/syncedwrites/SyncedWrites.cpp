// SyncedWrites (see SyncedWrites.h).
#include "tests/vaddaemon/syncedwrites/SyncedWrites.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <mutex>
#include <set>
#include <string>
#include <utility>

namespace syncedwrites {
namespace {

std::atomic<uint64_t> count{0};
std::atomic<uint64_t> fileSystemFlushes{0};
std::atomic<bool> failFileSystem{false};
std::string failedFolder;
std::mutex flushedMutex;
std::set<std::pair<dev_t, ino_t>> flushed;  // by fsync or fdatasync

void NoteFlushed(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return;
  std::lock_guard<std::mutex> lock(flushedMutex);
  flushed.insert({info.st_dev, info.st_ino});
}

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

bool Flushed(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return false;
  std::lock_guard<std::mutex> lock(flushedMutex);
  return flushed.count({info.st_dev, info.st_ino}) != 0;
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
  const int result = int(syscall(SYS_fsync, fd));
  if (result == 0) NoteFlushed(fd);
  return result;
}

extern "C" int fdatasync(int fd) {
  ++count;
  const int result = int(syscall(SYS_fdatasync, fd));
  if (result == 0) NoteFlushed(fd);
  return result;
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
