// TreeFlush (see TreeFlush.h).
#include "vaddaemon/TreeFlush.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vaddaemon/FolderTree.h"

TreeFlush::~TreeFlush() {
  if (fd_ >= 0) close(fd_);
}

bool TreeFlush::Open(const std::string& folder) {
  if (fd_ >= 0) return true;
  fd_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return fd_ >= 0;
}

uint64_t TreeFlush::Mark() {
  return marks_.fetch_add(1);
}

bool TreeFlush::Flush(const std::string& tree, uint64_t mark) {
  if (CountTreeEntries(tree, kFlushFileByFileLimit) <= kFlushFileByFileLimit || !OnFileSystem(tree))
    return SyncFolderTree(tree);
  return FlushFileSystem(tree, mark);
}

bool TreeFlush::FlushFileSystem(const std::string& folder, uint64_t mark) {
  if (!OnFileSystem(folder)) return SyncFileSystemOf(folder);
  // One at a time: a failure told to one flush is remembered before the
  // next flush can answer.
  std::lock_guard<std::mutex> lock(flushing_);
  if (syncfs(fd_) != 0) failedBelow_ = marks_.load();
  return mark >= failedBelow_;
}

bool TreeFlush::OnFileSystem(const std::string& path) const {
  struct stat opened {};
  struct stat at {};
  return fd_ >= 0 && fstat(fd_, &opened) == 0 && stat(path.c_str(), &at) == 0 &&
         opened.st_dev == at.st_dev;
}
