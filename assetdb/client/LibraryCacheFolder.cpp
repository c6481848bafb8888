#include "assetdb/client/LibraryCacheFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/base/FdTransfer.h"
#include "foundation/base/LogMessage.h"
#include "kiv/File.h"

namespace {

constexpr const char* kFolders[] = {"cache", "libraries"};
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

int OpenAt(int folder, const char* name, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::openat(folder, name, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Why the entry `name` of the folder open as `parent` did not open as a
// folder (`error`, from the open); `last`: it is the cache folder itself,
// else a folder on its way (named `path`).
std::string FolderProblem(int parent, const char* name, int error, bool last,
                          const std::string& path) {
  struct stat own {};
  const bool link = ::fstatat(parent, name, &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(own.st_mode);
  if (link && !last) return "'" + path + "' is a link, which the cache does not follow";
  struct stat target {};
  if (link && ::fstatat(parent, name, &target, 0) != 0) return "it is a link that leads nowhere";
  if (link) return "it is a link, which the cache does not follow";
  if (error == ENOTDIR && last) return "it is not a folder";
  return std::string("it cannot be reached: ") + std::strerror(error);
}

// Opens the folders below `userData` (made when missing) into `*fd`; what
// keeps them from serving as the cache, or empty.
std::string OpenFolders(const std::string& userData, int* fd) {
  int at = OpenAt(AT_FDCWD, userData.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (at < 0) return std::string("it cannot be reached: ") + std::strerror(errno);
  std::string path = userData;
  for (const char* name : kFolders) {
    path += std::string("/") + name;
    ::mkdirat(at, name, 0777);
    const int next = OpenAt(at, name, kFolderFlags);
    const int error = errno;
    const bool last = name == kFolders[1];
    std::string problem = next < 0 ? FolderProblem(at, name, error, last, path) : std::string();
    ::close(at);
    if (!problem.empty()) return problem;
    at = next;
  }
  if (::faccessat(at, ".", W_OK | X_OK, AT_EACCESS) != 0) {
    const int error = errno;
    ::close(at);
    return std::string("it cannot be written: ") + std::strerror(error);
  }
  *fd = at;
  return std::string();
}


}  // namespace

LibraryCacheFolder::~LibraryCacheFolder() {
  if (fd_ >= 0) ::close(fd_);
}

bool LibraryCacheFolder::Open(const Kiv::String& userData) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  path_ = userData + "/" + kFolders[0] + "/" + kFolders[1];
  const std::string problem = OpenFolders(userData, &fd_);
  if (problem.empty()) return true;
  static std::string lastSaid;
  const std::string said = path_ + "\n" + problem;
  if (said != lastSaid) {
    LogMessage(
        "ScriptLibraryCache> the compiled-script cache '%s' cannot be used (%s); scripts "
        "are compiled without it",
        path_.c_str(), problem.c_str());
    lastSaid = said;
  }
  return false;
}

LibraryCacheFolder::Entry LibraryCacheFolder::ReadEntry(const Kiv::String& name, int64_t limit,
                                                        std::vector<uint8_t>* bytes,
                                                        int64_t* size) const {
  const int fd = OpenAt(fd_, name.c_str(),
                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? Entry::kMissing : Entry::kRefused;
  struct stat info {};
  Entry entry = Entry::kRefused;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    *size = info.st_size;
    entry = Entry::kTooLarge;
  }
  if (entry == Entry::kTooLarge && info.st_size <= limit) {
    bytes->resize(size_t(info.st_size));
    entry = ReadFd(fd, bytes->data(), bytes->size()) ? Entry::kRead : Entry::kRefused;
  }
  ::close(fd);
  return entry;
}

bool LibraryCacheFolder::WriteEntry(const Kiv::String& name, const void* data,
                                    size_t size) const {
  static std::atomic<uint32_t> counter{0};
  const std::string temporary = Kiv::StringPrintf("%s.%d-%u.tmp", name.c_str(), int(::getpid()),
                                                  counter.fetch_add(1));
  const int fd = OpenAt(fd_, temporary.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = WriteFd(fd, data, size) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::renameat(fd_, temporary.c_str(), fd_, name.c_str()) == 0;
  if (!ok) ::unlinkat(fd_, temporary.c_str(), 0);
  return ok;
}

void LibraryCacheFolder::RemoveEntry(const Kiv::String& name) const {
  struct stat info {};
  if (::fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    Kiv::File::PruneAt(fd_, name);
    return;
  }
  ::unlinkat(fd_, name.c_str(), 0);
}

std::function<void()> LibraryCacheFolder::Remover(const Kiv::String& name) const {
  const int own = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  // Without a descriptor to spare, a commit stays: the file is whole.
  if (own < 0) return [] {};
  const auto folder = std::shared_ptr<int>(new int(own), [](int* fd) {
    ::close(*fd);
    delete fd;
  });
  return [folder, name] { ::unlinkat(*folder, name.c_str(), 0); };
}
