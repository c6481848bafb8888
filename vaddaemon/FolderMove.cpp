// FolderMove (see FolderMove.h).
#include "vaddaemon/FolderMove.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/base/RenameAtNoReplace.h"
#include "vaddaemon/FolderTree.h"

namespace {

constexpr int kMaxAsideNumber = 1000;

// Renames the entry `from` of the folder `fromFolder` to `to` of `toFolder`
// unless `to` exists: 0, or the errno (EEXIST when `to` exists).
int RenameNoReplace(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
  return RenameAtNoReplace(fromFolder, from.c_str(), toFolder, to.c_str());
}

std::string AsideName(const std::string& name, int number) {
  return name + ".~" + std::to_string(number) + "~";
}

// The folder entries go into: open (fd >= 0), or why it could not be.
struct Target {
  int fd = -1;
  std::string path;
  int error = 0;
};

class Mover {
 public:
  explicit Mover(FolderMove* out) : out_(out) {}

  // Moves the entries of the folder `name` of the open folder `parent`
  // (`from` in messages) into `into` and removes it; `path` is it relative
  // to the top ("" or ending in "/").
  bool MoveAll(int parent, const std::string& name, const std::string& from, const Target& into,
               const std::string& path, uint32_t depth) {
    if (depth > kMaxFolderDepth) {
      out_->error = from + " lies deeper than " + std::to_string(kMaxFolderDepth) + " levels";
      return false;
    }
    const WorkFolder folder(parent, name);
    if (folder.Fd() < 0 && folder.Error() == ENOENT) return true;
    if (folder.Fd() < 0) {
      const std::string inTheWay = InTheWay(from, folder.Error());
      if (inTheWay.empty()) return Fail("cannot read the folder " + from, folder.Error());
      out_->error = inTheWay;
      return false;
    }
    for (int pass = 0; pass < kMovePasses; ++pass) {
      std::vector<FolderEntry> entries;
      const int error = ListFolder(folder.Fd(), &entries);
      if (error != 0) return Fail("cannot read the folder " + from, error);
      for (const FolderEntry& entry : entries) {
        const bool moved = S_ISDIR(entry.mode)
                               ? MoveFolder(folder.Fd(), from, into, entry, path, depth)
                               : MoveOther(folder.Fd(), from, into, entry.name, path);
        if (!moved) return false;
      }
      if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) return true;
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

  // What is in the way of the folder `path` that could not be opened for
  // `error`, or "".
  static std::string InTheWay(const std::string& path, int error) {
    return error == ENOTDIR || error == ELOOP ? InTheWayText(path) : std::string();
  }

  // `what` failed as the folder `path` could not be opened for `error`.
  bool NotOpened(const std::string& what, const std::string& path, int error) {
    const std::string inTheWay = InTheWay(path, error);
    if (inTheWay.empty()) return Fail(what, error);
    out_->error = what + ": " + inTheWay;
    return false;
  }

  bool MoveOther(int folder, const std::string& from, const Target& into, const std::string& name,
                 const std::string& path) {
    const std::string source = from + "/" + name;
    if (into.fd < 0) return NotOpened("cannot move " + source, into.path, into.error);
    int error = RenameNoReplace(folder, name, into.fd, name);
    for (int number = 1; error == EEXIST && number <= kMaxAsideNumber; ++number) {
      error = RenameNoReplace(folder, name, into.fd, AsideName(name, number));
      if (error == 0) out_->aside.push_back({path + name, path + AsideName(name, number)});
    }
    struct stat info = {};
    if (error == 0 ||
        (error == ENOENT && ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0))
      return true;
    return Fail("cannot move " + source, error);
  }

  // Makes the folder anew in `into` (or takes the folder of its name there)
  // and moves its entries into it.
  bool MoveFolder(int folder, const std::string& from, const Target& into, const FolderEntry& entry,
                  const std::string& path, uint32_t depth) {
    if (into.fd < 0)
      return NotOpened("cannot move " + from + "/" + entry.name, into.path, into.error);
    std::string name = entry.name;
    bool made = true;
    for (int number = 1; ::mkdirat(into.fd, name.c_str(), (entry.mode & 07777) | S_IRWXU) != 0;
         ++number) {
      struct stat info = {};
      if (errno != EEXIST || number > kMaxAsideNumber)
        return Fail("cannot make the folder " + into.path + "/" + name, errno);
      made = !(::fstatat(into.fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
               S_ISDIR(info.st_mode));
      if (!made) break;
      name = AsideName(entry.name, number);
    }
    if (name != entry.name) out_->aside.push_back({path + entry.name, path + name});
    WorkFolder filled(into.fd, name);
    if (made) filled.SetFinalMode(entry.mode);
    const Target child{filled.Fd(), into.path + "/" + name, filled.Error()};
    return MoveAll(folder, entry.name, from + "/" + entry.name, child, path + entry.name + "/",
                   depth + 1);
  }

  FolderMove* out_;
};

FolderMove Move(const std::string& from, const Target& into) {
  FolderMove result;
  std::string name;
  const int parent = OpenFolderAbove(from, &name);
  if (parent == -1) {
    result.emptied = errno == ENOENT;  // nothing left to move
    if (!result.emptied)
      result.error = "cannot read the folder above " + from + ": " + std::strerror(errno);
    return result;
  }
  result.emptied = Mover(&result).MoveAll(parent, name, from, into, std::string(), 0);
  if (parent >= 0) ::close(parent);
  return result;
}

}  // namespace

FolderMove MoveFolderInto(const std::string& from, const std::string& into) {
  const WorkFolder folder(AT_FDCWD, into);
  return Move(from, Target{folder.Fd(), into, folder.Error()});
}

FolderMove MoveFolderInto(const std::string& from, int into, const std::string& intoPath) {
  return Move(from, Target{into, intoPath, 0});
}
