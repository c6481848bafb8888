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
// Cost: besides the ordered blocks the container keeps an index from each
// name to its entries and from each child to its entries (both in order),
// and each thread remembers the position of its last GetChildAt (in a
// thread-local cursor, so that readers on several threads do not share
// state; a cursor is tied to the container's current layout version and is
// ignored once entries have moved). So GetChild,
// SetChild and RemoveChild take constant time on average, a walk of
// GetChildAt over 0..n-1 is linear, and building a soup tag by tag (remove
// the old child of the name, append the new one) is linear in its size.
// Sorting and swapping rebuild what they change.
//
// Ownership: each entry holds one reference on its child and one use of its
// name. No parent pointers exist: a child may sit in several containers.
// Destroying a deep tree does not recurse once per level (children released
// by a dying container are queued and released in a loop).
//
// Failure: allocation failure throws std::bad_alloc. Not locked: see
// ACSChunk for the threading rule.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "foundation/ACSChunk.h"
#include "foundation/BlockRing.h"

class TDBContainerTag : public ACSChunk {
 public:
  // A new, empty container.
  static ChunkRef Create();
  ~TDBContainerTag() override;

  ChunkRef GetChild(const Kiv::PString& name) const override;
  uint32_t CountChildren() const override;
  bool GetChildAt(uint32_t index, Kiv::PString& name, ChunkRef& child) const override;
  void SortChildren() override;
  void SwapChildren(const ACSChunk* a, const ACSChunk* b) override;
  void SetChild(const Kiv::PString& name, ChunkRef child) override;
  void RemoveChild(const ACSChunk* child) override;
  ChunkRef CreateChunk(uint32_t type, CoreRef core) override;
  uint32_t GetType() const override { return SoupType::kContainer; }

  // Number of blocks in the child chain (for checks of the block layout).
  uint32_t BlockCount() const { return ring_.BlockCount(); }
  // A one-byte flag, cleared at creation and not read by this class.
  uint8_t Flag() const { return flag_; }
  void SetFlag(uint8_t flag) { flag_ = flag; }

 private:
  struct Node;
  struct Chain {
    Node* head = nullptr;
    Node* tail = nullptr;
  };
  struct Ring : BlockRing<Node*, 13> {
    uint32_t Append(Node* n) { return AppendToLast(n); }
  };
  using Block = Ring::Block;

  TDBContainerTag();

  Node* FindFirstByChild(const ACSChunk* child) const;
  void Unlink(Node* node);
  void RenumberBlock(Block* block);
  void RebuildChildIndex();
  void NewLayout();

  mutable Ring ring_;
  std::unordered_map<const void*, Chain> byName_;
  std::unordered_map<const ACSChunk*, Chain> byChild_;
  uint32_t count_ = 0;
  uint8_t flag_ = 0;
  // Changes (from a process-wide counter) whenever entries move, so that a
  // remembered GetChildAt position of an older layout is never used.
  uint64_t layout_;
};
