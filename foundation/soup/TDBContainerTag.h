// TDBContainerTag: an editable soup container (type 1): named children in
// order.
//
// Storage: the children lie in a ring of blocks of 13 entries (the chunked
// list layout, BlockRing); each entry points at a small node {name, child}.
// Removing a child moves the later entries of its block down by one and a
// block left empty is freed, so 14 children take two blocks and removing the
// 14th frees the second again.
//
// Behaviour (see ACSChunk for the contract of each operation):
//   GetChild     the first child of the name, by name identity;
//   GetChildAt   the entry at an index;
//   SetChild     appends at the end (duplicates allowed);
//   RemoveChild  the first entry whose child is that very chunk;
//   SortChildren orders by unsigned name bytes; equal names keep their
//                relative order (the sort is stable, so results repeat);
//   SwapChildren exchanges two children by identity, names stay in place;
//   CreateChunk  an empty TDBContainerTag for type 1, else a TDBDataTag.
//
// Cost: each entry points at a small node {name, child} taken from a pool
// that the container owns (nodes keep their address while entries move, and
// a container allocates its nodes in a few growing slabs rather than one by
// one). A container of up to kIndexFrom children answers GetChild and
// RemoveChild with a scan of pointer comparisons. A larger one keeps an
// index from each name to its entries (in order), and, from the first
// RemoveChild or SwapChildren that needs it, one from each child to its
// entries; so GetChild, SetChild and RemoveChild take constant time on
// average, and building a soup tag by tag (RemoveFirstNamed, then append)
// is linear in its size. Each thread remembers the position of its last
// GetChildAt (in a thread-local cursor, so that readers on several threads
// do not share state; a cursor is tied to the container's current layout
// version and is ignored once entries have moved), so a walk of GetChildAt
// over 0..n-1 is linear while nothing else is read in between; a walk that
// also reads sub-soups keeps a ChildCursor per open container and uses
// GetChildAtCursor. Sorting and swapping rebuild what they change.
//
// A container may be made in a ChunkArena (the text reader's): it then lives
// in the arena's memory, holds the arena until it is destroyed, and takes
// its node slabs and ring blocks from the arena while the arena is open (see ChunkArena.h);
// it behaves as any other container. Its changes after the reading tell the
// arena (which then no longer releases the tree whole), and the root of a
// reading offers the arena to release the tree whole as it goes.
//
// Ownership: each entry holds one reference on its child and one use of its
// name (none for a name borrowed with ReplaceFirstNamedBorrowingName). No parent pointers exist: a child may sit in several containers.
// Destroying a deep tree does not recurse once per level (children released
// by a dying container are queued and released in a loop).
//
// Failure: allocation failure throws std::bad_alloc. Not locked: see
// ACSChunk for the threading rule.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "foundation/containers/BlockRing.h"
#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/ChunkArena.h"

class TDBContainerTag : public ACSChunk {
 public:
  // Containers with more children than this keep name (and child) indexes.
  static constexpr uint32_t kIndexFrom = 12;

  // A new, empty container.
  static ChunkRef Create();
  // A new, empty container in `arena` (the heap when it is null).
  static ChunkRef CreateIn(ChunkArena* arena);
  ~TDBContainerTag() override;
  // Frees the container's memory, or leaves it to the arena that holds it.
  static void operator delete(TDBContainerTag* tag, std::destroying_delete_t);

  ChunkRef GetChild(const Kiv::PString& name) const override;
  uint32_t CountChildren() const override;
  bool GetChildAt(uint32_t index, Kiv::PString& name, ChunkRef& child) const override;
  bool GetChildAtCursor(uint32_t index, ChildCursor& cursor, const Kiv::PString*& name,
                        const ACSChunk*& child) const override;
  void SortChildren() override;
  void SwapChildren(const ACSChunk* a, const ACSChunk* b) override;
  void SetChild(const Kiv::PString& name, ChunkRef child) override;
  void RemoveChild(const ACSChunk* child) override;
  ChunkRef CreateChunk(uint32_t type, CoreRef core) override;
  uint32_t GetType() const override { return SoupType::kContainer; }

