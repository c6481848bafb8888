#include "foundation/stream/TBuffer.h"

#include <algorithm>
#include <limits>

namespace {
// Above this allocation, growth steps are at least the write plus kLargeStep.
constexpr uint32_t kLargeThreshold = 16384;
constexpr uint64_t kLargeStep = 65536;
constexpr int64_t kOffsetLimit = int64_t{1} << 40;
}  // namespace

TBuffer::TBuffer(Kiv::DynamicBuffer* data, bool ownsData) : data_(data) {
  if (data_ == nullptr) {
    owned_ = std::make_unique<Kiv::DynamicBuffer>();
    data_ = owned_.get();
    return;
  }
  if (ownsData) owned_.reset(data_);
}

TBuffer::~TBuffer() = default;

void TBuffer::Reset() {
  EmptyReadBuffer();
  data_->Clean();
}

uint32_t TBuffer::Tell() {
  return data_->Position() - buffered_;
}

uint32_t TBuffer::Write(const void* data, uint32_t n) {
  uint64_t allocated = data_->AllocatedSize();
  if (uint64_t{data_->Position()} + n > allocated && allocated > kLargeThreshold) {
    // One large step ahead of need; if it cannot be had, the write below
    // still tries for the exact size.
    uint64_t step = std::max(uint64_t{n} + kLargeStep, allocated);
    uint64_t room = std::numeric_limits<uint32_t>::max() - allocated;
    data_->AddLength(static_cast<uint32_t>(std::min(step, room)));
  }
  uint32_t written = data_->Write(data, n, 1);
  if (written != n) {
    SetError(kErrorSize);
    return 0;
  }
  return written;
}

uint32_t TBuffer::ReadData(void* data, uint32_t n) {
  return data_->Read(data, n, 1);
}

int64_t TBuffer::Seek(int64_t offset, int whence) {
  // Far beyond any 32-bit position, and safe to negate and add.
  offset = std::clamp<int64_t>(offset, -kOffsetLimit, kOffsetLimit);
  int64_t base = 0;
  if (whence == 1) base = int64_t{data_->Position()} - int64_t{buffered_};
  if (whence == 2) {
    base = data_->DataLength();
    offset = -offset;
  }
  int64_t target = std::clamp<int64_t>(base + offset, 0, data_->AllocatedSize());
  data_->SetPosition(static_cast<uint32_t>(target));
  return target;
}

bool TBuffer::IsEOF() const {
  return data_->Position() - buffered_ >= data_->DataLength();
}
