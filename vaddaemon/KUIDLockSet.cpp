// KUIDLockSet (see KUIDLockSet.h).
#include "vaddaemon/KUIDLockSet.h"

#include <algorithm>

void KUIDLockSet::Hold::Release() {
  if (set_ == nullptr) return;
  set_->Release(kuid_, shared_);
  set_ = nullptr;
}

KUIDLockSet::Hold& KUIDLockSet::Hold::operator=(Hold&& other) noexcept {
  if (this == &other) return *this;
  Release();
  set_ = other.set_;
  kuid_ = other.kuid_;
  shared_ = other.shared_;
  other.set_ = nullptr;
  return *this;
}

KUIDLockSet::Entry& KUIDLockSet::EntryOf(const KUID& kuid) {
  const auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& entry) { return entry.kuid == kuid; });
  if (it != entries_.end()) return *it;
  entries_.push_back(Entry{kuid});
  return entries_.back();
}

void KUIDLockSet::Prune(const KUID& kuid) {
  std::erase_if(entries_, [&](const Entry& entry) {
    return entry.kuid == kuid && entry.readers == 0 && !entry.writer && entry.writersWaiting == 0;
  });
}

KUIDLockSet::Hold KUIDLockSet::Acquire(const KUID& kuid) {
  std::unique_lock<std::mutex> lock(mutex_);
  ++EntryOf(kuid).writersWaiting;
  // The vector may grow while this thread waits: the entry is looked up anew.
  released_.wait(lock, [&] {
    const Entry& entry = EntryOf(kuid);
    return !entry.writer && entry.readers == 0;
  });
  Entry& entry = EntryOf(kuid);
  --entry.writersWaiting;
  entry.writer = true;
  return Hold(this, kuid, false);
}

KUIDLockSet::Hold KUIDLockSet::TryAcquire(const KUID& kuid) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& entry = EntryOf(kuid);
  if (entry.writer || entry.readers != 0) {
    Prune(kuid);
    return Hold();
  }
  entry.writer = true;
  return Hold(this, kuid, false);
}

KUIDLockSet::Hold KUIDLockSet::AcquireShared(const KUID& kuid) {
  std::unique_lock<std::mutex> lock(mutex_);
  released_.wait(lock, [&] {
    const Entry& entry = EntryOf(kuid);
    return !entry.writer && entry.writersWaiting == 0;
  });
  ++EntryOf(kuid).readers;
  return Hold(this, kuid, true);
}

KUIDLockSet::Hold KUIDLockSet::TryAcquireShared(const KUID& kuid) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& entry = EntryOf(kuid);
  if (entry.writer || entry.writersWaiting != 0) {
    Prune(kuid);
    return Hold();
  }
  ++entry.readers;
  return Hold(this, kuid, true);
}

bool KUIDLockSet::WaitShareable(const KUID& kuid, std::chrono::steady_clock::time_point until) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool shareable = released_.wait_until(lock, until, [&] {
    const Entry& entry = EntryOf(kuid);
    return !entry.writer && entry.writersWaiting == 0;
  });
  Prune(kuid);
  return shareable;
}

void KUIDLockSet::Release(const KUID& kuid, bool shared) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Entry& entry = EntryOf(kuid);
    if (shared && entry.readers != 0) --entry.readers;
    if (!shared) entry.writer = false;
    Prune(kuid);
  }
  released_.notify_all();
}
