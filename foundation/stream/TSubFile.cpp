#include "foundation/stream/TSubFile.h"

#include <algorithm>

namespace {
constexpr int64_t kOffsetLimit = int64_t{1} << 40;
}  // namespace

TSubFile::TSubFile(TStream& parent, uint32_t start, uint32_t end)
    : parent_(parent), start_(start), end_(std::max(start, end)), position_(parent.Tell()) {
  uint32_t inside = std::clamp(position_, start_, end_);
  if (inside == position_) return;
  position_ = inside;
  parent_.SeekTo(position_);
}

uint32_t TSubFile::Write(const void* data, uint32_t n) {
  uint32_t room = end_ - position_;
  if (n > room) {
    SetError(kErrorFile);
    n = room;
  }
  if (n == 0) return 0;
  uint32_t written = TStreamWriteBytes(parent_, data, n);
  position_ += written;
  return written;
}

uint32_t TSubFile::ReadData(void* data, uint32_t n) {
  n = std::min(n, end_ - position_);
  if (n == 0) return 0;
  uint32_t got = std::min(parent_.Read(data, n), n);
  position_ += got;
  return got;
}

int64_t TSubFile::Seek(int64_t offset, int whence) {
  offset = std::clamp<int64_t>(offset, -kOffsetLimit, kOffsetLimit);
  int64_t base = start_;
  if (whence == 1) base = int64_t{position_} - int64_t{buffered_};
  if (whence == 2) base = end_;
  int64_t target = base + offset;
  if (target != int64_t{position_}) {
    position_ = static_cast<uint32_t>(std::clamp<int64_t>(target, start_, end_));
    parent_.SeekTo(position_);
  }
  return position_ - start_;
}

bool TSubFile::IsEOF() const {
  if (buffered_ > 0) return false;
  return position_ >= end_;
}
