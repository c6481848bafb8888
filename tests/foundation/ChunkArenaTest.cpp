#include "foundation/soup/ChunkArena.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "foundation/soup/Soup.h"
#include "foundation/soup/TDBContainerTag.h"
#include "foundation/soup/TDBDataTag.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/text/KUID.h"
#include "kiv/DynamicBuffer.h"

namespace {

Kiv::PString N(std::string_view s) {
  return Kiv::PString(s);
}

Soup ParseText(std::string_view text) {
  Kiv::DynamicBuffer bytes;
  bytes.Write(text.data(), uint32_t(text.size()));
  bytes.SetPosition(0);
  TBuffer stream(&bytes, false);
  Soup soup;
  EXPECT_TRUE(TextSoup::Parse(soup, stream, true).Ok());
  return soup;
}

// Groups of tags, enough for several arena blocks and for containers large
// enough to keep name indexes.
std::string GroupsText(int groups) {
  std::string text;
  for (int g = 0; g < groups; ++g) {
    text += "group-" + std::to_string(g) + " {\n  index " + std::to_string(g) +
            "\n  name \"object " + std::to_string(g) +
            "\"\n  position 1.5,2,3\n  kuid <kuid:1:" + std::to_string(g) + ">\n  index " +
            std::to_string(g + 1) + "\n  mesh {\n    flags 3\n  }\n}\n";
  }
  return text;
}

// Objects hold the arena from before and after Close, in any order, with a
// request larger than any block among them; the room stays theirs (the
// sanitizer build sees any early free, and a leak when the last hold is
// never counted).
TEST(ChunkArena, ObjectsKeepTheArenaUntilTheLastOneGoes) {
  for (const bool dropFirst : {false, true}) {
    ChunkArena* arena = ChunkArena::Open(dropFirst ? 0 : 6000);
    ASSERT_NE(arena, nullptr);
    std::vector<char*> objects;
    for (const size_t size : {8u, 40u, 3000u, 5000u, 2u << 20, 24u}) {
      auto* bytes = static_cast<char*>(arena->AllocateObject(size));
      EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes) % 8, 0u);
      EXPECT_EQ(ChunkArena::OwnerOf(bytes), arena);
      std::memset(bytes, int(objects.size()), size);
      objects.push_back(bytes);
    }
    struct Placement {
      size_t align;
      size_t alignedAt;
    };
    for (const Placement p :
         {Placement{8, 0}, Placement{64, 0}, Placement{64, 24}, Placement{16, 8}}) {
      for (const size_t size : {8u, 100u, 9000u}) {
        auto* storage = static_cast<char*>(arena->AllocateStorage(size, p.align, p.alignedAt));
        EXPECT_EQ((reinterpret_cast<uintptr_t>(storage) + p.alignedAt) % p.align, 0u);
        std::memset(storage, 7, size);
      }
    }
    if (dropFirst) arena->Drop();
    EXPECT_TRUE(arena->IsOpen());
    arena->Close();
    for (size_t i = dropFirst ? 1 : 0; i < objects.size(); ++i) {
      EXPECT_EQ(objects[i][0], char(i));
      arena->Drop();
    }
  }
}

// Parts of a read soup live on after the soup is gone, take edits (which
// need room after the reading ended) and go in any order.
TEST(ChunkArena, ReadChunksOutliveTheSoupAndTakeEdits) {
  Soup soup = ParseText(GroupsText(300));
  ASSERT_EQ(soup.CountTags(), 300u);
  Soup group = soup.GetNamedSoup(N("group-7"));
  ChunkRef name = group.GetChunk()->GetChild(N("name"));
  Soup mesh = soup.GetNamedSoup(N("group-299")).GetNamedSoup(N("mesh"));
  soup.Release();

  EXPECT_EQ(ACSRawDataCore::TextView(ACSChunk::GetRawData(name.get()).get()), "object 7");
  // The repeated name kept its last value, at the end of the order.
  EXPECT_EQ(group.GetNamedTagAsInt(N("index"), 0), 8);
  EXPECT_EQ(group.GetIndexedTagName(group.CountTags() - 2), N("index"));
  for (int i = 0; i < 100; ++i) group.SetNamedInt(N("extra" + std::to_string(i)), i);
  group.RemoveNamedTag(N("position"));
  group.SetNamedTag(N("name"), "renamed");
  EXPECT_EQ(group.CountTags(), 104u);
  EXPECT_EQ(group.GetNamedTagAsInt(N("extra99"), 0), 99);
  group.Release();
  EXPECT_EQ(ACSRawDataCore::TextView(ACSChunk::GetRawData(name.get()).get()), "object 7");
  name.Reset();
  EXPECT_EQ(mesh.GetNamedTagAsInt(N("flags"), 0), 3);
}

