// World lists: indexes, item operations, positions and the tile index.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gsnative/WorldList.h"
#include "gsnative/WorldPosition.h"
#include "tests/gsnative/WorldTestItems.h"

namespace {

using worldtest::TestItem;

// Allocation scripts: "add=N" adds (expecting index N, -1 for a refusal),
// "at=N" / "at!N" adds at N (accepted / refused), "remove=N" removes the item
// at N, "pin=N" marks it pinned and removes it.
TEST(WorldListTest, IndexesFollowTheEvenRule) {
  const struct {
    const char* name;
    std::string script;
    uint32_t slotCount;
  } cases[] = {
      {"three adds", "add=0 add=2 add=4", 6},
      {"freed index is reused", "add=0 add=2 add=4 remove=2 add=2 add=6", 8},
      {"pinned index is reserved", "add=0 add=2 add=4 pin=2 add=6 at=2", 8},
      {"odd indexes only explicitly", "at=5 at!5 add=0 add=2 add=4 add=6", 8},
      {"index beyond the limit", "at!" + std::to_string(WorldList::kMaxSlots), 0},
      {"high index grows the table", "at=3000000 add=0", 3000001},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::set<const WorldListItem*> pinned;
    WorldList list;
    list.SetPinnedTest([&](const WorldListItem& item) { return pinned.count(&item) != 0; });
    std::vector<std::unique_ptr<TestItem>> removed;
    std::istringstream script(c.script);
    for (std::string step; script >> step;) {
      const size_t mark = step.find_first_of("=!");
      const std::string op = step.substr(0, mark);
      const int32_t n = std::stoi(step.substr(mark + 1));
      auto item = std::make_unique<TestItem>();
      if (op == "add") {
        EXPECT_EQ(list.Add(item.get()), n) << step;
      } else if (op == "at") {
        EXPECT_EQ(list.AddAt(item.get(), uint32_t(n)), step[mark] == '=') << step;
      } else {
        WorldListItem* at = list.GetItem(uint32_t(n));
        ASSERT_NE(at, nullptr) << step;
        if (op == "pin") pinned.insert(at);
        list.RemoveItem(at);
        EXPECT_EQ(at->GetList(), nullptr);
        EXPECT_EQ(at->GetIndex(), -1);
        EXPECT_EQ(list.IsReserved(uint32_t(n)), op == "pin");
        removed.emplace_back(static_cast<TestItem*>(at));
      }
      if (item->GetList() != nullptr) item.release();
    }
    EXPECT_EQ(list.GetSlotCount(), c.slotCount);
  }
}

TEST(WorldListTest, ItemInAListIsNotAddedAgain) {
  WorldList a;
  WorldList b;
  auto* item = new TestItem;
  ASSERT_EQ(a.Add(item), 0);
  EXPECT_EQ(a.Add(item), -1);
  EXPECT_EQ(b.Add(item), -1);
  EXPECT_FALSE(b.AddAt(item, 1));
  delete item;  // leaves its list
  EXPECT_EQ(a.GetItem(0), nullptr);
  EXPECT_EQ(a.Add(new TestItem), 0);
}

class RecordingObserver : public WorldListObserver {
 public:
  std::vector<std::string> events;
  void ItemAdded(WorldListItem& item) override { Note("added", item); }
  void ItemRemoved(WorldListItem& item) override { Note("removed", item); }
  void Cleared() override { events.push_back("cleared"); }

