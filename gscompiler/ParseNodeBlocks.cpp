#include <sys/mman.h>

#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

#include "gscompiler/ParseNode.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VU_NODE_BLOCKS_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VU_NODE_BLOCKS_ASAN 1
#endif
#ifdef VU_NODE_BLOCKS_ASAN
#include <sanitizer/asan_interface.h>
// A kept block is poisoned until it is handed out again, so that a node
// read after its block was released is reported.
#define VU_POISON_BLOCK(block) ASAN_POISON_MEMORY_REGION(block, kBlockBytes)
#define VU_UNPOISON_BLOCK(block) ASAN_UNPOISON_MEMORY_REGION(block, kBlockBytes)
#else
#define VU_POISON_BLOCK(block) ((void)(block))
#define VU_UNPOISON_BLOCK(block) ((void)(block))
#endif

namespace GSCompiler::ParseNodeBlocks {

char* blockStart[kMaxBlocks];

namespace {

// Blocks are cut from mappings of this many blocks, each aligned to a block.
constexpr size_t kBlocksPerChunk = 64;
// Freed blocks kept mapped for reuse (16 MB): a compile that follows another
// takes them without page faults; beyond this, freed blocks are unmapped so
// that a large compile gives its memory back while it goes on. Of the kept
// blocks, only the first `residentLimit` keep their pages (SetResidentLimit).
constexpr size_t kMaxCachedBlocks = 256;

std::mutex lock;
std::vector<uint32_t> freeNumbers;
std::vector<char*> cachedBlocks;
uint32_t nextNumber = 1;
char* chunk = nullptr;       // the rest of the current mapping
size_t chunkBlocksLeft = 0;  // blocks left in it
size_t residentLimit = kMaxCachedBlocks;

// A mapping of kBlocksPerChunk blocks aligned to kBlockBytes, or null.
char* MapChunk() {
  const size_t bytes = kBlocksPerChunk * kBlockBytes;
  void* raw = mmap(nullptr, bytes + kBlockBytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kBlockBytes - 1) & ~(uintptr_t{kBlockBytes} - 1);
  if (aligned != start) munmap(raw, aligned - start);
  const uintptr_t tail = start + bytes + kBlockBytes - (aligned + bytes);
  if (tail != 0) munmap(reinterpret_cast<void*>(aligned + bytes), tail);
  return reinterpret_cast<char*>(aligned);
}

}  // namespace

char* Allocate(uint32_t* number) {
  std::lock_guard<std::mutex> guard(lock);
  uint32_t n;
  if (!freeNumbers.empty()) {
    n = freeNumbers.back();
  } else if (nextNumber < kMaxBlocks) {
    n = nextNumber;
  } else {
    return nullptr;
  }
  char* block;
  if (!cachedBlocks.empty()) {
    block = cachedBlocks.back();
    cachedBlocks.pop_back();
    VU_UNPOISON_BLOCK(block);
  } else {
    if (chunkBlocksLeft == 0) {
      chunk = MapChunk();
      if (chunk == nullptr) return nullptr;
      chunkBlocksLeft = kBlocksPerChunk;
    }
    block = chunk;
    chunk += kBlockBytes;
    --chunkBlocksLeft;
  }
  if (!freeNumbers.empty()) {
    freeNumbers.pop_back();
  } else {
    ++nextNumber;
  }
  blockStart[n] = block;
  reinterpret_cast<BlockHeader*>(block)->number = n;
  *number = n;
  return block;
}

size_t SetResidentLimit(size_t blocks) {
  std::lock_guard<std::mutex> guard(lock);
  const size_t previous = residentLimit;
  residentLimit = blocks;
  return previous;
}

void Free(uint32_t number) {
  std::lock_guard<std::mutex> guard(lock);
  char* block = blockStart[number];
  if (block == nullptr) return;
  blockStart[number] = nullptr;
  try {
    if (cachedBlocks.size() < kMaxCachedBlocks) {
      if (cachedBlocks.size() >= residentLimit) madvise(block, kBlockBytes, MADV_DONTNEED);
      cachedBlocks.push_back(block);
      VU_POISON_BLOCK(block);
      block = nullptr;
    }
  } catch (const std::bad_alloc&) {
    // Unmapped below instead.
  }
  if (block != nullptr) munmap(block, kBlockBytes);
  try {
    freeNumbers.push_back(number);
  } catch (const std::bad_alloc&) {
    // The number is lost, the memory is not.
  }
}

}  // namespace GSCompiler::ParseNodeBlocks
