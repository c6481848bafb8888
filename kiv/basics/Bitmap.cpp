#include "kiv/basics/Bitmap.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace Kiv {

namespace {

// The source span [first, end) that destination index `i` of `to` covers
// when `from` source pixels are spread over `to`; never empty.
void Span(uint32_t i, uint32_t from, uint32_t to, uint32_t* first, uint32_t* end) {
  *first = static_cast<uint32_t>(uint64_t(i) * from / to);
  *end = std::max(*first + 1, static_cast<uint32_t>((uint64_t(i) + 1) * from / to));
}

}  // namespace

Bitmap::Bitmap(uint32_t width, uint32_t height, uint32_t format) {
  Init(width, height, format, nullptr, uint64_t(width) * height * 4);
}

void Bitmap::Clear() {
  width_ = height_ = format_ = 0;
  byteSize_ = 0;
  pixels_ = nullptr;
  owned_.reset();
}

bool Bitmap::Init(uint32_t width, uint32_t height, uint32_t format, void* pixels,
                  uint64_t byteSize) {
  Clear();
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide || byteSize == 0)
    return false;
  if (Is32Bit(format) && byteSize != uint64_t(width) * height * 4) return false;
  if (pixels == nullptr) {
    owned_.reset(new (std::nothrow) uint8_t[byteSize]());
    if (!owned_) return false;
    pixels = owned_.get();
  }
  width_ = width;
  height_ = height;
  format_ = format;
  byteSize_ = byteSize;
  pixels_ = static_cast<uint8_t*>(pixels);
  return true;
}

bool Bitmap::CopyImage(const Bitmap& source, uint32_t x, uint32_t y) {
  if (!Is32Bit(format_) || !Is32Bit(source.format_)) return false;
  if (x >= width_ || y >= height_) return true;
  const uint32_t columns = std::min(source.width_, width_ - x);
  const uint32_t rows = std::min(source.height_, height_ - y);
  for (uint32_t row = 0; row < rows; ++row)
    std::memcpy(Row(y + row) + x, source.Row(row), size_t(columns) * 4);
  return true;
}

bool Bitmap::DetachAlias() {
  if (!IsAlias()) return pixels_ != nullptr;
  std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[byteSize_]);
  if (!copy) return false;
  std::memcpy(copy.get(), pixels_, byteSize_);
  owned_ = std::move(copy);
  pixels_ = owned_.get();
  return true;
}

std::unique_ptr<Bitmap> Bitmap::Scale(uint32_t width, uint32_t height) const {
  if (!Is32Bit(format_)) return nullptr;
  auto scaled = std::make_unique<Bitmap>(width, height, format_);
  if (scaled->Pixels() == nullptr) return nullptr;
  if (width == width_ && height == height_) {
    std::memcpy(scaled->Pixels(), pixels_, byteSize_);
    return scaled;
  }
  for (uint32_t y = 0; y < height; ++y) {
    uint32_t top, bottom;
    Span(y, height_, height, &top, &bottom);
    uint8_t* out = reinterpret_cast<uint8_t*>(scaled->Row(y));
    for (uint32_t x = 0; x < width; ++x, out += 4) {
      uint32_t left, right;
      Span(x, width_, width, &left, &right);
      uint64_t sum[4] = {0, 0, 0, 0};
      for (uint32_t sy = top; sy < bottom; ++sy) {
        const uint8_t* in = reinterpret_cast<const uint8_t*>(Row(sy) + left);
        for (uint32_t sx = left; sx < right; ++sx, in += 4) {
          for (int c = 0; c < 4; ++c) sum[c] += in[c];
        }
      }
      const uint64_t count = uint64_t(bottom - top) * (right - left);
      for (int c = 0; c < 4; ++c) out[c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
    }
  }
  return scaled;
}

}  // namespace Kiv
