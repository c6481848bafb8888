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
  };
  for (size_t i = 0; i < 3000; i += 2) cases[5].removes.push_back(KUID{3, int32_t(i), 0});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectSameAsMap(c.adds, c.removes);
  }
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
}

}  // namespace
