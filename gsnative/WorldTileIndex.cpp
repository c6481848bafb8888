#include "gsnative/WorldTileIndex.h"

#include "gsnative/WorldListItem.h"
#include "gsnative/WorldPosition.h"

void WorldTileIndex::AddItemToTileIndex(WorldListItem* item) {
  if (item == nullptr) return;
  RemoveItemFromTileIndex(item);
  WorldPosition lower;
  WorldPosition upper;
  item->GetBounds(lower, upper);
  NormaliseWorldPosition(lower);
  NormaliseWorldPosition(upper);
  Span span{lower.tile[0], upper.tile[0], lower.tile[1], upper.tile[1]};
  if (span.last0 < span.first0 || span.last1 < span.first1) {
    spans_[item] = Span{0, -1, 0, -1};
    return;
  }
  const uint64_t tiles =
      uint64_t(span.last0 - span.first0 + 1) * uint64_t(span.last1 - span.first1 + 1);
  if (tiles > kMaxTilesPerItem) {
    wide_.insert(item);
    spans_[item] = Span{0, -1, 0, -1};
    return;
  }
  spans_[item] = span;
  span.ForEachKey([&](uint32_t key) { GetTileSet(key).insert(item); });
}

void WorldTileIndex::RemoveItemFromTileIndex(WorldListItem* item) {
  auto found = spans_.find(item);
  if (found == spans_.end()) return;
  found->second.ForEachKey([&](uint32_t key) {
    auto tile = tiles_.find(key);
    if (tile == tiles_.end()) return;
    tile->second.erase(item);
    if (tile->second.empty()) tiles_.erase(tile);
  });
  wide_.erase(item);
  spans_.erase(found);
}

void WorldTileIndex::ClearTileIndex() {
  tiles_.clear();
  wide_.clear();
  spans_.clear();
}

const WorldTileIndex::TileSet* WorldTileIndex::FindTileSet(uint32_t key) const {
  auto found = tiles_.find(key);
  return found == tiles_.end() ? nullptr : &found->second;
}

WorldTileIndex::TileSet& WorldTileIndex::GetTileSet(uint32_t key) {
  return tiles_[key];
}
