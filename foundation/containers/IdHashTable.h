// IdHashTable<V>: bucket hash table keyed by 64-bit ids (two 32-bit words).
//
// The bucket is the id's first word (low) modulo the bucket count; chains
// stay sorted ascending by (low, high). Insert answers false, and inserts
// nothing, when the id is present (or the table has no buckets).
//
// Ownership: the table owns its nodes {low, high, value, next}. Clear
// deletes every node (the values with them: a value that is an owning
// pointer deletes its object), walking the buckets from the last, and sets
// the count to 0; EraseIf deletes the nodes a predicate picks, the others
// keeping their order; FreeBuckets clears and then frees the bucket array; the
// destructor does the same. Iteration: HashBuckets.h. Failure: std::bad_alloc
// for a node is fatal. Not thread-safe.
#pragma once

#include <cstdint>
#include <utility>

#include "foundation/containers/HashBuckets.h"

template <typename V>
struct IdHashNode {
  IdHashNode* next = nullptr;
  uint32_t low = 0;
  uint32_t high = 0;
  V value;
};

template <typename V>
class IdHashTable : public HashBuckets<IdHashNode<V>> {
  using Base = HashBuckets<IdHashNode<V>>;

 public:
  using Node = IdHashNode<V>;
  using Iterator = typename Base::Iterator;
  using Cursor = ListCursor<Node>;

  explicit IdHashTable(uint32_t bucketCount) : Base(bucketCount) {}
  ~IdHashTable() { FreeBuckets(); }

  bool Insert(uint32_t low, uint32_t high, V value) {
    if (!this->HasBuckets()) return false;
    uint32_t bucket = this->BucketOf(low);
    if (this->FindSorted(bucket, Order(low, high))) return false;
    return this->InsertSorted(bucket, new Node{nullptr, low, high, std::move(value)},
                              Order(low, high));
  }

  // True, with `out` on the node, when the id is present; else false and
  // `out` at the end.
  bool Find(uint32_t low, uint32_t high, Iterator& out) const {
    out = Iterator{nullptr, this, this->BucketCount()};
    if (!this->HasBuckets()) return false;
    uint32_t bucket = this->BucketOf(low);
    Node* node = this->FindSorted(bucket, Order(low, high));
    if (!node) return false;
    out = Iterator{node, this, bucket};
    return true;
  }

  // Deletes every node for which `drop(node)` holds; answers how many.
  template <typename Drop>
  uint32_t EraseIf(Drop drop) {
    return this->RemoveFromChains(drop, [](Node* n) { delete n; });
  }

  void Clear() {
    this->ClearChains([](Node* n) { delete n; });
  }

  void FreeBuckets() {
    Clear();
    this->ReleaseArray();
  }

 private:
  static auto Order(uint32_t low, uint32_t high) {
    return [low, high](const Node& n) {
      if (low != n.low) return low < n.low ? -1 : 1;
      if (high != n.high) return high < n.high ? -1 : 1;
      return 0;
    };
  }
};
