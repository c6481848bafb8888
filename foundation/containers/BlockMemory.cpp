#include "foundation/containers/BlockMemory.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <new>

namespace Utils {

namespace {

uint64_t RoundUp(uint64_t value, uint64_t step) {
  return (value + step - 1) / step * step;
}

}  // namespace

bool BlockMemory::Init(void* owner, uint32_t slotSize, uint32_t slotsPerBlock) {
  FreeBlocks();
  const uint64_t size = RoundUp(slotSize == 0 ? 1 : slotSize, 4);
  const uint64_t slots = RoundUp(slotsPerBlock == 0 ? 1 : slotsPerBlock, 32);
  // Slot offsets are kept in 32 bits.
  if (size * slots > UINT32_MAX) return false;
  owner_ = owner;
  slotSize_ = static_cast<uint32_t>(size);
  slotsPerBlock_ = static_cast<uint32_t>(slots);
  bitmapWords_ = slotsPerBlock_ / 32;
  try {
    blocks_.reserve(kArrayGrowth);
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Without a first block the first request adds one.
  SetCurrent(AddBlock());
  return true;
}

void BlockMemory::MarkAllFree(Block& block) const {
  for (uint32_t i = 0; i < bitmapWords_; ++i) block.freeBits[i] = UINT32_MAX;
  block.used = 0;
}

int BlockMemory::AddBlock() {
  if (slotsPerBlock_ == 0) return -1;  // not set up
  const int index = static_cast<int>(blocks_.size());
  uintptr_t start = 0;
  try {
    // The pointer array grows geometrically, by at least kArrayGrowth.
    if (blocks_.size() == blocks_.capacity())
      blocks_.reserve(blocks_.size() + std::max<size_t>(kArrayGrowth, blocks_.size()));
    auto block = std::make_unique<Block>();
    // Storage comes from operator new, aligned to 16 bytes.
    block->storage.reset(new unsigned char[size_t{slotSize_} * slotsPerBlock_]);
    block->freeBits.reset(new uint32_t[bitmapWords_]);
    MarkAllFree(*block);
    start = reinterpret_cast<uintptr_t>(block->storage.get());
    starts_.emplace(start, index);
    blocks_.push_back(std::move(block));  // room reserved above
    open_.emplace(0, index);
  } catch (const std::bad_alloc&) {
    if (start != 0) starts_.erase(start);
    if (blocks_.size() > static_cast<size_t>(index)) blocks_.pop_back();
    return -1;
  }
  return index;
}

void BlockMemory::NoteFill(int index, uint32_t before) {
  if (index == current_) return;
  const uint32_t after = blocks_[index]->used;
  if (before < slotsPerBlock_) open_.erase({before, index});
  // Inserting into a set of at most one entry per block: when it cannot
  // allocate, the block is only left out of the choice of a next block.
  if (after < slotsPerBlock_) {
    try {
      open_.emplace(after, index);
    } catch (const std::bad_alloc&) {
    }
  }
}

void BlockMemory::SetCurrent(int index) {
  const int previous = current_;
  current_ = index;
  if (previous >= 0 && static_cast<size_t>(previous) < blocks_.size() && previous != index &&
      !IsFull(*blocks_[previous])) {
    try {
      open_.emplace(blocks_[previous]->used, previous);
    } catch (const std::bad_alloc&) {
    }
  }
  if (index >= 0) open_.erase({blocks_[index]->used, index});
}

void BlockMemory::Reindex() {
  open_.clear();
  starts_.clear();
  for (size_t i = 0; i < blocks_.size(); ++i) {
    const int index = static_cast<int>(i);
    starts_.emplace(reinterpret_cast<uintptr_t>(blocks_[i]->storage.get()), index);
    if (index != current_ && !IsFull(*blocks_[i])) open_.emplace(blocks_[i]->used, index);
  }
}

void* BlockMemory::TakeFreeSlot(int index) {
  if (index < 0 || static_cast<size_t>(index) >= blocks_.size()) return nullptr;
  Block& block = *blocks_[index];
  for (uint32_t word = bitmapWords_; word-- > 0;) {
    const uint32_t bits = block.freeBits[word];
    if (bits == 0) continue;
    const uint32_t bit = 31 - static_cast<uint32_t>(std::countl_zero(bits));
    block.freeBits[word] = bits & ~(uint32_t{1} << bit);
    ++block.used;
    ++count_;
    NoteFill(index, block.used - 1);
    return block.storage.get() + size_t{word * 32 + bit} * slotSize_;
  }
  return nullptr;
}

void BlockMemory::SelectCurrentBlock() {
  SetCurrent(-1);
  if (!open_.empty()) SetCurrent(open_.rbegin()->second);
}

void* BlockMemory::AllocateSlot() {
  if (current_ < 0) SetCurrent(AddBlock());
  if (current_ < 0) return nullptr;
  void* slot = TakeFreeSlot(current_);
  if (IsFull(*blocks_[current_])) SelectCurrentBlock();
  return slot;
}

bool BlockMemory::FreeSlot(void* slot) {
  const size_t blockBytes = size_t{slotSize_} * slotsPerBlock_;
  const auto address = reinterpret_cast<uintptr_t>(slot);
  // The block starting at or before the address.
  auto found = starts_.upper_bound(address);
  if (found == starts_.begin()) return false;
  --found;
  const uintptr_t start = found->first;
  const int blockIndex = found->second;
  if (address - start >= blockBytes) return false;
  Block& block = *blocks_[blockIndex];
  const size_t offset = address - start;
  if (offset % slotSize_ != 0) return false;
  const size_t index = offset / slotSize_;
  uint32_t& word = block.freeBits[index / 32];
  const uint32_t mask = uint32_t{1} << (index % 32);
  if ((word & mask) != 0) return false;  // already free
  word |= mask;
  --block.used;
  --count_;
  NoteFill(blockIndex, block.used + 1);
  if (current_ < 0) SetCurrent(blockIndex);
  return true;
}

void BlockMemory::RemoveBlock(int index) {
  if (index < 0 || static_cast<size_t>(index) >= blocks_.size()) return;
  count_ -= blocks_[index]->used;
  blocks_.erase(blocks_.begin() + index);
  const bool wasCurrent = current_ == index;
  if (wasCurrent) {
    current_ = -1;
  } else if (current_ > index) {
    --current_;
  }
  Reindex();
  if (wasCurrent) SelectCurrentBlock();
}

void BlockMemory::Reset() {
  if (blocks_.empty()) return;
  blocks_.resize(1);
  MarkAllFree(*blocks_[0]);
  count_ = 0;
  current_ = 0;
  Reindex();
}

void BlockMemory::FreeBlocks() {
  blocks_.clear();
  open_.clear();
  starts_.clear();
  current_ = -1;
  count_ = 0;
}

uint32_t BlockMemory::UsedSlots(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= blocks_.size()) return 0;
  return blocks_[index]->used;
}

}  // namespace Utils
