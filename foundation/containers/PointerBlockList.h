// PointerBlockList<T>: chunked list of T* in blocks of 4, order not kept.
//
// AddBlock(p) stores p in the first block, from the front, that has room,
// and links a new block at the end only when every block is full. Erase
// moves the block's last entry into the hole (so a walk that continues from
// the answered iterator visits the moved entry next) and frees a block that
// becomes empty. Iterator::Retreat moves backward.
//
// The list does not own the objects pointed at. Layout, iterator, failure
// (std::bad_alloc is fatal) and threading (none) are those of BlockRing.h.
#pragma once

#include <cstdint>

#include "foundation/containers/BlockRing.h"

template <typename T>
class PointerBlockList : public BlockRing<T*, 4> {
  using Ring = BlockRing<T*, 4>;

 public:
  using Iterator = typename Ring::Iterator;
  using Block = typename Ring::Block;

  // Answers the entry's index within its block.
  uint32_t AddBlock(T* p) {
    Block* b = FirstWithRoom();
    if (!b) b = this->LinkNewBlock();
    b->entries[b->count] = p;
    return b->count++;
  }

  Iterator Erase(Iterator it) { return this->RemoveAt(it, true); }

 private:
  Block* FirstWithRoom() const {
    Block* first = this->FirstBlock();
    if (!first) return nullptr;
    Block* b = first;
    do {
      if (b->count < Ring::kBlockEntries) return b;
      b = b->next;
    } while (b != first);
    return nullptr;
  }
};
