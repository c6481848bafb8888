// HashBuckets<Node>: a bucket array of singly linked, sorted chains - the
// common core of the program's hash tables (HashTable, IdHashTable,
// Utils::IHashNodeTable) - with their iterator, HashIteratorNext and
// ListCursor.
//
// Node is any type with a member `Node* next`. Each table picks the bucket of
// a key and the order of its chains; chains stay sorted ascending, so a
// search stops at the first node greater than its key, and an insertion that
// meets an equal node inserts nothing. A table built with 0 buckets, or whose
// buckets were freed, holds nothing: insertions answer false and searches
// miss (there is never a division by zero).
//
// An iterator is (node, table, bucket); its end has a null node.
// HashIteratorNext moves to the next node of the bucket, or else to the first
// node of the next non-empty bucket, or to the end. ListCursor::Reset puts a
// cursor on the first node of the table. Changing a table invalidates its
// iterators and cursors.
//
// Ownership is the derived table's (see each table). Failure: the bucket
// array is sized by the program, not by input; std::bad_alloc when it cannot
// be allocated is fatal. Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>

template <typename Node>
class HashBuckets;

template <typename Node>
struct HashIterator {
  Node* node = nullptr;
  const HashBuckets<Node>* table = nullptr;
  uint32_t bucket = 0;

  bool AtEnd() const { return node == nullptr; }
};

template <typename Node>
class HashBuckets {
 public:
  using Iterator = HashIterator<Node>;
  // The bucket of an iterator placed before the first node.
  static constexpr uint32_t kBeforeFirst = UINT32_MAX;

  explicit HashBuckets(uint32_t bucketCount)
      : buckets_(bucketCount ? new Node*[bucketCount]() : nullptr), bucketCount_(bucketCount) {}
  HashBuckets(const HashBuckets&) = delete;
  HashBuckets& operator=(const HashBuckets&) = delete;

  uint32_t BucketCount() const { return bucketCount_; }
  // Nodes held.
  uint32_t Count() const { return count_; }
  // The first node of bucket i; null when empty or out of range.
  Node* Bucket(uint32_t i) const { return i < bucketCount_ ? buckets_[i] : nullptr; }

 protected:
  ~HashBuckets() = default;

  bool HasBuckets() const { return bucketCount_ != 0; }
  uint32_t BucketOf(uint32_t hash) const { return hash % bucketCount_; }

  // order(node) is negative, zero or positive as the wanted key sorts before,
  // equal to or after `node`.
  template <typename Order>
  Node* FindSorted(uint32_t bucket, Order order) const {
    for (Node* n = buckets_[bucket]; n; n = n->next) {
      int c = order(*n);
      if (c == 0) return n;
      if (c < 0) return nullptr;
    }
    return nullptr;
  }

  // Links `node` into its sorted place; false (nothing linked) when a node
  // of equal order is present.
  template <typename Order>
  bool InsertSorted(uint32_t bucket, Node* node, Order order) {
    Node** link = &buckets_[bucket];
    for (; *link; link = &(*link)->next) {
      int c = order(**link);
      if (c == 0) return false;
      if (c < 0) break;
    }
    node->next = *link;
    *link = node;
    ++count_;
    return true;
  }

  // Hands every node to `release`, walking the buckets from the last, and
  // empties the buckets; the count becomes 0.
  template <typename Release>
  void ClearChains(Release release) {
    for (uint32_t b = bucketCount_; b-- > 0;) {
      Node* n = buckets_[b];
      buckets_[b] = nullptr;
      while (n) {
        Node* next = n->next;
        release(n);
        n = next;
      }
    }
    count_ = 0;
  }

  // Unlinks every node for which `drop(node)` holds and hands it to
  // `release`; the other nodes keep their order. Answers how many went.
  template <typename Drop, typename Release>
  uint32_t RemoveFromChains(Drop drop, Release release) {
    uint32_t removed = 0;
    for (uint32_t b = 0; b < bucketCount_; ++b) {
      for (Node** link = &buckets_[b]; *link != nullptr;) {
        Node* n = *link;
        if (!drop(*n)) {
          link = &n->next;
          continue;
        }
        *link = n->next;
        release(n);
        ++removed;
      }
    }
    count_ -= removed;
    return removed;
  }

  // Frees the bucket array; the chains must already be empty.
  void ReleaseArray() {
    buckets_.reset();
    bucketCount_ = 0;
  }

 private:
  std::unique_ptr<Node*[]> buckets_;
  uint32_t bucketCount_ = 0;
  uint32_t count_ = 0;
};

template <typename Node>
void HashIteratorNext(HashIterator<Node>& it) {
  if (!it.table) return;
  if (it.node && it.node->next) {
    it.node = it.node->next;
    return;
  }
  const uint32_t n = it.table->BucketCount();
  uint32_t b = it.bucket == HashBuckets<Node>::kBeforeFirst ? 0 : it.bucket + 1;
  if (it.bucket != HashBuckets<Node>::kBeforeFirst && it.bucket >= n) b = n;
  for (; b < n; ++b) {
    Node* first = it.table->Bucket(b);
    if (!first) continue;
    it.node = first;
    it.bucket = b;
    return;
  }
  it.node = nullptr;
  it.bucket = n;
}

// Walks every node of a table, bucket by bucket, each chain in order.
template <typename Node>
class ListCursor {
 public:
  explicit ListCursor(const HashBuckets<Node>& table) : it_{nullptr, &table, 0} { Reset(); }

  // Puts the cursor on the first node (the end when the table is empty).
  void Reset() {
    it_.node = nullptr;
    it_.bucket = HashBuckets<Node>::kBeforeFirst;
    HashIteratorNext(it_);
  }
  void Next() { HashIteratorNext(it_); }
  bool AtEnd() const { return it_.AtEnd(); }
  Node* Current() const { return it_.node; }

 private:
  HashIterator<Node> it_;
};
