// OwnFile (see OwnFile.h).
#include "foundation/base/OwnFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

int Refuse(int fd, const std::string& why, std::string* out) {
  if (fd >= 0) ::close(fd);
  *out = why;
  return -1;
}

}  // namespace

int OpenOwnFile(const std::string& path, int flags, mode_t mode, std::string* why) {
  why->clear();
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  // ELOOP: the name is a link; ENXIO: a pipe without a reader, or a socket.
  if (fd < 0 && errno == ELOOP) return Refuse(-1, "is a link", why);
  if (fd < 0 && errno == ENXIO) return Refuse(-1, "is not a plain file", why);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  if (!S_ISREG(info.st_mode)) return Refuse(fd, "is not a plain file", why);
  if (info.st_uid != ::geteuid()) {
    return Refuse(fd,
                  "belongs to user " + std::to_string(info.st_uid) + ", not to this user (" +
                      std::to_string(::geteuid()) + ")",
                  why);
  }
  return fd;
}
