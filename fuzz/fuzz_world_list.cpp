// Fuzzes the world-list stream readers: the item list with its item-data
// chunk, then an object chunk, from untrusted bytes. The first byte picks
// the load flags; the rest is the stream. Whatever is read must leave a
// consistent list whose save, read back and saved again, gives the same
// bytes, and a tile index that holds every item within the bound.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "foundation/stream/TBuffer.h"
#include "gsnative/WorldList.h"
#include "kiv/DynamicBuffer.h"
#include "tests/gsnative/WorldTestItems.h"

namespace {

worldtest::TestFactory gTests(worldtest::kTestType);
worldtest::TestFactory gObjects(WorldList::kObjectTypeId);
worldtest::TestFactory gBlanks(WorldList::kBlankTypeId);

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckConsistent(const WorldList& list) {
  size_t items = 0;
  list.ForEachItem([&](uint32_t index, WorldListItem* item) {
    Check(index < WorldList::kMaxSlots && index < list.GetSlotCount());
    Check(item->GetList() == &list && item->GetIndex() == int32_t(index));
    ++items;
  });
  size_t entries = 0;
  for (const auto& tile : list.GetTileIndex().GetTiles()) {
    Check(!tile.second.empty());
    entries += tile.second.size();
  }
  Check(entries <= items * WorldTileIndex::kMaxTilesPerItem);
}

std::vector<uint8_t> Save(WorldList& list) {
  TBuffer out;
  list.SaveItems(out, 0, 0);
  list.SaveObjectChunk(out);
  const Kiv::DynamicBuffer* d = out.GetData();
  return {d->Data(), d->Data() + d->DataLength()};
}

void Load(WorldList& list, const uint8_t* data, uint32_t n, uint32_t flags) {
  Kiv::DynamicBuffer bytes;
  bytes.Write(data, n);
  bytes.SetPosition(0);
  TBuffer in(&bytes, false);
  list.LoadItems(in, true, flags);
  list.LoadObjectChunk(in);
  Check(in.Tell() <= n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  const uint32_t flags = (data[0] & 1) != 0 ? WorldList::kItemDataFlag : 0;
  WorldList list;
  Load(list, data + 1, uint32_t(size - 1), flags);
  CheckConsistent(list);
  const std::vector<uint8_t> first = Save(list);
  WorldList copy;
  Load(copy, first.data(), uint32_t(first.size()), flags);
  CheckConsistent(copy);
  Check(Save(copy) == first);
  return 0;
}
