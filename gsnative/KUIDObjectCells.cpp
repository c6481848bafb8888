#include "gsnative/KUIDObjectCells.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr size_t kChunkBytes = 64 * 1024;
constexpr size_t kLineBytes = 64;
constexpr size_t kChunkHeader = kLineBytes;
constexpr uint32_t kCellsPerChunk =
    static_cast<uint32_t>((kChunkBytes - kChunkHeader) / KUIDObjectCells::kCellBytes);

constexpr uint8_t kObjectInUse = 1;
constexpr uint8_t kInstanceInUse = 2;

void Poison(void* at, size_t bytes) {
  ASAN_POISON_MEMORY_REGION(at, bytes);
  (void)at;
  (void)bytes;
}

void Unpoison(void* at, size_t bytes) {
  ASAN_UNPOISON_MEMORY_REGION(at, bytes);
  (void)at;
  (void)bytes;
}

}  // namespace

struct KUIDObjectCells::Cell {
  Cell* next;     // the chunk's next free cell, while this one is free
  uint8_t inUse;  // kObjectInUse | kInstanceInUse
  alignas(kObjectOffset) unsigned char object[kObjectBytes];
  unsigned char instance[kInstanceBytes];
};

struct KUIDObjectCells::Chunk {
  Chunk* prev;      // in open_
  Chunk* next;
  Cell* free;       // cells given back, taken again first
  uint32_t used;    // cells with a half in use
  uint32_t fresh;   // cells from this index on were never handed out
  bool open;        // listed in open_

  Cell* Cells() { return reinterpret_cast<Cell*>(reinterpret_cast<char*>(this) + kChunkHeader); }
};

KUIDObjectCells& KUIDObjectCells::Get() {
  static_assert(sizeof(Cell) == kCellBytes);
  static_assert(offsetof(Cell, object) == kObjectOffset);
  static_assert(offsetof(Cell, instance) == kInstanceOffset);
  static_assert(sizeof(Chunk) <= kChunkHeader);
  static_assert(kCellsPerChunk > 0);
  static auto* cells = new KUIDObjectCells;
  return *cells;
}

void* KUIDObjectCells::TakeObject(size_t bytes) {
  if (bytes > kObjectBytes) return nullptr;
  Chunk* chunk = OpenChunk();
  if (chunk == nullptr) return nullptr;
  Cell* cell = chunk->free;
  if (cell != nullptr) {
    chunk->free = cell->next;
  } else {
    cell = chunk->Cells() + chunk->fresh++;
    Unpoison(cell, kObjectOffset);
  }
  cell->inUse = kObjectInUse;
  ++chunk->used;
  if (chunk->free == nullptr && chunk->fresh == kCellsPerChunk) Close(chunk);
  Unpoison(cell->object, kObjectBytes);
  return cell->object;
}

void KUIDObjectCells::DropObject(void* object) {
  Chunk* chunk = nullptr;
  Cell* cell = CellOf(object, kObjectOffset, &chunk);
  if (cell == nullptr) return;
  Poison(cell->object, kObjectBytes);
  cell->inUse &= static_cast<uint8_t>(~kObjectInUse);
  Release(chunk, cell);
}

void* KUIDObjectCells::Allocate(GSRuntime::GSObjectReference* native, size_t bytes) {
  Chunk* chunk = nullptr;
  Cell* cell = bytes <= kInstanceBytes ? CellOf(native, kObjectOffset, &chunk) : nullptr;
  if (cell == nullptr || cell->inUse != kObjectInUse) return AllocateApart(native, bytes);
  Unpoison(cell->instance, bytes);
  std::memset(cell->instance, 0, bytes);
  cell->inUse |= kInstanceInUse;
  return cell->instance;
}

void* KUIDObjectCells::AllocateApart(const void* native, size_t bytes) {
  void* memory = std::calloc(1, bytes);
  if (memory == nullptr ||
      reinterpret_cast<uintptr_t>(memory) != reinterpret_cast<uintptr_t>(native) + kObjectBytes)
    return memory;
  // Only an instance in a cell may sit right after its object.
  void* other = std::calloc(1, bytes);
  std::free(memory);
  return other;
}

