#include "foundation/stream/TFile.h"

#include <limits>

namespace {
constexpr int64_t kMaxPosition = std::numeric_limits<uint32_t>::max();
}  // namespace

TFile::TFile(Kiv::File* file, bool ownsFile) : file_(file) {
  if (ownsFile) owned_.reset(file);
}

TFile::~TFile() {
  Close();
}

Kiv::File* TFile::GetFile() {
  if (file_ != nullptr) return file_;
  owned_ = std::make_unique<Kiv::File>();
  file_ = owned_.get();
  EmptyReadBuffer();
  return file_;
}

bool TFile::Open(const Kiv::String& path, uint32_t modeFlags) {
  Close();
  return GetFile()->Open(path, modeFlags, 0);
}

bool TFile::Open(const Kiv::PString& root, const Kiv::String& name, uint32_t modeFlags) {
  Close();
  return GetFile()->Open(root, name, modeFlags, 0);
}

void TFile::Close() {
  if (file_ == nullptr) return;
  if (owned_ == nullptr && buffered_ > 0) file_->Seek(-int64_t{buffered_}, 1);
  owned_.reset();
  file_ = nullptr;
  EmptyReadBuffer();
  ClearError();
}

void TFile::Reset() {
  if (!IsOpen()) return;
  Kiv::String path = file_->GetPath();
  uint32_t mode = file_->GetMode();
  file_->Close();
  ClearError();
  EmptyReadBuffer();
  file_->Open(path, mode, 0);
}

bool TFile::CheckPosition(int64_t position) {
  if (position >= 0 && position <= kMaxPosition) return true;
  SetError(kErrorFile);
  return false;
}

uint32_t TFile::Tell() {
  if (!IsOpen()) return 0;
  int64_t logical = file_->Tell() - int64_t{buffered_};
  if (CheckPosition(logical)) return static_cast<uint32_t>(logical);
  return logical < 0 ? 0 : static_cast<uint32_t>(kMaxPosition);
}

bool TFile::IsOpen() const {
  return file_ != nullptr && file_->IsValid();
}

uint32_t TFile::Write(const void* data, uint32_t n) {
  if (file_ == nullptr) {
    SetError(kErrorFile);
    return 0;
  }
  uint32_t written = file_->Write(data, n, 1);
  if (written != n) SetError(kErrorFile);
  return written;
}

uint32_t TFile::ReadData(void* data, uint32_t n) {
  if (file_ == nullptr) {
    SetError(kErrorFile);
    return 0;
  }
  uint32_t got = file_->Read(data, n, 1);
  // Stopping at the end of the file is the normal end of every read-ahead;
  // stopping anywhere else is a failure of the file.
  if (got != n && !file_->Eof()) SetError(kErrorFile);
  return got;
}

int64_t TFile::Seek(int64_t offset, int whence) {
  if (file_ == nullptr) {
    SetError(kErrorFile);
    return 0;
  }
  if (whence == 0 && !CheckPosition(offset)) return -1;
  if (whence == 1) offset -= int64_t{buffered_};
  int64_t position = file_->Seek(offset, whence);
  if (!CheckPosition(position)) return -1;
  return position;
}

bool TFile::IsEOF() const {
  if (file_ == nullptr) return true;
  if (buffered_ > 0) return false;
  return file_->Eof();
}
