// The upgrade of old-style configurations: each case is a configuration in
// the text form and what it holds after the upgrade, one "path=value" a tag
// (containers as "name/child", in order). The project's own definitions
// decide which top-level names count as defined.
#include <gtest/gtest.h>

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

struct Case {
  const char* what;
  const char* config;
  Lines_ expected;
};

// Tags the category defaults add to a configuration that has none.
const char* const kEra = "category-era=1800s";
const char* const kClass = "category-class=ZX";
const char* const kRegion = "category-region=00";

TEST_F(UpgradeTest, OldConfigurationsAreRewrittenByTheRules) {
  const Case cases[] = {
      {"a current build is left alone",
       "kind \"scenery\"\nvandru-build 2.9\nrem 1\n",
       {"kind=scenery", "vandru-build=2.9", "rem=1"}},
      {"2.85 is upgraded to 2.9",
       "kind \"scenery\"\nvandru-build 2.85\nrem 1\n",
       {"kind=scenery", kEra, kClass, kRegion, "vandru-build=2.9"}},
      {"no build counts as 1.3",
       "kind \"scenery\"\n",
       {"kind=scenery", kEra, kClass, kRegion, "vandru-build=2.9"}},
      {"numbered regions from 1 are joined in capitals",
       "kind \"scenery\"\ncategory-region-1 \"de\"\ncategory-region-2 \"fr\"\n",
       {"kind=scenery", "category-region=DE;FR", kEra, kClass, "vandru-build=2.9"}},
      {"a gap in the regions stops the walk",
       "kind \"scenery\"\ncategory-region-1 \"de\"\ncategory-region-3 \"fr\"\n",
       {"kind=scenery", "category-region-3=fr", "category-region=DE", kEra, kClass,
        "vandru-build=2.9"}},
      {"eras get their s",
       "kind \"scenery\"\ncategory-era-0 1920\ncategory-era-1 \"1930s\"\n",
       {"kind=scenery", "category-era=1920s;1930s", kClass, kRegion, "vandru-build=2.9"}},
      {"the world region becomes 00",
       "kind \"scenery\"\ncategory-region \"any region in the world\"\n",
       {"kind=scenery", kEra, kClass, kRegion, "vandru-build=2.9"}},
      {"a two-field rgb goes, a three-field one stays",
       "kind \"scenery\"\nrgb \"1,2\"\n",
       {"kind=scenery", kEra, kClass, kRegion, "vandru-build=2.9"}},
      {"names of digits, quotes or underscores are swept",
       "kind \"scenery\"\n12 1\n__ 2\na_1 3\n",
       {"kind=scenery", "a_1=3", kEra, kClass, kRegion, "vandru-build=2.9"}},
      {"auteur overwrites author, organisation keeps its own",
       "kind \"scenery\"\nauteur \"A\"\nauthor \"B\"\norganization \"X\"\norganisation \"Y\"\n",
       {"kind=scenery", "organisation=Y", kEra, kClass, kRegion, "author=A", "vandru-build=2.9"}},
      {"the user name comes from name and is cut at a line end",
       "kind \"scenery\"\nname \"Old\r\nrest\"\n",
       {"kind=scenery", kEra, kClass, kRegion, "username=Old", "vandru-build=2.9"}},
      {"libraries are renamed and the script gets its extension",
       "kind \"scenery\"\nscriptlibrary \"lib/run\"\n",
       {"kind=scenery", "script=lib/run.gs", kEra, kClass, kRegion, "vandru-build=2.9"}},
      {"thumbnails come from the icon texture",
       "kind \"scenery\"\nicon-texture \"i.bmp\"\n",
       {"kind=scenery", kEra, kClass, kRegion, "thumbnails/0/image=i.bmp", "thumbnails/0/width=64",
        "thumbnails/0/height=64", "vandru-build=2.9"}},
      {"stray tags after the description go, containers and defined tags stay",
       "kind \"scenery\"\ndescription \"d\"\nwith 1\nsnapmode 1\nasset-extra 2\nbox\n{\n}\n",
       {"kind=scenery", "description=d", "snapmode=1", kEra, kClass, kRegion, "vandru-build=2.9"}},
      {"a traincar gets its mesh table and bogeys from the base name",
       "kind \"traincar\"\nasset-filename \"car\"\nbogey <kuid:1:2>\nbogey-r <kuid:-1:-1>\n",
       {"kind=traincar", "bogey-r=<NULL>", "username=car",
        "mesh-table/default/mesh=car_body/car_body.pm", "mesh-table/default/auto-create=1",
        "mesh-table/shadow/mesh=car_shadow/car_shadow.pm", "mesh-table/shadow/auto-create=0",
        "bogeys/0/bogey=<kuid:1:2>", "bogeys/0/reversed=0", kEra, kClass, kRegion,
        "vandru-build=2.9"}},
      {"a bogey's meshes are progressive, its shadow in a folder",
       "kind \"bogey\"\nasset-filename \"b1\"\nlight 1\n",
       {"kind=bogey", "username=b1", "mesh-table/default/mesh=b1.pm",
        "mesh-table/default/auto-create=1", "mesh-table/shadow/mesh=b1_shadow/b1_shadow.pm",
        "mesh-table/shadow/auto-create=0", kEra, kClass, kRegion, "vandru-build=2.9"}},
      {"a junction's modes become entries",
       "kind \"mojunction\"\nasset-filename \"j\"\nmode0 \"Left\"\n",
       {"kind=mojunction", "username=j", "mesh-table/left/mesh=Left/Left.im",
        "mesh-table/left/auto-create=1", kEra, kClass, kRegion, "vandru-build=2.9"}},
      {"an interior's camera becomes a camera list",
       "kind \"interior\"\ncamera 1,2,3\n",
       {"kind=interior", "cameralist/camera0=1,2,3,0,0", "cameradefault=0", kEra, kClass, kRegion,
        "vandru-build=2.9"}},
      {"an interior's attachments move into its mesh table",
       "kind \"interior\"\nasset-filename \"i\"\nattachment\n{\n  a\n  {\n    att \"a.x\"\n  }\n}\n"
       "mesh \"m.im\"\n",
       {"kind=interior", "username=i", "mesh-table/a/att=a.x", "mesh-table/a/att-parent=default",
        "mesh-table/default/mesh=m.im", "mesh-table/default/auto-create=1", "cameradefault=0", kEra,
        kClass, kRegion, "vandru-build=2.9"}},
      {"a scenery's night mesh and animation",
       "kind \"scenery\"\nasset-filename \"s\"\nauto-animation 1\nnight \"n\"\n",
       {"kind=scenery", "username=s", "mesh-table/default/auto-create=1",
        "mesh-table/default/mesh=s.im", "mesh-table/default/anim=anim.kin",
        "mesh-table/default/animation-loop-speed=1", "mesh-table/night/mesh=n/n.im",
        "mesh-table/night/night-mesh-base=default", kEra, kClass, kRegion, "vandru-build=2.9"}},
      {"sound entries without value are numbered",
       "kind \"scenery\"\nsoundscript\n{\n  a\n  {\n    sound\n    {\n      x.wav\n      "
       "y \"z.wav\"\n    }\n  }\n}\n",
       {"kind=scenery", "soundscript/a/sound/0=x.wav", "soundscript/a/sound/y=z.wav", kEra, kClass,
        kRegion, "vandru-build=2.9"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Upgraded(c.config), c.expected) << c.what;
}

// Attached tracks come from the points of the meshes: a crossing's road 0
// has both ends and its track 0 only one, so only road0 is made; a
// turntable's "o" points are in its first mesh, its "i" points in its
// second.
TEST_F(UpgradeTest, AttachedTracksFollowTheMeshPoints) {
  const std::pair<const char*, const char*> meshes[] = {
      {"x/x.im", "attachments=a.road0a,a.road0b,a.track0a"},
      {"o/o.im", "attachments=a.otrack0a,a.otrack0b"},
      {"i/i.im", "attachments=a.itrack0a,a.itrack0b,a.itrack1a"},
  };
  for (const auto& [name, keys] : meshes) {
    Put(std::string("asset/") + name, "");
    std::istringstream words(keys);
    ASSERT_TRUE(tetfixture::WriteIndexedMesh(At(std::string("asset/") + name), words));
  }
  EXPECT_EQ(
      Upgraded("kind \"mocrossing\"\nasset-filename \"c\"\nmode0 \"x\"\nroad <kuid:1:5>\n"
               "track <kuid:1:6>\n"),
      (Lines_{"kind=mocrossing", "username=c", "mesh-table/default/mesh=x/x.im",
              "mesh-table/default/auto-create=1", "mesh-table/default/anim=anim.kin",
              "attached-track/road0/vertices/0=a.road0a",
              "attached-track/road0/vertices/1=a.road0b", "attached-track/road0/track=<kuid:1:5>",
              "attached-track/road0/useadjoiningtracktype=1", kEra, kClass, kRegion,
              "vandru-build=2.9"}));
  EXPECT_EQ(
      Upgraded("kind \"turntable\"\nasset-filename \"t\"\nmode0 \"o\"\nmode1 \"i\"\n"
               "track <kuid:1:7>\n"),
      (Lines_{
          "kind=turntable", "username=t", "mesh-table/default/mesh=o/o.im",
          "mesh-table/default/auto-create=1", "mesh-table/turntable/mesh=i/i.im",
          "attached-track/tracko0/vertices/0=a.otrack0a",
          "attached-track/tracko0/vertices/1=a.otrack0b", "attached-track/tracko0/track=<kuid:1:7>",
          "attached-track/tracko0/useadjoiningtracktype=0",
          "attached-track/tracki0/vertices/0=a.itrack0a",
          "attached-track/tracki0/vertices/1=a.itrack0b", "attached-track/tracki0/track=<kuid:1:7>",
          "attached-track/tracki0/useadjoiningtracktype=0", kEra, kClass, kRegion,
          "vandru-build=2.9"}));
  EXPECT_EQ(TETLib::MeshData::LiveCount(), 0);
  EXPECT_TRUE(Lines().empty());
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
