// BlockList<Key>: chunked list of 12-byte keys (KUIDs), blocks of 128.
//
// Key is any trivially copyable 12-byte type made of three 32-bit words
// (KUID). Every slot of a new block holds the null key, by default the words
// (-1, -1, 127); the words are template parameters for other key kinds.
// Append adds at the end of the last block and opens a new block when that
// one holds 128 keys; it answers the key's index within its block. Find
// compares keys word by word and answers the first equal entry. Erase (from
// BlockRing) moves the following keys of the block down and refills the
// freed slot with the null key.
//
// Layout, iterator, ownership, failure (std::bad_alloc is fatal) and
// threading (none) are those of BlockRing.h.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <type_traits>

#include "foundation/containers/BlockRing.h"

template <typename Key, int32_t W0, int32_t W1, int32_t W2>
struct WordKeyFill {
  static Key Value() { return std::bit_cast<Key>(std::array<int32_t, 3>{W0, W1, W2}); }
};

template <typename Key, int32_t W0 = -1, int32_t W1 = -1, int32_t W2 = 127>
class BlockList : public BlockRing<Key, 128, WordKeyFill<Key, W0, W1, W2>> {
  static_assert(sizeof(Key) == 12, "BlockList holds 12-byte keys");
  static_assert(std::is_trivially_copyable_v<Key>, "BlockList keys are plain words");
  using Ring = BlockRing<Key, 128, WordKeyFill<Key, W0, W1, W2>>;
  using Words = std::array<int32_t, 3>;

 public:
  using Iterator = typename Ring::Iterator;

  static Key NullKey() { return WordKeyFill<Key, W0, W1, W2>::Value(); }

  uint32_t Append(const Key& key) { return this->AppendToLast(key); }

  // The first entry whose three words equal those of `key`, or the end.
  Iterator Find(const Key& key) {
    const Words want = std::bit_cast<Words>(key);
    return this->FindIf([&](const Key& e) { return std::bit_cast<Words>(e) == want; });
  }
};
