// The drawing primitives of Kiv::Bitmap (see Bitmap.h). Every primitive
// first narrows its loops to the pixels inside the bitmap; coordinates are
// widened to 64 bits before any sum or product.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kiv/basics/Bitmap.h"

namespace Kiv {

namespace {

__extension__ using Int128 = __int128;

uint32_t BlendOver(uint32_t old, uint32_t colour) {
  const uint32_t a = colour >> 24;
  if (a == 255) return colour;
  if (a == 0) return old;
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t c = (colour >> shift) & 0xFF;
    const uint32_t o = (old >> shift) & 0xFF;
    out |= ((c * a + o * (255 - a) + 127) / 255) << shift;
  }
  const uint32_t oldAlpha = old >> 24;
  return out | ((a + (oldAlpha * (255 - a) + 127) / 255) << 24);
}

// floor(n / d) for d > 0.
int64_t FloorDiv(Int128 n, Int128 d) {
  const Int128 q = n / d;
  return static_cast<int64_t>((n % d != 0 && n < 0) ? q - 1 : q);
}

// The largest w with w * w <= v.
int64_t ISqrt(int64_t v) {
  if (v <= 0) return 0;
  auto w = static_cast<int64_t>(std::sqrt(static_cast<double>(v)));
  while (w > 0 && w * w > v) --w;
  while ((w + 1) * (w + 1) <= v) ++w;
  return w;
}

}  // namespace

void Bitmap::Fill(uint32_t colour) {
  if (!Is32Bit(format_)) return;
  for (uint32_t y = 0; y < height_; ++y) std::fill_n(Row(y), width_, colour);
}

void Bitmap::BlendPixel(int32_t x, int32_t y, uint32_t colour) {
  if (!Is32Bit(format_) || x < 0 || y < 0 || uint32_t(x) >= width_ || uint32_t(y) >= height_)
    return;
  uint32_t& pixel = Row(uint32_t(y))[x];
  pixel = BlendOver(pixel, colour);
}

// Blends `colour` over the pixels x0 .. x1 of row y, clipped.
static void BlendSpan(Bitmap& bitmap, int64_t y, int64_t x0, int64_t x1, uint32_t colour) {
  if (y < 0 || y >= int64_t(bitmap.Height())) return;
  x0 = std::max<int64_t>(x0, 0);
  x1 = std::min<int64_t>(x1, int64_t(bitmap.Width()) - 1);
  uint32_t* row = bitmap.Row(uint32_t(y));
  for (int64_t x = x0; x <= x1; ++x) row[x] = BlendOver(row[x], colour);
}

void Bitmap::Box(int64_t x, int64_t y, int64_t width, int64_t height, uint32_t colour, int mode) {
  if (!Is32Bit(format_) || width <= 0 || height <= 0) return;
  const int64_t right = x + width - 1;
  const int64_t bottom = y + height - 1;
  if (mode == 1) {
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t last = std::min<int64_t>(bottom, int64_t(height_) - 1);
    for (int64_t row = top; row <= last; ++row) BlendSpan(*this, row, x, right, colour);
    return;
  }
  BlendSpan(*this, y, x, right, colour);
  if (bottom != y) BlendSpan(*this, bottom, x, right, colour);
  const int64_t top = std::max<int64_t>(y + 1, 0);
  const int64_t last = std::min<int64_t>(bottom - 1, int64_t(height_) - 1);
  for (int64_t row = top; row <= last; ++row) {
    BlendSpan(*this, row, x, x, colour);
    if (right != x) BlendSpan(*this, row, right, right, colour);
  }
}

// Steps i of the line (x1, y1) .. (x2, y2) from 0 to `last` (at most the
// step count): the major coordinate moves by one per step, the minor one is
// rounded. Only the steps whose major coordinate lies inside are visited.
static void LineSteps(Bitmap& bitmap, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
                      uint32_t colour, bool includeEnd) {
  const int64_t dx = x2 - x1, dy = y2 - y1;
  const int64_t steps = std::max(std::llabs(dx), std::llabs(dy));
  const int64_t last = includeEnd ? steps : steps - 1;
  if (last < 0) return;
  if (steps == 0) {
    BlendSpan(bitmap, y1, x1, x1, colour);
    return;
  }
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const int64_t start = xMajor ? x1 : y1;
  const int64_t sign = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int64_t minorStart = xMajor ? y1 : x1;
  const int64_t minorDelta = xMajor ? dy : dx;
  const int64_t limit = int64_t(xMajor ? bitmap.Width() : bitmap.Height()) - 1;
  // start + i * sign within [0, limit].
  int64_t lo = sign > 0 ? -start : start - limit;
  int64_t hi = sign > 0 ? limit - start : start;
  lo = std::max<int64_t>(lo, 0);
  hi = std::min(hi, last);
  for (int64_t i = lo; i <= hi; ++i) {
    const int64_t major = start + i * sign;
    const int64_t minor =
        minorStart + FloorDiv(Int128(2) * i * minorDelta + steps, Int128(2) * steps);
    if (xMajor) {
      BlendSpan(bitmap, minor, major, major, colour);
    } else {
      BlendSpan(bitmap, major, minor, minor, colour);
    }
  }
}

