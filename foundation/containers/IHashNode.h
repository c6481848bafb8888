// Utils::IHashNode and Utils::IHashNodeTable: an intrusive bucket hash table
// of polymorphic nodes that bring their own hash and order.
//
// A node's Hash() (its first virtual operation after the destructor) picks
// its bucket (hash modulo the bucket count); Compare() (the next one) orders
// the chains ascending: negative, zero or positive as this node sorts
// before, equal to or after the other. Insert answers false, and links
// nothing, when an equal node is present.
//
// Ownership: the table does not own its nodes (they usually come from a
// pool); it only links them through their `next` member. A node must stay
// alive, and in one table at most, while it is linked. FreeBuckets and the
// destructor unlink everything without deleting it. Iteration: HashBuckets.h.
// Not thread-safe.
#pragma once

#include <cstdint>

#include "foundation/containers/HashBuckets.h"

namespace Utils {

class IHashNode {
 public:
  virtual ~IHashNode() = default;
  virtual uint32_t Hash() const = 0;
  virtual int Compare(const IHashNode& other) const = 0;

  // The chain link; belongs to the table that holds the node.
  IHashNode* next = nullptr;
};

class IHashNodeTable : public HashBuckets<IHashNode> {
 public:
  using Iterator = HashBuckets<IHashNode>::Iterator;
  using Cursor = ListCursor<IHashNode>;

  explicit IHashNodeTable(uint32_t bucketCount) : HashBuckets<IHashNode>(bucketCount) {}
  ~IHashNodeTable() { FreeBuckets(); }

  // Links `node` (not null) into the table.
  bool Insert(IHashNode* node);
  // True, with `out` on the node equal to `key`, when there is one; else
  // false and `out` at the end.
  bool Find(const IHashNode& key, Iterator& out) const;
  // Unlinks every node, sets the count to 0 and frees the bucket array.
  void FreeBuckets();
};

}  // namespace Utils
