// ChecksumPair: the weak rolling checksum that stamps archive entries.
//
// A pair is {checksum, length}. Compute(data, size) counts a block of bytes:
// blocks of 4 bytes or fewer give the empty pair (0, 0); otherwise the
// block is read as little-endian 32-bit words (the 0..3 bytes after the
// last whole word are not counted) and each word w folds in as
//   v = s + w;  s = (v << 1) | (v >> 30)      (32 bits, wrapping)
// which drops the top bit of v (it is not a rotation). A final sum of 0
// becomes 1, so a counted block never has the checksum 0. `length` is the
// number of bytes counted (a multiple of 4).
//
// Add sums both words (wrapping) and turns a checksum of 0 into 1.
// ToText gives "length:checksum", both printed as signed 32-bit numbers.
//
// Pure functions; nothing fails, nothing is shared.
#pragma once

#include <cstdint>

#include "kiv/PString.h"

struct ChecksumPair {
  uint32_t checksum = 0;
  uint32_t length = 0;

  bool operator==(const ChecksumPair&) const = default;

  static ChecksumPair Compute(const void* data, uint32_t size);
  static ChecksumPair Add(const ChecksumPair& a, const ChecksumPair& b);
  static Kiv::PString ToText(const ChecksumPair& pair);
};
