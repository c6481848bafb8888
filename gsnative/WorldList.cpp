#include "gsnative/WorldList.h"

#include <algorithm>
#include <utility>

WorldList::~WorldList() {
  Clear();
}

void WorldList::Attach(WorldListItem* item, uint32_t index) {
  table_.Set(index, item);
  item->list_ = this;
  item->index_ = int32_t(index);
  item->OnAddedToList();
  tiles_.AddItemToTileIndex(item);
  if (observer_ != nullptr) observer_->ItemAdded(*item);
}

bool WorldList::AddAt(WorldListItem* item, uint32_t index) {
  if (item == nullptr || item->list_ != nullptr || index >= kMaxSlots) return false;
  table_.Grow(index + 1);
  if (table_.Get(index) != nullptr) return false;
  Attach(item, index);
  return true;
}

int32_t WorldList::Add(WorldListItem* item) {
  if (item == nullptr || item->list_ != nullptr) return -1;
  uint32_t index = nextEven_;
  while (index < GetSlotCount() && (table_.Get(index) != nullptr || IsReserved(index))) index += 2;
  if (index >= kMaxSlots) return -1;
  if (index >= GetSlotCount()) table_.Grow(std::min(GetSlotCount() + 2, kMaxSlots));
  Attach(item, index);
  nextEven_ = index + 2;
  return int32_t(index);
}

void WorldList::RemoveItem(WorldListItem* item) {
  if (item == nullptr || item->list_ != this) return;
  if (observer_ != nullptr) observer_->ItemRemoved(*item);
  item->OnRemovedFromList();
  const auto index = uint32_t(item->index_);
  table_.Set(index, nullptr);
  tiles_.RemoveItemFromTileIndex(item);
  item->list_ = nullptr;
  item->index_ = -1;
  if (isPinned_ && isPinned_(*item)) {
    reserved_.insert(index);
    return;
  }
  if (index % 2 == 0 && index < nextEven_) nextEven_ = index;
}

void WorldList::Clear() {
  if (observer_ != nullptr) observer_->Cleared();
  WorldListObserver* observer = std::exchange(observer_, nullptr);
  tiles_.ClearTileIndex();
  // Entries are fetched one by one: a destructor may destroy other items.
  for (uint32_t i = table_.NextUsed(0); i < GetSlotCount(); i = table_.NextUsed(i + 1)) {
    WorldListItem* item = table_.Get(i);
    RemoveItem(item);
    delete item;
  }
  observer_ = observer;
  table_.Clear();
  reserved_.clear();
  nextEven_ = 0;
}

void WorldList::DestroyMatching(uint32_t mask, uint32_t value) {
  if (mask == 0 && observer_ != nullptr) observer_->Cleared();
  for (uint32_t i = table_.NextUsed(0); i < GetSlotCount(); i = table_.NextUsed(i + 1)) {
    WorldListItem* item = table_.Get(i);
    if (!Matches(*item, mask, value)) continue;
    RemoveItem(item);
    delete item;
  }
}

void WorldList::RefreshAll() {
  for (uint32_t i = table_.NextUsed(0); i < GetSlotCount(); i = table_.NextUsed(i + 1)) {
    table_.Get(i)->Refresh();
  }
}

void WorldList::NotifyAll(uint32_t argument, uint32_t flags) {
  const uint32_t f = flags | 1;
  for (uint32_t i = table_.NextUsed(0); i < GetSlotCount(); i = table_.NextUsed(i + 1)) {
    WorldListItem* item = table_.Get(i);
    if ((item->GetFlags() & f) == f) item->Notify(argument, f);
  }
}

void WorldList::ItemMoved(WorldListItem* item) {
  if (item != nullptr && item->list_ == this) tiles_.AddItemToTileIndex(item);
}
