#include "assetdb/protocol/DatabaseIpc.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "assetdb/protocol/ForeignOwnerFile.h"
#include "assetdb/protocol/ProcessAlive.h"
#include "foundation/base/LogMessage.h"

static_assert(std::endian::native == std::endian::little, "the block is little-endian");

namespace {

constexpr uint32_t kHolder = 0;
constexpr uint32_t kOwner = 4;
constexpr uint32_t kRequester = 8;
constexpr uint32_t kReserved = 12;
constexpr uint32_t kState = 16;
constexpr uint32_t kAttachCount = 20;
constexpr uint32_t kRefusal = 24;
constexpr uint32_t kReservedByte = 28;
constexpr uint32_t kPort = 32;

// Holds the database mutex (DatabaseIpc::Lock) for the scope it lives in.
// The adopting form takes over a hold its creator already has.
class HeldIpcLock {
 public:
  enum Adopt { kAdopt };
  explicit HeldIpcLock(DatabaseIpc& ipc) : ipc_(ipc) { ipc_.Lock(); }
  HeldIpcLock(DatabaseIpc& ipc, Adopt) : ipc_(ipc) {}
  ~HeldIpcLock() { ipc_.Unlock(); }
  HeldIpcLock(const HeldIpcLock&) = delete;
  HeldIpcLock& operator=(const HeldIpcLock&) = delete;

 private:
  DatabaseIpc& ipc_;
};

bool FlockRetrying(int fd, int operation) {
  while (::flock(fd, operation) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// True when `fd` is still the file that `path` names (the last process to
// close removes the files, and one that opened them just before must start
// again with fresh ones).
bool StillNamed(int fd, const Kiv::String& path) {
  struct stat held {};
  struct stat named {};
  return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

// Opens a file of the database folder for reading and writing, creating it
// when `flags` say so, readable and writable by this user only, never
// through a link. Only this user can create files in its own database
// folder; should the folder be open to others, a file that belongs to
// another user is never used: it is logged, closed and answered as -1.
int OpenOwnFile(const Kiv::String& path, int flags, const char* what) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | flags, 0600);
  if (fd < 0) {
    struct stat seen {};
    if (errno != EACCES || ::lstat(path.c_str(), &seen) != 0) return -1;
    if (seen.st_uid != ::geteuid()) {
      NoteForeignOwnerFile(path, what, seen.st_uid);
      LogMessage(
          "DatabaseIpc> the database %s \"%s\" may not be opened by this user (it belongs to "
          "another); "
          "ignoring it",
          what, path.c_str());
      return -1;
    }
    LogMessage(
        "DatabaseIpc> the database %s \"%s\" is this user's, but it may not read and write it "
        "(mode %04o): remove it",
        what, path.c_str(), unsigned(seen.st_mode & 07777));
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  if (info.st_uid == ::geteuid()) return fd;
  NoteForeignOwnerFile(path, what, info.st_uid);
  LogMessage(
      "DatabaseIpc> the database %s \"%s\" belongs to user %u, not to this user (%u); ignoring it",
      what, path.c_str(), unsigned(info.st_uid), unsigned(::geteuid()));
  ::close(fd);
  errno = EACCES;
  return -1;
}

// Gives the block file its kBlockSize bytes with the disk space behind them
// reserved, so that no store through the mapping meets a full disk (the
// store would end the process with SIGBUS). A file system that cannot
// reserve space gets the bytes the file lacks written as zeros; the bytes
// it has are left alone. Answers 0, or the error (ENOSPC: the disk is full).
int ReserveBlock(int fd, off_t size) {
  const int error = ::posix_fallocate(fd, 0, DatabaseIpc::kBlockSize);
  if (error != EOPNOTSUPP && error != EINVAL) return error;
  static constexpr char kZeros[DatabaseIpc::kBlockSize] = {};
  for (off_t at = size; at < off_t{DatabaseIpc::kBlockSize};) {
    const ssize_t wrote = ::pwrite(fd, kZeros, size_t(off_t{DatabaseIpc::kBlockSize} - at), at);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return wrote < 0 ? errno : EIO;
    at += wrote;
  }
  return 0;
}

uint32_t WordAt(const uint8_t* bytes, uint32_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, bytes + offset, sizeof value);
  return value;
}

}  // namespace

DatabaseIpc::~DatabaseIpc() {
  Close();
}

bool DatabaseIpc::IsOpen() const {
  Kiv::SingleLock hold(guard_);
  return block_ != nullptr;
}

uint32_t DatabaseIpc::Load(uint32_t offset) const {
  return __atomic_load_n(block_ + offset / 4, __ATOMIC_SEQ_CST);
}

void DatabaseIpc::Store(uint32_t offset, uint32_t value) {
  __atomic_store_n(block_ + offset / 4, value, __ATOMIC_SEQ_CST);
}

uint8_t DatabaseIpc::LoadByte(uint32_t offset) const {
  return __atomic_load_n(reinterpret_cast<const uint8_t*>(block_) + offset, __ATOMIC_SEQ_CST);
}

void DatabaseIpc::StoreByte(uint32_t offset, uint8_t value) {
  __atomic_store_n(reinterpret_cast<uint8_t*>(block_) + offset, value, __ATOMIC_SEQ_CST);
}

bool DatabaseIpc::OpenMutex(const Kiv::String& path) {
  // Each retry means another process removed the files meanwhile; that can
  // only happen a few times in a row.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = OpenOwnFile(path, O_CREAT, "lock");
    if (fd < 0) return false;
    if (!FlockRetrying(fd, LOCK_EX)) {
      ::close(fd);
      return false;
    }
    if (StillNamed(fd, path)) {
      lockFd_ = fd;
      lockPath_ = path;
      guard_.Enter();  // Held like any Lock; Open ends with Unlock.
      ++lockDepth_;
      return true;
    }
    ::close(fd);
  }
  return false;
}

