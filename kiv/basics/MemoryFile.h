// Kiv::MemoryFile: a whole file held in memory, read through a cursor.
//
// The data is owned by the object (Open reads a file whole, Assign copies
// bytes). Reads are little-endian and never pass the end of the data: a
// read of a fixed-size value or of a block that does not fit does nothing
// (the target keeps its value, the cursor stays) and marks the file
// truncated. The mark is sticky until the data is replaced, so readers of
// untrusted files can check once at the end whether every read was served.
// Moving the cursor back never goes before the start; moving it past the
// end puts it at the end and marks the file truncated.
//
// Not thread-safe: one reader at a time. Nothing here throws except on
// exhaustion of memory.
#pragma once

#include <cstdint>
#include <memory>

#include "kiv/String.h"

namespace Kiv {

class MemoryFile {
 public:
  MemoryFile() = default;
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Reads the file at `path` whole; false (and no data) when it cannot be
  // opened or read, or is larger than `maxBytes`.
  bool Open(const String& path, uint64_t maxBytes = uint64_t(1) << 31);
  void Assign(const void* data, uint64_t size);
  // Drops the data.
  void Close();

  bool HasData() const { return size_ != 0; }
  uint64_t Size() const { return size_; }
  uint64_t Tell() const { return pos_; }
  uint64_t Remaining() const { return size_ - pos_; }
  bool Truncated() const { return truncated_; }
  const uint8_t* Base() const { return data_.get(); }

  bool Read(uint32_t* value) { return ReadRaw(value, sizeof(*value)); }
  bool Read(int32_t* value) { return ReadRaw(value, sizeof(*value)); }
  bool Read(float* value) { return ReadRaw(value, sizeof(*value)); }
  bool ReadRaw(void* target, uint64_t size);
  // The next `size` bytes in place (the cursor moves over them), or null
  // when they do not fit. Valid until the data is replaced.
  const uint8_t* ReadBlock(uint64_t size);
  // Moves over `size` bytes; false (cursor unchanged) when they do not fit.
  bool Skip(uint64_t size);
  // Moves the cursor back `size` bytes, at most to the start.
  void Back(uint64_t size);
  void Seek(uint64_t position);

 private:
  std::unique_ptr<uint8_t[]> data_;
  uint64_t size_ = 0;
  uint64_t pos_ = 0;
  bool truncated_ = false;
};

}  // namespace Kiv
