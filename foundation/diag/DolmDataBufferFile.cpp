#include "foundation/diag/DolmDataBufferFile.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <iostream>

namespace {

const char* OpenText(int mode) {
  switch (mode) {
    case kDataBufferRead:
      return "rbe";
    case kDataBufferCreate:
      return "wbe";
    case kDataBufferReadWrite:
    case kDataBufferReadWriteOld:
      return "r+be";
    default:
      return nullptr;
  }
}

bool SeekTo(std::FILE* file, uint64_t position) {
  if (position > static_cast<uint64_t>(INT64_MAX)) return false;
  return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool IsFolder(std::FILE* file) {
  struct stat info {};
  return fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

DolmDataBufferFile::DolmDataBufferFile(int mode, const std::string& path)
    : mode_(mode), path_(path) {
  std::replace(path_.begin(), path_.end(), '\\', '/');
  Open();
}

DolmDataBufferFile::~DolmDataBufferFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void DolmDataBufferFile::Open() {
  const char* text = OpenText(mode_);
  if (text == nullptr) {
    std::cout << "DolmDataBufferFile> unknown access mode " << mode_ << std::endl;
    return;
  }
  file_ = std::fopen(path_.c_str(), text);
  // Read-write on a missing file creates it, still for reading and writing.
  if (file_ == nullptr && mode_ == kDataBufferReadWrite) file_ = std::fopen(path_.c_str(), "w+be");
  if (file_ == nullptr) return;
  if (IsFolder(file_)) {
    std::fclose(file_);
    file_ = nullptr;
    return;
  }
  if (mode_ == kDataBufferCreate) return;
  last_was_read_ = true;
  if (fseeko(file_, 0, SEEK_END) == 0) {
    off_t end = ftello(file_);
    if (end > 0) size_ = static_cast<uint64_t>(end);
  }
  fseeko(file_, 0, SEEK_SET);
}

bool DolmDataBufferFile::SwitchDirection(bool reading) {
  if (last_was_read_ == reading) return true;
  // stdio needs a positioning call between output and input in either order.
  if (!SeekTo(file_, position_)) return false;
  last_was_read_ = reading;
  return true;
}

int DolmDataBufferFile::GetSize(uint64_t* size) const {
  if (file_ == nullptr) return kDataBufferNotOpen;
  *size = size_;
  return kDataBufferOk;
}

int DolmDataBufferFile::Tell(uint64_t* position) const {
  if (file_ == nullptr) return kDataBufferNotOpen;
  *position = position_;
  return kDataBufferOk;
}

int DolmDataBufferFile::SetSize(uint64_t size) {
  if (file_ == nullptr) return kDataBufferNotOpen;
  if (size > static_cast<uint64_t>(INT64_MAX)) return kDataBufferIoError;
  // Buffered output must reach the file first, or it would land after the cut.
  if (std::fflush(file_) != 0) return kDataBufferIoError;
  if (ftruncate(fileno(file_), static_cast<off_t>(size)) != 0) return kDataBufferIoError;
  uint64_t position = std::min(size, position_);
  if (!SeekTo(file_, position)) return kDataBufferIoError;
  size_ = size;
  position_ = position;
  return kDataBufferOk;
}

int DolmDataBufferFile::Seek(uint64_t position) {
  if (file_ == nullptr) return kDataBufferNotOpen;
  if (!SeekTo(file_, position)) return kDataBufferIoError;
  position_ = position;
  return kDataBufferOk;
}

int DolmDataBufferFile::Write(const void* data, size_t length) {
  if (file_ == nullptr) return kDataBufferNotOpen;
  if (mode_ == kDataBufferRead) return kDataBufferWrongMode;
  if (length == 0) return kDataBufferOk;
  if (!SwitchDirection(false)) return kDataBufferIoError;
  size_t written = std::fwrite(data, 1, length, file_);
  position_ += written;
  size_ = std::max(size_, position_);
  return written < length ? kDataBufferIoError : kDataBufferOk;
}

int DolmDataBufferFile::Read(void* data, size_t length) {
  if (file_ == nullptr) return kDataBufferNotOpen;
  if (mode_ == kDataBufferCreate) return kDataBufferWrongMode;
  if (length == 0) return kDataBufferOk;
  if (!SwitchDirection(true)) return kDataBufferIoError;
  size_t got = std::fread(data, 1, length, file_);
  position_ += got;
  return got < length ? kDataBufferIoError : kDataBufferOk;
}

int DolmDataBufferFile::Flush() {
  if (file_ == nullptr) return kDataBufferOk;
  return std::fflush(file_) == 0 ? kDataBufferOk : kDataBufferIoError;
}
