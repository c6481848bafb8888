// Kiv::DisplayTexture: what the display needs to know of a texture's shape.
// GetNumMipLevels answers the length of a full mip chain for a size: one
// level per halving of the larger side down to 1, so 1 + floor(log2(max(w,
// h))); 0 for an empty size.
#pragma once

#include <bit>
#include <cstdint>

namespace Kiv {

class DisplayTexture {
 public:
  static uint32_t GetNumMipLevels(uint32_t width, uint32_t height) {
    const uint32_t side = width > height ? width : height;
    return side == 0 ? 0 : std::bit_width(side);
  }
};

}  // namespace Kiv
