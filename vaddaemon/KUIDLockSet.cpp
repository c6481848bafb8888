// KUIDLockSet (see KUIDLockSet.h).
#include "vaddaemon/KUIDLockSet.h"

#include <algorithm>

KUIDLockSet::Hold::~Hold() {
  if (set_) set_->Release(kuid_);
}

KUIDLockSet::Hold KUIDLockSet::Acquire(const KUID& kuid) {
  std::unique_lock<std::mutex> lock(mutex_);
  released_.wait(lock, [&] { return std::find(held_.begin(), held_.end(), kuid) == held_.end(); });
  held_.push_back(kuid);
  return Hold(this, kuid);
}

KUIDLockSet::Hold KUIDLockSet::TryAcquire(const KUID& kuid) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::find(held_.begin(), held_.end(), kuid) != held_.end()) return Hold(nullptr, kuid);
  held_.push_back(kuid);
  return Hold(this, kuid);
}

void KUIDLockSet::Release(const KUID& kuid) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = std::find(held_.begin(), held_.end(), kuid);
    if (it != held_.end()) held_.erase(it);
  }
  released_.notify_all();
}
