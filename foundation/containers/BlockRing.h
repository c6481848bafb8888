// BlockRing<T, N>: the common core of the chunked lists (ChunkList,
// BlockList, PointerBlockList).
//
// A list is one pointer to its first block, null while it holds nothing.
// Blocks form a circular doubly linked ring (the first block's `prev` is the
// last block); each block has a `count` and room for N entries packed from
// its start. No block is ever left empty: erasing the last entry of a block
// unlinks and frees it, and the list becomes null again when its only block
// goes. Slots that are not in use hold Fill::Value() (a value-initialised T
// unless the list says otherwise), so an erased entry is released at once.
//
// Iterators are (entry, list, block); the end iterator has a null entry.
// Advance(n) crosses blocks in either direction; stepping past the last
// entry, or before the first, gives the end, and the end stays the end.
// Any change to the list invalidates every iterator except the one that an
// erasing operation returns.
//
// Ownership: the list owns its blocks and the entry values in them. A list
// of pointers does not own the objects pointed at (ChunkList::DeleteAll
// deletes them on request). Lists move but do not copy.
//
// Failure: when a block cannot be allocated, std::bad_alloc propagates; the
// program treats running out of memory here as fatal, since a list that
// cannot hold what it was given has no sound way to go on.
//
// Not thread-safe: callers serialise all access to one list.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

template <typename T>
struct ValueInitFill {
  static T Value() { return T{}; }
};

// Where the blocks of a ring come from: the heap, unless a list names a
// storage of its own (a base class with the same two members; FreeBlock
// gets only blocks that its AllocateBlock gave).
struct HeapBlocks {
  static void* AllocateBlock(size_t bytes) { return ::operator new(bytes); }
  static void FreeBlock(void* block) { ::operator delete(block); }
};

template <typename T, uint32_t N, typename Fill = ValueInitFill<T>, typename Storage = HeapBlocks>
class BlockRing : protected Storage {
  static_assert(N > 0, "a block needs room for at least one entry");

 public:
  static constexpr uint32_t kBlockEntries = N;

  struct Block {
    Block* next;
    Block* prev;
    uint32_t count = 0;
    T entries[N];

    Block() : next(this), prev(this) {
      for (T& e : entries) e = Fill::Value();
    }
  };

  class Iterator {
   public:
    Iterator() = default;
    Iterator(T* entry, BlockRing* list, Block* block) : entry_(entry), list_(list), block_(block) {}

    bool AtEnd() const { return entry_ == nullptr; }
    T& operator*() const { return *entry_; }
    T* operator->() const { return entry_; }
    T* Entry() const { return entry_; }
    Block* CurrentBlock() const { return block_; }
    BlockRing* List() const { return list_; }
    uint32_t IndexInBlock() const { return static_cast<uint32_t>(entry_ - block_->entries); }

    // Moves by n entries; a negative n moves backward.
    void Advance(int64_t n) {
      if (n >= 0) return Forward(static_cast<uint64_t>(n));
      Backward(static_cast<uint64_t>(-(n + 1)) + 1);
    }
    void Retreat(int64_t n) {
      if (n >= 0) return Backward(static_cast<uint64_t>(n));
      Forward(static_cast<uint64_t>(-(n + 1)) + 1);
    }
    // The same as Advance; some callers use this name.
    void AdvanceAlt(int64_t n) { Advance(n); }
    void Next() { Forward(1); }

    Iterator& operator++() {
      Forward(1);
      return *this;
    }
    bool operator==(const Iterator& other) const { return entry_ == other.entry_; }

   private:
    void SetEnd() {
      entry_ = nullptr;
      block_ = nullptr;
    }

    void Forward(uint64_t n) {
      if (AtEnd()) return;
      Block* b = block_;
      uint64_t idx = IndexInBlock() + n;
      while (idx >= b->count) {
        idx -= b->count;
        b = b->next;
        if (b == list_->first_) return SetEnd();
      }
      block_ = b;
      entry_ = &b->entries[idx];
    }

    void Backward(uint64_t n) {
      if (AtEnd()) return;
      Block* b = block_;
      uint64_t idx = IndexInBlock();
      while (n > idx) {
        if (b == list_->first_) return SetEnd();
        n -= idx + 1;  // onto the last entry of the previous block
        b = b->prev;
        idx = b->count - 1;
      }
      block_ = b;
      entry_ = &b->entries[idx - n];
    }

    T* entry_ = nullptr;
    BlockRing* list_ = nullptr;
    Block* block_ = nullptr;
  };

  BlockRing() = default;
  ~BlockRing() { FreeBlocks(); }
  BlockRing(const BlockRing&) = delete;
  BlockRing& operator=(const BlockRing&) = delete;
  BlockRing(BlockRing&& other) noexcept : first_(std::exchange(other.first_, nullptr)) {}
  BlockRing& operator=(BlockRing&& other) noexcept {
    if (this == &other) return *this;
    FreeBlocks();
    first_ = std::exchange(other.first_, nullptr);
    return *this;
  }

