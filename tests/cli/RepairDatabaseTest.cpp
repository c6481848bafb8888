// End-to-end tests of "repairdatabase" against the real vaddaemon of the
// fixture's root. Each test empties the database first (the root is shared
// by the binary) and leaves it empty, so that no faulty asset of its own
// reaches another test.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/cli/ToolFixture.h"

namespace fs = std::filesystem;

namespace {

const char kOk[] = "OK (0 Errors, 0 Warnings)\n";
const char kRepairing[] = "Repairing asset database (this may take some time)\n";

class RepairDatabaseTest : public ToolFixture {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(EmptyDatabase()); }
  void TearDown() override { EmptyDatabase(); }

  static void EmptyDatabase() {
    const ToolResult r = Run({"fcydeleteall"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }

  // Installs one asset with a config.txt naming `kuid`.
  void Install(const std::string& kuid, const std::string& name) {
    const std::string folder = MakeTempFolder() + "/asset";
    fs::create_directories(folder);
    ASSERT_TRUE(
        WriteFile(folder + "/config.txt", "kuid " + kuid + "\r\nusername \"" + name +
                                              "\"\r\nkind \"traincar\"\r\ncategory \"TC\"\r\n"));
    const ToolResult r = Run({"installfrompath", folder});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }
};

TEST_F(RepairDatabaseTest, RepairOfSoundAssetsReportsItsEndAndSucceedsInEveryMode) {
  ASSERT_NO_FATAL_FAILURE(Install("<kuid:-3:7001>", "Sound Van"));

  ToolResult r = Run({"repairdatabase"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.rfind(kRepairing, 0), 0u) << r.out;
  EXPECT_NE(r.out.find("Asset database repair complete: 1 assets checked, 0 faulty"),
            std::string::npos)
      << r.out;

  r = Run({"repairdatabase", "Extended"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.rfind(kRepairing, 0), 0u) << r.out;

  r = Run({"repairdatabase", "base"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.rfind(kRepairing, 0), 0u) << r.out;
}

TEST_F(RepairDatabaseTest, PatcherModePrintsNothingBeforeTheRepair) {
  const ToolResult r = Run({"repairdatabase", "patcher"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find(kRepairing), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Asset database repair complete: 0 assets checked"), std::string::npos)
      << r.out;
  EXPECT_TRUE(r.out.ends_with(kOk)) << r.out;
}

TEST_F(RepairDatabaseTest, RepairThatFindsAFaultyAssetExitsWith255) {
  ASSERT_NO_FATAL_FAILURE(Install("<kuid:-3:7002>", "Broken Van"));
  // The stored configuration now names another KUID: the repair marks the
  // asset faulty with an error.
  const std::string config = UserDataPath() + "/local/kuid -3 7002/config.txt";
  ASSERT_TRUE(fs::exists(config));
  ASSERT_TRUE(
      WriteFile(config, "kuid <kuid:-3:7999>\r\nusername \"Broken Van\"\r\nkind \"traincar\"\r\n"));

  const ToolResult r = Run({"repairdatabase"});
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.status, 255) << r.out << r.err;
  EXPECT_NE(r.out.find("1 faulty"), std::string::npos) << r.out;
}

}  // namespace