// A tree that mixes the chunks of several readings (and shares some of
// them between containers) goes whole, whichever reading's chunk goes last;
// drops counted together inside a release end every reading's holds.
TEST(ChunkArena, TreesMixingSeveralReadingsGoWhole) {
  Soup first = ParseText(GroupsText(40));
  Soup second = ParseText(GroupsText(40));
  Soup mixed;
  for (int i = 0; i < 40; ++i) {
    const Kiv::PString name = N("group-" + std::to_string(i));
    Soup from = (i % 2 == 0 ? first : second).GetNamedSoup(name);
    mixed.SetNamedSoup(name, from);
    // The same sub-soup sits in both trees now.
    if (i % 3 == 0) second.SetNamedSoup(N("shared-" + std::to_string(i)), from);
  }
  {
    const ChunkArena::DeferredDrops outer;
    const ChunkArena::DeferredDrops inner;
    first.Release();
    EXPECT_EQ(mixed.GetNamedSoup(N("group-4")).GetNamedTagAsInt(N("index"), 0), 5);
    mixed.Release();
  }
  EXPECT_EQ(second.GetNamedSoup(N("shared-3")).GetNamedTagAsInt(N("index"), 0), 4);
  EXPECT_EQ(second.GetNamedSoup(N("shared-6")).GetNamedTagAsInt(N("index"), 0), 7);
  second.Release();
}

// A reading holds each name it read once, however many tags carry it, and
// lets it go with the soup; names copied out of the soup, and entries added
// or removed by edits, keep their own uses.
TEST(ChunkArena, ReadingHoldsEachNameOnceUntilTheSoupGoes) {
  const Kiv::PString index = N("index");
  const size_t entriesBefore = Kiv::PStringCache::Count();
  Soup soup = ParseText(GroupsText(300));
  // A use each time the reader met the name anew (its recent names are few),
  // not one per tag: 300 tags carry it.
  EXPECT_LE(Kiv::PStringCache::UseCount(index), 10u);
  // New entries: the group names, and the other 5 names of a group.
  EXPECT_EQ(Kiv::PStringCache::Count(), entriesBefore + 300 + 5);

  const Kiv::PString copied = soup.GetIndexedTagName(12);
  Soup group = soup.GetNamedSoup(copied);
  group.RemoveNamedTag(N("name"));
  group.SetNamedInt(N("added-by-edit"), 1);
  group.SetNamedInt(index, 7);
  soup.Release();
  EXPECT_EQ(group.GetNamedTagAsInt(index, 0), 7);
  EXPECT_EQ(group.GetNamedSoup(N("mesh")).GetNamedTagAsInt(N("flags"), 0), 3);
  group.Release();
  EXPECT_EQ(copied.Str(), "group-12");
  EXPECT_EQ(Kiv::PStringCache::UseCount(index), 1u);
  EXPECT_EQ(Kiv::PStringCache::UseCount(copied), 1u);
}

// The last chunk of a read soup may go on another thread.
TEST(ChunkArena, LastChunkMayGoOnAnotherThread) {
  for (int round = 0; round < 20; ++round) {
    Soup soup = ParseText(GroupsText(50));
    Soup kept = soup.GetNamedSoup(N("group-3"));
    std::thread other([moved = std::move(soup)]() mutable { moved.Release(); });
    other.join();
    EXPECT_EQ(kept.GetNamedTagAsInt(N("index"), 0), 4);
    std::thread last([moved = std::move(kept)]() mutable { moved.Release(); });
    last.join();
  }
}

