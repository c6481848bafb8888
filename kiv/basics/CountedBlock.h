// Kiv::CountedBlock<T>: one heap block holding a reference count, an
// element count and the elements, shared by handles and freed with the
// last one. Copying a handle shares the block; Make gives a new block of
// `count` value-initialised elements. An empty handle has no block and
// counts 0 elements. Counting is thread-safe; the elements are not.
#pragma once

#include <cstddef>
#include <vector>

#include "kiv/ReferenceCount.h"

namespace Kiv {

template <class T>
class CountedBlock {
 public:
  CountedBlock() = default;

  static CountedBlock Make(size_t count) {
    CountedBlock handle;
    handle.block_.reset(new Block);
    handle.block_->items.resize(count);
    return handle;
  }

  bool HasBlock() const { return static_cast<bool>(block_); }
  size_t Count() const { return block_ ? block_->items.size() : 0; }
  int32_t Uses() const { return block_ ? block_->UseCount() : 0; }
  T& operator[](size_t i) const { return block_->items[i]; }
  // The elements; a handle without a block gives an empty list.
  std::vector<T>& Items() const { return block_ ? block_->items : Empty(); }
  // Makes a block when there is none.
  std::vector<T>& Ensure() {
    if (!block_) block_.reset(new Block);
    return block_->items;
  }

 private:
  struct Block : ReferenceCount {
    std::vector<T> items;
  };
  static std::vector<T>& Empty() {
    thread_local std::vector<T> none;
    none.clear();
    return none;
  }

  Ref<Block> block_;
};

}  // namespace Kiv
