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
  const int32_t first0 = lower.tile[0];
  const int32_t last0 = upper.tile[0];
  const int32_t first1 = lower.tile[1];
  const int32_t last1 = upper.tile[1];
  std::vector<uint32_t>& keys = keysOf_[item];
  if (last0 < first0 || last1 < first1) return;
  const uint64_t tiles = uint64_t(last0 - first0 + 1) * uint64_t(last1 - first1 + 1);
  if (tiles > kMaxTilesPerItem) {
    wide_.insert(item);
    return;
  }
  keys.reserve(size_t(tiles));
  for (int32_t second = first1; second <= last1; ++second) {
    for (int32_t first = first0; first <= last0; ++first) {
      const uint32_t key = TileKey(int16_t(first), int16_t(second));
      GetTileSet(key).insert(item);
      keys.push_back(key);
    }
  }
}

void WorldTileIndex::RemoveItemFromTileIndex(WorldListItem* item) {
  auto found = keysOf_.find(item);
  if (found == keysOf_.end()) return;
  for (uint32_t key : found->second) {
    auto tile = tiles_.find(key);
    if (tile == tiles_.end()) continue;
    tile->second.erase(item);
    if (tile->second.empty()) tiles_.erase(tile);
  }
  wide_.erase(item);
  keysOf_.erase(found);
}

void WorldTileIndex::ClearTileIndex() {
  tiles_.clear();
  wide_.clear();
  keysOf_.clear();
}

const WorldTileIndex::TileSet* WorldTileIndex::FindTileSet(uint32_t key) const {
  auto found = tiles_.find(key);
  return found == tiles_.end() ? nullptr : &found->second;
}

WorldTileIndex::TileSet& WorldTileIndex::GetTileSet(uint32_t key) {
  return tiles_[key];
}
