// Sha256: the SHA-256 digest of a stream of bytes (FIPS 180-4).
//
// Add() takes the bytes in any number of pieces; Finish() pads the message
// and answers its 32-byte digest, after which the object is spent (make
// another for the next message). The value is the standard one, stable
// across runs and machines.
//
// A plain value with no shared state; nothing throws.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

class Sha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  Sha256();
  void Add(const void* data, size_t size);
  Digest Finish();

 private:
  void Block(const uint8_t* block);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> pending_{};
  size_t used_ = 0;
  uint64_t total_ = 0;
};
