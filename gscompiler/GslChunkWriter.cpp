#include "gscompiler/GslChunkWriter.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

constexpr size_t kBounceSize = 16384;

void Geometric(ByteBuffer& out) {
  if (out.growStep < out.capacity) out.growStep = out.capacity;
}

// Swaps the `n` bytes at `a` with the `n` bytes at `b` (not overlapping).
void SwapBlocks(unsigned char* a, unsigned char* b, size_t n) {
  unsigned char bounce[kBounceSize];
  while (n > 0) {
    const size_t step = std::min(n, kBounceSize);
    std::memcpy(bounce, a, step);
    std::memcpy(a, b, step);
    std::memcpy(b, bounce, step);
    a += step;
    b += step;
    n -= step;
  }
}

}  // namespace

uint32_t GslBeginChunk(ByteBuffer& out, uint32_t tag) {
  Geometric(out);
  const uint32_t start = out.position;
  out.WriteU32(0);
  out.WriteU32(tag);
  return start;
}

void GslEndChunk(ByteBuffer& out, uint32_t start) {
  GslPatchU32(out, start, out.position - start);
}

void GslPatchU32(ByteBuffer& out, uint32_t position, uint32_t value) {
  if (out.errors != 0 || uint64_t{position} + 4 > out.size || out.Data() == nullptr) return;
  GslStoreU32(out.Data() + position, value);
}

void GslStoreU32(unsigned char* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

unsigned char* GslReserveBytes(ByteBuffer& out, uint32_t length) {
  if ((out.errors & ByteBuffer::kGrowthFailed) != 0 || out.Data() == nullptr) {
    out.errors |= ByteBuffer::kGrowthFailed;
    return nullptr;
  }
  if (length == 0) return out.Data() + out.position;
  Geometric(out);
  if (out.position > UINT32_MAX - length) {
    out.errors |= ByteBuffer::kGrowthFailed;
    return nullptr;
  }
  GrowBuffer(out, out.position + length);
  if ((out.errors & ByteBuffer::kGrowthFailed) != 0) return nullptr;
  unsigned char* at = out.Data() + out.position;
  out.position += length;
  return at;
}

void GslWriteBytes(ByteBuffer& out, const void* data, uint32_t length) {
  if (length == 0) return;
  unsigned char* at = GslReserveBytes(out, length);
  if (at != nullptr) std::memcpy(at, data, length);
}

void GslRotateBytes(unsigned char* first, unsigned char* middle, unsigned char* last) {
  // The shorter part is swapped with as many bytes of the longer part as lie
  // next to it; the bytes that reach either end are then in place, and the
  // rest is the same task on a shorter range.
  while (first != middle && middle != last) {
    const size_t left = static_cast<size_t>(middle - first);
    const size_t right = static_cast<size_t>(last - middle);
    if (left <= right) {
      SwapBlocks(first, middle, left);
      first += left;
      middle += left;
    } else {
      SwapBlocks(middle - right, middle, right);
      middle -= right;
      last -= right;
    }
  }
}

void GslPadTo4(ByteBuffer& out, uint8_t fill) {
  const uint8_t pad[4] = {fill, fill, fill, fill};
  GslWriteBytes(out, pad, (4 - out.position % 4) % 4);
}