 private:
  void Note(const char* what, WorldListItem& item) {
    events.push_back(std::string(what) + " " + std::to_string(item.GetIndex()));
  }
};

TEST(WorldListTest, OperationsReachTheMatchingItems) {
  struct Case {
    const char* name;
    void (*run)(WorldList&);
    std::vector<std::string> observed;
    std::vector<uint32_t> left;  // indexes still held
  };
  // Items of flags 1, 3, 5 and 4 at indexes 0, 2, 4 and 6.
  const Case cases[] = {
      {"destroy flag 2", [](WorldList& l) { l.DestroyMatching(2, 2); }, {"removed 2"}, {0, 4, 6}},
      {"destroy without flag 2",
       [](WorldList& l) { l.DestroyMatching(2, 0); },
       {"removed 0", "removed 4", "removed 6"},
       {2}},
      {"destroy all",
       [](WorldList& l) { l.DestroyMatching(0, 0); },
       {"cleared", "removed 0", "removed 2", "removed 4", "removed 6"},
       {}},
      {"clear", [](WorldList& l) { l.Clear(); }, {"cleared"}, {}},
      // Flag 1 is always asked for, so the item of flags 4 is left out.
      {"notify", [](WorldList& l) { l.NotifyAll(9, 4); }, {"notify 4 5"}, {0, 2, 4, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingObserver observer;
    WorldList list;
    for (uint32_t flags : {1u, 3u, 5u, 4u}) {
      auto* item = new TestItem;
      item->flags = flags;
      item->events = &observer.events;
      list.Add(item);
    }
    list.SetObserver(&observer);
    observer.events.clear();
    c.run(list);
    EXPECT_EQ(observer.events, c.observed);
    std::vector<uint32_t> left;
    list.ForEachItem([&](uint32_t index, WorldListItem*) { left.push_back(index); });
    EXPECT_EQ(left, c.left);
  }
}

TEST(WorldListTest, NormaliseWorldPositionMovesOffsetsIntoTheirTiles) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    int16_t tile;
    float offset;
    int16_t tileAfter;
    float offsetAfter;
  };
  const Case cases[] = {
      {0, -1.0f, -1, 719.0f},        {0, 1440.0f, 2, 0.0f},          {0, 0.0f, 0, 0.0f},
      {5, -720.0f, 4, 0.0f},         {0, 719.95f, 1, -0.05f},        {0, 719.9f, 0, 719.9f},
      {32767, 720.0f, -32768, 0.0f}, {-32768, -1.0f, 32767, 719.0f}, {3, nan, 3, nan},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    WorldPosition p;
    p.tile[1] = c.tile;
    p.offset[1] = c.offset;
    NormaliseWorldPosition(p);
    EXPECT_EQ(p.flag, 1);
    EXPECT_EQ(p.tile[1], c.tileAfter);
    if (std::isnan(c.offsetAfter)) {
      EXPECT_TRUE(std::isnan(p.offset[1]));
    } else {
      EXPECT_NEAR(p.offset[1], c.offsetAfter, 0.001f);
    }
  }
  WorldPosition huge;
  huge.offset[0] = 3e38f;
  huge.offset[1] = -std::numeric_limits<float>::infinity();
  NormaliseWorldPosition(huge);  // defined: no trap under the sanitizers
  EXPECT_EQ(huge.tile[1], 0);
}

WorldPosition At(int16_t first, int16_t second, float offset0 = 0.0f) {
  WorldPosition p;
  p.tile[0] = first;
  p.tile[1] = second;
  p.offset[0] = offset0;
  return p;
}

TEST(WorldListTest, TileIndexHoldsEachItemOnItsTilesWithinABound) {
  struct Case {
    const char* name;
    WorldPosition lower, upper;
    size_t tiles;
    bool wide;
  };
  const Case cases[] = {
      {"one tile", At(3, -4), At(3, -4), 1, false},
      {"two by three", At(-1, -2), At(0, 0), 6, false},
      {"offsets move the corners", At(0, 0, -1.0f), At(0, 0, 1440.0f), 4, false},
      {"the bound itself", At(0, 0), At(31, 31), 1024, false},
      {"past the bound", At(0, 0), At(31, 32), 0, true},
      {"the whole world", At(-32768, -32768), At(32767, 32767), 0, true},
      {"upper below lower", At(5, 0), At(4, 0), 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WorldList list;
    auto* item = new TestItem;
    item->lower = c.lower;
    item->upper = c.upper;
    list.Add(item);
    const WorldTileIndex& index = list.GetTileIndex();
    EXPECT_EQ(index.GetTiles().size(), c.tiles);
    EXPECT_EQ(index.GetWideItems().count(item), c.wide ? 1u : 0u);
    const WorldTileIndex::TileSet* corner =
        index.FindTileSet(WorldTileIndex::TileKey(c.lower.tile[0], c.lower.tile[1]));
    if (c.tiles == 1) {
      EXPECT_TRUE(corner != nullptr && corner->count(item) == 1);
    }
    delete item;
    EXPECT_TRUE(index.GetTiles().empty());
    EXPECT_TRUE(index.GetWideItems().empty());
  }
}

TEST(WorldListTest, MovedItemIsIndexedOnItsNewTilesOnly) {
  WorldList list;
  auto* a = new TestItem;
  auto* b = new TestItem;
  a->upper = At(1, 0);
  list.Add(a);
  list.Add(b);
  a->lower = At(7, 7);
  a->upper = At(7, 7);
  list.ItemMoved(a);
  const WorldTileIndex& index = list.GetTileIndex();
  EXPECT_EQ(index.GetTiles().size(), 2u);
  EXPECT_EQ(index.FindTileSet(WorldTileIndex::TileKey(0, 0))->size(), 1u);
  EXPECT_EQ(index.FindTileSet(WorldTileIndex::TileKey(1, 0)), nullptr);
  EXPECT_EQ(index.FindTileSet(WorldTileIndex::TileKey(7, 7))->count(a), 1u);
  list.Clear();
  EXPECT_TRUE(index.GetTiles().empty());
  EXPECT_EQ(list.GetSlotCount(), 0u);
  EXPECT_EQ(list.GetNextEvenIndex(), 0u);
}

}  // namespace
