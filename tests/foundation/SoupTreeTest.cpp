#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/TDBContainerTag.h"
#include "foundation/soup/TDBDataTag.h"

namespace {

Kiv::PString N(const char* text) {
  return Kiv::PString(text);
}

ChunkRef IntTag(int32_t value) {
  return TDBDataTag::Create(SoupType::kInt, ACSRawDataCore::CreateCopy(&value, sizeof value));
}

int32_t IntOf(const ACSChunk* chunk) {
  int32_t value = 0;
  if (chunk->GetDataSize() == 4) std::memcpy(&value, chunk->GetData(), 4);
  return value;
}

std::vector<std::string> Names(const ACSChunk* container) {
  std::vector<std::string> names;
  for (uint32_t i = 0; i < container->CountChildren(); ++i) {
    Kiv::PString name;
    ChunkRef child;
    EXPECT_TRUE(container->GetChildAt(i, name, child));
    names.push_back(name.Str());
  }
  return names;
}

}  // namespace

TEST(NullTag, MissesAnswerTheSharedNullTag) {
  ChunkRef container = TDBContainerTag::Create();
  ChunkRef miss = container->GetChild(N("absent"));
  EXPECT_EQ(miss.get(), NullTagPointer());
  EXPECT_EQ(miss->GetType(), 0u);
  EXPECT_EQ(miss->CountChildren(), 0u);
  EXPECT_TRUE(IsNullChunk(miss.get()));
  Kiv::PString name = N("stale");
  ChunkRef child = IntTag(1);
  EXPECT_FALSE(container->GetChildAt(0, name, child));
  EXPECT_TRUE(name.Empty());
  EXPECT_EQ(child.get(), NullTagPointer());
  // The null tag ignores edits and makes nothing.
  ChunkRef null = NullTag();
  null->SetChild(N("x"), IntTag(2));
  EXPECT_EQ(null->CountChildren(), 0u);
  EXPECT_EQ(null->CreateChunk(SoupType::kInt, CoreRef()).get(), NullTagPointer());
  EXPECT_FALSE(AdoptChunk(NullTag()));
  EXPECT_FALSE(AdoptChunk(TDBDataTag::Create(SoupType::kNull, CoreRef())));
}

// Duplicate names, shared children, swaps and strangers are checked against a
// model in SoupIndexTest; these are the odd arguments.
TEST(TDBContainerTag, EmptyChildIsIgnoredAndEmptyNameIsAName) {
  ChunkRef c = TDBContainerTag::Create();
  c->SetChild(N("empty"), ChunkRef());
  EXPECT_EQ(c->CountChildren(), 0u);
  c->SetChild(Kiv::PString(), IntTag(4));
  EXPECT_EQ(IntOf(c->GetChild(Kiv::PString()).get()), 4);
}

TEST(TDBContainerTag, SortOrdersByUnsignedNameBytesAndKeepsEqualNamesInOrder) {
  ChunkRef c = TDBContainerTag::Create();
  c->SetChild(N("b"), IntTag(1));
  c->SetChild(N("a"), IntTag(2));
  c->SetChild(N("ab"), IntTag(3));
  c->SortChildren();
  EXPECT_EQ(Names(c.get()), (std::vector<std::string>{"a", "ab", "b"}));

  ChunkRef d = TDBContainerTag::Create();
  for (const char* n : {"\xE9t\xE9", "z", "dup", "", "dup", "A"})
    d->SetChild(N(n), IntTag(int(d->CountChildren())));
  for (int i = 0; i < 20; ++i)
    d->SetChild(N(("k" + std::to_string(19 - i)).c_str()), IntTag(100 + i));
  d->SortChildren();
  std::vector<std::string> names = Names(d.get());
  EXPECT_TRUE(
      std::is_sorted(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) { return uint8_t(x) < uint8_t(y); });
      }));
  EXPECT_EQ(names.front(), "");
  EXPECT_EQ(names.back(), "\xE9t\xE9");
  EXPECT_EQ(IntOf(d->GetChild(N("k0")).get()), 119);
}

TEST(CopySoupInto, ReplacesTheDestinationsChildren) {
  ChunkRef dst = TDBContainerTag::Create();
  dst->SetChild(N("old"), IntTag(1));
  ChunkRef src = TDBContainerTag::Create();
  src->SetChild(N("new"), IntTag(2));
  src->SetChild(N("null"), TDBDataTag::Create(SoupType::kNull, CoreRef()));
  CopySoupInto(dst.get(), src.get());
  EXPECT_EQ(Names(dst.get()), (std::vector<std::string>{"new", "null"}));
  EXPECT_EQ(dst->GetChild(N("null"))->GetType(), 0u);
  CopySoupInto(nullptr, src.get());
  CopySoupInto(dst.get(), nullptr);
}

TEST(TDBContainerTag, DeepTreesCopyAndDieWithoutRecursion) {
  constexpr int kDepth = 200000;
  ChunkRef root = TDBContainerTag::Create();
  ChunkRef at = root;
  for (int i = 0; i < kDepth; ++i) {
    ChunkRef next = TDBContainerTag::Create();
    at->SetChild(N("n"), next);
    at = std::move(next);
  }
  at.Reset();
  ChunkRef copy = TDBContainerTag::Create();
  CopySoupInto(copy.get(), root.get());
  int depth = 0;
  for (ChunkRef walk = copy; walk->CountChildren() > 0; walk = walk->GetChild(N("n"))) ++depth;
  EXPECT_EQ(depth, kDepth);
  root.Reset();
  copy.Reset();
}

TEST(TDBContainerTag, IndexedWalksOfSeveralContainersAndThreadsDoNotMix) {
  ChunkRef a = TDBContainerTag::Create();
  ChunkRef b = TDBContainerTag::Create();
  for (int i = 0; i < 60; ++i) {
    a->SetChild(N("a"), IntTag(i));
    b->SetChild(N("b"), IntTag(1000 + i));
  }
  auto walk = [](const ChunkRef& c, uint32_t i) {
    Kiv::PString name;
    ChunkRef child;
    c->GetChildAt(i, name, child);
    return IntOf(child.get());
  };
  for (uint32_t i = 0; i < 60; ++i) {
    ASSERT_EQ(walk(a, i), int(i));
    ASSERT_EQ(walk(b, 59 - i), int(1059 - i));
  }
  // Readers on several threads keep their own positions.
  std::vector<std::thread> readers;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&, t] {
      for (int round = 0; round < 200; ++round) {
        for (uint32_t i = 0; i < 60; ++i) {
          const uint32_t at = (t % 2) ? 59 - i : i;
          if (walk(a, at) != int(at)) ++failures[t];
        }
      }
    });
  }
  for (auto& r : readers) r.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}
