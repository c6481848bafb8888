#include "gscompiler/GSSymbolChains.h"

#include <climits>
#include <functional>
#include <iterator>
#include <new>
#include <string>
#include <string_view>
#include <tuple>

namespace GSCompiler {

namespace {

uint32_t BucketOf(const Utils::IHashNode* node, uint32_t buckets) {
  return static_cast<const GSSymbol*>(node)->NameHash() % buckets;
}

}  // namespace

bool GSSymbolChains::Order::operator()(const Entry& a, const Entry& b) const {
  if (a.list != b.list) return std::less<>()(a.list, b.list);
  if (a.bucket != b.bucket) return a.bucket < b.bucket;
  if (PrefixesOrder(a.dependent, b.dependent) && a.prefix != b.prefix) return a.prefix < b.prefix;
  // Compare() is the chain order; a key of depth -1 would be "equal" to
  // every depth, so searches pass a concrete depth (see FindInList).
  return a.symbol->Compare(*b.symbol) < 0;
}

bool GSSymbolChains::NameOrder::operator()(const Entry& a, const Entry& b) const {
  if (a.list != b.list) return std::less<>()(a.list, b.list);
  const int names = std::string_view(a.symbol->name).compare(b.symbol->name);
  if (names != 0) return names < 0;
  return Order()(a, b);
}

bool GSSymbolChains::EnterBoth(const Entry& entry, Entries::iterator& at) {
  bool added = false;
  try {
    std::tie(at, added) = entries_.insert(entry);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!added) return false;
  try {
    byName_.insert(entry);
  } catch (const std::bad_alloc&) {
    entries_.erase(at);
    return false;
  }
  return true;
}

void GSSymbolChains::EraseBoth(Entries::const_iterator at) {
  byName_.erase(*at);
  entries_.erase(at);
}

Utils::IHashNode** GSSymbolChains::LinkTo(Entries::const_iterator at, SymbolList& list) const {
  if (at == entries_.begin()) return &list.first;
  const Entry& before = *std::prev(at);
  return before.list == &list ? &before.symbol->next : &list.first;
}

void GSSymbolChains::IndexList(SymbolList& list, uint32_t buckets) {
  // The list is in tree order already: each entry goes right behind the
  // one before.
  auto hint = entries_.end();
  try {
    for (Utils::IHashNode* n = list.first; n != nullptr; n = n->next) {
      const Entry entry{&list, BucketOf(n, buckets), static_cast<GSSymbol*>(n)};
      hint = std::next(entries_.emplace_hint(hint, entry));
      byName_.insert(entry);
    }
  } catch (const std::bad_alloc&) {
    for (Utils::IHashNode* n = list.first; n != nullptr; n = n->next) {
      const Entry entry{&list, BucketOf(n, buckets), static_cast<GSSymbol*>(n)};
      auto it = entries_.find(entry);
      if (it != entries_.end() && it->symbol == n) entries_.erase(it);
      auto named = byName_.find(entry);
      if (named != byName_.end() && named->symbol == n) byName_.erase(named);
    }
    return;
  }
  list.indexed = true;
}

bool GSSymbolChains::InsertInList(SymbolList& list, const BucketDivisor& divisor,
                                  GSSymbol* symbol) {
  const uint32_t bucket = divisor.Of(symbol->NameHash());
  if (!list.indexed && list.count >= kWalkLimit) IndexList(list, divisor.Buckets());
  Utils::IHashNode** link = &list.first;
  if (list.indexed) {
    Entries::iterator at;
    if (!EnterBoth(Entry{&list, bucket, symbol}, at)) return false;
    link = LinkTo(at, list);
  } else {
    // In front of the first symbol of a later bucket or a greater key.
    for (; *link != nullptr; link = &(*link)->next) {
      const uint32_t at = divisor.Of(static_cast<const GSSymbol*>(*link)->NameHash());
      if (at < bucket) continue;
      if (at > bucket) break;
      const int order = static_cast<GSSymbol*>(*link)->Compare(*symbol);
      if (order == 0) return false;
      if (order > 0) break;
    }
  }
  symbol->next = *link;
  *link = symbol;
  ++list.count;
  return true;
}

GSSymbol* GSSymbolChains::FindInList(const SymbolList& list, const BucketDivisor& divisor,
                                     const GSSymbol& key) const {
  const uint32_t bucket = divisor.Of(key.NameHash());
  if (!list.indexed) {
    // Equal names hash alike, so a symbol of another hash is passed over
    // without reading its name; a dependent file's hash ignores case, so
    // with one on either side the names are compared.
    const bool compareAll = key.kind == SymbolDependent;
    for (Utils::IHashNode* n = list.first; n != nullptr; n = n->next) {
      const uint32_t at = divisor.Of(static_cast<const GSSymbol*>(n)->NameHash());
      if (at > bucket) break;
      if (at != bucket) continue;
      const auto* symbol = static_cast<const GSSymbol*>(n);
      if (symbol->NameHash() != key.NameHash() && !compareAll && symbol->kind != SymbolDependent)
        continue;
      if (key.Compare(*n) == 0) return static_cast<GSSymbol*>(n);
    }
    return nullptr;
  }
  // Deeper sorts first: a probe of the greatest depth lands on the deepest
  // symbol of the name.
  GSSymbol probe(key, key.depth == -1 ? INT32_MAX : key.depth);
  auto it = entries_.lower_bound(Entry{&list, bucket, &probe});
  if (it == entries_.end() || it->list != &list || it->bucket != bucket) return nullptr;
  return key.Compare(*it->symbol) == 0 ? it->symbol : nullptr;
}

bool GSSymbolChains::RemoveFromList(SymbolList& list, uint32_t buckets, GSSymbol* symbol) {
  Utils::IHashNode** link = &list.first;
  if (list.indexed) {
    auto it = entries_.find(Entry{&list, symbol->NameHash() % buckets, symbol});
    if (it == entries_.end() || it->symbol != symbol) return false;
    link = LinkTo(it, list);
    EraseBoth(it);
  } else {
    while (*link != nullptr && *link != symbol) link = &(*link)->next;
    if (*link == nullptr) return false;
  }
  *link = symbol->next;
  symbol->next = nullptr;
  --list.count;
  return true;
}

GSSymbolChains::NamedEntries::const_iterator GSSymbolChains::FirstNamedAtOrAfter(
    const SymbolList& list, const std::string& name) const {
  GSSymbol probe(SymbolVariable, name.c_str());
  probe.depth = INT32_MAX;
  return byName_.lower_bound(Entry{&list, 0, &probe});
}

}  // namespace GSCompiler
