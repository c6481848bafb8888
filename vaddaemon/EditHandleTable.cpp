#include "vaddaemon/EditHandleTable.h"

uint64_t EditHandleTable::Open(uint64_t connection, const KUID& kuid, bool edit) {
  std::lock_guard<std::mutex> hold(lock_);
  auto first = entries_.lower_bound(Key{connection, 0});
  auto end = entries_.upper_bound(Key{connection, kNoHandle});
  size_t count = 0;
  for (auto it = first; it != end && count < kMaxPerConnection; ++it) ++count;
  if (count >= kMaxPerConnection || next_ == kNoHandle) return kNoHandle;
  const uint64_t handle = next_++;
  entries_[Key{connection, handle}] = Entry{kuid, edit};
  return handle;
}

bool EditHandleTable::Find(uint64_t connection, uint64_t handle, Entry* entry) const {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = entries_.find(Key{connection, handle});
  if (it == entries_.end()) return false;
  *entry = it->second;
  return true;
}

void EditHandleTable::SetEdit(uint64_t connection, uint64_t handle, bool edit) {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = entries_.find(Key{connection, handle});
  if (it != entries_.end()) it->second.edit = edit;
}

bool EditHandleTable::Release(uint64_t connection, uint64_t handle) {
  std::lock_guard<std::mutex> hold(lock_);
  return entries_.erase(Key{connection, handle}) != 0;
}

void EditHandleTable::ReleaseConnection(uint64_t connection) {
  std::lock_guard<std::mutex> hold(lock_);
  entries_.erase(entries_.lower_bound(Key{connection, 0}),
                 entries_.upper_bound(Key{connection, kNoHandle}));
}

size_t EditHandleTable::Count(uint64_t connection) const {
  std::lock_guard<std::mutex> hold(lock_);
  size_t count = 0;
  auto end = entries_.upper_bound(Key{connection, kNoHandle});
  for (auto it = entries_.lower_bound(Key{connection, 0}); it != end; ++it) ++count;
  return count;
}
