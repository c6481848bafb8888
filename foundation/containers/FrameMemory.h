// Utils::FrameMemory: a frame pool that hands out aligned pieces of large
// blocks and frees them all at once.
//
// Pieces are carved from the current block; when it cannot take a request a
// new block of BlockSize() bytes is linked into the chain. A request larger
// than a block gets a dedicated block of exactly its own size, so long texts
// (string literals, log lines) are always served. Memory is never returned
// piece by piece: FreeBlocks() (or the destructor) frees every block, and
// every pointer handed out becomes invalid. The pool owns all its blocks.
//
// Failure: Allocate() and DuplicateString() answer null when memory runs out
// or the request size overflows; the pool stays usable. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Utils {

class FrameMemory {
 public:
  static constexpr uint32_t kDefaultBlockSize = 2048;

  // The first block is allocated by the first request.
  explicit FrameMemory(uint32_t blockSize = kDefaultBlockSize) : blockSize_(blockSize) {}
  ~FrameMemory() { FreeBlocks(); }
  FrameMemory(const FrameMemory&) = delete;
  FrameMemory& operator=(const FrameMemory&) = delete;

  // `n` bytes whose address is a multiple of `alignment` (0 counts as 1).
  // Reserves n + alignment - 1 bytes of the block. Null when out of memory.
  void* Allocate(size_t n, size_t alignment);
  // A NUL-terminated copy of `text` inside the pool; null for null text or
  // when out of memory.
  char* DuplicateString(const char* text);
  // Frees every block and clears the counters. The block size is kept, so
  // the pool can be used again.
  void FreeBlocks();

  uint32_t BytesAllocated() const { return bytesAllocated_; }
  uint32_t AllocationCount() const { return allocationCount_; }
  uint32_t BlockSize() const { return blockSize_; }

 private:
  struct Block;
  static Block* NewBlock(size_t dataSize);
  void* AllocateDedicated(size_t reserve, size_t alignment);
  void* Carve(Block* block, size_t reserve, size_t alignment);

  Block* first_ = nullptr;
  Block* current_ = nullptr;
  uint32_t bytesAllocated_ = 0;
  uint32_t allocationCount_ = 0;
  uint32_t blockSize_;
};

}  // namespace Utils
