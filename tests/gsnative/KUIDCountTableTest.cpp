// The KUID count table of KUID lists, checked against std::map on the same
// operations.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "gsnative/KUIDCountTable.h"

namespace {

using Key = std::tuple<int32_t, int32_t, int32_t>;

Key KeyOf(const KUID& kuid) {
  return {kuid.userId, kuid.contentId, kuid.version};
}

// Applies `adds`, then `removes`, to both tables and compares every KUID
// that was touched (and one that never was).
void ExpectSameAsMap(const std::vector<KUID>& adds, const std::vector<KUID>& removes) {
  KUIDCountTable table;
  std::map<Key, uint32_t> model;
  for (const KUID& kuid : adds) {
    table.Add(kuid);
    ++model[KeyOf(kuid)];
  }
  for (const KUID& kuid : removes) {
    table.Remove(kuid);
    auto found = model.find(KeyOf(kuid));
    if (found != model.end() && --found->second == 0) model.erase(found);
  }
  EXPECT_EQ(table.Size(), model.size());
  for (const std::vector<KUID>* list : {&adds, &removes})
    for (const KUID& kuid : *list) {
      auto found = model.find(KeyOf(kuid));
      EXPECT_EQ(table.Find(kuid), found == model.end() ? 0u : found->second)
          << kuid.userId << ":" << kuid.contentId << ":" << kuid.version;
    }
  EXPECT_EQ(table.Find(KUID{77, 77, 77}), 0u);
}

std::vector<KUID> Range(int32_t user, int32_t from, int32_t to, int32_t version = 0) {
  std::vector<KUID> out;
  for (int32_t i = from; i < to; ++i) out.push_back(KUID{user, i, version});
  return out;
}

TEST(KUIDCountTable, CountsMatchAMapAfterAddsAndRemoves) {
  // KUIDs whose user ids differ only above the packed 25 bits, or whose
  // versions lie outside 0..127, pack alike and still stay apart.
  const std::vector<KUID> alike = {{1, 5, 0}, {1 + (1 << 25), 5, 0}, {1 + (1 << 26), 5, 0},
                                   {1, 5, 128}, {1, 5, 256}, kNullKUID};
  struct Case {
    const char* what;
    std::vector<KUID> adds;
    std::vector<KUID> removes;
  };
  std::vector<Case> cases = {
      {"empty", {}, {{1, 2, 0}}},
      {"repeated", {{1, 2, 0}, {1, 2, 0}, {1, 2, 0}}, {{1, 2, 0}}},
      {"removed to zero", {{1, 2, 0}, {1, 2, 0}}, {{1, 2, 0}, {1, 2, 0}, {1, 2, 0}}},
      {"packed alike", alike, {alike[1], alike[3]}},
      {"growth", Range(1, 0, 5000), {}},
      {"every other removed", Range(3, 0, 3000), {}},
      {"all removed", Range(4, -500, 500, 127), Range(4, -500, 500, 127)},
      {"many authors, few contents", {}, {}},
      {"interleaved runs", {}, {}},
      {"sparse contents", {}, {}},
      {"counts above one through growth", {}, {}},
  };
  for (size_t i = 0; i < 3000; i += 2) cases[5].removes.push_back(KUID{3, int32_t(i), 0});
  // Authors that share their content ids (a KUID's place inside its block
  // must not come from the content id alone).
  for (int32_t user = 0; user < 1500; ++user)
    for (int32_t content = 0; content < 4; ++content)
      cases[7].adds.push_back(KUID{user, content, user % 3});
  for (size_t i = 0; i < cases[7].adds.size(); i += 3) cases[7].removes.push_back(cases[7].adds[i]);
  // Runs of several authors that cross block boundaries and wrap around
  // the int range, added in turn and partly removed.
  for (int32_t i = 0; i < 700; ++i)
    for (int32_t user : {5, 6, 7})
      cases[8].adds.push_back(KUID{user, static_cast<int32_t>(uint32_t{INT32_MAX} - 350 + i + user), 0});
  for (size_t i = 0; i < cases[8].adds.size(); i += 5) cases[8].removes.push_back(cases[8].adds[i]);
  for (int32_t i = 0; i < 2000; ++i) cases[9].adds.push_back(KUID{11, i * 4099, 2});
  for (size_t i = 0; i < 2000; i += 2) cases[9].removes.push_back(cases[9].adds[i]);
  // Each KUID added again after the table has grown past it.
  for (const std::vector<KUID>& pass : {Range(12, 0, 1500), Range(12, 0, 1500, 3), Range(12, 0, 1500)})
    cases[10].adds.insert(cases[10].adds.end(), pass.begin(), pass.end());
  cases[10].removes = Range(12, 0, 700);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectSameAsMap(c.adds, c.removes);
  }
}

