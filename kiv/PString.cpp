#include "kiv/PString.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "kiv/String.h"

namespace Kiv {

// One interned text, in one allocation: the header, then the characters
// and a NUL. The text never changes after the entry is made.
struct PString::Entry {
  std::atomic<uint32_t> uses{1};
  size_t length = 0;
  uint64_t hash = 0;

  const char* Chars() const { return reinterpret_cast<const char*>(this + 1); }
  std::string_view View() const { return std::string_view(Chars(), length); }

  static Entry* Make(std::string_view text, uint64_t hash) {
    void* memory = ::operator new(sizeof(Entry) + text.size() + 1);
    auto* entry = new (memory) Entry;
    entry->length = text.size();
    entry->hash = hash;
    char* chars = reinterpret_cast<char*>(entry + 1);
    std::memcpy(chars, text.data(), text.size());
    chars[text.size()] = '\0';
    return entry;
  }
  static void Free(Entry* entry) {
    entry->~Entry();
    ::operator delete(entry);
  }
};

namespace {

// The last 1..7 bytes of a text as one word, every byte counted once
// (zero above them), read with at most two loads.
uint64_t TailWord(const char* p, size_t n) {
  const auto byte = [p](size_t i) { return uint64_t{static_cast<uint8_t>(p[i])}; };
  if (n < 4) return byte(0) | byte(n / 2) << (8 * (n / 2)) | byte(n - 1) << (8 * (n - 1));
  uint32_t low;
  uint32_t high;
  std::memcpy(&low, p, sizeof low);
  std::memcpy(&high, p + n - 4, sizeof high);
  // The two words overlap on equal bytes, so or-ing them is exact.
  return uint64_t{low} | uint64_t{high} << (8 * (n - 4));
}

// A 64-bit hash of a text, 8 bytes at a time (computed before the cache's
// lock is taken, and kept in the entry).
uint64_t HashText(std::string_view text) {
  const char* p = text.data();
  size_t n = text.size();
  uint64_t h = 0x9E3779B97F4A7C15ull ^ (n * 0xFF51AFD7ED558CCDull);
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    h = (h ^ word) * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
  }
  if (n > 0) {
    h = (h ^ TailWord(p, n)) * 0xBF58476D1CE4E5B9ull;
  }
  h ^= h >> 29;
  h *= 0x94D049BB133111EBull;
  return h ^ (h >> 32);
}

// The cache: an open-addressing table (linear probing, at most half full)
// of entries with their hashes. A use count reaches 0 only under `mutex`,
// and the entry leaves the table under the same hold, so an entry found in
// the table always has at least one use and may safely get another.
class Cache {
 public:
  std::mutex mutex;

  PString::Entry* Find(std::string_view text, uint64_t hash) const {
    for (size_t i = hash & Mask();; i = (i + 1) & Mask()) {
      const Slot& slot = slots_[i];
      if (slot.entry == nullptr) return nullptr;
      if (slot.hash == hash && slot.entry->View() == text) return slot.entry;
    }
  }

  void Insert(PString::Entry* entry) {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    size_t i = entry->hash & Mask();
    while (slots_[i].entry != nullptr) i = (i + 1) & Mask();
    slots_[i] = Slot{entry->hash, entry};
    ++used_;
  }

  // Backward-shift deletion: later members of the probe run move up, so no
  // tombstones are left behind.
  void Erase(const PString::Entry* entry) {
    size_t i = entry->hash & Mask();
    while (slots_[i].entry != entry) i = (i + 1) & Mask();
    for (size_t j = (i + 1) & Mask(); slots_[j].entry != nullptr; j = (j + 1) & Mask()) {
      const size_t home = slots_[j].hash & Mask();
      const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
      if (stays) continue;
      slots_[i] = slots_[j];
      i = j;
    }
    slots_[i] = Slot{};
    --used_;
  }

  size_t Size() const { return used_; }

  // Asks for the slot where the search for `hash` starts to be brought into
  // the cache (a hint; the caller holds `mutex`).
  void PrefetchHome(uint64_t hash) const { __builtin_prefetch(&slots_[hash & Mask()]); }
  // The same without the lock: the table's place and size are read as they
  // were last published (a stale place is only a wasted hint).
  void PrefetchHomeUnlocked(uint64_t hash) const {
    const Slot* slots = view_.load(std::memory_order_relaxed);
    const size_t mask = viewMask_.load(std::memory_order_relaxed);
    __builtin_prefetch(reinterpret_cast<const char*>(slots) + (hash & mask) * sizeof(Slot));
  }

 private:
  struct Slot {
    uint64_t hash = 0;
    PString::Entry* entry = nullptr;
  };

  size_t Mask() const { return slots_.size() - 1; }

  void Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.entry == nullptr) continue;
      size_t i = slot.hash & Mask();
      while (slots_[i].entry != nullptr) i = (i + 1) & Mask();
      slots_[i] = slot;
    }
    Publish();
  }

  void Publish() {
    view_.store(slots_.data(), std::memory_order_relaxed);
    viewMask_.store(Mask(), std::memory_order_relaxed);
  }

  std::vector<Slot> slots_ = std::vector<Slot>(1024);
  size_t used_ = 0;
  // For PrefetchHomeUnlocked.
  std::atomic<const Slot*> view_{slots_.data()};
  std::atomic<size_t> viewMask_{slots_.size() - 1};
};

// Never destroyed: strings held by static objects may be released after
// other statics are gone.
Cache& TheCache() {
  static Cache* cache = new Cache;
  return *cache;
}

}  // namespace

