#include "kiv/basics/MemoryFile.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "kiv/File.h"

namespace Kiv {

namespace {

// Bytes a streamed file reads ahead for small reads: enough for the
// headers between two arrays, little to copy again when an array follows.
constexpr uint64_t kWindowBytes = 4 * 1024;
// A ReadRaw at least this large that the window does not hold goes
// straight from the file to its target.
constexpr uint64_t kDirectBytes = 2 * 1024;

}  // namespace

MemoryFile::MemoryFile() = default;
MemoryFile::~MemoryFile() = default;

bool MemoryFile::Open(const String& path, uint64_t maxBytes) {
  Close();
  auto file = std::make_unique<File>();
  if (!file->Open(path, File::kRead)) return false;
  const int64_t size = file->Size();
  if (size < 0 || uint64_t(size) > maxBytes || uint64_t(size) > UINT32_MAX) return false;
  if (size == 0) return true;
  if (streamed_) {
    source_ = std::move(file);
    size_ = uint64_t(size);
    return true;
  }
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size]);
  if (!bytes || file->Read(bytes.get(), static_cast<uint32_t>(size)) != uint32_t(size)) return false;
  data_ = std::move(bytes);
  size_ = uint64_t(size);
  return true;
}

void MemoryFile::Assign(const void* data, uint64_t size) {
  Close();
  if (size == 0) return;
  data_.reset(new uint8_t[size]);
  std::memcpy(data_.get(), data, size);
  size_ = size;
}

void MemoryFile::Close() {
  data_.reset();
  source_.reset();
  window_.reset();
  windowCapacity_ = windowStart_ = windowBytes_ = 0;
  size_ = 0;
  pos_ = 0;
  truncated_ = false;
}

bool MemoryFile::ReadSource(uint64_t offset, void* target, uint64_t size) {
  if (size == 0) return true;
  const bool read = (source_->Tell() == int64_t(offset) ||
                     source_->Seek(int64_t(offset), 0) == int64_t(offset)) &&
                    source_->Read(target, static_cast<uint32_t>(size)) == size;
  if (!read) truncated_ = true;
  return read;
}

const uint8_t* MemoryFile::Window(uint64_t size) {
  if (pos_ >= windowStart_ && pos_ + size <= windowStart_ + windowBytes_)
    return window_.get() + (pos_ - windowStart_);
  const uint64_t fill = std::min(std::max(size, kWindowBytes), Remaining());
  if (fill > windowCapacity_) {
    window_.reset();
    windowCapacity_ = windowBytes_ = 0;
    window_.reset(new uint8_t[fill]);
    windowCapacity_ = fill;
  }
  windowStart_ = pos_;
  windowBytes_ = 0;
  if (!ReadSource(pos_, window_.get(), fill)) return nullptr;
  windowBytes_ = fill;
  return window_.get();
}

bool MemoryFile::ReadRaw(void* target, uint64_t size) {
  if (source_ == nullptr || size < kDirectBytes) {
    const uint8_t* block = ReadBlock(size);
    if (block == nullptr) return false;
    if (size > 0) std::memcpy(target, block, size);
    return true;
  }
  if (size > Remaining()) {
    truncated_ = true;
    return false;
  }
  // What the window holds of the block is copied, the rest read.
  uint64_t held = 0;
  if (pos_ >= windowStart_ && pos_ < windowStart_ + windowBytes_) {
    held = std::min(size, windowStart_ + windowBytes_ - pos_);
    std::memcpy(target, window_.get() + (pos_ - windowStart_), held);
  }
  if (!ReadSource(pos_ + held, static_cast<uint8_t*>(target) + held, size - held)) return false;
  pos_ += size;
  return true;
}

const uint8_t* MemoryFile::ReadBlock(uint64_t size) {
  static const uint8_t kNothing = 0;
  if (size == 0) return &kNothing;
  if (size > Remaining()) {
    truncated_ = true;
    return nullptr;
  }
  const uint8_t* block = source_ != nullptr ? Window(size) : data_.get() + pos_;
  if (block == nullptr) return nullptr;
  pos_ += size;
  return block;
}

bool MemoryFile::Skip(uint64_t size) {
  if (size > Remaining()) {
    truncated_ = true;
    return false;
  }
  pos_ += size;
  return true;
}

void MemoryFile::Back(uint64_t size) {
  pos_ = size > pos_ ? 0 : pos_ - size;
}

void MemoryFile::Seek(uint64_t position) {
  if (position <= size_) {
    pos_ = position;
    return;
  }
  pos_ = size_;
  truncated_ = true;
}

}  // namespace Kiv