TEST(KUIDCountTable, AddIfAbsentInsertsOnlyANewKUID) {
  KUIDCountTable table;
  table.Add(KUID{1, 2, 0});
  table.Add(KUID{1, 2, 0});
  EXPECT_FALSE(table.AddIfAbsent(KUID{1, 2, 0}));
  EXPECT_EQ(table.Find(KUID{1, 2, 0}), 2u);
  // Through growth, each new KUID goes in once with a count of one.
  for (int32_t i = 0; i < 1000; ++i) {
    ASSERT_TRUE(table.AddIfAbsent(KUID{1, i + 3, 0})) << i;
    ASSERT_FALSE(table.AddIfAbsent(KUID{1, i + 3, 0})) << i;
  }
  EXPECT_EQ(table.Size(), 1001u);
  for (int32_t i = 0; i < 1000; ++i) ASSERT_EQ(table.Find(KUID{1, i + 3, 0}), 1u) << i;
  table.Remove(KUID{1, 500, 0});
  EXPECT_TRUE(table.AddIfAbsent(KUID{1, 500, 0}));
  EXPECT_EQ(table.Size(), 1001u);
}

TEST(KUIDCountTable, LargeTableKeepsEveryKUIDThroughEachGrowth) {
  // Enough KUIDs for the table to pass 2^20 entries, where it stops
  // quadrupling and doubles: runs of one author's content ids, and authors
  // with a content id each, all still found once and only once.
  KUIDCountTable table;
  constexpr int32_t kRun = 300000;
  constexpr int32_t kAuthors = 300000;
  for (int32_t i = 0; i < kRun; ++i) ASSERT_TRUE(table.AddIfAbsent(KUID{21, i, 0})) << i;
  for (int32_t user = 0; user < kAuthors; ++user)
    ASSERT_TRUE(table.AddIfAbsent(KUID{user, 7, user % 128})) << user;
  EXPECT_EQ(table.Size(), size_t{kRun} + kAuthors);
  for (int32_t i = 0; i < kRun; ++i) ASSERT_EQ(table.Find(KUID{21, i, 0}), 1u) << i;
  for (int32_t user = 0; user < kAuthors; ++user) {
    ASSERT_FALSE(table.AddIfAbsent(KUID{user, 7, user % 128})) << user;
    ASSERT_EQ(table.Find(KUID{user, 7, user % 128}), 1u) << user;
  }
  EXPECT_EQ(table.Find(KUID{21, kRun, 0}), 0u);
}

TEST(KUIDCountTable, RemovalKeepsEveryOtherKeyReachable) {
  // Many KUIDs in a small table make long probe runs that wrap around the
  // end; removing keys one at a time must never lose another.
  KUIDCountTable table;
  std::vector<KUID> kuids = Range(9, 0, 400);
  for (const KUID& kuid : kuids) table.Add(kuid);
  for (size_t i = 0; i < kuids.size(); ++i) {
    table.Remove(kuids[(i * 7) % kuids.size()]);
    for (size_t j = i + 1; j < kuids.size(); ++j)
      ASSERT_EQ(table.Find(kuids[(j * 7) % kuids.size()]), 1u) << i << " " << j;
  }
  EXPECT_EQ(table.Size(), 0u);
  table.Add(kuids[0]);
  table.Clear();
  EXPECT_EQ(table.Find(kuids[0]), 0u);
  EXPECT_EQ(table.Size(), 0u);
  // A cleared table grows again from nothing.
  for (const KUID& kuid : kuids) EXPECT_TRUE(table.AddIfAbsent(kuid));
  for (const KUID& kuid : kuids) ASSERT_EQ(table.Find(kuid), 1u);
}

}  // namespace

namespace {

// FindFree then FillFree adds as AddIfAbsent does, and asks for growth
// exactly when the next KUID would pass half full.
TEST(KUIDCountTable, FindFreeThenFillFreeAddsAsAddIfAbsent) {
  KUIDCountTable table;
  size_t slot = 0;
  EXPECT_EQ(table.FindFree(KUID{1, 0, 0}, slot), KUIDCountTable::Lookup::kFull);
  ASSERT_TRUE(table.AddIfAbsent(KUID{1, 0, 0}));
  size_t filled = 1;
  for (int32_t i = 1; i < 3000; ++i) {
    const KUID kuid{1, i, i % 5};
    const KUIDCountTable::Lookup found = table.FindFree(kuid, slot);
    if (found == KUIDCountTable::Lookup::kFull) {
      ASSERT_TRUE(table.AddIfAbsent(kuid)) << i;  // grows
    } else {
      ASSERT_EQ(found, KUIDCountTable::Lookup::kAbsent) << i;
      table.FillFree(slot, kuid);
      ++filled;
    }
    ASSERT_NE(table.FindFree(kuid, slot), KUIDCountTable::Lookup::kAbsent) << i;
    ASSERT_EQ(table.Find(kuid), 1u) << i;
  }
  EXPECT_EQ(table.Size(), 3000u);
  EXPECT_GT(filled, 2900u);
  for (int32_t i = 0; i < 3000; ++i) ASSERT_EQ(table.Find(KUID{1, i, i % 5}), 1u) << i;
  EXPECT_EQ(table.Find(KUID{1, 3000, 0}), 0u);
}

}  // namespace
