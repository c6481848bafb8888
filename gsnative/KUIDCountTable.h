// KUIDCountTable: a count per distinct KUID, for KUID lists.
//
// An open-addressing table (linear probing, a power-of-two number of
// 16-byte entries, at most half full) so that a look-up touches one or two
// neighbouring entries instead of following pointers. The slot of a KUID
// comes from its packed identity, the 64-bit word (version << 57) |
// (user id & 0x1FFFFFF) << 32 | content id: its low three bits pick the
// entry inside a group of eight neighbouring entries, and the rest,
// multiplied by the golden-ratio constant, picks the group (its top bits).
// Neighbouring content ids of one author, the common case, so share cache
// lines. KUIDs are equal when all three
// fields are, so KUIDs that pack alike (fields outside the packed ranges)
// only share a probe sequence.
//
// Find answers the count of a KUID (0 when absent); Add raises it by one
// (inserting the KUID); Remove lowers it by one and takes the KUID out at 0
// (the entries after it move back, so there are no tombstones); Clear
// empties the table and gives its memory back.
//
// Failure: growth throws std::bad_alloc like the standard containers.
// Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/text/KUID.h"

class KUIDCountTable {
 public:
  uint32_t Find(const KUID& kuid) const;
  void Add(const KUID& kuid);
  void Remove(const KUID& kuid);
  void Clear();

  // The number of distinct KUIDs held.
  size_t Size() const { return size_; }

 private:
  struct Entry {
    KUID kuid;
    uint32_t count = 0;  // 0: the entry is free
  };

  size_t SlotOf(const KUID& kuid) const;
  // The entry of `kuid`, or the free entry where it would go.
  size_t Probe(const KUID& kuid) const;
  void Grow();

  std::vector<Entry> entries_;
  size_t size_ = 0;
  unsigned shift_ = 64;  // 64 - log2(entries_.size())
};
