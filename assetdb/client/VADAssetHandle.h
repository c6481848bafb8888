// VADAssetHandle: an asset that the asset-database daemon has opened for
// this client (request 0x1E or 0x23), through which it is edited and then
// committed or reverted.
//
// The record is counted: it starts with one reference, AddRef adds one and
// ReleaseAssetHandle drops one; with the last one the daemon handle is
// released (request 0x1F, when there is one) and the record is freed.
// `daemonHandle` all bits set means none. `open` is set while the record
// knows the folder in which the asset's files may be changed.
//
// Functions that make a handle answer a VADAssetHandleRef: the pointer and
// a status byte, kHandleValid (3) with a handle and 0 without.
//
// Counting is atomic; the other fields belong to the thread that uses the
// handle (one at a time).
#pragma once

#include <atomic>
#include <cstdint>

#include "foundation/text/KUID.h"
#include "kiv/File.h"
#include "kiv/PString.h"

class TStream;

struct VADAssetHandle {
  static constexpr uint64_t kNoHandle = ~uint64_t(0);

  void AddRef() { references.fetch_add(1, std::memory_order_relaxed); }

  std::atomic<uint32_t> references{1};
  uint64_t daemonHandle = kNoHandle;
  KUID kuid;
  Kiv::PString name;
  Kiv::File::Path folder;
  bool open = false;
};

struct VADAssetHandleRef {
  static constexpr uint8_t kHandleValid = 3;

  VADAssetHandle* handle = nullptr;
  uint8_t status = 0;

  bool Valid() const { return handle != nullptr; }
};

// Drops one reference of `ref`'s handle (see above) and empties `ref`.
// Nothing when `ref` is empty.
void ReleaseAssetHandle(VADAssetHandleRef& ref);
// The same, for a caller that makes the release request itself (e.g. with
// other requests in flight): answers the daemon handle that request 0x1F
// must release, kNoHandle when none is due.
uint64_t DropAssetHandle(VADAssetHandleRef& ref);
// Reads the reply of request 0x1E (u64 handle, interned name, string folder)
// into a new open handle in `out`, as Request1E does; false, `out` empty,
// when the daemon gave no handle.
bool ReadOpenHandleReply(TStream& reply, const KUID& kuid, VADAssetHandleRef& out);
