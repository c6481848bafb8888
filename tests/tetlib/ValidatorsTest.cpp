#include <gtest/gtest.h>

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

TEST_F(ValidatorsTest, TagValidatorsPassOrReportAsTheirRulesSay) {
  struct Case {
    const char* name;
    const char* value;
    const char* validation;
    float build;
    bool passes;
    Lines_ findings;
  };
  const Case cases[] = {
      {"scale", "0,1,2", "ispositive", 3.4f, true, {}},
      {"scale", "0,-1,-2", "ispositive", 3.4f, false,
       Found("E", "$tet_val_notpositive", {"scale"})},
      {"scale", "", "isnotzero", 3.4f, false, Found("E", "$tet_val_emptyfield", {"scale"})},
      {"scale", "1,0", "isnotzero", 3.4f, false, Found("E", "$tet_val_notzero", {"scale"})},
      {"speed", "5", "range\n{\nmin 1\nmax 9\n}", 3.4f, true, {}},
      // A min without a max: no value can be at least 1 and at most 0.
      {"speed", "5", "range\n{\nmin 1\n}", 3.4f, false,
       Found("E", "$tet_val_notwithinrange", {"speed", 1.0, 0.0})},
      {"offset", "1,2", "arraysize\n{\nsize 3\n}", 3.4f, false,
       Found("E", "$tet_val_arraywrongsize", {"offset", 3, 2})},
      {"offset", "1,2", "arraysize\n{\nsize 3\n}", 2.89f, false,
       Found("E", "$tet_val_arraywrongsize", {"offset", 3, 2})},
      {"offset", "1,2", "arraysize\n{\nsize 3\n}", 2.88f, true, {}},
      {"offset", "1,2", "arraysize", 3.4f, false, {}},
      {"image", "there.txt", "fileexists", 3.4f, true, {}},
      {"image", "gone.txt", "fileexists", 3.4f, false,
       Found("E", "$tet_val_file_dne", {"gone.txt"})},
      {"image", "gone.txt", "fileexists", 3.39f, false,
       Found("W", "$tet_val_file_dne", {"gone.txt"})},
      {"image", "../asset/there.txt", "fileexists", 3.4f, false,
       Found("E", "$tet_val_file_dne", {"../asset/there.txt"})},
      {"image", "", "fileexists", 3.4f, false, {}},
      {"initial-count", "0", "mustbepaired\n{\n0 \"initial-count\"\n1 \"product\"\n}", 3.4f, true,
       Lines_()},
      {"initial-count", "2", "mustbepaired\n{\n0 \"initial-count\"\n1 \"product\"\n}", 3.4f, false,
       Found("E", "$tet_val_mustbepaired", {"product", "initial-count"})},
      {"scenery", "1", "notownparent", 3.4f, false, Found("E", "$tet_val_notownparent")},
      {"speed", "1", "isnottraincar", 3.4f, true, {}},
      {"speed", "1", "istracksidetype", 3.4f, false,
       Found("E", "$tet_val_notype", {"speed", "type", "trackside"})},
      {"group", "1", "needcollatemeshes", 3.4f, false,
       Found("E", "$tet_val_nocollatemeshes", {"group", "collate-meshes"})},
      {"script", "run", "scriptfileexists", 3.4f, false,
       Found("E", "$tet_val_scriptfiledne", {"run"})},
      {"lights", "1", "mustbeinlightcontainer", 3.4f, false,
       Found("E", "$tet_val_musthavealightcontainer")},
  };
  for (const Case& c : cases) {
    Findings().Clear();
    Build(c.build);
    Tag& tag =
        AddTag(root_, c.name, c.value, std::string("validation\n{\n") + c.validation + "\n}\n");
    EXPECT_EQ(tag.RunValidators(), c.passes) << c.name << " " << c.validation << " at " << c.build;
    EXPECT_EQ(Lines(), c.findings) << c.name << " " << c.validation << " at " << c.build;
  }
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
