#include "foundation/soup/SoupKUIDReferences.h"

#include <gtest/gtest.h>

#include <vector>

#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/ACSRawDataCore.h"
#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"

namespace {

const KUID kA{1, 2, 0};
const KUID kB{3, 4, 5};
const KUID kC{-7, 8, 127};

Kiv::PString N(const char* name) {
  return Kiv::PString(name);
}

std::vector<KUID> Contents(KUIDList& list) {
  std::vector<KUID> out;
  for (const KUID& kuid : list) out.push_back(kuid);
  return out;
}

TEST(SoupCollectKUIDs, WalksTheTreeInOrderAndSkipsRepeats) {
  Soup soup;
  soup.SetNamedKUID(N("kuid"), kA);
  soup.SetNamedTag(N("same"), "<kuid:1:2>");
  soup.SetNamedTag(N("bare"), "1:2");                   // not the kuid form
  soup.SetNamedTag(N("null"), "<NULL>");                // the null KUID
  soup.SetNamedTag(N("loose"), "<kuid:9:9> and more");  // strict refuses trailing text
  soup.SetNamedInt(N("number"), 42);
  soup.SetNamedNull(N("nothing"));
  Soup sub;
  sub.SetNamedTag(N("dep"), "<kuid2:3:4:5>");
  soup.SetNamedSoup(N("sub"), sub);
  soup.SetNamedKUID(N("last"), kC);

  KUIDList list;
  CollectKUIDs(soup, list);
  EXPECT_EQ(Contents(list), (std::vector<KUID>{kA, kB, kC}));

  // What the list held before counts as present.
  KUIDList earlier;
  earlier.Append(kB);
  CollectKUIDs(soup, earlier);
  EXPECT_EQ(Contents(earlier), (std::vector<KUID>{kB, kA, kC}));
}

TEST(SoupCollectKUIDs, ASoupThatContainsItselfIsWalkedOnce) {
  Soup soup;
  soup.SetNamedKUID(N("a"), kA);
  Soup self = soup;
  soup.SetNamedSoup(N("me"), self);
  soup.SetNamedKUID(N("b"), kB);
  KUIDList list;
  CollectKUIDs(soup, list);
  EXPECT_EQ(Contents(list), (std::vector<KUID>{kA, kB}));
  soup.RemoveNamedTag(N("me"));  // break the cycle so the tree is freed
}

TEST(SoupKUIDList, WritingSkipsNullsWithoutUsingANumber) {
  KUIDList list;
  list.Append(kA);
  list.Append(kNullKUID);
  list.Append(kB);
  Soup table = SetKUIDList(list);
  ASSERT_EQ(table.CountTags(), 2u);
  EXPECT_EQ(table.GetIndexedTagName(0).Str(), "0");
  EXPECT_EQ(table.GetIndexedTagName(1).Str(), "1");
  EXPECT_EQ(table.GetNamedTagType(N("0")), SoupType::kKUID);
  EXPECT_EQ(table.GetNamedTagAsKUID(N("0"), kNullKUID), kA);
  EXPECT_EQ(table.GetNamedTagAsKUID(N("1"), kNullKUID), kB);

  KUIDList empty;
  Soup none = SetKUIDList(empty);
  EXPECT_FALSE(none.Empty());
  EXPECT_EQ(none.CountTags(), 0u);
}

TEST(SoupKUIDList, ReadingTakesEveryTagWhateverItsName) {
  Soup table;
  table.SetNamedKUID(N("x"), kA);
  table.SetNamedTag(N("y"), "<kuid:1:2>");
  table.SetNamedKUID(N("z"), kB);
  table.SetNamedTag(N("w"), "5:6");  // read non-strictly
  table.SetNamedTag(N("v"), "no kuid here");
  Soup sub;
  sub.SetNamedKUID(N("deep"), kC);  // sub-soups are not tags of the table
  table.SetNamedSoup(N("s"), sub);
  // A second tag of an existing name is read too.
  uint8_t raw[8];
  KUIDToRawBytes(kC, raw);
  ACSChunk* chunk = table.GetChunk();
  chunk->SetChild(N("x"), chunk->CreateChunk(SoupType::kKUID, ACSRawDataCore::CreateCopy(raw, 8)));

  KUIDList list;
  GetKUIDList(table, list);
  EXPECT_EQ(Contents(list), (std::vector<KUID>{kA, kB, KUID{5, 6, 0}, kC}));

  KUIDList none;
  GetKUIDList(Soup(), none);
  EXPECT_TRUE(none.Empty());
}

}  // namespace
