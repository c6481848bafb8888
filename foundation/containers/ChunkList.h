// ChunkList<T>: the program's general chunked list, blocks of 13 entries.
//
// Used for spec lists, registry tables, the buckets of the KUID hash and
// lists of names. Entries are values of T (pointer-sized values, pointers to
// objects, Kiv::PString ...); see BlockRing.h for the layout, the iterator
// and the failure and threading rules shared by every chunked list.
//
// PushBack appends into the last block and opens a new block at the end when
// that one holds 13 entries; it answers the entry's index within its block
// (so the 14th value gets index 0 in the second block). Erase moves the
// block's following entries down, for entries of any size.
//
// Ownership: the list owns its blocks and its entry values. For a list of
// pointers, DeleteAll deletes every object pointed at (through its virtual
// destructor when it has one) and then frees the blocks; FreeBlocks and the
// destructor leave the objects alone.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

#include "foundation/containers/BlockRing.h"

template <typename T>
class ChunkList : public BlockRing<T, 13> {
  using Ring = BlockRing<T, 13>;

 public:
  using Iterator = typename Ring::Iterator;

  uint32_t PushBack(T value) { return this->AppendToLast(std::move(value)); }

  // The first entry equal to `value`, or the end.
  Iterator Find(const T& value) {
    return this->FindIf([&](const T& e) { return e == value; });
  }

  void DeleteAll() requires std::is_pointer_v<T> {
    for (T& p : *this) {
      delete p;
      p = nullptr;
    }
    this->FreeBlocks();
  }
};
