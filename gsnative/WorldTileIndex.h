// WorldTileIndex: the spatial index of a world list's items by tile.
//
// An ordered map from a 32-bit tile key to the ordered set of the items
// that lie on that tile. The key holds the tile number on the first
// horizontal axis in its low 16 bits and the one on the second axis in its
// high 16 bits (both signed 16-bit).
//
// AddItemToTileIndex asks the item for its bounds, normalises both corners
// (NormaliseWorldPosition) and enters the item in the set of every tile
// from the lower to the upper corner, both inclusive (signed comparison;
// an axis whose upper tile lies below its lower one covers nothing). An
// item whose bounds cover more than kMaxTilesPerItem tiles is kept in the
// wide set instead, which stands for every tile: so no item can make the
// index grow by more than kMaxTilesPerItem entries. An item already in the
// index is taken out first.
//
// RemoveItemFromTileIndex takes the item from every set it was entered in
// (the index remembers them, so the item's bounds need not be asked again
// and the item may be half destroyed); a set that becomes empty is erased
// with its map entry. ClearTileIndex empties everything.
//
// The index does not own the items. Not thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <unordered_map>

class WorldListItem;

class WorldTileIndex {
 public:
  using TileSet = std::set<WorldListItem*>;

  static constexpr uint64_t kMaxTilesPerItem = 1024;

  static uint32_t TileKey(int16_t first, int16_t second) {
    return uint32_t(uint16_t(first)) | uint32_t(uint16_t(second)) << 16;
  }

  // Nothing for a null item.
  void AddItemToTileIndex(WorldListItem* item);
  void RemoveItemFromTileIndex(WorldListItem* item);
  void ClearTileIndex();

  // The set of a tile, or null when the tile holds no item (the wide set
  // aside).
  const TileSet* FindTileSet(uint32_t key) const;
  const TileSet& GetWideItems() const { return wide_; }
  const std::map<uint32_t, TileSet>& GetTiles() const { return tiles_; }

 private:
  // The set of a tile, made and entered first when the map has none.
  TileSet& GetTileSet(uint32_t key);

  // The tiles an item was entered on, both corners inclusive; an empty
  // span (last below first) for an item on no tile or in the wide set.
  struct Span {
    int32_t first0, last0, first1, last1;
    template <typename F>
    void ForEachKey(F f) const {
      for (int32_t second = first1; second <= last1; ++second) {
        for (int32_t first = first0; first <= last0; ++first)
          f(TileKey(int16_t(first), int16_t(second)));
      }
    }
  };

  std::map<uint32_t, TileSet> tiles_;
  TileSet wide_;
  std::unordered_map<const WorldListItem*, Span> spans_;
};