void KUIDObjectCells::Free(void* memory, size_t bytes) {
  Chunk* chunk = nullptr;
  Cell* cell = bytes <= kInstanceBytes ? CellOf(memory, kInstanceOffset, &chunk) : nullptr;
  if (cell == nullptr) {
    std::free(memory);
    return;
  }
  Poison(cell->instance, kInstanceBytes);
  cell->inUse &= static_cast<uint8_t>(~kInstanceInUse);
  Release(chunk, cell);
}

KUIDObjectCells::Cell* KUIDObjectCells::CellOf(const void* part, size_t offset,
                                               Chunk** chunkOf) const {
  const auto address = reinterpret_cast<uintptr_t>(part);
  // The last chunk that starts at or before `part`.
  const auto after = std::upper_bound(chunks_.begin(), chunks_.end(), address);
  if (part == nullptr || after == chunks_.begin()) return nullptr;
  const uintptr_t base = *(after - 1);
  // Inside the chunk's header, `at - kChunkHeader` wraps to an index past
  // the last cell; past the chunk, the index is past it too.
  const uintptr_t at = address - base;
  const size_t index = (at - kChunkHeader) / kCellBytes;
  if (index >= kCellsPerChunk || (at - kChunkHeader) % kCellBytes != offset) return nullptr;
  auto* chunk = reinterpret_cast<Chunk*>(base);
  if (chunkOf != nullptr) *chunkOf = chunk;
  return chunk->Cells() + index;
}

KUIDObjectCells::Chunk* KUIDObjectCells::OpenChunk() {
  if (open_ != nullptr) return open_;
  Chunk* chunk = spare_;
  if (chunk == nullptr) {
    // Aligned to a line only: a chunk is found by its address among
    // chunks_, and a stricter alignment would leave holes in the heap.
    chunk = static_cast<Chunk*>(std::aligned_alloc(kLineBytes, kChunkBytes));
    if (chunk == nullptr) return nullptr;
  }
  const auto base = reinterpret_cast<uintptr_t>(chunk);
  try {
    chunks_.insert(std::lower_bound(chunks_.begin(), chunks_.end(), base), base);
  } catch (const std::bad_alloc&) {
    if (chunk != spare_) std::free(chunk);
    return nullptr;
  }
  if (chunk == spare_) spare_ = nullptr;
  *chunk = Chunk{nullptr, nullptr, nullptr, 0, 0, false};
  Poison(chunk->Cells(), kCellsPerChunk * kCellBytes);
  Open(chunk);
  return chunk;
}

void KUIDObjectCells::Open(Chunk* chunk) {
  chunk->prev = nullptr;
  chunk->next = open_;
  if (open_ != nullptr) open_->prev = chunk;
  open_ = chunk;
  chunk->open = true;
}

void KUIDObjectCells::Close(Chunk* chunk) {
  if (chunk->prev != nullptr) chunk->prev->next = chunk->next;
  if (chunk->next != nullptr) chunk->next->prev = chunk->prev;
  if (open_ == chunk) open_ = chunk->next;
  chunk->prev = chunk->next = nullptr;
  chunk->open = false;
}

void KUIDObjectCells::Release(Chunk* chunk, Cell* cell) {
  if (cell->inUse != 0) return;
  cell->next = chunk->free;
  chunk->free = cell;
  if (--chunk->used != 0) {
    if (!chunk->open) Open(chunk);
    return;
  }
  if (chunk->open) Close(chunk);
  const auto base = reinterpret_cast<uintptr_t>(chunk);
  chunks_.erase(std::lower_bound(chunks_.begin(), chunks_.end(), base));
  if (spare_ == nullptr) {
    spare_ = chunk;
    return;
  }
  Unpoison(chunk->Cells(), kCellsPerChunk * kCellBytes);
  std::free(chunk);
}
