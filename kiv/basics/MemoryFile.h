// Kiv::MemoryFile: a file's bytes read through a cursor, held whole in
// memory or, in streamed mode, read from the file as the cursor reaches
// them.
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
// Streamed mode (SetStreamed(true) before Open; Assign always copies) is
// for readers that move each large array of a file once, straight into its
// destination: Open keeps the file open and takes its size, and reads are
// served from the file at the cursor. ReadRaw of a large block reads it
// straight into the target; small reads go through a window of the file
// held here. In this mode the size is the file's size at Open. When the
// file cannot serve bytes that the size promised (it was cut meanwhile, or
// reading failed), the read fails and marks the file truncated as a read
// past the end does, except that the target of ReadRaw may have been partly
// written. Base() is null, and a ReadBlock pointer is valid only until the
// next read or Close. The file stays open until Close, Open, Assign or
// destruction.
//
// Not thread-safe: one reader at a time. Nothing here throws except on
// exhaustion of memory.
#pragma once

#include <cstdint>
#include <memory>

#include "kiv/String.h"

namespace Kiv {

class File;

class MemoryFile {
 public:
  MemoryFile();
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Whether later Opens stream the file (false at first). The data held
  // now is kept as it is.
  void SetStreamed(bool streamed) { streamed_ = streamed; }
  bool IsStreamed() const { return streamed_; }

  // Reads the file at `path` whole (or, streamed, opens it); false (and no
  // data) when it cannot be opened or read, or is larger than `maxBytes`.
  bool Open(const String& path, uint64_t maxBytes = uint64_t(1) << 31);
  void Assign(const void* data, uint64_t size);
  // Drops the data (and closes a streamed file).
  void Close();

  bool HasData() const { return size_ != 0; }
  uint64_t Size() const { return size_; }
  uint64_t Tell() const { return pos_; }
  uint64_t Remaining() const { return size_ - pos_; }
  bool Truncated() const { return truncated_; }
  // The whole data; null for a streamed file.
  const uint8_t* Base() const { return data_.get(); }

  bool Read(uint32_t* value) { return ReadRaw(value, sizeof(*value)); }
  bool Read(int32_t* value) { return ReadRaw(value, sizeof(*value)); }
  bool Read(float* value) { return ReadRaw(value, sizeof(*value)); }
  bool ReadRaw(void* target, uint64_t size);
  // The next `size` bytes in place (the cursor moves over them), or null
  // when they do not fit. Valid until the data is replaced (streamed: until
  // the next read).
  const uint8_t* ReadBlock(uint64_t size);
  // Moves over `size` bytes; false (cursor unchanged) when they do not fit.
  bool Skip(uint64_t size);
  // Moves the cursor back `size` bytes, at most to the start.
  void Back(uint64_t size);
  void Seek(uint64_t position);

 private:
  // Streamed: reads `size` bytes at file offset `offset` into `target`;
  // false (the file marked truncated) when the file does not give them all.
  bool ReadSource(uint64_t offset, void* target, uint64_t size);
  // Streamed: the window holding [pos_, pos_ + size), refilled when needed;
  // null when the file does not give the bytes.
  const uint8_t* Window(uint64_t size);

  std::unique_ptr<uint8_t[]> data_;
  uint64_t size_ = 0;
  uint64_t pos_ = 0;
  bool truncated_ = false;
  bool streamed_ = false;
  // The open file of streamed data, and the window of it held in memory:
  // `windowBytes_` bytes from file offset `windowStart_`.
  std::unique_ptr<File> source_;
  std::unique_ptr<uint8_t[]> window_;
  uint64_t windowCapacity_ = 0;
  uint64_t windowStart_ = 0;
  uint64_t windowBytes_ = 0;
};

}  // namespace Kiv
