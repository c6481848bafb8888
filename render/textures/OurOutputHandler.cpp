#include "render/textures/OurOutputHandler.h"

#include <cstring>

void OurOutputHandler::beginImage(int size, int width, int height, int /*depth*/, int /*face*/,
                                  int /*miplevel*/) {
  FinishLevel();
  current_ = std::make_unique<Kiv::Bitmap>();
  if (size <= 0 || width <= 0 || height <= 0 ||
      !current_->Init(uint32_t(width), uint32_t(height), Kiv::Bitmap::kBlocks, nullptr,
                      uint64_t(size))) {
    current_.reset();
    failed_ = true;
    return;
  }
  expected_ = size;
  written_ = 0;
}

bool OurOutputHandler::writeData(const void* data, int size) {
  if (!current_ || size < 0 || int64_t(written_) + size > expected_) {
    failed_ = true;
    return false;
  }
  if (size > 0) std::memcpy(current_->Pixels() + written_, data, size_t(size));
  written_ += size;
  return true;
}

void OurOutputHandler::FinishLevel() {
  if (!current_) return;
  if (written_ != expected_ || !destination_.Append(std::move(current_))) failed_ = true;
  current_.reset();
  expected_ = written_ = 0;
}
