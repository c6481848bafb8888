#include "render/textures/HeldSourceNames.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "foundation/base/RenameAtNoReplace.h"

namespace {

// A slot's states. Only its owner moves it out of kFree, kTaken and
// kMoving (while it makes a rename, with `mover` its thread); a signal
// handler takes a kHeld slot as kHandled, which nothing frees: the process
// ends.
enum State : int { kFree, kTaken, kMoving, kHeld, kHandled };

struct Slot {
  std::atomic<int> state{kFree};
  std::atomic<pid_t> mover{0};
  int folder = -1;
  dev_t device = 0;
  ino_t inode = 0;
  char source[NAME_MAX + 1] = {};
  char temporary[NAME_MAX + 1] = {};
};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free,
              "a signal handler reads the slots");
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets the flag");

Slot g_slots[kMaxHeldSourceNames];
std::atomic<bool> g_stopping{false};

// How long the handler waits for a rename another thread is making.
constexpr int64_t kMoveWaitNs = 1000000000;

// The folder part of `path` ("/" for a file at the root, "." for a bare
// name) and its last component.
void Split(const std::string& path, std::string* folder, std::string* name) {
  const size_t slash = path.rfind('/');
  *folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

int TakeSlot() {
  for (size_t i = 0; i < kMaxHeldSourceNames; ++i) {
    int expected = kFree;
    if (g_slots[i].state.compare_exchange_strong(expected, kTaken)) return int(i);
  }
  return -1;
}

// Frees a slot of the calling owner's (kTaken or kMoving); answers `error`.
int Free(Slot& slot, int error) {
  slot.state.store(kTaken);
  if (slot.folder >= 0) ::close(slot.folder);
  slot.folder = -1;
  slot.state.store(kFree);
  return error;
}

// Fills a taken slot: the folder open, the names and the source's identity.
int Prepare(Slot& slot, const std::string& source, const std::string& temporary) {
  std::string folder, sourceName, otherFolder, temporaryName;
  Split(source, &folder, &sourceName);
  Split(temporary, &otherFolder, &temporaryName);
  if (folder != otherFolder) return EXDEV;
  if (sourceName.size() > NAME_MAX || temporaryName.size() > NAME_MAX) return ENAMETOOLONG;
  std::memcpy(slot.source, sourceName.c_str(), sourceName.size() + 1);
  std::memcpy(slot.temporary, temporaryName.c_str(), temporaryName.size() + 1);
  slot.folder = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (slot.folder < 0) return errno;
  struct stat identity;
  if (::fstatat(slot.folder, slot.source, &identity, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  slot.device = identity.st_dev;
  slot.inode = identity.st_ino;
  return 0;
}

// The handler's rename back: only the file that was renamed, never over
// another.
void Restore(const Slot& slot) {
  struct stat identity;
  if (::fstatat(slot.folder, slot.temporary, &identity, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (identity.st_dev != slot.device || identity.st_ino != slot.inode) return;
  RenameAtNoReplace(slot.folder, slot.temporary, slot.folder, slot.source);
}

int64_t MonotonicNs() {
  timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void RestoreInHandler(Slot& slot, pid_t self, int64_t deadline) {
  for (;;) {
    int state = slot.state.load();
    if (state == kHeld) {
      if (slot.state.compare_exchange_strong(state, kHandled)) return Restore(slot);
      continue;
    }
    if (state != kMoving) return;
    // Interrupted in its own rename: the file stands at one name or the
    // other, and this thread never goes back to it.
    if (slot.mover.load() == self) return Restore(slot);
    if (MonotonicNs() >= deadline) return;
  }
}

}  // namespace

HeldSourceName::~HeldSourceName() {
  GiveBack();
}

int HeldSourceName::Hold(const std::string& source, const std::string& temporary) {
  if (slot_ >= 0) return EBUSY;
  const int index = TakeSlot();
  if (index < 0) return EAGAIN;
  Slot& slot = g_slots[index];
  const int prepared = Prepare(slot, source, temporary);
  if (prepared != 0) return Free(slot, prepared);
  slot.mover.store(::gettid());
  slot.state.store(kMoving);
  // Either the handler sees kMoving and waits, or this sees it stopping.
  if (g_stopping.load()) return Free(slot, EINTR);
  const int error = RenameAtNoReplace(slot.folder, slot.source, slot.folder, slot.temporary);
  if (error != 0) return Free(slot, error);
  slot.state.store(kHeld);
  slot_ = index;
  return 0;
}

int HeldSourceName::GiveBack() {
  if (slot_ < 0) return 0;
  Slot& slot = g_slots[slot_];
  slot_ = -1;
  slot.mover.store(::gettid());
  int held = kHeld;
  if (!slot.state.compare_exchange_strong(held, kMoving)) return 0;  // the handler's now
  return Free(slot, RenameAtNoReplace(slot.folder, slot.temporary, slot.folder, slot.source));
}

void GiveHeldSourceNamesBack() {
  const int savedErrno = errno;
  g_stopping.store(true);
  const pid_t self = ::gettid();
  const int64_t deadline = MonotonicNs() + kMoveWaitNs;
  for (Slot& slot : g_slots) RestoreInHandler(slot, self, deadline);
  errno = savedErrno;
}
