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

// xxHash (libxxhash-dev) compiled in: no library to load at run time.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

constexpr const char kAttribute[] = "user.vandru.edit-copy";
constexpr uint8_t kFormat = 1;

// The attribute: kFormat, the time the mark was taken (8 bytes, little
// endian), the 128-bit XXH3 digest of the description (canonical order).
using Digest = XXH128_canonical_t;
using Mark = std::array<uint8_t, 1 + 8 + sizeof(Digest)>;

int64_t Nanoseconds(const timespec& t) {
  return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The file system's clock: a file written from now on gets this time or a
// later one.
int64_t FileClockNow() {
  timespec now = {};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return Nanoseconds(now);
}

// The description of a folder as it is, taken for a mark made at `since`.
// A file whose time is `since` or later may have been written in the same
// tick of the file system's clock as the mark, so that a later save of the
// same size would keep its time: its bytes are part of the description.
class Fingerprint {
 public:
  explicit Fingerprint(int64_t since) : since_(since) {
    XXH3_INITSTATE(&hash_);
    XXH3_128bits_reset(&hash_);
  }

  void Number(uint64_t value) {
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(value >> (8 * i));
    Add(bytes, sizeof bytes);
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
      Add(path.c_str(), path.size() + 1);
      const char type = S_ISDIR(info.st_mode) ? 'd' : S_ISREG(info.st_mode) ? 'f' : 'o';
      Add(&type, 1);
      Number(info.st_dev);
      Number(info.st_ino);
      if (type == 'f') {
        const int64_t written = Nanoseconds(info.st_mtim);
        Number(uint64_t(info.st_size));
        Number(uint64_t(written));
        if (written >= since_ && !Bytes(fd, name, info)) return false;
      }
      if (type == 'd' && !Below(fd, name, info, path + "/", depth + 1)) return false;
    }
    return true;
  }

  Digest Finish() {
    Digest digest;
    XXH128_canonicalFromHash(&digest, XXH3_128bits_digest(&hash_));
    return digest;
  }

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

  // Opens the entry `name` of `fd` when it is still the one `info` saw; -1
  // otherwise.
  static int OpenSame(int fd, const std::string& name, const struct stat& info, int flags) {
    const int opened = ::openat(fd, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat now = {};
    if (opened >= 0 && ::fstat(opened, &now) == 0 && now.st_dev == info.st_dev &&
        now.st_ino == info.st_ino)
      return opened;
    if (opened >= 0) ::close(opened);
    return -1;
  }

  // The bytes of the file `name` of `fd`.
  bool Bytes(int fd, const std::string& name, const struct stat& info) {
    const int file = OpenSame(fd, name, info, O_RDONLY);
    if (file < 0) return false;
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::read(file, buffer, sizeof buffer)) > 0) Add(buffer, size_t(got));
    ::close(file);
    return got == 0;
  }

  // The folder `name` of `fd`, described when it is still the one `info`
  // saw.
  bool Below(int fd, const std::string& name, const struct stat& info, const std::string& prefix,
             uint32_t depth) {
    const int child = OpenSame(fd, name, info, O_RDONLY | O_DIRECTORY);
    if (child < 0) return false;
    const bool described = Folder(child, prefix, depth);
    ::close(child);
    return described;
  }

  void Add(const void* data, size_t size) { XXH3_128bits_update(&hash_, data, size); }

  XXH3_state_t hash_;
  int64_t since_;
};

// The folder at `path` itself, never through a link; -1 when it is none.
int OpenFolder(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

// The mark of the folder open at `fd` as it is now, for a mark taken at
// `since`; false when it cannot be read whole.
bool Describe(int fd, int64_t since, Mark* mark) {
  struct stat self = {};
  if (::fstat(fd, &self) != 0) return false;
  Fingerprint fingerprint(since);
  fingerprint.Number(uint64_t(since));
  fingerprint.Number(self.st_dev);
  fingerprint.Number(self.st_ino);
  if (!fingerprint.Folder(fd, std::string(), 0)) return false;
  (*mark)[0] = kFormat;
  for (int i = 0; i < 8; ++i) (*mark)[1 + i] = uint8_t(uint64_t(since) >> (8 * i));
  const Digest digest = fingerprint.Finish();
  std::copy(std::begin(digest.digest), std::end(digest.digest), mark->begin() + 9);
  return true;
}

int64_t MarkTime(const Mark& mark) {
  uint64_t since = 0;
  for (int i = 7; i >= 0; --i) since = (since << 8) | mark[1 + i];
  return int64_t(since);
}

}  // namespace

bool MarkAsMade(const std::string& folder) {
  const int fd = OpenFolder(folder);
  if (fd < 0) return false;
  Mark mark;
  const bool marked = Describe(fd, FileClockNow(), &mark) &&
                      ::fsetxattr(fd, kAttribute, mark.data(), mark.size(), 0) == 0;
  ::close(fd);
  return marked;
}

bool HoldsOnlyWhatWasMade(const std::string& folder) {
  const int fd = OpenFolder(folder);
  if (fd < 0) return false;
  Mark kept;
  Mark now;
  const bool same = ::fgetxattr(fd, kAttribute, kept.data(), kept.size()) == ssize_t(kept.size()) &&
                    kept[0] == kFormat && Describe(fd, MarkTime(kept), &now) && kept == now;
  ::close(fd);
  return same;
}

void ForgetMark(const std::string& folder) {
  const int fd = OpenFolder(folder);
  if (fd < 0) return;
  ::fremovexattr(fd, kAttribute);
  ::close(fd);
}
