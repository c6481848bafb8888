// The test host tetcheck over the fixture assets of tests/tetlib/fixtures:
// each folder holds a config.txt (and the files it names, mesh files as a
// manifest, tests/tetlib/MeshFiles.h) and the exact output
// `tetcheck --export` gives for it, expected.txt. Each test validates
// copies of the fixtures with their meshes written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"
#include "tests/tetlib/MeshFiles.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  std::string out;
  int status = -1;
};

class TetcheckTest : public VUTest::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    fs::copy(std::string(VU_SOURCE_DIR) + "/tetlib/TETData", At("defs"),
             fs::copy_options::recursive);
  }

  static std::string Source(const std::string& name) {
    return std::string(VU_SOURCE_DIR) + "/tests/tetlib/fixtures/" + name;
  }

  // A copy of the fixture with its meshes written (made once per test).
  std::string Fixture(const std::string& name) {
    const std::string copy = At("fixtures/" + name);
    if (fs::exists(copy)) return copy;
    fs::create_directories(copy);
    fs::copy(Source(name), copy, fs::copy_options::recursive);
    fs::remove(copy + "/expected.txt");
    EXPECT_TRUE(tetfixture::WriteMeshFiles(copy)) << name;
    return copy;
  }

  std::string Expected(const std::string& name) {
    std::ifstream in(Source(name) + "/expected.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Runs tetcheck with `args` (each quoted); standard error is dropped. A
  // run longer than `limitSeconds` (0: no limit) is killed (status 124).
  ToolRun Tetcheck(const std::vector<std::string>& args, int limitSeconds = 0) {
    std::string command = std::string("'") + TETCHECK_EXE + "'";
    if (limitSeconds > 0)
      command = "timeout -s KILL " + std::to_string(limitSeconds) + " " + command;
    for (const std::string& arg : args) command += " '" + arg + "'";
    command += " 2>/dev/null";
    ToolRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }
};

// One test per fixture folder, named after it.
class TetcheckFixture : public TetcheckTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(TetcheckFixture, PrintsExactlyItsExpectedLines) {
  const ToolRun run = Tetcheck({"--export", At("defs"), Fixture(GetParam())});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Expected(GetParam()));
  EXPECT_TRUE(fs::exists(At("defs/personalDetails.txt")));
}

std::vector<std::string> FixtureNames() {
  std::vector<std::string> names;
  for (const auto& entry :
       fs::directory_iterator(std::string(VU_SOURCE_DIR) + "/tests/tetlib/fixtures"))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Test names take no '-'.
std::string FixtureTestName(const ::testing::TestParamInfo<std::string>& param) {
  std::string name = param.param;
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, TetcheckFixture, ::testing::ValuesIn(FixtureNames()),
                         FixtureTestName);

TEST_F(TetcheckTest, AssetsValidatedTogetherFindWhatEachFindsAlone) {
  const std::vector<std::vector<std::string>> sequences = {
      {"obsolete-tag", "obsolete-tag"},
      {"old-asset", "obsolete-tag", "old-asset"},
      {"upgraded-asset", "clean", "upgraded-asset", "obsolete-tag"},
      {"lod-scenery", "lod-traincar", "progressive-old", "progressive", "missing-mesh",
       "attachment-points", "broken-mesh", "lod-scenery"},
      {"alias", "null-kuid", "alias", "clean"},
      {"crossing-track-points", "crossing-missing-point", "attachment-points",
       "crossing-track-points"},
      {"textures", "future-build", "missing-container-early", "clean", "missing-tag",
       "old-container"},
  };
  for (const std::vector<std::string>& sequence : sequences) {
    std::vector<std::string> args = {"--export", At("defs")};
    std::string expected;
    for (const std::string& name : sequence) {
      args.push_back(Fixture(name));
      expected += Expected(name);
    }
    const ToolRun run = Tetcheck(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, expected) << sequence.front() << " ...";
  }
}

// The clean asset's export, used as its configuration, validates as clean
// and exports to the same text.
TEST_F(TetcheckTest, TheCleanExportRoundTripsThroughTheTextForm) {
  const std::string expected = Expected("clean");
  const size_t start = expected.find("+ Start of export\n");
  ASSERT_NE(start, std::string::npos);
  const std::string exported =
      expected.substr(start + 18, expected.find("+ End of export") - start - 18);
  fs::copy(Fixture("clean"), At("again"), fs::copy_options::recursive);
  Put("again/config.txt", exported);
  const ToolRun run = Tetcheck({"--export", At("defs"), At("again")});
  EXPECT_EQ(run.out, expected);
}

// A pipe named as the mesh is refused before anything is opened (the open
// would block for ever): one error naming it, no export. The run is bounded
// so that a host that does open it fails rather than hangs the suite.
TEST_F(TetcheckTest, PipeAsMeshIsRefusedNotOpened) {
  const std::string asset = At("piped");
  fs::copy(Fixture("clean"), asset, fs::copy_options::recursive);
  fs::remove(asset + "/crate.im");
  ASSERT_EQ(::mkfifo((asset + "/crate.im").c_str(), 0600), 0);
  const ToolRun run = Tetcheck({"--export", At("defs"), asset}, 60);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "- <NULL> : The file '" + asset +
                         "/crate.im' is not a plain file (a pipe, socket or device) and is "
                         "refused.\nOK (1 Errors, 0 Warnings)\n+ Start of export\n+ End of "
                         "export\n");
}

// A pipe deeper than the search for refused entries looks
// (kMaxEntrySearchDepth) is refused as it is read: the run answers at
// once with the same error instead of waiting for a writer that never
// comes. Bounded, so that a host that waits fails rather than hangs.
TEST_F(TetcheckTest, PipeDeeperThanTheSearchIsRefusedAtOnce) {
  const std::string asset = At("deep-pipe");
  fs::copy(Fixture("clean"), asset, fs::copy_options::recursive);
  fs::remove(asset + "/crate.im");
  std::string deep;
  for (int level = 0; level < 70; ++level) deep += "d/";
  fs::create_directories(asset + "/" + deep);
  ASSERT_EQ(::mkfifo((asset + "/" + deep + "crate.im").c_str(), 0600), 0);
  std::string config;
  {
    std::ifstream in(asset + "/config.txt", std::ios::binary);
    config.assign(std::istreambuf_iterator<char>(in), {});
  }
  const size_t mesh = config.find("\"crate.im\"");
  ASSERT_NE(mesh, std::string::npos);
  config.replace(mesh, 10, "\"" + deep + "crate.im\"");
  Put("deep-pipe/config.txt", config);
  const ToolRun run = Tetcheck({At("defs"), asset}, 20);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("The file '" + asset + "/" + deep +
                         "crate.im' is not a plain file (a pipe, socket or device) and is "
                         "refused."),
            std::string::npos)
      << run.out;
}

}  // namespace
