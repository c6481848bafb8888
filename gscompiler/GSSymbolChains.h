// GSCompiler::GSSymbolChains: the ordered index behind the bucket chains of
// a symbol table (the global chains and every class's member chains).
//
// The chains keep the order the rest of the compiler relies on: a symbol's
// bucket is its name hash modulo the chain count, and within a bucket the
// chain is sorted by GSSymbol::Compare (name, then deeper first); the
// chains of one SymbolBuckets follow one another in one linked list.
// Walking a chain to insert or find grows with the chain, so one class of
// many members or a unit of many classes would compile in quadratic time.
// The index holds every chained symbol in one balanced tree ordered by
// (list, bucket, name, deeper first): inserting, finding and unlinking cost
// a logarithm, and the list stays linked in the same order for walking.
// A class keeps only the list's first symbol, not a head per bucket.
//
// Keys: stored symbols have depth 0 or above; a search key of depth -1
// finds the deepest symbol of that name, any other depth that exact depth.
// Names compare byte-wise (dependent files are entered lower-cased and
// compare without regard to case with one another).
//
// Ownership: the index owns only its tree; the symbols belong to the
// table's pool. Clear() forgets everything (the table empties its chains at
// the same time). Failure: an insert that cannot allocate answers false and
// links nothing. Not thread-safe.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "gscompiler/GSSymbol.h"

namespace GSCompiler {

class GSSymbolChains {
 public:
  // Links `symbol` into its chain of `buckets`; false (nothing linked) on
  // an equal key or when memory runs out.
  template <uint32_t N>
  bool Insert(SymbolBuckets<N>& buckets, GSSymbol* symbol) {
    if (!InsertInList(&buckets.first, symbol->Hash() % N, symbol)) return false;
    ++buckets.count;
    return true;
  }
  // The first symbol of `buckets` equal to `key` in chain order, or null.
  template <uint32_t N>
  GSSymbol* Find(const SymbolBuckets<N>& buckets, const GSSymbol& key) const {
    return FindInList(&buckets.first, key.Hash() % N, key);
  }
  // Unlinks `symbol` from `buckets`; false when it is not there.
  template <uint32_t N>
  bool Remove(SymbolBuckets<N>& buckets, GSSymbol* symbol) {
    if (!RemoveFromList(&buckets.first, symbol->Hash() % N, symbol)) return false;
    --buckets.count;
    return true;
  }
  // Calls f(symbol) for each symbol of chain `bucket` of `buckets` whose
  // name starts with `prefix`, in chain order, while f answers true.
  template <uint32_t N, typename F>
  void ForEachWithPrefix(const SymbolBuckets<N>& buckets, uint32_t bucket,
                         const std::string& prefix, F f) const {
    Utils::IHashNode* const* list = &buckets.first;
    for (auto it = FirstAtOrAfter(list, bucket, prefix);
         it != entries_.end() && it->list == list && it->bucket == bucket; ++it) {
      if (std::string_view(it->symbol->name).substr(0, prefix.size()) != prefix) return;
      if (!f(it->symbol)) return;
    }
  }
  void Clear() { entries_.clear(); }

 private:
  struct Entry {
    Utils::IHashNode* const* list;  // the list's `first` slot
    uint32_t bucket;
    GSSymbol* symbol;
  };
  struct Order {
    bool operator()(const Entry& a, const Entry& b) const;
  };
  using Entries = std::set<Entry, Order>;

  bool InsertInList(Utils::IHashNode** first, uint32_t bucket, GSSymbol* symbol);
  GSSymbol* FindInList(Utils::IHashNode* const* first, uint32_t bucket, const GSSymbol& key) const;
  bool RemoveFromList(Utils::IHashNode** first, uint32_t bucket, GSSymbol* symbol);
  // The link that points at `at`: its predecessor's next in the same list,
  // else the list's first slot.
  Utils::IHashNode** LinkTo(Entries::const_iterator at, Utils::IHashNode** first) const;
  // `name` is the search probe's own text: no copy per search.
  Entries::const_iterator FirstAtOrAfter(Utils::IHashNode* const* first, uint32_t bucket,
                                         const std::string& name) const;

  Entries entries_;
};

}  // namespace GSCompiler
