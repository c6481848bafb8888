// The container's name and child indexes (used above kIndexFrom children)
// against a plain list model, and the one-allocation value tags.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/TDBContainerTag.h"
#include "foundation/soup/TDBDataTag.h"

namespace {

struct ModelEntry {
  Kiv::PString name;
  ChunkRef child;
};

// What the container must answer, by plain scans.
struct Model {
  std::vector<ModelEntry> entries;

  const ACSChunk* First(const Kiv::PString& name) const {
    for (const auto& e : entries)
      if (e.name == name) return e.child.get();
    return NullTagPointer();
  }
  void RemoveChild(const ACSChunk* child) {
    for (auto it = entries.begin(); it != entries.end(); ++it) {
      if (it->child.get() != child) continue;
      entries.erase(it);
      return;
    }
  }
  void Swap(const ACSChunk* a, const ACSChunk* b) {
    if (a == b) return;
    ModelEntry* ea = nullptr;
    ModelEntry* eb = nullptr;
    for (auto& e : entries) {
      if (ea == nullptr && e.child.get() == a) ea = &e;
      if (eb == nullptr && e.child.get() == b) eb = &e;
    }
    if (ea != nullptr && eb != nullptr) std::swap(ea->child, eb->child);
  }
  void Sort() {
    std::stable_sort(entries.begin(), entries.end(), [](const ModelEntry& x, const ModelEntry& y) {
      return x.name.View() < y.name.View();
    });
  }
};

void ExpectSame(const ACSChunk* container, const Model& model,
                const std::vector<Kiv::PString>& names) {
  ASSERT_EQ(container->CountChildren(), model.entries.size());
  for (uint32_t i = 0; i < model.entries.size(); ++i) {
    Kiv::PString name;
    ChunkRef child;
    ASSERT_TRUE(container->GetChildAt(i, name, child));
    EXPECT_EQ(name, model.entries[i].name) << "index " << i;
    EXPECT_EQ(child.get(), model.entries[i].child.get()) << "index " << i;
  }
  for (const auto& name : names) {
    EXPECT_EQ(container->GetChild(name).get(), model.First(name)) << name.Str();
  }
}

TEST(SoupIndex, RandomEditsAgreeWithPlainListAcrossIndexThreshold) {
  std::mt19937 rng(12345);
  std::vector<Kiv::PString> names;
  for (int i = 0; i < 40; ++i) names.emplace_back("n" + std::to_string(i));
  std::vector<ChunkRef> pool;  // children that may sit in several entries
  for (int i = 0; i < 30; ++i) pool.push_back(TDBDataTag::CreateCopy(SoupType::kInt, &i, 4));

  for (int round = 0; round < 6; ++round) {
    ChunkRef container = TDBContainerTag::Create();
    auto* tag = static_cast<TDBContainerTag*>(container.get());
    Model model;
    for (int step = 0; step < 1500; ++step) {
      const Kiv::PString& name = names[rng() % names.size()];
      const uint32_t op = rng() % 100;
      // Grow more than shrink in early rounds, so sizes cross the threshold
      // both ways.
      const uint32_t grow = round % 2 == 0 ? 55 : 35;
      if (op < grow) {
        ChunkRef child = rng() % 3 == 0 ? pool[rng() % pool.size()]
                                        : TDBDataTag::CreateCopy(SoupType::kInt, &step, 4);
        tag->SetChild(name, child);
        model.entries.push_back({name, child});
      } else if (op < grow + 10) {
        // The handle's setter: the first entry of the name's child goes and
        // the new value is appended.
        const ACSChunk* first = model.First(name);
        if (first != NullTagPointer()) model.RemoveChild(first);
        Soup(container).SetNamedInt(name, step);
        Kiv::PString last;
        ChunkRef added;
        ASSERT_TRUE(container->GetChildAt(container->CountChildren() - 1, last, added));
        model.entries.push_back({name, added});
      } else if (op < 80) {
        const ACSChunk* first = model.First(name);
        if (first != NullTagPointer()) model.RemoveChild(first);
        tag->RemoveFirstNamed(name);
      } else if (op < 92) {
        const ACSChunk* child = pool[rng() % pool.size()].get();
        model.RemoveChild(child);
        tag->RemoveChild(child);
      } else if (op < 98) {
        const ACSChunk* a = pool[rng() % pool.size()].get();
        const ACSChunk* b = model.entries.empty()
                                ? pool[0].get()
                                : model.entries[rng() % model.entries.size()].child.get();
        model.Swap(a, b);
        tag->SwapChildren(a, b);
      } else {
        model.Sort();
        tag->SortChildren();
      }
      if (step % 50 == 0) ExpectSame(container.get(), model, names);
      if (HasFatalFailure()) return;
    }
    ExpectSame(container.get(), model, names);
  }
}

// Several callers' cursors on one container, and cursors left behind by
// edits (entries moved, blocks freed), must still answer what the plain list
// holds; a walk that reads a sub-soup between steps keeps its place.
TEST(SoupIndex, CursorsAgreeWithPlainListAcrossEditsAndNestedWalks) {
  std::mt19937 rng(777);
  ChunkRef container = TDBContainerTag::Create();
  auto* tag = static_cast<TDBContainerTag*>(container.get());
  Model model;
  ChildCursor cursors[3];
  for (int step = 0; step < 3000; ++step) {
    const Kiv::PString name("n" + std::to_string(rng() % 60));
    const uint32_t op = rng() % 100;
    if (op < 40 || model.entries.empty()) {
      ChunkRef child = TDBDataTag::CreateCopy(SoupType::kInt, &step, 4);
      tag->SetChild(name, child);
      model.entries.push_back({name, child});
    } else if (op < 55) {
      const ACSChunk* first = model.First(name);
      if (first != NullTagPointer()) model.RemoveChild(first);
      tag->RemoveFirstNamed(name);
    } else if (op < 57) {
      model.Sort();
      tag->SortChildren();
    } else {
      if (model.entries.empty()) continue;
      ChildCursor& cursor = cursors[rng() % 3];
      const uint32_t index = rng() % uint32_t(model.entries.size());
      const Kiv::PString* got = nullptr;
      const ACSChunk* child = nullptr;
      ASSERT_TRUE(container->GetChildAtCursor(index, cursor, got, child));
      ASSERT_EQ(*got, model.entries[index].name) << "step " << step << " index " << index;
      ASSERT_EQ(child, model.entries[index].child.get()) << "step " << step;
      // Another reader on this thread moves the thread's own cursor.
      Kiv::PString other;
      ChunkRef held;
      container->GetChildAt(uint32_t(rng() % model.entries.size()), other, held);
    }
  }
  // Past the end: false, the empty name and the null tag.
  const Kiv::PString* name = nullptr;
  const ACSChunk* child = nullptr;
  EXPECT_FALSE(container->GetChildAtCursor(uint32_t(model.entries.size()), cursors[0], name, child));
  ASSERT_NE(name, nullptr);
  EXPECT_TRUE(name->Empty());
  EXPECT_EQ(child, NullTagPointer());

  // A walk of 200 sub-soups that reads each sub-soup's children on the way.
  Soup root;
  root.Create();
  for (int g = 0; g < 200; ++g) {
    Soup group;
    for (int t = 0; t < 20; ++t) group.SetNamedInt(Kiv::PString("t" + std::to_string(t)), g * 20 + t);
    root.SetNamedSoup(Kiv::PString("g" + std::to_string(g)), group);
  }
  ChildCursor outer;
  for (uint32_t g = 0; g < 200; ++g) {
    const Kiv::PString* groupName = nullptr;
    const ACSChunk* group = nullptr;
    ASSERT_TRUE(root.GetChunk()->GetChildAtCursor(g, outer, groupName, group));
    ASSERT_EQ(groupName->Str(), "g" + std::to_string(g));
    ChildCursor inner;
    for (uint32_t t = 0; t < 20; ++t) {
      const Kiv::PString* tagName = nullptr;
      const ACSChunk* value = nullptr;
      ASSERT_TRUE(group->GetChildAtCursor(t, inner, tagName, value));
      int32_t v = 0;
      std::memcpy(&v, value->GetData(), 4);
      ASSERT_EQ(v, int32_t(g * 20 + t));
    }
  }
}

TEST(SoupIndex, SetterReplacesEntryOfSharedChildLikeRemoveChild) {
  // One chunk under "a" and "b" in a large container: setting "b" removes
  // the first entry of that chunk, which is "a"'s (as RemoveChild would).
  Soup soup;
  soup.Create();
  for (int i = 0; i < 20; ++i) soup.SetNamedInt(Kiv::PString("x" + std::to_string(i)), i);
  ChunkRef shared = TDBDataTag::CreateCopy(SoupType::kInt, "\x07\0\0\0", 4);
  soup.GetChunk()->SetChild(Kiv::PString("a"), shared);
  soup.GetChunk()->SetChild(Kiv::PString("b"), shared);
  soup.SetNamedInt(Kiv::PString("b"), 9);
  EXPECT_FALSE(soup.HasNamedTag(Kiv::PString("a")));
  EXPECT_EQ(soup.GetNamedTagAsInt(Kiv::PString("b"), 0), 7);  // the old "b" entry stays first
  EXPECT_EQ(soup.CountTags(), 22u);
  // The shared null tag as the first child of a name is never removed.
  soup.GetChunk()->SetChild(Kiv::PString("z"), NullTag());
  soup.SetNamedInt(Kiv::PString("z"), 1);
  EXPECT_EQ(soup.GetChunk()->GetChild(Kiv::PString("z")).get(), NullTagPointer());
  EXPECT_EQ(soup.CountTags(), 24u);
}

TEST(SoupIndex, TextSetterMayReadTheBytesOfTheTagItReplaces) {
  Soup soup;
  const Kiv::PString name("t");
  soup.SetNamedTag(name, std::string_view("a value long enough to live on the heap"));
  const ACSChunk* old = soup.GetChunk()->GetChild(name).get();
  const std::string_view inPlace(reinterpret_cast<const char*>(old->GetData()), 7);
  soup.SetNamedTag(name, inPlace);
  EXPECT_EQ(soup.GetNamedTag(name).Str(), "a value");
  soup.SetNamedFloatArray(
      name, {reinterpret_cast<const float*>(soup.GetChunk()->GetChild(name)->GetData()), 1});
  EXPECT_EQ(soup.CountTags(), 1u);
}

TEST(SoupIndex, CopiedValuesHoldTheirBytesAndAcceptANewCore) {
  const char bytes[5] = {'a', 'b', 'c', 'd', 'e'};
  ChunkRef tag = TDBDataTag::CreateCopy(SoupType::kRaw, bytes, 5);
  ASSERT_EQ(tag->GetDataSize(), 5u);
  EXPECT_EQ(std::memcmp(tag->GetData(), bytes, 5), 0);
  EXPECT_EQ(TDBDataTag::CreateCopy(SoupType::kRaw, nullptr, 5)->GetDataSize(), 0u);
  EXPECT_EQ(TDBDataTag::CreateText("")->GetData(), nullptr);
  ChunkRef text = TDBDataTag::CreateText("hi");
  EXPECT_EQ(text->GetType(), SoupType::kString);
  ASSERT_EQ(text->GetDataSize(), 3u);
  EXPECT_STREQ(reinterpret_cast<const char*>(text->GetData()), "hi");
  // A view of the tag outlives every other handle to it.
  CoreRef view = ACSChunk::GetRawData(text.get());
  text->SetData(SoupType::kInt, ACSRawDataCore::CreateCopy("\x01\0\0\0", 4));
  EXPECT_EQ(text->GetDataSize(), 4u);
  text.Reset();
  EXPECT_EQ(ACSRawDataCore::TextView(view.get()), "hi");  // the bytes it was made over
}

}  // namespace

