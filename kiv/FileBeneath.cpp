// BeneathFolder (see FileBeneath.h).
#include "kiv/FileBeneath.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <vector>

#include "kiv/String.h"

namespace Kiv {

namespace {

using Outcome = BeneathFolder::Outcome;
using Opened = BeneathFolder::Opened;

Opened Result(Outcome outcome, int error = 0) {
  Opened opened;
  opened.outcome = outcome;
  opened.error = error;
  return opened;
}

// The components of `path`, without empty and "." ones.
std::vector<std::string> Split(std::string_view path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (!part.empty() && part != ".") parts.emplace_back(part);
    start = end + 1;
  }
  return parts;
}

int OpenAtNoIntr(int folder, const std::string& name, int flags) {
  int fd;
  do {
    fd = ::openat(folder, name.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// The entry of the folder open as `folder` equal to `name` but for ASCII
// case, the first in byte order; "" when there is none.
std::string FindOtherCase(int folder, const std::string& name) {
  const int fd = OpenAtNoIntr(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::string();
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return std::string();
  }
  std::vector<std::string> found;
  while (const dirent* entry = ::readdir(dir)) {
    if (EqualsIgnoreCase(entry->d_name, name)) found.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  if (found.empty()) return std::string();
  return *std::min_element(found.begin(), found.end());
}

// One resolution: the folders entered below the root (descriptors owned),
// or, once above it, the path by name.
class Walk {
 public:
  Walk(const BeneathFolder& root, std::string_view relative, bool exactCase)
      : root_(root), realParts_(Split(root.RealPath())), exactCase_(exactCase) {
    const std::vector<std::string> parts = Split(relative);
    pending_.assign(parts.begin(), parts.end());
  }
  ~Walk() { CloseFolders(); }
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

  Opened Run();

 private:
  int Top() const { return folders_.empty() ? root_.Descriptor() : folders_.back(); }
  void CloseFolders() {
    for (const int fd : folders_) ::close(fd);
    folders_.clear();
  }
  // Takes `target` in place of the link just met; false when it cannot be.
  bool FollowLink(const std::string& target, Opened* failure);
  // A step above the folder, by name; false when it has left it for good.
  bool StepOutside(const std::string& part);
  Opened EnterFolder(const std::string& name, bool* entered);
  Opened OpenLast(const std::string& name, bool* done);

  const BeneathFolder& root_;
  const std::vector<std::string> realParts_;
  const bool exactCase_;  // No component is taken in another case.
  std::deque<std::string> pending_;
  std::vector<int> folders_;
  std::vector<std::string> outside_;  // The path by name while above the root.
  bool isOutside_ = false;
  int links_ = 0;
};

bool Walk::FollowLink(const std::string& target, Opened* failure) {
  if (++links_ > BeneathFolder::kMaxLinks) {
    *failure = Result(Outcome::kFailed, ELOOP);
    return false;
  }
  if (target.empty()) {
    *failure = Result(Outcome::kMissing, ENOENT);
    return false;
  }
  const std::vector<std::string> parts = Split(target);
  pending_.insert(pending_.begin(), parts.begin(), parts.end());
  if (target[0] == '/') {
    if (realParts_.empty()) {
      *failure = Result(Outcome::kLeavesFolder);
      return false;
    }
    CloseFolders();
    outside_.clear();
    isOutside_ = true;
  }
  return true;
}

bool Walk::StepOutside(const std::string& part) {
  if (part == "..") {
    if (!outside_.empty()) outside_.pop_back();
  } else {
    outside_.push_back(part);
  }
  if (outside_ == realParts_) {
    isOutside_ = false;  // Back at the root.
    return true;
  }
  // Still on the way back only while it is above the root.
  return outside_.size() < realParts_.size() &&
         std::equal(outside_.begin(), outside_.end(), realParts_.begin());
}

// Enters the folder `name` of Top(); `*entered` false when the step was a
// link (its target now pending) or failed (the answer).
Opened Walk::EnterFolder(const std::string& name, bool* entered) {
  *entered = false;
  std::string spelled = name;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = OpenAtNoIntr(Top(), spelled, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
      if (folders_.size() >= BeneathFolder::kMaxDepth) {
        ::close(fd);
        return Result(Outcome::kFailed, ENAMETOOLONG);
      }
      folders_.push_back(fd);
      *entered = true;
      return Result(Outcome::kOpened);
    }
    if (fd >= 0) {
      ::close(fd);
      errno = ELOOP;  // A link opened as itself.
    }
    if (errno == ENOENT && attempt == 0 && !exactCase_) {
      spelled = FindOtherCase(Top(), name);
      if (!spelled.empty()) continue;
      return Result(Outcome::kMissing, ENOENT);
    }
    if (errno == ENOENT) return Result(Outcome::kMissing, ENOENT);
    if (errno != ENOTDIR && errno != ELOOP) return Result(Outcome::kFailed, errno);
    char target[PATH_MAX];
    const ssize_t length = ::readlinkat(Top(), spelled.c_str(), target, sizeof target);
    if (length < 0) {
      return errno == EINVAL ? Result(Outcome::kMissing, ENOTDIR) : Result(Outcome::kFailed, errno);
    }
    if (size_t(length) >= sizeof target) return Result(Outcome::kFailed, ENAMETOOLONG);
    Opened failure;
    if (!FollowLink(std::string(target, size_t(length)), &failure)) return failure;
    return Result(Outcome::kOpened);
  }
  return Result(Outcome::kMissing, ENOENT);
}

// Opens the last component `name` of Top(); `*done` false when it was a
// link whose target is now pending.
Opened Walk::OpenLast(const std::string& name, bool* done) {
  *done = true;
  std::string spelled = name;
  bool caseTried = false;
  for (;;) {
    const int fd =
        OpenAtNoIntr(Top(), spelled, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
      struct stat info {};
      Opened opened;
      if (::fstat(fd, &info) != 0) {
        opened = Result(Outcome::kFailed, errno);
      } else if (S_ISREG(info.st_mode)) {
        opened = Result(Outcome::kOpened);
        opened.fd = fd;
        return opened;
      } else {
        opened = Result(S_ISDIR(info.st_mode) ? Outcome::kFolder : Outcome::kNotPlain);
      }
      ::close(fd);
      return opened;
    }
    if (errno == ENOENT && !caseTried && !exactCase_) {
      caseTried = true;
      spelled = FindOtherCase(Top(), name);
      if (!spelled.empty()) continue;
      return Result(Outcome::kMissing, ENOENT);
    }
    if (errno == ENXIO) return Result(Outcome::kNotPlain);  // A socket.
    if (errno != ELOOP)
      return Result(errno == ENOENT ? Outcome::kMissing : Outcome::kFailed, errno);
    char target[PATH_MAX];
    const ssize_t length = ::readlinkat(Top(), spelled.c_str(), target, sizeof target);
    if (length < 0 && errno == EINVAL) {
      // No longer a link: it changed meanwhile; look again (bounded by the
      // count of links).
      if (++links_ > BeneathFolder::kMaxLinks) return Result(Outcome::kFailed, ELOOP);
      continue;
    }
    if (length < 0) return Result(Outcome::kFailed, errno);
    if (size_t(length) >= sizeof target) return Result(Outcome::kFailed, ENAMETOOLONG);
    Opened failure;
    if (!FollowLink(std::string(target, size_t(length)), &failure)) return failure;
    *done = false;
    return Result(Outcome::kOpened);
  }
}

Opened Walk::Run() {
  size_t steps = 0;
  while (!pending_.empty()) {
    if (++steps > BeneathFolder::kMaxSteps) return Result(Outcome::kFailed, ELOOP);
    const std::string part = std::move(pending_.front());
    pending_.pop_front();
    if (isOutside_) {
      if (!StepOutside(part)) return Result(Outcome::kLeavesFolder);
      continue;
    }
    if (part == "..") {
      if (!folders_.empty()) {
        ::close(folders_.back());
        folders_.pop_back();
        continue;
      }
      if (realParts_.empty()) return Result(Outcome::kLeavesFolder);
      outside_ = realParts_;
      isOutside_ = true;
      if (!StepOutside(part)) return Result(Outcome::kLeavesFolder);
      continue;
    }
    if (!pending_.empty()) {
      bool entered = false;
      const Opened step = EnterFolder(part, &entered);
      if (!entered && step.outcome != Outcome::kOpened) return step;
      continue;
    }
    bool done = false;
    const Opened last = OpenLast(part, &done);
    if (done) return last;
  }
  // The walk ended on a folder: the root, one below it, or one above it.
  return Result(isOutside_ ? Outcome::kLeavesFolder : Outcome::kFolder);
}

}  // namespace

BeneathFolder::~BeneathFolder() {
  if (fd_ >= 0) ::close(fd_);
}

bool BeneathFolder::Open(const std::string& folder) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  real_.clear();
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  fd_ = fd;
  char real[PATH_MAX];
  if (::realpath(folder.empty() ? "." : folder.c_str(), real) != nullptr) real_ = real;
  return true;
}

BeneathFolder::Opened BeneathFolder::OpenFile(std::string_view relative, bool exactCase) const {
  if (fd_ < 0) return Result(Outcome::kFailed, EBADF);
  Walk walk(*this, relative, exactCase);
  return walk.Run();
}

}  // namespace Kiv
