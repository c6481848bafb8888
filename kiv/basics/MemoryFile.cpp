#include "kiv/basics/MemoryFile.h"

#include <cstring>
#include <new>

#include "kiv/File.h"

namespace Kiv {

bool MemoryFile::Open(const String& path, uint64_t maxBytes) {
  Close();
  File file;
  if (!file.Open(path, File::kRead)) return false;
  const int64_t size = file.Size();
  if (size < 0 || uint64_t(size) > maxBytes || uint64_t(size) > UINT32_MAX) return false;
  if (size == 0) return true;
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size]);
  if (!bytes || file.Read(bytes.get(), static_cast<uint32_t>(size)) != uint32_t(size)) return false;
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
  size_ = 0;
  pos_ = 0;
  truncated_ = false;
}

bool MemoryFile::ReadRaw(void* target, uint64_t size) {
  const uint8_t* block = ReadBlock(size);
  if (block == nullptr) return false;
  if (size > 0) std::memcpy(target, block, size);
  return true;
}

const uint8_t* MemoryFile::ReadBlock(uint64_t size) {
  static const uint8_t kNothing = 0;
  if (size == 0) return &kNothing;
  if (size > Remaining()) {
    truncated_ = true;
    return nullptr;
  }
  const uint8_t* block = data_.get() + pos_;
  pos_ += size;
  return block;
}

bool MemoryFile::Skip(uint64_t size) {
  return ReadBlock(size) != nullptr;
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
