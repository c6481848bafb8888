// Kiv::File::Prune: removes a folder tree.
//
// The walk works on descriptors (openat/unlinkat) and opens sub-folders with
// O_NOFOLLOW, so a symbolic link met inside the tree is removed as a link and
// never followed: nothing outside the tree is touched, even when the tree
// changes while it is removed.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "kiv/File.h"

namespace Kiv {

namespace {

// Deeper trees are refused rather than holding one descriptor per level
// without bound.
constexpr int kMaxDepth = 256;

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Removes everything inside the folder open on `fd` (which it takes over).
// True when all of it was removed.
bool EmptyFolder(int fd, int depth) {
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return false;
  }
  std::vector<String> names;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    names.emplace_back(entry->d_name);
  }
  const int dfd = ::dirfd(dir);
  bool ok = true;
  for (const String& name : names) {
    struct stat st;
    if (::fstatat(dfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      ok = false;
      continue;
    }
    if (!S_ISDIR(st.st_mode)) {
      ok = ::unlinkat(dfd, name.c_str(), 0) == 0 && ok;
      continue;
    }
    const int child = depth < kMaxDepth ? ::openat(dfd, name.c_str(), kDirFlags) : -1;
    if (child < 0 || !EmptyFolder(child, depth + 1)) {
      ok = false;
      continue;
    }
    ok = ::unlinkat(dfd, name.c_str(), AT_REMOVEDIR) == 0 && ok;
  }
  ::closedir(dir);
  return ok;
}

}  // namespace

bool File::Prune(const String& path) {
  // Trailing "/" would make the system follow a final link; "/" itself is
  // never pruned.
  const size_t end = path.find_last_not_of('/');
  if (end == String::npos) return false;
  return PruneAt(AT_FDCWD, path.substr(0, end + 1));
}

bool File::PruneAt(int folder, const String& name) {
  // O_NOFOLLOW: a link to a folder is not a folder to prune.
  const int fd = ::openat(folder, name.c_str(), kDirFlags);
  if (fd < 0) return false;
  if (!EmptyFolder(fd, 0)) return false;
  return ::unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0;
}

}  // namespace Kiv
