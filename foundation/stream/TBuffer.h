// TBuffer: a TStream over an in-memory engine buffer (Kiv::DynamicBuffer).
//
// The buffer is owned (created when none is given, or handed over with
// ownsData = true; freed by the destructor) or borrowed (the caller keeps
// it alive longer than the TBuffer). The stream's underlying position is the
// buffer's position; its content is the buffer's data.
//
// Writing past the allocation grows it. Once the allocation is above 16 KiB
// it grows by at least the write plus 64 KiB, and at least doubles, so long
// bodies are not copied again and again. Seek with whence 2 counts the
// offset back from the end of the data. A seek target outside the
// allocation stops at its bounds.
//
// Failure: memory (or the buffer's MaxSize) running out during a write
// records kErrorSize and the write answers 0. Reads past the data answer
// short counts and record nothing.
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/stream/TStream.h"
#include "kiv/DynamicBuffer.h"

class TBuffer : public TStream {
 public:
  // Over `data` (a new owned, empty buffer when null).
  explicit TBuffer(Kiv::DynamicBuffer* data = nullptr, bool ownsData = false);
  ~TBuffer() override;

  Kiv::DynamicBuffer* GetData() { return data_; }
  const Kiv::DynamicBuffer* GetData() const { return data_; }

  // Empties the read buffer and the data (Kiv::DynamicBuffer::Clean).
  void Reset() override;
  uint32_t Tell() override;
  bool IsOpen() const override { return true; }
  uint32_t Write(const void* data, uint32_t n) override;
  uint32_t ReadData(void* data, uint32_t n) override;
  int64_t Seek(int64_t offset, int whence) override;
  bool IsEOF() const override;

 private:
  Kiv::DynamicBuffer* data_;
  std::unique_ptr<Kiv::DynamicBuffer> owned_;
};
