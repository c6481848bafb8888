// GSCompiler::GSSymbolChains: links and searches the bucket chains of a
// symbol table (the global chains and every class's member chains).
//
// The chains keep the order the rest of the compiler relies on: a symbol's
// bucket is its name hash modulo the chain count, and within a bucket the
// chain is sorted by GSSymbol::Compare (name, then deeper first); the
// chains of one SymbolList follow one another in one linked list.
//
// A short list (at most kWalkLimit symbols, as most classes are) is
// searched by walking it: its symbols sit together in the table's pools, so
// a member lookup touches only the class's own memory. A list that grows
// past kWalkLimit (the global list, a class of many members or locals) is
// entered into one balanced tree ordered by (list, bucket, name, deeper
// first; an entry keeps its name's first bytes), so inserting, finding and unlinking cost a logarithm; it stays in
// the tree until Clear(), however far it shrinks. Either way the list stays
// linked in the same order for walking, and every answer is the same.
// An indexed list's symbols are also kept in a second tree ordered by
// (list, name bytes), so the symbols of one name prefix (a function's
// overloads) are found with one search instead of one per bucket; they are
// handed out in chain order.
//
// Keys: stored symbols have depth 0 or above; a search key of depth -1
// finds the deepest symbol of that name, any other depth that exact depth.
// Names compare byte-wise (dependent files are entered lower-cased and
// compare without regard to case with one another).
//
// Ownership: the chains own only their tree; the symbols belong to the
// table's pool. Clear() forgets the tree; the table empties its lists at
// the same time (a list still marked `indexed` must not be used after it).
// Failure: an insert that cannot allocate answers false and links nothing;
// a list whose move into the tree runs out of memory stays walked. Not
// thread-safe.
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "gscompiler/GSSymbol.h"

namespace GSCompiler {

class GSSymbolChains {
 public:
  // The most symbols a list holds before it enters the tree.
  static constexpr uint32_t kWalkLimit = 16;

  // Links `symbol` into its chain of `buckets`; false (nothing linked) on
  // an equal key or when memory runs out.
  template <uint32_t N>
  bool Insert(SymbolBuckets<N>& buckets, GSSymbol* symbol) {
    static constexpr BucketDivisor kDivisor(N);
    return InsertInList(buckets, kDivisor, symbol);
  }
  // The first symbol of `buckets` equal to `key` in chain order, or null.
  template <uint32_t N>
  GSSymbol* Find(const SymbolBuckets<N>& buckets, const GSSymbol& key) const {
    static constexpr BucketDivisor kDivisor(N);
    return FindInList(buckets, kDivisor, key);
  }
  // Unlinks `symbol` from `buckets`; false when it is not there.
  template <uint32_t N>
  bool Remove(SymbolBuckets<N>& buckets, GSSymbol* symbol) {
    return RemoveFromList(buckets, N, symbol);
  }
  // Calls f(symbol) for each symbol of `buckets` whose name starts with
  // `prefix`, in chain order, while f answers true.
  template <uint32_t N, typename F>
  void ForEachWithPrefix(const SymbolBuckets<N>& buckets, const std::string& prefix, F f) const {
    if (!buckets.indexed) {
      for (Utils::IHashNode* n = buckets.first; n != nullptr; n = n->next) {
        auto* symbol = static_cast<GSSymbol*>(n);
        if (HasPrefix(*symbol, prefix) && !f(symbol)) return;
      }
      return;
    }
    // Names of one prefix follow one another in the name tree; they are
    // handed out in chain order (bucket, then name).
    std::vector<Entry> found;
    try {
      for (auto it = FirstNamedAtOrAfter(buckets, prefix);
           it != byName_.end() && it->list == &buckets && HasPrefix(*it->symbol, prefix); ++it)
        found.push_back(*it);
    } catch (const std::bad_alloc&) {
      // Out of memory: the symbols gathered so far.
    }
    std::sort(found.begin(), found.end(), Order());
    for (const Entry& entry : found)
      if (!f(entry.symbol)) return;
  }
  void Clear() {
    entries_.clear();
    byName_.clear();
  }

 private:
  // A hash's bucket without a division: the inverse of the bucket count is
  // made once per count (at compile time), then a bucket costs two
  // multiplies; exact for every 32-bit hash and bucket count.
  class BucketDivisor {
   public:
    constexpr explicit BucketDivisor(uint32_t buckets)
        : buckets_(buckets), inverse_(UINT64_MAX / buckets + 1) {}
    uint32_t Of(uint32_t hash) const {
      // The top 64 bits of the 96-bit product fraction * buckets.
      const uint64_t fraction = inverse_ * hash;
      const uint64_t high = (fraction >> 32) * buckets_;
      const uint64_t low = (fraction & UINT32_MAX) * buckets_;
      return static_cast<uint32_t>((high + (low >> 32)) >> 32);
    }
    uint32_t Buckets() const { return static_cast<uint32_t>(buckets_); }

   private:
    uint64_t buckets_;
    uint64_t inverse_;
  };

  // A symbol's place, with its name prefix (NamePrefix) so that most steps
  // down the tree read no symbol and no name.
  struct Entry {
    Entry(const SymbolList* entryList, uint32_t entryBucket, GSSymbol* entrySymbol)
        : list(entryList),
          bucket(entryBucket),
          dependent(entrySymbol->kind == SymbolDependent),
          prefix(NamePrefix(entrySymbol->name)),
          symbol(entrySymbol) {}
    const SymbolList* list;
    uint32_t bucket;
    bool dependent;
    uint64_t prefix;
    GSSymbol* symbol;
  };
  struct Order {
    bool operator()(const Entry& a, const Entry& b) const;
  };
  using Entries = std::set<Entry, Order>;
  // (list, name bytes), then chain order.
  struct NameOrder {
    bool operator()(const Entry& a, const Entry& b) const;
  };
  using NamedEntries = std::set<Entry, NameOrder>;

  static bool HasPrefix(const GSSymbol& symbol, const std::string& prefix) {
    return std::string_view(symbol.name).substr(0, prefix.size()) == prefix;
  }

  bool InsertInList(SymbolList& list, const BucketDivisor& divisor, GSSymbol* symbol);
  GSSymbol* FindInList(const SymbolList& list, const BucketDivisor& divisor,
                       const GSSymbol& key) const;
  bool RemoveFromList(SymbolList& list, uint32_t buckets, GSSymbol* symbol);
  // Enters every symbol of `list` into the tree and marks it indexed; when
  // memory runs out, takes them out again and leaves the list walked.
  void IndexList(SymbolList& list, uint32_t buckets);
  // The link that points at `at`: its predecessor's next in the same list,
  // else the list's first slot.
  Utils::IHashNode** LinkTo(Entries::const_iterator at, SymbolList& list) const;

  // The first entry of `list` in the name tree whose name is not below
  // `name` (the search probe's own text: no copy per search).
  NamedEntries::const_iterator FirstNamedAtOrAfter(const SymbolList& list,
                                                   const std::string& name) const;
  // Enters `entry` into both trees; false (neither changed) on an equal key
  // in the chain tree, or when memory runs out (`at` is then unset).
  bool EnterBoth(const Entry& entry, Entries::iterator& at);
  // Takes `at` out of both trees.
  void EraseBoth(Entries::const_iterator at);

  Entries entries_;
  NamedEntries byName_;
};

}  // namespace GSCompiler
