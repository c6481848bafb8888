// OwnLogFile (see OwnLogFile.h).
#include "foundation/diag/OwnLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <set>

namespace {

// Says `text` on standard error the first time `path` is refused.
bool SayOnce(const std::string& path, const std::string& text) {
  static std::mutex lock;
  static std::set<std::string>* said = new std::set<std::string>;  // Kept until exit.
  {
    std::lock_guard<std::mutex> hold(lock);
    if (!said->insert(path).second) return false;
  }
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  return true;
}

int Refuse(int fd, const std::string& path, const std::string& why, std::string* refusal) {
  if (fd >= 0) ::close(fd);
  const std::string text = RefusedLogText(path, why);
  if (SayOnce(path, text) && refusal != nullptr) *refusal = text;
  return -1;
}

}  // namespace

std::string RefusedLogText(const std::string& path, const std::string& why) {
  return "The log file '" + path + "' " + why + "; nothing is written to it.";
}

int OpenOwnLogFile(const std::string& path, mode_t mode, std::string* refusal) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 && errno == ELOOP) return Refuse(-1, path, "is a link", refusal);
  if (fd < 0 && errno == ENXIO) return Refuse(-1, path, "is not a plain file", refusal);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    return -1;
  }
  if (!S_ISREG(info.st_mode)) return Refuse(fd, path, "is not a plain file", refusal);
  if (info.st_uid != ::geteuid()) {
    return Refuse(fd, path,
                  "belongs to user " + std::to_string(info.st_uid) + ", not to this user (" +
                      std::to_string(::geteuid()) + ")",
                  refusal);
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}
