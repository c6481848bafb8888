#include "foundation/lzss/LZSSCompress.h"

#include <new>

#include "foundation/lzss/LZSSFormat.h"

namespace Kiv {

namespace {

Compress* MakeLZSSCompress() {
  return new (std::nothrow) LZSSCompress();
}

}  // namespace

size_t LZSSCompress::CompressBlock(void* dst, size_t capacity, const void* src, size_t n,
                                   uint32_t level) {
  level_ = level < LZSS::kMaxLevel ? level : LZSS::kMaxLevel;
  return LZSSEncode(src, n, level, dst, capacity);
}

int64_t LZSSCompress::DecompressBlock(void* dst, size_t capacity, const void* src, size_t n) {
  return LZSSDecode(src, n, dst, capacity);
}

void LZSSCompress::Register() {
  Compress::SetFactory(&MakeLZSSCompress);
}

}  // namespace Kiv
