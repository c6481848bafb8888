#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/tetlib/TetTestSupport.h"

namespace {

using TETLib::Container;
using Lines_ = std::vector<std::string>;

// A "thing" with both compulsory containers present.
constexpr const char* kThing = "kind \"thing\"\nbox\n{\n}\npanel\n{\n  kind \"plain\"\n}\n";

class TagWalkTest : public TetTest {
 protected:
  void SetUp() override {
    TetTest::SetUp();
    UseDefinitions("tests/tetlib/definitions/tagwalk");
  }

  // Walks a configuration as the asset root check does.
  std::unique_ptr<Container> Walk(const std::string& config, float build) {
    Findings().Clear();
    const Soup soup = Parse(config);
    Manager().SetAssetBuild(build + 0.001f);
    const Kiv::PString kind = soup.GetNamedTag(Kiv::PString("kind"));
    const Soup definition = Container::FindTopLevelDefinition(kind);
    EXPECT_FALSE(definition.Empty()) << kind.View();
    auto root = std::make_unique<Container>();
    root->SetSoup(soup);
    root->SetName(kind);
    root->SetType(kind);
    root->ApplyDefinition(definition, true);
    Container::BuildContainerValidators(*root, definition);
    EXPECT_TRUE(root->ValidateTags(soup, definition, *root));
    return root;
  }
};

TEST_F(TagWalkTest, TagNamesFindTheirDefinitionsThroughAliasesAndSequences) {
  auto root = Walk(
      std::string(kThing) +
          "description-de \"d\"\nusername-fr \"u\"\nname12 \"n\"\nname7 \"n\"\nplain12 \"p\"\n",
      3.4f);
  EXPECT_EQ(Lines(), Found("E", "$tet_container_nodefinition", {"plain12", "thing"}));
  EXPECT_EQ(root->Tags().size(), 6u);
}

TEST_F(TagWalkTest, SubContainersAreMatchedCreatedAndWalked) {
  struct Case {
    std::string config;
    Lines_ findings;
  };
  const Case cases[] = {
      // Present compulsory containers of every sort are not missing.
      {kThing, {}},
      {"kind \"thing\"\n",
       {"E " + Msg("$tet_container_missingcontainer", {"box"}),
        "E " + Msg("$tet_container_missingcontainer", {"panel"})}},
      {std::string(kThing) + ".cache\n{\n}\n",
       {"E " + Msg("$tet_container_nodefinition", {".cache", "thing"}),
        "E " + Msg("$tet_container_oldcontainer")}},
      // A particle described by a file needs no rate.
      {std::string(kThing) + "smoke1\n{\n  file \"a\"\n}\n", {}},
      {std::string(kThing) + "smoke1\n{\n}\n", Found("E", "$tet_container_missingtag", {"rate"})},
      // Without "inherit", an obsolete container has no definition.
      {"kind \"bare\"\ngizmo\n{\n}\n",
       Found("E", "$tet_container_nodefinition", {"gizmo", "bare"})},
      // A name obsolete in a box is not obsolete beside it.
      {std::string(kThing) + "rusty 1\n",
       Found("E", "$tet_container_nodefinition", {"rusty", "thing"})},
      {"kind \"thing\"\nbox\n{\n  rusty 1\n}\npanel\n{\n}\n",
       Found("E", "$tet_container_obsoletetag", {"rusty", "box"})},
  };
  for (const Case& c : cases) {
    auto root = Walk(c.config, 3.4f);
    EXPECT_EQ(Lines(), c.findings) << c.config;
  }
}

// Containers keyed by free names, smoke defined by an ancestor, and a mesh
// entry whose mesh comes from another asset.
TEST_F(TagWalkTest, FreeNamesInheritedSmokeAndMeshAssetsNeedNoDefinitionOfTheirOwn) {
  struct Case {
    std::string config;
    Lines_ findings;
  };
  const Case cases[] = {
      // Every name of a ledger takes its "any-tag" definition, type included.
      {"kind \"carrier\"\nledger\n{\n  alpha 1\n  0 0\n  beta 2\n}\n",
       Found("W", "$tet_container_notboolean", {"beta", "ledger"})},
      {"kind \"carrier\"\nledger\n{\n}\n", {}},
      // A name is free only where the definition says so.
      {"kind \"carrier\"\nalpha 1\n",
       Found("E", "$tet_container_nodefinition", {"alpha", "carrier"})},
      {"kind \"carrier\"\nsmoke0\n{\n  rate 1\n}\n", {}},
      {"kind \"carrier\"\nsmoke0\n{\n}\n", Found("E", "$tet_container_missingtag", {"rate"})},
      {"kind \"latecomer\"\nlate \"x\"\nsmoke0\n{\n}\n",
       {"E " + Msg("$tet_container_nosmoke"),
        "E " + Msg("$tet_container_nodefinition", {"smoke0", "latecomer"})}},
      {"kind \"carrier\"\npart\n{\n  mesh-asset <kuid:1:2>\n}\n", {}},
      {"kind \"carrier\"\npart\n{\n}\n", Found("E", "$tet_container_missingtag", {"mesh"})},
  };
  for (const Case& c : cases) {
    auto root = Walk(c.config, 3.4f);
    EXPECT_EQ(Lines(), c.findings) << c.config;
  }
}

TEST_F(TagWalkTest, CompulsoryTagsCountFromTheirBuild) {
  auto early = Walk("kind \"latecomer\"\n", 3.4f);
  EXPECT_EQ(Lines(), Found("W", "$tet_container_missingtag", {"late"}));
  EXPECT_TRUE(early->Tags().size() == 1u);
  auto due = Walk("kind \"latecomer\"\n", 3.5f);
  EXPECT_EQ(Lines(), Found("E", "$tet_container_missingtag", {"late"}));
  const TETLib::Tag* added = due->FindTag(Kiv::PString("late"));
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->value.Str(), "filled");
}

