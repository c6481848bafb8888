// FolderTree (see FolderTree.h).
#include "vaddaemon/FolderTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "foundation/base/FdTransfer.h"
#include "foundation/layout/AssetFolderEntries.h"
#include "kiv/FileBeneath.h"

namespace fs = std::filesystem;

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now; false when close reports a failure (a lost write).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || close(fd) == 0;
  }

 private:
  int fd_;
};

bool Fail(std::string* error, const std::string& what, const fs::path& path) {
  *error = what + ": " + path.string();
  if (errno != 0) *error += " (" + std::string(std::strerror(errno)) + ")";
  return false;
}

// Copies the open file `in` (`from`, for messages) to the new file `name`
// of the open folder `folder` (`to`, for messages).
bool CopyFile(Fd& in, const fs::path& from, int folder, const std::string& name, const fs::path& to,
              std::string* error) {
  struct stat info {};
  if (fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    errno = 0;
    return Fail(error, "not a plain file", from);
  }
  // Read and write for the daemon's user; group and others keep at most
  // what the source grants them, and the umask applies as to every file of
  // the store.
  const mode_t mode = S_IRUSR | S_IWUSR | (info.st_mode & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH));
  Fd out(openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
  if (out.get() < 0) return Fail(error, "cannot create", to);
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t got = read(in.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Fail(error, "cannot read", from);
    if (got == 0) break;
    if (!WriteFd(out.get(), buffer.data(), static_cast<size_t>(got)))
      return Fail(error, "cannot write", to);
  }
  // The copy keeps the source's times.
  const struct timespec times[2] = {info.st_atim, info.st_mtim};
  if (futimens(out.get(), times) != 0) return Fail(error, "cannot set the times of", to);
  if (!out.Close()) return Fail(error, "cannot write", to);
  return true;
}

// The kind of an entry of an open folder, without following a link.
unsigned char EntryType(int folder, const dirent& entry) {
  if (entry.d_type != DT_UNKNOWN) return entry.d_type;
  struct stat info {};
  if (fstatat(folder, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return DT_UNKNOWN;
  if (S_ISDIR(info.st_mode)) return DT_DIR;
  if (S_ISREG(info.st_mode)) return DT_REG;
  if (S_ISLNK(info.st_mode)) return DT_LNK;
  return DT_UNKNOWN;
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// One copy: every file is read from the descriptor that the decision to
// copy it was made on, so nothing swapped in meanwhile is ever read.
class TreeCopy {
 public:
  TreeCopy(const Kiv::BeneathFolder& root, std::string* error) : root_(root), error_(error) {}

  // Copies the folder open as `folder` (taken over), `relative` below the
  // root and named `from` in messages, into the new folder `toName` of the
  // open folder `toParent` (`to` in messages).
  bool Copy(int folder, const fs::path& from, const std::string& relative, int toParent,
            const std::string& toName, const fs::path& to, uint32_t depth);

 private:
  bool CopyLink(const fs::path& source, const std::string& relative, int toFolder,
                const std::string& name, const fs::path& target);

  const Kiv::BeneathFolder& root_;
  std::string* error_;
};

bool TreeCopy::CopyLink(const fs::path& source, const std::string& relative, int toFolder,
                        const std::string& name, const fs::path& target) {
  // A link counts as what it points to, opened as it is judged; only plain
  // files of the asset folder may be behind it.
  const Kiv::BeneathFolder::Opened opened = root_.OpenFile(relative);
  Fd in(opened.fd);
  errno = 0;
  switch (opened.outcome) {
    case Kiv::BeneathFolder::Outcome::kOpened:
      return CopyFile(in, source, toFolder, name, target, error_);
    case Kiv::BeneathFolder::Outcome::kLeavesFolder:
      *error_ = LinkLeavesFolderText(source.string());
      return false;
    case Kiv::BeneathFolder::Outcome::kFailed:
      errno = opened.error;
      return Fail(error_, "cannot read", source);
    default:
      return Fail(error_, "neither a plain file nor a folder", source);
  }
}

bool TreeCopy::Copy(int folder, const fs::path& from, const std::string& relative, int toParent,
                    const std::string& toName, const fs::path& to, uint32_t depth) {
  std::unique_ptr<DIR, DirCloser> dir(fdopendir(folder));
  if (!dir) {
    close(folder);
    return Fail(error_, "cannot list the folder", from);
  }
  errno = 0;
  if (depth > kMaxFolderDepth) return Fail(error_, "folders nested too deeply", from);
  if (mkdirat(toParent, toName.c_str(), 0777) != 0)
    return Fail(error_, "cannot create the folder", to);
  Fd target(OpenStoreFolder(toParent, toName));
  if (target.get() < 0) return Fail(error_, "cannot create the folder", to);
  const int fd = dirfd(dir.get());
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir.get());
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const fs::path source = from / name;
    const std::string below = relative + name;
    const unsigned char type = EntryType(fd, *entry);
    if (type == DT_DIR) {
      const int child = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child < 0) return Fail(error_, "cannot list the folder", source);
      if (!Copy(child, source, below + "/", target.get(), name, to / name, depth + 1)) return false;
      continue;
    }
    if (type == DT_LNK) {
      if (!CopyLink(source, below, target.get(), name, to / name)) return false;
      continue;
    }
    if (type != DT_REG) {
      errno = 0;
      return Fail(error_, "neither a plain file nor a folder", source);
    }
    Fd in(openat(fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    // A file turned into a link since the listing is judged as a link.
    if (in.get() < 0 && errno == ELOOP) {
      if (!CopyLink(source, below, target.get(), name, to / name)) return false;
      continue;
    }
    if (in.get() < 0) return Fail(error_, "cannot read", source);
    if (!CopyFile(in, source, target.get(), name, to / name, error_)) return false;
  }
  if (errno != 0) return Fail(error_, "cannot list the folder", from);
  return true;
}

bool SyncPath(const fs::path& path, bool folder) {
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (folder ? O_DIRECTORY : 0)));
  if (fd.get() < 0) return false;
  return fsync(fd.get()) == 0;
}

