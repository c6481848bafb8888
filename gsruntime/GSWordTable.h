// GSRuntime::GSWordTable: a table of little-endian u32 entries used in place
// inside a loaded library image: `count` entries of `width` words each.
// The loader has checked that the whole table lies inside the image; At
// reads with byte loads, so the table need not be aligned.
#pragma once

#include <cstdint>

#include "gscompiler/bytecode/GSByteOrder.h"

namespace GSRuntime {

struct GSWordTable {
  const uint8_t* data = nullptr;
  uint32_t count = 0;
  uint32_t width = 1;

  uint32_t At(uint32_t entry, uint32_t word = 0) const {
    return GSByteCode::GSReadU32(data + 4 * (size_t{entry} * width + word));
  }
};

}  // namespace GSRuntime
