#include "kiv/PString.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

#include "kiv/String.h"

namespace Kiv {

// One interned text. The text never changes after the entry is made, so the
// cache's keys can point into it.
struct PString::Entry {
  explicit Entry(std::string_view t) : text(t) {}
  std::atomic<uint32_t> uses{1};
  const std::string text;
};

namespace {

// The cache. A use count reaches 0 only under `mutex`, and the entry leaves
// the map under the same hold, so an entry found in the map always has at
// least one use and may safely get another.
struct Cache {
  std::mutex mutex;
  std::unordered_map<std::string_view, PString::Entry*> entries;
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
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    auto found = cache.entries.find(text);
    if (found != cache.entries.end()) {
      found->second->uses.fetch_add(1, std::memory_order_relaxed);
      return found->second;
    }
    auto* entry = new PString::Entry(text);
    cache.entries.emplace(std::string_view(entry->text), entry);
    return entry;
  }

  static void Drop(PString::Entry* entry) {
    if (entry == nullptr) return;
    // Fast path: while other uses remain, the count cannot reach 0 here.
    uint32_t uses = entry->uses.load(std::memory_order_relaxed);
    while (uses > 1) {
      if (entry->uses.compare_exchange_weak(uses, uses - 1, std::memory_order_acq_rel)) return;
    }
    // This may be the last use: decide under the lock, so a concurrent
    // Intern either finds the entry before it is gone or not at all.
    Cache& cache = TheCache();
    std::unique_lock<std::mutex> lock(cache.mutex);
    if (entry->uses.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    cache.entries.erase(std::string_view(entry->text));
    lock.unlock();
    delete entry;
  }
};

size_t PStringCache::Count() {
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  return cache.entries.size();
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

uint32_t PString::Length() const { return entry_ ? static_cast<uint32_t>(entry_->text.size()) : 0; }

const char* PString::Text() const { return entry_ ? entry_->text.c_str() : nullptr; }

const char* PString::c_str() const { return entry_ ? entry_->text.c_str() : ""; }

std::string_view PString::View() const { return entry_ ? std::string_view(entry_->text) : std::string_view(); }

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
