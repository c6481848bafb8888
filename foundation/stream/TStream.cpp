#include "foundation/stream/TStream.h"

#include <algorithm>
#include <cstring>

uint32_t TStream::ReadSlow(void* dst, uint32_t n) {
  auto* out = static_cast<uint8_t*>(dst);
  uint32_t copied = buffered_;
  if (copied > 0) {
    std::memcpy(out, buffer_ + readPos_, copied);
    // The buffer is now consumed up to the end of its data. readPos reaches
    // kBufferSize only when that data filled the whole buffer, so the bytes
    // kept back by the next refill are always the ones just read.
    readPos_ += copied;
    buffered_ = 0;
  }
  uint32_t rest = n - copied;
  out += copied;
  if (rest >= kBypassSize) {
    uint32_t got = std::min(ReadData(out, rest), rest);
    EmptyReadBuffer();
    return copied + got;
  }
  if (readPos_ != kBufferSize) return copied + Refill(out, rest, 0);
  std::memmove(buffer_, buffer_ + kBufferSize - kKeepBack, kKeepBack);
  return copied + Refill(out, rest, kKeepBack);
}

uint32_t TStream::Refill(uint8_t* out, uint32_t rest, uint32_t offset) {
  uint32_t room = kBufferSize - offset;
  buffered_ = std::min(ReadData(buffer_ + offset, room), room);
  uint32_t take = std::min(rest, buffered_);
  if (take != 0) std::memcpy(out, buffer_ + offset, take);
  buffered_ -= take;
  readPos_ = offset + take;
  return take;
}

void TStream::SeekTo(uint32_t target) {
  int64_t delta = int64_t{target} - int64_t{Tell()};
  if (int64_t{readPos_} + delta >= 0 && delta <= int64_t{buffered_}) {
    readPos_ = static_cast<uint32_t>(int64_t{readPos_} + delta);
    buffered_ = static_cast<uint32_t>(int64_t{buffered_} - delta);
    return;
  }
  Seek(target, 0);
  EmptyReadBuffer();
}

uint32_t TStream::GetSize() {
  uint32_t here = Tell();
  Seek(0, 2);
  EmptyReadBuffer();
  uint32_t size = Tell();
  SeekTo(here);
  return size;
}

void TStream::SettleRead() {
  if (buffered_ == 0) return;
  Seek(0, 1);
  EmptyReadBuffer();
}

void TStream::Skip(uint32_t n) {
  if (n <= buffered_) {
    readPos_ += n;
    buffered_ -= n;
    return;
  }
  Seek(n, 1);
  EmptyReadBuffer();
}

uint32_t TStream::WriteMarker() {
  uint32_t at = Tell();
  TStreamWriteU32(*this, kMarker);
  return at;
}

void TStream::PatchU32(uint32_t at, uint32_t value) {
  uint32_t end = Tell();
  SeekTo(at);
  TStreamWriteU32(*this, value);
  SeekTo(end);
}

void TStream::PatchLength(uint32_t at) {
  uint32_t end = Tell();
  if (end < at || end - at < 4) {
    SetError(kErrorSize);
    return;
  }
  PatchU32(at, end - at - 4);
}
