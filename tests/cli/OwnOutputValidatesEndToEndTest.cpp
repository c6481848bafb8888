// What the tool itself writes validates clean end to end, through the
// daemon and the command host of an installed tree: the sample asset after
// each way it can come back (archive, "fcyparse", edit and commit), a
// consist made by "importconsists", old assets after the upgrade rewrites
// them, and one asset of every kind the definitions define.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "foundation/soup/Soup.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/TextureTestSupport.h"
#include "tests/tetlib/MeshFiles.h"

namespace {

namespace fs = std::filesystem;

using Files = std::vector<std::pair<std::string, std::string>>;

constexpr const char* kSample = "<kuid:0:100>";
constexpr const char* kClean = "OK (0 Errors, 0 Warnings)";

class OwnOutputValidatesEndToEnd : public ToolFixture {
 protected:
  // A new folder holding `config` as "config.txt" and the files given.
  static std::string AssetFolder(const std::string& config, const Files& files = {}) {
    const std::string folder = MakeTempFolder() + "/asset";
    fs::create_directories(folder);
    EXPECT_TRUE(WriteFile(folder + "/config.txt", config));
    for (const auto& [name, bytes] : files) EXPECT_TRUE(WriteFile(folder + "/" + name, bytes));
    return folder;
  }

  static void Install(const std::string& folder) {
    const ToolResult r = Run({"installfrompath", folder});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    ASSERT_EQ(r.out.find("\n- "), std::string::npos) << r.out;
  }

  // The finding lines ("- " errors, "! " warnings) of a command's output.
  static std::string Findings(const std::string& out) {
    std::string findings;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("- ", 0) == 0 || line.rfind("! ", 0) == 0) findings += line + "\n";
    }
    return findings;
  }

  // Validates `kuid`, which must report nothing.
  static void ExpectValidatesClean(const std::string& kuid, const std::string& when) {
    SCOPED_TRACE(when);
    const ToolResult r = Run({"validate", kuid});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Findings(r.out), "");
    EXPECT_NE(r.out.find(kClean), std::string::npos) << r.out << r.err;
  }
};

TEST_F(OwnOutputValidatesEndToEnd, SampleAssetStaysCleanThroughArchivesFcyparseAndEdits) {
  Install(std::string(VU_SOURCE_DIR) + "/samples/sample-asset");
  ExpectValidatesClean(kSample, "installed from its folder");

  const std::string archive = MakeTempFolder() + "/crate.cdp";
  ASSERT_EQ(Run({"createcdp", archive, kSample}).status, 0);
  ASSERT_EQ(Run({"delete", kSample}).status, 0);
  // "fcyparse" installs the archive, validates what it installed and
  // commits it.
  const ToolResult parsed = Run({"fcyparse", archive});
  EXPECT_EQ(parsed.status, 0) << parsed.err;
  EXPECT_EQ(Findings(parsed.out), "");
  EXPECT_NE(parsed.out.find(kClean), std::string::npos) << parsed.out;
  ExpectValidatesClean(kSample, "installed by fcyparse");

  ASSERT_EQ(Run({"delete", kSample}).status, 0);
  ASSERT_EQ(Run({"installcdp", archive}).status, 0);
  ExpectValidatesClean(kSample, "installed from the archive");

  ASSERT_EQ(Run({"edit", kSample}).status, 0);
  const ToolResult committed = Run({"commit", kSample});
  ASSERT_EQ(committed.status, 0) << committed.out << committed.err;
  ExpectValidatesClean(kSample, "edited and committed");
}

