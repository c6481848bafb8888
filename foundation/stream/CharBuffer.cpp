#include "foundation/stream/CharBuffer.h"

#include <cstring>
#include <new>

bool CharBuffer::Reserve(uint32_t n) {
  if (n <= capacity_) return true;
  const uint64_t wanted = (uint64_t{n} + kGrowthStep - 1) / kGrowthStep * kGrowthStep;
  if (wanted > UINT32_MAX) return false;
  std::unique_ptr<char[]> grown;
  try {
    grown.reset(new char[wanted]());
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (length_ > 0) std::memcpy(grown.get(), data_.get(), length_);
  data_ = std::move(grown);
  capacity_ = static_cast<uint32_t>(wanted);
  return true;
}

bool CharBuffer::Push(char c) {
  if (length_ == UINT32_MAX || !Reserve(length_ + 1)) return false;
  data_[length_++] = c;
  return true;
}

bool CharBuffer::Resize(uint32_t n) {
  if (!Reserve(n)) return false;
  if (n > length_) std::memset(data_.get() + length_, 0, n - length_);
  length_ = n;
  return true;
}
