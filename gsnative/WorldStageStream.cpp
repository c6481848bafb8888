#include "gsnative/WorldStageStream.h"

#include <algorithm>
#include <cstring>
#include <limits>

void WorldStageStream::Reset() {
  EmptyReadBuffer();
  size_ = 0;
  position_ = 0;
}

uint32_t WorldStageStream::Write(const void* data, uint32_t n) {
  if (n > std::numeric_limits<uint32_t>::max() - position_) {
    SetError(kErrorSize);
    return 0;
  }
  const uint32_t end = position_ + n;
  if (end > bytes_.size()) bytes_.resize(std::max<size_t>(end, 2 * bytes_.size()));
  std::memcpy(bytes_.data() + position_, data, n);
  position_ = end;
  size_ = std::max(size_, end);
  return n;
}

uint32_t WorldStageStream::ReadData(void* data, uint32_t n) {
  const uint32_t count = position_ < size_ ? std::min(n, size_ - position_) : 0;
  if (count != 0) std::memcpy(data, bytes_.data() + position_, count);
  position_ += count;
  return count;
}

int64_t WorldStageStream::Seek(int64_t offset, int whence) {
  int64_t base = 0;
  if (whence == 1) base = int64_t{position_} - int64_t{buffered_};
  if (whence == 2) base = int64_t{size_};
  position_ = uint32_t(std::clamp<int64_t>(base + offset, 0, int64_t{size_}));
  return position_;
}
