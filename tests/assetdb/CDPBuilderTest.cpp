#include "assetdb/archive/CDPBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CDPTestSupport.h"
#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPDependencies.h"

using namespace cdptest;

namespace {

const KUID kA{100, 1, 0};
const KUID kB{100, 2, 0};
const KUID kC{100, 3, 0};
const KUID kX{200, 9, 0};
const KUID kY{200, 10, 4};

std::vector<KUID> Contents(KUIDList& list) {
  std::vector<KUID> out;
  for (const KUID& kuid : list) out.push_back(kuid);
  return out;
}

void Add(Soup& archive, Soup entry) {
  Kiv::PString message;
  CDP::AddContent(archive, message, entry);
  EXPECT_TRUE(message.Empty()) << message.Str();
}

TEST(CDPBuilder, AddContentRefusesEntriesWithoutKUIDOrAlreadyPresent) {
  Soup archive;
  Kiv::PString message;
  Soup nameless;
  nameless.SetNamedTag(N("kind"), std::string_view("mesh"));
  CDP::AddContent(archive, message, nameless);
  EXPECT_EQ(message.Str(), "Unable to add content as it doesnt not contain a valid KUID");
  EXPECT_TRUE(archive.Empty());

  Soup first = MakeEntry(KUID{5, 6, 7});
  CDP::AddContent(archive, message, first);
  EXPECT_TRUE(message.Empty());
  Soup again = MakeEntry(KUID{5, 6, 7});
  CDP::AddContent(archive, message, again);
  EXPECT_EQ(message.Str(),
            "Unable to add content as an item with KUID <kuid2:5:6:7> is already present");
  EXPECT_EQ(CDP::GetAssetCount(archive), 1u);
  // Stored shared, under the KUID's tag text.
  EXPECT_TRUE(archive.GetNamedSoup(N("assets")).GetNamedSoup(N("<kuid2:5:6:7>")) == first);
}

TEST(CDPBuilder, EntriesThatReferToEachOtherAreNoDependencies) {
  Soup archive;
  Soup a = MakeEntry(kA);
  a.SetNamedTag(N("needs"), std::string_view("<kuid:100:2>"));
  a.SetNamedKUID(N("other"), kX);
  Soup b = MakeEntry(kB);
  b.SetNamedKUID(N("alias"), kA);
  Add(archive, a);
  Add(archive, b);
  EXPECT_TRUE(CDP::TablesNeedRebuild(archive));
  CDP::RebuildTables(archive);
  EXPECT_FALSE(CDP::TablesNeedRebuild(archive));
  EXPECT_EQ(Table(archive, "contents-table"), (std::vector<KUID>{kA, kB}));
  EXPECT_EQ(Table(archive, "kuid-table"), (std::vector<KUID>{kX}));
  EXPECT_EQ(archive.GetNamedTag(N("kind")).Str(), "archive");
  EXPECT_EQ(archive.GetNamedTagAsInt(N("package-version"), 0), 1);
  // The tables are numbered without gaps.
  EXPECT_EQ(archive.GetNamedSoup(N("contents-table")).GetIndexedTagName(1).Str(), "1");
}

TEST(CDPBuilder, ObsoletesFollowEntryOrder) {
  // An "obsoletes-kuid" is listed as obsolete and, being named in the soup,
  // as a dependency.
  Soup archive;
  Soup a = MakeEntry(kA);
  a.SetNamedKUID(N("obsoletes-kuid"), kX);
  Add(archive, a);
  CDP::RebuildTables(archive);
  EXPECT_EQ(Table(archive, "obsolete-table"), (std::vector<KUID>{kX}));
  EXPECT_EQ(Table(archive, "kuid-table"), (std::vector<KUID>{kX}));

  // A later entry takes its own KUID out of what earlier ones made obsolete;
  // an earlier one does not.
  Soup later;
  Soup obsoletesB = MakeEntry(kA);
  Soup tableB;
  tableB.SetNamedKUID(N("0"), kB);
  tableB.SetNamedKUID(N("1"), kA);  // its own KUID: left out
  obsoletesB.SetNamedSoup(N("obsolete-table"), tableB);
  Add(later, obsoletesB);
  Add(later, MakeEntry(kB));
  CDP::RebuildTables(later);
  EXPECT_TRUE(Table(later, "obsolete-table").empty());

  Soup earlier;
  Add(earlier, MakeEntry(kB));
  Soup obsoletesB2 = MakeEntry(kA);
  Soup tableB2;
  tableB2.SetNamedKUID(N("0"), kB);
  obsoletesB2.SetNamedSoup(N("obsolete-table"), tableB2);
  Add(earlier, obsoletesB2);
  CDP::RebuildTables(earlier);
  EXPECT_EQ(Table(earlier, "obsolete-table"), (std::vector<KUID>{kB}));
}

TEST(CDPBuilder, SelfDrivingCarWithoutInteriorNeedsTheBuiltinOne) {
  Soup car = MakeEntry(kA, "TrainCar");
  car.SetNamedInt(N("engine"), 1);
  KUIDList list;
  CDP::CollectDependencies(car, kA, list);
  EXPECT_EQ(Contents(list), (std::vector<KUID>{CDP::kBuiltinInteriorKUID}));
  EXPECT_EQ(KUIDToTagString(CDP::kBuiltinInteriorKUID).Str(), "<kuid:-10:172>");

  car.SetNamedKUID(N("interior"), kY);
  KUIDList withInterior;
  CDP::CollectDependencies(car, kA, withInterior);
  // The interior is named in the soup and again by its tag: listed once.
  EXPECT_EQ(Contents(withInterior), (std::vector<KUID>{kY}));

  Soup wagon = MakeEntry(kB, "traincar");
  wagon.SetNamedInt(N("engine"), 0);
  KUIDList none;
  CDP::CollectDependencies(wagon, kB, none);
  EXPECT_TRUE(none.Empty());

  // The archive carrying the built-in asset lists no dependency on it.
  Soup archive;
  Soup plain = MakeEntry(kA, "traincar");
  plain.SetNamedInt(N("engine"), 1);
  Add(archive, plain);
  Add(archive, MakeEntry(CDP::kBuiltinInteriorKUID, "interior"));
  CDP::RebuildTables(archive);
  EXPECT_TRUE(Table(archive, "kuid-table").empty());
}

TEST(CDPBuilder, DependenciesHonourObsoleteTableAndOwnKUIDOnce) {
  Soup entry = MakeEntry(kA);
  Soup obsolete;
  obsolete.SetNamedKUID(N("0"), kX);
  entry.SetNamedSoup(N("obsolete-table"), obsolete);
  Soup table;
  table.SetNamedKUID(N("0"), kC);
  entry.SetNamedSoup(N("kuid-table"), table);
  KUIDList list;
  list.Append(kC);  // held already: not appended again
  CDP::CollectDependencies(entry, kA, list);
  EXPECT_EQ(Contents(list), (std::vector<KUID>{kC}));

  // A KUID named by "alias" and elsewhere: listed once; when it is also
  // excluded, the second occurrence (from "alias") survives.
  entry.SetNamedKUID(N("alias"), kX);
  KUIDList aliased;
  CDP::CollectDependencies(entry, kA, aliased);
  EXPECT_EQ(Contents(aliased), (std::vector<KUID>{kC, kX}));
}

TEST(CDPBuilder, CollectObsoletesErasesTheOwnKUID) {
  Soup entry = MakeEntry(kA);
  Soup table;
  table.SetNamedKUID(N("0"), kB);
  table.SetNamedKUID(N("1"), kB);
  entry.SetNamedSoup(N("obsolete-table"), table);
  entry.SetNamedKUID(N("obsoletes-kuid"), kC);
  KUIDList out;
  out.Append(kA);
  out.Append(kC);
  CDP::CollectObsoletes(entry, kA, out);
  EXPECT_EQ(Contents(out), (std::vector<KUID>{kC, kB}));
}

class CDPWriteTest : public TempRoot {};

TEST_F(CDPWriteTest, WriteArchiveRebuildsTablesAndReportsAnyFailure) {
  Soup archive;
  Add(archive, MakeEntry(kA));
  Kiv::PString message;
  CDP::WriteArchive(archive, message, At("a.cdp"));
  EXPECT_TRUE(message.Empty());
  EXPECT_EQ(Table(archive, "contents-table"), (std::vector<KUID>{kA}));
  // The tag order of a new archive.
  const char* order[] = {"assets",         "contents-table", "kuid-table",
                         "obsolete-table", "kind",           "package-version"};
  ASSERT_EQ(archive.CountTags(), 6u);
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(archive.GetIndexedTagName(i).Str(), order[i]);

  const std::string before = Get("a.cdp");
  for (const std::string& bad : {At("a.zip"), At("missing/b.cdp"), At("")}) {
    CDP::WriteArchive(archive, message, bad);
    EXPECT_EQ(message.Str(), "Unable to write archive file. Needs to be .cdp file extension");
  }
  // A save that cannot complete leaves the old file whole: here the
  // temporary file's name is taken by a folder.
  std::filesystem::create_directories(At("a.tmp"));
  Add(archive, MakeEntry(kB));
  CDP::WriteArchive(archive, message, At("a.cdp"));
  EXPECT_FALSE(message.Empty());
  EXPECT_EQ(Get("a.cdp"), before);
}

TEST(CDPBuilder, ManyEntriesGiveExactTables) {
  // Each entry depends on the next one and on one of seven outside KUIDs:
  // all but the last "next" are carried by the archive itself.
  constexpr int32_t kCount = 20000;
  Soup archive;
  Soup assets;
  assets.Create();
  archive.SetNamedSoup(N("assets"), assets);
  for (int32_t i = 0; i < kCount; ++i) {
    Soup entry = MakeEntry(KUID{1, i, 0});
    entry.SetNamedKUID(N("next"), KUID{1, i + 1, 0});
    entry.SetNamedKUID(N("outside"), KUID{2, i % 7, 0});
    assets.SetNamedSoup(KUIDToTagString(KUID{1, i, 0}), entry);
  }
  CDP::RebuildTables(archive);
  EXPECT_EQ(Table(archive, "contents-table").size(), size_t(kCount));
  const std::vector<KUID> deps = Table(archive, "kuid-table");
  ASSERT_EQ(deps.size(), 8u);
  EXPECT_EQ(deps[0], (KUID{2, 0, 0}));
  EXPECT_EQ(deps[7], (KUID{1, kCount, 0}));
}

}  // namespace
