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
// Drawing (32-bit formats only; other formats are left alone). Colours are
// packed like the pixels (0xAARRGGBB). Every primitive is clipped to the
// bitmap before it loops, so coordinates anywhere in the int range cost no
// more than the pixels inside, and nothing is written outside the pixels.
// Shapes and single pixels are blended over what is there ("source over":
// each colour channel becomes (c x a + old x (255 - a) + 127) / 255, and
// alpha becomes a + old alpha x (255 - a) / 255, rounded); Fill sets.
// The engine's drawing modes: 0 and 2 draw outlines, 1 fills; mode 4 of
// Image is the blended copy.
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

  // Sets every pixel to `colour`.
  void Fill(uint32_t colour);
  // Blends `colour` over the pixel at (x, y); nothing outside the bitmap.
  void BlendPixel(int32_t x, int32_t y, uint32_t colour);
  // The rectangle of pixels x .. x + width - 1, y .. y + height - 1: its
  // border (mode 0 or 2) or its whole area (mode 1). A width or height of 0
  // or less draws nothing.
  void Box(int64_t x, int64_t y, int64_t width, int64_t height, uint32_t colour, int mode);
  // The line from (x1, y1) to (x2, y2), both ends included: one pixel per
  // step along the longer axis, the other coordinate rounded.
  void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
  // The disc of pixels within `radius` of (x, y) (mode 1), or its outer
  // ring: the pixels of the disc outside the disc of radius - 1 (modes 0
  // and 2). A negative radius draws nothing; 0 draws the centre.
  void Circle(int32_t x, int32_t y, int32_t radius, uint32_t colour, int mode);
  // The triangle of three points: every pixel whose centre lies inside or
  // on an edge (mode 1), or its three edges as lines, each corner drawn
  // once (modes 0 and 2).
  void Triangle(const int32_t (&points)[6], uint32_t colour, int mode);
  // Mode 4: blends the rectangle (sx, sy, width, height) of `source` over
  // this bitmap with its top left corner at (x, y), without scaling; the
  // rectangle is clipped to the source and the copy to this bitmap. The
  // source may be this bitmap (overlaps copy what was there before). Other
  // modes, or formats that are not 32-bit, copy nothing and answer false.
  bool Image(const Bitmap& source, int64_t x, int64_t y, int64_t sx, int64_t sy, int64_t width,
             int64_t height, int mode);

  // Decodes a BMP, TGA, PNG or JPEG file into a new format-2 bitmap. Null
  // on failure, with the reason in `*error` (may be null).
  static std::unique_ptr<Bitmap> Load(const String& path, String* error);
  // Reads only the header of such a file: the size it declares, nothing
  // decoded. False on failure, with the reason in `*error` (may be null).
  static bool ReadSize(const String& path, uint32_t* width, uint32_t* height, String* error);

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
