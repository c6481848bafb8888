#include "gsnative/KUIDCountTable.h"

#include <algorithm>
#include <utility>

namespace {

constexpr size_t kFirstCapacity = 16;
constexpr unsigned kLargestBlockBits = 6;

bool SameKUID(const KUID& a, const KUID& b) {
  return a.contentId == b.contentId && a.userId == b.userId && a.version == b.version;
}

}  // namespace

size_t KUIDCountTable::SlotOf(const KUID& kuid) const {
  const auto content = static_cast<uint32_t>(kuid.contentId);
  const uint64_t author = uint64_t{static_cast<uint32_t>(kuid.version)} << 32 |
                          static_cast<uint32_t>(kuid.userId);
  const uint64_t hash =
      ((author * 0xBF58476D1CE4E5B9ull) ^ (content >> blockBits_)) * 0x9E3779B97F4A7C15ull;
  const size_t blockMask = (size_t{1} << blockBits_) - 1;
  const size_t block = static_cast<size_t>(hash >> (shift_ + blockBits_)) << blockBits_;
  return block | ((content + static_cast<size_t>(hash >> 32)) & blockMask);
}

size_t KUIDCountTable::Probe(const KUID& kuid) const {
  const size_t mask = entries_.size() - 1;
  size_t slot = SlotOf(kuid);
  while (entries_[slot].count != 0 && !SameKUID(entries_[slot].kuid, kuid))
    slot = (slot + 1) & mask;
  return slot;
}

uint32_t KUIDCountTable::Find(const KUID& kuid) const {
  if (size_ == 0) return 0;
  return entries_[Probe(kuid)].count;
}

void KUIDCountTable::Reserve() {
  if ((size_ + 1) * 2 > entries_.size()) Grow();
}

void KUIDCountTable::Grow() {
  const size_t capacity = entries_.empty() ? kFirstCapacity : entries_.size() * 2;
  std::vector<Entry> old(capacity);
  old.swap(entries_);
  unsigned bits = 0;
  while ((size_t{1} << bits) < capacity) ++bits;
  shift_ = 64 - bits;
  // At least two blocks, so that the block's shift stays below 64.
  blockBits_ = std::min(bits - 1, kLargestBlockBits);
  for (const Entry& entry : old)
    if (entry.count != 0) entries_[Probe(entry.kuid)] = entry;
}

void KUIDCountTable::Add(const KUID& kuid) {
  Reserve();
  Entry& entry = entries_[Probe(kuid)];
  if (entry.count == 0) {
    entry.kuid = kuid;
    ++size_;
  }
  ++entry.count;
}

bool KUIDCountTable::AddIfAbsent(const KUID& kuid) {
  Reserve();
  Entry& entry = entries_[Probe(kuid)];
  if (entry.count != 0) return false;
  entry.kuid = kuid;
  entry.count = 1;
  ++size_;
  return true;
}

void KUIDCountTable::Remove(const KUID& kuid) {
  if (size_ == 0) return;
  const size_t mask = entries_.size() - 1;
  size_t hole = Probe(kuid);
  if (entries_[hole].count == 0 || --entries_[hole].count != 0) return;
  --size_;
  // Move back every later entry of the run that may sit in the hole: one
  // whose home slot is not cyclically inside (hole, slot].
  for (size_t slot = (hole + 1) & mask; entries_[slot].count != 0; slot = (slot + 1) & mask) {
    const size_t home = SlotOf(entries_[slot].kuid);
    const bool between = hole <= slot ? (hole < home && home <= slot) : (hole < home || home <= slot);
    if (between) continue;
    entries_[hole] = entries_[slot];
    entries_[slot].count = 0;
    hole = slot;
  }
}

void KUIDCountTable::Clear() {
  std::vector<Entry>().swap(entries_);
  size_ = 0;
  shift_ = 64;
  blockBits_ = 0;
}
