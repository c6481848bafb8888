// The compiled-script cache end to end: whatever was validated, changed,
// deleted or restarted before, "validate" of a scripted asset answers what
// a fresh root with an empty cache answers for the same files, in separate
// calls and in a batch.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/cli/ToolFixture.h"

namespace {

namespace fs = std::filesystem;

using Files = std::vector<std::pair<std::string, std::string>>;

struct Asset {
  std::string kuid;
  std::string extra;
  Files files;
};

const char kOk[] = "OK (0 Errors, 0 Warnings)\n";
const char kScripted[] = "script \"main.gs\"\nclass \"Crate\"\n";
// Crate's base and the function it calls come from helper.gs.
const char kMain[] =
    "include \"gs.gs\"\ninclude \"helper.gs\"\n"
    "class Crate isclass Base {\n  public int F() { return Value(); }\n};\n";
const char kHelper[] =
    "include \"gs.gs\"\nclass Base isclass GameObject {\n  public int Value() { return 1; }\n};\n";
const char kOtherHelper[] =
    "include \"gs.gs\"\nclass Base isclass GameObject {\n  public int Value() { return 2; }\n};\n";
const char kHelperWithoutValue[] = "include \"gs.gs\"\nclass Base isclass GameObject {\n};\n";
const char kVehicleHelper[] =
    "include \"gs.gs\"\nclass Base isclass Vehicle {\n  public int Value() { return 3; }\n};\n";
// An asset whose main.gs takes lib.gs from the asset of its include table.
const char kUserMain[] =
    "include \"gs.gs\"\ninclude \"lib.gs\"\n"
    "class Crate isclass GameObject {\n  public int F() { Lib l = new Lib(); return l.Value(); "
    "}\n};\n";
const char kLib[] = "class Lib {\n  public int Value() { return 1; }\n};\n";
const char kLibWithoutValue[] = "class Lib {\n  public int Other() { return 1; }\n};\n";

Asset Scripted(const std::string& kuid, const char* helper) {
  return {kuid, kScripted, {{"main.gs", kMain}, {"helper.gs", helper}}};
}

class ScriptCacheEndToEnd : public ToolFixture {
 protected:
  static void Install(const Asset& asset, const std::string& root = "") {
    const ToolResult r = InstallScenery(asset.kuid, asset.extra, asset.files, root);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }

  static std::string Validate(const std::string& kuid) {
    const ToolResult r = Run({"validate", kuid});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }

