#include "foundation/lzss/LZSSDecoder.h"

#include <cstring>

#include "foundation/lzss/LZSSFormat.h"
#include "foundation/lzss/LZSSHuffman.h"

namespace {

// Coded input: every read is checked against the end.
struct Input {
  const uint8_t* p;
  const uint8_t* end;

  size_t Left() const { return static_cast<size_t>(end - p); }
  bool Byte(uint32_t& v) {
    if (p == end) return false;
    v = *p++;
    return true;
  }
  bool U16(uint32_t& v) {
    if (Left() < 2) return false;
    v = uint32_t(p[0]) | uint32_t(p[1]) << 8;
    p += 2;
    return true;
  }
  bool U32(uint32_t& v) {
    if (Left() < 4) return false;
    v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    p += 4;
    return true;
  }
};

// Decoded output with the history that matches copy from.
struct Output {
  static constexpr uint32_t kWord = 8;

  uint8_t* base;
  size_t size;
  size_t capacity;

  bool Byte(uint32_t v) {
    if (size == capacity) return false;
    base[size++] = static_cast<uint8_t>(v);
    return true;
  }
  bool Bytes(Input& in, size_t n) {
    if (in.Left() < n || capacity - size < n) return false;
    if (n == 0) return true;
    std::memcpy(base + size, in.p, n);
    in.p += n;
    size += n;
    return true;
  }
  // Appends `length` bytes copied from `distance` bytes back; overlapping
  // copies repeat the bytes, as a byte-by-byte copy would.
  bool Copy(uint32_t distance, uint32_t length) {
    if (distance == 0 || distance > size || capacity - size < length) return false;
    uint8_t* to = base + size;
    const uint8_t* from = to - distance;
    const size_t room = capacity - size - length;
    // Whole blocks, the last one running into the room after the match: a
    // block read `distance` >= its size back holds only bytes already written.
    if (distance >= 2 * kWord && room >= 2 * kWord) {
      for (uint32_t i = 0; i < length; i += 2 * kWord) std::memcpy(to + i, from + i, 2 * kWord);
    } else if (distance >= kWord && room >= kWord) {
      for (uint32_t i = 0; i < length; i += kWord) std::memcpy(to + i, from + i, kWord);
    } else if (distance >= length) {
      std::memcpy(to, from, length);
    } else if (distance == 1) {
      std::memset(to, *from, length);
    } else {
      uint32_t i = 0;
      // A word read `distance` >= 8 bytes back holds only bytes already written.
      for (; distance >= 8 && i + 8 <= length; i += 8) std::memcpy(to + i, from + i, 8);
      for (; i < length; ++i) to[i] = from[i];
    }
    size += length;
    return true;
  }
};

// The flag word steering the items, read ahead of the items it steers.
struct Flags {
  uint32_t word = 0;
  uint32_t mask = 0;

  bool Load(Input& in) {
    mask = 1;
    return in.U32(word);
  }
  // Moves to the next flag bit, reading a new word when this one is used up.
  bool Next(Input& in) {
    mask <<= 1;
    return mask != 0 || Load(in);
  }
  bool Bit() const { return (word & mask) != 0; }
};

// One item of the flag-word coding with a window of 256 bytes.
bool SmallWindowItem(Input& in, Output& out, Flags& flags) {
  uint32_t v = 0;
  if (!flags.Bit()) return in.Byte(v) && out.Byte(v);
  uint32_t code = 0;
  for (uint32_t bit = 0; bit < 3; ++bit) {
    if (!flags.Next(in)) return false;
    if (flags.Bit()) code |= 1u << bit;
  }
  if (code == 7 && !in.Byte(code)) return false;
  uint32_t distance = 0;
  return in.Byte(distance) && out.Copy(distance, code + LZSS::kMinMatch);
}

// One item of the flag-word coding with a window of 2^bits bytes (12 or 14).
bool LargeWindowItem(Input& in, Output& out, Flags& flags, uint32_t bits) {
  uint32_t v = 0;
  if (flags.Bit()) {
    const uint32_t lengthMask = (1u << (16 - bits)) - 1;
    if (!in.U16(v)) return false;
    uint32_t code = (v >> bits) & lengthMask;
    if (code == lengthMask && !in.Byte(code)) return false;
    return out.Copy(v & ((1u << bits) - 1), code + LZSS::kMinMatch);
  }
  if (!flags.Next(in)) return false;
  if (!flags.Bit()) return in.Byte(v) && out.Byte(v);
  uint32_t count = 0;
  return in.Byte(count) && out.Bytes(in, count + 3);
}

bool DecodeFlagWords(Input& in, Output& out, uint32_t variant) {
  const uint32_t bits = LZSS::kVariantTable[variant].distanceBits;
  Flags flags;
  while (in.Left() > 0) {
    if (!flags.Load(in)) return false;
    while (flags.mask != 0 && in.Left() > 0) {
      const bool ok =
          variant == 0 ? SmallWindowItem(in, out, flags) : LargeWindowItem(in, out, flags, bits);
      if (!ok) return false;
      flags.mask <<= 1;
    }
  }
  return true;
}

// Bits of the Huffman coding, least significant first. Running out of bits
// is a failure: a whole stream ends with its end symbol.
struct BitInput {
  const uint8_t* p;
  const uint8_t* end;
  uint64_t buffer = 0;
  uint32_t count = 0;