// Replacing in one step must leave the container exactly as removing the
// first entry of the name and appending would: same order, same first
// child per name, and indexes that still agree after later removals by
// child. Children are fresh, shared between entries, or the null tag.
TEST(SoupIndex, ReplaceFirstNamedMatchesRemoveThenAppend) {
  std::mt19937 rng(4242);
  std::vector<Kiv::PString> names;
  for (int i = 0; i < 30; ++i) names.emplace_back("r" + std::to_string(i));
  std::vector<ChunkRef> pool;
  for (int i = 0; i < 8; ++i) pool.push_back(TDBDataTag::CreateCopy(SoupType::kInt, &i, 4));
  pool.push_back(NullTag());

  for (int round = 0; round < 4; ++round) {
    ChunkRef fast = TDBContainerTag::Create();
    ChunkRef slow = TDBContainerTag::Create();
    auto* fastTag = static_cast<TDBContainerTag*>(fast.get());
    auto* slowTag = static_cast<TDBContainerTag*>(slow.get());
    for (int step = 0; step < 1200; ++step) {
      const Kiv::PString& name = names[rng() % (round < 2 ? names.size() : 6)];
      const uint32_t op = rng() % 10;
      ChunkRef child = rng() % 4 == 0 ? pool[rng() % pool.size()]
                                      : TDBDataTag::CreateCopy(SoupType::kInt, &step, 4);
      if (op < 6) {
        fastTag->ReplaceFirstNamed(name, child);
        slowTag->RemoveFirstNamed(name);
        slowTag->SetChild(name, child);
      } else if (op < 8) {
        fastTag->SetChild(name, child);  // duplicates of a name
        slowTag->SetChild(name, child);
      } else {
        const ACSChunk* gone = pool[rng() % pool.size()].get();
        fastTag->RemoveChild(gone);
        slowTag->RemoveChild(gone);
      }
      ASSERT_EQ(fast->CountChildren(), slow->CountChildren()) << "step " << step;
      for (uint32_t i = 0; i < slow->CountChildren(); ++i) {
        Kiv::PString a, b;
        ChunkRef ca, cb;
        fast->GetChildAt(i, a, ca);
        slow->GetChildAt(i, b, cb);
        ASSERT_EQ(a, b) << "step " << step << " index " << i;
        ASSERT_EQ(ca.get(), cb.get()) << "step " << step << " index " << i;
      }
      for (const auto& n : names) {
        const ACSChunk* first = slow->GetChild(n).get();
        ASSERT_EQ(fast->GetChild(n).get(), first) << n.Str();
        const ACSChunk* peek = fastTag->FindFirstNamed(n);  // null when absent
        ASSERT_EQ(peek != nullptr ? peek : NullTagPointer(), first) << n.Str();
      }
    }
  }
}

