// The global names: finds answer what a walk of the linked chains answers,
// the list is in chain order however inserts, removals and walks
// interleave, and the slots survive growth and removals.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gscompiler/GSGlobalNames.h"

namespace {

using GSCompiler::GSGlobalNames;
using GSCompiler::GSSymbol;

constexpr uint32_t kBuckets = GSGlobalNames::kBuckets;

struct Pool {
  std::vector<std::unique_ptr<GSSymbol>> symbols;
  std::deque<std::string> names;  // stable addresses
  GSSymbol* Make(uint32_t kind, const std::string& name, int32_t depth) {
    names.push_back(name);
    symbols.push_back(std::make_unique<GSSymbol>(kind, names.back().c_str()));
    symbols.back()->depth = depth;
    return symbols.back().get();
  }
};

// The linked list: in chain order (bucket, then Compare), holding exactly
// `expected`.
void ExpectChainOrder(const GSGlobalNames& names, std::vector<GSSymbol*> expected) {
  const GSGlobalNames::List& list = names.Linked();
  std::vector<GSSymbol*> walked;
  const Utils::IHashNode* previous = nullptr;
  for (Utils::IHashNode* n = list.first; n != nullptr; n = n->next) {
    if (previous != nullptr) {
      const uint32_t a = previous->Hash() % kBuckets;
      const uint32_t b = n->Hash() % kBuckets;
      ASSERT_TRUE(a < b || (a == b && previous->Compare(*n) < 0))
          << static_cast<const GSSymbol*>(n)->name;
    }
    previous = n;
    walked.push_back(static_cast<GSSymbol*>(n));
  }
  ASSERT_EQ(list.count, expected.size());
  std::sort(walked.begin(), walked.end());
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(walked, expected);
}

// The first symbol of the linked chains equal to `key`.
GSSymbol* WalkFind(const GSGlobalNames& names, const GSSymbol& key) {
  const uint32_t bucket = key.Hash() % kBuckets;
  for (Utils::IHashNode* n = names.Linked().first; n != nullptr; n = n->next) {
    if (n->Hash() % kBuckets == bucket && key.Compare(*n) == 0) return static_cast<GSSymbol*>(n);
  }
  return nullptr;
}

}  // namespace

TEST(GSGlobalNames, EqualKeysAreRefusedAndShadowsFoundByDepth) {
  Pool pool;
  GSGlobalNames names;
  GSSymbol* file = pool.Make(GSCompiler::SymbolDependent, "lib.gs", 0);
  GSSymbol* cls = pool.Make(GSCompiler::SymbolClass, "Lib", 0);
  GSSymbol* deeper = pool.Make(GSCompiler::SymbolClass, "Lib", 2);
  ASSERT_TRUE(names.Insert(file));
  ASSERT_TRUE(names.Insert(cls));
  ASSERT_TRUE(names.Insert(deeper));
  EXPECT_FALSE(names.Insert(pool.Make(GSCompiler::SymbolDependent, "LIB.GS", 0)))
      << "files are one name without regard to case";
  // 'Z' and 'A' fold too: the ends of the upper-case range.
  GSSymbol* edges = pool.Make(GSCompiler::SymbolDependent, "Zed-A.gs", 0);
  ASSERT_TRUE(names.Insert(edges));
  EXPECT_FALSE(names.Insert(pool.Make(GSCompiler::SymbolDependent, "zED-a.GS", 0)));
  EXPECT_FALSE(names.Insert(pool.Make(GSCompiler::SymbolClass, "Lib", 2)));
  EXPECT_TRUE(names.Insert(pool.Make(GSCompiler::SymbolClass, "LIB", 0)));
  struct Case {
    uint32_t kind;
    const char* name;
    int32_t depth;
    GSSymbol* expected;
  };
  for (const Case& c : {Case{GSCompiler::SymbolDependent, "LIB.gs", -1, file},
                        Case{GSCompiler::SymbolDependent, "zed-a.GS", -1, edges},
                        Case{GSCompiler::SymbolDependent, "ZED-A.gs", -1, edges},
                        Case{GSCompiler::SymbolVariable, "LIB.GS", -1, nullptr},
                        Case{GSCompiler::SymbolVariable, "lib.gs", -1, file},
                        Case{GSCompiler::SymbolVariable, "Lib", -1, deeper},
                        Case{GSCompiler::SymbolVariable, "Lib", 0, cls},
                        Case{GSCompiler::SymbolVariable, "Lib", 1, nullptr},
                        Case{GSCompiler::SymbolVariable, "lib", -1, nullptr}}) {
    GSSymbol key(c.kind, c.name);
    key.depth = c.depth;
    EXPECT_EQ(names.Find(key), c.expected) << c.name << " depth " << c.depth;
  }
  ASSERT_TRUE(names.Remove(deeper));
  EXPECT_FALSE(names.Remove(deeper));
  GSSymbol any(GSCompiler::SymbolVariable, "Lib");
  any.depth = -1;
  EXPECT_EQ(names.Find(any), cls);
  names.Clear();
  EXPECT_EQ(names.Find(any), nullptr);
  EXPECT_EQ(names.Linked().first, nullptr);
  EXPECT_TRUE(names.Insert(pool.Make(GSCompiler::SymbolClass, "Lib", 2)));
}

