// TextureJobBudget: how many texture conversions may hold their pictures at
// once. Each job declares the bytes its decoded pictures take (read from the
// pictures' headers before anything is decoded); a job starts only while
// the declared bytes of the running jobs, its own added, stay within the
// limit. A job alone is always admitted (the pictures' own bound, 8192
// pixels a side, keeps it finite), so a folder never stalls.
//
// Not thread-safe: the walk that starts and waits for the jobs owns it.
#pragma once

#include <cstdint>

class TextureJobBudget {
 public:
  static constexpr uint64_t kDefaultLimit = uint64_t(1) << 30;  // 1 GiB

  explicit TextureJobBudget(uint64_t limit) : limit_(limit) {}

  bool Admits(uint64_t bytes) const { return running_ == 0 || inUse_ + bytes <= limit_; }
  void Start(uint64_t bytes) {
    inUse_ += bytes;
    ++running_;
  }
  void Finish(uint64_t bytes) {
    inUse_ -= bytes;
    --running_;
  }
  uint64_t InUse() const { return inUse_; }

 private:
  uint64_t limit_;
  uint64_t inUse_ = 0;
  uint32_t running_ = 0;
};
