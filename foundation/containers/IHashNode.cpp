#include "foundation/containers/IHashNode.h"

namespace Utils {

namespace {

auto OrderBy(const IHashNode& key) {
  return [&key](const IHashNode& n) { return key.Compare(n); };
}

}  // namespace

bool IHashNodeTable::Insert(IHashNode* node) {
  if (!node || !HasBuckets()) return false;
  return InsertSorted(BucketOf(node->Hash()), node, OrderBy(*node));
}

bool IHashNodeTable::Find(const IHashNode& key, Iterator& out) const {
  out = Iterator{nullptr, this, BucketCount()};
  if (!HasBuckets()) return false;
  uint32_t bucket = BucketOf(key.Hash());
  IHashNode* node = FindSorted(bucket, OrderBy(key));
  if (!node) return false;
  out = Iterator{node, this, bucket};
  return true;
}

void IHashNodeTable::FreeBuckets() {
  ClearChains([](IHashNode* n) { n->next = nullptr; });
  ReleaseArray();
}

}  // namespace Utils