// Releases `soup` and answers whether its arena went whole.
bool WentWhole(Soup& soup) {
  const uint64_t before = ChunkArena::ReleasedWholeCount();
  soup.Release();
  return ChunkArena::ReleasedWholeCount() == before + 1;
}

// A read tree that nothing outside holds goes whole as its root goes,
// whether or not its parts were read meanwhile, and gives its names back.
TEST(ChunkArena, TreeHeldByNothingOutsideGoesWhole) {
  const Kiv::PString index = N("index");
  const std::vector<std::function<void(const Soup&)>> reads = {
      [](const Soup&) {},
      [&](const Soup& soup) {
        EXPECT_EQ(soup.GetNamedSoup(N("group-5")).GetNamedTagAsInt(index, 0), 6);
      },
      [&](const Soup& soup) {
        // Every tag of every group through handles, each let go at once.
        for (uint32_t i = 0; i < soup.CountTags(); ++i) {
          Soup group = soup.GetIndexedSoup(i);
          for (uint32_t j = 0; j < group.CountTags(); ++j) {
            Kiv::PString name;
            ChunkRef child;
            ASSERT_TRUE(group.GetChunk()->GetChildAt(j, name, child));
            // A view of a value's bytes holds the value while it lives.
            const CoreRef view = ACSChunk::GetRawData(child.get());
            EXPECT_EQ(view != nullptr, child->GetType() != SoupType::kContainer);
          }
        }
      },
  };
  for (size_t r = 0; r < reads.size(); ++r) {
    SCOPED_TRACE(r);
    Soup soup = ParseText(GroupsText(200));
    reads[r](soup);
    EXPECT_TRUE(WentWhole(soup));
    EXPECT_EQ(Kiv::PStringCache::UseCount(index), 1u);
  }
}

// Any part of a read tree still held keeps the tree from going whole, and
// stays valid after the soup is gone, whichever way it was taken.
TEST(ChunkArena, HeldPartKeepsTheTreeAndStaysValid) {
  struct Keep {
    const char* what;
    std::function<ChunkRef(const Soup&)> take;
    // Checks the kept part.
    std::function<void(const ChunkRef&)> check;
  };
  const auto checkGroup = [](const ChunkRef& kept) {
    Soup group(kept);
    EXPECT_EQ(group.GetNamedTagAsInt(N("index"), 0), 8);
    EXPECT_EQ(group.GetNamedSoup(N("mesh")).GetNamedTagAsInt(N("flags"), 0), 3);
  };
  const auto checkName = [](const ChunkRef& kept) {
    EXPECT_EQ(ACSRawDataCore::TextView(ACSChunk::GetRawData(kept.get()).get()), "object 7");
  };
  const std::vector<Keep> keeps = {
      {"sub-soup", [](const Soup& s) { return s.GetNamedSoup(N("group-7")).GetChunkRef(); },
       checkGroup},
      {"deep tag",
       [](const Soup& s) { return s.GetNamedSoup(N("group-7")).GetChunk()->GetChild(N("name")); },
       checkName},
      {"tag through a cursor",
       [](const Soup& s) {
         // The last group, reached by its place, then its second tag.
         ChildCursor outer;
         ChildCursor inner;
         const Kiv::PString* name = nullptr;
         const ACSChunk* group = nullptr;
         const ACSChunk* tag = nullptr;
         EXPECT_TRUE(s.GetChunk()->GetChildAtCursor(7, outer, name, group));
         EXPECT_TRUE(group->GetChildAtCursor(0, inner, name, tag));
         return ChunkRef::Share(const_cast<ACSChunk*>(tag));
       },
       checkName},
      {"view of a tag's bytes",
       [](const Soup& s) {
         CoreRef view = s.GetNamedSoup(N("group-7")).GetNamedTagRawData(N("name"));
         // The view keeps the tag; a holder of the view sees its text.
         ChunkRef holder = TDBDataTag::Create(SoupType::kString, std::move(view));
         return holder;
       },
       checkName},
      {"sub-soup shared with another tree",
       [](const Soup& s) {
         Soup other;
         Soup group = s.GetNamedSoup(N("group-7"));
         other.SetNamedSoup(N("kept"), group);
         return other.GetChunkRef();
       },
       [&](const ChunkRef& kept) { checkGroup(Soup(kept).GetNamedSoup(N("kept")).GetChunkRef()); }},
  };
  for (const Keep& keep : keeps) {
    SCOPED_TRACE(keep.what);
    Soup soup = ParseText(GroupsText(50));
    ChunkRef kept = keep.take(soup);
    EXPECT_FALSE(WentWhole(soup));
    keep.check(kept);
  }
}

