#include "foundation/stream/ByteBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

void ByteBuffer::FreeStorage::operator()(unsigned char* p) const { std::free(p); }

// Fresh zeroed storage of `bytes` bytes (the C heap aligns it to 16).
bool ByteBuffer::Allocate(uint32_t bytes) {
  storage_.reset();
  capacity = 0;
  storage_.reset(static_cast<unsigned char*>(std::calloc(bytes == 0 ? 1 : bytes, 1)));
  if (storage_ == nullptr) {
    errors |= kGrowthFailed;
    return false;
  }
  capacity = bytes;
  return true;
}

bool ByteBuffer::Init(uint32_t initialCapacity) {
  errors = 0;
  position = 0;
  size = 0;
  growStep = initialCapacity;
  return Allocate(initialCapacity);
}

void ByteBuffer::Reset() {
  errors = 0;
  position = 0;
  size = 0;
  Allocate(growStep);
}

void ByteBuffer::Free() {
  storage_.reset();
  errors = 0;
  growStep = 0;
  position = 0;
  size = 0;
  capacity = 0;
}

void ByteBuffer::WriteU32Slow(uint32_t value) {
  if (position > UINT32_MAX - 4) {
    errors |= kGrowthFailed;
    return;
  }
  GrowBuffer(*this, position + 4);
  if ((errors & kGrowthFailed) != 0) return;
  unsigned char* out = storage_.get() + position;
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
  position += 4;
}

bool ByteBuffer::ReadU32(uint32_t& out) {
  // The capacity bound guards against a caller that set `size` by hand.
  if (uint64_t{position} + 4 > size || uint64_t{position} + 4 > capacity) {
    errors |= kReadPastEnd;
    return false;
  }
  const unsigned char* in = storage_.get() + position;
  out = uint32_t{in[0]} | uint32_t{in[1]} << 8 | uint32_t{in[2]} << 16 | uint32_t{in[3]} << 24;
  position += 4;
  return true;
}

void GrowBuffer(ByteBuffer& buffer, uint32_t index) {
  if (buffer.storage_ == nullptr) {
    buffer.errors |= ByteBuffer::kGrowthFailed;
    return;
  }
  if (index >= buffer.capacity) {
    // At least the capacity again, so that many small writes cost linear
    // time in the end size.
    const uint64_t step = std::max(uint64_t{buffer.growStep}, uint64_t{buffer.capacity});
    const uint64_t wanted = (step + index + 3) / 4 * 4;
    if (wanted > UINT32_MAX) {
      buffer.errors |= ByteBuffer::kGrowthFailed;
      return;
    }
    // Not zeroed: every writer writes the bytes it grows by, and pages
    // beyond the written size are then never touched. realloc keeps the
    // written bytes and leaves the old storage alone when it fails.
    void* grown = std::realloc(buffer.storage_.get(), wanted);
    if (grown == nullptr) {
      buffer.errors |= ByteBuffer::kGrowthFailed;
      return;
    }
    (void)buffer.storage_.release();
    buffer.storage_.reset(static_cast<unsigned char*>(grown));
    buffer.capacity = static_cast<uint32_t>(wanted);
  }
  if (index > buffer.size) buffer.size = index;
}
