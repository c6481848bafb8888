// The engine's block-coder hook: an abstract codec and a registration point.
//
// Kiv::Compress is the interface every block codec implements. Instances are
// reference counted (Kiv::ReferenceCount) and used by one thread at a time;
// make a fresh instance (or reuse one on a single thread) per stream.
//
// CompressBlock(dst, capacity, src, n, level) codes the `n` bytes at `src`
// into `dst`, which holds `capacity` bytes, and answers the number of coded
// bytes written, or 0 on failure (no coded stream is empty, so 0 is never a
// success). Nothing is written past `capacity`; on failure the bytes of `dst`
// are unspecified. A codec that has a stored form answers it whenever its
// coded form would not fit, so a capacity of n + 1 is always enough.
//
// DecompressBlock(dst, capacity, src, n) decodes the coded stream of `n`
// bytes at `src` into `dst` and answers the number of decoded bytes (0 is a
// valid result: an empty input), or kFailed when the stream is damaged or
// its decoded form does not fit `capacity`. It never reads past `src + n`
// nor writes past `dst + capacity`; what was written before a failure is left
// in `dst` for the caller to discard. Bytes between the decoded count and
// `capacity` may change too (a codec may copy in wide blocks): a caller that
// keeps data there passes the exact decoded size as `capacity`.
//
// FreeWorkspace releases the codec's working arrays; both block operations
// free them before they return, so calling it is never required.
//
// Registration: the engine has no codec of its own. A higher layer installs a
// factory with SetFactory (once, at start-up, before other threads use it);
// Create answers a new instance from it, or null when none is installed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kiv/ReferenceCount.h"

namespace Kiv {

class Compress : public ReferenceCount {
 public:
  static constexpr int64_t kFailed = -1;
  using Factory = Compress* (*)();

  virtual size_t CompressBlock(void* dst, size_t capacity, const void* src, size_t n,
                               uint32_t level) = 0;
  virtual int64_t DecompressBlock(void* dst, size_t capacity, const void* src, size_t n) = 0;
  virtual void FreeWorkspace() {}

  static void SetFactory(Factory factory);
  static Ref<Compress> Create();

 protected:
  Compress() = default;
};

}  // namespace Kiv
