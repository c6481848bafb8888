#include "vaddaemon/UserDataWatch.h"

#include <sys/stat.h>

#include <cerrno>

#include "assetdb/protocol/DatabaseIpc.h"
#include "foundation/base/LogMessage.h"

namespace {

// False only when `path` names nothing (it, or a folder on its way, was
// removed); `*info` then is unchanged.
bool Named(const std::string& path, struct stat* info) {
  if (::stat(path.c_str(), info) == 0) return true;
  return errno != ENOENT && errno != ENOTDIR;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

void UserDataWatch::Record() {
  struct stat info {};
  if (::stat(indexPath_.c_str(), &info) != 0) return;
  device_ = info.st_dev;
  inode_ = info.st_ino;
  struct stat folder {};
  if (::stat(FolderOf(indexPath_).c_str(), &folder) != 0) return;
  folderDevice_ = folder.st_dev;
  folderInode_ = folder.st_ino;
  recorded_ = true;
}

bool UserDataWatch::UserDataStillOwn() const {
  if (!recorded_) return true;
  struct stat info {};
  info.st_dev = folderDevice_;
  info.st_ino = folderInode_;
  return Named(FolderOf(indexPath_), &info) && info.st_dev == folderDevice_ &&
         info.st_ino == folderInode_;
}

std::string UserDataWatch::Changed() const {
  if (!recorded_) return std::string();
  struct stat info {};
  info.st_dev = device_;
  info.st_ino = inode_;
  if (Named(indexPath_, &info) && info.st_dev == device_ && info.st_ino == inode_)
    return std::string();
  return "the asset index " + indexPath_ + " was removed or replaced";
}

std::string UserDataWatch::Check() {
  std::string reason = Changed();
  if (!reason.empty()) return reason;
  if (!ipc_.FilesStillNamed()) {
    const bool renewed = ipc_.Renew();
    // UserData may have gone in the meantime, the files renewed being the
    // next store's: ending releases them.
    reason = Changed();
    if (!reason.empty()) return reason;
    const std::string block =
        "the database-owner block beside " + indexPath_ + " was removed or replaced";
    if (!renewed) return block + " and cannot be made anew";
    LogMessage("vaddaemon> %s; made it anew", block.c_str());
  }
  const std::string changed = ipc_.ChangedUnderOwner();
  if (changed.empty()) return std::string();
  return "the database-owner block beside " + indexPath_ +
         " is no longer the one this daemon made: " + changed;
}

std::string UserDataWatch::NotItsClient(const std::string& clientIndexPath) const {
  if (!recorded_) return std::string();
  struct stat folder {};
  if (::stat(FolderOf(clientIndexPath).c_str(), &folder) == 0 && folder.st_dev == folderDevice_ &&
      folder.st_ino == folderInode_)
    return std::string();
  return "the client's database \"" + clientIndexPath + "\" is not in this daemon's folder " +
         FolderOf(indexPath_);
}
