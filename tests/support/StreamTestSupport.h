// Helpers shared by the stream tests: byte patterns, a log capture and
// a random mix of typed writes that can be read back and checked.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/stream/TStream.h"
#include "kiv/PString.h"
#include "tests/support/CapturedLog.h"

namespace streamtest {

// Byte i of a recognisable pattern.
inline uint8_t PatternByte(uint32_t i) {
  return uint8_t(i * 7 + i / 251 + 1);
}

inline std::vector<uint8_t> Pattern(uint32_t n) {
  std::vector<uint8_t> bytes(n);
  for (uint32_t i = 0; i < n; ++i) bytes[i] = PatternByte(i);
  return bytes;
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The u32 stored little-endian at `at`.
inline uint32_t U32At(const std::vector<uint8_t>& bytes, size_t at) {
  return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
         uint32_t(bytes[at + 3]) << 24;
}

// Reads `stream`, which holds Pattern(size), after random seeks near and
// far, with reads small and large, and checks every byte and position.
inline void ExpectRandomSeeksReadThePattern(TStream& stream, uint32_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> got(std::max<uint32_t>(size, 9000));
  uint32_t at = 0;
  for (int step = 0; step < 400; ++step) {
    const int64_t near = int64_t(at) + int64_t(rng() % 41) - 20;
    const int64_t target =
        rng() % 3 == 0 ? int64_t(rng() % size) : std::clamp<int64_t>(near, 0, size);
    stream.SeekTo(uint32_t(target));
    at = uint32_t(target);
    ASSERT_EQ(stream.Tell(), at);
    const uint32_t n = rng() % 4 == 0 ? rng() % 9000 : rng() % 20;
    const uint32_t want = std::min(n, size - at);
    ASSERT_EQ(stream.Read(got.data(), n), want) << "at " << at << " reading " << n;
    for (uint32_t i = 0; i < want; ++i) ASSERT_EQ(got[i], PatternByte(at + i)) << at + i;
    at += want;
    ASSERT_EQ(stream.Tell(), at);
  }
}

// A random sequence of typed values, written to a stream and checked when
// read back from another.
class RandomRecord {
 public:
  explicit RandomRecord(uint32_t seed, int count = 400) {
    std::mt19937 rng(seed);
    for (int i = 0; i < count; ++i) ops_.push_back(MakeOp(rng));
  }

  void WriteTo(TStream& stream) const {
    for (const Op& op : ops_) Write(stream, op);
  }

  // Reads the record back and checks every value.
  void ExpectReadFrom(TStream& stream) const {
    for (size_t i = 0; i < ops_.size(); ++i) {
      SCOPED_TRACE("value " + std::to_string(i) + " of kind " + std::to_string(ops_[i].kind));
      ExpectRead(stream, ops_[i]);
    }
  }

 private:
  struct Op {
    int kind;
    uint64_t number;
    std::string text;
    std::vector<uint32_t> words;
  };

  static Op MakeOp(std::mt19937& rng) {
    Op op{int(rng() % 9), uint64_t(rng()) << 32 | rng(), {}, {}};
    if (op.kind == 5) {
      // Mostly short blocks, sometimes long enough to bypass the buffer.
      uint32_t n = rng() % 8 == 0 ? 4000 + rng() % 6000 : rng() % 40;
      for (uint32_t i = 0; i < n; ++i) op.text.push_back(char(rng()));
    }
    if (op.kind == 6 || op.kind == 7) {
      uint32_t n = rng() % 60;
      for (uint32_t i = 0; i < n; ++i) op.text.push_back(char('a' + rng() % 26));
    }
    if (op.kind == 8) op.words.resize(rng() % 20);
    for (uint32_t& w : op.words) w = rng();
    return op;
  }

  static float AsFloat(uint64_t number) { return float(int32_t(number)) / 1024.0f; }

  static void Write(TStream& s, const Op& op) {
    switch (op.kind) {
      case 0:
        TStreamWriteU8(s, uint8_t(op.number));
        break;
      case 1:
        TStreamWriteBool(s, (op.number & 1) != 0);
        break;
      case 2:
        TStreamWriteU32(s, uint32_t(op.number));
        break;
      case 3:
        TStreamWriteU64(s, op.number);
        break;
      case 4:
        TStreamWriteFloat(s, AsFloat(op.number));
        break;
      case 5:
        TStreamWriteU32(s, uint32_t(op.text.size()));
        TStreamWriteBytes(s, op.text.data(), uint32_t(op.text.size()));
        break;
      case 6:
        s.WriteString(op.text);
        break;
      case 7:
        s.WritePString(Kiv::PString(op.text));
        break;
      default:
        TStreamWriteU32(s, uint32_t(op.words.size()));
        s.WriteU32Array(op.words.data(), uint32_t(op.words.size()));
        break;
    }
  }

  static void ExpectRead(TStream& s, const Op& op) {
    switch (op.kind) {
      case 0: {
        uint8_t b = 0;
        EXPECT_EQ(TStreamReadBytes(s, &b, 1), 1u);
        EXPECT_EQ(b, uint8_t(op.number));
        break;
      }
      case 1: {
        bool v = false;
        EXPECT_TRUE(TStreamReadBool(s, v, false));
        EXPECT_EQ(v, (op.number & 1) != 0);
        break;
      }
      case 2: {
        uint32_t v = 0;
        EXPECT_TRUE(TStreamReadU32(s, v, 0));
        EXPECT_EQ(v, uint32_t(op.number));
        break;
      }
      case 3: {
        uint64_t v = 0;
        EXPECT_TRUE(TStreamReadU64(s, v, 0));
        EXPECT_EQ(v, op.number);
        break;
      }
      case 4: {
        float v = 0;
        EXPECT_TRUE(TStreamReadFloat(s, v, 0));
        EXPECT_EQ(v, AsFloat(op.number));
        break;
      }
      case 5: {
        uint32_t n = 0;
        EXPECT_TRUE(TStreamReadU32(s, n, 0));
        ASSERT_EQ(n, op.text.size());
        std::string got(n, '\0');
        EXPECT_EQ(TStreamReadBytes(s, got.data(), n), n);
        EXPECT_EQ(got, op.text);
        break;
      }
      case 6: {
        Kiv::String got;
        s.ReadString(got);
        EXPECT_EQ(got, op.text);
        break;
      }
      case 7: {
        Kiv::PString got;
        s.ReadPString(got);
        EXPECT_EQ(got.Str(), op.text);
        break;
      }
      default: {
        uint32_t n = 0;
        EXPECT_TRUE(TStreamReadU32(s, n, 0));
        ASSERT_EQ(n, op.words.size());
        std::vector<uint32_t> got(n);
        s.ReadU32Array(got.data(), n);
        EXPECT_EQ(got, op.words);
        break;
      }
    }
  }

  std::vector<Op> ops_;
};

using LogLines = VUTest::CapturedLog;

}  // namespace streamtest
