#include "foundation/base/FdTransfer.h"

#include <unistd.h>

#include <cerrno>

bool WriteFd(int fd, const void* data, size_t size) {
  const auto* at = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t wrote = ::write(fd, at, size);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    at += wrote;
    size -= size_t(wrote);
  }
  return true;
}

bool ReadFd(int fd, void* data, size_t size) {
  auto* at = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = ::read(fd, at, size);
    if (got < 0 && errno == EINTR) continue;
    if (got == 0) errno = 0;
    if (got <= 0) return false;
    at += got;
    size -= size_t(got);
  }
  return true;
}