bool DatabaseIpc::AttachBlock(const Kiv::String& path, bool* created) {
  int fd = OpenOwnFile(path, O_CREAT | O_EXCL, "owner block");
  *created = fd >= 0;
  if (fd < 0 && errno == EEXIST) fd = OpenOwnFile(path, 0, "owner block");
  if (fd < 0) return false;
  blockFd_ = fd;
  blockPath_ = path;
  // Every process with the block open holds it shared; see ReleaseHandles.
  if (!FlockRetrying(fd, LOCK_SH)) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  // A block left short by a process that died while creating it reads as
  // never initialised once it has its full size (the new bytes are zero).
  const int error = ReserveBlock(fd, info.st_size);
  if (error != 0) {
    if (error == ENOSPC || error == EDQUOT) NoteOwnerFileWithoutSpace(path, "owner block");
    LogMessage("DatabaseIpc> the database owner block \"%s\" cannot be given its %u bytes: %s",
               path.c_str(), unsigned(kBlockSize), std::strerror(error));
    return false;
  }
  void* mapped = ::mmap(nullptr, kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (mapped == MAP_FAILED) return false;
  block_ = static_cast<uint32_t*>(mapped);
  return true;
}

void DatabaseIpc::CountAttach(bool created) {
  if (created) {
    InitBlock();
    return;
  }
  if (static_cast<int32_t>(Load(kState)) == 0 && Load(kHolder) == 0) InitBlock();
  if (static_cast<int32_t>(Load(kState)) >= 1) {
    StoreByte(kAttachCount, static_cast<uint8_t>(LoadByte(kAttachCount) + 1));
    return;
  }
  StoreByte(kAttachCount, 255);
}

bool DatabaseIpc::Open(const Kiv::File::Path& assetIndexPath) {
  Kiv::SingleLock hold(guard_);
  if (block_ != nullptr) return true;
  ClearForeignOwnerFile();
  DatabaseIpcNames names;
  if (!FormDatabaseIpcNames(assetIndexPath, &names)) return false;
  if (!Kiv::File::Exists(names.folder.Str())) return false;
  indexPath_ = assetIndexPath;
  pid_ = CurrentProcessId();
  if (!OpenMutex(names.lockPath)) return false;
  bool refused = false;
  {
    HeldIpcLock held(*this, HeldIpcLock::kAdopt);
    bool created = false;
    if (!AttachBlock(names.blockPath, &created)) {
      ReleaseHandles(false);
      return false;
    }
    refused = !created && Load(kRefusal) != 0;
    if (!refused) CountAttach(created);
  }
  if (refused) {
    Close();
    return false;
  }
  Idle();
  Idle();
  return true;
}

void DatabaseIpc::InitBlock() {
  Kiv::SingleLock hold(guard_);
  if (block_ == nullptr) return;
  HeldIpcLock held(*this);
  Store(kHolder, pid_);
  Store(kOwner, kNone);
  Store(kRequester, kNone);
  Store(kReserved, 0);
  Store(kState, kStateInitialised);
  StoreByte(kAttachCount, 1);
  Store(kRefusal, 0);
  StoreByte(kReservedByte, 0);
  Store(kPort, 0);
  primary_ = true;
}

void DatabaseIpc::ReleaseHandles(bool removeFiles) {
  // The last process to close (no other shared hold on the block) removes
  // both files while it still holds the mutex, and only its own: the folder
  // may have been removed and made anew while this process ran, and the
  // names then give the files of another daemon. While the lock file is
  // still named, a process that opens it waits for this one's hold, so no
  // other process of the database can put new files under the names
  // between the look and the removal.
  if (removeFiles && blockFd_ >= 0 && ::flock(blockFd_, LOCK_EX | LOCK_NB) == 0 &&
      StillNamed(lockFd_, lockPath_)) {
    if (StillNamed(blockFd_, blockPath_)) ::unlink(blockPath_.c_str());
    ::unlink(lockPath_.c_str());
  }
  if (block_ != nullptr) ::munmap(block_, kBlockSize);
  if (blockFd_ >= 0) ::close(blockFd_);
  if (lockFd_ >= 0) ::close(lockFd_);  // Also releases the mutex.
  block_ = nullptr;
  blockFd_ = -1;
  lockFd_ = -1;
  primary_ = false;
  published_ = Published();
}

void DatabaseIpc::Close() {
  Kiv::SingleLock hold(guard_);
  if (block_ == nullptr) return;
  HeldIpcLock held(*this);
  // A block changed under its owner is another's now (and one cut short
  // cannot be touched through the mapping): it is let go without a write.
  if (!ChangedUnderOwner().empty()) {
    ReleaseHandles(true);
    return;
  }
  if (Load(kOwner) == pid_) {
    Store(kOwner, kNone);
    Store(kPort, 0);
  }
  if (primary_) {
    Store(kHolder, kNone);
    if (static_cast<int32_t>(Load(kState)) >= 1) {
      StoreByte(kAttachCount, static_cast<uint8_t>(LoadByte(kAttachCount) - 1));
    }
  }
  ReleaseHandles(true);
}

void DatabaseIpc::Lock() {
  Kiv::SingleLock hold(guard_);
  if (lockFd_ < 0) return;
  guard_.Enter();  // Kept until the matching Unlock.
  if (lockDepth_++ == 0) FlockRetrying(lockFd_, LOCK_EX);
}

void DatabaseIpc::Unlock() {
  Kiv::SingleLock hold(guard_);
  if (lockDepth_ == 0) return;
  if (--lockDepth_ == 0 && lockFd_ >= 0) FlockRetrying(lockFd_, LOCK_UN);
  guard_.Leave();
}

void DatabaseIpc::ClearDeadEntry(uint32_t offset, uint32_t seen, const char* format) {
  HeldIpcLock held(*this);
  if (Load(offset) == seen) {
    LogMessage(format, static_cast<int>(seen));
    Store(offset, kNone);
    // A dead daemon's port may be taken by another program by now.
    if (offset == kOwner) Store(kPort, 0);
  }
}

void DatabaseIpc::Idle() {
  Kiv::SingleLock hold(guard_);
  if (block_ == nullptr) return;
  if (!primary_) {
    const uint32_t holder = Load(kHolder);
    if (holder == kNone || !IsProcessAlive(holder)) TakeHolder();
    return;
  }
  const uint32_t owner = Load(kOwner);
  const uint32_t requester = Load(kRequester);
  if (owner != kNone && owner != pid_ && !IsProcessAlive(owner)) {
    ClearDeadEntry(kOwner, owner,
                   "IPCIdle> clearing dead database owner (owner processID was %d)\n");
  }
  if (requester != kNone && requester != pid_ && !IsProcessAlive(requester)) {
    ClearDeadEntry(kRequester, requester,
                   "IPCIdle> clearing dead database requester (requester processID was %d)\n");
  }
  if (requester != pid_ || owner != pid_) return;
  HeldIpcLock held(*this);
  if (Load(kRequester) == pid_ && Load(kOwner) == pid_) Store(kRequester, kNone);
}

void DatabaseIpc::TakeHolder() {
  Kiv::SingleLock hold(guard_);
  if (block_ == nullptr) return;
  HeldIpcLock held(*this);
  const uint32_t holder = Load(kHolder);
  if (holder == kNone || !IsProcessAlive(holder)) {
    Store(kHolder, pid_);
    primary_ = true;
  }
}

bool DatabaseIpc::IsOwner() const {
  Kiv::SingleLock hold(guard_);
  return block_ != nullptr && Load(kOwner) == pid_;
}

void DatabaseIpc::ReleaseOwnership() {
  Kiv::SingleLock hold(guard_);
  if (block_ == nullptr || !ChangedUnderOwner().empty() || Load(kOwner) != pid_) return;
  HeldIpcLock held(*this);
  if (Load(kOwner) == pid_) {
    Store(kOwner, kNone);
    Store(kPort, 0);
  }
}

uint32_t DatabaseIpc::GetDaemonPort() const {
  Kiv::SingleLock hold(guard_);
  if (block_ == nullptr || Load(kOwner) == pid_) return 0;
  return Load(kPort);
}

bool DatabaseIpc::ClaimOwnership(uint32_t port, bool overrule) {
  Kiv::SingleLock hold(guard_);
  if (block_ == nullptr) return false;
  HeldIpcLock held(*this);
  const uint32_t owner = Load(kOwner);
  const bool taken = !overrule && owner != kNone && owner != pid_ && IsProcessAlive(owner);
  if (taken) return false;
  Store(kOwner, pid_);
  Store(kPort, port);
  struct stat lock {};
  struct stat block {};
  if (::fstat(lockFd_, &lock) != 0 || ::fstat(blockFd_, &block) != 0) return true;
  published_.claimed = true;
  published_.port = port;
  published_.lockMode = lock.st_mode;
  published_.lockUser = lock.st_uid;
  published_.blockMode = block.st_mode;
  published_.blockUser = block.st_uid;
  return true;
}

std::string DatabaseIpc::ChangedUnderOwner() const {
  Kiv::SingleLock hold(guard_);
  if (block_ == nullptr || !published_.claimed) return std::string();
  struct stat lock {};
  struct stat block {};
  if (::fstat(lockFd_, &lock) != 0 || ::fstat(blockFd_, &block) != 0) return std::string();
  const auto mode = [](const struct stat& info) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", unsigned(info.st_mode & 07777));
    return std::string(text);
  };
  if (lock.st_mode != published_.lockMode || lock.st_uid != published_.lockUser)
    return "the mode or user of " + lockPath_ + " changed (mode " + mode(lock) + ")";
  if (block.st_mode != published_.blockMode || block.st_uid != published_.blockUser)
    return "the mode or user of " + blockPath_ + " changed (mode " + mode(block) + ")";
  // Read from the file, not through the mapping: a page of a file cut
  // short would end the process with SIGBUS.
  uint8_t bytes[kBlockSize];
  if (block.st_size < off_t{kBlockSize} ||
      ::pread(blockFd_, bytes, kBlockSize, 0) != ssize_t{kBlockSize}) {
    return blockPath_ + " was cut short to " + std::to_string(block.st_size) + " bytes";
  }
  if (static_cast<int32_t>(WordAt(bytes, kState)) != kStateInitialised ||
      WordAt(bytes, kRefusal) != 0 || WordAt(bytes, kOwner) != pid_ ||
      WordAt(bytes, kPort) != published_.port) {
    return blockPath_ + " no longer names this process as its daemon on port " +
           std::to_string(published_.port);
  }
  return std::string();
}

