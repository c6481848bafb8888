// Constants of the LZSS coded stream, shared by the encoder and the decoder.
//
// A coded stream is one header byte followed by the coded data. The header's
// bits 0-3 hold the method (0 stored, 1-6 flag-word coding, 7-15 adaptive
// Huffman coding; the encoder writes its compression level here), bits 4-5
// the window variant, bits 6-7 are written 0 and ignored.
//
// Variant 0, 1 and 2 use 8, 12 and 14 distance bits (windows of 256, 4096 and
// 16384 bytes); variant 3 is not defined and is refused. A match is 3 to 258
// bytes at a distance of 1 to W - 1.
//
// In the Huffman coding, symbols 0-255 are literal bytes, 256 + c is length
// code c (the length is 3 + kLengthBase[c] + an extra value of
// kLengthExtraBits[c] raw bits) and 272 ends the stream. A distance d is its
// high part d >> L, coded with the distance tree, then its L low bits raw.
#pragma once

#include <cstdint>

namespace LZSS {

inline constexpr uint32_t kMethodMask = 0x0F;
inline constexpr uint32_t kVariantShift = 4;
inline constexpr uint32_t kVariantMask = 0x03;
inline constexpr uint32_t kFirstHuffmanMethod = 7;

inline constexpr uint32_t kMinMatch = 3;
inline constexpr uint32_t kMaxMatch = 258;
inline constexpr uint32_t kMaxLevel = 9;

inline constexpr uint32_t kLiteralSymbols = 273;
inline constexpr uint32_t kFirstLengthSymbol = 256;
inline constexpr uint32_t kEndSymbol = 272;
inline constexpr uint32_t kLengthCodes = 16;

inline constexpr uint32_t kLengthBase[kLengthCodes] = {0,  1,  2,  3,  4,  5,  7,  9,
                                                       13, 17, 25, 33, 49, 65, 97, 129};
inline constexpr uint32_t kLengthExtraBits[kLengthCodes] = {0, 0, 0, 0, 0, 1, 1, 2,
                                                            2, 3, 3, 4, 4, 5, 5, 7};

struct Variant {
  uint32_t distanceBits;     // B
  uint32_t distanceSymbols;  // symbols of the distance tree
  uint32_t lowBits;          // L
};

inline constexpr uint32_t kVariants = 3;
inline constexpr Variant kVariantTable[kVariants] = {{8, 16, 4}, {12, 64, 6}, {14, 64, 8}};

// The length code of a match of `length` (3 to 258) bytes.
constexpr uint32_t LengthCode(uint32_t length) {
  uint32_t code = kLengthCodes - 1;
  while (kLengthBase[code] > length - kMinMatch) --code;
  return code;
}

}  // namespace LZSS
