// Scripts of scripts/ run by the script test host in the script context
// (gsrun --context vandru) against a daemon of their own, which holds
// A = <kuid:1:100> and B = <kuid2:1:100:2> (so A resolves to B), B's
// second KUID being A and its author "alice" (its kuid-table also names
// <kuid:-16777217:5> as text, which a KUID tag would wrap into the
// installed <kuid2:16777215:5:127> "Wrapped"), and three library assets of
// the script libraries/echolib.gs (class EchoLib): <kuid:1:300> "Echo
// Library" with the echo plug-in, <kuid:1:301> "Quiet Library" without a
// plug-in, <kuid:1:302> "Stray Library" naming the plug-in "../echo" (the
// root's bin/echo.so, which must not load). The root's scripts/ holds the
// standard script sources and test.gs, for the compiles of asset scripts
// and of objects' own script texts.
//
// Each script states what must hold, one directive a line:
//   // expect: TEXT                standard output, line by line, in order
//   // expect stderr: TEXT         a line of standard error holds TEXT (in order)
//   // expect request: LINE        the daemon's request record has LINE
//   // expect request count: CODE N  the record has N requests of CODE
//   // expect runtime error: TEXT  a line of standard error holds TEXT (in
//                                  order), and the run ends with status 1
// Without a runtime error the run must end with status 0. Every daemon is stopped when the test
// ends, whatever happened.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/DaemonProcesses.h"
#include "tests/support/InstallRoot.h"
#include "tests/scriptcontext/ProgramRun.h"
#include "tests/scriptcontext/TestAssetStore.h"
#include "vaddaemon/AssetStore.h"

namespace {

namespace fs = std::filesystem;

const KUID kAssetA{1, 100, 0};
const KUID kAssetB{1, 100, 2};

const char* const kConfigA = R"(kuid <kuid:1:100>
kind "traincar"
username "Old Loco"
category "TR;TV;LOC;ELEC"
vandru-build 3.4
)";

const char* const kConfigB = R"(kuid <kuid2:1:100:2>
kind "traincar"
username "Bee Loco"
category "TR;TV;LOC;ELEC"
category-era "1950s"
category-region "Europe"
vandru-build 3.5
description "A blue locomotive"
info-url "http://example.invalid/bee"
kuid-table
{
  old <kuid:1:100>
  self <kuid2:1:100:2>
  far <kuid:-16777217:5>
}
rule-data
{
  timetable
  {
    stops 3
  }
  plain "value"
}
)";

// The asset that a KUID tag would wrap B's "far" into.
const char* const kConfigWrapped =
    "kuid <kuid2:16777215:5:127>\nkind \"bogey\"\nusername \"Wrapped\"\n";

const char* const kLibraryConfigs[][2] = {
    {"echo", "kuid <kuid:1:300>\nkind \"library\"\nusername \"Echo Library\"\n"
             "script \"echolib\"\nclass \"EchoLib\"\nnative-plugin \"echo\"\n"},
    {"quiet", "kuid <kuid:1:301>\nkind \"library\"\nusername \"Quiet Library\"\n"
              "script \"echolib\"\nclass \"EchoLib\"\n"},
    {"stray", "kuid <kuid:1:302>\nkind \"library\"\nusername \"Stray Library\"\n"
              "script \"echolib\"\nclass \"EchoLib\"\nnative-plugin \"../echo\"\n"},
};

using scripttest::Finish;
using scripttest::Lines;
using scripttest::ReadFile;
using scripttest::RunProgram;
using scripttest::RunResult;
using scripttest::Started;
using scripttest::StartProgram;

// Copies every file of `from` (with `extension`) into `to`.
void CopyFiles(const fs::path& from, const std::string& extension, const fs::path& to,
               std::error_code& error) {
  fs::create_directories(to, error);
  for (const auto& entry : fs::directory_iterator(from))
    if (entry.path().extension() == extension)
      fs::copy_file(entry.path(), to / entry.path().filename(), error);
}

class ScriptRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.Made());
    ASSERT_FALSE(root_.PlaceProgram(VADDAEMON_EXE).empty());
    std::error_code error;
    CopyFiles(VU_SCRIPT_LIBRARIES_DIR, ".gsl", Libraries(), error);
    CopyFiles(fs::path(VU_SOURCE_DIR) / "gsnative/libraries", ".gs", Root() / "scripts", error);
    fs::copy_file(fs::path(VU_SOURCE_DIR) / "tests/gsruntime/include/test.gs",
                  Root() / "scripts/test.gs", error);
    fs::create_directories(Root() / "bin/plugins", error);
    const fs::path plugin = fs::path(VU_ECHO_PLUGIN_DIR) / "echo.so";
    fs::copy_file(plugin, Root() / "bin/plugins/echo.so", error);
    fs::copy_file(plugin, Root() / "bin/echo.so", error);
    ASSERT_FALSE(error) << error.message();
    StoreAssets();
  }

  fs::path Root() const { return root_.Path(); }
  fs::path Libraries() const { return Root() / "libraries"; }

  void StoreAssets() {
    AssetStore store(StoreOptions(root_));
    ASSERT_EQ(store.Open().code, StoreCode::kOk);
    InstallTestAssets(store, root_, {kConfigA, kConfigB, kConfigWrapped});
    StoredAsset b;
    ASSERT_TRUE(store.Find(kAssetB, &b));
    b.kuid2 = kAssetA;
    ASSERT_EQ(store.PutMetadata(b).code, StoreCode::kOk);
    ASSERT_EQ(store.SetUser(1, "alice").code, StoreCode::kOk);
    const std::string script =
        ReadFile(fs::path(VU_SOURCE_DIR) / "tests/scriptcontext/libraries/echolib.gs");
    for (const auto& [name, config] : kLibraryConfigs)
      InstallTestAssetFolder(store, root_, name, config, {{"echolib.gs", script}});
  }

  // Runs Main's `signature` of the compiled script `library` with `args`.
  std::vector<std::string> GsrunArguments(const fs::path& work, const std::string& library,
                                          const std::string& signature,
                                          const std::vector<std::string>& args = {}) const {
    std::vector<std::string> argv = {GSRUN_EXE, "--root", Root().string(), "--context", "vandru",
                                     "--libs", work.string(), (work / library).string() + ".gsl",
                                     "Main", signature};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }

  // Compiles test.gs, testobjects.gs and the script into `work`; false with a failure when
  // either does not compile.
  bool Compile(const fs::path& script, const fs::path& work) {
    const std::string include = std::string(VU_SOURCE_DIR) + "/tests/gsruntime/include";
    const std::string sources = std::string(VU_SOURCE_DIR) + "/gsnative/libraries";
    for (const std::string& source :
         {include + "/test.gs", include + "/testobjects.gs", script.string()}) {
      const RunResult run = RunProgram(
          {GSBUILDLIB_EXE, "-o", work.string(), "-i", include, "-i", sources, source}, work);
      if (run.status == 0) continue;
      ADD_FAILURE() << source << " does not compile:\n" << run.out << run.err;
      return false;
    }
    return true;
  }

  VUTest::InstallRoot root_{"VandruScript"};
  VUTest::DaemonProcesses daemons_{root_};
};

class VandruScriptTest : public ScriptRootTest, public ::testing::WithParamInterface<const char*> {};

// Checks `wanted` against `lines` in order, each contained (or equal) in a
// later line than the one before.
void ExpectInOrder(const std::vector<std::string>& wanted, const std::vector<std::string>& lines,
                   bool whole, const std::string& what) {
  size_t at = 0;
  for (const std::string& text : wanted) {
    while (at < lines.size() &&
           (whole ? lines[at] != text : lines[at].find(text) == std::string::npos))
      ++at;
    EXPECT_LT(at, lines.size()) << "no " << what << " line '" << text << "' (in order)";
    if (at < lines.size()) ++at;
  }
}

