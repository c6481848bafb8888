// Utils::BlockMemory: a pool of fixed-size slots kept in blocks, each block
// with a bitmap of its free slots (a set bit is a free slot).
//
// Init() rounds the slot size up to a multiple of 4 and the slots per block
// up to a multiple of 32 (at least 4 bytes and 32 slots), then adds the
// first block. Slots are taken from the
// current block, scanning its bitmap from the end (the last slot of a fresh
// block comes first). When the current block fills up, the fullest block that
// still has room becomes current (among equals the later block); when every
// block is full the next request adds a block.
//
// The blocks with room are kept ordered by fill and the blocks by address,
// so taking and freeing a slot cost a logarithm of the block count however
// many blocks the pool holds.
//
// Slots are uninitialised memory, aligned to at least 4 bytes (to 16 when the
// slot size is a multiple of 16). FreeSlot() returns one slot to its block;
// Reset() and FreeBlocks() release everything at once, invalidating every
// slot. The pool owns its blocks; the owner value is only kept for the caller.
//
// Failure: Init() answers false when the slot geometry is unusable (a block
// would exceed 4 GiB) or the block-pointer array cannot be allocated; when
// only the first block fails, the first request tries again. AddBlock()
// answers -1 and the allocating calls answer null when memory runs out.
// Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace Utils {

class BlockMemory {
 public:
  static constexpr uint32_t kArrayGrowth = 4;  // block-pointer array step

  BlockMemory() = default;
  ~BlockMemory() = default;
  BlockMemory(const BlockMemory&) = delete;
  BlockMemory& operator=(const BlockMemory&) = delete;

  // Sets the pool up afresh (any earlier blocks are freed).
  bool Init(void* owner, uint32_t slotSize, uint32_t slotsPerBlock);

  // Adds an empty block; its index, or -1 when memory runs out.
  int AddBlock();
  // A free slot of block `index`; null when the block is full or absent.
  void* TakeFreeSlot(int index);
  // A free slot, adding a block when none has room; null when out of memory.
  void* AllocateSlot();
  void* Allocate() { return AllocateSlot(); }
  // Returns `slot` to its block. False (and nothing changes) when it is not
  // a slot of this pool or is already free.
  bool FreeSlot(void* slot);
  // Makes current the fullest block that is not full; none when all are.
  void SelectCurrentBlock();
  // Frees block `index` and closes the gap; out of range does nothing.
  void RemoveBlock(int index);
  // Frees every block but the first and marks all the first's slots free.
  void Reset();
  void FreeBlocks();

  void* Owner() const { return owner_; }
  uint32_t SlotSize() const { return slotSize_; }
  uint32_t SlotsPerBlock() const { return slotsPerBlock_; }
  uint32_t BlockCount() const { return static_cast<uint32_t>(blocks_.size()); }
  // Slots in use over the whole pool.
  uint32_t Count() const { return count_; }
  // Index of the current block, or -1.
  int CurrentBlock() const { return current_; }
  // Slots in use in block `index` (0 when absent).
  uint32_t UsedSlots(int index) const;

 private:
  struct Block {
    uint32_t used = 0;
    std::unique_ptr<unsigned char[]> storage;
    std::unique_ptr<uint32_t[]> freeBits;
  };

  bool IsFull(const Block& block) const { return block.used == slotsPerBlock_; }
  void MarkAllFree(Block& block) const;
  // Keeps open_ in step with a change of block `index`'s fill from `before`.
  void NoteFill(int index, uint32_t before);
  // Makes `index` (or none, -1) current, keeping open_ in step.
  void SetCurrent(int index);
  // Rebuilds open_ and starts_ after the block indices changed.
  void Reindex();

  std::vector<std::unique_ptr<Block>> blocks_;
  // (used, index) of every block with room but the current one; the last
  // entry is the fullest, among equals the later block.
  std::set<std::pair<uint32_t, int>> open_;
  std::map<uintptr_t, int> starts_;  // block storage address -> index
  int current_ = -1;
  void* owner_ = nullptr;
  uint32_t slotsPerBlock_ = 0;
  uint32_t bitmapWords_ = 0;
  uint32_t slotSize_ = 0;
  uint32_t count_ = 0;
};

}  // namespace Utils
