// TreeFlush (see TreeFlush.h).
#include "vaddaemon/TreeFlush.h"

#include <fcntl.h>
#include <unistd.h>

#include "vaddaemon/FolderTree.h"

TreeFlush::~TreeFlush() {
  if (fd_ >= 0) close(fd_);
}

void TreeFlush::Open(const std::string& folder) {
  if (fd_ < 0) fd_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

uint64_t TreeFlush::Mark() {
  return marks_.fetch_add(1);
}

bool TreeFlush::Flush(const std::string& tree, uint64_t mark) {
  if (CountTreeEntries(tree, kFlushFileByFileLimit) <= kFlushFileByFileLimit)
    return SyncFolderTree(tree);
  return FlushFileSystem(tree, mark);
}

bool TreeFlush::FlushFileSystem(const std::string& folder, uint64_t mark) {
  if (fd_ < 0) return SyncFileSystemOf(folder);
  // One at a time: a failure told to one flush is remembered before the
  // next flush can answer.
  std::lock_guard<std::mutex> lock(flushing_);
  if (syncfs(fd_) != 0) failedBelow_ = marks_.load();
  return mark >= failedBelow_;
}