TEST_P(VandruScriptTest, RunsAsItsExpectationsSay) {
  const fs::path script = fs::path(VU_SOURCE_DIR) / "tests/scriptcontext/scripts" / GetParam();
  const fs::path work = Root() / "work";
  fs::create_directories(work);
  ASSERT_TRUE(Compile(script, work));
  const std::string requests = (Root() / "requests.log").string();
  const pid_t daemon =
      daemons_.Start(Root() / "bin/vaddaemon", {"VADDAEMON_REQUEST_LOG=" + requests});
  ASSERT_NE(daemon, 0) << daemons_.Output(0);
  const RunResult run =
      RunProgram(GsrunArguments(work, script.stem().string(), "$void@Main::Run()"), work);
  EXPECT_TRUE(daemons_.Stop(daemon));
  const std::string report = "--- stdout\n" + run.out + "--- stderr\n" + run.err;

  std::string expected;
  std::vector<std::string> notes;
  std::vector<std::string> errors;
  std::vector<std::string> wantedRequests;
  const std::vector<std::string> log = Lines(ReadFile(requests));
  for (const std::string& line : Lines(ReadFile(script))) {
    if (line.starts_with("// expect: ")) expected += line.substr(11) + "\n";
    if (line.starts_with("// expect stderr: ")) notes.push_back(line.substr(18));
    if (line.starts_with("// expect runtime error: ")) errors.push_back(line.substr(25));
    if (line.starts_with("// expect request: ")) wantedRequests.push_back(line.substr(19));
    if (!line.starts_with("// expect request count: ")) continue;
    std::istringstream fields(line.substr(25));
    std::string code;
    size_t count = 0;
    fields >> code >> count;
    const size_t seen = std::count_if(log.begin(), log.end(), [&](const std::string& request) {
      return request == code || request.starts_with(code + " ");
    });
    EXPECT_EQ(seen, count) << "requests " << code << "\n" << ReadFile(requests);
  }
  EXPECT_EQ(run.status, errors.empty() ? 0 : 1) << report;
  EXPECT_EQ(run.out, expected) << report;
  ExpectInOrder(notes, Lines(run.err), false, "standard error");
  ExpectInOrder(errors, Lines(run.err), false, "standard error");
  ExpectInOrder(wantedRequests, log, true, "request");
}

INSTANTIATE_TEST_SUITE_P(Scripts, VandruScriptTest,
                         ::testing::Values("asset_objects.gs", "asset_info.gs", "asset_lists.gs",
                                           "error_asset_image_name.gs",
                                           "error_asset_kuid_table.gs", "library_plugin.gs",
                                           "library_tokens.gs", "library_properties.gs", "library_click.gs",
                                           "own_text.gs"),
                         [](const auto& param) {
                           std::string name = fs::path(param.param).stem().string();
                           std::erase(name, '_');
                           return name;
                         });

// Two processes on one user-data folder compile objects' own script texts
// at once through the same temporary files: each gets its own classes,
// every compile succeeds and no temporary file is left.
TEST_F(ScriptRootTest, TwoProcessesCompilingOwnTextsBothSucceed) {
  const fs::path script = fs::path(VU_SOURCE_DIR) / "tests/scriptcontext/own_text_race.gs";
  const fs::path work = Root() / "work";
  fs::create_directories(work);
  ASSERT_TRUE(Compile(script, work));
  const pid_t daemon = daemons_.Start(Root() / "bin/vaddaemon");
  ASSERT_NE(daemon, 0) << daemons_.Output(0);
  const char* const tags[] = {"first", "second"};
  std::vector<Started> started;
  for (const char* tag : tags)
    started.push_back(StartProgram(
        GsrunArguments(work, "own_text_race", "$void@Main::Run(string)", {tag}), work, tag));
  std::vector<RunResult> runs;
  for (const Started& one : started) runs.push_back(Finish(one));
  EXPECT_TRUE(daemons_.Stop(daemon));
  for (size_t i = 0; i < runs.size(); ++i) {
    std::string expected;
    for (int n = 0; n < 12; ++n) expected += std::string(tags[i]) + " " + std::to_string(n) + "\n";
    EXPECT_EQ(runs[i].status, 0) << runs[i].err;
    EXPECT_EQ(runs[i].out, expected + "compiled 12\n") << runs[i].err;
  }
  EXPECT_FALSE(fs::exists(Root() / "UserData/cache/temp_object.gs"));
  EXPECT_FALSE(fs::exists(Root() / "UserData/cache/temp_object.gsl"));
}

}  // namespace
