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
// value; within a bucket ascending by byte-wise comparison of unsigned
// bytes), then zero bytes up to a multiple of 4 from the start of `out`.
//
// Look-ups go through an open-addressing table (linear probing, at most
// half full, 4 bytes a slot) over the table's own copies (one copy of each
// text in one buffer, 8 bytes a text to find it; no string built per
// look-up). A slot keeps the text's index and,
// in the bits the index leaves free, the top of the text's hash, so a probe
// compares texts only when those bits match. The layout is made at Write:
// the indices are grouped by bucket in one counting pass, each bucket is
// sorted on its texts' first 8 bytes (held beside the index, so most
// comparisons read no text) and the chunk is reserved whole and filled
// bucket by bucket. Write frees the look-up slots first (an Index after it
// builds them again) and needs 5 bytes a text plus 24 bytes for each text
// of the largest bucket.
//
// Failure: when memory runs out Index answers kNoIndex and Failed() turns
// true; Write then marks `out` as failed, so the library write fails, as it
// does when the chunk would pass 4 GB. Clear() empties the table for the
// next compile. Not thread-safe.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "foundation/stream/ByteBuffer.h"

namespace GSCompiler {

class GSLibraryStrings {
 public:
  static constexpr uint32_t kNoIndex = 0xFFFFFFFF;
  static constexpr uint32_t kFirstTextBytes = 65536;

  uint32_t Index(const char* text);
  // A hint: starts fetching the slot where Index(text) would start probing,
  // so that a look-up made a little later need not wait for memory.
  // Changes nothing; null reads as "".
  void Prefetch(const char* text) const;
  uint32_t Count() const { return static_cast<uint32_t>(byIndex_.size()); }
  // The text of `index` (NUL-terminated; valid until the next Index or
  // Clear(), as the texts may move when they grow).
  std::string_view Text(uint32_t index) const {
    const Entry& e = byIndex_[index];
    return std::string_view(reinterpret_cast<const char*>(texts_.Data()) + e.offset, e.size);
  }
  bool Failed() const { return failed_; }
  void Clear();
  void Write(ByteBuffer& out);

 private:
  struct SortKey;
  // Where a text lies in texts_ (NUL behind it).
  struct Entry {
    uint32_t offset;
    uint32_t size;
  };
  // Enters every text into `slots` (all empty, a power of two in size).
  void FillSlots(std::vector<uint32_t>& slots) const;
  void WriteChunk(ByteBuffer& out) const;
  // Sorts one bucket's indices byte-wise by text into `keys`.
  void SortBucket(const uint32_t* indices, uint32_t n, std::vector<SortKey>& keys) const;

  // One copy of each text, NUL-terminated, in index order; grown in place
  // where the allocator can (no storage until the first text).
  ByteBuffer texts_;
  // 0 for an empty slot, else index + 1 in the bits of the mask (the slot
  // count less 1, a power of two) and the text's hash in the bits above
  // it: the table is at most half full, so index + 1 fits under the mask.
  std::vector<uint32_t> slots_;
  std::vector<Entry> byIndex_;
  bool failed_ = false;
};

}  // namespace GSCompiler

// The index of `text` in the unit's library string table (added when new).
uint32_t GSLibraryStringIndex(GSCompiler::GSLibraryStrings& strings, const char* text);