bool DatabaseIpc::Renew() {
  Kiv::SingleLock hold(guard_);
  if (block_ == nullptr || Load(kOwner) != pid_) return false;
  if (StillNamed(lockFd_, lockPath_) && StillNamed(blockFd_, blockPath_)) return true;
  const uint32_t port = Load(kPort);
  // What is held is let go without a write (a file gone, or another's);
  // Open then takes the names as they are now.
  ReleaseHandles(false);
  if (!Open(indexPath_)) return false;
  if (ClaimOwnership(port)) return true;
  Close();
  return false;
}

bool DatabaseIpc::FilesStillNamed() const {
  Kiv::SingleLock hold(guard_);
  if (block_ == nullptr) return false;
  return StillNamed(lockFd_, lockPath_) && StillNamed(blockFd_, blockPath_);
}

bool DatabaseIpc::IsPrimary() const {
  Kiv::SingleLock hold(guard_);
  return block_ != nullptr && primary_;
}

DatabaseIpc::Snapshot DatabaseIpc::Read() const {
  Kiv::SingleLock hold(guard_);
  Snapshot snapshot;
  if (block_ == nullptr) return snapshot;
  snapshot.holder = Load(kHolder);
  snapshot.owner = Load(kOwner);
  snapshot.requester = Load(kRequester);
  snapshot.state = static_cast<int32_t>(Load(kState));
  snapshot.attachCount = LoadByte(kAttachCount);
  snapshot.refusal = Load(kRefusal);
  snapshot.port = Load(kPort);
  return snapshot;
}

DatabaseIpc& ProcessDatabaseIpc() {
  static DatabaseIpc* instance = new DatabaseIpc;
  return *instance;
}

bool OpenDatabaseIpc(const Kiv::File::Path& assetIndexPath) {
  return ProcessDatabaseIpc().Open(assetIndexPath);
}
void CloseDatabaseIpc() {
  ProcessDatabaseIpc().Close();
}
void InitDatabaseIpcBlock() {
  ProcessDatabaseIpc().InitBlock();
}
void IPCIdle() {
  ProcessDatabaseIpc().Idle();
}
void TakeDatabaseIpcHolder() {
  ProcessDatabaseIpc().TakeHolder();
}
void LockDatabaseIpc() {
  ProcessDatabaseIpc().Lock();
}
void UnlockDatabaseIpc() {
  ProcessDatabaseIpc().Unlock();
}
bool IsDatabaseOwner() {
  return ProcessDatabaseIpc().IsOwner();
}
void ReleaseDatabaseOwnership() {
  ProcessDatabaseIpc().ReleaseOwnership();
}
uint32_t GetDaemonPort() {
  return ProcessDatabaseIpc().GetDaemonPort();
}
