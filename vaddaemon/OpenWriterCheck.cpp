#include "vaddaemon/OpenWriterCheck.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "foundation/base/LogMessage.h"
#include "vaddaemon/FolderTree.h"

namespace fs = std::filesystem;

namespace {

enum class Writers { kNone, kSome, kUnknown };

// A program that opens the file for writing while the lease is held breaks
// the lease by a signal to its holder, SIGIO, which by default ends the
// process. The lease is given up at once anyway: the signal is ignored,
// unless the process handles it itself.
void IgnoreLeaseBreaks() {
  static const bool ignored = [] {
    struct sigaction now = {};
    if (::sigaction(SIGIO, nullptr, &now) != 0 || now.sa_handler != SIG_DFL) return false;
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    return ::sigaction(SIGIO, &ignore, nullptr) == 0;
  }();
  (void)ignored;
}

// Asks for a read lease on `path` and gives it up at once; `*error` is the
// errno when the system could not tell.
Writers WritersOf(const std::string& path, int* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return Writers::kUnknown;
  }
  struct stat info = {};
  Writers writers = Writers::kNone;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    // Replaced by something else meanwhile: the copy judges it.
  } else if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
  } else if (errno == EAGAIN) {
    writers = Writers::kSome;
  } else {
    *error = errno;
    writers = Writers::kUnknown;
  }
  ::close(fd);
  return writers;
}

}  // namespace

StoreResult RefuseFilesOpenForWriting(const std::string& folder) {
  IgnoreLeaseBreaks();
  std::error_code ec;
  fs::recursive_directory_iterator it(folder, fs::directory_options::none, ec);
  bool logged = false;
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it.depth() >= int(kMaxFolderDepth)) it.disable_recursion_pending();
    std::error_code statError;
    if (!fs::is_regular_file(it->symlink_status(statError)) || statError) continue;
    const std::string path = it->path().string();
    int error = 0;
    const Writers writers = WritersOf(path, &error);
    if (writers == Writers::kSome)
      return StoreResult::Fail(StoreCode::kIoError,
                               "the file " + path +
                                   " is open for writing in another program: close it, then "
                                   "commit again");
    if (writers == Writers::kUnknown && !logged) {
      logged = true;
      LogMessage(
          "vaddaemon> commit: cannot tell whether %s is open for writing (%s); taken as it is",
          path.c_str(), std::strerror(error));
    }
  }
  return StoreResult::Success();
}
