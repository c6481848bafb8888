// The "missing dependencies" mark as the store keeps it (status byte 11),
// read back through the store after the changes that move it: a commit
// that trades one dependency for another, and assets that name several
// dependencies of one user, and a repair's marks. Readers of the stored
// mark (a repair's count, the recovery) trust it, so it must say what a
// fresh look at the index says.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/vaddaemon/StoreTestRoot.h"

namespace {

constexpr KUID kRail{100, 7, 0};
constexpr KUID kSignal{100, 8, 0};
constexpr KUID kWagon{100, 20, 0};
constexpr KUID kCoach{100, 21, 0};
constexpr KUID kAbsent{100, 99, 0};

std::string Alias(const KUID& kuid) {
  return "alias " + KUIDToTagString(kuid).Str() + "\n";
}

// A kuid-table naming `first`, then `second`.
std::string Table(const KUID& first, const KUID& second) {
  return "kuid-table {\n  0 " + KUIDToTagString(first).Str() + "\n  1 " +
         KUIDToTagString(second).Str() + "\n}\n";
}

class StoredMarks : public StoreTestRoot {
 protected:
  // Closes the store and opens it again on the same index, as a daemon that
  // starts does.
  void Reopen() {
    AssetStore::Options options;
    options.userDataPath = temp_.At("UserData");
    options.indexPath = options.userDataPath + "/assets.tdx";
    options.localUserId = 100;
    store_.reset();
    store_ = std::make_unique<AssetStore>(options);
    const StoreResult opened = store_->Open();
    ASSERT_TRUE(opened.Ok()) << opened.message;
  }

  // Opens `kuid` for edit, makes its configuration name `dependencies`
  // after its KUID, and commits it.
  void CommitWith(const KUID& kuid, const std::string& dependencies) {
    AssetStore::EditInfo edit;
    ASSERT_TRUE(store_->BeginEdit(kuid, &edit).Ok());
    Write(edit.path + "/config.txt", "kuid " + KUIDToTagString(kuid).Str() + "\n" + dependencies);
    const StoreResult committed = store_->CommitEdit(kuid, nullptr);
    ASSERT_TRUE(committed.Ok()) << committed.message;
  }
};

// The wagon trades an installed dependency for one that is not: once that
// one is installed the mark goes, the one it no longer names does not move
// it, and the next start finds the index of dependents in line.
TEST_F(StoredMarks, ACommitThatTradesADependencyIsFollowedByItsNewOne) {
  ASSERT_TRUE(Install(kRail).Ok());
  ASSERT_TRUE(Install(kWagon, Alias(kRail)).Ok());
  EXPECT_FALSE(MarkedMissing(kWagon));

  ASSERT_NO_FATAL_FAILURE(CommitWith(kWagon, Alias(kSignal)));
  EXPECT_TRUE(MarkedMissing(kWagon));
  ASSERT_TRUE(Install(kSignal).Ok());
  EXPECT_FALSE(MarkedMissing(kWagon)) << "installing the new dependency left the mark set";
  ASSERT_TRUE(store_->Remove(kRail).Ok());
  EXPECT_FALSE(MarkedMissing(kWagon));
  ASSERT_TRUE(store_->Remove(kSignal).Ok());
  EXPECT_TRUE(MarkedMissing(kWagon));

  ASSERT_NO_FATAL_FAILURE(Reopen());
  EXPECT_EQ(store_->LastRecovery().dependentsMended, 0u) << "stale rows of dependents were kept";
  EXPECT_TRUE(MarkedMissing(kWagon));
}

// Two dependencies of one user, one installed and the other not, in either
// order: the asset is marked, and installing the other clears the mark.
TEST_F(StoredMarks, OneAbsentDependencyOfSeveralOfOneUserMarksTheAsset) {
  ASSERT_TRUE(Install(kRail).Ok());
  ASSERT_TRUE(Install(kWagon, Table(kRail, kAbsent)).Ok());
  ASSERT_TRUE(Install(kCoach, Table(kAbsent, kRail)).Ok());
  EXPECT_TRUE(MarkedMissing(kWagon));
  EXPECT_TRUE(MarkedMissing(kCoach));

  // Both are judged anew in one refresh, which asks about each dependency
  // once.
  ASSERT_TRUE(Install(kAbsent).Ok());
  EXPECT_FALSE(MarkedMissing(kWagon));
  EXPECT_FALSE(MarkedMissing(kCoach));
  ASSERT_TRUE(store_->Remove(kAbsent).Ok());
  EXPECT_TRUE(MarkedMissing(kWagon));
  EXPECT_TRUE(MarkedMissing(kCoach));
}

// A repair stores its marks after it checked: the faulty mark only while
// the asset's installed copy is still the one it checked, the missing mark
// as the index says then, and nothing for an asset gone meanwhile.
TEST_F(StoredMarks, ARepairsMarksHoldForTheCopyItCheckedAndTheIndexAsItIsNow) {
  ASSERT_TRUE(Install(kRail).Ok());
  ASSERT_TRUE(Install(kWagon, Alias(kRail)).Ok());
  const StoredAsset checked = Get(kWagon);
  ASSERT_TRUE(Install(kWagon, Alias(kRail)).Ok());  // installed again
  ASSERT_TRUE(store_->SetStatusByte(kWagon, kStatusMissingDependencies, 1).Ok());  // stale
  ASSERT_TRUE(store_
                  ->StoreRepairMarks({{kWagon, checked.folder, checked.installedAt, 1},
                                      {kAbsent, checked.folder, checked.installedAt, 1}})
                  .Ok());
  EXPECT_EQ(Get(kWagon).status[kStatusFaulty], 0) << "a copy no longer installed was judged";
  EXPECT_FALSE(MarkedMissing(kWagon));
  StoredAsset absent;
  EXPECT_FALSE(store_->Find(kAbsent, &absent));

  const StoredAsset current = Get(kWagon);
  ASSERT_TRUE(store_->StoreRepairMarks({{kWagon, current.folder, current.installedAt, 1}}).Ok());
  EXPECT_EQ(Get(kWagon).status[kStatusFaulty], 1);
}

}  // namespace