// Validation goes on to the script step of an asset installed from an
// archive: its broken script is reported, not a definition.
TEST_F(OwnOutputValidatesEndToEnd, ScriptOfAnAssetInstalledFromAnArchiveIsCompiled) {
  const char* kuid = "<kuid:100:30>";
  ASSERT_EQ(InstallScenery(kuid, "script \"main.gs\"\nclass \"Crate\"\n",
                           {{"main.gs",
                             "include \"gs.gs\"\nclass Crate isclass GameObject {\n"
                             "  void x( \n};\n"}})
                .status,
            0);
  const std::string archive = MakeTempFolder() + "/scripted.cdp";
  ASSERT_EQ(Run({"createcdp", archive, kuid}).status, 0);
  ASSERT_EQ(Run({"delete", kuid}).status, 0);
  ASSERT_EQ(Run({"installcdp", archive}).status, 0);
  const ToolResult r = Run({"validate", kuid});
  EXPECT_NE(r.out.find("Syntax error in script of asset"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("is not defined"), std::string::npos) << r.out;
}

TEST_F(OwnOutputValidatesEndToEnd, ConsistMadeByImportConsistsValidatesClean) {
  const std::string list = MakeTempFolder() + "/Trains.txt";
  ASSERT_TRUE(WriteFile(list,
                        "train-0\n{\n  name \"Clean Consist\"\n  list\n  {\n"
                        "    car-0 <kuid:900:2>\n    num-0 7\n    dir-0 1\n"
                        "    car-1 <kuid:900:1>\n  }\n}\n"));
  ASSERT_EQ(Run({"importconsists", list}).status, 0);
  const ToolResult found = Run({"searchbycategory", "CN"});
  const size_t at = found.out.find(" : <kuid");
  ASSERT_NE(at, std::string::npos) << found.out;
  const std::string kuid = found.out.substr(at + 3, found.out.find('>', at) - at - 2);
  EXPECT_NE(Run({"printconfig", kuid}).out.find("kuid                                    " + kuid),
            std::string::npos)
      << "the consist names its own KUID";
  ExpectValidatesClean(kuid, "imported");
}

// Old configurations that were clean in their own build: their old tags,
// numbered categories, class codes and names come out of the upgrade in
// forms the definitions accept.
TEST_F(OwnOutputValidatesEndToEnd, OldAssetsValidateCleanAfterTheUpgradeRewritesThem) {
  Install(AssetFolder(
      "kuid <kuid:100:700>\nname \"Old crate\"\nkind \"scenery\"\n"
      "vandru-build 2.7\nasset-filename \"crate\"\ncategory-class \"BH\"\n"
      "category-region-0 \"de\"\ncategory-era-0 \"1950\"\n"
      "icon-texture \"thumb.jpg\"\nauteur \"A. Builder\"\n"
      "organization \"Old Works\"\nrgb \"10,20,30\"\n"
      "description \"An old crate\"\n"
      "soundscript\n{\n  creak\n  {\n    sound\n    {\n      creak.wav\n"
      "    }\n  }\n}\n",
      {{"crate.im", tetfixture::MeshBytes()}, {"thumb.jpg", "picture"}, {"creak.wav", "sound"}}));
  Install(AssetFolder(
      "kuid <kuid:100:701>\nusername \"Old loco\"\nkind \"traincar\"\nvandru-build 2.8\n"
      "category-class \"AS\"\ncategory-region \"EU\"\nbogey <kuid:100:702>\n"
      "bogey-r <kuid:100:703>\nengine 1\nenginespec <kuid:100:704>\n"
      "enginesound <kuid:100:705>\n"
      "smoke0\n{\n  rate 1\n  lifetime 2\n  velocity 3\n  minsize 0.5\n  maxsize 1\n}\n"));
  ExpectValidatesClean("<kuid:100:700>", "an old scenery");
  ExpectValidatesClean("<kuid:100:701>", "an old traincar");
}

// An old scripted asset names its class only with "classlibrary": the
// script step takes it, as the upgrade does.
TEST_F(OwnOutputValidatesEndToEnd, OldAssetNamingItsClassByClasslibraryValidatesClean) {
  Install(
      AssetFolder("kuid <kuid:100:706>\nusername \"Scripted crate\"\nkind \"scenery\"\n"
                  "vandru-build 2.8\ncategory-class \"BH\"\nscript \"main\"\n"
                  "classlibrary \"MyScenery\"\n",
                  {{"main.gs", "include \"gs.gs\"\nclass MyScenery isclass GameObject {\n};\n"}}));
  ExpectValidatesClean("<kuid:100:706>", "classlibrary");
}

// One asset of every kind that the installed definitions define, checked in
// one batch. A kind that validation refines from another is made as the
// asset that is checked as it; kinds with compulsory content get it.
TEST_F(OwnOutputValidatesEndToEnd, OneAssetOfEveryDefinedKindValidatesClean) {
  struct Recipe {
    Recipe(std::string k, std::string e, std::string b = "3.4", Files f = {})
        : kind(std::move(k)), extra(std::move(e)), build(std::move(b)), files(std::move(f)) {}
    std::string kind, extra, build;
    Files files;
  };
  const std::string mesh = tetfixture::MeshBytes();
  const std::map<std::string, Recipe> recipes = {
      {"scenery-trackside", {"scenery", "trackside 1\n"}},
      {"bridge", {"bridge", "height -1\n"}},
      {"double-track", {"bridge", "height 0\n"}},
      {"tunnel", {"bridge", "height 5\n"}},
      {"chunky-track", {"track", "chunky_mesh \"c.im\"\n", "2.8", {{"c.im", mesh}}}},
      {"mesh-reducing-track", {"track", "unit_mesh \"u.im\"\n", "2.8", {{"u.im", mesh}}}},
      {"obsolete-track", {"track", "", "2.8"}},
      {"interior", {"interior", "cameradefault 0\n"}},
      {"map", {"map", "sound\n{\n}\n"}},
      {"texture",
       {"texture", "texture \"t.texture\"\n", "3.4", {{"t.texture.txt", "Primary=t.png\r\n"}}}},
      {"groundtexture",
       {"groundtexture",
        "texture \"g.texture\"\n",
        "3.4",
        {{"g.texture.txt", "Primary=g.png\r\n"}}}},
  };
  // The texture kinds' pictures, which their sources name.
  const std::map<std::string, std::string> pictures = {{"texture", "t.png"},
                                                       {"groundtexture", "g.png"}};

  Soup kinds;
  ASSERT_TRUE(Soup::LoadFromFile(Kiv::PString(), BinPath() + "/TETData/kind.txt", kinds, true));
  std::string installs, validations;
  std::map<std::string, std::string> kindOf;  // KUID -> kind
  for (uint32_t i = 0; i < kinds.CountTags(); ++i) {
    const std::string name = kinds.GetIndexedTagName(i).Str();
    if (kinds.GetIndexedSoup(i).GetNamedTagAsInt(Kiv::PString("top-level"), 0) == 0) continue;
    const auto found = recipes.find(name);
    const Recipe recipe = found == recipes.end() ? Recipe(name, "") : found->second;
    const std::string kuid = "<kuid:100:" + std::to_string(800 + i) + ">";
    kindOf[kuid] = name;
    const std::string folder =
        AssetFolder("kuid " + kuid + "\nusername \"One " + name + "\"\nkind \"" + recipe.kind +
                        "\"\nvandru-build " + recipe.build + "\n" + recipe.extra,
                    recipe.files);
    if (const auto picture = pictures.find(name); picture != pictures.end()) {
      ASSERT_TRUE(texturetest::WritePicture(folder + "/" + picture->second, 64, 64,
                                            texturetest::SmoothPicture(64, 64, false)));
    }
    installs += "\"installfrompath\" \"" + folder + "\"\n";
    validations += "\"validate\" \"" + kuid + "\"\n";
  }
  ASSERT_GT(kindOf.size(), 35u);
  const std::string batch = MakeTempFolder() + "/kinds.txt";
  ASSERT_TRUE(WriteFile(batch, installs + validations));
  const ToolResult r = Run({"@" + batch});
  EXPECT_EQ(r.status, 0) << r.err;
  std::string refused;
  std::istringstream findings(Findings(r.out));
  for (std::string line; std::getline(findings, line);) {
    const size_t from = line.find("<kuid:");
    const size_t to = line.find('>', from);
    const std::string key = to == std::string::npos ? "" : line.substr(from, to - from + 1);
    refused += "\n  " + (kindOf.count(key) ? kindOf[key] : std::string("?")) + ": " + line;
  }
  EXPECT_EQ(refused, "");
  size_t clean = 0;
  for (size_t at = r.out.find(kClean); at != std::string::npos; at = r.out.find(kClean, at + 1))
    ++clean;
  EXPECT_EQ(clean, 2 * kindOf.size()) << r.out;
}

}  // namespace
