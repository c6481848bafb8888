// Kiv::Bitmap: one picture in memory.
//
// Formats (Kiv::Bitmap::Format):
//   1 kPassThrough  32-bit pixels the engine hands on without looking at them
//   2 kARGB         32-bit colour with alpha
//   3 kXRGB         32-bit colour whose top byte is not alpha
//   5 kBlocks       compressed block data of any byte size
// A 32-bit pixel is the little-endian word 0xAARRGGBB, so its bytes are
// B, G, R, A. Rows are tight (pitch = 4 x width) and run top to bottom.
//
// A bitmap either owns its pixel buffer or aliases one that belongs to
// someone else (Init with pixels); an alias must not outlive the pixels it
// shows, and DetachAlias turns it into an owned copy. Sides are limited to
// kMaxSide pixels.
//
// Failures are results (false or null); nothing here throws. Not
// thread-safe: one bitmap belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "kiv/String.h"

namespace Kiv {

class Bitmap {
 public:
  enum Format : uint32_t { kPassThrough = 1, kARGB = 2, kXRGB = 3, kBlocks = 5 };
  static constexpr uint32_t kMaxSide = 16384;

  Bitmap() = default;
  // Owns a new zeroed buffer of width x height 32-bit pixels; an empty
  // bitmap when the size is refused or memory runs out (see Pixels()).
  Bitmap(uint32_t width, uint32_t height, uint32_t format);
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;

  // With `pixels` null the bitmap owns a new zeroed buffer of `byteSize`
  // bytes; otherwise it aliases `pixels`. False (bitmap left empty) for a
  // side of 0 or above kMaxSide, a 32-bit format whose `byteSize` is not
  // 4 x width x height, or when memory runs out.
  bool Init(uint32_t width, uint32_t height, uint32_t format, void* pixels, uint64_t byteSize);

  // Copies `source` (a 32-bit format) into this 32-bit bitmap with its top
  // left corner at (x, y), clipped to this bitmap. Pixels are copied as
  // they are, whatever the two formats. False when either is not 32-bit.
  bool CopyImage(const Bitmap& source, uint32_t x, uint32_t y);
  // Makes an alias own a copy of its pixels; true when it owns them after.
  bool DetachAlias();
  // A new bitmap of the given size and format, each pixel the average of
  // the source pixels it covers (channel by channel). Null for a block
  // format, a refused size or when memory runs out.
  std::unique_ptr<Bitmap> Scale(uint32_t width, uint32_t height) const;

  // Decodes a BMP, TGA, PNG or JPEG file into a new format-2 bitmap. Null
  // on failure, with the reason in `*error` (may be null).
  static std::unique_ptr<Bitmap> Load(const String& path, String* error);

  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }
  uint32_t GetFormat() const { return format_; }
  uint32_t Pitch() const { return Is32Bit(format_) ? width_ * 4 : 0; }
  uint64_t ByteSize() const { return byteSize_; }
  uint8_t* Pixels() const { return pixels_; }
  uint32_t* Row(uint32_t y) const {
    return reinterpret_cast<uint32_t*>(pixels_ + uint64_t(y) * Pitch());
  }
  bool IsAlias() const { return pixels_ != nullptr && owned_ == nullptr; }

  static bool Is32Bit(uint32_t format) {
    return format == kPassThrough || format == kARGB || format == kXRGB;
  }

 private:
  void Clear();

  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint32_t format_ = 0;
  uint64_t byteSize_ = 0;
  uint8_t* pixels_ = nullptr;
  std::unique_ptr<uint8_t[]> owned_;
};

}  // namespace Kiv
