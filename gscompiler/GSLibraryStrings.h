// GSCompiler::GSLibraryStrings: the string table of one library being
// compiled (chunk 3 of a .gsl file).
//
// Index(text) answers the text's index, adding it with the next index (0,
// 1, 2 ... in order of first use) when it is new. The code generator asks
// for message types and string constants, the library writer for class
// names, signatures and member names. Write(out) writes chunk 3: the count,
// one offset per index (counted from the first byte behind the offset
// table) and the NUL-terminated strings laid out in the order of a 61-bucket
// name hash table (bucket = h mod 61 with h = h * 3 + each byte as a signed
// value; within a bucket ascending by byte-wise comparison), then zero
// bytes up to a multiple of 4 from the start of `out`. Look-ups go through
// an open-addressing table of indices (4 bytes a slot, at most half full)
// over the table's own copies (one copy of each text, no string built per
// look-up); the bucket order is only the layout.
//
// Failure: when memory runs out Index answers kNoIndex and Failed() turns
// true; Write then marks `out` as failed, so the library write fails.
// Clear() empties the table for the next compile. Not thread-safe.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "foundation/containers/FrameMemory.h"
#include "foundation/stream/ByteBuffer.h"

namespace GSCompiler {

class GSLibraryStrings {
 public:
  static constexpr uint32_t kNoIndex = 0xFFFFFFFF;
  static constexpr uint32_t kTextBlockSize = 65536;

  uint32_t Index(const char* text);
  uint32_t Count() const { return static_cast<uint32_t>(byIndex_.size()); }
  // The text of `index` (NUL-terminated; valid until Clear()).
  std::string_view Text(uint32_t index) const { return byIndex_[index]; }
  bool Failed() const { return failed_; }
  void Clear();
  void Write(ByteBuffer& out) const;

 private:
  void WriteChunk(ByteBuffer& out) const;

  Utils::FrameMemory texts_{kTextBlockSize};
  // Index + 1 of the text hashed to each slot (linear probing), 0 empty;
  // a power of two in size.
  std::vector<uint32_t> slots_;
  std::vector<std::string_view> byIndex_;  // views of texts_
  bool failed_ = false;
};

}  // namespace GSCompiler

// The index of `text` in the unit's library string table (added when new).
uint32_t GSLibraryStringIndex(GSCompiler::GSLibraryStrings& strings, const char* text);
