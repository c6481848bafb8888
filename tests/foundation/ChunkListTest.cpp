#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "foundation/containers/BlockList.h"
#include "foundation/containers/ChunkList.h"
#include "foundation/containers/PStringList.h"
#include "foundation/containers/PointerBlockList.h"

namespace {

struct Key3 {
  int32_t a, b, c;
};
bool operator==(const Key3& x, const Key3& y) {
  return x.a == y.a && x.b == y.b && x.c == y.c;
}

// The entries of a list, block by block, checking the ring's links and that
// no block is empty or over capacity.
template <typename List>
auto Blocks(List& list) {
  using T = std::remove_reference_t<decltype(*list.Begin())>;
  std::vector<std::vector<T>> out;
  auto* first = list.FirstBlock();
  if (!first) return out;
  auto* b = first;
  do {
    EXPECT_EQ(b->next->prev, b);
    EXPECT_GT(b->count, 0u);
    EXPECT_LE(b->count, List::kBlockEntries);
    out.emplace_back(b->entries, b->entries + b->count);
    b = b->next;
  } while (b != first && out.size() < 100000);
  return out;
}

template <typename T>
std::vector<T> Flatten(const std::vector<std::vector<T>>& blocks) {
  std::vector<T> out;
  for (const auto& b : blocks) out.insert(out.end(), b.begin(), b.end());
  return out;
}

template <typename List>
int64_t IndexOf(List& list, typename List::Iterator it) {
  if (it.AtEnd()) return -1;
  int64_t i = 0;
  for (auto walk = list.Begin(); !(walk == it); walk.Next()) ++i;
  return i;
}

TEST(ChunkList, EraseFreesTheLastBlockAndIgnoresForeignOrEndIterators) {
  ChunkList<int> a, b;
  EXPECT_TRUE(a.Begin().AtEnd());
  a.PushBack(1);
  b.PushBack(2);
  EXPECT_TRUE(a.Erase(b.Begin()).AtEnd());
  EXPECT_TRUE(a.Erase(a.End()).AtEnd());
  EXPECT_EQ(a.Count(), 1u);
  EXPECT_EQ(b.Count(), 1u);
  EXPECT_TRUE(a.Erase(a.Begin()).AtEnd());
  EXPECT_EQ(a.FirstBlock(), nullptr);
  EXPECT_EQ(a.Count(), 0u);
}

// Random pushes, erases, finds and moves, checked block by block against a
// model of the layout the list must keep.
TEST(ChunkList, RandomOperationsMatchBlockModel) {
  std::mt19937 rng(1234);
  ChunkList<int> list;
  std::vector<std::vector<int>> model;
  for (int step = 0; step < 20000; ++step) {
    std::vector<int> flat = Flatten(model);
    int op = int(rng() % 10);
    if (op < 4 || flat.empty()) {
      int v = int(rng() % 50);
      if (model.empty() || model.back().size() == 13) model.emplace_back();
      model.back().push_back(v);
      ASSERT_EQ(list.PushBack(v), model.back().size() - 1);
    } else if (op < 7) {
      size_t i = rng() % flat.size();
      auto next = list.Erase(list.At(uint32_t(i)));
      for (size_t b = 0, base = 0; b < model.size(); base += model[b].size(), ++b) {
        if (i >= base + model[b].size()) continue;
        model[b].erase(model[b].begin() + int64_t(i - base));
        if (model[b].empty()) model.erase(model.begin() + int64_t(b));
        break;
      }
      flat.erase(flat.begin() + int64_t(i));
      ASSERT_EQ(IndexOf(list, next), i < flat.size() ? int64_t(i) : -1);
    } else if (op < 8) {
      int v = int(rng() % 50);
      auto it = list.Find(v);
      auto pos = std::find(flat.begin(), flat.end(), v);
      ASSERT_EQ(IndexOf(list, it), pos == flat.end() ? -1 : pos - flat.begin());
    } else {
      int64_t i = int64_t(rng() % flat.size());
      int64_t n = int64_t(rng() % 61) - 30;
      auto it = list.At(uint32_t(i));
      if (op == 8) {
        it.Advance(n);
      } else {
        it.Retreat(-n);
      }
      int64_t j = i + n;
      bool inside = j >= 0 && j < int64_t(flat.size());
      ASSERT_EQ(it.AtEnd(), !inside) << i << " + " << n;
      if (inside) {
        ASSERT_EQ(*it, flat[size_t(j)]);
      }
    }
    if (step % 97 == 0) {
      ASSERT_EQ(Blocks(list), model);
      ASSERT_EQ(list.Count(), Flatten(model).size());
    }
  }
  ASSERT_EQ(Blocks(list), model);
}

TEST(ChunkList, AdvanceByHugeCountsEndsWithoutLooping) {
  ChunkList<int> list;
  for (int i = 0; i < 40; ++i) list.PushBack(i);
  auto it = list.Begin();
  it.Advance(INT64_MAX);
  EXPECT_TRUE(it.AtEnd());
  it = list.At(39);
  it.Advance(INT64_MIN);
  EXPECT_TRUE(it.AtEnd());
  it = list.At(20);
  it.Retreat(INT64_MIN);
  EXPECT_TRUE(it.AtEnd());
  it.Advance(1);  // the end stays the end
  EXPECT_TRUE(it.AtEnd());
  it = list.At(30);
  it.AdvanceAlt(-30);
  EXPECT_EQ(*it, 0);
}

TEST(ChunkList, BlockArray8AdvanceCrossesBlocks) {
  ChunkList<uint64_t> list;
  for (uint64_t i = 0; i < 30; ++i) list.PushBack(i * 10);
  auto it = list.Begin();
  BlockArray8Advance(it, 27);
  ASSERT_FALSE(it.AtEnd());
  EXPECT_EQ(*it, 270u);
  BlockArray8Advance(it, 3);
  EXPECT_TRUE(it.AtEnd());
}

struct Counted {
  explicit Counted(int* d) : deaths(d) {}
  virtual ~Counted() { ++*deaths; }
  int* deaths;
};
struct CountedChild : Counted {
  using Counted::Counted;
  std::vector<int> payload = std::vector<int>(8);
};

TEST(ChunkList, DeleteAllDeletesThroughVirtualDestructorAndFreesBlocks) {
  int deaths = 0;
  ChunkList<Counted*> list;
  for (int i = 0; i < 30; ++i) list.PushBack(new CountedChild(&deaths));
  list.DeleteAll();
  EXPECT_EQ(deaths, 30);
  EXPECT_EQ(list.FirstBlock(), nullptr);
}

TEST(ChunkList, PStringEntriesAreReleasedOnEraseAndFree) {
  Kiv::PString name("chunk-list-test-name");
  PStringList list;
  for (int i = 0; i < 20; ++i) AddPStringToList(list, name);
  EXPECT_EQ(Kiv::PStringCache::UseCount(name), 21u);
  list.Erase(list.At(3));
  EXPECT_EQ(Kiv::PStringCache::UseCount(name), 20u);
  auto found = list.Find(name);
  ASSERT_FALSE(found.AtEnd());
  EXPECT_TRUE(*found == name);
  list.FreeBlocks();
  EXPECT_EQ(Kiv::PStringCache::UseCount(name), 1u);
}

using KeyList = BlockList<Key3>;

TEST(BlockList, FindComparesAllThreeWordsAndEraseRefillsWithNullKey) {
  KeyList list;
  list.Append(Key3{1, 2, 3});
  list.Append(Key3{1, 2, 4});
  list.Append(Key3{1, 2, 4});
  EXPECT_EQ(IndexOf(list, list.Find(Key3{1, 2, 4})), 1);
  EXPECT_TRUE(list.Find(Key3{1, 3, 3}).AtEnd());
  auto next = list.Erase(list.Find(Key3{1, 2, 3}));
  EXPECT_EQ(*next, (Key3{1, 2, 4}));
  EXPECT_EQ(list.FirstBlock()->entries[2], KeyList::NullKey());
  auto it = list.Begin();
  it.Next();
  EXPECT_EQ(*it, (Key3{1, 2, 4}));
  it.Next();
  EXPECT_TRUE(it.AtEnd());
}

// Random adds and erases checked against a block-by-block model.
TEST(PointerBlockList, RandomOperationsMatchBlockModel) {
  std::mt19937 rng(99);
  std::vector<int> objects(64);
  PointerBlockList<int> list;
  std::vector<std::vector<int*>> model;
  for (int step = 0; step < 20000; ++step) {
    size_t total = Flatten(model).size();
    if (rng() % 2 == 0 || total == 0) {
      int* p = &objects[rng() % objects.size()];
      auto room = std::find_if(model.begin(), model.end(), [](auto& b) { return b.size() < 4; });
      if (room == model.end()) room = model.emplace(model.end());
      room->push_back(p);
      ASSERT_EQ(list.AddBlock(p), room->size() - 1);
      continue;
    }
    size_t i = rng() % total;
    auto next = list.Erase(list.At(uint32_t(i)));
    size_t b = 0;
    while (i >= model[b].size()) i -= model[b++].size();
    model[b][i] = model[b].back();
    model[b].pop_back();
    bool freed = model[b].empty();
    if (freed) model.erase(model.begin() + int64_t(b));
    int* expected = nullptr;
    if (!freed && i < model[b].size()) expected = model[b][i];
    if (freed && b < model.size()) expected = model[b][0];
    if (!freed && i == model[b].size() && b + 1 < model.size()) expected = model[b + 1][0];
    ASSERT_EQ(next.AtEnd() ? nullptr : *next, expected);
    if (step % 101 == 0) {
      ASSERT_EQ(Blocks(list), model);
    }
  }
  ASSERT_EQ(Blocks(list), model);
}

TEST(PointerBlockList, RetreatWalksBackAcrossBlocks) {
  std::array<int, 9> objects{};
  PointerBlockList<int> list;
  for (auto& o : objects) list.AddBlock(&o);
  auto it = list.At(8);
  it.Retreat(5);
  EXPECT_EQ(*it, &objects[3]);
  it.Retreat(4);
  EXPECT_TRUE(it.AtEnd());
}

}  // namespace
