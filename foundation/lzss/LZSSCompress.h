// Kiv::LZSSCompress, the system's own block codec behind Kiv::Compress.
//
// CompressBlock and DecompressBlock have the contract of Kiv::Compress
// (kiv/Compress.h) and are LZSSEncode and LZSSDecode (foundation/
// LZSSEncoder.h, foundation/LZSSDecoder.h) over the instance. `Level()`
// answers the last level used by CompressBlock, capped at 9 (5 after
// construction). The instance keeps no working arrays between calls.
//
// Register() installs the codec as the engine's factory, so that
// Kiv::Compress::Create() answers a new LZSSCompress.
//
// Callers frame each stream themselves: a u32 little-endian count of decoded
// bytes followed by the coded stream.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/lzss/LZSSDecoder.h"
#include "foundation/lzss/LZSSEncoder.h"
#include "kiv/Compress.h"

namespace Kiv {

class LZSSCompress final : public Compress {
 public:
  LZSSCompress() = default;

  size_t CompressBlock(void* dst, size_t capacity, const void* src, size_t n,
                       uint32_t level) override;
  int64_t DecompressBlock(void* dst, size_t capacity, const void* src, size_t n) override;

  uint32_t Level() const { return level_; }

  static void Register();

 private:
  uint32_t level_ = 5;
};

}  // namespace Kiv
