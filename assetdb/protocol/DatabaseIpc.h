// The database-owner block: which processes work on one asset database and
// on which TCP port its daemon listens.
//
// The processes of one database (the daemon and the tools that talk to it)
// share a 36-byte block mapped from a file, guarded by a cross-process
// mutex; both are files beside the asset index (DatabaseIpcNames.h:
// "assets.tdx.ipc" and "assets.tdx.lock"). Block layout, little-endian:
//   0 u32 holder pid (kNone: none)    4 u32 owner pid (kNone: none)
//   8 u32 requester pid (kNone)      12 u32 reserved (0)
//  16 i32 state (3 initialised, 0 never initialised)
//  20 u8  attach count               24 u32 refusal word (not 0: refuse)
//  28 u8  reserved (0)               32 u32 the daemon's TCP port (0: none)
//
// On this platform the mutex is an exclusive flock on the lock file,
// released by the kernel when its holder dies, so a killed process never
// blocks the others. Each process that has the block open holds a shared
// flock on its file; the last one to close (no other holder left) removes
// both files, under the mutex, when their names still give the files it
// opened (same device and inode): a process whose folder was removed and
// made anew meanwhile leaves the new files, which another daemon's block
// uses, alone. A block left by killed processes is found
// and reused: its dead holder is replaced and its dead owner and requester
// are cleared (a dead owner's port with it).
//
// Both files are created readable and writable by their user only (mode
// 0600) and opened without following links. They live in the database
// folder, where no other user can create them first (nothing is named in
// a world-writable place such as /dev/shm). Should the folder be open to
// others, a file that belongs to another user (or that this user may not
// open) is never trusted: Open logs a line naming it and fails, as it does
// when the files cannot be made. A file of this user's own that it may not
// read and write (made read-only) fails Open too, logged with its mode.
//
// DatabaseIpc is one process's view of the block. Open (true at once when
// already open) checks the path, takes the mutex, creates and initialises the
// block or attaches to the existing one, raises the attach count (under the
// mutex), then runs Idle twice. Open answers false, leaving nothing open,
// for a path that does not end in "assets.tdx", a missing folder, a mutex or
// block that cannot be made or belongs to another user, or a block whose
// refusal word is set. The block's bytes get their disk space before the
// block is mapped (a store into a page the disk has no room for would end
// the process with SIGBUS): on a full disk Open logs the file, notes it for
// the user (ForeignOwnerFile.h) and fails. Close
// (nothing when closed) clears the owner (and its port) when it is this
// process; the holder (primary) also writes kNone to the holder and lowers
// the attach count. Idle clears dead owners and requesters with a log line each, when
// this process is the holder, and otherwise takes the holder's place when it
// is free or its process is dead.
//
// Lock waits for the mutex without a time-out (a dead holder's lock is
// released by the kernel) and Unlock releases it; they nest, hold this
// object's own lock from Lock to the matching Unlock (so other threads of
// the process wait too), and Lock does nothing while closed. An Unlock that
// matches a Lock taken before Close still releases that hold. Accessors answer "nothing" (false, 0,
// an all-zero snapshot) while closed. GetDaemonPort answers 0 also when this
// process is the owner. The daemon's side: ClaimOwnership (under the mutex:
// false when another live process owns the database, unless `overrule`,
// which the caller may ask only when it knows that no other process serves
// the database (the daemon that holds the store guard, StoreGuard.h);
// otherwise this process becomes owner and publishes `port`),
// ReleaseOwnership (when this process is the owner: owner kNone and port 0).
// ChangedUnderOwner, for the owner, answers what has changed in the block
// it published since its latest claim, or "" while nothing has (always
// for a process that has not claimed it): the mode or user of either
// file, a block file cut short (read with pread, never through the
// mapping, which a file cut short turns into SIGBUS), or a block that no
// longer names it as owner with the port it published, or that is no
// longer initialised or refuses openings (emptied, overwritten, made anew
// by a tool). Once it answers something, Close and ReleaseOwnership write
// nothing to the block: Close lets go of the files (removing them as the
// last process, as usual, so that the next daemon makes them anew). Renew,
// for the owner whose files were removed or replaced under their names
// while it runs (a user clearing "stale" lock files): lets go of the files
// it holds without a write, opens the names again as Open does (making the
// files, or joining the ones a tool made meanwhile) and claims ownership
// there with the port it had published. True at once while both names
// still give its files. False
// when closed or not the owner (nothing changes), when Open fails (left
// closed), or when another live process owns the block under the name (then
// it closes as Close does, which leaves that owner's files alone).
//
// A DatabaseIpc is thread-safe (one lock of its own serialises its calls).
// The destructor closes. The functions below the class act on the one
// process-wide instance, as the connection code uses it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "assetdb/protocol/DatabaseIpcNames.h"
#include "kiv/CriticalSection.h"
#include "kiv/File.h"

