// HashTable<V>: bucket hash table keyed by C strings.
//
// Hash: h = 0, then for each character h = h * 3 + the character taken as a
// signed 8-bit value (so a byte above 127 lowers the hash); the bucket is h
// modulo the bucket count, unsigned. Chains stay sorted in ascending
// byte-wise (strcmp) order of the keys, so a search stops at the first
// greater key. A key is held at most once.
//
// Ownership: the table owns its nodes; each node holds its own copy of the
// key text, so callers need not keep their text alive. EraseIf deletes the
// nodes a predicate picks; FreeBuckets and the destructor delete every node
// (and with it the value). Iteration: see
// HashBuckets.h (HashIteratorNext, ListCursor). Failure: a node that cannot
// be allocated throws std::bad_alloc, which is fatal. Not thread-safe.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "foundation/containers/HashBuckets.h"

// The name hash of `text` (0 for null text).
inline uint32_t HashName(const char* text) {
  uint32_t h = 0;
  if (!text) return h;
  for (; *text; ++text)
    h = h * 3 + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*text)));
  return h;
}

template <typename V>
struct NameHashNode {
  NameHashNode* next = nullptr;
  std::string key;
  V value;
};

template <typename V>
class HashTable : public HashBuckets<NameHashNode<V>> {
  using Base = HashBuckets<NameHashNode<V>>;

 public:
  using Node = NameHashNode<V>;
  using Iterator = typename Base::Iterator;
  using Cursor = ListCursor<Node>;

  explicit HashTable(uint32_t bucketCount) : Base(bucketCount) {}
  ~HashTable() { FreeBuckets(); }

  // Adds `key` with `value`; false, and nothing inserted, when the key is
  // present, the key is null or the table has no buckets.
  bool InsertByName(const char* key, V value) {
    if (!key || !this->HasBuckets()) return false;
    uint32_t bucket = this->BucketOf(HashName(key));
    if (this->FindSorted(bucket, Order(key))) return false;
    return this->InsertSorted(bucket, new Node{nullptr, key, std::move(value)}, Order(key));
  }

  // True, with `out` on the node (its bucket and this table), when `key` is
  // present; false, with `out` at the end, otherwise.
  bool FindByName(const char* key, Iterator& out) const {
    out = Iterator{nullptr, this, this->BucketCount()};
    if (!key || !this->HasBuckets()) return false;
    uint32_t bucket = this->BucketOf(HashName(key));
    Node* node = this->FindSorted(bucket, Order(key));
    if (!node) return false;
    out = Iterator{node, this, bucket};
    return true;
  }

  // Deletes every node for which `drop(node)` holds; answers how many.
  template <typename Drop>
  uint32_t EraseIf(Drop drop) {
    return this->RemoveFromChains(drop, [](Node* n) { delete n; });
  }

  // Deletes every node, sets the count to 0 and frees the bucket array.
  void FreeBuckets() {
    this->ClearChains([](Node* n) { delete n; });
    this->ReleaseArray();
  }

 private:
  static auto Order(const char* key) {
    return [key](const Node& n) { return std::strcmp(key, n.key.c_str()); };
  }
};
