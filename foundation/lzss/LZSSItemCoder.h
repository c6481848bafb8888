// Codes the items of an LZSS parse (literals and matches) into a bounded
// output, with flag words (levels 1-6) or adaptive Huffman trees (7-9).
//
// The coder writes to `dst` and never past `capacity`; every operation
// answers false once the output is full (or the trees are found broken), and
// the caller then gives up the coded form. Finish writes what is still open
// (the last flag word and its items, or the end symbol and the padding to a
// whole 16-bit word). Size answers the bytes written so far, header included.
//
// Flag-word coding: each 32-bit little-endian flag word is written ahead of
// the item bytes it steers; a block of one word and its items holds at most
// 16 literal runs of 258 bytes with their count bytes. Huffman coding: bits
// go out least significant first in 16-bit little-endian words.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/lzss/LZSSHuffman.h"

class LZSSItemCoder {
 public:
  LZSSItemCoder(uint8_t* dst, size_t capacity) : dst_(dst), capacity_(capacity) {}

  // Writes the header byte and prepares the coding of `variant` (0-2).
  bool Start(uint32_t level, uint32_t variant);
  // A match of 3 to 258 bytes at a distance of 1 to W - 1.
  bool Match(uint32_t length, uint32_t distance);
  // `count` literal bytes, 1 to 258.
  bool Literals(const uint8_t* bytes, uint32_t count);
  bool Finish();
  size_t Size() const { return size_; }

 private:
  static constexpr uint32_t kBlockBytes = 4144;

  bool Write(const uint8_t* bytes, size_t n);
  bool WriteBlock();
  bool NextBit();
  void SetBit() { flags_ |= flagMask_; }
  void Append(uint32_t byte) { block_[blockCount_++] = static_cast<uint8_t>(byte); }
  bool FlagMatch(uint32_t length, uint32_t distance);
  bool FlagLiterals(const uint8_t* bytes, uint32_t count);
  bool PutBits(uint64_t bits, uint32_t n);
  bool PutSymbol(LZSSHuffmanTree& tree, uint32_t symbol);

  uint8_t* dst_;
  size_t capacity_;
  size_t size_ = 0;
  bool huffman_ = false;
  uint32_t variant_ = 0;
  uint32_t distanceBits_ = 8;
  uint32_t lengthMask_ = 7;
  uint32_t runMinimum_ = 259;
  uint32_t lowBits_ = 4;
  // Flag-word coding.
  uint32_t flags_ = 0;
  uint32_t flagMask_ = 1;
  uint32_t blockCount_ = 0;
  uint8_t block_[kBlockBytes];
  // Huffman coding.
  uint64_t bitBuffer_ = 0;
  uint32_t bitCount_ = 0;
  LZSSHuffmanTree literals_;
  LZSSHuffmanTree distances_;
};