// PeekChild answers what FindChild would, for editable containers and for
// absent or null-tagged names.
TEST(SoupIndex, PeekChildAgreesWithTheReadersAroundTheIndexThreshold) {
  for (const int size : {3, 40}) {
    Soup soup;
    soup.Create();
    for (int i = 0; i < size; ++i) soup.SetNamedInt(Kiv::PString("p" + std::to_string(i)), i);
    soup.GetChunk()->SetChild(Kiv::PString("nul"), NullTag());
    ChunkRef keep;
    EXPECT_EQ(soup.PeekChild(Kiv::PString("nul"), keep), nullptr);
    EXPECT_EQ(soup.PeekChild(Kiv::PString("absent"), keep), nullptr);
    const ACSChunk* child = soup.PeekChild(Kiv::PString("p2"), keep);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child, soup.GetChunk()->GetChild(Kiv::PString("p2")).get());
    EXPECT_EQ(soup.GetNamedTagAsInt(Kiv::PString("p2"), -1), 2);
    EXPECT_EQ(Soup().PeekChild(Kiv::PString("p2"), keep), nullptr);
  }
}

namespace {

// A container gives its names back when it goes: names of its own leave
// the string cache, and names held elsewhere (once or under many tags,
// borrowed or not) keep exactly the uses of their other holders. The sizes
// fall on and around the edges of the batches the names go back in.
TEST(SoupIndex, DestroyedContainerGivesBackEveryNameUseAcrossBatches) {
  for (const int own : {0, 1, 5, 110, 127, 128, 129, 256, 300}) {
    SCOPED_TRACE(own);
    const size_t before = Kiv::PStringCache::Count();
    const Kiv::PString kept("soup-index-kept-name");
    const Kiv::PString borrowed("soup-index-borrowed-name");
    uint32_t keptUses = 0;
    {
      Soup soup;
      soup.Create();
      auto* container = static_cast<TDBContainerTag*>(soup.GetChunk());
      for (int i = 0; i < own; ++i) {
        soup.SetNamedInt(Kiv::PString("soup-index-own-" + std::to_string(i)), i);
        if (i % 7 == 0) {
          container->SetChild(kept, TDBDataTag::CreateCopy(SoupType::kInt, "\x01\0\0\0", 4));
          ++keptUses;
        }
        // Borrowed names between own ones leave gaps in a batch.
        if (i % 11 == 3)
          container->ReplaceFirstNamedBorrowingName(
              borrowed, TDBDataTag::CreateCopy(SoupType::kInt, "\x02\0\0\0", 4));
      }
      container->ReplaceFirstNamedBorrowingName(
          borrowed, TDBDataTag::CreateCopy(SoupType::kInt, "\x02\0\0\0", 4));
      EXPECT_EQ(Kiv::PStringCache::UseCount(kept), 1u + keptUses);
      EXPECT_EQ(Kiv::PStringCache::UseCount(borrowed), 1u);
      EXPECT_EQ(Kiv::PStringCache::Count(), before + 2 + size_t(own));
    }
    EXPECT_EQ(Kiv::PStringCache::UseCount(kept), 1u);
    EXPECT_EQ(Kiv::PStringCache::UseCount(borrowed), 1u);
    EXPECT_EQ(Kiv::PStringCache::Count(), before + 2);
  }
}

}  // namespace