class DatabaseIpc {
 public:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  static constexpr uint32_t kBlockSize = 36;
  static constexpr int32_t kStateInitialised = 3;

  struct Snapshot {
    uint32_t holder = 0;
    uint32_t owner = 0;
    uint32_t requester = 0;
    int32_t state = 0;
    uint8_t attachCount = 0;
    uint32_t refusal = 0;
    uint32_t port = 0;
  };

  DatabaseIpc() = default;
  ~DatabaseIpc();
  DatabaseIpc(const DatabaseIpc&) = delete;
  DatabaseIpc& operator=(const DatabaseIpc&) = delete;

  bool Open(const Kiv::File::Path& assetIndexPath);
  void Close();
  bool IsOpen() const;

  // Writes a fresh block: holder = this process, owner = requester = kNone,
  // state 3, attach count 1, every other field 0; this process is primary.
  // Called under the mutex by the block's creator.
  void InitBlock();
  void Idle();
  void TakeHolder();
  void Lock();
  void Unlock();

  bool IsOwner() const;
  void ReleaseOwnership();
  uint32_t GetDaemonPort() const;
  bool ClaimOwnership(uint32_t port, bool overrule = false);
  std::string ChangedUnderOwner() const;
  bool Renew();

  bool IsPrimary() const;
  Snapshot Read() const;
  // True while the names of the lock and the block still give the files
  // this process opened; false when closed, or when either was removed or
  // replaced (the database folder removed under a running daemon).
  bool FilesStillNamed() const;

 private:
  bool OpenMutex(const Kiv::String& path);
  bool AttachBlock(const Kiv::String& path, bool* created);
  void CountAttach(bool created);
  void ReleaseHandles(bool removeFiles);
  void ClearDeadEntry(uint32_t offset, uint32_t seen, const char* format);
  uint32_t Load(uint32_t offset) const;
  void Store(uint32_t offset, uint32_t value);
  uint8_t LoadByte(uint32_t offset) const;
  void StoreByte(uint32_t offset, uint8_t value);

  // What the owner's latest claim published (ChangedUnderOwner).
  struct Published {
    bool claimed = false;
    uint32_t port = 0;
    mode_t lockMode = 0;
    mode_t blockMode = 0;
    uid_t lockUser = 0;
    uid_t blockUser = 0;
  };

  mutable Kiv::CriticalSection guard_;
  int lockFd_ = -1;
  int blockFd_ = -1;
  uint32_t* block_ = nullptr;  // The mapped block, kBlockSize bytes.
  uint32_t pid_ = 0;
  bool primary_ = false;
  int lockDepth_ = 0;          // Lock calls not yet matched by Unlock.
  Kiv::File::Path indexPath_;  // as given to the last Open that got so far
  Kiv::String lockPath_;
  Kiv::String blockPath_;
  Published published_;
};

bool OpenDatabaseIpc(const Kiv::File::Path& assetIndexPath);
void CloseDatabaseIpc();
void InitDatabaseIpcBlock();
void IPCIdle();
void TakeDatabaseIpcHolder();
void LockDatabaseIpc();
void UnlockDatabaseIpc();
bool IsDatabaseOwner();
void ReleaseDatabaseOwnership();
uint32_t GetDaemonPort();
// The process-wide instance the functions above act on.
DatabaseIpc& ProcessDatabaseIpc();
