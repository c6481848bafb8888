#include "foundation/containers/BlockMemory.h"

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
  current_ = AddBlock();
  return true;
}

void BlockMemory::MarkAllFree(Block& block) const {
  for (uint32_t i = 0; i < bitmapWords_; ++i) block.freeBits[i] = UINT32_MAX;
  block.used = 0;
}

int BlockMemory::AddBlock() {
  if (slotsPerBlock_ == 0) return -1;  // not set up
  try {
    if (blocks_.size() == blocks_.capacity()) blocks_.reserve(blocks_.size() + kArrayGrowth);
    auto block = std::make_unique<Block>();
    // Storage comes from operator new, aligned to 16 bytes.
    block->storage.reset(new unsigned char[size_t{slotSize_} * slotsPerBlock_]);
    block->freeBits.reset(new uint32_t[bitmapWords_]);
    MarkAllFree(*block);
    blocks_.push_back(std::move(block));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return static_cast<int>(blocks_.size() - 1);
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
    return block.storage.get() + size_t{word * 32 + bit} * slotSize_;
  }
  return nullptr;
}

void BlockMemory::SelectCurrentBlock() {
  current_ = -1;
  uint32_t best = 0;
  for (size_t i = blocks_.size(); i-- > 0;) {
    const Block& block = *blocks_[i];
    if (IsFull(block)) continue;
    if (current_ < 0 || block.used > best) {
      current_ = static_cast<int>(i);
      best = block.used;
    }
  }
}

void* BlockMemory::AllocateSlot() {
  if (current_ < 0) current_ = AddBlock();
  if (current_ < 0) return nullptr;
  void* slot = TakeFreeSlot(current_);
  if (IsFull(*blocks_[current_])) SelectCurrentBlock();
  return slot;
}

bool BlockMemory::FreeSlot(void* slot) {
  const size_t blockBytes = size_t{slotSize_} * slotsPerBlock_;
  const auto address = reinterpret_cast<uintptr_t>(slot);
  for (auto& block : blocks_) {
    const auto start = reinterpret_cast<uintptr_t>(block->storage.get());
    if (address < start || address - start >= blockBytes) continue;
    const size_t offset = address - start;
    if (offset % slotSize_ != 0) return false;
    const size_t index = offset / slotSize_;
    uint32_t& word = block->freeBits[index / 32];
    const uint32_t mask = uint32_t{1} << (index % 32);
    if ((word & mask) != 0) return false;  // already free
    word |= mask;
    --block->used;
    --count_;
    if (current_ < 0) current_ = static_cast<int>(&block - blocks_.data());
    return true;
  }
  return false;
}

void BlockMemory::RemoveBlock(int index) {
  if (index < 0 || static_cast<size_t>(index) >= blocks_.size()) return;
  count_ -= blocks_[index]->used;
  blocks_.erase(blocks_.begin() + index);
  if (current_ == index) {
    SelectCurrentBlock();
  } else if (current_ > index) {
    --current_;
  }
}

void BlockMemory::Reset() {
  if (blocks_.empty()) return;
  blocks_.resize(1);
  MarkAllFree(*blocks_[0]);
  count_ = 0;
  current_ = 0;
}

void BlockMemory::FreeBlocks() {
  blocks_.clear();
  current_ = -1;
  count_ = 0;
}

uint32_t BlockMemory::UsedSlots(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= blocks_.size()) return 0;
  return blocks_[index]->used;
}

}  // namespace Utils
