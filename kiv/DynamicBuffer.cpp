#include "kiv/DynamicBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace Kiv {

namespace {

constexpr uint64_t kSizeLimit = 0xFFFFFFFFu;
constexpr uint64_t kMinimumGrowth = 64;

}  // namespace

DynamicBuffer::~DynamicBuffer() {
  std::free(bytes_);
}

bool DynamicBuffer::Resize(uint64_t size) {
  if (size == allocated_) return true;
  void* grown = std::realloc(bytes_, static_cast<size_t>(size == 0 ? 1 : size));
  if (grown == nullptr) return false;
  bytes_ = static_cast<uint8_t*>(grown);
  allocated_ = static_cast<uint32_t>(size);
  return true;
}

void DynamicBuffer::Define(uint32_t end) {
  if (end <= defined_) return;
  std::memset(bytes_ + defined_, 0, end - defined_);
  defined_ = end;
}

bool DynamicBuffer::GrowTo(uint64_t needed) {
  uint64_t have = allocated_;
  if (needed <= have) return true;
  uint64_t limit = std::min<uint64_t>(max_size_, kSizeLimit);
  if (needed > limit) return false;
  uint64_t doubled = std::min(std::max({needed, have * 2, kMinimumGrowth}), limit);
  if (Resize(doubled)) return true;
  // The geometric step did not fit in memory; the exact size still may.
  return doubled != needed && Resize(needed);
}

void DynamicBuffer::SetPosition(uint32_t position) {
  position_ = std::min(position, AllocatedSize());
  Define(position_);
}

uint32_t DynamicBuffer::Read(void* dst, uint32_t size, uint32_t count) {
  uint64_t wanted = uint64_t{size} * count;
  uint64_t available = length_ > position_ ? length_ - position_ : 0;
  auto n = static_cast<uint32_t>(std::min(wanted, available));
  if (n == 0 || dst == nullptr) return 0;
  std::memcpy(dst, bytes_ + position_, n);
  position_ += n;
  return n;
}

uint32_t DynamicBuffer::Write(const void* src, uint32_t size, uint32_t count) {
  uint64_t total = uint64_t{size} * count;
  if (total == 0 || src == nullptr) return 0;
  uint64_t end = uint64_t{position_} + total;
  if (end > kSizeLimit || !GrowTo(end)) return 0;
  std::memcpy(bytes_ + position_, src, static_cast<size_t>(total));
  position_ = static_cast<uint32_t>(end);
  defined_ = std::max(defined_, position_);
  length_ = std::max(length_, position_);
  return static_cast<uint32_t>(total);
}

void DynamicBuffer::Clean() {
  position_ = 0;
  length_ = 0;
}

bool DynamicBuffer::AddLength(uint32_t n) {
  uint64_t target = uint64_t{allocated_} + n;
  if (target > std::min<uint64_t>(max_size_, kSizeLimit)) return false;
  return Resize(target);
}

bool DynamicBuffer::SetDataLength(uint32_t n) {
  if (!GrowTo(n)) return false;
  Define(n);
  length_ = n;
  return true;
}

}  // namespace Kiv
