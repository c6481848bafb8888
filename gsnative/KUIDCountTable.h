// KUIDCountTable: a count per distinct KUID, for KUID lists.
//
// An open-addressing table (linear probing, a power-of-two number of
// 16-byte entries, at most half full) so that a look-up touches one or two
// neighbouring entries instead of following pointers. The table is cut
// into blocks of up to 64 neighbouring entries. The user id and version of
// a KUID, with its content id divided by the block size, pick a block (a
// multiplicative hash, its top bits) and a rotation; the content id plus
// that rotation picks the entry inside the block. So the content ids of one
// author that share a block size run lie in consecutive entries (a walk
// over them streams through memory), while unrelated KUIDs still land on
// spread-out entries. KUIDs are equal when all three fields are; KUIDs
// that hash alike only share a probe sequence.
//
// Find answers the count of a KUID (0 when absent); Add raises it by one
// (inserting the KUID); AddIfAbsent inserts a KUID with count 1 and answers
// true, or answers false and changes nothing when it is held; Remove lowers
// a count by one and takes the KUID out at 0 (the entries after it move
// back, so there are no tombstones); Clear empties the table and gives its
// memory back.
//
// Failure: growth throws std::bad_alloc like the standard containers, and
// leaves the table as it was. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/text/KUID.h"

class KUIDCountTable {
 public:
  uint32_t Find(const KUID& kuid) const;
  void Add(const KUID& kuid);
  bool AddIfAbsent(const KUID& kuid);
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
  // Makes room for one more KUID.
  void Reserve();
  void Grow();

  std::vector<Entry> entries_;
  size_t size_ = 0;
  unsigned shift_ = 64;      // 64 - log2(entries_.size())
  unsigned blockBits_ = 0;   // log2 of the block size
};
