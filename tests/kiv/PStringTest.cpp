#include "kiv/PString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <vector>

using Kiv::PString;
using Kiv::PStringCache;

TEST(PString, EqualTextsShareOneEntryAndEmptyIsNull) {
  PString a("alpha-share");
  PString b(std::string_view("alpha-share"));
  PString c(std::string("alpha-sharE"));
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.Id(), b.Id());
  EXPECT_NE(a, c);
  EXPECT_EQ(a.View(), "alpha-share");
  EXPECT_EQ(a.Length(), 11u);
  EXPECT_STREQ(a.Text(), "alpha-share");

  PString empty1("");
  PString empty2(static_cast<const char*>(nullptr));
  PString empty3 = PString::FromUtf8(nullptr);
  for (const PString* e : {&empty1, &empty2, &empty3}) {
    EXPECT_TRUE(e->Empty());
    EXPECT_EQ(e->Id(), nullptr);
    EXPECT_EQ(e->Text(), nullptr);
    EXPECT_STREQ(e->c_str(), "");
    EXPECT_EQ(e->Length(), 0u);
    EXPECT_EQ(PStringCache::UseCount(*e), 0u);
  }
}

TEST(PString, CopyAddsUseAndLastReleaseFreesEntry) {
  const size_t base = PStringCache::Count();
  PString a("copy-release-text");
  EXPECT_EQ(PStringCache::Count(), base + 1);
  {
    PString b(a);
    PString c;
    c = b;
    EXPECT_EQ(PStringCache::UseCount(a), 3u);
  }
  EXPECT_EQ(PStringCache::UseCount(a), 1u);
  EXPECT_EQ(a.View(), "copy-release-text");
  EXPECT_EQ(PStringCache::Count(), base + 1);

  PString moved(std::move(a));
  EXPECT_TRUE(a.Empty());  // A moved-from string is empty.
  EXPECT_EQ(PStringCache::UseCount(moved), 1u);
  moved.Release();
  EXPECT_TRUE(moved.Empty());
  EXPECT_EQ(PStringCache::Count(), base);
}

TEST(PString, AssignmentToItselfOrItsOwnTextKeepsEntry) {
  const size_t base = PStringCache::Count();
  PString a("self-assign-text");
  PString& alias = a;
  a = alias;
  EXPECT_EQ(a.View(), "self-assign-text");
  a = alias.View();  // The text lives in the entry being replaced.
  EXPECT_EQ(a.View(), "self-assign-text");
  a = std::move(alias);
  EXPECT_EQ(a.View(), "self-assign-text");
  EXPECT_EQ(PStringCache::UseCount(a), 1u);
  a = "";
  EXPECT_TRUE(a.Empty());
  EXPECT_EQ(PStringCache::Count(), base);
}

TEST(PString, TruncateCutsIntoNewEntryAndIgnoresPositionsPastEnd) {
  PString a("truncate-me");
  PString keep(a);
  const void* id = a.Id();
  a.Truncate(11);
  a.Truncate(500);
  EXPECT_EQ(a.Id(), id);
  a.Truncate(8);
  EXPECT_EQ(a.View(), "truncate");
  EXPECT_EQ(a, PString("truncate"));
  EXPECT_EQ(keep.View(), "truncate-me");
  a.Truncate(0);
  EXPECT_TRUE(a.Empty());
  PString empty;
  empty.Truncate(0);
  EXPECT_TRUE(empty.Empty());
}

TEST(PString, CaseMappingAndAppendLeaveSharedEntryAlone) {
  PString a("MiXed-\xC3\x84-Case");
  PString shared(a);
  a.ToLower();
  EXPECT_EQ(a.View(), "mixed-\xC3\x84-case");  // Non-ASCII bytes stay as they are.
  EXPECT_EQ(a, PString("mixed-\xC3\x84-case"));
  EXPECT_EQ(shared.View(), "MiXed-\xC3\x84-Case");
  a.ToUpper();
  EXPECT_EQ(a.View(), "MIXED-\xC3\x84-CASE");
  a.Append("-tail");
  EXPECT_EQ(a, PString("MIXED-\xC3\x84-CASE-tail"));
  EXPECT_EQ(shared.View(), "MiXed-\xC3\x84-Case");

  PString empty;
  empty.Append("start");
  EXPECT_EQ(empty, PString("start"));
  empty.Append("");
  EXPECT_EQ(empty.View(), "start");
}

