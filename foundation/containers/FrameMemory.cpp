#include "foundation/containers/FrameMemory.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

namespace Utils {

// Header of a block; its data follows it in the same allocation.
struct FrameMemory::Block {
  unsigned char* cursor;  // start of the data
  size_t capacity;        // data bytes in this block
  size_t used;            // data bytes handed out
  Block* next;
};

FrameMemory::Block* FrameMemory::NewBlock(size_t dataSize) {
  if (dataSize > std::numeric_limits<size_t>::max() - sizeof(Block)) return nullptr;
  void* raw = ::operator new(sizeof(Block) + dataSize, std::nothrow);
  if (raw == nullptr) return nullptr;
  Block* block = new (raw) Block;
  block->cursor = reinterpret_cast<unsigned char*>(block + 1);
  block->capacity = dataSize;
  block->used = 0;
  block->next = nullptr;
  return block;
}

void* FrameMemory::Carve(Block* block, size_t reserve, size_t alignment) {
  uintptr_t start = reinterpret_cast<uintptr_t>(block->cursor + block->used);
  uintptr_t aligned = (start + alignment - 1) / alignment * alignment;
  block->used += reserve;
  bytesAllocated_ += static_cast<uint32_t>(reserve);
  ++allocationCount_;
  return block->cursor + (aligned - reinterpret_cast<uintptr_t>(block->cursor));
}

// A request larger than a block gets a block of its own. It goes to the
// head of the chain, so the current block keeps serving small requests.
void* FrameMemory::AllocateDedicated(size_t reserve, size_t alignment) {
  Block* block = NewBlock(reserve);
  if (block == nullptr) return nullptr;
  block->next = first_;
  first_ = block;
  return Carve(block, reserve, alignment);
}

void* FrameMemory::Allocate(size_t n, size_t alignment) {
  if (alignment == 0) alignment = 1;
  if (n > std::numeric_limits<size_t>::max() - (alignment - 1)) return nullptr;
  const size_t reserve = n + alignment - 1;
  if (reserve > blockSize_) return AllocateDedicated(reserve, alignment);
  if (current_ != nullptr && current_->capacity - current_->used >= reserve) {
    return Carve(current_, reserve, alignment);
  }
  Block* block = NewBlock(blockSize_);
  if (block == nullptr) return nullptr;
  if (current_ == nullptr) {
    block->next = first_;
    first_ = block;
  } else {
    block->next = current_->next;
    current_->next = block;
  }
  current_ = block;
  return Carve(block, reserve, alignment);
}

char* FrameMemory::DuplicateString(const char* text) {
  if (text == nullptr) return nullptr;
  const size_t length = std::strlen(text);
  char* copy = static_cast<char*>(Allocate(length + 1, 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text, length + 1);
  return copy;
}

void FrameMemory::FreeBlocks() {
  Block* block = first_;
  while (block != nullptr) {
    Block* next = block->next;
    block->~Block();
    ::operator delete(block);
    block = next;
  }
  first_ = nullptr;
  current_ = nullptr;
  bytesAllocated_ = 0;
  allocationCount_ = 0;
}

}  // namespace Utils
