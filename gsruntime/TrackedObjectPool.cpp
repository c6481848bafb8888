#include "gsruntime/TrackedObjectPool.h"

#include <new>

#include "gsruntime/GSScriptInstance.h"

namespace GSRuntime {

struct GSPoolBlock {
  TrackedObjectPool* pool;
  GSPoolSlot* freeHead;
  GSPoolSlot slots[TrackedObjectPool::kSlotsPerBlock];
};

namespace {

GSPoolBlock* NewBlock(TrackedObjectPool* pool) {
  GSPoolBlock* block = new (std::nothrow) GSPoolBlock;
  if (block == nullptr) return nullptr;
  block->pool = pool;
  for (uint32_t i = 0; i < TrackedObjectPool::kSlotsPerBlock; ++i) {
    const bool last = i + 1 == TrackedObjectPool::kSlotsPerBlock;
    block->slots[i] = GSPoolSlot{last ? nullptr : &block->slots[i + 1], nullptr};
  }
  block->freeHead = &block->slots[0];
  return block;
}

}  // namespace

GSPoolBlock* TrackedObjectPool::BlockWithRoom() {
  if (current_ != nullptr) return current_;
  for (GSPoolBlock* block : blocks_)
    if (block->freeHead != nullptr) return current_ = block;
  GSPoolBlock* block = NewBlock(this);
  if (block == nullptr) return nullptr;
  try {
    blocks_.push_back(block);
  } catch (const std::bad_alloc&) {
    delete block;
    return nullptr;
  }
  return current_ = block;
}

bool TrackedObjectPool::Take(GSScriptInstance* object) {
  if (destroying_) return false;
  GSPoolBlock* block = BlockWithRoom();
  if (block == nullptr) return false;
  GSPoolSlot* slot = block->freeHead;
  block->freeHead = static_cast<GSPoolSlot*>(slot->link);
  *slot = GSPoolSlot{object, block};
  object->poolSlot = slot;
  if (block->freeHead == nullptr) current_ = nullptr;
  return true;
}

void TrackedObjectPool::GiveBack(GSScriptInstance* object) {
  GSPoolSlot* slot = object->poolSlot;
  if (slot == nullptr) return;
  object->poolSlot = nullptr;
  GSPoolBlock* block = slot->block;
  if (block->pool->destroying_) return;
  *slot = GSPoolSlot{block->freeHead, nullptr};
  block->freeHead = slot;
}

GSContext* TrackedObjectPool::ContextOf(const GSScriptInstance* object) {
  if (object == nullptr || object->poolSlot == nullptr) return nullptr;
  return object->poolSlot->block->pool->owner_;
}

template <typename Pass>
void TrackedObjectPool::ForEachObject(Pass pass) {
  for (GSPoolBlock* block : blocks_)
    for (GSPoolSlot& slot : block->slots)
      if (slot.block != nullptr) pass(static_cast<GSScriptInstance*>(slot.link));
}

void TrackedObjectPool::Destroy() {
  if (destroying_) return;
  destroying_ = true;
  current_ = nullptr;
  ForEachObject([](GSScriptInstance* object) { object->Pin(); });
  ForEachObject([](GSScriptInstance* object) { object->Empty(); });
  for (GSPoolBlock* block : blocks_) {
    for (GSPoolSlot& slot : block->slots) {
      if (slot.block == nullptr) continue;
      GSScriptInstance* object = static_cast<GSScriptInstance*>(slot.link);
      slot.block = nullptr;
      object->poolSlot = nullptr;
      object->Free();
    }
    delete block;
  }
  blocks_.clear();
}

}  // namespace GSRuntime
