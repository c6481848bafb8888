// FolderMove (see FolderMove.h).
#include "vaddaemon/FolderMove.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "vaddaemon/FolderTree.h"

namespace {

constexpr int kMaxAsideNumber = 1000;

// Renames `from` to `to` unless `to` exists: 0, or the errno (EEXIST when
// `to` exists).
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL) return errno;
  // A file system without the flag: a new link never replaces an entry either.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  return ::unlink(from.c_str()) == 0 ? 0 : errno;
}

std::string AsideName(const std::string& name, int number) {
  return name + ".~" + std::to_string(number) + "~";
}

struct Entry {
  std::string name;
  mode_t mode = 0;
};

class Mover {
 public:
  explicit Mover(FolderMove* out) : out_(out) {}

  // Moves the entries of `from` into `into` and removes `from`; `path` is
  // `from` relative to the top ("" or ending in "/").
  bool MoveAll(const std::string& from, const std::string& into, const std::string& path,
               uint32_t depth) {
    if (depth > kMaxFolderDepth) {
      out_->error = from + " lies deeper than " + std::to_string(kMaxFolderDepth) + " levels";
      return false;
    }
    for (int pass = 0; pass < kMovePasses; ++pass) {
      std::vector<Entry> entries;
      const int error = List(from, &entries);
      if (error == ENOENT) return true;
      if (error != 0) return Fail("cannot read the folder " + from, error);
      for (const Entry& entry : entries) {
        const bool moved = S_ISDIR(entry.mode)
                               ? MoveFolder(from, into, entry, path, depth)
                               : MoveOther(from, into, entry.name, path);
        if (!moved) return false;
      }
      if (::rmdir(from.c_str()) == 0 || errno == ENOENT) return true;
      if (errno != ENOTEMPTY && errno != EEXIST)
        return Fail("cannot remove the folder " + from, errno);
    }
    return false;  // something new every time: a program keeps saving there
  }

 private:
  bool Fail(const std::string& what, int error) {
    out_->error = what + ": " + std::strerror(error);
    return false;
  }

  // The entries of `folder`: 0, or the errno.
  static int List(const std::string& folder, std::vector<Entry>* entries) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return errno;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      struct stat info = {};
      if (name == "." || name == ".." || ::lstat((folder + "/" + name).c_str(), &info) != 0)
        continue;  // a name removed meanwhile has nothing to move
      entries->push_back({name, info.st_mode});
    }
    ::closedir(dir);
    return 0;
  }

  bool MoveOther(const std::string& from, const std::string& into, const std::string& name,
                 const std::string& path) {
    const std::string source = from + "/" + name;
    int error = RenameNoReplace(source, into + "/" + name);
    for (int number = 1; error == EEXIST && number <= kMaxAsideNumber; ++number) {
      error = RenameNoReplace(source, into + "/" + AsideName(name, number));
      if (error == 0) out_->aside.push_back({path + name, path + AsideName(name, number)});
    }
    struct stat info = {};
    if (error == 0 || (error == ENOENT && ::lstat(source.c_str(), &info) != 0)) return true;
    return Fail("cannot move " + source, error);
  }

  // Makes the folder anew in `into` (or takes the folder of its name there)
  // and moves its entries into it.
  bool MoveFolder(const std::string& from, const std::string& into, const Entry& entry,
                  const std::string& path, uint32_t depth) {
    std::string name = entry.name;
    for (int number = 1; ::mkdir((into + "/" + name).c_str(), entry.mode & 07777) != 0; ++number) {
      struct stat info = {};
      if (errno != EEXIST || number > kMaxAsideNumber)
        return Fail("cannot make the folder " + into + "/" + name, errno);
      if (::lstat((into + "/" + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) break;
      name = AsideName(entry.name, number);
    }
    if (name != entry.name) out_->aside.push_back({path + entry.name, path + name});
    return MoveAll(from + "/" + entry.name, into + "/" + name, path + entry.name + "/", depth + 1);
  }

  FolderMove* out_;
};

}  // namespace

FolderMove MoveFolderInto(const std::string& from, const std::string& into) {
  FolderMove result;
  result.emptied = Mover(&result).MoveAll(from, into, std::string(), 0);
  return result;
}
