#include "gsnative/KUIDCountTable.h"

#include <utility>

namespace {

constexpr size_t kFirstCapacity = 16;
constexpr unsigned kGroupBits = 3;

uint64_t PackedIdentity(const KUID& kuid) {
  return static_cast<uint64_t>(KUIDPackWord(kuid)) << 32 | static_cast<uint32_t>(kuid.contentId);
}

}  // namespace

size_t KUIDCountTable::SlotOf(const KUID& kuid) const {
  // Eight neighbouring content ids share a run of eight entries (two cache
  // lines); the runs themselves are spread by the multiplication.
  const uint64_t packed = PackedIdentity(kuid);
  const uint64_t group = ((packed >> kGroupBits) * 0x9E3779B97F4A7C15ull) >> (shift_ + kGroupBits);
  return static_cast<size_t>(group << kGroupBits | (packed & ((1u << kGroupBits) - 1)));
}

size_t KUIDCountTable::Probe(const KUID& kuid) const {
  const size_t mask = entries_.size() - 1;
  size_t slot = SlotOf(kuid);
  while (entries_[slot].count != 0 && !(entries_[slot].kuid == kuid)) slot = (slot + 1) & mask;
  return slot;
}

uint32_t KUIDCountTable::Find(const KUID& kuid) const {
  if (size_ == 0) return 0;
  return entries_[Probe(kuid)].count;
}

void KUIDCountTable::Grow() {
  const size_t capacity = entries_.empty() ? kFirstCapacity : entries_.size() * 2;
  std::vector<Entry> old(capacity);
  old.swap(entries_);
  shift_ = 64;
  for (size_t n = capacity; n > 1; n >>= 1) --shift_;
  for (const Entry& entry : old)
    if (entry.count != 0) entries_[Probe(entry.kuid)] = entry;
}

void KUIDCountTable::Add(const KUID& kuid) {
  if ((size_ + 1) * 2 > entries_.size()) Grow();
  Entry& entry = entries_[Probe(kuid)];
  if (entry.count == 0) {
    entry.kuid = kuid;
    ++size_;
  }
  ++entry.count;
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
}