void Bitmap::Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  if (!Is32Bit(format_)) return;
  LineSteps(*this, x1, y1, x2, y2, colour, true);
}

void Bitmap::Circle(int32_t x, int32_t y, int32_t radius, uint32_t colour, int mode) {
  if (!Is32Bit(format_) || radius < 0) return;
  const int64_t r = radius;
  const int64_t top = std::max<int64_t>(int64_t(y) - r, 0);
  const int64_t last = std::min<int64_t>(int64_t(y) + r, int64_t(height_) - 1);
  for (int64_t row = top; row <= last; ++row) {
    const int64_t d = row - y;
    const int64_t outer = ISqrt(r * r - d * d);
    if (mode == 1 || std::llabs(d) > r - 1) {
      BlendSpan(*this, row, x - outer, x + outer, colour);
      continue;
    }
    const int64_t inner = ISqrt((r - 1) * (r - 1) - d * d);
    BlendSpan(*this, row, x - outer, x - inner - 1, colour);
    BlendSpan(*this, row, x + inner + 1, x + outer, colour);
  }
}

void Bitmap::Triangle(const int32_t (&p)[6], uint32_t colour, int mode) {
  if (!Is32Bit(format_)) return;
  if (mode != 1) {
    if (p[0] == p[2] && p[2] == p[4] && p[1] == p[3] && p[3] == p[5]) {
      BlendPixel(p[0], p[1], colour);
      return;
    }
    for (int i = 0; i < 3; ++i) {
      const int j = (i + 1) % 3;
      LineSteps(*this, p[2 * i], p[2 * i + 1], p[2 * j], p[2 * j + 1], colour, false);
    }
    return;
  }
  // Doubled coordinates put pixel centres on odd integers; doubles hold
  // the edge products exactly for coordinates below 2^25.
  const double px[3] = {2.0 * p[0], 2.0 * p[2], 2.0 * p[4]};
  const double py[3] = {2.0 * p[1], 2.0 * p[3], 2.0 * p[5]};
  const int64_t left = std::max<int64_t>(std::min({p[0], p[2], p[4]}), 0);
  const int64_t right = std::min<int64_t>(std::max({p[0], p[2], p[4]}), int64_t(width_) - 1);
  const int64_t top = std::max<int64_t>(std::min({p[1], p[3], p[5]}), 0);
  const int64_t bottom = std::min<int64_t>(std::max({p[1], p[3], p[5]}), int64_t(height_) - 1);
  for (int64_t row = top; row <= bottom; ++row) {
    uint32_t* pixels = Row(uint32_t(row));
    const double cy = 2.0 * double(row) + 1;
    for (int64_t column = left; column <= right; ++column) {
      const double cx = 2.0 * double(column) + 1;
      bool anyNegative = false, anyPositive = false;
      for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3;
        const double e = (px[j] - px[i]) * (cy - py[i]) - (py[j] - py[i]) * (cx - px[i]);
        anyNegative |= e < 0;
        anyPositive |= e > 0;
      }
      if (!(anyNegative && anyPositive)) pixels[column] = BlendOver(pixels[column], colour);
    }
  }
}

bool Bitmap::Image(const Bitmap& source, int64_t x, int64_t y, int64_t sx, int64_t sy,
                   int64_t width, int64_t height, int mode) {
  if (mode != 4 || !Is32Bit(format_) || !Is32Bit(source.format_)) return false;
  int64_t left = sx, top = sy, dx = x, dy = y;
  int64_t right = sx + width, bottom = sy + height;
  // Clip the rectangle to the source, moving the destination with it.
  if (left < 0) {
    dx -= left;
    left = 0;
  }
  if (top < 0) {
    dy -= top;
    top = 0;
  }
  right = std::min<int64_t>(right, source.width_);
  bottom = std::min<int64_t>(bottom, source.height_);
  // Then the destination to this bitmap.
  if (dx < 0) {
    left -= dx;
    dx = 0;
  }
  if (dy < 0) {
    top -= dy;
    dy = 0;
  }
  right = std::min<int64_t>(right, left + int64_t(width_) - dx);
  bottom = std::min<int64_t>(bottom, top + int64_t(height_) - dy);
  if (right <= left || bottom <= top) return true;
  const auto columns = static_cast<size_t>(right - left);
  const auto rows = static_cast<size_t>(bottom - top);
  // Copying a bitmap into itself reads from a copy of the rectangle.
  std::vector<uint32_t> copy;
  if (&source == this) {
    copy.resize(columns * rows);
    for (size_t row = 0; row < rows; ++row)
      std::memcpy(&copy[row * columns], source.Row(uint32_t(top) + row) + left, columns * 4);
  }
  for (size_t row = 0; row < rows; ++row) {
    const uint32_t* in =
        copy.empty() ? source.Row(uint32_t(top) + row) + left : &copy[row * columns];
    uint32_t* out = Row(uint32_t(dy) + row) + dx;
    for (size_t column = 0; column < columns; ++column)
      out[column] = BlendOver(out[column], in[column]);
  }
  return true;
}

}  // namespace Kiv
