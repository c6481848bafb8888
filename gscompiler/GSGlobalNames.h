// GSCompiler::GSGlobalNames: the global names of a symbol table (source
// files and classes), one for each class of a unit, so often hundreds of
// thousands of them.
//
// They form the same sorted bucket chains as any SymbolBuckets (bucket =
// name hash modulo kBuckets, each chain sorted by GSSymbol::Compare, the
// chains one list), and a find answers the first symbol equal to the key
// in that order, as a walk of the chains would. But they are found through
// a hash of their names without regard to case (every pair of names that
// may compare equal shares it), so a find or an insert touches a few slots
// and the symbols compared, not a path through a tree of every name. The
// list is linked in chain order only when it is asked for (List()): the
// symbols entered since the last time are sorted and merged into it then.
//
// Keys: as in GSSymbolChains.h (depth -1 finds the deepest symbol of the
// name, any other depth that exact depth; two dependent files compare
// without regard to case).
//
// Ownership: the symbols belong to the table's pool; this class owns only
// its slots and the list of symbols not linked yet. Failure: an insert that
// cannot allocate answers false and enters nothing. Removing costs a walk
// of the list (only scopes above the file level remove global names, and
// those hold none in a compiled unit). Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gscompiler/GSSymbol.h"

namespace GSCompiler {

class GSGlobalNames {
 public:
  static constexpr uint32_t kBuckets = 61;
  using List = SymbolBuckets<kBuckets>;

  GSGlobalNames() = default;
  GSGlobalNames(const GSGlobalNames&) = delete;
  GSGlobalNames& operator=(const GSGlobalNames&) = delete;

  // Enters `symbol`; false (nothing entered) on an equal key or when memory
  // runs out.
  bool Insert(GSSymbol* symbol);
  // The first symbol equal to `key` in chain order, or null.
  GSSymbol* Find(const GSSymbol& key) const;
  // Takes `symbol` out; false when it is not there.
  bool Remove(GSSymbol* symbol);
  // Every symbol, linked in chain order through IHashNode::next. The
  // reference stays valid; a later Insert leaves the symbols it enters
  // out of it until the next call.
  const List& Linked() const;
  // Forgets every symbol and frees the slots.
  void Clear();

 private:
  struct Slot {
    uint32_t fold;     // FoldOf(*symbol)
    GSSymbol* symbol;  // null: empty
  };

  // A hash of the lower-cased name (not the bucket hash, which spreads
  // names of a few digits poorly).
  static uint32_t FoldOf(const GSSymbol& symbol);
  // The slot holding `symbol`, or the slots' size.
  size_t SlotOf(const GSSymbol* symbol) const;
  // Doubles the slots (at least 64); false when memory runs out.
  bool Grow();
  void Place(uint32_t fold, GSSymbol* symbol);
  // Sorts the symbols not linked yet and merges them into the list.
  void LinkPending() const;

  std::vector<Slot> slots_;  // open addressing, linear probing, size a power of two
  size_t used_ = 0;
  mutable List list_;
  mutable std::vector<GSSymbol*> pending_;  // entered, not linked yet
};

}  // namespace GSCompiler
