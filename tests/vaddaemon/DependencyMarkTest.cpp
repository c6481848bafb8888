// Missing dependencies: the mark the store keeps (status byte 11) through
// installs, removals and commits, and the one rule behind it and behind
// the daemon's answers (any installed or built-in version of a dependency
// meets it, as request 0x1A resolves it).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assetdb/protocol/AssetRecord.h"
#include "foundation/stream/TBuffer.h"
#include "tests/vaddaemon/StoreTestRoot.h"
#include "vaddaemon/AssetCatalog.h"
#include "vaddaemon/AssetRecordWriter.h"
#include "vaddaemon/DependencyCheck.h"
#include "vaddaemon/SqliteDb.h"

namespace {

constexpr KUID kRail{100, 7, 0};  // "<kuid:100:7>": no version
constexpr KUID kRailOne{100, 7, 1};
constexpr KUID kRailTwo{100, 7, 2};
constexpr KUID kWagon{100, 8, 0};
constexpr KUID kCoach{100, 9, 0};
constexpr KUID kAbsent{100, 99, 0};

std::string Alias(const KUID& kuid) {
  return "alias " + KUIDToTagString(kuid).Str() + "\n";
}

using DependencyMark = StoreTestRoot;

TEST_F(DependencyMark, InstallsRemovalsAndCommitsKeepTheMarkOfEveryDependentCurrent) {
  ASSERT_TRUE(Install(kWagon, Alias(kRail)).Ok());
  EXPECT_TRUE(MarkedMissing(kWagon));
  ASSERT_TRUE(Install(kRailTwo).Ok());
  EXPECT_FALSE(MarkedMissing(kWagon));
  ASSERT_TRUE(Install(kCoach, Alias(kRailOne)).Ok());
  EXPECT_FALSE(MarkedMissing(kCoach));

  ASSERT_TRUE(store_->Remove(kRailTwo).Ok());
  EXPECT_TRUE(MarkedMissing(kWagon));
  EXPECT_TRUE(MarkedMissing(kCoach));

  // Installed together with another asset, in one transaction.
  std::vector<AssetStore::StagedInstall> batch(2);
  ASSERT_TRUE(store_->StageFolder(Source(kRail), &batch[0].stagingPath).Ok());
  ASSERT_TRUE(store_->StageFolder(Source(kAbsent), &batch[1].stagingPath).Ok());
  store_->InstallStagedTogether(batch);
  ASSERT_TRUE(batch[0].result.Ok() && batch[1].result.Ok());
  EXPECT_FALSE(MarkedMissing(kWagon));
  EXPECT_FALSE(MarkedMissing(kCoach));

  // A reserved asset counts once it is committed.
  ASSERT_TRUE(store_->Remove(kRail).Ok());
  EXPECT_TRUE(MarkedMissing(kWagon));
  AssetStore::EditInfo edit;
  ASSERT_TRUE(store_->Reserve(kRailOne, "Rail", &edit).Ok());
  EXPECT_TRUE(MarkedMissing(kWagon));
  Write(edit.path + "/config.txt", "kuid " + KUIDToTagString(kRailOne).Str() + "\n");
  ASSERT_TRUE(store_->CommitEdit(kRailOne, nullptr).Ok());
  EXPECT_FALSE(MarkedMissing(kWagon));

  // A commit that names another dependency judges the asset anew.
  ASSERT_TRUE(store_->BeginEdit(kCoach, &edit).Ok());
  Write(edit.path + "/config.txt",
        "kuid " + KUIDToTagString(kCoach).Str() + "\n" + Alias(KUID{100, 50, 0}));
  ASSERT_TRUE(store_->CommitEdit(kCoach, nullptr).Ok());
  EXPECT_TRUE(MarkedMissing(kCoach));
}

TEST_F(DependencyMark, TheHighestInstalledOrBuiltInVersionStandsForADependency) {
  StoredAsset catalogued;
  catalogued.kuid = KUID{100, 7, 5};
  ASSERT_TRUE(store_->PutMetadata(catalogued).Ok());
  EXPECT_TRUE(FindStandIn(*store_, kRail).IsNull());

  ASSERT_TRUE(Install(kRailOne).Ok());
  ASSERT_TRUE(Install(kRailTwo).Ok());
  EXPECT_EQ(FindStandIn(*store_, kRail), kRailTwo);
  EXPECT_EQ(FindStandIn(*store_, KUID{100, 7, 9}), kRailTwo);
  StoredAsset builtIn;
  builtIn.kuid = KUID{100, 7, 4};
  builtIn.status[kStatusBuiltIn] = 1;
  ASSERT_TRUE(store_->PutMetadata(builtIn).Ok());
  EXPECT_EQ(FindStandIn(*store_, kRailOne), builtIn.kuid);

  ASSERT_TRUE(Install(kWagon, Alias(kRail) + Alias(kAbsent)).Ok());
  const StoredAsset wagon = Get(kWagon);
  EXPECT_EQ(FindMissingDependencies(*store_, wagon), std::vector<KUID>{kAbsent});
  EXPECT_EQ(AvailableAssets(store_->List()).Missing(wagon), std::vector<KUID>{kAbsent});
  EXPECT_TRUE(AssetCatalog(store_->List()).HasMissingDependencies(wagon));
}

// A mark left by an older daemon is not what the daemon answers: the record
// and the search answer whether the dependencies are missing now.
TEST_F(DependencyMark, AStaleStoredMarkIsNotAnswered) {
  ASSERT_TRUE(Install(kRail).Ok());
  ASSERT_TRUE(Install(kWagon, Alias(kRailOne)).Ok());
  ASSERT_TRUE(store_->SetStatusByte(kWagon, kStatusMissingDependencies, 1).Ok());
  const StoredAsset wagon = Get(kWagon);
  EXPECT_TRUE(FindMissingDependencies(*store_, wagon).empty());
  EXPECT_FALSE(AssetCatalog(store_->List()).HasMissingDependencies(wagon));

  TBuffer stream;
  WriteAssetRecord(stream, &wagon, false);
  TStreamRewind(stream);
  AssetRecord record;
  ReadAssetInfoRecord(stream, record);
  EXPECT_EQ(record.status & kAssetMissingDependencies, 0u);
}

// An index of an older daemon has no dependents rows (or stale ones, when
// such a daemon changed it since): the next start brings them in line, and
// the marks keep up from then on.
TEST_F(DependencyMark, AnIndexWithoutItsDependentsIsMendedAtTheNextStart) {
  ASSERT_TRUE(Install(kWagon, Alias(kRail)).Ok());
  ASSERT_TRUE(Install(kCoach, Alias(kRailOne)).Ok());
  const std::string index = temp_.At("UserData/assets.tdx");
  store_.reset();
  {
    SqliteDb db;
    ASSERT_TRUE(db.Open(index, 1000));
    ASSERT_TRUE(
        db.Exec("DELETE FROM dependents; INSERT INTO dependents VALUES(100, 50, 100, 9, 0);"));
  }
  AssetStore::Options options;
  options.userDataPath = temp_.At("UserData");
  options.indexPath = index;
  options.localUserId = 100;
  store_ = std::make_unique<AssetStore>(options);
  ASSERT_TRUE(store_->Open().Ok());
  EXPECT_EQ(store_->LastRecovery().dependentsMended, 3u);
  EXPECT_TRUE(MarkedMissing(kWagon));
  ASSERT_TRUE(Install(kRailTwo).Ok());
  EXPECT_FALSE(MarkedMissing(kWagon));
  EXPECT_FALSE(MarkedMissing(kCoach));
  store_.reset();
  store_ = std::make_unique<AssetStore>(options);
  ASSERT_TRUE(store_->Open().Ok());
  EXPECT_EQ(store_->LastRecovery().dependentsMended, 0u);
}

}  // namespace
