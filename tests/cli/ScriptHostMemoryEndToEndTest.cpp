// What a command host keeps from one job to the next never decides an
// answer: through installs, new versions, deletes and reinstalls of
// include-table libraries (chains too), edits and commits, validations of
// other assets, batches and closes, every "validate" answers what a fresh
// root holding the same assets answers.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/cli/ToolFixture.h"

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

struct Asset {
  std::string kuid;
  std::string extra;
  Files files;
};

const char kOk[] = "OK (0 Errors, 0 Warnings)\n";
const char kNoLib[] = "Could not read file (null) : lib.gs.";
const char kBroken[] = "function Value not declared in class Lib";
const char kUnlinked[] = "Unable to link compiled script class.";

std::string Class(const std::string& type, const std::string& function) {
  return "class " + type + " {\n  public int " + function + "() { return 1; }\n};\n";
}

// A scripted asset whose main.gs includes `file` and calls `call` on a new
// `type`, and whose include table names `library` (none when empty).
Asset User(const std::string& kuid, const std::string& library, const std::string& file,
           const std::string& type, const std::string& call) {
  return {kuid,
          "script \"main.gs\"\nclass \"Crate\"\n" +
              (library.empty() ? "" : "script-include-table {\n  0 " + library + "\n}\n"),
          {{"main.gs", "include \"gs.gs\"\ninclude \"" + file + "\"\n" +
                           "class Crate isclass GameObject {\n  public int F() { " + type +
                           " o = new " + type + "(); return o." + call + "(); }\n};\n"}}};
}

// A user of a helper class, with the helper at `at` when given.
Asset HelperUser(const std::string& kuid, const std::string& include, const std::string& at) {
  Asset user = User(kuid, "", include, "Helper", "Value");
  if (!at.empty()) user.files.emplace_back(at, "include \"gs.gs\"\n" + Class("Helper", "Value"));
  return user;
}

Asset Library(const std::string& kuid, const std::string& file, const std::string& text,
              const std::string& extra = "") {
  return {kuid, extra, {{file, text}}};
}

// Item 1: a library, its new versions and the asset that includes it.
const Asset kLib = Library("<kuid:175:10>", "lib.gs", Class("Lib", "Value"));
const Asset kLibV2Broken = Library("<kuid2:175:10:2>", "lib.gs", Class("Lib", "Other"));
const Asset kLibV2 = Library("<kuid2:175:10:2>", "lib.gs", Class("Lib", "Value"));
const Asset kUser = User("<kuid:175:11>", "<kuid:175:10>", "lib.gs", "Lib", "Value");
// Item 2: a chain user -> lib1 -> lib2.
const Asset kLib2 = Library("<kuid:175:20>", "lib2.gs", Class("Lib2", "Two"));
const Asset kLib2Broken = Library("<kuid:175:20>", "lib2.gs", Class("Lib2", "Three"));
const Asset kLib1 = Library("<kuid:175:21>", "lib1.gs",
                            "include \"lib2.gs\"\nclass Lib1 {\n  public int One() { Lib2 l = "
                            "new Lib2(); return l.Two(); }\n};\n",
                            "script-include-table {\n  0 <kuid:175:20>\n}\n");
const Asset kChainUser = User("<kuid:175:22>", "<kuid:175:21>", "lib1.gs", "Lib1", "One");
// Item 3: helpers that are no top-level files of their asset (one in a
// sub-folder, one in scripts/), and assets whose top-level helpers have
// the same texts.
const Asset kSubUser = HelperUser("<kuid:175:30>", "sub/helper.gs", "sub/helper.gs");
const Asset kScriptsUser = HelperUser("<kuid:175:31>", "shelper.gs", "");
const Asset kTopHelper = HelperUser("<kuid:175:32>", "helper.gs", "helper.gs");
const Asset kTopScriptsHelper = HelperUser("<kuid:175:33>", "shelper.gs", "shelper.gs");
// Item 4: a user and its library both name their primary script main.gs.
const Asset kMainLib{"<kuid:175:40>",
                     "script \"main.gs\"\nclass \"Other\"\n",
                     {{"main.gs", "include \"gs.gs\"\nclass Other isclass GameObject {\n};\n"},
                      {"lib4.gs", Class("Lib4", "Four")}}};
const Asset kMainUser = User("<kuid:175:41>", "<kuid:175:40>", "lib4.gs", "Lib4", "Four");

class ScriptHostMemoryEndToEnd : public ToolFixture {
 protected:
  // The assets installed now, in the order they came.
  std::vector<Asset> installed_;

  // Every root holds a helper in its scripts/ folder.
  static void AddScriptsHelper(const std::string& root) {
    ASSERT_TRUE(
        WriteFile(root + "/scripts/shelper.gs", "include \"gs.gs\"\n" + Class("Helper", "Value")));
  }

  void Install(const Asset& asset) {
    const ToolResult r = InstallScenery(asset.kuid, asset.extra, asset.files);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    Forget(asset.kuid);
    installed_.push_back(asset);
  }

  void Delete(const std::string& kuid) {
    const ToolResult r = Run({"delete", kuid});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    Forget(kuid);
  }

