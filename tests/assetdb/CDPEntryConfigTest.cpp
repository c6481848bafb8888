#include "assetdb/archive/CDPEntryConfig.h"

#include <gtest/gtest.h>

#include <vector>

#include "CDPTestSupport.h"

using namespace cdptest;

namespace {

const KUID kOwn{300, 1, 0};
const KUID kDep1{300, 2, 0};
const KUID kDep2{300, 3, 0};
const KUID kHeld{300, 4, 0};

TEST(CDPEntryConfig, StripsArchiveTagsAndLowersKind) {
  Soup entry = MakeEntry(kOwn, "Scenery");
  Soup files;
  AddFile(files, "a.txt", "x");
  entry.SetNamedSoup(N("files"), files);
  entry.SetNamedTag(N("dsid"), std::string_view("0:1"));
  entry.SetNamedTag(N("compression"), std::string_view("LZSS"));
  entry.SetNamedTag(N("folder-icon"), std::string_view("icon"));
  entry.SetNamedInt(N(".cache"), 1);
  entry.SetNamedTag(N("username"), std::string_view("Kept"));
  CDPEntry handle{entry, false};
  Soup config;
  CDP::EntryToConfig(handle, config);
  EXPECT_TRUE(handle.changed);
  for (const char* gone : {"files", "dsid", "compression", "folder-icon", ".cache"}) {
    EXPECT_FALSE(config.HasNamedTag(N(gone))) << gone;
  }
  EXPECT_EQ(config.GetNamedTag(N("kind")).Str(), "scenery");
  EXPECT_EQ(config.GetNamedTag(N("username")).Str(), "Kept");
  // The entry itself is untouched.
  EXPECT_TRUE(entry.HasNamedTag(N("files")));
  EXPECT_EQ(entry.GetNamedTag(N("kind")).Str(), "Scenery");
  // An empty dependency list still gives an (empty) table.
  EXPECT_TRUE(config.HasNamedTag(N("kuid-table")));
  EXPECT_EQ(config.GetNamedSoup(N("kuid-table")).CountTags(), 0u);
}

TEST(CDPEntryConfig, NewDependenciesAreNumberedAfterTheHighestName) {
  Soup entry = MakeEntry(kOwn);
  Soup table;
  table.SetNamedKUID(N("0"), kHeld);
  table.SetNamedTag(N("1"), std::string_view("<kuid:300:4>"));
  table.SetNamedKUID(N("7"), kHeld);
  table.SetNamedKUID(N("name"), kHeld);  // counts as -1
  entry.SetNamedSoup(N("kuid-table"), table);
  entry.SetNamedKUID(N("bogey"), kDep1);
  entry.SetNamedTag(N("elsewhere"), std::string_view("<kuid:300:3>"));
  CDPEntry handle{entry, false};
  Soup config;
  CDP::EntryToConfig(handle, config);
  EXPECT_TRUE(handle.changed);
  const Soup merged = config.GetNamedSoup(N("kuid-table"));
  ASSERT_EQ(merged.CountTags(), 6u);
  EXPECT_EQ(merged.GetIndexedTagName(4).Str(), "8");
  EXPECT_EQ(merged.GetIndexedTagName(5).Str(), "9");
  EXPECT_EQ(merged.GetNamedTagAsKUID(N("8"), kNullKUID), kDep1);
  EXPECT_EQ(merged.GetNamedTagAsKUID(N("9"), kNullKUID), kDep2);
  // The entry's own table is not changed.
  EXPECT_EQ(entry.GetNamedSoup(N("kuid-table")).CountTags(), 4u);

  // Nothing new to add: not changed.
  CDPEntry again{config, false};
  Soup second;
  CDP::EntryToConfig(again, second);
  EXPECT_FALSE(again.changed);
  EXPECT_EQ(second.GetNamedSoup(N("kuid-table")).CountTags(), 6u);
}

}  // namespace