// A tree edited after its reading goes object by object (what the edits
// brought in is released with it), and a part moved out of it lives on.
TEST(ChunkArena, EditedTreeGoesObjectByObject) {
  const Kiv::PString added = N("added-by-edit");
  struct Edit {
    const char* what;
    std::function<void(Soup&, Soup&)> apply;  // (soup, elsewhere)
  };
  const std::vector<Edit> edits = {
      {"tag added deep",
       [&](Soup& soup, Soup&) { soup.GetNamedSoup(N("group-3")).SetNamedInt(added, 1); }},
      {"tag removed",
       [](Soup& soup, Soup&) { soup.GetNamedSoup(N("group-3")).RemoveNamedTag(N("name")); }},
      {"value replaced",
       [](Soup& soup, Soup&) {
         ChunkRef tag = soup.GetNamedSoup(N("group-3")).GetChunk()->GetChild(N("name"));
         tag->SetData(SoupType::kString, ACSRawDataCore::CreateCopy("x", 2));
       }},
      {"sorted", [](Soup& soup, Soup&) { soup.GetChunk()->SortChildren(); }},
      {"group moved out",
       [](Soup& soup, Soup& elsewhere) {
         Soup group = soup.GetNamedSoup(N("group-3"));
         elsewhere.SetNamedSoup(N("moved"), group);
         soup.RemoveNamedTag(N("group-3"));
       }},
  };
  for (const Edit& edit : edits) {
    SCOPED_TRACE(edit.what);
    Soup soup = ParseText(GroupsText(30));
    Soup elsewhere;
    edit.apply(soup, elsewhere);
    EXPECT_FALSE(WentWhole(soup));
    if (!elsewhere.Empty()) {
      EXPECT_EQ(elsewhere.GetNamedSoup(N("moved")).GetNamedTagAsInt(N("index"), 0), 4);
    }
    EXPECT_EQ(Kiv::PStringCache::UseCount(added), 1u);
  }
}

// Threads that read sub-soups they hold, taking and letting go of tags
// inside them, while the soup itself goes on another thread: whatever they
// still hold stays valid, and the tree goes whole only when they hold
// nothing.
TEST(ChunkArena, SubSoupsReadOnOtherThreadsWhileTheSoupGoes) {
  constexpr int kReaders = 3;
  for (int round = 0; round < 30; ++round) {
    Soup soup = ParseText(GroupsText(60));
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> readers;
    std::vector<ChunkRef> kept(kReaders);
    for (int t = 0; t < kReaders; ++t) {
      Soup group = soup.GetNamedSoup(N("group-" + std::to_string(10 * t)));
      readers.emplace_back([&, t, group = std::move(group)]() mutable {
        ++ready;
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < 50; ++i) {
          EXPECT_EQ(group.GetNamedSoup(N("mesh")).GetNamedTagAsInt(N("flags"), 0), 3);
        }
        // The last reader keeps a tag past the end of the round.
        if (t == kReaders - 1) kept[size_t(t)] = group.GetChunk()->GetChild(N("name"));
        group.Release();
      });
    }
    while (ready.load() != kReaders) std::this_thread::yield();
    go.store(true);
    std::thread releaser([moved = std::move(soup)]() mutable { moved.Release(); });
    releaser.join();
    for (std::thread& reader : readers) reader.join();
    const std::string expected = "object " + std::to_string(10 * (kReaders - 1));
    EXPECT_EQ(ACSRawDataCore::TextView(ACSChunk::GetRawData(kept.back().get()).get()), expected);
  }
}

}  // namespace
