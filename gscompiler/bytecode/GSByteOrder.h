// Little-endian reads of the byte code's operands and the .gsl library's
// words. The caller has checked that the bytes are there.
#pragma once

#include <cstdint>

namespace GSByteCode {

inline uint16_t GSReadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t GSReadU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace GSByteCode
