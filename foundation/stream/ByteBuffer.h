// ByteBuffer: the script compiler's growable byte buffer, also read back
// through a bounds-checked cursor.
//
// The buffer owns 4-byte aligned storage of `capacity` bytes. `position` is
// where the next write or read happens; `size` is the highest end position
// ever reserved (the bytes that count as written). Writers call GrowBuffer()
// with position + width before each write and skip the write while error
// bit kGrowthFailed is set, so a failed growth never corrupts earlier bytes.
// A growth adds the grow step or the capacity, whichever is larger, so the
// storage grows geometrically. Words are little-endian. The storage comes
// from the C heap, so a large buffer grows in place where the allocator can
// remap it, without holding the old and the new storage at once.
//
// Failure is recorded in `errors` and never thrown:
//   kGrowthFailed (bit 0): storage missing, out of memory, or a size beyond
//                          32 bits; later writes are skipped.
//   kReadPastEnd  (bit 1): a read went past `size`; the reader's target and
//                          the position are left unchanged.
// Bits stay set until Init() or Reset(). Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

struct ByteBuffer {
  static constexpr uint32_t kGrowthFailed = 1;
  static constexpr uint32_t kReadPastEnd = 2;

  ByteBuffer() = default;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  // A moved-from buffer is left empty, as after Free().
  ByteBuffer(ByteBuffer&& other) noexcept { *this = std::move(other); }
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    if (this == &other) return *this;
    storage_ = std::move(other.storage_);
    errors = std::exchange(other.errors, 0);
    growStep = std::exchange(other.growStep, 0);
    position = std::exchange(other.position, 0);
    size = std::exchange(other.size, 0);
    capacity = std::exchange(other.capacity, 0);
    return *this;
  }

  // Replaces the storage by `initialCapacity` fresh bytes; the capacity is
  // also the grow step. False (and kGrowthFailed set) when out of memory.
  bool Init(uint32_t initialCapacity);
  // Fresh storage of grow-step bytes; clears errors, position and size.
  void Reset();
  // Frees the storage and zeroes every field.
  void Free();

  // Writes `value` at the position and moves past it. Inline while the
  // word fits the capacity; WriteU32Slow() grows the storage otherwise.
  void WriteU32(uint32_t value) {
    if ((errors & kGrowthFailed) == 0 && uint64_t{position} + 4 < capacity) {
      unsigned char* out = storage_.get() + position;
      out[0] = static_cast<unsigned char>(value);
      out[1] = static_cast<unsigned char>(value >> 8);
      out[2] = static_cast<unsigned char>(value >> 16);
      out[3] = static_cast<unsigned char>(value >> 24);
      position += 4;
      if (position > size) size = position;
      return;
    }
    WriteU32Slow(value);
  }
  // True with `out` set, or false with kReadPastEnd set and `out` unchanged.
  bool ReadU32(uint32_t& out);

  unsigned char* Data() { return storage_.get(); }
  const unsigned char* Data() const { return storage_.get(); }

  uint32_t errors = 0;
  uint32_t growStep = 0;
  uint32_t position = 0;
  uint32_t size = 0;
  uint32_t capacity = 0;

 private:
  friend void GrowBuffer(ByteBuffer& buffer, uint32_t index);
  struct FreeStorage {
    void operator()(unsigned char* p) const;
  };
  bool Allocate(uint32_t bytes);
  void WriteU32Slow(uint32_t value);
  std::unique_ptr<unsigned char, FreeStorage> storage_;
};

// Makes the storage hold `index` bytes: when `index` is not below the
// capacity, the capacity becomes grow step + index rounded up to a multiple
// of 4 and the written bytes are kept (the storage may move). Then `size` is raised
// to `index`. Failure sets kGrowthFailed and leaves the buffer unchanged.
void GrowBuffer(ByteBuffer& buffer, uint32_t index);