  void Forget(const std::string& kuid) {
    std::erase_if(installed_, [&](const Asset& a) { return a.kuid == kuid; });
  }

  // Opens the asset for edit, writes `text` to `file` and commits.
  void EditAndCommit(const Asset& asset, const std::string& file, const std::string& text) {
    const ToolResult opened = Run({"edit", asset.kuid});
    const std::string head = "+ " + asset.kuid + " : ";
    ASSERT_EQ(opened.out.rfind(head, 0), 0u) << opened.out;
    const std::string folder = opened.out.substr(head.size(), opened.out.find('\n') - head.size());
    ASSERT_TRUE(WriteFile(folder + "/" + file, text));
    ASSERT_EQ(Run({"commit", asset.kuid}).status, 0);
    Asset edited = asset;
    for (auto& [name, body] : edited.files)
      if (name == file) body = text;
    Forget(asset.kuid);
    installed_.push_back(edited);
  }

  static std::string Validate(const std::string& kuid) {
    const ToolResult r = Run({"validate", kuid});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }

  // What a root of its own, with the assets installed now, answers.
  std::string Fresh(const std::string& kuid) const {
    const std::string root = MakeRoot();
    AddScriptsHelper(root);
    for (const Asset& asset : installed_) {
      const ToolResult r = InstallScenery(asset.kuid, asset.extra, asset.files, root);
      EXPECT_EQ(r.status, 0) << r.out << r.err;
    }
    const ToolResult r = RunProgram(root + "/bin/VandruUtil", {"validate", kuid}, root + "/bin");
    EXPECT_TRUE(StopDaemonOf(root));
    return r.out;
  }
};

struct Step {
  const char* what;
  std::function<void()> change;
  std::string validated;
  // A part of the answer, known beside the fresh root's whole answer.
  std::string expected;
};

TEST_F(ScriptHostMemoryEndToEnd, EveryValidationAnswersAsAFreshRoot) {
  AddScriptsHelper(Root());
  const auto install = [this](const Asset& a) { return [this, a] { Install(a); }; };
  const auto remove = [this](const Asset& a) { return [this, a] { Delete(a.kuid); }; };
  const auto validate = [](const Asset& a) { return [a] { Validate(a.kuid); }; };
  const auto close = [] { return [] { StopDaemon(); }; };
  const auto edit = [this](const Asset& a, const std::string& file, const std::string& text) {
    return [this, a, file, text] { EditAndCommit(a, file, text); };
  };
  const std::vector<Step> steps = {
      {"a user before its library", install(kUser), kUser.kuid, kNoLib},
      {"its library installed", install(kLib), kUser.kuid, kOk},
      {"its library deleted", remove(kLib), kUser.kuid, kNoLib},
      {"its library installed again", install(kLib), kUser.kuid, kOk},
      {"a new version that breaks it", install(kLibV2Broken), kUser.kuid, kBroken},
      {"the new version mended", install(kLibV2), kUser.kuid, kOk},
      {"the old version deleted", remove(kLib), kUser.kuid, kOk},
      {"a chain of two tables",
       [&] {
         Install(kLib2);
         Install(kLib1);
         Install(kChainUser);
       },
       kChainUser.kuid, kOk},
      {"the chain's end reinstalled broken", install(kLib2Broken), kChainUser.kuid, kUnlinked},
      {"the chain's end reinstalled good", install(kLib2), kChainUser.kuid, kOk},
      {"the chain's end edited broken", edit(kLib2, "lib2.gs", Class("Lib2", "Three")),
       kChainUser.kuid, kUnlinked},
      {"the chain after a close", close(), kChainUser.kuid, kUnlinked},
      {"a helper in a sub-folder", install(kSubUser), kSubUser.kuid, kUnlinked},
      {"after another asset's top-level helper",
       [&] {
         Install(kTopHelper);
         Validate(kTopHelper.kuid);
       },
       kSubUser.kuid, kUnlinked},
      {"after that asset is deleted", remove(kTopHelper), kSubUser.kuid, kUnlinked},
      {"a helper in scripts/", install(kScriptsUser), kScriptsUser.kuid, kUnlinked},
      {"after another asset's top-level helper",
       [&] {
         Install(kTopScriptsHelper);
         Validate(kTopScriptsHelper.kuid);
       },
       kScriptsUser.kuid, kUnlinked},
      {"user and library both with main.gs",
       [&] {
         Install(kMainLib);
         Install(kMainUser);
       },
       kMainUser.kuid, kOk},
      {"after the library itself", validate(kMainLib), kMainUser.kuid, kOk},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    const std::string answer = Validate(step.validated);
    EXPECT_EQ(answer, Fresh(step.validated));
    EXPECT_NE(answer.find(step.expected), std::string::npos) << answer;
  }

  // A batch: the top-level helper validated first, then its look-alike.
  Install(kTopHelper);
  const std::string batch = MakeTempFolder() + "/batch.txt";
  ASSERT_TRUE(WriteFile(
      batch, "\"validate\" \"" + kTopHelper.kuid + "\"\n\"validate\" \"" + kSubUser.kuid + "\"\n"));
  EXPECT_EQ(Run({"@" + batch}).out, std::string(kOk) + "\n" + Fresh(kSubUser.kuid) + "\n");
}

}  // namespace
