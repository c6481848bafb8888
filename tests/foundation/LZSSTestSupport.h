// Helpers shared by the LZSS tests: decoding from exact-size copies (so that
// AddressSanitizer sees any read past the input), a coder of hand-made
// Huffman streams, and sample inputs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "foundation/lzss/LZSSDecoder.h"
#include "foundation/lzss/LZSSFormat.h"
#include "foundation/lzss/LZSSHuffman.h"

namespace lzss_test {

using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

// Decodes `stream` from a heap copy of exactly its size into an output of
// exactly `capacity` bytes; nullopt on failure.
inline std::optional<Bytes> Decode(const Bytes& stream, size_t capacity) {
  std::unique_ptr<uint8_t[]> in(new uint8_t[stream.size() + 1]);
  std::copy(stream.begin(), stream.end(), in.get());
  std::unique_ptr<uint8_t[]> out(new uint8_t[capacity + 1]);
  const int64_t n = LZSSDecode(in.get(), stream.size(), out.get(), capacity);
  if (n == kLZSSFailed) return std::nullopt;
  return Bytes(out.get(), out.get() + n);
}

inline std::optional<Bytes> Decode(const Bytes& stream) {
  return Decode(stream, 1 << 20);
}

// Codes Huffman symbols and raw bits the way the encoder does, so that tests
// can build streams the encoder never writes.
class HuffmanWriter {
 public:
  HuffmanWriter(uint32_t level, uint32_t variant) : variant_(variant) {
    bytes_.push_back(static_cast<uint8_t>(variant << 4 | level));
    literals_.Init(LZSS::kLiteralSymbols);
    distances_.Init(LZSS::kVariantTable[variant].distanceSymbols);
  }
  void Literal(uint32_t symbol) { Symbol(literals_, symbol); }
  void Match(uint32_t lengthCode, uint32_t extra, uint32_t high, uint32_t low) {
    Symbol(literals_, LZSS::kFirstLengthSymbol + lengthCode);
    Raw(extra, LZSS::kLengthExtraBits[lengthCode]);
    Symbol(distances_, high);
    Raw(low, LZSS::kVariantTable[variant_].lowBits);
  }
  void Raw(uint64_t value, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) Bit(static_cast<uint32_t>(value >> i & 1));
  }
  // Pads to a whole 16-bit word and answers the stream.
  Bytes Finish() {
    while (bits_ % 16 != 0) Bit(0);
    return bytes_;
  }

 private:
  void Symbol(LZSSHuffmanTree& tree, uint32_t symbol) {
    uint64_t code = 0;
    uint32_t n = 0;
    tree.Code(symbol, code, n);
    Raw(code, n);
    tree.Update(symbol);
  }
  void Bit(uint32_t b) {
    if (bits_ % 8 == 0) bytes_.push_back(0);
    bytes_.back() |= static_cast<uint8_t>(b << (bits_ % 8));
    ++bits_;
  }

  uint32_t variant_;
  uint64_t bits_ = 0;
  Bytes bytes_;
  LZSSHuffmanTree literals_;
  LZSSHuffmanTree distances_;
};

// Sample inputs of `n` bytes of several kinds, all from fixed seeds.
inline Bytes TextSoup(size_t n, uint32_t seed) {
  static const char* const kWords[] = {"kuid", "asset", "track", "mesh", "config", "the", "texture",
                                       "name", "=",     "\n",    "{",    "}",      " ",   "0.5"};
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < n) {
    const std::string w = kWords[rng() % (sizeof kWords / sizeof kWords[0])];
    out.insert(out.end(), w.begin(), w.end());
    if (rng() % 5 == 0) out.push_back(static_cast<uint8_t>('0' + rng() % 10));
  }
  out.resize(n);
  return out;
}

inline Bytes RandomBytes(size_t n, uint32_t seed, uint32_t alphabet = 256) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<uint8_t>(rng() % alphabet);
  return out;
}

inline Bytes Pattern(size_t n, const std::string& unit) {
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(unit[i % unit.size()]);
  return out;
}

}  // namespace lzss_test
