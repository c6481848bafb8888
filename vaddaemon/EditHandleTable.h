// EditHandleTable: the asset handles the daemon has given out (requests
// 0x1E and 0x23), per connection.
//
// A handle is a u64, unique for the daemon's life (counted from 1; never
// all ones, which the protocol reserves for "no handle"), and is valid only
// on the connection that opened it: another connection naming it finds
// nothing. An entry records the asset and whether the handle opened it for
// edit. Releasing a handle (0x1F), or the connection closing, only forgets
// the entry: an asset's edit state belongs to the store and outlives its
// handles (the tool opens an asset for edit in one command and commits it
// in another).
//
// A connection holds at most kMaxPerConnection handles; Open answers
// kNoHandle beyond that, so a client that never releases cannot grow the
// table without bound.
//
// Thread-safe (one lock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

#include "foundation/text/KUID.h"

class EditHandleTable {
 public:
  static constexpr uint64_t kNoHandle = ~uint64_t(0);
  static constexpr size_t kMaxPerConnection = 4096;

  struct Entry {
    KUID kuid;
    bool edit = false;
  };

  uint64_t Open(uint64_t connection, const KUID& kuid, bool edit);
  bool Find(uint64_t connection, uint64_t handle, Entry* entry) const;
  void SetEdit(uint64_t connection, uint64_t handle, bool edit);
  bool Release(uint64_t connection, uint64_t handle);
  void ReleaseConnection(uint64_t connection);
  size_t Count(uint64_t connection) const;

 private:
  using Key = std::pair<uint64_t, uint64_t>;  // connection, handle

  mutable std::mutex lock_;
  uint64_t next_ = 1;
  std::map<Key, Entry> entries_;
};
