// An abstract byte file with 64-bit sizes and positions.
//
// Every operation answers a result code: kDataBufferOk, kDataBufferWrongMode
// (the operation does not suit the access mode), kDataBufferIoError or
// kDataBufferNotOpen. GetSize and Tell answer the recorded size and
// position through their argument. Implementations are not thread-safe; the
// owner serialises access. Not copyable.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kDataBufferOk = 0;
constexpr int kDataBufferWrongMode = 1;
constexpr int kDataBufferIoError = 2;
constexpr int kDataBufferNotOpen = 7;

class DolmDataBuffer {
 public:
  DolmDataBuffer() = default;
  virtual ~DolmDataBuffer() = default;
  DolmDataBuffer(const DolmDataBuffer&) = delete;
  DolmDataBuffer& operator=(const DolmDataBuffer&) = delete;

  virtual int GetSize(uint64_t* size) const = 0;
  virtual int SetSize(uint64_t size) = 0;
  virtual int Tell(uint64_t* position) const = 0;
  virtual int Seek(uint64_t position) = 0;
  virtual int Write(const void* data, size_t length) = 0;
  virtual int Read(void* data, size_t length) = 0;
  virtual int Flush() = 0;
};