  // Tops the buffer up to 56 or more bits. Away from the end it reads a
  // whole word without a branch on the count: the bits above the count are
  // then the next bytes' own, so a later read of those bytes sets them again.
  void Refill() {
    if (end - p >= 8) {
      uint64_t v;
      std::memcpy(&v, p, 8);
      buffer |= v << count;
      p += (63 - count) >> 3;
      count |= 56;
      return;
    }
    while (count <= 56 && p < end) {
      buffer |= uint64_t(*p++) << count;
      count += 8;
    }
  }
  bool Bits(uint32_t n, uint32_t& v) {
    if (count < n) {
      Refill();
      if (count < n) return false;
    }
    v = static_cast<uint32_t>(buffer & ((uint64_t(1) << n) - 1));
    buffer >>= n;
    count -= n;
    return true;
  }
  // The next symbol of `tree`, whose code the buffer must hold whole: the
  // buffer is filled before every symbol, and a code longer than the bits
  // left (only at the end of the input) is refused.
  bool Symbol(LZSSHuffmanTree& tree, uint32_t& symbol) {
    Refill();
    const uint32_t used = tree.Decode(buffer, count, symbol);
    if (used == 0) return false;
    buffer >>= used;
    count -= used;
    return true;
  }
};

// Decodes into a local copy of `into`, handed back at the end: a byte the
// copy writes cannot alias its own fields, which then stay in registers.
bool DecodeHuffman(Input& in, Output& into, uint32_t variant) {
  Output out = into;
  const LZSS::Variant& v = LZSS::kVariantTable[variant];
  const uint32_t windowMask = (1u << v.distanceBits) - 1;
  LZSSHuffmanTree literals;
  LZSSHuffmanTree distances;
  literals.Init(LZSS::kLiteralSymbols);
  distances.Init(v.distanceSymbols);
  BitInput bits{in.p, in.end};
  for (;;) {
    uint32_t symbol = 0;
    if (!bits.Symbol(literals, symbol)) return false;
    if (symbol < LZSS::kFirstLengthSymbol) {
      if (!out.Byte(symbol)) return false;
      continue;
    }
    if (symbol == LZSS::kEndSymbol) {
      into = out;
      return true;
    }
    const uint32_t code = symbol - LZSS::kFirstLengthSymbol;
    if (code >= LZSS::kLengthCodes) return false;
    uint32_t extra = 0;
    uint32_t high = 0;
    uint32_t low = 0;
    if (!bits.Bits(LZSS::kLengthExtraBits[code], extra)) return false;
    if (!bits.Symbol(distances, high) || !bits.Bits(v.lowBits, low)) return false;
    const uint32_t distance = ((high << v.lowBits) + low) & windowMask;
    if (!out.Copy(distance, LZSS::kMinMatch + LZSS::kLengthBase[code] + extra)) return false;
  }
}

}  // namespace

int64_t LZSSDecode(const void* src, size_t n, void* dst, size_t capacity) {
  if (n < 1 || (src == nullptr) || (dst == nullptr && capacity > 0)) return kLZSSFailed;
  const auto* bytes = static_cast<const uint8_t*>(src);
  const uint32_t method = bytes[0] & LZSS::kMethodMask;
  const uint32_t variant = (bytes[0] >> LZSS::kVariantShift) & LZSS::kVariantMask;
  if (variant >= LZSS::kVariants) return kLZSSFailed;
  Input in{bytes + 1, bytes + n};
  Output out{static_cast<uint8_t*>(dst), 0, capacity};
  bool ok = false;
  if (method == 0) {
    ok = out.Bytes(in, in.Left());
  } else if (variant == 0 || method < LZSS::kFirstHuffmanMethod) {
    ok = DecodeFlagWords(in, out, variant);
  } else {
    ok = DecodeHuffman(in, out, variant);
  }
  if (!ok) return kLZSSFailed;
  return static_cast<int64_t>(out.size);
}
