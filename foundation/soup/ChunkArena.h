// ChunkArena: memory for the chunks that one reading of a text soup makes,
// taken from a few large blocks instead of one heap allocation per chunk.
//
// The reader opens an arena, makes its tags and containers in it (and, while
// it is open, the containers' node storage), and closes it when it is done.
// Every object made with AllocateObject counts as one hold on the arena, and
// so does the open arena itself until Close. The blocks are freed when the
// last hold ends: after Close, when the last chunk made in the arena is
// destroyed, on whichever thread releases it. The room of an object
// destroyed earlier is not reused, so one arena serves one reading and its
// size is bounded by what that reading made; chunks made later (edits of the
// soup that was read) come from the heap as usual.
//
// A tree read this way keeps all its blocks while any of its chunks is
// alive: keeping one small tag of a large soup keeps the soup's memory
// (Soup::Copy makes a tree of its own that lets it go).
//
// The arena also keeps the names its objects borrow (HoldName): one use
// per name, dropped when the memory goes.
//
// Threads: Open, the allocations, HoldName and Close belong to the reading thread and
// happen before its chunks are handed out; Drop may come from any thread.
// Failure: the allocations throw std::bad_alloc (the reader reports it).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "kiv/PString.h"

class ChunkArena {
 public:
  ChunkArena(const ChunkArena&) = delete;
  ChunkArena& operator=(const ChunkArena&) = delete;

  // A new, open arena that the caller holds until Close, whose first block
  // holds about `expected` bytes (a guess: later blocks are added as
  // needed); null when there is no memory for it (callers then use the heap).
  static ChunkArena* Open(size_t expected);

  // Room for an object of `bytes` bytes, aligned to 8, that holds the arena
  // until it calls Drop. OwnerOf(the answer) is this arena.
  void* AllocateObject(size_t bytes);
  // Room for storage that belongs to an object of the arena (it takes no
  // hold of its own and is never freed alone), placed so that its byte at
  // `alignedAt` lies on a boundary of `align` (a power of two, at least 8;
  // `alignedAt` a multiple of 8).
  void* AllocateStorage(size_t bytes, size_t align = 8, size_t alignedAt = 0);

  // Keeps one use of `name` until the arena's memory is freed, so that the
  // objects of the arena may refer to it without a use of their own (see
  // TDBContainerTag::SetChildWithBorrowedName). Reading thread, while open.
  // Answers the arena's own copy (valid until the next HoldName).
  const Kiv::PString& HoldName(Kiv::PString name) { return names_.emplace_back(std::move(name)); }

  bool IsOpen() const { return open_; }
  // Ends the reader's hold; the arena takes no more allocations.
  void Close();
  // Ends one object's hold (the object is gone). Inside a DeferredDrops
  // scope on this thread the hold ends when the scope does.
  void Drop();

  // While one lives on a thread, the Drops of that thread are counted and
  // end their holds together when it goes (one atomic step per arena rather
  // than one per object). Nested scopes leave the work to the outermost.
  class DeferredDrops {
   public:
    DeferredDrops();
    ~DeferredDrops();
    DeferredDrops(const DeferredDrops&) = delete;
    DeferredDrops& operator=(const DeferredDrops&) = delete;

   private:
    friend class ChunkArena;
    void Flush();
    bool outermost_;
    ChunkArena* arena_ = nullptr;
    int64_t count_ = 0;
  };

  // The arena of an object made with AllocateObject.
  static ChunkArena* OwnerOf(const void* object);

  // Room for an object of `bytes` bytes: AllocateObject in `arena`, the
  // plain operator new when it is null.
  static void* New(ChunkArena* arena, size_t bytes) {
    return arena != nullptr ? arena->AllocateObject(bytes) : ::operator new(bytes);
  }
  // Destroys an object made with New (in an arena when `inArena`), then
  // frees its room or ends its hold on the arena.
  template <class T>
  static void Destroy(T* object, bool inArena) {
    ChunkArena* arena = inArena ? OwnerOf(object) : nullptr;
    object->~T();
    if (arena != nullptr) return arena->Drop();
    ::operator delete(object);
  }

 private:
  struct Block;

  ChunkArena() = default;
  ~ChunkArena();
  void* Bump(size_t bytes);
  void Release(int64_t holds);

  // Holds, counted from a large bias while the arena is open, so that objects
  // dropped during the reading never bring it to 0; Close settles the count.
  static constexpr int64_t kOpenBias = int64_t{1} << 62;
  std::atomic<int64_t> holds_{kOpenBias};
  int64_t made_ = 0;
  bool open_ = true;
  Block* blocks_ = nullptr;
  char* next_ = nullptr;
  char* end_ = nullptr;
  size_t nextBlockSize_;
  std::vector<Kiv::PString> names_;
};
