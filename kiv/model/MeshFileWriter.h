// Kiv::MeshFileWriter: builds a mesh file in memory, little-endian, with
// the padded strings of docs/formats/padded-string.md. MarkSizePos
// reserves a u32 size at the current end and answers its place;
// WriteSizeAtMark fills it with the number of bytes written after it.
// Bytes() is the file so far. Nothing here fails except on exhaustion of
// memory.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace Kiv {

class MeshFileWriter {
 public:
  void U32(uint32_t value) {
    const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                              uint8_t(value >> 24)};
    Raw(bytes, 4);
  }
  void U16(uint16_t value) {
    const uint8_t bytes[2] = {uint8_t(value), uint8_t(value >> 8)};
    Raw(bytes, 2);
  }
  void U8(uint8_t value) { bytes_.push_back(value); }
  void F32(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    U32(bits);
  }
  void Tag(const char* tag) { Raw(tag, 4); }
  void Raw(const void* data, size_t size) {
    if (size == 0) return;
    const size_t at = bytes_.size();
    bytes_.resize(at + size);
    std::memcpy(bytes_.data() + at, data, size);
  }
  void WritePaddedString(std::string_view text) {
    static const uint8_t kZeros[4] = {0, 0, 0, 0};
    U32(static_cast<uint32_t>(text.size()));
    Raw(text.data(), text.size());
    Raw(kZeros, (4 - text.size() % 4) % 4);
  }
  size_t MarkSizePos() {
    const size_t mark = bytes_.size();
    U32(0);
    return mark;
  }
  void WriteSizeAtMark(size_t mark) {
    const uint32_t size = static_cast<uint32_t>(bytes_.size() - mark - 4);
    for (int i = 0; i < 4; ++i) bytes_[mark + i] = uint8_t(size >> (8 * i));
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace Kiv
