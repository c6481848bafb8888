#include "foundation/soup/ChunkArena.h"

#include <algorithm>
#include <cstring>
#include <new>

// One block of room; the room follows the header.
struct ChunkArena::Block {
  Block* next;
  size_t size;
};

namespace {

constexpr size_t kAlign = 8;
// The first block holds what the caller expects to make (most soups are
// small files), within these bounds; later blocks double up to the largest.
// One block sized to the reading, rather than many growing ones, also spares
// the heap the churn of handing the same room back and forth each time.
constexpr size_t kSmallestBlock = 4 * 1024;
constexpr size_t kLargestBlock = 64 * 1024 * 1024;
// Objects are preceded by their arena's address, whose low bit is set once
// the object is destroyed.
constexpr size_t kPrefix = sizeof(ChunkArena*);
constexpr uintptr_t kGone = 1;
// Arena bytes per recorded object (a container, in a reading), about, for
// the room of their list (a guess: the list grows as needed).
constexpr size_t kBytesPerObject = 1024;

// Arenas released whole so far.
std::atomic<uint64_t> gReleasedWhole{0};

size_t RoundUp(size_t bytes) {
  return (bytes + kAlign - 1) & ~(kAlign - 1);
}

}  // namespace

ChunkArena* ChunkArena::Open(size_t expected) {
  auto* arena = new (std::nothrow) ChunkArena;
  if (arena == nullptr) return nullptr;
  arena->nextBlockSize_ = std::clamp(expected, kSmallestBlock, kLargestBlock);
  try {
    arena->tracked_.reserve(expected / kBytesPerObject);
  } catch (const std::bad_alloc&) {
    delete arena;
    return nullptr;
  }
  return arena;
}

ChunkArena::~ChunkArena() {
  Kiv::PStringCache::ReleaseAll(names_.data(), names_.size());
  while (blocks_ != nullptr) {
    Block* block = blocks_;
    blocks_ = block->next;
    ::operator delete(block);
  }
}

void* ChunkArena::Bump(size_t bytes) {
  static_assert(sizeof(Block) % kAlign == 0, "block headers keep the room aligned");
  bytes = RoundUp(bytes);
  if (size_t(end_ - next_) < bytes) {
    // A large request gets a block of its own; the current one stays in use.
    const size_t room = std::max(bytes, nextBlockSize_);
    auto* block = static_cast<Block*>(::operator new(sizeof(Block) + room));
    block->size = room;
    block->next = blocks_;
    blocks_ = block;
    char* start = reinterpret_cast<char*>(block + 1);
    if (room == bytes && next_ != nullptr) return start;
    next_ = start;
    end_ = start + room;
    nextBlockSize_ = std::min(nextBlockSize_ * 2, kLargestBlock);
  }
  void* at = next_;
  next_ += bytes;
  return at;
}

void* ChunkArena::AllocateObject(size_t bytes) {
  // Room in the list first, so that recording the object cannot fail.
  if (tracked_.size() == tracked_.capacity()) tracked_.reserve(tracked_.size() * 2 + 64);
  char* at = static_cast<char*>(Bump(kPrefix + bytes));
  ChunkArena* self = this;
  std::memcpy(at, &self, sizeof self);
  ++made_;
  return at + kPrefix;
}

void* ChunkArena::AllocateStorage(size_t bytes, size_t align, size_t alignedAt) {
  // Room enough to move the start up to the boundary wherever it falls.
  char* at = static_cast<char*>(Bump(bytes + align - kAlign));
  const uintptr_t misfit = (reinterpret_cast<uintptr_t>(at) + alignedAt) & (align - 1);
  return misfit == 0 ? at : at + (align - misfit);
}

ChunkArena* ChunkArena::OwnerOf(const void* object) {
  ChunkArena* arena;
  std::memcpy(&arena, static_cast<const char*>(object) - kPrefix, sizeof arena);
  return arena;
}

void ChunkArena::MarkGone(const void* object) {
  char* prefix = const_cast<char*>(static_cast<const char*>(object)) - kPrefix;
  uintptr_t word;
  std::memcpy(&word, prefix, sizeof word);
  word |= kGone;
  std::memcpy(prefix, &word, sizeof word);
}

bool ChunkArena::IsGone(const void* object) {
  uintptr_t word;
  std::memcpy(&word, static_cast<const char*>(object) - kPrefix, sizeof word);
  return (word & kGone) != 0;
}

uint64_t ChunkArena::ReleasedWholeCount() {
  return gReleasedWhole.load(std::memory_order_relaxed);
}

void ChunkArena::Close() {
  open_ = false;
  // The bias leaves; each object made stays as one hold.
  const int64_t change = made_ - kOpenBias;
  if (holds_.fetch_add(change, std::memory_order_acq_rel) + change == 0) delete this;
}

namespace {

thread_local ChunkArena::DeferredDrops* tDeferred = nullptr;

}  // namespace

void ChunkArena::Release(int64_t holds) {
  if (holds_.fetch_sub(holds, std::memory_order_acq_rel) == holds) delete this;
}

bool ChunkArena::ReleaseWhole(const void* object, HeldOnce heldOnce) {
  if (object != root_ || open_ || edited_.load(std::memory_order_relaxed)) return false;
  // The root's last reference ended on this thread, after every other
  // holder of the root let it go: what they noted before is seen here.
  if (handedOut_.load(std::memory_order_relaxed)) {
    // The root first (a reading may make it after the containers of its
    // first entry), then the others in the order they were made: a
    // container before the containers under it.
    if (!heldOnce(object)) return false;
    for (const void* tracked : tracked_) {
      if (tracked != object && !IsGone(tracked) && !heldOnce(tracked)) return false;
    }
    // An edit made before a holder let its sub-tree go is seen once its
    // count was read.
    if (edited_.load(std::memory_order_relaxed)) return false;
  }
  // Objects destroyed earlier may still have their drops counted on this
  // thread; they go with the arena.
  DeferredDrops* deferred = tDeferred;
  if (deferred != nullptr && deferred->arena_ == this) {
    deferred->arena_ = nullptr;
    deferred->count_ = 0;
  }
  for (const Finish& f : finishers_) {
    if (!IsGone(f.object)) f.finish(f.object);
  }
  gReleasedWhole.fetch_add(1, std::memory_order_relaxed);
  delete this;
  return true;
}

void ChunkArena::Drop() {
  DeferredDrops* deferred = tDeferred;
  if (deferred == nullptr) return Release(1);
  if (deferred->arena_ != this) {
    deferred->Flush();
    deferred->arena_ = this;
  }
  ++deferred->count_;
}

ChunkArena::DeferredDrops::DeferredDrops() : outermost_(tDeferred == nullptr) {
  if (outermost_) tDeferred = this;
}

ChunkArena::DeferredDrops::~DeferredDrops() {
  if (!outermost_) return;
  tDeferred = nullptr;
  Flush();
}

// The counted holds end; the arena may go with them.
void ChunkArena::DeferredDrops::Flush() {
  if (arena_ != nullptr && count_ != 0) arena_->Release(count_);
  arena_ = nullptr;
  count_ = 0;
}
