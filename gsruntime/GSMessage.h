// GSRuntime::GSMessage: a counted router message. It names a major and a
// minor type (router type numbers: 1 any/empty, below 100 system types,
// interned types from 101), the source and destination node ids (0 as a
// destination is a broadcast), a due word and an optional soup payload.
//
// Due word: bits 0-29 the due time in milliseconds (0: no delay), bit 30
// set on a sniffed copy, bit 31 set on every message that a node, a native
// or a handler builds.
//
// Messages are handed around as GSMessageRef (Kiv::Ref): copying a handle
// adds a count, dropping it releases one; the message and its payload
// reference go with the last count. Create makes one with no payload;
// Clone copies types, ids, the whole due word and the payload reference.
// Memory: a message's block comes from a free list of each thread (up to
// kSpareBlocks blocks of messages freed on that thread are kept; the rest
// go back to the heap, and a thread's list goes when the thread ends).
// Not thread-safe beyond its count: messages live on the script thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "kiv/ReferenceCount.h"

class Soup;

namespace GSRuntime {

class GSMessage;
using GSMessageRef = Kiv::Ref<GSMessage>;

class GSMessage : public Kiv::ReferenceCount {
 public:
  static constexpr uint32_t kDueMask = 0x3FFFFFFF;
  static constexpr uint32_t kSniffedBit = 0x40000000;
  static constexpr uint32_t kBuiltBit = 0x80000000;

  static constexpr size_t kSpareBlocks = 256;

  static GSMessageRef Create();
  GSMessageRef Clone() const;

  uint32_t DueTime() const { return due & kDueMask; }
  bool Sniffed() const { return (due & kSniffedBit) != 0; }

  uint16_t major = 0;
  uint16_t minor = 0;
  uint32_t source = 0;
  uint32_t destination = 0;
  uint32_t due = 0;
  std::shared_ptr<Soup> payload;

  static void* operator new(size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* block, size_t size) noexcept;

 private:
  GSMessage() = default;
};

// A script delay in seconds as milliseconds for the due word: truncated
// toward zero and clamped to 0 .. 2^30 - 1 (NaN and negative delays give 0),
// so no conversion overflows and no timer runs past the 30-bit word.
uint32_t GSDelayMilliseconds(float seconds);

}  // namespace GSRuntime
