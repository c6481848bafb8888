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
// Releasing a whole tree at once: a reading makes one tree, whose root it
// names (SetRoot), and puts every other object it keeps into one entry of
// one container of the tree as it makes it. While no object of the arena is
// edited after Close (each edit calls NoteEdit), every object alive then is
// in its entry under the root, which holds one reference on it; the only
// way to any of them is through the root, each container handing out its
// children (and the container tells the arena, NoteHandout, before it first
// does). So when the root's last reference ends:
//   - if nothing was handed out, nothing outside holds any object, and the
//     arena goes with all of them at once, none of them visited;
//   - else one pass over the recorded objects (the containers), the root
//     first, then in the order they were made (a reading makes a container
//     before the containers under it, the root aside), asks each
//     that handed out children whether each child has the count 1, its
//     entry's. The order makes this sound while other threads still let go
//     of sub-trees they held: a holder that took a child through a
//     container and then let the container go has its count on the child,
//     and the container's note, seen by the time the pass reaches them.
// Anything else (a sub-tree or tag still held, shared with another tree or
// moved, an edit) leaves the tree to go object by object, as any tree does.
//
// Threads: Open, the allocations, Track, HoldName, AddFinisher, SetRoot and
// Close belong to the reading thread and happen before its chunks are
// handed out; Drop, NoteEdit, NoteHandout and ReleaseWhole may come from any
// thread.
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

  // Records an object made with AllocateObject (the answer of that call)
  // that hands out other objects of the arena: every such object must be
  // recorded for the arena to be released whole. Reading thread, while
  // open; never fails (AllocateObject makes the room).
  void Track(void* object) { tracked_.push_back(object); }
  // Work that releasing the arena whole must still do for `object` (memory
  // it keeps outside the arena), run then if the object is alive. Reading
  // thread, while open.
  using Finisher = void (*)(void* object);
  void AddFinisher(void* object, Finisher finish) { finishers_.push_back({object, finish}); }
  // Names the root of the tree read (see above). Reading thread, while open.
  void SetRoot(const void* root) { root_ = root; }
  // Records that an object of the arena is about to change after Close;
  // the arena then goes object by object.
  void NoteEdit() {
    if (!open_) edited_.store(true, std::memory_order_relaxed);
  }
  // Records that a recorded object is about to hand out another object of
  // the arena for the first time.
  void NoteHandout() {
    if (!handedOut_.load(std::memory_order_relaxed))
      handedOut_.store(true, std::memory_order_relaxed);
  }
  // Called as the last reference on `object` ends, before it is destroyed:
  // when `object` is the root and nothing outside the tree holds any object
  // of the arena (see above), runs the finishers and frees the arena with
  // every object in it, without destroying them, and answers true. False
  // (nothing done) otherwise. `heldOnce` answers, for a recorded object that
  // is alive, whether nothing outside the tree holds what it handed out.
  using HeldOnce = bool (*)(const void* object);
  bool ReleaseWhole(const void* object, HeldOnce heldOnce);
  // How many arenas were released whole in this process (for checks).
  static uint64_t ReleasedWholeCount();

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
    if (arena == nullptr) return ::operator delete(object);
    MarkGone(object);
    arena->Drop();
  }

 private:
  struct Block;

  ChunkArena() = default;
  ~ChunkArena();
  // The room of a destroyed object says so (its prefix gets the low bit).
  static void MarkGone(const void* object);
  static bool IsGone(const void* object);
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
  // The objects recorded, in the order they were made.
  std::vector<void*> tracked_;
  struct Finish {
    void* object;
    Finisher finish;
  };
  std::vector<Finish> finishers_;
  const void* root_ = nullptr;
  std::atomic<bool> edited_{false};
  std::atomic<bool> handedOut_{false};
};
