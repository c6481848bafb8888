// FolderTree (see FolderTree.h).
#include "vaddaemon/FolderTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "foundation/layout/AssetFolderEntries.h"

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

bool WriteAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    const ssize_t done = write(fd, data, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    n -= static_cast<size_t>(done);
  }
  return true;
}

bool CopyFile(const fs::path& from, const fs::path& to, std::string* error) {
  errno = 0;
  Fd in(open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (in.get() < 0) return Fail(error, "cannot read", from);
  struct stat info {};
  if (fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    errno = 0;
    return Fail(error, "not a plain file", from);
  }
  // Read and write for the daemon's user; group and others keep at most
  // what the source grants them, and the umask applies as to every file of
  // the store.
  const mode_t mode = S_IRUSR | S_IWUSR | (info.st_mode & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH));
  Fd out(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (out.get() < 0) return Fail(error, "cannot create", to);
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t got = read(in.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Fail(error, "cannot read", from);
    if (got == 0) break;
    if (!WriteAll(out.get(), buffer.data(), static_cast<size_t>(got)))
      return Fail(error, "cannot write", to);
  }
  // The copy keeps the source's times, by which a compiled texture is
  // known to be up to date.
  const struct timespec times[2] = {info.st_atim, info.st_mtim};
  if (futimens(out.get(), times) != 0) return Fail(error, "cannot set the times of", to);
  if (!out.Close()) return Fail(error, "cannot write", to);
  return true;
}

bool CopyTree(const fs::path& root, const fs::path& from, const fs::path& to, uint32_t depth,
              std::string* error) {
  errno = 0;
  if (depth > kMaxFolderDepth) return Fail(error, "folders nested too deeply", from);
  std::error_code ec;
  if (!fs::create_directory(to, ec) || ec) return Fail(error, "cannot create the folder", to);
  fs::directory_iterator it(from, ec);
  if (ec) return Fail(error, "cannot list the folder", from);
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    const fs::path source = it->path();
    const fs::path target = to / source.filename();
    const fs::file_status own = fs::symlink_status(source, ec);
    if (ec) return Fail(error, "cannot examine", source);
    if (fs::is_directory(own)) {
      if (!CopyTree(root, source, target, depth + 1, error)) return false;
      continue;
    }
    // A link counts as what it points to; only plain files of the asset
    // folder may be behind it.
    if (fs::is_symlink(own) && LeadsOutOfFolder(root.string(), source.string())) {
      *error = LinkLeavesFolderText(source.string());
      return false;
    }
    const fs::file_status seen = fs::is_symlink(own) ? fs::status(source, ec) : own;
    errno = 0;
    if (ec || !fs::is_regular_file(seen))
      return Fail(error, "neither a plain file nor a folder", source);
    if (!CopyFile(source, target, error)) return false;
  }
  errno = 0;
  if (ec) return Fail(error, "cannot list the folder", from);
  return true;
}

bool SyncPath(const fs::path& path, bool folder) {
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (folder ? O_DIRECTORY : 0)));
  if (fd.get() < 0) return false;
  return fsync(fd.get()) == 0;
}

bool SyncTree(const fs::path& path, uint32_t depth) {
  if (depth > kMaxFolderDepth) return false;
  std::error_code ec;
  fs::directory_iterator it(path, ec);
  if (ec) return false;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    const fs::file_status own = fs::symlink_status(it->path(), ec);
    if (ec) return false;
    if (fs::is_directory(own) && !SyncTree(it->path(), depth + 1)) return false;
    if (fs::is_regular_file(own) && !SyncPath(it->path(), false)) return false;
  }
  return !ec && SyncPath(path, true);
}

}  // namespace

bool CopyFolderTree(const std::string& source, const std::string& target, std::string* error) {
  std::error_code ec;
  if (!fs::is_directory(fs::status(source, ec))) {
    *error = "not a folder: " + source;
    return false;
  }
  if (fs::exists(fs::symlink_status(target, ec))) {
    *error = "already exists: " + target;
    return false;
  }
  return CopyTree(source, source, target, 0, error);
}

bool SyncFolderTree(const std::string& path) {
  return SyncTree(path, 0);
}

bool SyncFolder(const std::string& path) {
  return SyncPath(path, true);
}

bool SyncFileSystemOf(const std::string& path) {
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY));
  if (fd.get() < 0) return false;
  return syncfs(fd.get()) == 0;
}

bool RemoveFolderTree(const std::string& path) {
  if (path.empty()) return true;
  std::error_code ec;
  fs::remove_all(path, ec);
  return !ec && !fs::exists(fs::symlink_status(path, ec));
}
