// Hand-offs between commands end to end: what one command leaves (an
// install, a delete, a repair, an edit copy, a commit) is what the next one
// reads back and judges, through the built tool and the daemon of the
// fixture's root.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/TextureTestSupport.h"

namespace {

namespace fs = std::filesystem;

const std::string kOk = "OK (0 Errors, 0 Warnings)\n";

std::string Config(const std::string& kuid, const std::string& name,
                   const std::string& extra = "") {
  return "kuid " + kuid + "\nusername \"" + name + "\"\nkind \"traincar\"\ncategory \"TC\"\n" +
         extra;
}

class RoundTripEndToEnd : public ToolFixture {
 protected:
  // An asset folder below a fresh scratch folder: its config.txt and files.
  static std::string Folder(const std::string& config,
                            const std::vector<std::pair<std::string, std::string>>& files = {}) {
    const std::string folder = MakeTempFolder() + "/asset";
    fs::create_directories(folder);
    EXPECT_TRUE(WriteFile(folder + "/config.txt", config));
    for (const auto& [name, text] : files) EXPECT_TRUE(WriteFile(folder + "/" + name, text));
    return folder;
  }

  static std::vector<uint8_t> Pixels() { return texturetest::SmoothPicture(64, 64, false); }

  // A texture asset of `kind` whose "texture" tag is `value`, with the
  // texture source `source` naming the 64 by 64 picture `picture` (its
  // case changed, as content may write it).
  static std::string TextureFolder(const std::string& kuid, const std::string& kind,
                                   const std::string& value, const std::string& source,
                                   const std::string& picture) {
    std::string named = picture;
    for (char& c : named) c = char(std::toupper(static_cast<unsigned char>(c)));
    const std::string folder = Folder("kuid " + kuid + "\nusername \"Texture\"\nkind \"" + kind +
                                          "\"\nvandru-build 3.4\ntexture \"" + value + "\"\n",
                                      {{source, "Primary=" + named + "\r\n"}});
    EXPECT_TRUE(texturetest::WritePicture(folder + "/" + picture, 64, 64, Pixels()));
    return folder;
  }

  // Runs the tool; the command must succeed.
  static ToolResult Succeed(const std::vector<std::string>& args) {
    const ToolResult r = Run(args);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return r;
  }

  static void Install(const std::string& folder) {
    const ToolResult r = Succeed({"installfrompath", folder});
    EXPECT_NE(r.out.find(" : Installed "), std::string::npos) << r.out;
  }

  // The status letters of an asset ("eIadlmf"); the whole output when the
  // line is not there.
  static std::string Flags(const std::string& kuid) {
    const ToolResult r = Run({"status", kuid});
    const std::string head = "+ " + kuid + " : ";
    if (r.out.rfind(head, 0) != 0) return r.out;
    return r.out.substr(head.size(), r.out.find(" : ", head.size()) - head.size());
  }

  // Opens the asset for edit; its edit folder.
  static std::string Edit(const std::string& kuid) {
    const ToolResult r = Succeed({"edit", kuid});
    const std::string head = "+ " + kuid + " : ";
    EXPECT_EQ(r.out.rfind(head, 0), 0u) << r.out;
    return r.out.substr(head.size(), r.out.find('\n') - head.size());
  }

