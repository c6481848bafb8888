// A growable memory buffer with a read/write position.
//
// Holds `DataLength()` bytes of data in an allocation of `AllocatedSize()`
// bytes. Reads and writes start at `Position()` and move it. Writing past the
// allocation grows it geometrically (at least doubling), so a long series of
// writes copies each byte a bounded number of times; the data held never
// changes when the buffer grows. Sizes are 32-bit: the allocation never
// passes `MaxSize()` bytes (settable, for callers that bound what they accept
// and for tests of exhaustion) nor 0xFFFFFFFF. A write that would pass either,
// or that cannot get the memory, fails whole: it answers 0 and changes
// nothing. Nothing here throws. The position never passes the allocation's end;
// bytes between the data's end and the position are left as they are (zero
// when fresh). Bytes past both the data's end and the position hold nothing
// defined until a write, a move of the position or SetDataLength reaches
// them, which makes them zero when fresh.
//
// The allocation grows in place where the allocator can (realloc: a large
// block is remapped rather than copied), and fresh bytes are zeroed only when
// they come into reach without being written, so a long run of appends
// touches each byte about once.
#pragma once

#include <cstdint>

namespace Kiv {

class DynamicBuffer {
 public:
  DynamicBuffer() = default;
  explicit DynamicBuffer(uint32_t reserve) { AddLength(reserve); }
  ~DynamicBuffer();
  DynamicBuffer(const DynamicBuffer&) = delete;
  DynamicBuffer& operator=(const DynamicBuffer&) = delete;

  uint32_t Position() const { return position_; }
  // Moves the position; a target beyond the allocation stops at its end.
  void SetPosition(uint32_t position);
  uint32_t AllocatedSize() const { return allocated_; }
  uint32_t DataLength() const { return length_; }
  uint8_t* Data() { return bytes_; }
  const uint8_t* Data() const { return bytes_; }

  // Copies up to size * count bytes from the position into `dst`, stopping
  // at the end of the data (so a last element may be copied in part);
  // answers the number of bytes copied and moves the position by as many.
  uint32_t Read(void* dst, uint32_t size, uint32_t count = 1);
  // Writes size * count bytes at the position, growing as needed, and
  // extends the data length when the write passes it. Answers the number of
  // bytes written: all of them, or 0 when memory (or MaxSize) runs out, in
  // which case nothing changes.
  uint32_t Write(const void* src, uint32_t size, uint32_t count = 1);
  // Empties the buffer: position and data length 0; keeps the allocation.
  void Clean();
  // Grows the allocation by `n` bytes; false (and no change) when memory or
  // MaxSize runs out.
  bool AddLength(uint32_t n);
  // Sets the data length (within the allocation, growing it when needed).
  bool SetDataLength(uint32_t n);

  uint32_t MaxSize() const { return max_size_; }
  void SetMaxSize(uint32_t max) { max_size_ = max; }

 private:
  bool GrowTo(uint64_t needed);
  // Reallocates to `size` bytes; false (and no change) when memory runs out.
  bool Resize(uint64_t size);
  // Zeroes the fresh bytes below `end` (within the allocation).
  void Define(uint32_t end);

  uint8_t* bytes_ = nullptr;  // from malloc; AllocatedSize() bytes
  uint32_t allocated_ = 0;
  // Bytes below this were written or zeroed; the rest hold anything.
  uint32_t defined_ = 0;
  uint32_t position_ = 0;
  uint32_t length_ = 0;
  uint32_t max_size_ = 0xFFFFFFFFu;
};

}  // namespace Kiv
