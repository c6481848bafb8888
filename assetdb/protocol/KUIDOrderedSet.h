// KUIDOrderedSet: a list of distinct KUIDs in the order they were added,
// with constant-time membership, appending and erasing (on average).
//
// The archive tables are built from every entry of an archive; a list that
// answered "is it held?" and "erase it" by walking itself would make that
// quadratic in the number of entries.
//
// Append adds a KUID at the end unless it is held (answers whether it was
// added); Erase removes it when held (answers whether it was). A KUID
// erased and appended again goes to the end. CopyTo appends the held KUIDs
// in order to a KUIDList. Allocation failure throws std::bad_alloc.
// Not thread-safe.
#pragma once

#include <cstddef>
#include <unordered_map>
#include <vector>

#include "foundation/soup/SoupKUIDReferences.h"
#include "foundation/text/KUID.h"

struct KUIDHash {
  size_t operator()(const KUID& k) const {
    uint64_t h = uint32_t(k.userId);
    h = h * 0x9E3779B97F4A7C15ull + uint32_t(k.contentId);
    h = h * 0x9E3779B97F4A7C15ull + uint32_t(k.version);
    return size_t(h ^ (h >> 29));
  }
};

class KUIDOrderedSet {
 public:
  bool Contains(const KUID& kuid) const { return index_.count(kuid) != 0; }
  bool Append(const KUID& kuid);
  bool Erase(const KUID& kuid);
  size_t Size() const { return index_.size(); }
  void CopyTo(KUIDList& out) const;

 private:
  std::vector<KUID> order_;
  std::vector<bool> alive_;
  std::unordered_map<KUID, size_t, KUIDHash> index_;
};
