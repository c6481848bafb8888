#include "gscompiler/GSGlobalNames.h"

#include <algorithm>
#include <new>

namespace GSCompiler {

namespace {

uint32_t BucketOf(const Utils::IHashNode* node) {
  return static_cast<const GSSymbol*>(node)->NameHash() % GSGlobalNames::kBuckets;
}

// The chain order: bucket, then Compare().
bool ChainBefore(const GSSymbol& a, const GSSymbol& b) {
  const uint32_t x = BucketOf(&a);
  const uint32_t y = BucketOf(&b);
  return x != y ? x < y : a.Compare(b) < 0;
}

// A symbol to be linked, with its name prefix (NamePrefix).
struct Pending {
  uint32_t bucket;
  bool dependent;
  uint64_t prefix;
  GSSymbol* symbol;
};

bool PendingBefore(const Pending& a, const Pending& b) {
  if (a.bucket != b.bucket) return a.bucket < b.bucket;
  if (PrefixesOrder(a.dependent, b.dependent) && a.prefix != b.prefix) return a.prefix < b.prefix;
  return a.symbol->Compare(*b.symbol) < 0;
}

}  // namespace

uint32_t GSGlobalNames::FoldOf(const GSSymbol& symbol) {
  // FNV-1a over the lower-cased name: names equal with or without regard
  // to case share it, and, unlike the bucket hash, it spreads names that
  // differ only in a few digits.
  uint32_t h = 2166136261u;
  for (const char* c = symbol.name; c != nullptr && *c != '\0'; ++c) {
    const char ch = *c >= 'A' && *c <= 'Z' ? char(*c - 'A' + 'a') : *c;
    h = (h ^ static_cast<unsigned char>(ch)) * 16777619u;
  }
  return h;
}

bool GSGlobalNames::Grow() {
  std::vector<Slot> old;
  try {
    std::vector<Slot> larger(std::max<size_t>(64, slots_.size() * 2), Slot{0, nullptr});
    old.swap(slots_);
    slots_.swap(larger);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (const Slot& slot : old) {
    if (slot.symbol != nullptr) Place(slot.fold, slot.symbol);
  }
  return true;
}

void GSGlobalNames::Place(uint32_t fold, GSSymbol* symbol) {
  const size_t mask = slots_.size() - 1;
  size_t i = fold & mask;
  while (slots_[i].symbol != nullptr) i = (i + 1) & mask;
  slots_[i] = Slot{fold, symbol};
}

bool GSGlobalNames::Insert(GSSymbol* symbol) {
  const uint32_t fold = FoldOf(*symbol);
  const uint32_t bucket = BucketOf(symbol);
  if (!slots_.empty()) {
    const size_t mask = slots_.size() - 1;
    for (size_t i = fold & mask; slots_[i].symbol != nullptr; i = (i + 1) & mask) {
      const GSSymbol* other = slots_[i].symbol;
      if (slots_[i].fold == fold && BucketOf(other) == bucket && other->Compare(*symbol) == 0)
        return false;
    }
  }
  // At most three quarters of the slots are used.
  if ((used_ + 1) * 4 > slots_.size() * 3 && !Grow()) return false;
  try {
    pending_.push_back(symbol);
  } catch (const std::bad_alloc&) {
    return false;
  }
  Place(fold, symbol);
  ++used_;
  ++list_.count;
  return true;
}

GSSymbol* GSGlobalNames::Find(const GSSymbol& key) const {
  if (slots_.empty()) return nullptr;
  const uint32_t fold = FoldOf(key);
  const uint32_t bucket = BucketOf(&key);
  const size_t mask = slots_.size() - 1;
  GSSymbol* first = nullptr;
  for (size_t i = fold & mask; slots_[i].symbol != nullptr; i = (i + 1) & mask) {
    GSSymbol* candidate = slots_[i].symbol;
    if (slots_[i].fold != fold || BucketOf(candidate) != bucket) continue;
    if (key.Compare(*candidate) != 0) continue;
    if (first == nullptr || candidate->Compare(*first) < 0) first = candidate;
  }
  return first;
}

size_t GSGlobalNames::SlotOf(const GSSymbol* symbol) const {
  if (slots_.empty()) return 0;
  const size_t mask = slots_.size() - 1;
  for (size_t i = FoldOf(*symbol) & mask; slots_[i].symbol != nullptr; i = (i + 1) & mask) {
    if (slots_[i].symbol == symbol) return i;
  }
  return slots_.size();
}

bool GSGlobalNames::Remove(GSSymbol* symbol) {
  size_t hole = SlotOf(symbol);
  if (hole >= slots_.size()) return false;
  // Backward shift: each later slot of the run moves into the hole unless
  // its home lies cyclically after the hole (then it is found as it is).
  const size_t mask = slots_.size() - 1;
  slots_[hole].symbol = nullptr;
  for (size_t i = (hole + 1) & mask; slots_[i].symbol != nullptr; i = (i + 1) & mask) {
    const size_t home = slots_[i].fold & mask;
    const bool stays = hole <= i ? (hole < home && home <= i) : (hole < home || home <= i);
    if (stays) continue;
    slots_[hole] = slots_[i];
    slots_[i].symbol = nullptr;
    hole = i;
  }
  --used_;
  --list_.count;
  auto at = std::find(pending_.rbegin(), pending_.rend(), symbol);
  if (at != pending_.rend()) {
    pending_.erase(std::next(at).base());
  } else {
    Utils::IHashNode** link = &list_.first;
    while (*link != nullptr && *link != symbol) link = &(*link)->next;
    if (*link != nullptr) *link = symbol->next;
  }
  symbol->next = nullptr;
  return true;
}

void GSGlobalNames::LinkPending() const {
  if (pending_.empty()) return;
  try {
    std::vector<Pending> records;
    records.reserve(pending_.size());
    for (GSSymbol* s : pending_)
      records.push_back(Pending{BucketOf(s), s->kind == SymbolDependent, NamePrefix(s->name), s});
    std::sort(records.begin(), records.end(), PendingBefore);
    for (size_t i = 0; i < records.size(); ++i) pending_[i] = records[i].symbol;
  } catch (const std::bad_alloc&) {
    // No room for the records: the same order, reading every name.
    std::sort(pending_.begin(), pending_.end(),
              [](const GSSymbol* a, const GSSymbol* b) { return ChainBefore(*a, *b); });
  }
  Utils::IHashNode** link = &list_.first;
  for (GSSymbol* s : pending_) {
    while (*link != nullptr && ChainBefore(*static_cast<GSSymbol*>(*link), *s))
      link = &(*link)->next;
    s->next = *link;
    *link = s;
    link = &s->next;
  }
  pending_.clear();
}

const GSGlobalNames::List& GSGlobalNames::Linked() const {
  LinkPending();
  return list_;
}

void GSGlobalNames::Clear() {
  std::vector<Slot>().swap(slots_);
  std::vector<GSSymbol*>().swap(pending_);
  used_ = 0;
  list_ = List{};
}

}  // namespace GSCompiler
