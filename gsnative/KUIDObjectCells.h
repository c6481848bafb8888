// KUIDObjectCells: where KUID objects (GSOKUID.h) and their script
// instances live, side by side.
//
// A KUID object and the instance attached to it share one cell of three
// cache lines. The cell is laid out so that what the interpreter and a KUID
// list's natives read for each KUID argument (the instance's count, object,
// class and first slot, and the object's KUID) lie in its middle line:
// passing a KUID touches one line instead of two or three lines in
// separate heap blocks. Cells are cut from 64 KiB chunks (line-aligned heap
// blocks) in address order, so KUIDs made one after another sit next to
// each other.
//
// TakeObject gives the storage of one object (at most kObjectBytes, aligned
// for it), or null when no chunk can be had. Allocate (GSInstanceMemory)
// places the instance of such an object in its cell when it fits
// (kInstanceBytes), right after the object; any other instance of the
// class (a pure one, or one too large) comes from calloc and never sits
// right after its object. A cell is given back once both its object
// (DropObject) and its instance (Free) are gone, in either order: a release
// destroys the instance first, a context teardown the object. A chunk
// without a cell in use goes back to the heap, except one kept for the next
// KUIDs.
//
// Free and Allocate tell a cell from calloc memory by the chunks they know,
// so the class may be given this memory after some of its instances exist.
// Under AddressSanitizer, cells and halves not in use are poisoned.
//
// Process-wide and never destroyed, like the KUID registry (objects may
// outlive static destruction). Not thread-safe: KUID objects are made and
// dropped on the thread that runs scripts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gsruntime/GSInstanceMemory.h"

class KUIDObjectCells final : public GSRuntime::GSInstanceMemory {
 public:
  static constexpr size_t kCellBytes = 192;
  static constexpr size_t kObjectOffset = 32;
  static constexpr size_t kObjectBytes = 56;
  static constexpr size_t kInstanceOffset = kObjectOffset + kObjectBytes;
  static constexpr size_t kInstanceBytes = kCellBytes - kInstanceOffset;

  static KUIDObjectCells& Get();

  void* TakeObject(size_t bytes);
  void DropObject(void* object);

  void* Allocate(GSRuntime::GSObjectReference* native, size_t bytes) override;
  void Free(void* memory, size_t bytes) override;

  // Chunks held (in use or kept), for tests.
  size_t ChunkCount() const { return chunks_.size() + (spare_ != nullptr ? 1 : 0); }

 private:
  struct Chunk;
  struct Cell;

  KUIDObjectCells() = default;

  // The cell whose part at `offset` is `part` (and its chunk in *chunk when
  // given), or null when `part` is not there in a chunk of ours.
  Cell* CellOf(const void* part, size_t offset, Chunk** chunk = nullptr) const;
  // An instance outside the cells, never right after its object.
  static void* AllocateApart(const void* native, size_t bytes);
  Chunk* OpenChunk();
  void Open(Chunk* chunk);
  void Close(Chunk* chunk);
  // Gives the cell back once neither of its halves is in use.
  void Release(Chunk* chunk, Cell* cell);

  // Addresses of the chunks in use, sorted.
  std::vector<uintptr_t> chunks_;
  // Chunks with a cell to spare, most recently opened first.
  Chunk* open_ = nullptr;
  // One empty chunk kept back from the heap.
  Chunk* spare_ = nullptr;
};
