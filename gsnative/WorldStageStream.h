// WorldStageStream: the memory stream in which WorldStreamWriter assembles
// records before they reach the target stream. A plain growable byte
// block: writes are a bounds test and a copy, so the many small writes of
// a record cost little.
//
// Reads, seeks and Tell address the written bytes as any stream does; a
// seek stops at the bounds of the data. Reset empties it and keeps the
// allocation. A write that would pass 4 GiB - 1 is dropped and records
// kErrorSize; running out of memory throws std::bad_alloc, as the
// program's containers do. Not thread-safe.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/stream/TStream.h"

class WorldStageStream : public TStream {
 public:
  const uint8_t* Data() const { return bytes_.data(); }
  uint32_t Size() const { return size_; }

  void Reset() override;
  uint32_t Tell() override { return position_ - buffered_; }
  bool IsOpen() const override { return true; }
  uint32_t Write(const void* data, uint32_t n) override;
  uint32_t ReadData(void* data, uint32_t n) override;
  int64_t Seek(int64_t offset, int whence) override;
  bool IsEOF() const override { return position_ >= size_; }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t size_ = 0;
  uint32_t position_ = 0;
};