TEST(PString, ManyThreadsInterningSameTextsShareEntriesAndFreeThemAll) {
  const size_t base = PStringCache::Count();
  constexpr int kThreads = 8;
  constexpr int kNames = 16;
  auto name = [](int k) { return "thread-shared-" + std::to_string(k); };

  // Held by the main thread: every thread must land on these entries.
  std::vector<PString> held;
  for (int k = 0; k < kNames; ++k) held.emplace_back(name(k));

  std::vector<std::thread> threads;
  std::vector<int> mismatches(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 2000; ++round) {
        int k = (round + t) % kNames;
        // Texts nobody else holds: their last release races with other
        // threads interning the same text.
        PString transient("thread-transient-" + std::to_string(round % 4));
        PString again(transient.View());
        PString copy(transient);
        if (again != transient || copy.View() != transient.View()) ++mismatches[t];
        if (PString(name(k)) != held[k]) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
  for (int k = 0; k < kNames; ++k) EXPECT_EQ(PStringCache::UseCount(held[k]), 1u);
  held.clear();
  EXPECT_EQ(PStringCache::Count(), base);
}

// The intern table under growth and removal in any order.
TEST(PStringCache, ReleasingInAnyOrderKeepsTheOthersFindable) {
  const size_t before = PStringCache::Count();
  std::vector<PString> held;
  for (int i = 0; i < 5000; ++i) held.emplace_back("cache-test-" + std::to_string(i * 7919));
  EXPECT_EQ(PStringCache::Count(), before + held.size());
  std::mt19937 rng(3);
  std::shuffle(held.begin(), held.end(), rng);
  while (held.size() > 100) {
    held.pop_back();
    if (held.size() % 500 != 0) continue;
    // Every survivor is still the one entry of its text.
    for (const auto& s : held) ASSERT_EQ(PString(s.View()), s) << s.Str();
  }
  EXPECT_EQ(PStringCache::Count(), before + held.size());
  for (const auto& s : held) {
    EXPECT_EQ(s.Length(), s.View().size());
    EXPECT_EQ(s.c_str()[s.Length()], '\0');
  }
  held.clear();
  EXPECT_EQ(PStringCache::Count(), before);
}

// Releasing many strings at once drops one use per string, as releasing
// them one by one does, across several batches of last uses.
TEST(PStringCache, ReleaseAllDropsOneUseOfEachString) {
  const size_t before = PStringCache::Count();
  const PString keptOutside("release-all-kept");
  std::vector<PString> strings;
  for (int i = 0; i < 700; ++i) {
    strings.emplace_back("release-all-" + std::to_string(i % 300));  // 300 texts, 1 to 3 uses
    if (i % 50 == 0) strings.push_back(keptOutside);
    if (i % 70 == 0) strings.emplace_back();
  }
  EXPECT_EQ(PStringCache::Count(), before + 301);
  PStringCache::ReleaseAll(strings.data(), strings.size());
  for (const PString& s : strings) EXPECT_TRUE(s.Empty());
  EXPECT_EQ(PStringCache::UseCount(keptOutside), 1u);
  EXPECT_EQ(PStringCache::Count(), before + 1);
  // The freed texts intern afresh.
  EXPECT_EQ(PString("release-all-7").View(), "release-all-7");
}

// Last uses released in batches race with other threads interning and
// copying the same texts: each text stays one entry, and all go at the end.
TEST(PStringCache, ReleaseAllRacesWithInterningTheSameTexts) {
  const size_t before = PStringCache::Count();
  constexpr int kThreads = 4;
  auto text = [](int k) { return "release-race-" + std::to_string(k); };
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 40; ++round) {
        std::vector<PString> strings;
        for (int k = 0; k < 200; ++k) strings.emplace_back(text((k * 7 + round + t) % 250));
        const PString probe(text(round % 250));
        PStringCache::ReleaseAll(strings.data(), strings.size());
        if (PString(text(round % 250)) != probe || probe.View() != text(round % 250))
          ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
  EXPECT_EQ(PStringCache::Count(), before);
}