TEST_F(TagWalkTest, AChildsKuidLeadsItsTags) {
  auto root = Walk("kind \"thing\"\nbox\n{\n  size 1\n  kuid <kuid:1:2>\n}\npanel\n{\n}\n", 3.4f);
  ASSERT_EQ(root->Children().size(), 2u);
  const Container& box = *root->Children()[0];
  ASSERT_EQ(box.Tags().size(), 2u);
  EXPECT_EQ(box.Tags()[0]->name.Str(), "kuid");
  EXPECT_TRUE(box.FrontTags().empty());
}

TEST_F(TagWalkTest, AnOldAssetLeavesTheDefinitionsAsTheyWere) {
  const std::string config = std::string(kThing) + "retired 1\n";
  const auto obsoleteFinding = Found("E", "$tet_container_obsoletetag", {"retired", "thing"});
  auto alone = Walk(config, 3.4f);
  EXPECT_EQ(Lines(), obsoleteFinding);
  auto old = Walk(config, 2.9f);  // still defined for build 2.9
  EXPECT_TRUE(Lines().empty());
  const Soup base = Manager().GetDefinitions().GetNamedSoup(Kiv::PString("base"));
  EXPECT_FALSE(
      base.GetNamedSoup(Kiv::PString("subpossibilities")).HasNamedTag(Kiv::PString("retired")));
  EXPECT_TRUE(base.GetNamedSoup(Kiv::PString("obsolete-tag")).HasNamedTag(Kiv::PString("retired")));
  auto after = Walk(config, 3.4f);
  EXPECT_EQ(Lines(), obsoleteFinding);
}

TEST_F(TagWalkTest, LowerCasingAKindLeavesTheCallersNameAlone) {
  const Kiv::PString kind("Thing");
  EXPECT_FALSE(Container::FindTopLevelDefinition(kind).Empty());
  EXPECT_EQ(kind.Str(), "Thing");
  EXPECT_EQ(Kiv::PString("Thing"), kind);
}

}  // namespace
