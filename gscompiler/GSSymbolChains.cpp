#include "gscompiler/GSSymbolChains.h"

#include <climits>
#include <functional>
#include <iterator>
#include <new>
#include <string>
#include <tuple>

namespace GSCompiler {

bool GSSymbolChains::Order::operator()(const Entry& a, const Entry& b) const {
  if (a.chain != b.chain) return std::less<>()(a.chain, b.chain);
  // Compare() is the chain order; a key of depth -1 would be "equal" to
  // every depth, so searches pass a concrete depth (see FindInChain).
  return a.symbol->Compare(*b.symbol) < 0;
}

bool GSSymbolChains::InsertInChain(Utils::IHashNode** head, GSSymbol* symbol) {
  Entries::iterator at;
  try {
    bool added = false;
    std::tie(at, added) = entries_.insert(Entry{head, symbol});
    if (!added) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  Utils::IHashNode** link = head;
  if (at != entries_.begin()) {
    const Entry& before = *std::prev(at);
    if (before.chain == head) link = &before.symbol->next;
  }
  symbol->next = *link;
  *link = symbol;
  return true;
}

GSSymbol* GSSymbolChains::FindInChain(Utils::IHashNode* const* head, const GSSymbol& key) const {
  // Deeper sorts first: a probe of the greatest depth lands on the deepest
  // symbol of the name.
  GSSymbol probe(key.kind, key.name);
  probe.depth = key.depth == -1 ? INT32_MAX : key.depth;
  auto it = entries_.lower_bound(Entry{const_cast<Utils::IHashNode**>(head), &probe});
  if (it == entries_.end() || it->chain != head) return nullptr;
  GSSymbol plain(key.kind, key.name);
  plain.depth = key.depth;
  return plain.Compare(*it->symbol) == 0 ? it->symbol : nullptr;
}

bool GSSymbolChains::RemoveFromChain(Utils::IHashNode** head, GSSymbol* symbol) {
  auto it = entries_.find(Entry{head, symbol});
  if (it == entries_.end() || it->symbol != symbol) return false;
  Utils::IHashNode** link = head;
  if (it != entries_.begin()) {
    const Entry& before = *std::prev(it);
    if (before.chain == head) link = &before.symbol->next;
  }
  *link = symbol->next;
  symbol->next = nullptr;
  entries_.erase(it);
  return true;
}

GSSymbolChains::Entries::const_iterator GSSymbolChains::FirstAtOrAfter(
    Utils::IHashNode* const* head, const std::string& name) const {
  GSSymbol probe(SymbolVariable, name.c_str());
  probe.depth = INT32_MAX;
  return entries_.lower_bound(Entry{const_cast<Utils::IHashNode**>(head), &probe});
}

}  // namespace GSCompiler
