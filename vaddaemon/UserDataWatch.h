// UserDataWatch: whether the database a daemon serves is still the one its
// names give, the owner block's files kept under their names and as the
// daemon published them, and whether a client is one of its UserData.
//
// A user may remove UserData (or the asset index) under a running daemon to
// start over; the next tool then makes the folder anew and starts another
// daemon there. The first daemon would go on serving a database that no
// other process can find, and work by name on the files of the new one (its
// store's paths, the index journal it removes as it closes): it must end,
// and end without closing its store.
//
// A user may also remove the owner block's files alone ("assets.tdx.lock",
// "assets.tdx.ipc"), taking them for stale lock files, while the store is
// still there and the daemon still at work in it. The daemon then keeps
// serving and makes them anew (DatabaseIpc::Renew), so that the tools find
// it again; the store guard (StoreGuard.h) keeps another daemon off the
// store meanwhile.
//
// Record, called once the store has opened the index, notes the index's
// device and inode. Changed answers, from any thread, why the daemon must
// end ("the asset index <path> was removed or replaced"), or an empty
// string while the index is still its own (and always before Record). A
// name that cannot be looked at for another reason than its absence counts
// as its own.
//
// Check, the server's end check (on one thread at a time), answers what
// Changed answers; while that is empty and the owner block's files are no
// longer the ones the daemon holds, it renews them and logs
// "vaddaemon> the database-owner block beside <index> was removed or
// replaced; made it anew", or, when they cannot be made, answers "the
// database-owner block beside <index> was removed or replaced and cannot
// be made anew" (the store is still the daemon's own, so it then ends as
// on SIGTERM, closing it). Otherwise, when the block was changed in place
// (DatabaseIpc::ChangedUnderOwner: emptied, overwritten, made read-only),
// so that the tools no longer find the daemon through it, it answers "the
// database-owner block beside <index> is no longer the one this daemon
// made: <what changed>" (the daemon then ends as a close ends it, and
// lets go of the block without writing to it).
//
// NotItsClient answers, for the asset index path a client names in its
// handshake, why this daemon does not serve it: the folder it names is not
// the daemon's UserData folder by device and inode (a copy of the
// installation whose owner block still names this daemon, or no folder at
// all), whatever the path's text. "" serves it, and always before Record.
//
// UserDataStillOwn answers whether the index's folder is still the folder
// the daemon opened (true before Record, and when it cannot be looked at
// for another reason than its absence): then only the index changed, and
// the rest of the store, held by the store guard, is still the daemon's.
//
// Thread-safe once recorded (Record runs before serving). Nothing throws
// beyond std::bad_alloc.
#pragma once

#include <sys/types.h>

#include <string>

class DatabaseIpc;

class UserDataWatch {
 public:
  UserDataWatch(const std::string& indexPath, DatabaseIpc& ipc)
      : indexPath_(indexPath), ipc_(ipc) {}

  void Record();
  std::string Changed() const;
  std::string Check();
  bool UserDataStillOwn() const;
  std::string NotItsClient(const std::string& clientIndexPath) const;

 private:
  const std::string indexPath_;
  DatabaseIpc& ipc_;
  bool recorded_ = false;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  dev_t folderDevice_ = 0;
  ino_t folderInode_ = 0;
};
