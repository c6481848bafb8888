// WorldList: the items of a world by numeric index, with a tile index, and
// their stream chunks.
//
// Membership. The list owns its items from a successful Add until they are
// removed (RemoveItem hands an item back to the caller) or destroyed
// (Clear, DestroyMatching, the destructor, or deleting the item, which
// removes it first). Indexes lie below kMaxSlots.
// - AddAt(item, index): false when the item is in a list, the index is not
//   below kMaxSlots or its entry is occupied; else grows the table to hold
//   the index, stores the item and tells it and the observer.
// - Add(item): -1 when the item is in a list or the table is full; else
//   the first even index from the next even index on that is neither
//   occupied nor reserved (two null entries are appended when the table has
//   none), and the next even index becomes that index + 2. So automatic
//   indexes are even; odd ones are only taken explicitly.
// - RemoveItem(item): tells the observer and the item, clears the entry,
//   takes the item from the tile index; a pinned item's index is reserved
//   (never handed out by Add again), any other even index below the next
//   even index lowers it.
// - Clear: tells the observer once, destroys every item (without a removal
//   call each) and empties the table, the tile index and the reserved set.
// - DestroyMatching(mask, value): destroys the items whose flags AND mask
//   equal mask AND value (the observer is told Cleared first when mask is
//   0, and of each removal).
// - RefreshAll; NotifyAll(argument, flags): f = flags OR 1, every item
//   whose flags hold every bit of f gets Notify(argument, f).
// - ItemMoved(item): enters the item in the tile index again after its
//   bounds changed.
//
// Streams (little-endian u32 words; lengths are written as the marker
// 0xFEEDCEEB and patched; a length still holding the marker ends reading):
// - Item list (SaveItems / LoadItems): version (5 written; 1..5 read), the
//   save word (version 5), records {index, type id, KUID, body length, body}
//   for the items that match (mask, value), 0xFFFFFFFF, then (versions 4
//   and 5) the item-data chunk. Version 2 records are {index, type id,
//   body}; version 1 holds nothing after its version word. A record whose
//   entry holds an item of its type id is read by that item (which is then
//   entered in the tile index again); otherwise the
//   entry's item is destroyed and the factories make a new one (one that is
//   not a WorldListItem, or that cannot be added, is destroyed).
// - Item-data chunk (SaveItemData / LoadItemData): length, marker, version
//   5, save word, then (when mask AND value holds 4) records {index, type
//   id, body length, body}, 0xFFFFFFFF. Read only when the load flags hold
//   4; without the marker the version is 0 (no type ids, "    " assumed);
//   a version above 5 skips the chunk; a record index not below the slot
//   count ends the records; a record whose type id differs from its entry's
//   item is skipped.
// - Object chunk (SaveObjectChunk / LoadObjectChunk): length, marker,
//   version 1, records {index, body length, body} of the "bOnj" items,
//   0xFFFFFFFF. A chunk without the marker or with a higher version is
//   skipped; records naming no "bOnj" item, or with an empty body, are
//   skipped.
// Bodies are read through a window (TSubFile) and the position then moves
// to the body's end. While a body is read, GetLoadingKUID gives the
// record's KUID and GetSaveWord the stream's save word; the list's own
// save word is restored afterwards.
//
// Reading is untrusted: every count, length and index is checked against
// the bytes and kMaxSlots. A fault ends the reading with a result naming
// the section, field and byte; the position is then at the end of the
// chunk when the chunk has a length. Nothing is printed. Items read so far
// stay in the list.
//
// Not thread-safe: the list lives on the thread that runs the world.
#pragma once

#include <cstdint>
#include <functional>
#include <set>

#include "foundation/text/KUID.h"
#include "gsnative/WorldItemTable.h"
#include "gsnative/WorldListItem.h"
#include "gsnative/WorldStreamReader.h"
#include "gsnative/WorldTileIndex.h"

class TStream;
class WorldStreamWriter;

