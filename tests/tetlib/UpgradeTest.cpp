// The upgrade of old-style configurations: each case is a configuration in
// the text form and what it holds after the upgrade, one "path=value" a tag
// (containers as "name/child", in order). The project's own definitions
// decide which top-level names count as defined.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tetlib/MeshFiles.h"
#include "tests/tetlib/TetTestSupport.h"
#include "tetlib/MeshData.h"
#include "tetlib/Upgrade.h"

namespace {

using Lines_ = std::vector<std::string>;

void Flatten(const Soup& soup, const std::string& prefix, Lines_* out) {
  for (uint32_t i = 0; i < soup.CountTags(); ++i) {
    const Kiv::PString name = soup.GetIndexedTagName(i);
    const Soup child = soup.GetIndexedSoup(i);
    if (!child.Empty()) {
      Flatten(child, prefix + name.Str() + "/", out);
      continue;
    }
    out->push_back(prefix + name.Str() + "=" + soup.GetNamedTag(name).Str());
  }
}

class UpgradeTest : public TetTest {
 protected:
  void SetUp() override {
    TetTest::SetUp();
    UseOwnDefinitions();
    Manager().SetAssetFolder(Kiv::PString(), Kiv::File::Path(At("asset") + "/"));
  }

  // The configuration after UpgradeConfigIfOld, as the asset-root check
  // stores its build first.
  Lines_ Upgraded(const std::string& config) {
    Soup soup = Parse(config);
    Manager().SetAssetBuild(soup.GetNamedTagAsFloat(Kiv::PString("vandru-build"), 1.3f) + 0.001f);
    TETLib::UpgradeConfigIfOld(soup);
    Lines_ lines;
    Flatten(soup, "", &lines);
    return lines;
  }
};

// Tags the category defaults add to a configuration that has none.
const char* const kEra = "category-era=1800s";
const char* const kClass = "category-class=ZX";
const char* const kRegion = "category-region=00";

// The cases of tests/tetlib/upgrade/cases.txt: "== what", the
// configuration ("@mesh" lines write mesh files), "--", then the expected
// lines; none leaves a finding.
TEST_F(UpgradeTest, OldConfigurationsAreRewrittenByTheRules) {
  std::ifstream in(VU_SOURCE_DIR "/tests/tetlib/upgrade/cases.txt");
  std::string what, config;
  Lines_ expected;
  bool expecting = false;
  size_t count = 0;
  const auto check = [&] {
    if (what.empty()) return;
    EXPECT_EQ(Upgraded(config), expected) << what;
    EXPECT_TRUE(Lines().empty()) << what;
    ++count;
  };
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("#", 0) == 0) continue;
    if (line.rfind("== ", 0) == 0) {
      check();
      what = line.substr(3), config.clear(), expected.clear(), expecting = false;
    } else if (line.rfind("@mesh ", 0) == 0) {
      std::istringstream words(line.substr(6));
      std::string name;
      words >> name;
      Put("asset/" + name, "");
      ASSERT_TRUE(tetfixture::WriteIndexedMesh(At("asset/" + name), words)) << line;
    } else if (line == "--") {
      expecting = true;
    } else if (expecting) {
      expected.push_back(line);
    } else {
      config += line + "\n";
    }
  }
  check();
  EXPECT_EQ(count, 22u);
  EXPECT_EQ(TETLib::MeshData::LiveCount(), 0);
  // The user name comes from "name" and is cut at a line end.
  EXPECT_EQ(Upgraded("kind \"scenery\"\nname \"Old\r\nrest\"\n"),
            (Lines_{"kind=scenery", kEra, kClass, kRegion, "username=Old", "vandru-build=2.9"}));
}

// The upgrade works on the asset's own copy: the configuration handed to
// the root check, and the definitions, are as they were.
TEST_F(UpgradeTest, TheRootCheckLeavesTheGivenSoupAndTheDefinitionsAlone) {
  const Soup config = Parse("kind \"scenery\"\nvandru-build 2.5\nkuid <kuid:1:1>\nrem 1\n");
  Lines_ before;
  Flatten(config, "", &before);
  Lines_ definitions;
  Flatten(Manager().GetDefinitions(), "", &definitions);
  TETLib::Container root;
  root.ValidateAssetRoot(config);
  Lines_ after;
  Flatten(config, "", &after);
  EXPECT_EQ(after, before);
  Lines_ definitionsAfter;
  Flatten(Manager().GetDefinitions(), "", &definitionsAfter);
  EXPECT_EQ(definitionsAfter, definitions);
  EXPECT_EQ(root.GetSoup().GetNamedTagAsFloat(Kiv::PString("vandru-build"), 0), 2.9f);
}

}  // namespace