  bool Empty() const { return first_ == nullptr; }
  Block* FirstBlock() const { return first_; }

  // Sum of the blocks' counts.
  uint32_t Count() const {
    uint32_t n = 0;
    ForEachBlock([&](const Block* b) { n += b->count; });
    return n;
  }
  uint32_t BlockCount() const {
    uint32_t n = 0;
    ForEachBlock([&](const Block*) { ++n; });
    return n;
  }

  Iterator Begin() {
    if (!first_) return End();
    return Iterator(&first_->entries[0], this, first_);
  }
  Iterator End() { return Iterator(nullptr, this, nullptr); }
  Iterator begin() { return Begin(); }
  Iterator end() { return End(); }

  // The begin iterator advanced `index` times (the end when out of range).
  Iterator At(uint32_t index) {
    Iterator it = Begin();
    it.Advance(index);
    return it;
  }

  // The first entry for which pred(entry) holds, or the end.
  template <typename Pred>
  Iterator FindIf(Pred pred) {
    for (Iterator it = Begin(); !it.AtEnd(); it.Next()) {
      if (pred(*it)) return it;
    }
    return End();
  }

  // Removes the entry at `it`, moving the block's following entries one
  // place down, and answers the position that follows. The end iterator or
  // an iterator of another list changes nothing and gives the end.
  Iterator Erase(Iterator it) { return RemoveAt(it, false); }

  // Frees every block; the list becomes null.
  void FreeBlocks() {
    if (!first_) return;
    Block* b = first_->next;
    while (b != first_) {
      Block* next = b->next;
      DeleteBlock(b);
      b = next;
    }
    DeleteBlock(first_);
    first_ = nullptr;
  }

 protected:
  // Appends into the last block, linking a new block at the end when the
  // last one is full. Answers the entry's index within its block.
  uint32_t AppendToLast(T value) {
    if (!first_ || first_->prev->count == N) LinkNewBlock();
    Block* last = first_->prev;
    last->entries[last->count] = std::move(value);
    return last->count++;
  }

  // Links a new empty block at the end of the ring (it becomes the first
  // block of a null list).
  Block* LinkNewBlock() {
    Block* b = NewBlock();
    if (!first_) {
      first_ = b;
      return b;
    }
    b->next = first_;
    b->prev = first_->prev;
    first_->prev->next = b;
    first_->prev = b;
    return b;
  }

  // Removes the entry at `it`. With `moveLast` the block's last entry fills
  // the hole; otherwise the following entries move down in order.
  Iterator RemoveAt(Iterator it, bool moveLast) {
    if (it.AtEnd() || it.List() != this) return End();
    Block* b = it.CurrentBlock();
    uint32_t idx = it.IndexInBlock();
    uint32_t last = b->count - 1;
    if (moveLast && idx != last) b->entries[idx] = std::move(b->entries[last]);
    if (!moveLast) std::move(b->entries + idx + 1, b->entries + b->count, b->entries + idx);
    b->entries[last] = Fill::Value();
    b->count = last;
    if (b->count == 0) return FreeEmptyBlock(b);
    if (idx < b->count) return Iterator(&b->entries[idx], this, b);
    if (b->next == first_) return End();
    return Iterator(&b->next->entries[0], this, b->next);
  }

 private:
  // Unlinks and frees an empty block; answers the start of the next block.
  Iterator FreeEmptyBlock(Block* b) {
    Block* next = b->next;
    bool wasLast = next == first_;
    if (next == b) {
      first_ = nullptr;
    } else {
      b->prev->next = next;
      next->prev = b->prev;
      if (first_ == b) first_ = next;
    }
    DeleteBlock(b);
    if (wasLast) return End();
    return Iterator(&next->entries[0], this, next);
  }

  Block* NewBlock() {
    void* room = this->AllocateBlock(sizeof(Block));
    try {
      return new (room) Block;
    } catch (...) {
      this->FreeBlock(room);
      throw;
    }
  }
  void DeleteBlock(Block* b) {
    b->~Block();
    this->FreeBlock(b);
  }

  template <typename F>
  void ForEachBlock(F f) const {
    if (!first_) return;
    const Block* b = first_;
    do {
      f(b);
      b = b->next;
    } while (b != first_);
  }

  Block* first_ = nullptr;
};

// Moves an iterator over a chunked list of 8-byte entries by n entries
// across block boundaries, exactly as Iterator::Advance.
template <typename Iterator>
void BlockArray8Advance(Iterator& it, int64_t n) {
  static_assert(sizeof(*it.Entry()) == 8, "BlockArray8Advance walks lists of 8-byte entries");
  it.Advance(n);
}
