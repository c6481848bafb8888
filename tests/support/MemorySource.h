// MemorySource: a frame reader's byte source over bytes in memory, for
// feeding the client's and the daemon's frame readers untrusted input.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "assetdb/protocol/VADFrames.h"

namespace VUTest {

class MemorySource : public VADFrames::ByteSource {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  bool Receive(void* dst, uint32_t n) override {
    if (bytes_.size() - at_ < n) return false;
    std::memcpy(dst, bytes_.data() + at_, n);
    at_ += n;
    return true;
  }
  // The bytes not read yet.
  size_t Left() const { return bytes_.size() - at_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t at_ = 0;
};

}  // namespace VUTest
