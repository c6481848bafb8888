// GSRuntime::TrackedObjectPool: the per-context register of script
// instances, so that a context can destroy all of its objects at once.
//
// The pool keeps blocks of 1022 two-word slots, each block with its own
// free list (a free slot holds {next free slot, null}, a used one {object,
// block}); a new block links its slots in address order. Take registers an
// instance in the current block (the first block with a free slot, or a new
// one) and stores the slot in the instance's header; GiveBack puts the slot
// back at the head of its block's free list (the current block does not
// change). ContextOf gives the context an instance is registered in.
//
// Destroy (also run by the destructor) tears everything down in three
// passes over the used slots of every block, in block and slot order: pin
// every object (count + 2, so that none dies half-way), empty every object
// (release its references), then free every object and its block. Objects
// that refer to each other in cycles are freed this way. While the pool is
// being destroyed, Take refuses and GiveBack only clears the instance's
// slot.
//
// Ownership: the pool owns its blocks, not the objects it tracks, except
// that Destroy frees every object still registered whatever its count.
// Failure: Take answers false when a block cannot be allocated. Not
// thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace GSRuntime {

class GSContext;
struct GSScriptInstance;
struct GSPoolBlock;

struct GSPoolSlot {
  void* link;          // the object when used, the next free slot when free
  GSPoolBlock* block;  // null when free
};

class TrackedObjectPool {
 public:
  static constexpr uint32_t kSlotsPerBlock = 1022;

  explicit TrackedObjectPool(GSContext* owner) : owner_(owner) {}
  ~TrackedObjectPool() { Destroy(); }
  TrackedObjectPool(const TrackedObjectPool&) = delete;
  TrackedObjectPool& operator=(const TrackedObjectPool&) = delete;

  bool Take(GSScriptInstance* object);
  static void GiveBack(GSScriptInstance* object);
  static GSContext* ContextOf(const GSScriptInstance* object);

  void Destroy();

  GSContext* Owner() const { return owner_; }
  size_t BlockCount() const { return blocks_.size(); }
  bool BeingDestroyed() const { return destroying_; }

 private:
  GSPoolBlock* BlockWithRoom();
  template <typename Pass>
  void ForEachObject(Pass pass);

  GSContext* owner_;
  std::vector<GSPoolBlock*> blocks_;
  GSPoolBlock* current_ = nullptr;
  bool destroying_ = false;
};

}  // namespace GSRuntime
