// The chain index: every find answers what a walk of the linked chains
// answers, through inserts, removals of shadowing symbols and clears.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gscompiler/GSSymbolChains.h"

namespace {

using GSCompiler::GSSymbol;
using GSCompiler::GSSymbolChains;
using GSCompiler::SymbolBuckets;

constexpr uint32_t kBuckets = 4;
using Buckets = SymbolBuckets<kBuckets>;

// The first symbol of `buckets` equal to `key`, walking the linked list.
GSSymbol* WalkFind(const Buckets& buckets, const GSSymbol& key) {
  const uint32_t bucket = key.Hash() % kBuckets;
  for (Utils::IHashNode* n = buckets.first; n != nullptr; n = n->next) {
    if (n->Hash() % kBuckets == bucket && key.Compare(*n) == 0) return static_cast<GSSymbol*>(n);
  }
  return nullptr;
}

struct Pool {
  std::vector<std::unique_ptr<GSSymbol>> symbols;
  GSSymbol* Make(uint32_t kind, const char* name, int32_t depth) {
    symbols.push_back(std::make_unique<GSSymbol>(kind, name));
    symbols.back()->depth = depth;
    return symbols.back().get();
  }
};

// Every name of `names` at every key depth (-1 and 0..5), both kinds,
// against the walk.
void ExpectFindsMatchTheWalk(const GSSymbolChains& chains, const Buckets& buckets,
                             const std::vector<const char*>& names) {
  for (const char* name : names) {
    for (uint32_t kind : {GSCompiler::SymbolVariable, GSCompiler::SymbolDependent}) {
      for (int32_t depth = -1; depth <= 5; ++depth) {
        GSSymbol key(kind, name);
        key.depth = depth;
        ASSERT_EQ(chains.Find(buckets, key), WalkFind(buckets, key))
            << name << " kind " << kind << " depth " << depth;
      }
    }
  }
}

// For each prefix, the symbols handed out by ForEachWithPrefix are those
// of the walk whose names start with it, in chain order; a callback that
// answers false after the first gets only the first.
void ExpectPrefixesMatchTheWalk(const GSSymbolChains& chains, const Buckets& buckets,
                                const std::vector<std::string>& prefixes) {
  for (const std::string& prefix : prefixes) {
    std::vector<GSSymbol*> walked;
    for (Utils::IHashNode* n = buckets.first; n != nullptr; n = n->next) {
      if (std::string(static_cast<GSSymbol*>(n)->name).rfind(prefix, 0) == 0)
        walked.push_back(static_cast<GSSymbol*>(n));
    }
    const auto handed = [&](bool keepGoing) {
      std::vector<GSSymbol*> out;
      chains.ForEachWithPrefix(buckets, prefix, [&](GSSymbol* s) {
        out.push_back(s);
        return keepGoing;
      });
      return out;
    };
    ASSERT_EQ(handed(true), walked) << "prefix '" << prefix << "'";
    const std::vector<GSSymbol*> first(walked.begin(), walked.begin() + (walked.empty() ? 0 : 1));
    ASSERT_EQ(handed(false), first) << "prefix '" << prefix << "'";
  }
}

}  // namespace

TEST(GSSymbolChains, ShadowedNamesAreFoundByDeepestOrExactDepth) {
  Pool pool;
  GSSymbolChains chains;
  Buckets buckets;
  GSSymbol* at0 = pool.Make(GSCompiler::SymbolVariable, "x", 0);
  GSSymbol* at2 = pool.Make(GSCompiler::SymbolVariable, "x", 2);
  GSSymbol* at4 = pool.Make(GSCompiler::SymbolVariable, "x", 4);
  for (GSSymbol* s : {at2, at0, at4}) ASSERT_TRUE(chains.Insert(buckets, s));
  EXPECT_FALSE(chains.Insert(buckets, pool.Make(GSCompiler::SymbolVariable, "x", 2)));
  struct Case {
    int32_t depth;
    GSSymbol* expected;
  };
  for (const Case& c : {Case{-1, at4}, Case{4, at4}, Case{3, nullptr}, Case{2, at2},
                        Case{1, nullptr}, Case{0, at0}, Case{5, nullptr}}) {
    GSSymbol key(GSCompiler::SymbolVariable, "x");
    key.depth = c.depth;
    EXPECT_EQ(chains.Find(buckets, key), c.expected) << "depth " << c.depth;
  }
  // Removing the deepest hands "deepest" to the next one down; removing
  // a middle one leaves the others found.
  ASSERT_TRUE(chains.Remove(buckets, at4));
  EXPECT_FALSE(chains.Remove(buckets, at4));
  GSSymbol any(GSCompiler::SymbolVariable, "x");
  any.depth = -1;
  EXPECT_EQ(chains.Find(buckets, any), at2);
  ASSERT_TRUE(chains.Remove(buckets, at2));
  EXPECT_EQ(chains.Find(buckets, any), at0);
  ASSERT_TRUE(chains.Remove(buckets, at0));
  EXPECT_EQ(chains.Find(buckets, any), nullptr);
  EXPECT_EQ(buckets.first, nullptr);
  EXPECT_EQ(buckets.count, 0u);
}