class WorldList : public WorldBaseItem {
 public:
  static constexpr uint32_t kMaxSlots = 1u << 22;
  static constexpr uint32_t kItemListVersion = 5;
  static constexpr uint32_t kItemDataVersion = 5;
  static constexpr uint32_t kObjectChunkVersion = 1;
  static constexpr uint32_t kEndOfRecords = 0xFFFFFFFFu;
  static constexpr uint32_t kMaxListBody = 0xFFFFFFu;
  static constexpr uint32_t kObjectTypeId = 0x6A6E4F62u;  // "bOnj"
  static constexpr uint32_t kBlankTypeId = 0x20202020u;   // "    "
  static constexpr uint32_t kItemDataFlag = 4;

  WorldList() = default;
  ~WorldList() override;

  bool AddAt(WorldListItem* item, uint32_t index);
  int32_t Add(WorldListItem* item);
  void RemoveItem(WorldListItem* item);
  void Clear();
  void DestroyMatching(uint32_t mask, uint32_t value);
  void RefreshAll();
  void NotifyAll(uint32_t argument, uint32_t flags);
  void ItemMoved(WorldListItem* item);

  WorldListItem* GetItem(uint32_t index) const { return table_.Get(index); }
  uint32_t GetSlotCount() const { return table_.GetSlotCount(); }
  uint32_t GetNextEvenIndex() const { return nextEven_; }
  bool IsReserved(uint32_t index) const { return reserved_.count(index) != 0; }
  const WorldTileIndex& GetTileIndex() const { return tiles_; }
  // Calls f(index, item) for every item, in index order.
  template <typename F>
  void ForEachItem(F f) const {
    table_.ForEachItem(f);
  }

  uint32_t GetSaveWord() const { return saveWord_; }
  void SetSaveWord(uint32_t word) { saveWord_ = word; }
  uint32_t GetFactoryWord() const { return factoryWord_; }
  void SetFactoryWord(uint32_t word) { factoryWord_ = word; }
  const KUID& GetLoadingKUID() const { return loadingKUID_; }
  // Not owned; null for none.
  void SetObserver(WorldListObserver* observer) { observer_ = observer; }
  // Whether an item is one of the program's pinned items; none are
  // without a test.
  void SetPinnedTest(std::function<bool(const WorldListItem&)> test) {
    isPinned_ = std::move(test);
  }

  void SaveItems(TStream& stream, uint32_t mask, uint32_t value);
  void SaveItemData(TStream& stream, uint32_t mask, uint32_t value);
  void SaveObjectChunk(TStream& stream);
  WorldStreamResult LoadItems(TStream& stream, bool clearFirst, uint32_t flags);
  WorldStreamResult LoadItemData(TStream& stream, uint32_t flags);
  WorldStreamResult LoadObjectChunk(TStream& stream);

 private:
  static bool Matches(const WorldListItem& item, uint32_t mask, uint32_t value) {
    return (item.GetFlags() & mask) == (mask & value);
  }
  void Attach(WorldListItem* item, uint32_t index);
  void SaveItemHeader(WorldStreamWriter& writer, WorldListItem& item);
  void SaveItemDataTo(WorldStreamWriter& writer, uint32_t mask, uint32_t value);
  bool LoadListRecords(WorldStreamReader& in, uint32_t version);
  bool LoadListRecord(WorldStreamReader& in, uint32_t version, uint32_t index, uint32_t at);
  void ReadListBody(uint32_t index, const WorldItemRecord& record, TStream& body);
  bool LoadItemDataBody(WorldStreamReader& in);
  // `first` is the first record's index when it was read already.
  bool LoadDataRecords(WorldStreamReader& in, uint32_t version, const uint32_t* first);
  bool LoadObjectBody(WorldStreamReader& in);

  WorldItemTable table_;
  WorldTileIndex tiles_;
  std::set<uint32_t> reserved_;
  uint32_t nextEven_ = 0;
  uint32_t factoryWord_ = 0;
  uint32_t saveWord_ = 0;
  KUID loadingKUID_;
  WorldListObserver* observer_ = nullptr;
  std::function<bool(const WorldListItem&)> isPinned_;
};