  // Does exactly what RemoveChild(GetChild(name)) does (nothing when the
  // name is absent or its first child is the shared null tag), without the
  // second lookup and without taking references.
  void RemoveFirstNamed(const Kiv::PString& name);
  // Does exactly what RemoveFirstNamed(name) then SetChild(name, child)
  // does: the tag of that name leaves its place and the new one comes at the
  // end. A name that is new, or held by one entry whose child has no other
  // holder, is looked up once.
  void ReplaceFirstNamed(const Kiv::PString& name, ChunkRef child);
  // ReplaceFirstNamed whose new entry shares the name without taking a use
  // of it: the caller keeps `name` alive for as long as this container lives
  // (the text reader's arena, which holds every container it made, keeps a
  // use of each name read; see ChunkArena::HoldName). Making and dropping
  // such an entry counts nothing on the name.
  void ReplaceFirstNamedBorrowingName(const Kiv::PString& name, ChunkRef child);
  // The first child of the name, or null when there is none; no reference
  // is taken, so the pointer is valid until the container next changes.
  const ACSChunk* FindFirstNamed(const Kiv::PString& name) const;

  // Number of blocks in the child chain (for checks of the block layout).
  uint32_t BlockCount() const { return ring_.BlockCount(); }
  // A one-byte flag, cleared at creation and not read by this class.
  uint8_t Flag() const { return flag_; }
  void SetFlag(uint8_t flag) { flag_ = flag; }

 private:
  // Nodes of a slab in an arena start on a cache line (two nodes to a line).
  static constexpr size_t kNodeAlign = 64;
  struct Links;
  struct Node;
  struct Slab;
  class Index;
  // Ring blocks come from the container's arena while it is open (each
  // block is marked, so that only heap blocks are freed alone).
  class RingBlocks {
   public:
    void UseArena(ChunkArena* arena) { arena_ = arena; }
    void* AllocateBlock(size_t bytes);
    static void FreeBlock(void* block);

   private:
    ChunkArena* arena_ = nullptr;
  };
  struct Ring : BlockRing<Node*, 13, ValueInitFill<Node*>, RingBlocks> {
    uint32_t Append(Node* n) { return AppendToLast(n); }
    using RingBlocks::UseArena;
  };
  using Block = Ring::Block;

  TDBContainerTag();
  static void* operator new(size_t size, ChunkArena* arena);
  static void operator delete(void* p, ChunkArena* arena);

  // Before every change: an edit after the reading keeps the arena from
  // being released whole (see ChunkArena.h).
  void NoteEdit();
  // Before an index is built in the arena's reading: it is freed with the
  // arena when the tree is released whole (FinishWhole).
  void NoteIndex() const;
  static void FinishWhole(void* container);
  // Whether each child of the container has the count 1 when it ever
  // handed one out (ChunkArena::HeldOnce).
  static bool ChildrenHeldOnce(const void* container);
  // Before a child is handed out (a reference or a view): a container in an
  // arena tells it once.
  void NoteHandout() const {
    if (inArena_ && !handedOut_.load(std::memory_order_relaxed)) MarkHandout();
  }
  void MarkHandout() const;
  Node* NewNode();
  // A new node for the entry at the end, in the ring and the child index;
  // the caller links it into the name index.
  Node* AppendNode(const Kiv::PString& name, ChunkRef child, bool borrowName = false);
  void Append(const Kiv::PString& name, ChunkRef child, bool borrowName);
  void Replace(const Kiv::PString& name, ChunkRef child, bool borrowName);
  void FreeNode(Node* node);
  // Drops the node's use of its name, or forgets a borrowed one.
  static void EndName(Node& node);
  Node* FirstByName(const void* name) const;
  Node* FirstByChild(const ACSChunk* child) const;
  void BuildNameIndex() const;
  void BuildChildIndex() const;
  void Remove(Node* node);
  void Unlink(Node* node);
  // Takes the node's entry out of the ring and appends it again at the end.
  void MoveToEnd(Node* node);
  void RenumberBlock(Block* block);
  void NewLayout();
  // The node at `index` (below count_), starting from the nearest of the
  // ends and the cursor's place; leaves the cursor there.
  Node* NodeAt(uint32_t index, ChildCursor::Position& cursor) const;

  mutable Ring ring_;
  // Built once the container holds more than kIndexFrom children.
  mutable std::unique_ptr<Index> byName_;
  // Built on first need in a container of more than kIndexFrom children;
  // dropped when entries are reordered.
  mutable std::unique_ptr<Index> byChild_;
  Slab* slabs_ = nullptr;
  Node* freeNodes_ = nullptr;
  uint32_t count_ = 0;
  uint8_t flag_ = 0;
  bool inArena_ = false;
  mutable bool finisherAdded_ = false;
  mutable std::atomic<bool> handedOut_{false};
  // Changes (from a process-wide counter) whenever entries move, so that a
  // remembered GetChildAt position of an older layout is never used.
  uint64_t layout_;
};
