// CharBuffer: the text-soup reader's growable character buffer.
//
// Holds `Length()` characters in storage of `Capacity()` bytes, which grows
// to the wanted length rounded up to a multiple of 4096; growing copies the
// old characters and frees the old storage. The text is not NUL-terminated.
// Bytes exposed by Resize() beyond what was pushed are zero.
//
// Failure: Reserve(), Push() and Resize() answer false when memory runs out
// or the length would not fit 32 bits; the buffer is then unchanged.
// Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>

class CharBuffer {
 public:
  static constexpr uint32_t kGrowthStep = 4096;

  CharBuffer() = default;
  CharBuffer(const CharBuffer&) = delete;
  CharBuffer& operator=(const CharBuffer&) = delete;

  // Makes room for `n` characters.
  bool Reserve(uint32_t n);
  // Stores `c` at the end and counts it.
  bool Push(char c);
  // Sets the length to `n`, growing when needed.
  bool Resize(uint32_t n);

  uint32_t Length() const { return length_; }
  uint32_t Capacity() const { return capacity_; }
  char* Data() { return data_.get(); }
  const char* Data() const { return data_.get(); }

 private:
  uint32_t length_ = 0;
  uint32_t capacity_ = 0;
  std::unique_ptr<char[]> data_;
};
