// ACSRawDataCore: an immutable block of value bytes shared by soup chunks.
//
// A core is made once and never changed, so any number of chunks, threads
// and copies of a tree may share it. Two kinds exist:
//   CreateCopy(data, size)        owns a fresh copy of the bytes;
//   CreateView(data, size, owner) points at bytes that belong to `owner`
//                                 (a chunk or a loaded file) and holds a
//                                 reference on it, so the bytes stay alive as
//                                 long as the core does. `owner` may be null
//                                 when the caller guarantees the bytes outlive
//                                 the core by other means.
// An empty value is an empty handle: both creators answer one for a size of
// 0 or for null data. An owned copy lies in the same allocation as its core
// (one allocation per copy), right after it, and so is aligned for reading
// 32-bit numbers in place; views are aligned as the owner's bytes are
// (readers that care copy with memcpy).
//
// Size() is the exact number of readable bytes; nothing may read beyond it.
// TextView gives the bytes as text: up to the first NUL, or all of them when
// there is none, so a text without its NUL is still read safely.
//
// Failure: allocation failure throws std::bad_alloc (sizes come from values
// already held in memory, never from untrusted counts).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "foundation/base/ReferenceCountMP.h"

class ACSRawDataCore;
using CoreRef = MPRef<ACSRawDataCore>;

class ACSRawDataCore : public ReferenceCountMP {
 public:
  ~ACSRawDataCore() override;
  ACSRawDataCore(const ACSRawDataCore&) = delete;
  ACSRawDataCore& operator=(const ACSRawDataCore&) = delete;

  static CoreRef CreateCopy(const void* data, uint32_t size);
  static CoreRef CreateView(const void* data, uint32_t size, const ReferenceCountMP* owner);

  const uint8_t* Data() const { return data_; }
  uint32_t Size() const { return size_; }
  bool OwnsData() const { return owns_ != 0; }
  const ReferenceCountMP* Owner() const { return owner_; }

  // The bytes as text, bounded by the size (empty for a null core).
  static std::string_view TextView(const ACSRawDataCore* core);

  // A core and its copied bytes are one block: freed with the matching
  // plain operator delete (never a sized one, whose size would not match).
  static void operator delete(void* p) { ::operator delete(p); }

 private:
  // Room for the core and `extra.bytes` bytes after it.
  struct Extra {
    size_t bytes;
  };
  static void* operator new(size_t size, Extra extra) { return ::operator new(size + extra.bytes); }
  static void operator delete(void* p, Extra) { ::operator delete(p); }

  ACSRawDataCore(const uint8_t* data, uint32_t size, bool owns, const ReferenceCountMP* owner);

  const uint8_t* data_;
  uint32_t size_;
  uint8_t owns_;
  const ReferenceCountMP* owner_;  // One reference held, or null.
};
