// Edit copies keep their configuration as text, so that what a user edits
// is what a commit installs (the commit's refusal of a config.txt beside a
// config.chump is tested end to end).
#include <gtest/gtest.h>

#include <string>

#include "foundation/soup/Soup.h"
#include "kiv/PString.h"
#include "tests/vaddaemon/StoreTestRoot.h"
#include "vaddaemon/AssetConfigReader.h"

namespace {

constexpr KUID kCrate{100, 20, 0};

class EditCopyConfig : public StoreTestRoot {
 protected:
  // Installs kCrate from a folder holding a binary configuration (its
  // username `name`, a float) beside an older text one.
  void InstallBinary(const std::string& name) {
    std::string staging;
    ASSERT_TRUE(store_->MakeStagingFolder(&staging).Ok());
    Soup config;
    config.Create();
    config.SetNamedKUID(Kiv::PString("kuid"), kCrate);
    config.SetNamedTag(Kiv::PString("username"), std::string_view(name));
    config.SetNamedFloat(Kiv::PString("rotation-speed"), 2.5f);
    ASSERT_TRUE(Soup::SaveToFile(Kiv::PString(), staging + "/config.chump", config));
    Write(staging + "/Config.TXT", "username \"Older\"\n");
    Write(staging + "/body.txt", "body");
    ASSERT_TRUE(store_->InstallStaged(staging, {}, nullptr).Ok());
  }

  std::string Listing(const std::string& full) {
    return temp_.Listing(full.substr(temp_.Path().size() + 1));
  }
};

TEST_F(EditCopyConfig, EditCopyHoldsABinaryConfigurationAsTextAndATextOneAsItIs) {
  ASSERT_NO_FATAL_FAILURE(InstallBinary("Binary Crate"));
  AssetStore::EditInfo edit;
  ASSERT_TRUE(store_->BeginEdit(kCrate, &edit).Ok());
  EXPECT_EQ(Listing(edit.path), "body.txt config.txt");
  Soup config;
  ASSERT_TRUE(LoadAssetFolderConfig(edit.path, &config));
  EXPECT_EQ(config.GetNamedTag(Kiv::PString("username")).Str(), "Binary Crate");
  EXPECT_FLOAT_EQ(config.GetNamedTagAsFloat(Kiv::PString("rotation-speed"), 0.0f), 2.5f);
  EXPECT_EQ(Listing(store_->InstalledPath(Get(kCrate))), "Config.TXT body.txt config.chump");

  const std::string text = "kuid <kuid:100:21>\n// the user's own layout\nusername  \"Text\"\n";
  const std::string source = Source(KUID{100, 21, 0});
  Write(source + "/config.txt", text);
  ASSERT_TRUE(store_->InstallFolder(source, {}, nullptr).Ok());
  ASSERT_TRUE(store_->BeginEdit(KUID{100, 21, 0}, &edit).Ok());
  EXPECT_EQ(temp_.Get(edit.path.substr(temp_.Path().size() + 1) + "/config.txt"), text);
}

}  // namespace
