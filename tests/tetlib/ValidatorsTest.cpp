#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/tetlib/TetTestSupport.h"
#include "tetlib/Validators.h"

namespace {

using TETLib::Container;
using TETLib::Tag;
using Lines_ = std::vector<std::string>;

class ValidatorsTest : public TetTest {
 protected:
  void SetUp() override {
    TetTest::SetUp();
    root_.SetName(Kiv::PString("scenery"));
    root_.SetSoup(Parse("kind \"scenery\"\n"));
    Manager().SetAssetFolder(Kiv::PString(), Kiv::File::Path(At("asset")));
    Put("asset/there.txt", "x");
  }

  // Sets the build as the root check does ("vandru-build" + 0.001).
  void Build(float build) { Manager().SetAssetBuild(build + 0.001f); }

  Container root_;
};

// The cases of tests/tetlib/validators/tags.txt, one a line.
TEST_F(ValidatorsTest, TagValidatorsPassOrReportAsTheirRulesSay) {
  std::ifstream in(VU_SOURCE_DIR "/tests/tetlib/validators/tags.txt");
  size_t count = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> f = Fields(line);
    ASSERT_GE(f.size(), 5u) << line;
    Findings().Clear();
    Build(std::stof(f[3]));
    Tag& tag = AddTag(root_, f[0].c_str(), f[1].c_str(), "validation\n{\n" + f[2] + "\n}\n");
    EXPECT_EQ(tag.RunValidators(), f[4] == "pass") << line;
    EXPECT_EQ(Lines(), f.size() > 5 ? Lines_{FindingLine(f[5])} : Lines_()) << line;
    ++count;
  }
  EXPECT_EQ(count, 26u);
}

TEST_F(ValidatorsTest, ValidatorsAreBuiltInListOrderAndAllRun) {
  Tag& two = AddTag(root_, "a", "-5",
                    "validation\n{\nrange\n{\nmin 1\nmax 2\n}\nispositive\nnosuchcheck\n}\n");
  ASSERT_EQ(two.validators.size(), 2u);
  EXPECT_EQ(two.validatorArgs[0].GetNamedTag(Kiv::PString("max")).Str(), "2");
  EXPECT_FALSE(two.RunValidators());
  EXPECT_EQ(Lines(), (Lines_{"E " + Msg("$tet_val_notwithinrange", {"a", 1.0, 2.0}),
                             "E " + Msg("$tet_val_notpositive", {"a"})}));
  Tag& none = AddTag(root_, "b", "1", "validation\n{\nranges\n}\n");
  EXPECT_TRUE(none.validators.empty());
  EXPECT_TRUE(none.RunValidators());
}

TEST_F(ValidatorsTest, NullKUIDsWarnButNeverFail) {
  Tag& tag = AddTag(root_, "preview", "<NULL>", "");
  EXPECT_TRUE(TETLib::CheckNullKUID(tag));
  EXPECT_EQ(Lines(), Found("W", "$tet_val_nullkuidwarn", {"preview"}));
}

TEST_F(ValidatorsTest, ContainerValidatorsCheckTheTreeBelowThem) {
  root_.SetMeshChecks(true);
  auto table = std::make_unique<Container>();
  table->SetName(Kiv::PString("mesh-table"));
  auto entry = std::make_unique<Container>();
  entry->SetName(Kiv::PString("default"));
  AddTag(*entry, "auto-create", "0", "");
  table->AddChild(std::move(entry));
  root_.AddChild(std::move(table));
  const Soup validation =
      Parse("validation\n{\nmeshtablehasshadow\nmeshtablehasvisiblemesh\nuniquenames\n}\n");
  Container::BuildContainerValidators(root_, validation);
  ASSERT_EQ(root_.ValidatorCount(), 3u);
  EXPECT_FALSE(root_.RunChildChecks());
  EXPECT_EQ(Lines(), (Lines_{"W " + Msg("$tet_val_shadow_missing"),
                             "W " + Msg("$tet_val_no_visible_mesh")}));
  // Without the mesh-check flag the mesh table is not looked at.
  Findings().Clear();
  root_.SetMeshChecks(false);
  EXPECT_TRUE(root_.RunChildChecks());
  EXPECT_TRUE(Lines().empty());
}

}  // namespace
