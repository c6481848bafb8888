// KUIDCountTable: a count per distinct KUID, for KUID lists.
//
// An open-addressing table (linear probing, a power-of-two number of
// 16-byte entries, at most half full) so that a look-up touches one or two
// neighbouring entries instead of following pointers. The table is cut
// into blocks of up to 256 neighbouring entries (4 KiB). The user id and version of
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
// A table that would pass half full grows to four times its entries while
// it has fewer than 2^20 (16 MiB), and to twice its entries after that.
//
// Failure: growth throws std::bad_alloc like the standard containers, and
// leaves the table as it was. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "foundation/text/KUID.h"

class KUIDCountTable {
 public:
  uint32_t Find(const KUID& kuid) const;
  void Add(const KUID& kuid);
  bool AddIfAbsent(const KUID& kuid);
  void Remove(const KUID& kuid);
  void Clear();

  // AddIfAbsent in two steps, for a caller that may still call the add
  // off: FindFree changes nothing; on kAbsent `slot` is where the KUID
  // goes, and FillFree(slot, kuid) puts it there with count 1 (nothing may
  // change the table in between). kFull: the table must grow before any
  // KUID is added, which AddIfAbsent does.
  enum class Lookup { kHeld, kAbsent, kFull };
  Lookup FindFree(const KUID& kuid, size_t& slot) const;
  void FillFree(size_t slot, const KUID& kuid);

  // The number of distinct KUIDs held.
  size_t Size() const { return size_; }

 private:
  // Plain fields, so that a new table comes zeroed from the allocator
  // (all entries free) without a pass that constructs each one.
  struct Entry {
    int32_t userId;
    int32_t contentId;
    int32_t version;
    uint32_t count;  // 0: the entry is free

    bool Holds(const KUID& kuid) const {
      return contentId == kuid.contentId && userId == kuid.userId && version == kuid.version;
    }
    KUID Key() const { return KUID{userId, contentId, version}; }
  };
  struct FreeEntries {
    void operator()(Entry* entries) const { std::free(entries); }
  };

  size_t Mask() const { return mask_; }
  size_t SlotOf(const KUID& kuid) const;
  // The entry of `kuid`, or the free entry where it would go.
  size_t Probe(const KUID& kuid) const;
  // Whether one more KUID would pass half full.
  bool IsFull() const { return (size_ + 1) * 2 > capacity_; }
  // Makes room for one more KUID.
  void Reserve() {
    if (IsFull()) Grow();
  }
  void Grow();

  std::unique_ptr<Entry[], FreeEntries> entries_;
  size_t capacity_ = 0;  // a power of two, or 0 before the first KUID
  size_t size_ = 0;
  // Set by Grow from the capacity, so that SlotOf does no more than hash.
  size_t mask_ = 0;          // capacity_ - 1
  size_t blockMask_ = 0;     // the block size - 1
  size_t blockStarts_ = 0;   // mask_ without blockMask_: a block's first slot
  unsigned blockBits_ = 0;   // log2 of the block size
  unsigned shift_ = 64;      // 64 - log2(capacity_)
};

// Find, AddIfAbsent, FindFree, FillFree and what they use are inline: a
// KUID list's AddKUID and HasKUID are each a few calls of them.

inline size_t KUIDCountTable::SlotOf(const KUID& kuid) const {
  const auto content = static_cast<uint32_t>(kuid.contentId);
  const uint64_t author = uint64_t{static_cast<uint32_t>(kuid.version)} << 32 |
                          static_cast<uint32_t>(kuid.userId);
  const uint64_t hash =
      ((author * 0xBF58476D1CE4E5B9ull) ^ (content >> blockBits_)) * 0x9E3779B97F4A7C15ull;
  const size_t block = static_cast<size_t>(hash >> shift_) & blockStarts_;
  return block | ((content + static_cast<size_t>(hash >> 32)) & blockMask_);
}

inline size_t KUIDCountTable::Probe(const KUID& kuid) const {
  size_t slot = SlotOf(kuid);
  while (entries_[slot].count != 0 && !entries_[slot].Holds(kuid)) slot = (slot + 1) & Mask();
  return slot;
}

inline uint32_t KUIDCountTable::Find(const KUID& kuid) const {
  if (size_ == 0) return 0;
  return entries_[Probe(kuid)].count;
}

inline bool KUIDCountTable::AddIfAbsent(const KUID& kuid) {
  Reserve();
  const size_t slot = Probe(kuid);
  if (entries_[slot].count != 0) return false;
  FillFree(slot, kuid);
  return true;
}

inline KUIDCountTable::Lookup KUIDCountTable::FindFree(const KUID& kuid, size_t& slot) const {
  if (IsFull()) return Lookup::kFull;
  slot = Probe(kuid);
  return entries_[slot].count != 0 ? Lookup::kHeld : Lookup::kAbsent;
}

inline void KUIDCountTable::FillFree(size_t slot, const KUID& kuid) {
  entries_[slot] = Entry{kuid.userId, kuid.contentId, kuid.version, 1};
  ++size_;
}