TEST(GSSymbolChains, SameNameInAnotherListOrCaseIsAnotherKey) {
  Pool pool;
  GSSymbolChains chains;
  Buckets one;
  Buckets two;
  GSSymbol* inOne = pool.Make(GSCompiler::SymbolVariable, "Foo", 0);
  GSSymbol* inTwo = pool.Make(GSCompiler::SymbolVariable, "Foo", 0);
  GSSymbol* lower = pool.Make(GSCompiler::SymbolVariable, "foo", 0);
  GSSymbol* file = pool.Make(GSCompiler::SymbolDependent, "lib.gs", 0);
  ASSERT_TRUE(chains.Insert(one, inOne));
  ASSERT_TRUE(chains.Insert(two, inTwo));
  ASSERT_TRUE(chains.Insert(one, lower));
  ASSERT_TRUE(chains.Insert(one, file));
  GSSymbol key(GSCompiler::SymbolVariable, "Foo");
  key.depth = -1;
  EXPECT_EQ(chains.Find(one, key), inOne);
  EXPECT_EQ(chains.Find(two, key), inTwo);
  ASSERT_TRUE(chains.Remove(one, inOne));
  EXPECT_EQ(chains.Find(one, key), nullptr) << "\"foo\" is another name";
  EXPECT_EQ(chains.Find(two, key), inTwo);
  // File names alone compare without regard to case.
  GSSymbol fileKey(GSCompiler::SymbolDependent, "LIB.GS");
  fileKey.depth = -1;
  EXPECT_EQ(chains.Find(one, fileKey), file);
  GSSymbol plainKey(GSCompiler::SymbolVariable, "LIB.GS");
  plainKey.depth = -1;
  EXPECT_EQ(chains.Find(one, plainKey), nullptr);
  // Clear() forgets the index along with the lists the table empties: a
  // list at the same place, long enough to be indexed, starts afresh.
  std::vector<std::string> names;
  for (uint32_t i = 0; i <= GSSymbolChains::kWalkLimit; ++i) names.push_back("m" + std::to_string(i));
  for (const std::string& name : names)
    ASSERT_TRUE(chains.Insert(two, pool.Make(GSCompiler::SymbolVariable, name.c_str(), 0)));
  ASSERT_TRUE(two.indexed);
  chains.Clear();
  two = Buckets{};
  EXPECT_EQ(chains.Find(two, key), nullptr);
  for (const std::string& name : names) {
    GSSymbol* again = pool.Make(GSCompiler::SymbolVariable, name.c_str(), 0);
    ASSERT_TRUE(chains.Insert(two, again)) << name;
    GSSymbol probe(GSCompiler::SymbolVariable, name.c_str());
    probe.depth = -1;
    EXPECT_EQ(chains.Find(two, probe), again) << name;
  }
  EXPECT_TRUE(two.indexed);
}

