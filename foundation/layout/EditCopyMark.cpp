// EditCopyMark (see EditCopyMark.h).
#include "foundation/layout/EditCopyMark.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/layout/AssetFolderEntries.h"
#include "foundation/text/Sha256.h"

namespace {

constexpr const char kAttribute[] = "user.vandru.edit-copy";
constexpr uint8_t kFormat = 1;
constexpr int kMarkAttempts = 20;

using Mark = std::array<uint8_t, 1 + sizeof(Sha256::Digest)>;

int64_t Nanoseconds(const timespec& t) {
  return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The file system's clock: a file written now gets this time or a later one.
int64_t FileClockNow() {
  timespec now = {};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return Nanoseconds(now);
}

class Fingerprint {
 public:
  // `since`: a file whose time is this or later was written while the
  // description was taken.
  explicit Fingerprint(int64_t since) : since_(since) {}

  void Number(uint64_t value) {
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(value >> (8 * i));
    hash_.Add(bytes, sizeof bytes);
  }

  // The entries of the folder open at `fd`, whose path below the copy is
  // `prefix`; false when it cannot be read whole.
  bool Folder(int fd, const std::string& prefix, uint32_t depth) {
    if (depth > kMaxEntrySearchDepth) return false;
    std::vector<std::string> names;
    if (!List(fd, &names)) return false;
    for (const std::string& name : names) {
      struct stat info = {};
      if (::fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
      const std::string path = prefix + name;
      hash_.Add(path.c_str(), path.size() + 1);
      const char type = S_ISDIR(info.st_mode) ? 'd' : S_ISREG(info.st_mode) ? 'f' : 'o';
      hash_.Add(&type, 1);
      Number(info.st_dev);
      Number(info.st_ino);
      if (type == 'f') {
        const int64_t written = Nanoseconds(info.st_mtim);
        Number(uint64_t(info.st_size));
        Number(uint64_t(written));
        if (written >= since_) earliestRecent_ = std::min(earliestRecent_, written);
      }
      if (type == 'd' && !Below(fd, name, info, path + "/", depth + 1)) return false;
    }
    return true;
  }

  // Whether a file's time is one a save made during the description could
  // have, so that a later save of the same size would look the same.
  bool Unsettled(int64_t until) const { return earliestRecent_ <= until; }
  Sha256::Digest Finish() { return hash_.Finish(); }

 private:
  static bool List(int fd, std::vector<std::string>* names) {
    const int listed = ::dup(fd);
    DIR* dir = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (dir == nullptr) {
      if (listed >= 0) ::close(listed);
      return false;
    }
    ::rewinddir(dir);
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
        names->push_back(entry->d_name);
    }
    const bool whole = errno == 0;
    ::closedir(dir);
    std::sort(names->begin(), names->end());
    return whole;
  }

  // The folder `name` of `fd`, described when it is still the one `info`
  // saw.
  bool Below(int fd, const std::string& name, const struct stat& info, const std::string& prefix,
             uint32_t depth) {
    const int child =
        ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (child < 0) return false;
    struct stat opened = {};
    const bool same = ::fstat(child, &opened) == 0 && opened.st_dev == info.st_dev &&
                      opened.st_ino == info.st_ino;
    const bool described = same && Folder(child, prefix, depth);
    ::close(child);
    return described;
  }

  Sha256 hash_;
  int64_t since_;
  int64_t earliestRecent_ = INT64_MAX;
};

// The folder at `path` itself, never through a link; -1 when it is none.
int OpenFolder(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

// The mark of the folder open at `fd` as it is now; false when it cannot
// be read whole. `*unsettled` tells whether a file was written in the
// clock tick in which it was read (see Fingerprint::Unsettled).
bool Describe(int fd, Mark* mark, bool* unsettled) {
  struct stat self = {};
  if (::fstat(fd, &self) != 0) return false;
  Fingerprint fingerprint(FileClockNow());
  fingerprint.Number(self.st_dev);
  fingerprint.Number(self.st_ino);
  if (!fingerprint.Folder(fd, std::string(), 0)) return false;
  *unsettled = fingerprint.Unsettled(FileClockNow());
  (*mark)[0] = kFormat;
  const Sha256::Digest digest = fingerprint.Finish();
  std::copy(digest.begin(), digest.end(), mark->begin() + 1);
  return true;
}

bool MarkOpenFolder(int fd) {
  for (int attempt = 0; attempt < kMarkAttempts; ++attempt) {
    Mark mark;
    bool unsettled = false;
    if (!Describe(fd, &mark, &unsettled)) return false;
    if (!unsettled) return ::fsetxattr(fd, kAttribute, mark.data(), mark.size(), 0) == 0;
    // Wait for the next tick, in which no save can look like this one.
    const timespec pause = {0, 1000000};
    ::nanosleep(&pause, nullptr);
  }
  return false;
}

}  // namespace

bool MarkAsMade(const std::string& folder) {
  const int fd = OpenFolder(folder);
  if (fd < 0) return false;
  const bool marked = MarkOpenFolder(fd);
  ::close(fd);
  return marked;
}

bool HoldsOnlyWhatWasMade(const std::string& folder) {
  const int fd = OpenFolder(folder);
  if (fd < 0) return false;
  Mark kept;
  Mark now;
  bool unsettled = false;
  const bool same = ::fgetxattr(fd, kAttribute, kept.data(), kept.size()) == ssize_t(kept.size()) &&
                    Describe(fd, &now, &unsettled) && kept == now;
  ::close(fd);
  return same;
}

void ForgetMark(const std::string& folder) {
  const int fd = OpenFolder(folder);
  if (fd < 0) return;
  ::fremovexattr(fd, kAttribute);
  ::close(fd);
}
