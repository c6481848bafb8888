// Kiv::File: one open file on a POSIX descriptor.

#include "kiv/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "kiv/FileConfinement.h"

namespace Kiv {

namespace {

// Largest piece handed to one read(2) or write(2) call.
constexpr size_t kMaxPiece = size_t(1) << 30;

// open(2) flags for an engine mode; 0 when the mode grants no access.
int OpenFlags(uint32_t mode) {
  const bool read = (mode & (File::kRead | File::kReadAlt)) != 0;
  const bool create = (mode & File::kCreate) != 0;
  const bool write = (mode & File::kWriteMask) != 0 || create;
  int flags = O_CLOEXEC;
  if (read && write) {
    flags |= O_RDWR;
  } else if (write) {
    flags |= O_WRONLY;
  } else if (read) {
    flags |= O_RDONLY;
  } else {
    return 0;
  }
  // A file this process creates or empties is never reached through a link
  // at its own name, nor waited on as a pipe: whoever can write its folder
  // could plant either there (a temporary name beside a save, say).
  if (create) flags |= O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK;
  if ((mode & File::kRegularOnly) != 0) flags |= O_NONBLOCK;
  return flags;
}

// Whether an open descriptor may be kept: never a folder, and only a
// regular file when `regularOnly`. `*size` is the size of a regular file
// (-1 for anything else).
bool Acceptable(int fd, bool regularOnly, int64_t* size) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return false;
  const bool regular = S_ISREG(st.st_mode);
  *size = regular ? int64_t(st.st_size) : -1;
  return regular || !regularOnly;
}

int OpenNoIntr(const String& path, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// A file being created keeps its own name exactly; only its folder is
// looked up without regard to case. Empty when the folder does not exist.
String ResolveCreatePath(const String& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == String::npos || slash == 0) return String();
  const String folder = path.substr(0, slash);
  const String found = File::Find::ResolveCase(folder);
  if (found.empty() || found == folder) return String();
  return found + path.substr(slash);
}

}  // namespace

File::File() = default;

File::~File() {
  Close();
}

bool File::Open(const String& path, uint32_t mode, uint32_t /*reserved*/) {
  Close();
  int flags = OpenFlags(mode);
  if (flags == 0 || path.empty()) return false;

  String opened = path;
  int fd = -1;
  const bool ownerOnly = (mode & (kOwnerOnly | kCreate)) == (kOwnerOnly | kCreate);
  const mode_t createMode = ownerOnly ? 0600 : 0666;
  const bool readOnly = (flags & (O_WRONLY | O_RDWR | O_CREAT)) == 0;
  const bool exact = (mode & kExactCase) != 0;
  if (readOnly && OpenConfined(path, &fd, exact)) {
    if (fd < 0) return false;
    struct stat st;
    if (!exact && ::lstat(path.c_str(), &st) != 0) {
      const String found = Find::ResolveCase(path);
      if (!found.empty()) opened = found;
    }
    flags |= O_NONBLOCK;  // As the confined open left it.
  } else {
    fd = OpenNoIntr(opened, flags, createMode);
  }
  if (fd < 0 && errno == ENOENT && !exact) {
    opened = (flags & O_CREAT) ? ResolveCreatePath(path) : Find::ResolveCase(path);
    if (!opened.empty() && opened != path) fd = OpenNoIntr(opened, flags, createMode);
  }
  if (fd < 0) return false;

  int64_t size = -1;
  const bool regularOnly = (mode & (kRegularOnly | kCreate)) != 0;
  // An existing file keeps its mode when it is emptied: narrow it.
  if (!Acceptable(fd, regularOnly, &size) || (ownerOnly && ::fchmod(fd, 0600) != 0)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  position_ = size >= 0 ? 0 : -1;
  sizeAtOpen_ = size;
  nonBlocking_ = (flags & O_NONBLOCK) != 0;
  path_ = opened;
  mode_ = mode;
  return true;
}

bool File::Open(const PString& root, const String& name, uint32_t mode, uint32_t reserved) {
  if (root.Empty()) return Open(name, mode, reserved);
  Close();
  String path;
  if (!ResolveRooted(root, name, &path)) return false;
  return Open(path, mode, reserved);
}

bool File::Close() {
  const bool closed = fd_ < 0 || ::close(fd_) == 0;
  fd_ = -1;
  position_ = -1;
  sizeAtOpen_ = -1;
  nonBlocking_ = false;
  path_.clear();
  mode_ = 0;
  return closed;
}

uint32_t File::Read(void* dst, uint32_t size, uint32_t count) {
  const uint64_t total = uint64_t(size) * count;
  if (fd_ < 0 || dst == nullptr || total > std::numeric_limits<uint32_t>::max()) return 0;
  auto* out = static_cast<char*>(dst);
  size_t done = 0;
  while (done < total) {
    const size_t piece = std::min<size_t>(total - done, kMaxPiece);
    const ssize_t n = ::read(fd_, out + done, piece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN && MakeBlocking()) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  if (position_ >= 0) position_ += int64_t(done);
  return uint32_t(done);
}

uint32_t File::Write(const void* src, uint32_t size, uint32_t count) {
  const uint64_t total = uint64_t(size) * count;
  if (fd_ < 0 || src == nullptr || total > std::numeric_limits<uint32_t>::max()) return 0;
  const auto* in = static_cast<const char*>(src);
  size_t done = 0;
  while (done < total) {
    const size_t piece = std::min<size_t>(total - done, kMaxPiece);
    const ssize_t n = ::write(fd_, in + done, piece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN && MakeBlocking()) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  if (position_ >= 0) position_ += int64_t(done);
  return uint32_t(done);
}

bool File::MakeBlocking() {
  if (!nonBlocking_) return false;
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) return false;
  nonBlocking_ = false;
  return true;
}

int64_t File::Seek(int64_t offset, int whence) {
  if (fd_ < 0) return -1;
  int how;
  switch (whence) {
    case 0:
      how = SEEK_SET;
      break;
    case 1:
      how = SEEK_CUR;
      break;
    case 2:
      how = SEEK_END;
      break;
    default:
      return -1;
  }
  if (how == SEEK_CUR && offset == 0 && position_ >= 0) return position_;
  const int64_t moved = ::lseek(fd_, off_t(offset), how);
  if (moved >= 0 && position_ >= 0) position_ = moved;
  return moved;
}

int64_t File::Tell() const {
  if (fd_ < 0) return -1;
  if (position_ >= 0) return position_;
  return ::lseek(fd_, 0, SEEK_CUR);
}

int64_t File::Size() const {
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

bool File::Eof() const {
  if (fd_ < 0) return true;
  const int64_t pos = Tell();
  const int64_t size = Size();
  return pos < 0 || size < 0 || pos >= size;
}

bool File::Sync() {
  if (fd_ < 0) return false;
  return ::fsync(fd_) == 0;
}

}  // namespace Kiv
