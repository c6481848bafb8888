// World-list items of the tests, fuzz target and benchmark: an item that
// saves its flags, bounds and three byte strings, factories that make it,
// and snapshots of a list's items and tile index for comparisons.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "gsnative/WorldItemFactory.h"
#include "gsnative/WorldList.h"

namespace worldtest {

inline constexpr uint32_t kTestType = 0x69747374;  // "tsti"

inline void WriteBytes(TStream& s, const std::string& bytes) {
  TStreamWriteU32(s, uint32_t(bytes.size()));
  TStreamWriteBytes(s, bytes.data(), uint32_t(bytes.size()));
}

// Never more than the stream holds.
inline std::string ReadBytes(TStream& s) {
  uint32_t n = 0;
  TStreamReadU32(s, n, 0);
  const uint32_t size = s.GetSize();
  const uint32_t at = s.Tell();
  std::string bytes(std::min(n, size > at ? size - at : 0), '\0');
  bytes.resize(TStreamReadBytes(s, bytes.data(), uint32_t(bytes.size())));
  return bytes;
}

inline void WritePosition(TStream& s, const WorldPosition& p) {
  TStreamWriteU32(s, uint32_t(uint16_t(p.tile[0])) | uint32_t(uint16_t(p.tile[1])) << 16);
  TStreamWriteFloat(s, p.offset[0]);
  TStreamWriteFloat(s, p.offset[1]);
}

inline void ReadPosition(TStream& s, WorldPosition& p) {
  uint32_t tiles = 0;
  TStreamReadU32(s, tiles, 0);
  p.tile[0] = int16_t(uint16_t(tiles));
  p.tile[1] = int16_t(uint16_t(tiles >> 16));
  TStreamReadFloat(s, p.offset[0], 0.0f);
  TStreamReadFloat(s, p.offset[1], 0.0f);
}

class TestItem : public WorldListItem {
 public:
  explicit TestItem(uint32_t typeId = kTestType) : WorldListItem(typeId) {}

  uint32_t flags = 1;
  KUID kuid;
  WorldPosition lower;
  WorldPosition upper;
  std::string listBody;
  std::string dataBody;
  std::string objectBody;
  // The save word the item saw while its item-list body was read.
  uint32_t seenSaveWord = 0;
  // Where Notify calls are logged ("notify <index> <flags>"), if anywhere.
  std::vector<std::string>* events = nullptr;

  uint32_t GetFlags() const override { return flags; }
  KUID GetKUID() const override { return kuid; }
  void GetBounds(WorldPosition& lo, WorldPosition& hi) const override {
    lo = lower;
    hi = upper;
  }
  void SaveListRecord(TStream& s) override {
    TStreamWriteU32(s, flags);
    WritePosition(s, lower);
    WritePosition(s, upper);
    WriteBytes(s, listBody);
  }
  void LoadListRecord(TStream& s) override {
    if (GetList() != nullptr) {
      kuid = GetList()->GetLoadingKUID();
      seenSaveWord = GetList()->GetSaveWord();
    }
    TStreamReadU32(s, flags, 1);
    ReadPosition(s, lower);
    ReadPosition(s, upper);
    listBody = ReadBytes(s);
  }
  void SaveItemData(TStream& s) override { WriteBytes(s, dataBody); }
  void LoadItemData(TStream& s) override { dataBody = ReadBytes(s); }
  void SaveObjectRecord(TStream& s) override { WriteBytes(s, objectBody); }
  void LoadObjectRecord(TStream& s) override { objectBody = ReadBytes(s); }
  void Notify(uint32_t, uint32_t f) override {
    if (events != nullptr)
      events->push_back("notify " + std::to_string(GetIndex()) + " " + std::to_string(f));
  }
};

// Makes TestItems of one type id from their item-list bodies.
class TestFactory : public WorldItemFactory {
 public:
  explicit TestFactory(uint32_t typeId) : WorldItemFactory(typeId, "test") {}
  std::unique_ptr<WorldFactoryItem> Create(const WorldItemRecord& record, TStream& body) override {
    auto item = std::make_unique<TestItem>(record.typeId);
    item->LoadListRecord(body);
    item->kuid = record.kuid;
    item->seenSaveWord = record.saveWord;
    return item;
  }
};

// What a list holds, comparable between lists.
struct ItemState {
  uint32_t index, typeId, flags;
  KUID kuid;
  std::string listBody, dataBody, objectBody;
  bool operator==(const ItemState&) const = default;
};

inline std::vector<ItemState> Items(const WorldList& list) {
  std::vector<ItemState> items;
  list.ForEachItem([&](uint32_t index, WorldListItem* item) {
    auto* t = dynamic_cast<TestItem*>(item);
    if (t == nullptr) return;
    items.push_back(
        {index, t->GetTypeId(), t->flags, t->kuid, t->listBody, t->dataBody, t->objectBody});
  });
  return items;
}

// The tile index by item index; the wide items under the key "wide".
inline std::map<std::string, std::set<int32_t>> Tiles(const WorldList& list) {
  std::map<std::string, std::set<int32_t>> tiles;
  for (const auto& [key, set] : list.GetTileIndex().GetTiles()) {
    for (WorldListItem* item : set) tiles[std::to_string(key)].insert(item->GetIndex());
  }
  for (WorldListItem* item : list.GetTileIndex().GetWideItems()) {
    tiles["wide"].insert(item->GetIndex());
  }
  return tiles;
}

}  // namespace worldtest