class PStringCache::Impl {
 public:
  // Answers the entry for `text` with one more use; null for empty text.
  static PString::Entry* Intern(std::string_view text) {
    if (text.empty()) return nullptr;
    const uint64_t hash = HashText(text);
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (PString::Entry* found = cache.Find(text, hash)) {
      found->uses.fetch_add(1, std::memory_order_relaxed);
      return found;
    }
    PString::Entry* entry = PString::Entry::Make(text, hash);
    try {
      cache.Insert(entry);
    } catch (...) {
      PString::Entry::Free(entry);
      throw;
    }
    return entry;
  }

  // Drops one use unless it may be the last one; true when it did.
  static bool DropIfNotLast(PString::Entry* entry) {
    // While other uses remain, the count cannot reach 0 here.
    uint32_t uses = entry->uses.load(std::memory_order_relaxed);
    while (uses > 1) {
      if (entry->uses.compare_exchange_weak(uses, uses - 1, std::memory_order_acq_rel)) return true;
    }
    return false;
  }

  static void Drop(PString::Entry* entry) {
    if (entry == nullptr || DropIfNotLast(entry)) return;
    // This may be the last use: decide under the lock, so a concurrent
    // Intern either finds the entry before it is gone or not at all.
    Cache& cache = TheCache();
    std::unique_lock<std::mutex> lock(cache.mutex);
    if (entry->uses.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    cache.Erase(entry);
    lock.unlock();
    PString::Entry::Free(entry);
  }

  // Drop for many entries: those that may lose their last use are settled
  // in batches, one hold of the lock each (short enough not to keep other
  // threads waiting long), with their slots fetched ahead.
  static void DropAll(PString* strings, size_t count) {
    constexpr size_t kBatch = 128;
    for (size_t at = 0; at < count;) {
      PString::Entry* last[kBatch];
      size_t lastCount = 0;
      for (; at < count && lastCount < kBatch; ++at) {
        PString::Entry* entry = std::exchange(strings[at].entry_, nullptr);
        if (entry != nullptr && !DropIfNotLast(entry)) last[lastCount++] = entry;
      }
      if (lastCount == 0) continue;
      Cache& cache = TheCache();
      {
        std::lock_guard<std::mutex> lock(cache.mutex);
        for (size_t i = 0; i < lastCount; ++i) cache.PrefetchHome(last[i]->hash);
        for (size_t i = 0; i < lastCount; ++i) {
          if (last[i]->uses.fetch_sub(1, std::memory_order_acq_rel) != 1) {
            last[i] = nullptr;
            continue;
          }
          cache.Erase(last[i]);
        }
      }
      for (size_t i = 0; i < lastCount; ++i) {
        if (last[i] != nullptr) PString::Entry::Free(last[i]);
      }
    }
  }
};

void PStringCache::Prefetch(std::string_view text) {
  if (!text.empty()) TheCache().PrefetchHomeUnlocked(HashText(text));
}

void PStringCache::ReleaseAll(PString* strings, size_t count) {
  Impl::DropAll(strings, count);
}

size_t PStringCache::Count() {
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  return cache.Size();
}

uint32_t PStringCache::UseCount(const PString& s) {
  return s.entry_ ? s.entry_->uses.load(std::memory_order_relaxed) : 0;
}

PString::PString(const char* text)
    : entry_(PStringCache::Impl::Intern(text ? std::string_view(text) : std::string_view())) {}

PString::PString(std::string_view text) : entry_(PStringCache::Impl::Intern(text)) {}

PString::PString(const PString& other) : entry_(other.entry_) {
  // The source holds a use, so the entry cannot go away meanwhile.
  if (entry_) entry_->uses.fetch_add(1, std::memory_order_relaxed);
}

PString& PString::operator=(const PString& other) {
  // Add the new use before dropping the old one: safe for self-assignment.
  if (other.entry_) other.entry_->uses.fetch_add(1, std::memory_order_relaxed);
  Entry* old = entry_;
  entry_ = other.entry_;
  PStringCache::Impl::Drop(old);
  return *this;
}

PString& PString::operator=(PString&& other) noexcept {
  if (this == &other) return *this;
  Entry* old = entry_;
  entry_ = other.entry_;
  other.entry_ = nullptr;
  PStringCache::Impl::Drop(old);
  return *this;
}

PString& PString::operator=(std::string_view text) {
  // Intern first: `text` may point into this string's own entry.
  Entry* fresh = PStringCache::Impl::Intern(text);
  Entry* old = entry_;
  entry_ = fresh;
  PStringCache::Impl::Drop(old);
  return *this;
}

void PString::Release() {
  Entry* old = entry_;
  entry_ = nullptr;
  PStringCache::Impl::Drop(old);
}

uint32_t PString::Length() const {
  return entry_ ? static_cast<uint32_t>(entry_->length) : 0;
}

const char* PString::Text() const {
  return entry_ ? entry_->Chars() : nullptr;
}

const char* PString::c_str() const {
  return entry_ ? entry_->Chars() : "";
}

std::string_view PString::View() const {
  return entry_ ? entry_->View() : std::string_view();
}

void PString::Truncate(uint32_t pos) {
  if (pos >= Length()) return;
  *this = View().substr(0, pos);
}

void PString::ToUpper() {
  if (Empty()) return;
  *this = std::string_view(AsciiUpper(View()));
}

void PString::ToLower() {
  if (Empty()) return;
  *this = std::string_view(AsciiLower(View()));
}

void PString::Append(std::string_view text) {
  if (text.empty()) return;
  std::string joined(View());
  joined.append(text);
  *this = std::string_view(joined);
}

}  // namespace Kiv