  // The file names of a folder, sorted.
  static std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // The file `name` of the installed copy in the folder `keyword` (a
  // replaced copy goes to that name with "~" appended, and back).
  static std::string InstalledFile(const std::string& keyword, const std::string& name) {
    const std::string folder = UserDataPath() + "/local/" + keyword;
    return fs::exists(folder) ? folder + "/" + name : folder + "~/" + name;
  }
};

// The mark says whether a dependency is missing now: a delete sets it, a
// repair reports it, and installing the dependency again clears it.
TEST_F(RoundTripEndToEnd, MissingDependencyMarkFollowsDeleteRepairAndReinstall) {
  const std::string rail = "<kuid:30501:100>";
  const std::string wagon = "<kuid:30501:101>";
  const std::string railFolder = Folder(Config(rail, "Rail"));
  Install(railFolder);
  Install(Folder(Config(wagon, "Wagon", "alias " + rail + "\n")));
  EXPECT_EQ(Flags(wagon), "eIadlmf");

  Succeed({"delete", rail});
  EXPECT_EQ(Flags(wagon), "eIadlMf");
  const ToolResult repair = Run({"repairdatabase"});
  EXPECT_NE(repair.out.find("Missing dependencies: " + rail), std::string::npos) << repair.out;
  EXPECT_EQ(Flags(wagon), "eIadlMf");

  Install(railFolder);
  EXPECT_EQ(Flags(wagon), "eIadlmf");
  Succeed({"delete", rail});
  EXPECT_EQ(Flags(wagon), "eIadlMf");
}

// A KUID without a version is met by any installed version, as request 0x1A
// resolves it, in the status line and in a repair.
TEST_F(RoundTripEndToEnd, DependencyWithoutAVersionIsMetByAnInstalledVersion) {
  const std::string wagon = "<kuid:30502:501>";
  Install(Folder(Config("<kuid2:30502:500:1>", "Rail One")));
  Install(Folder(Config("<kuid2:30502:500:2>", "Rail Two")));
  Install(Folder(Config(wagon, "Wagon", "alias <kuid:30502:500>\n")));
  EXPECT_EQ(Flags(wagon), "eIadlmf");
  const ToolResult repair = Succeed({"repairdatabase"});
  EXPECT_NE(repair.out.find("0 with missing dependencies"), std::string::npos) << repair.out;
  EXPECT_EQ(Flags(wagon), "eIadlmf");
}

// An asset installed from an archive is stored with a binary configuration;
// its edit copy holds it as config.txt, and what the user writes there is
// what the commit installs. A commit that would ignore a config.txt fails.
TEST_F(RoundTripEndToEnd, HandEditOfAnArchiveInstalledAssetIsWhatCommitInstalls) {
  const std::string crate = "<kuid:30503:200>";
  Install(Folder(Config(crate, "Crate"), {{"body.txt", "the body\n"}}));
  const std::string archive = MakeTempFolder() + "/crate.cdp";
  Succeed({"createcdp", archive, crate});
  Succeed({"delete", crate});
  Succeed({"installcdp", archive});
  ASSERT_TRUE(fs::exists(InstalledFile("kuid 30503 200", "config.chump")));

  std::string folder = Edit(crate);
  EXPECT_EQ(Names(folder), (std::vector<std::string>{"body.txt", "config.txt"}));
  ASSERT_TRUE(WriteFile(folder + "/config.txt", Config(crate, "Hand Edited Crate")));
  ToolResult r = Succeed({"commit", crate});
  EXPECT_NE(r.out.find("The asset was committed."), std::string::npos) << r.out;
  EXPECT_NE(Run({"printconfig", crate}).out.find("\"Hand Edited Crate\""), std::string::npos);

  folder = Edit(crate);
  Soup binary;
  binary.Create();
  binary.SetNamedKUID(Kiv::PString("kuid"), ParseKUID(crate.c_str(), true));
  binary.SetNamedTag(Kiv::PString("username"), std::string_view("Binary Crate"));
  ASSERT_TRUE(Soup::SaveToFile(Kiv::PString(), folder + "/CONFIG.chump", binary));
  r = Run({"commit", crate});
  EXPECT_NE(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("config.txt would be ignored"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("The asset was committed."), std::string::npos) << r.out;
  r = Run({"printconfig", crate});
  EXPECT_NE(r.out.find("\"Hand Edited Crate\""), std::string::npos) << r.out;
  EXPECT_EQ(Flags(crate), "EIadLmf");
}

// Texture assets made from a PNG and a JPEG picture and their sources
// validate clean once installed: the install compiles their textures. A
// compiled texture whose record names its source and picture as they are
// is kept, through the install and a commit without change; a changed
// picture is compiled anew at the commit.
TEST_F(RoundTripEndToEnd, TextureAssetsValidateCleanAfterInstall) {
  const std::string gravel = "<kuid:30504:300>";
  const std::string gravelFolder =
      TextureFolder(gravel, "texture", "gravel.texture", "gravel.texture.txt", "gravel.png");
  const std::string sand = "<kuid:30504:301>";
  const std::string sandFolder =
      TextureFolder(sand, "groundtexture", "sand.texture.txt", "sand.texture.txt", "Sand.jpg");
  Install(gravelFolder);
  Install(sandFolder);
  for (const std::string& kuid : {gravel, sand}) {
    const ToolResult r = Run({"validate", kuid});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, kOk) << kuid;
  }
  texturetest::CompiledTexture compiled;
  EXPECT_EQ(texturetest::ReadCompiledTexture(InstalledFile("kuid 30504 300", "gravel.texture"),
                                             &compiled),
            "");

  const std::string marked = "<kuid:30504:302>";
  const std::string markedFolder =
      TextureFolder(marked, "texture", "marked.texture", "marked.texture.txt", "marked.png");
  // Compiled from its sources as they are (a level byte then changed by
  // hand, which only a conversion would undo).
  ASSERT_EQ(Run({"compresstexture", markedFolder}).status, 0);
  std::string upToDate = ReadFile(markedFolder + "/marked.texture");
  const size_t level = upToDate.find("texture sources 1") - 1;
  ASSERT_LT(level, upToDate.size());
  upToDate[level] = char(upToDate[level] ^ 0x5A);
  ASSERT_TRUE(WriteFile(markedFolder + "/marked.texture", upToDate));
  Install(markedFolder);
  EXPECT_EQ(ReadFile(InstalledFile("kuid 30504 302", "marked.texture")), upToDate);
  Edit(marked);
  Succeed({"commit", marked});
  EXPECT_EQ(ReadFile(InstalledFile("kuid 30504 302", "marked.texture")), upToDate);

  const std::string folder = Edit(marked);
  ASSERT_TRUE(texturetest::WritePicture(folder + "/marked.png", 64, 64,
                                        texturetest::SmoothPicture(64, 64, true)));
  Succeed({"commit", marked});
  EXPECT_EQ(texturetest::ReadCompiledTexture(InstalledFile("kuid 30504 302", "marked.texture"),
                                             &compiled),
            "");
  EXPECT_EQ(compiled.target, 12u) << "the picture's graded alpha";
}

// An archive carries no PNG picture, only the texture compiled from it: an
// edit copy of the asset installed from that archive is committed with its
// compiled texture, which no conversion can make again.
TEST_F(RoundTripEndToEnd, CommitOfAnArchiveInstalledTextureKeepsItsCompiledTexture) {
  const std::string pebbles = "<kuid:30504:303>";
  Install(
      TextureFolder(pebbles, "texture", "pebbles.texture", "pebbles.texture.txt", "pebbles.png"));
  const std::string archive = MakeTempFolder() + "/pebbles.cdp";
  Succeed({"createcdp", archive, pebbles});
  Succeed({"delete", pebbles});
  Succeed({"installcdp", archive});
  const std::string compiled = ReadFile(InstalledFile("kuid 30504 303", "pebbles.texture"));
  ASSERT_FALSE(compiled.empty());

  const std::string folder = Edit(pebbles);
  EXPECT_FALSE(fs::exists(folder + "/pebbles.png"));
  Succeed({"commit", pebbles});
  EXPECT_EQ(ReadFile(InstalledFile("kuid 30504 303", "pebbles.texture")), compiled);
}

// "validate" of an asset open for edit checks the edit copy, not the
// installed one; once the edit is reverted, the installed copy again.
TEST_F(RoundTripEndToEnd, ValidateOfAnAssetOpenForEditChecksItsEditCopy) {
  const std::string crate = "<kuid:30505:400>";
  const ToolResult installed = InstallScenery(crate, "", {});
  ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
  EXPECT_EQ(Run({"validate", crate}).out, kOk);

  const std::string folder = Edit(crate);
  ASSERT_TRUE(WriteFile(folder + "/config.txt",
                        ReadFile(folder + "/config.txt") + "undefined-crate-tag \"x\"\n"));
  ToolResult r = Run({"validate", crate});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("undefined-crate-tag"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(kOk), std::string::npos) << r.out;

  Succeed({"revert", crate});
  EXPECT_EQ(Run({"validate", crate}).out, kOk);
}

}  // namespace
