// The validation entry: from a configuration file to the results log and
// the exported soup.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TBuffer.h"
#include "tests/tetlib/MeshFiles.h"
#include "tests/tetlib/TetTestSupport.h"
#include "tetlib/MeshData.h"

namespace {

using TETLib::Container;
using Lines_ = std::vector<std::string>;

struct Validation {
  Lines_ log;
  std::string root;      // the root container's name (its kind)
  std::string exported;  // the exported soup's text form
};

class AssetValidationTest : public TetTest {
 protected:
  // Validates `config` as the configuration of a new asset folder.
  Validation Validate(const std::string& config) {
    const std::string folder = "asset" + std::to_string(assets_++);
    Put(folder + "/config.txt", config);
    return ValidateFolder(At(folder));
  }

  static Validation ValidateFolder(const std::string& folder) {
    Container container;
    ResultsLog log;
    Soup exported;
    if (TETLib::BeginAssetValidation(Kiv::PString(), Kiv::File::Path(folder + "/config.txt"), log,
                                     &container)) {
      TETLib::RunAssetChecks(container, log, &exported);
    }
    Validation result;
    for (const ResultMessage& message : log.Messages()) {
      result.log.push_back((message.severity == ResultsLog::kError ? "E " : "W ") + message.text);
    }
    result.root = container.GetName().Str();
    TBuffer text;
    TextSoup::Write(text, exported);
    result.exported.assign(reinterpret_cast<const char*>(text.GetData()->Data()),
                           text.GetData()->DataLength());
    return result;
  }

  int assets_ = 0;
};

TEST_F(AssetValidationTest, KindsAreRefinedBeforeTheirDefinitionIsLookedUp) {
  UseOwnDefinitions();
  const std::pair<const char*, const char*> cases[] = {
      {"kind \"bridge\"\nheight 0\n", "double-track"},
      {"kind \"Bridge\"\nheight 5\n", "tunnel"},
      {"kind \"bridge\"\nheight -5\n", "bridge"},
      {"kind \"track\"\nvandru-build 2.8\nchunky_mesh \"a.im\"\n", "chunky-track"},
      {"kind \"track\"\nvandru-build 2.8\nunit_mesh \"a.im\"\n", "mesh-reducing-track"},
      {"kind \"track\"\nvandru-build 2.8\n", "obsolete-track"},
      {"kind \"track\"\nvandru-build 2.9\n", "track"},
      {"kind \"scenery\"\ntrackside 1\n", "scenery-trackside"},
  };
  for (const auto& [config, kind] : cases) {
    EXPECT_EQ(Validate(std::string("vandru-build 3.4\n") + config).root, kind) << config;
  }
}

// Assets below build 2.7 (fixtures below-build-27, at-build-27) and the
// findings, warnings included, of a failed export without the container
// checks (fixture failed-export-skips-container-checks) and the warnings
// of later checks that all passed (null-kuid): TetcheckTest.

TEST_F(AssetValidationTest, KindsSavingNamesAndExtensionsAreExportedInTheirCleanForm) {
  UseDefinitions("tests/tetlib/definitions/saving");
  const Validation run = Validate(
      "kind \"TUNNEL\"\nvandru-build 3.4\npart\n{\n  size 2\n}\nextensions\n{\n  tool-data \"x "
      "y\"\n"
      "  nested\n  {\n    a 1\n  }\n}\n");
  EXPECT_TRUE(run.log.empty());
  const Soup expected = Parse(
      "kind \"bridge\"\nvandru-build 3.4\npiece\n{\n  size 2\n}\nextensions\n{\n  tool-data \"x "
      "y\"\n"
      "  nested\n  {\n    a 1\n  }\n}\n");
  TBuffer text;
  TextSoup::Write(text, expected);
  EXPECT_EQ(run.exported, std::string(reinterpret_cast<const char*>(text.GetData()->Data()),
                                      text.GetData()->DataLength()));
}

TEST_F(AssetValidationTest, AContainerWithoutTagsPassesTheLaterChecksUntouched) {
  UseOwnDefinitions();
  Container container;
  ResultsLog log;
  Findings().ReportWarning(Kiv::PString("earlier"));
  EXPECT_TRUE(TETLib::RunAssetChecks(container, log));
  EXPECT_EQ(log.MessageCount(), 0u);
  EXPECT_EQ(Lines(), Lines_{"W earlier"});
}

TEST_F(AssetValidationTest, NothingOfAnAssetOutlivesItsValidation) {
  UseOwnDefinitions();
  Put("asset/config.txt",
      "kind \"scenery\"\nvandru-build 3.4\nkuid <kuid:1:1>\nusername \"u\"\nalias <kuid:1:2>\n"
      "mesh-table\n{\n  default\n  {\n    mesh \"a.im\"\n    auto-create 1\n    att-parent \"x\"\n "
      " }\n}\n");
  Put("asset/a.im", tetfixture::MeshBytes());
  const Validation first = ValidateFolder(At("asset"));
  EXPECT_EQ(Container::LiveCount(), 0);
  EXPECT_EQ(TETLib::Tag::LiveCount(), 0);
  EXPECT_EQ(TETLib::MeshData::LiveCount(), 0);
  EXPECT_TRUE(Manager().RegistriesEmpty());
  // The alias's quiet reports do not carry over to the next asset.
  Put("plain/config.txt",
      "kind \"scenery\"\nvandru-build 3.4\nkuid <kuid:1:1>\nusername \"u\"\n"
      "mesh-table\n{\n  default\n  {\n    mesh \"a.im\"\n    auto-create 1\n    att-parent \"x\"\n"
      "  }\n}\n");
  const Validation plain = ValidateFolder(At("plain"));
  // Its missing mesh is reported (and keeps the possibility report quiet).
  EXPECT_EQ(plain.log, (Lines_{"E " + Msg("$tet_mesh_load_mesh", {"a.im"})}));
  EXPECT_EQ(ValidateFolder(At("asset")).log, first.log);
}

// Validation belongs to no thread: the job may run it on whichever thread
// it takes its tasks on.
TEST_F(AssetValidationTest, AnotherThreadFindsTheSame) {
  UseOwnDefinitions();
  Put("asset/config.txt", "kind \"scenery\"\nvandru-build 3.4\ncolour 1\n");
  const Validation here = ValidateFolder(At("asset"));
  Validation there;
  std::thread([&] { there = ValidateFolder(At("asset")); }).join();
  EXPECT_EQ(there.log, here.log);
  EXPECT_EQ(there.exported, here.exported);
  EXPECT_EQ(here.log.size(), 3u);
}

}  // namespace
