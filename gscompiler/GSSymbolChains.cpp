#include "gscompiler/GSSymbolChains.h"

#include <climits>
#include <functional>
#include <iterator>
#include <new>
#include <string>
#include <tuple>

namespace GSCompiler {

bool GSSymbolChains::Order::operator()(const Entry& a, const Entry& b) const {
  if (a.list != b.list) return std::less<>()(a.list, b.list);
  if (a.bucket != b.bucket) return a.bucket < b.bucket;
  // Compare() is the chain order; a key of depth -1 would be "equal" to
  // every depth, so searches pass a concrete depth (see FindInList).
  return a.symbol->Compare(*b.symbol) < 0;
}

Utils::IHashNode** GSSymbolChains::LinkTo(Entries::const_iterator at,
                                          Utils::IHashNode** first) const {
  if (at == entries_.begin()) return first;
  const Entry& before = *std::prev(at);
  return before.list == first ? &before.symbol->next : first;
}

bool GSSymbolChains::InsertInList(Utils::IHashNode** first, uint32_t bucket, GSSymbol* symbol) {
  Entries::iterator at;
  try {
    bool added = false;
    std::tie(at, added) = entries_.insert(Entry{first, bucket, symbol});
    if (!added) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  Utils::IHashNode** link = LinkTo(at, first);
  symbol->next = *link;
  *link = symbol;
  return true;
}

GSSymbol* GSSymbolChains::FindInList(Utils::IHashNode* const* first, uint32_t bucket,
                                     const GSSymbol& key) const {
  // Deeper sorts first: a probe of the greatest depth lands on the deepest
  // symbol of the name.
  GSSymbol probe(key.kind, key.name);
  probe.depth = key.depth == -1 ? INT32_MAX : key.depth;
  auto it = entries_.lower_bound(Entry{first, bucket, &probe});
  if (it == entries_.end() || it->list != first || it->bucket != bucket) return nullptr;
  GSSymbol plain(key.kind, key.name);
  plain.depth = key.depth;
  return plain.Compare(*it->symbol) == 0 ? it->symbol : nullptr;
}

bool GSSymbolChains::RemoveFromList(Utils::IHashNode** first, uint32_t bucket, GSSymbol* symbol) {
  auto it = entries_.find(Entry{first, bucket, symbol});
  if (it == entries_.end() || it->symbol != symbol) return false;
  Utils::IHashNode** link = LinkTo(it, first);
  *link = symbol->next;
  symbol->next = nullptr;
  entries_.erase(it);
  return true;
}

GSSymbolChains::Entries::const_iterator GSSymbolChains::FirstAtOrAfter(
    Utils::IHashNode* const* first, uint32_t bucket, const std::string& name) const {
  GSSymbol probe(SymbolVariable, name.c_str());
  probe.depth = INT32_MAX;
  return entries_.lower_bound(Entry{first, bucket, &probe});
}

}  // namespace GSCompiler
