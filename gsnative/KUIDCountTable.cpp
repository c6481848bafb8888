#include "gsnative/KUIDCountTable.h"

#include <algorithm>
#include <new>

namespace {

constexpr size_t kFirstCapacity = 16;
constexpr unsigned kLargestBlockBits = 8;
// Up to this many entries (16 MiB) the table grows four times over, so a
// list built up from nothing grows, moving its KUIDs and clearing new
// entries, half as many times; past it, twice over, so that a large list's
// free entries stay in proportion.
constexpr size_t kQuadrupleBelow = size_t{1} << 20;

}  // namespace

void KUIDCountTable::Grow() {
  const size_t capacity = capacity_ == 0 ? kFirstCapacity
                          : capacity_ < kQuadrupleBelow ? capacity_ * 4
                                                        : capacity_ * 2;
  // calloc: every entry starts free (count 0).
  std::unique_ptr<Entry[], FreeEntries> entries(
      static_cast<Entry*>(std::calloc(capacity, sizeof(Entry))));
  if (entries == nullptr) throw std::bad_alloc();
  entries.swap(entries_);
  const size_t oldCapacity = capacity_;
  capacity_ = capacity;
  unsigned bits = 0;
  while ((size_t{1} << bits) < capacity) ++bits;
  mask_ = capacity - 1;
  // At least two blocks.
  blockBits_ = std::min(bits - 1, kLargestBlockBits);
  blockMask_ = (size_t{1} << blockBits_) - 1;
  blockStarts_ = mask_ & ~blockMask_;
  shift_ = 64 - bits;
  // The KUIDs held are distinct: each goes to the first free entry of its
  // probe sequence.
  for (size_t i = 0; i < oldCapacity; ++i) {
    const Entry& entry = entries[i];
    if (entry.count == 0) continue;
    size_t slot = SlotOf(entry.Key());
    while (entries_[slot].count != 0) slot = (slot + 1) & Mask();
    entries_[slot] = entry;
  }
}

void KUIDCountTable::Add(const KUID& kuid) {
  Reserve();
  Entry& entry = entries_[Probe(kuid)];
  if (entry.count == 0) {
    entry = Entry{kuid.userId, kuid.contentId, kuid.version, 0};
    ++size_;
  }
  ++entry.count;
}

void KUIDCountTable::Remove(const KUID& kuid) {
  if (size_ == 0) return;
  size_t hole = Probe(kuid);
  if (entries_[hole].count == 0 || --entries_[hole].count != 0) return;
  --size_;
  // Move back every later entry of the run that may sit in the hole: one
  // whose home slot is not cyclically inside (hole, slot].
  for (size_t slot = (hole + 1) & Mask(); entries_[slot].count != 0; slot = (slot + 1) & Mask()) {
    const size_t home = SlotOf(entries_[slot].Key());
    const bool between = hole <= slot ? (hole < home && home <= slot) : (hole < home || home <= slot);
    if (between) continue;
    entries_[hole] = entries_[slot];
    entries_[slot].count = 0;
    hole = slot;
  }
}

void KUIDCountTable::Clear() {
  entries_.reset();
  capacity_ = 0;
  size_ = 0;
  mask_ = 0;
  blockMask_ = 0;
  blockStarts_ = 0;
  blockBits_ = 0;
  shift_ = 64;
}
