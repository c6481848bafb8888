#include "foundation/lzss/LZSSItemCoder.h"

#include <cstring>

#include "foundation/lzss/LZSSFormat.h"

bool LZSSItemCoder::Start(uint32_t level, uint32_t variant) {
  const uint8_t header = static_cast<uint8_t>((variant << LZSS::kVariantShift) | level);
  if (!Write(&header, 1)) return false;
  const LZSS::Variant& v = LZSS::kVariantTable[variant];
  huffman_ = level >= LZSS::kFirstHuffmanMethod;
  variant_ = variant;
  distanceBits_ = v.distanceBits;
  lowBits_ = v.lowBits;
  // No literal run in the smallest window: its items have no room for one.
  runMinimum_ = variant == 0 ? LZSS::kMaxMatch + 1 : 6;
  lengthMask_ = variant == 0 ? 7 : (1u << (16 - v.distanceBits)) - 1;
  if (huffman_) {
    literals_.Init(LZSS::kLiteralSymbols);
    distances_.Init(v.distanceSymbols);
  }
  return true;
}

bool LZSSItemCoder::Write(const uint8_t* bytes, size_t n) {
  if (capacity_ - size_ < n) return false;
  std::memcpy(dst_ + size_, bytes, n);
  size_ += n;
  return true;
}

bool LZSSItemCoder::WriteBlock() {
  if (capacity_ - size_ < size_t(blockCount_) + 4) return false;
  uint8_t* to = dst_ + size_;
  to[0] = static_cast<uint8_t>(flags_);
  to[1] = static_cast<uint8_t>(flags_ >> 8);
  to[2] = static_cast<uint8_t>(flags_ >> 16);
  to[3] = static_cast<uint8_t>(flags_ >> 24);
  std::memcpy(to + 4, block_, blockCount_);
  size_ += size_t(blockCount_) + 4;
  flags_ = 0;
  flagMask_ = 1;
  blockCount_ = 0;
  return true;
}

// Moves to the next flag bit; a used-up flag word goes out with its items.
bool LZSSItemCoder::NextBit() {
  flagMask_ <<= 1;
  return flagMask_ != 0 || WriteBlock();
}

bool LZSSItemCoder::Match(uint32_t length, uint32_t distance) {
  if (!huffman_) return FlagMatch(length, distance);
  const uint32_t code = LZSS::LengthCode(length);
  if (!PutSymbol(literals_, LZSS::kFirstLengthSymbol + code)) return false;
  if (!PutBits(length - LZSS::kMinMatch - LZSS::kLengthBase[code], LZSS::kLengthExtraBits[code]))
    return false;
  if (!PutSymbol(distances_, distance >> lowBits_)) return false;
  return PutBits(distance & ((1u << lowBits_) - 1), lowBits_);
}

bool LZSSItemCoder::Literals(const uint8_t* bytes, uint32_t count) {
  if (!huffman_) return FlagLiterals(bytes, count);
  for (uint32_t i = 0; i < count; ++i) {
    if (!PutSymbol(literals_, bytes[i])) return false;
  }
  return true;
}

bool LZSSItemCoder::FlagMatch(uint32_t length, uint32_t distance) {
  const uint32_t code = length - LZSS::kMinMatch;
  SetBit();
  if (variant_ == 0) {
    if (!NextBit()) return false;
    for (uint32_t bit = 0; bit < 3; ++bit) {
      if (bit > 0 && !NextBit()) return false;
      if (code >= 7 || (code >> bit & 1) != 0) SetBit();
    }
    if (code >= 7) Append(code);
    Append(distance & 0xFF);
    return NextBit();
  }
  const uint32_t field = code < lengthMask_ ? code : lengthMask_;
  const uint32_t word = (field << distanceBits_) | distance;
  Append(word & 0xFF);
  Append(word >> 8);
  if (code >= lengthMask_) Append(code);
  return NextBit();
}

bool LZSSItemCoder::FlagLiterals(const uint8_t* bytes, uint32_t count) {
  if (count < runMinimum_) {
    for (uint32_t i = 0; i < count; ++i) {
      // Variants 1 and 2 mark a literal with two clear bits.
      if (variant_ != 0 && !NextBit()) return false;
      Append(bytes[i]);
      if (!NextBit()) return false;
    }
    return true;
  }
  if (!NextBit()) return false;
  SetBit();
  Append(count - 3);
  std::memcpy(block_ + blockCount_, bytes, count);
  blockCount_ += count;
  return NextBit();
}

bool LZSSItemCoder::PutBits(uint64_t bits, uint32_t n) {
  while (n > 0) {
    const uint32_t take = n < 32 ? n : 32;
    bitBuffer_ |= (bits & ((uint64_t(1) << take) - 1)) << bitCount_;
    bitCount_ += take;
    bits >>= take;
    n -= take;
    while (bitCount_ >= 16) {
      if (capacity_ - size_ < 2) return false;
      dst_[size_] = static_cast<uint8_t>(bitBuffer_);
      dst_[size_ + 1] = static_cast<uint8_t>(bitBuffer_ >> 8);
      size_ += 2;
      bitBuffer_ >>= 16;
      bitCount_ -= 16;
    }
  }
  return true;
}

bool LZSSItemCoder::PutSymbol(LZSSHuffmanTree& tree, uint32_t symbol) {
  uint64_t bits = 0;
  uint32_t n = 0;
  return tree.Code(symbol, bits, n) && PutBits(bits, n) && tree.Update(symbol);
}

bool LZSSItemCoder::Finish() {
  if (!huffman_) return flagMask_ == 1 || WriteBlock();
  if (!PutSymbol(literals_, LZSS::kEndSymbol)) return false;
  return bitCount_ == 0 || PutBits(0, 16 - bitCount_);
}
