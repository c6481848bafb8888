#include "assetdb/protocol/KUIDOrderedSet.h"

bool KUIDOrderedSet::Append(const KUID& kuid) {
  if (!index_.emplace(kuid, order_.size()).second) return false;
  order_.push_back(kuid);
  alive_.push_back(true);
  return true;
}

bool KUIDOrderedSet::Erase(const KUID& kuid) {
  const auto it = index_.find(kuid);
  if (it == index_.end()) return false;
  alive_[it->second] = false;
  index_.erase(it);
  return true;
}

void KUIDOrderedSet::CopyTo(KUIDList& out) const {
  for (size_t i = 0; i < order_.size(); ++i) {
    if (alive_[i]) out.Append(order_[i]);
  }
}
