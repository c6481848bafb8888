// Texture compression: one picture of a texture into the whole chain of mip
// levels that a compiled texture stores, either uncompressed 32-bit levels
// or DXT block data made by NVIDIA Texture Tools (nvtt).
//
// TextureCompress holds the levels of one picture, top level first, each
// half the size of the one before (sides rounded down, at least 1). It owns
// them. Its level array grows in steps of 128 entries.
//
// CompressBitmap(source, destination, target, alpha, wrap, normalMap,
// mipmap, acceleration) appends the levels of `source` (a 32-bit bitmap of
// format 2 or 3, tight rows) to `destination`. Targets:
//   1, 3, 5   uncompressed levels of bitmap format 2, 3, 1, always down to
//             1 x 1 (whatever `mipmap` says), each scaled from the one
//             before;
//   10        DXT1, or DXT1a (one-bit alpha) when `alpha` is set;
//   11, 12    DXT3, DXT5.
// DXT levels are format-5 bitmaps holding the blocks; with `mipmap` false
// only the top level is made. nvtt works with its quick block fit (its
// slower ones read memory they never wrote, so their blocks change from one
// process to the next: a fresh installation would compile other bytes),
// wraps with repeat (`wrap`) or clamp, filters levels with a box filter for
// normal maps and a Kaiser filter otherwise; `acceleration` asks for CUDA, which the
// library may ignore. Before anything else, a format-3 source (or a format-2
// source bound for target 3) has every non-zero pixel made opaque (top byte
// 0xFF); zero pixels stay zero. The source is changed in place by that.
//
// Failure: false for a source that is not 32-bit of format 2 or 3, or an
// unknown target (destination unchanged); false when nvtt's module cannot
// be loaded (NvttModule.h; the error text says why), or nvtt fails, reports an
// error, writes more than a level's announced size or leaves a level short
// (levels already finished stay in the destination; the caller drops the
// whole TextureCompress). The text of nvtt's last error on this thread is
// LastCompressionError(), emptied at the start of every nvtt compression.
//
// Threads: CompressBitmap may run on several threads at once, each with its
// own source and destination; nvtt's first-use set-up is done once, before
// the first compression, so the same picture always gives the same blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kiv/String.h"
#include "kiv/basics/Bitmap.h"

class TextureCompress {
 public:
  static constexpr uint32_t kGrowth = 128;

  TextureCompress() = default;
  TextureCompress(const TextureCompress&) = delete;
  TextureCompress& operator=(const TextureCompress&) = delete;

  uint32_t GetNumLevels() const { return static_cast<uint32_t>(levels_.size()); }
  uint32_t Capacity() const { return capacity_; }
  // The level, or null past the end.
  const Kiv::Bitmap* GetLevel(uint32_t level) const {
    return level < levels_.size() ? levels_[level].get() : nullptr;
  }
  // Takes `level` over; false (level dropped) when memory runs out.
  bool Append(std::unique_ptr<Kiv::Bitmap> level);

 private:
  std::vector<std::unique_ptr<Kiv::Bitmap>> levels_;
  uint32_t capacity_ = 0;
};

enum TextureTarget : uint32_t {
  kTargetARGB = 1,
  kTargetXRGB = 3,
  kTargetPassThrough = 5,
  kTargetDXT1 = 10,
  kTargetDXT3 = 11,
  kTargetDXT5 = 12,
};

bool CompressBitmap(Kiv::Bitmap& source, TextureCompress& destination, uint32_t target, bool alpha,
                    bool wrap, bool normalMap, bool mipmap, bool acceleration);

const Kiv::String& LastCompressionError();
