// UserDataWatch: whether the database a daemon serves is still the one its
// names give.
//
// A user may remove UserData (or the asset index) under a running daemon to
// start over; the next tool then makes the folder anew and starts another
// daemon there. The first daemon would go on serving a database that no
// other process can find, and work by name on the files of the new one (its
// store's paths, the index journal it removes as it closes): it must end,
// and end without closing its store.
//
// Record, called once the store has opened the index, notes the index's
// device and inode. Changed answers, from any thread, why the daemon must
// end ("the asset index <path> was removed or replaced", or the same of
// the database-owner block, DatabaseIpc::FilesStillNamed), or an empty
// string while both are still its own. A name that cannot be looked at for
// another reason than its absence counts as its own. Before Record only
// the owner block is looked at.
//
// Thread-safe once recorded (Record runs before serving). Nothing throws
// beyond std::bad_alloc.
#pragma once

#include <sys/types.h>

#include <string>

class DatabaseIpc;

class UserDataWatch {
 public:
  UserDataWatch(const std::string& indexPath, const DatabaseIpc& ipc)
      : indexPath_(indexPath), ipc_(ipc) {}

  void Record();
  std::string Changed() const;

 private:
  const std::string indexPath_;
  const DatabaseIpc& ipc_;
  bool recorded_ = false;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};