// Calls `visit` with every plain file and folder of the tree at `path`
// (each folder after what it holds, links not followed): false when a
// folder cannot be listed or is nested too deeply, or `visit` says false.
using TreeVisit = std::function<bool(const fs::path& path, bool folder)>;
bool VisitTree(const fs::path& path, uint32_t depth, const TreeVisit& visit) {
  if (depth > kMaxFolderDepth) return false;
  std::error_code ec;
  fs::directory_iterator it(path, ec);
  if (ec) return false;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    const fs::file_status own = fs::symlink_status(it->path(), ec);
    if (ec) return false;
    if (fs::is_directory(own) && !VisitTree(it->path(), depth + 1, visit)) return false;
    if (fs::is_regular_file(own) && !visit(it->path(), false)) return false;
  }
  return !ec && visit(path, true);
}

}  // namespace

bool CopyFolderTree(const std::string& source, const std::string& target, std::string* error) {
  Kiv::BeneathFolder root;
  if (!root.Open(source)) {
    *error = "not a folder: " + source;
    return false;
  }
  std::error_code ec;
  if (fs::exists(fs::symlink_status(target, ec))) {
    *error = "already exists: " + target;
    return false;
  }
  std::string name;
  const Fd parent(OpenFolderAbove(target, &name));
  if (parent.get() == -1) return Fail(error, "cannot create the folder", target);
  const int folder = openat(root.Descriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return Fail(error, "cannot list the folder", source);
  TreeCopy copy(root, error);
  return copy.Copy(folder, source, std::string(), parent.get(), name, target, 0);
}

bool SyncFolderTree(const std::string& path) {
  return VisitTree(path, 0, SyncPath);
}

uint64_t CountTreeEntries(const std::string& path, uint64_t limit) {
  uint64_t count = 0;
  VisitTree(path, 0, [&](const fs::path&, bool) { return ++count <= limit; });
  return count;
}

bool SyncFolder(const std::string& path) {
  return SyncPath(path, true);
}

bool SyncFileSystemOf(const std::string& path) {
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY));
  if (fd.get() < 0) return false;
  return syncfs(fd.get()) == 0;
}

