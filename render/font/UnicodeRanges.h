// The character ranges a font can support, by Unicode-subset bit of its
// signature (the OpenType OS/2 Unicode ranges): a table of 84 rows {bit,
// first character, last character, block name}, bits 0 to 83, all within
// U+0000-U+FFFF. Bit 0 covers 0x20-0x7E, bit 1 0xA0-0xFF; bit 59 the CJK
// blocks; a bit may have several rows. A font supports exactly the rows
// whose bit is set in its signature. Rows do not overlap.
#pragma once

#include <cstdint>
#include <span>

struct UnicodeRange {
  uint32_t bit;
  uint32_t first;
  uint32_t last;
  const char* block;
};

std::span<const UnicodeRange> UnicodeRanges();
