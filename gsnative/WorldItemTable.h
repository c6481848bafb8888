// WorldItemTable: the item pointers of a world list by index, in pages of
// kPageSize entries (entry i lives in page i / kPageSize at i % kPageSize).
//
// The slot count says how many entries exist, used or null; Grow appends
// null entries. A page is allocated only when an item is stored in it, so
// a high index costs one page pointer per kPageSize slots below it. The
// table does not own the items. Not thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class WorldListItem;

class WorldItemTable {
 public:
  static constexpr uint32_t kPageSize = 1024;

  uint32_t GetSlotCount() const { return count_; }

  // The entry at `index`; null for an empty entry or one beyond the count.
  WorldListItem* Get(uint32_t index) const {
    if (index >= count_) return nullptr;
    const Page* page = pages_[index / kPageSize].get();
    return page == nullptr ? nullptr : (*page)[index % kPageSize];
  }

  // The first index from `from` on that holds an item, or the slot count.
  uint32_t NextUsed(uint32_t from) const {
    for (uint32_t i = from; i < count_;) {
      const Page* page = pages_[i / kPageSize].get();
      if (page == nullptr) {
        i = (i / kPageSize + 1) * kPageSize;
        continue;
      }
      if ((*page)[i % kPageSize] != nullptr) return i;
      ++i;
    }
    return count_;
  }

  // Makes the slot count at least `count`.
  void Grow(uint32_t count) {
    if (count <= count_) return;
    count_ = count;
    pages_.resize((size_t(count) + kPageSize - 1) / kPageSize);
  }

  // Stores `item` at an existing entry.
  void Set(uint32_t index, WorldListItem* item) {
    std::unique_ptr<Page>& page = pages_[index / kPageSize];
    if (page == nullptr) {
      if (item == nullptr) return;
      page = std::make_unique<Page>();
      page->fill(nullptr);
    }
    (*page)[index % kPageSize] = item;
  }

  void Clear() {
    pages_.clear();
    count_ = 0;
  }

  // Calls f(index, item) for every item, in index order.
  template <typename F>
  void ForEachItem(F f) const {
    for (size_t p = 0; p < pages_.size(); ++p) {
      if (pages_[p] == nullptr) continue;
      for (uint32_t i = 0; i < kPageSize; ++i) {
        WorldListItem* item = (*pages_[p])[i];
        if (item != nullptr) f(uint32_t(p * kPageSize + i), item);
      }
    }
  }

 private:
  using Page = std::array<WorldListItem*, kPageSize>;

  std::vector<std::unique_ptr<Page>> pages_;
  uint32_t count_ = 0;
};