  // What a root of its own with an empty cache answers for `kuid` once
  // `assets` are installed there.
  static std::string Fresh(const std::vector<Asset>& assets, const std::string& kuid) {
    const std::string root = MakeRoot();
    for (const Asset& asset : assets) Install(asset, root);
    const ToolResult r = RunProgram(root + "/bin/VandruUtil", {"validate", kuid}, root + "/bin");
    EXPECT_TRUE(StopDaemonOf(root));
    EXPECT_NE(r.out, kOk) << "the fresh answer shows a finding";
    return r.out;
  }
};

// An included file that changes, another asset with the same main.gs and a
// restarted daemon: each answer is the fresh root's.
TEST_F(ScriptCacheEndToEnd, AnAssetIsAnsweredFromItsOwnSources) {
  const Asset good = Scripted("<kuid:168:1>", kHelper);
  const Asset changed = Scripted("<kuid:168:1>", kHelperWithoutValue);
  const Asset broken = Scripted("<kuid:168:2>", kHelperWithoutValue);
  const Asset other = Scripted("<kuid:168:3>", kOtherHelper);
  const Asset vehicle = Scripted("<kuid:168:4>", kVehicleHelper);

  Install(good);
  EXPECT_EQ(Validate(good.kuid), kOk);
  Install(changed);
  const std::string changedFresh = Fresh({changed}, changed.kuid);
  EXPECT_EQ(Validate(changed.kuid), changedFresh);
  StopDaemon();
  EXPECT_EQ(Validate(changed.kuid), changedFresh) << "after a restart";

  Install(good);
  Install(broken);
  EXPECT_EQ(Validate(good.kuid), kOk);
  EXPECT_EQ(Validate(broken.kuid), Fresh({broken}, broken.kuid));
  StopDaemon();
  Install(other);
  Install(vehicle);
  EXPECT_EQ(Validate(other.kuid), kOk) << "a new host, the cache filled by another asset";
  EXPECT_EQ(Validate(vehicle.kuid), Fresh({vehicle}, vehicle.kuid))
      << "a host that holds the library of another asset";
  EXPECT_EQ(Validate(good.kuid), kOk);
}

// A library that an asset takes through its include table changes (edited
// and committed), then goes.
TEST_F(ScriptCacheEndToEnd, AnIncludeTableLibraryThatChangesOrGoesIsNoticed) {
  const Asset library{"<kuid:168:10>", "", {{"lib.gs", kLib}}};
  const Asset changedLibrary{"<kuid:168:10>", "", {{"lib.gs", kLibWithoutValue}}};
  const Asset user{"<kuid:168:11>",
                   std::string(kScripted) + "script-include-table {\n  0 <kuid:168:10>\n}\n",
                   {{"main.gs", kUserMain}}};
  Install(library);
  Install(user);
  EXPECT_EQ(Validate(user.kuid), kOk);

  const ToolResult opened = Run({"edit", library.kuid});
  const std::string head = "+ " + library.kuid + " : ";
  ASSERT_EQ(opened.out.rfind(head, 0), 0u) << opened.out;
  const std::string folder = opened.out.substr(head.size(), opened.out.find('\n') - head.size());
  ASSERT_TRUE(WriteFile(folder + "/lib.gs", kLibWithoutValue));
  ASSERT_EQ(Run({"commit", library.kuid}).status, 0);
  EXPECT_EQ(Validate(user.kuid), Fresh({changedLibrary, user}, user.kuid));

  ASSERT_EQ(Run({"delete", library.kuid}).status, 0);
  const std::string withoutLibrary = Fresh({user}, user.kuid);
  EXPECT_NE(withoutLibrary.find("Could not read file"), std::string::npos) << withoutLibrary;
  EXPECT_EQ(Validate(user.kuid), withoutLibrary);
}

// The folder of the include-table asset also holds a file named like the
// user's main.gs: the user's library, read from the user's own folder, is
// taken from the cache when nothing changed, not compiled and written
// again (no file of the cache is rewritten).
TEST_F(ScriptCacheEndToEnd, ALibraryFolderWithTheUsersScriptNameLeavesTheCacheAsItWas) {
  const Asset library{"<kuid:168:30>", "", {{"lib.gs", kLib}, {"main.gs", "class Other {\n};\n"}}};
  const Asset user{"<kuid:168:31>",
                   std::string(kScripted) + "script-include-table {\n  0 <kuid:168:30>\n}\n",
                   {{"main.gs", kUserMain}}};
  Install(library);
  Install(user);
  ASSERT_EQ(Validate(user.kuid), kOk);

  const std::string cache = UserDataPath() + "/cache/libraries";
  const fs::file_time_type before = fs::file_time_type::clock::now() - std::chrono::hours(24);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(cache)) {
    fs::last_write_time(entry.path(), before);
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(Validate(user.kuid), kOk);
  for (const std::string& name : names)
    EXPECT_TRUE(fs::last_write_time(cache + "/" + name) == before) << name << " written again";
}

// Validations of a batch run side by side and fill the same cache entry;
// each line prints what it prints alone.
TEST_F(ScriptCacheEndToEnd, BatchedValidationsAnswerAsSeparateCalls) {
  const Asset good = Scripted("<kuid:168:20>", kHelper);
  const Asset broken = Scripted("<kuid:168:21>", kHelperWithoutValue);
  const std::string brokenFresh = Fresh({broken}, broken.kuid);
  const std::string folder = MakeTempFolder();
  std::string batch;
  for (const Asset* asset : {&good, &broken}) {
    const std::string work = folder + "/" + std::to_string(batch.size());
    fs::create_directories(work);
    ASSERT_TRUE(WriteFile(work + "/config.txt", "kuid " + asset->kuid +
                                                    "\nusername \"Crate\"\nkind \"scenery\"\n"
                                                    "vandru-build 3.4\ncategory-class \"BA\"\n" +
                                                    asset->extra));
    for (const auto& [name, text] : asset->files) ASSERT_TRUE(WriteFile(work + "/" + name, text));
    batch += "\"installfrompath\" \"" + work + "\"\n";
  }
  std::string expected = "+ " + good.kuid + " : Installed " + good.kuid + ".\n" + kOk + "\n+ " +
                         broken.kuid + " : Installed " + broken.kuid + ".\n" + kOk + "\n";
  for (int round = 0; round < 2; ++round) {
    for (const Asset* asset : {&broken, &good}) {
      batch += "\"validate\" \"" + asset->kuid + "\"\n";
      expected += (asset == &good ? std::string(kOk) : brokenFresh) + "\n";
    }
  }
  const std::string batchFile = folder + "/batch.txt";
  ASSERT_TRUE(WriteFile(batchFile, batch));
  const ToolResult r = Run({"@" + batchFile});
  EXPECT_EQ(r.out, expected) << r.err;
  EXPECT_EQ(Validate(broken.kuid), brokenFresh);
}

}  // namespace
