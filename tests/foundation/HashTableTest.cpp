#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "foundation/containers/GrowArray128.h"
#include "foundation/containers/HashTable.h"
#include "foundation/containers/IHashNode.h"
#include "foundation/containers/IdHashTable.h"
#include "foundation/containers/PStringMap.h"

namespace {

std::string RandomKey(std::mt19937& rng) {
  static const char kChars[] = "ab\x7F\x80\xE9z";
  std::string key;
  size_t n = 1 + rng() % 4;
  for (size_t i = 0; i < n; ++i) key += kChars[rng() % (sizeof kChars - 1)];
  return key;
}

// Chains sorted by strcmp, each node in the bucket of its hash, and a full
// walk that meets every key once.
template <typename Table>
std::vector<std::string> WalkAndCheck(const Table& table) {
  std::vector<std::string> seen;
  typename Table::Cursor cursor(table);
  for (; !cursor.AtEnd(); cursor.Next()) seen.push_back(cursor.Current()->key);
  for (uint32_t b = 0; b < table.BucketCount(); ++b) {
    for (auto* n = table.Bucket(b); n; n = n->next) {
      EXPECT_EQ(HashName(n->key.c_str()) % table.BucketCount(), b);
      if (n->next) {
        EXPECT_LT(std::strcmp(n->key.c_str(), n->next->key.c_str()), 0);
      }
    }
  }
  return seen;
}

TEST(HashTable, RandomInsertAndFindMatchMap) {
  std::mt19937 rng(7);
  HashTable<int> table(13);
  std::map<std::string, int> model;
  for (int step = 0; step < 5000; ++step) {
    std::string key = RandomKey(rng);
    if (rng() % 2) {
      bool fresh = !model.count(key);
      ASSERT_EQ(table.InsertByName(key.c_str(), step), fresh);
      if (fresh) model[key] = step;
    }
    HashTable<int>::Iterator it;
    bool found = table.FindByName(key.c_str(), it);
    ASSERT_EQ(found, model.count(key) == 1);
    if (found) {
      ASSERT_EQ(it.node->value, model[key]);
    }
  }
  EXPECT_EQ(table.Count(), model.size());
  std::vector<std::string> seen = WalkAndCheck(table);
  std::set<std::string> unique(seen.begin(), seen.end());
  EXPECT_EQ(seen.size(), model.size());
  EXPECT_EQ(unique.size(), model.size());
}

TEST(HashTable, FreeBucketsEmptiesAndLeavesTableInert) {
  HashTable<std::unique_ptr<int>> table(5);
  for (int i = 0; i < 20; ++i)
    table.InsertByName(std::to_string(i).c_str(), std::make_unique<int>(i));
  table.FreeBuckets();
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_EQ(table.BucketCount(), 0u);
  HashTable<std::unique_ptr<int>>::Iterator it;
  EXPECT_FALSE(table.FindByName("1", it));
  EXPECT_FALSE(table.InsertByName("1", nullptr));
  HashTable<std::unique_ptr<int>>::Cursor cursor(table);
  EXPECT_TRUE(cursor.AtEnd());
}

TEST(HashIteratorNext, SkipsEmptyBucketsAndStaysAtEnd) {
  HashTable<int> table(100);
  HashTable<int>::Cursor empty(table);
  EXPECT_TRUE(empty.AtEnd());
  table.InsertByName("a", 1);   // bucket 97
  table.InsertByName("zz", 2);  // bucket 88
  HashTable<int>::Iterator it;
  ASSERT_TRUE(table.FindByName("zz", it));
  HashIteratorNext(it);
  ASSERT_FALSE(it.AtEnd());
  EXPECT_EQ(it.node->key, "a");
  HashIteratorNext(it);
  EXPECT_TRUE(it.AtEnd());
  HashIteratorNext(it);
  EXPECT_TRUE(it.AtEnd());
}

TEST(IdHashTable, RandomInsertAndFindMatchMapWithSortedChains) {
  std::mt19937 rng(11);
  IdHashTable<int> table(251);
  std::map<std::pair<uint32_t, uint32_t>, int> model;
  for (int step = 0; step < 5000; ++step) {
    uint32_t low = rng() % 1000, high = rng() % 3;
    if (rng() % 2) {
      bool fresh = !model.count({low, high});
      ASSERT_EQ(table.Insert(low, high, step), fresh);
      if (fresh) model[{low, high}] = step;
    }
    IdHashTable<int>::Iterator it;
    bool found = table.Find(low, high, it);
    ASSERT_EQ(found, model.count({low, high}) == 1);
    if (found) {
      ASSERT_EQ(it.node->value, (model[{low, high}]));
      ASSERT_EQ(it.bucket, low % 251);
    }
  }
  EXPECT_EQ(table.Count(), model.size());
  size_t walked = 0;
  for (IdHashTable<int>::Cursor c(table); !c.AtEnd(); c.Next(), ++walked) {
    auto* n = c.Current();
    if (n->next) {
      EXPECT_TRUE(std::make_pair(n->low, n->high) < std::make_pair(n->next->low, n->next->high));
    }
  }
  EXPECT_EQ(walked, model.size());
  table.Clear();
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_EQ(table.BucketCount(), 251u);
  EXPECT_TRUE(table.Insert(1, 2, 3));
}

TEST(PStringMap, ClearDeletesEntriesAndReleasesStrings) {
  Kiv::PString name("pstring-map-test-root");
  PStringMap map(251);
  for (uint32_t i = 0; i < 10; ++i) {
    map.Insert(
        i, 0,
        std::make_unique<PStringMapEntry>(PStringMapEntry{name, "path/" + std::to_string(i)}));
  }
  EXPECT_EQ(Kiv::PStringCache::UseCount(name), 11u);
  map.Clear();
  EXPECT_EQ(map.Count(), 0u);
  EXPECT_EQ(Kiv::PStringCache::UseCount(name), 1u);
}

struct NumberNode : Utils::IHashNode {
  explicit NumberNode(int k) : key(k) {}
  uint32_t Hash() const override { return uint32_t(key) / 3; }
  int Compare(const IHashNode& other) const override {
    int o = static_cast<const NumberNode&>(other).key;
    return key < o ? -1 : (key > o ? 1 : 0);
  }
  int key;
};

TEST(IHashNodeTable, InsertsByNodeHashAndOrderWithoutOwning) {
  std::mt19937 rng(5);
  std::vector<std::unique_ptr<NumberNode>> pool;
  Utils::IHashNodeTable table(17);
  std::set<int> model;
  for (int step = 0; step < 3000; ++step) {
    int key = int(rng() % 500);
    pool.push_back(std::make_unique<NumberNode>(key));
    ASSERT_EQ(table.Insert(pool.back().get()), model.insert(key).second);
    NumberNode probe(int(rng() % 500));
    Utils::IHashNodeTable::Iterator it;
    bool found = table.Find(probe, it);
    ASSERT_EQ(found, model.count(probe.key) == 1);
    if (found) {
      ASSERT_EQ(static_cast<NumberNode*>(it.node)->key, probe.key);
    }
  }
  for (uint32_t b = 0; b < table.BucketCount(); ++b) {
    for (auto* n = table.Bucket(b); n && n->next; n = n->next) {
      EXPECT_LT(n->Compare(*n->next), 0);
    }
  }
  EXPECT_EQ(table.Count(), model.size());
  table.FreeBuckets();
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_FALSE(table.Insert(pool.front().get()));
}

TEST(GrowArray128, KeepsEntriesAndRefusesOverflow) {
  int a = 1;
  PointerArray<int> array;
  ASSERT_TRUE(GrowArray128(array, 1));
  array.data[0] = &a;
  array.count = 1;
  ASSERT_TRUE(GrowArray128(array, 129));
  EXPECT_EQ(array.data[0], &a);
  EXPECT_EQ(array.data[1], nullptr);
  const uint32_t capacity = array.capacity;
  EXPECT_FALSE(GrowArray128(array, uint64_t(UINT32_MAX) + 1));
  EXPECT_EQ(array.capacity, capacity);
}

}  // namespace
