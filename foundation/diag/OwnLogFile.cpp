// OwnLogFile (see OwnLogFile.h).
#include "foundation/diag/OwnLogFile.h"

#include <fcntl.h>

#include <cstdio>
#include <mutex>
#include <set>

#include "foundation/base/OwnFile.h"

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

int Refuse(const std::string& path, const std::string& why, std::string* refusal) {
  const std::string text = RefusedLogText(path, why);
  if (SayOnce(path, text) && refusal != nullptr) *refusal = text;
  return -1;
}

}  // namespace

std::string RefusedLogText(const std::string& path, const std::string& why) {
  return "The log file '" + path + "' " + why + "; nothing is written to it.";
}

int OpenOwnLogFile(const std::string& path, mode_t mode, std::string* refusal) {
  std::string why;
  const int fd = OpenOwnFile(path, O_WRONLY | O_APPEND | O_CREAT, mode, &why);
  if (!why.empty()) return Refuse(path, why, refusal);
  if (fd < 0) return -1;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}
