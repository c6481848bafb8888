// StoreTestRoot: an open asset store in a temporary user-data root, and
// asset folders to install into it, for tests of the store and of what the
// daemon answers from it.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "foundation/text/KUID.h"
#include "tests/support/TempFolder.h"
#include "vaddaemon/AssetStore.h"

class StoreTestRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.Made());
    AssetStore::Options options;
    options.userDataPath = temp_.MakeFolder("UserData");
    options.indexPath = options.userDataPath + "/assets.tdx";
    options.localUserId = 100;
    store_ = std::make_unique<AssetStore>(options);
    const StoreResult opened = store_->Open();
    ASSERT_TRUE(opened.Ok()) << opened.message;
  }

  // A source folder (below the scratch folder, named after the KUID and
  // `tag`) whose config.txt names `kuid`, then holds `extra`.
  std::string Source(const KUID& kuid, const std::string& extra = "", const std::string& tag = "") {
    const std::string name = "src/" + std::string(KUIDToShortString(kuid)) + tag;
    temp_.Put(name + "/config.txt", "kuid " + std::string(KUIDToTagString(kuid).View()) +
                                        "\nusername \"Asset\"\nkind \"traincar\"\n" + extra);
    return temp_.At(name);
  }

  StoreResult Install(const KUID& kuid, const std::string& extra = "") {
    return store_->InstallFolder(Source(kuid, extra), {}, nullptr);
  }

  StoredAsset Get(const KUID& kuid) {
    StoredAsset asset;
    EXPECT_TRUE(store_->Find(kuid, &asset)) << KUIDToTagString(kuid).Str();
    return asset;
  }

  // Writes `text` to the file at the full path `path`.
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }

  // Status byte 11 as the store keeps it.
  bool MarkedMissing(const KUID& kuid) { return Get(kuid).status[kStatusMissingDependencies] != 0; }

  const VUTest::TempFolder temp_{"Store"};
  std::unique_ptr<AssetStore> store_;
};