namespace {

// Removes the entry `name` of the open folder `parent`, a folder with
// everything in it: true when nothing is left of it.
bool RemoveEntry(int parent, const std::string& name, uint32_t depth) {
  struct stat info {};
  if (fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (S_ISDIR(info.st_mode) && depth > kMaxFolderDepth) {
    // Deeper than any copy of the store: by name from here, holding no
    // more descriptors.
    std::error_code ec;
    fs::remove_all("/proc/self/fd/" + std::to_string(parent) + "/" + name, ec);
    return !ec;
  }
  if (S_ISDIR(info.st_mode)) {
    WorkFolder folder(parent, name);
    std::vector<FolderEntry> entries;
    if (folder.Fd() >= 0) {
      if (ListFolder(folder.Fd(), &entries) == 0) {
        for (const FolderEntry& entry : entries) RemoveEntry(folder.Fd(), entry.name, depth + 1);
      }
      return unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT;
    }
  }
  // A link (also one swapped in for a folder) goes itself, never what it
  // leads to.
  return unlinkat(parent, name.c_str(), 0) == 0 || errno == ENOENT;
}

const char* EntryKind(mode_t mode) {
  if (S_ISLNK(mode)) return "a link";
  if (S_ISREG(mode)) return "a file";
  return "neither a folder nor a file";
}

}  // namespace

bool RemoveFolderTree(const std::string& path) {
  if (path.empty()) return true;
  std::string name;
  const Fd parent(OpenFolderAbove(path, &name));
  if (parent.get() == -1) return errno == ENOENT;
  return RemoveEntry(parent.get(), name, 0);
}

int OpenFolderAbove(const std::string& path, std::string* name) {
  fs::path where = fs::path(path).lexically_normal();
  if (!where.has_filename()) where = where.parent_path();  // "a/b/"
  *name = where.filename().string();
  if (!where.has_parent_path()) return AT_FDCWD;
  return open(where.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int OpenStoreFolder(int parent, const std::string& name) {
  return openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

std::string InTheWayText(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return std::string();
  return path + " is " + EntryKind(info.st_mode) + ", not a folder of the store's own";
}

HeldFolder::HeldFolder(const std::string& path)
    : path_(path), fd_(OpenStoreFolder(AT_FDCWD, path)) {
  if (fd_ < 0) {
    error_ = errno;
    return;
  }
  named_ = "/proc/self/fd/" + std::to_string(fd_);
}

HeldFolder::~HeldFolder() {
  if (fd_ >= 0) close(fd_);
}

std::string HeldFolder::Named(std::string text) const {
  if (named_.empty()) return text;
  for (size_t at = text.find(named_); at != std::string::npos;
       at = text.find(named_, at + path_.size())) {
    text.replace(at, named_.size(), path_);
  }
  return text;
}

WorkFolder::WorkFolder(int parent, const std::string& name) : fd_(OpenStoreFolder(parent, name)) {
  struct stat info {};
  if (fd_ < 0 || fstat(fd_, &info) != 0) {
    error_ = fd_ < 0 ? errno : 0;
    return;
  }
  finalMode_ = info.st_mode & 07777;
  if ((finalMode_ & S_IRWXU) == S_IRWXU) return;
  // Entries are made and removed in it: the owner's own rights first.
  setMode_ = fchmod(fd_, finalMode_ | S_IRWXU) == 0;
}

WorkFolder::~WorkFolder() {
  if (fd_ < 0) return;
  if (setMode_) fchmod(fd_, finalMode_);
  close(fd_);
}

void WorkFolder::SetFinalMode(mode_t mode) {
  finalMode_ = mode & 07777;
  setMode_ = true;
}

int ListFolder(int folder, std::vector<FolderEntry>* entries) {
  // A description of its own: the caller's descriptor keeps its offset.
  const int own = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (own < 0) return errno;
  std::unique_ptr<DIR, DirCloser> dir(fdopendir(own));
  if (!dir) {
    const int error = errno;
    close(own);
    return error;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir.get());
    if (entry == nullptr) return errno;
    const std::string name = entry->d_name;
    struct stat info {};
    if (name == "." || name == ".." ||
        fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
      continue;  // a name removed meanwhile has nothing to it
    entries->push_back({name, info.st_mode});
  }
}