// File names compare without regard to case, so "Z1.gs" sorts after
// "a1.gs" though 'Z' is the smaller byte; a chain holding both must follow
// the case-blind order.
TEST(GSGlobalNames, FileNamesKeepTheirOrderWithoutRegardToCase) {
  Pool pool;
  GSGlobalNames names;
  std::vector<GSSymbol*> entered;
  for (int i = 0; i < 300; ++i) {
    for (const char* start : {"Z", "a", "_"}) {
      entered.push_back(
          pool.Make(GSCompiler::SymbolDependent, start + std::to_string(i) + ".gs", 0));
      ASSERT_TRUE(names.Insert(entered.back()));
    }
  }
  ExpectChainOrder(names, entered);
}

// Names alike in their first eight bytes are ordered past them: entered in
// descending order, they still link in chain order.
TEST(GSGlobalNames, NamesAlikeInTheirFirstBytesKeepChainOrder) {
  Pool pool;
  GSGlobalNames names;
  std::vector<GSSymbol*> entered;
  for (int i = 3000; i > 0; --i) {
    entered.push_back(pool.Make(GSCompiler::SymbolClass, "LongName_" + std::to_string(i), 0));
    ASSERT_TRUE(names.Insert(entered.back()));
  }
  ExpectChainOrder(names, entered);
}

// Names that differ in a few digits (the bucket hash spreads them poorly),
// entered in runs with walks in between, half of them removed again.
TEST(GSGlobalNames, ManyNamesSurviveGrowthRemovalsAndWalks) {
  constexpr int kCount = 5000;
  Pool pool;
  GSGlobalNames names;
  std::vector<GSSymbol*> entered;
  for (int i = 0; i < kCount; ++i) {
    entered.push_back(pool.Make(GSCompiler::SymbolClass, "C" + std::to_string(i * 7 % kCount), 0));
    ASSERT_TRUE(names.Insert(entered.back()));
    if (i % 700 == 0) ExpectChainOrder(names, entered);
  }
  std::vector<GSSymbol*> kept;
  for (int i = 0; i < kCount; ++i) {
    if (i % 2 == 0 || i % 3 == 0) {
      ASSERT_TRUE(names.Remove(entered[size_t(i)]));
    } else {
      kept.push_back(entered[size_t(i)]);
    }
  }
  ExpectChainOrder(names, kept);
  for (int i = 0; i < kCount; ++i) {
    GSSymbol key(GSCompiler::SymbolVariable, entered[size_t(i)]->name);
    key.depth = -1;
    const bool removed = i % 2 == 0 || i % 3 == 0;
    ASSERT_EQ(names.Find(key), removed ? nullptr : entered[size_t(i)]) << key.name;
  }
}

TEST(GSGlobalNames, RandomInsertsRemovalsAndWalksFindWhatTheChainsHold) {
  const std::vector<std::string> base = {"a", "b", "ab", "ba", "Ab", "x1", "x2", "", "A", "B"};
  const std::vector<std::string> files = {"f.gs", "g.gs", "F.GS"};
  std::vector<std::pair<uint32_t, std::string>> keys;
  for (const std::string& n : base) keys.emplace_back(GSCompiler::SymbolVariable, n);
  for (const std::string& n : files) {
    keys.emplace_back(GSCompiler::SymbolDependent, n);
    keys.emplace_back(GSCompiler::SymbolVariable, n);
  }
  Pool pool;
  GSGlobalNames names;
  std::vector<GSSymbol*> linked;
  std::mt19937 random(5);
  for (int step = 0; step < 2000; ++step) {
    const uint32_t action = random() % 8;
    if (!linked.empty() && action < 2) {
      const size_t i = random() % linked.size();
      ASSERT_TRUE(names.Remove(linked[i]));
      linked.erase(linked.begin() + long(i));
    } else if (action == 2) {
      ExpectChainOrder(names, linked);
    } else {
      GSSymbol* s = random() % 4 == 0
                        ? pool.Make(GSCompiler::SymbolDependent, files[random() % files.size()], 0)
                        : pool.Make(GSCompiler::SymbolClass, base[random() % base.size()],
                                    int32_t(random() % 4));
      if (names.Insert(s)) linked.push_back(s);
    }
    // Finds are asked before the walk links what was entered.
    for (const auto& [kind, name] : keys) {
      for (int32_t depth = -1; depth <= 3; ++depth) {
        GSSymbol key(kind, name.c_str());
        key.depth = depth;
        GSSymbol* found = names.Find(key);
        ASSERT_EQ(found, WalkFind(names, key)) << name << " depth " << depth << " step " << step;
      }
    }
    if (HasFatalFailure()) return;
  }
  ExpectChainOrder(names, linked);
}