TEST(GSSymbolChains, RandomInsertsAndRemovalsFindWhatTheChainsHold) {
  const std::vector<const char*> names = {"a", "b", "c", "ab", "ba", "x1", "x2", "", "A", "B"};
  // File names are entered lower-cased; keys also ask in upper case.
  const std::vector<const char*> files = {"f.gs", "g.gs"};
  std::vector<const char*> keys = names;
  keys.insert(keys.end(), {"f.gs", "g.gs", "F.GS"});
  Pool pool;
  GSSymbolChains chains;
  Buckets first;
  Buckets second;
  std::vector<std::pair<Buckets*, GSSymbol*>> linked;
  std::mt19937 random(7);
  for (int step = 0; step < 1500; ++step) {
    if (!linked.empty() && random() % 3 == 0) {
      const size_t i = random() % linked.size();
      ASSERT_TRUE(chains.Remove(*linked[i].first, linked[i].second));
      linked.erase(linked.begin() + long(i));
    } else {
      Buckets* buckets = random() % 2 == 0 ? &first : &second;
      GSSymbol* s = random() % 4 == 0
                        ? pool.Make(GSCompiler::SymbolDependent, files[random() % files.size()], 0)
                        : pool.Make(GSCompiler::SymbolVariable, names[random() % names.size()],
                                    int32_t(random() % 5));
      if (chains.Insert(*buckets, s)) linked.emplace_back(buckets, s);
    }
    ExpectFindsMatchTheWalk(chains, first, keys);
    ExpectFindsMatchTheWalk(chains, second, keys);
    if (HasFatalFailure()) return;
  }
}

// Lists held short (walked) and lists grown past the walk limit (indexed)
// side by side: each stays one list in chain order, holding exactly what
// was linked into it, and finds and prefix searches answer what the walk
// answers.
TEST(GSSymbolChains, WalkedAndIndexedListsKeepTheChainOrder) {
  // Short names, long ones alike in their first bytes, and (lower-cased)
  // file names.
  std::vector<std::string> names;
  for (int i = 0; i < 40; ++i)
    names.push_back((i % 2 == 0 ? "s" : "::LongName") + std::to_string(i * 37 % 101));
  const std::vector<std::string> files = {"zq.gs", "aq.gs", "mq.gs", "_q.gs"};
  std::vector<const char*> keys;
  for (const std::string& name : names) keys.push_back(name.c_str());
  for (const std::string& file : files) keys.push_back(file.c_str());
  const std::vector<std::string> prefixes = {"::LongName1", "::LongName", "s3", "s", "zq", "q", ""};
  const std::vector<size_t> caps = {1, 3, GSSymbolChains::kWalkLimit,
                                    GSSymbolChains::kWalkLimit + 1, 120};
  Pool pool;
  GSSymbolChains chains;
  std::vector<Buckets> lists(caps.size());
  std::vector<std::vector<GSSymbol*>> linked(caps.size());
  std::mt19937 random(11);
  for (int step = 0; step < 3000; ++step) {
    const size_t l = random() % lists.size();
    std::vector<GSSymbol*>& own = linked[l];
    if (own.size() >= caps[l] || (!own.empty() && random() % 4 == 0)) {
      const size_t i = random() % own.size();
      ASSERT_TRUE(chains.Remove(lists[l], own[i]));
      own.erase(own.begin() + long(i));
    } else {
      GSSymbol* s = random() % 5 == 0
                        ? pool.Make(GSCompiler::SymbolDependent,
                                    files[random() % files.size()].c_str(), 0)
                        : pool.Make(GSCompiler::SymbolVariable,
                                    names[random() % names.size()].c_str(), int32_t(random() % 4));
      if (chains.Insert(lists[l], s)) own.push_back(s);
    }
    std::vector<GSSymbol*> walked;
    const Utils::IHashNode* previous = nullptr;
    for (Utils::IHashNode* n = lists[l].first; n != nullptr; n = n->next) {
      if (previous != nullptr) {
        const uint32_t a = previous->Hash() % kBuckets;
        const uint32_t b = n->Hash() % kBuckets;
        ASSERT_TRUE(a < b || (a == b && previous->Compare(*n) < 0)) << "step " << step;
      }
      previous = n;
      walked.push_back(static_cast<GSSymbol*>(n));
    }
    std::vector<GSSymbol*> expected = own;
    std::sort(walked.begin(), walked.end());
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(walked, expected) << "list " << l << " step " << step;
    ASSERT_EQ(lists[l].count, own.size());
    ExpectFindsMatchTheWalk(chains, lists[l], keys);
    ExpectPrefixesMatchTheWalk(chains, lists[l], prefixes);
    if (HasFatalFailure()) return;
  }
}
