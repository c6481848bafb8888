// Scripts of online/ run by the script test host in the script context
// (gsrun --context vandru --fake-clock) against a daemon of their own, whose
// online account is "alice" with the credential "secret", and a stand-in
// online server of their own (online_standin), which the host reaches
// through VANDRUUTIL_ONLINE_HOST and VANDRUUTIL_ONLINE_PORT.
//
// Each script states, one directive a line:
//   // server: ARGS                 the stand-in's arguments
//   // expect: TEXT                 standard output, line by line, in order
//   // expect runtime error: TEXT   a line of standard error holds TEXT, and
//                                   the run ends with status 1
//   // expect server count: PREFIX N  the stand-in printed N lines that
//                                   start with PREFIX
// Without a runtime error the run must end with status 0. The daemon and
// the stand-in are stopped when the test ends, whatever happened.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/online/StandInProcess.h"
#include "tests/scriptcontext/ProgramRun.h"
#include "tests/support/DaemonProcesses.h"
#include "tests/support/InstallRoot.h"
#include "vaddaemon/SettingsStore.h"

namespace {

namespace fs = std::filesystem;

using scripttest::Lines;
using scripttest::ReadFile;
using scripttest::RunProgram;
using scripttest::RunResult;

std::vector<std::string> Directives(const std::vector<std::string>& lines, const std::string& tag) {
  std::vector<std::string> found;
  const std::string prefix = "// " + tag + ": ";
  for (const std::string& line : lines)
    if (line.starts_with(prefix)) found.push_back(line.substr(prefix.size()));
  return found;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

class OnlineScriptTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.Made());
    ASSERT_FALSE(root_.PlaceProgram(VADDAEMON_EXE).empty());
    std::error_code error;
    fs::create_directories(Root() / "libraries", error);
    for (const auto& entry : fs::directory_iterator(VU_SCRIPT_LIBRARIES_DIR))
      fs::copy_file(entry.path(), Root() / "libraries" / entry.path().filename(), error);
    ASSERT_FALSE(error) << error.message();
    SettingsStore settings;
    ASSERT_TRUE(settings.Load(Kiv::File::Path(root_.UserData() + "/" + SettingsStore::kFileName)));
    ASSERT_TRUE(settings.WriteValue("internet", "username", "alice"));
    ASSERT_TRUE(settings.WriteValue("internet", "password", "secret"));
  }

  fs::path Root() const { return root_.Path(); }

  // Compiles the test includes and the script into `work`.
  void Compile(const fs::path& script, const fs::path& work) {
    const std::string include = std::string(VU_SOURCE_DIR) + "/tests/gsruntime/include";
    const std::string sources = std::string(VU_SOURCE_DIR) + "/gsnative/libraries";
    for (const std::string& source :
         {include + "/test.gs", include + "/testonline.gs", script.string()}) {
      const RunResult run = RunProgram(
          {GSBUILDLIB_EXE, "-o", work.string(), "-i", include, "-i", sources, source}, work);
      ASSERT_EQ(run.status, 0) << source << " does not compile:\n" << run.out << run.err;
    }
  }

  VUTest::InstallRoot root_{"OnlineScript"};
  VUTest::DaemonProcesses daemons_{root_};
};

TEST_P(OnlineScriptTest, RunsAsItsExpectationsSay) {
  const fs::path script = fs::path(VU_SOURCE_DIR) / "tests/scriptcontext/online" / GetParam();
  const std::vector<std::string> lines = Lines(ReadFile(script));
  const fs::path work = Root() / "work";
  fs::create_directories(work);
  ASSERT_NO_FATAL_FAILURE(Compile(script, work));
  const std::vector<std::string> serverArgs = Directives(lines, "server");
  StandInProcess server(serverArgs.empty() ? std::vector<std::string>{} : Words(serverArgs[0]));
  ASSERT_NE(server.Port(), 0);
  ::setenv("VANDRUUTIL_ONLINE_HOST", "localhost", 1);
  ::setenv("VANDRUUTIL_ONLINE_PORT", std::to_string(server.Port()).c_str(), 1);
  const pid_t daemon = daemons_.Start(Root() / "bin/vaddaemon");
  ASSERT_NE(daemon, 0) << daemons_.Output(0);
  const RunResult run =
      RunProgram({GSRUN_EXE, "--root", Root().string(), "--context", "vandru", "--libs",
                  work.string(), "--pump", "120", "--dt", "0.1", "--fake-clock",
                  (work / script.stem()).string() + ".gsl", "Main", "$void@Main::Run()"},
                 work);
  EXPECT_TRUE(daemons_.Stop(daemon));
  // Every line the stand-in printed before this command has been read.
  ASSERT_TRUE(server.Command("drop 0", [] {}));
  const std::string report = "--- stdout\n" + run.out + "--- stderr\n" + run.err;

  std::string expected;
  for (const std::string& line : Directives(lines, "expect")) expected += line + "\n";
  const std::vector<std::string> errors = Directives(lines, "expect runtime error");
  EXPECT_EQ(run.status, errors.empty() ? 0 : 1) << report;
  EXPECT_EQ(run.out, expected) << report;
  for (const std::string& error : errors)
    EXPECT_NE(run.err.find(error), std::string::npos) << "no error '" << error << "'\n" << report;
  for (const std::string& count : Directives(lines, "expect server count")) {
    const size_t space = count.rfind(' ');
    EXPECT_EQ(server.Count(count.substr(0, space)),
              static_cast<size_t>(std::atoi(count.c_str() + space + 1)))
        << count << "\n" << report;
  }
}

INSTANTIATE_TEST_SUITE_P(Scripts, OnlineScriptTest,
                         ::testing::Values("online_login.gs", "online_group.gs",
                                           "online_offline.gs", "online_release.gs",
                                           "error_online_locked_soup.gs",
                                           "error_online_group_name.gs"),
                         [](const auto& param) {
                           std::string name = fs::path(param.param).stem().string();
                           std::erase(name, '_');
                           return name;
                         });

}  // namespace
