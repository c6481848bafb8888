// Batches of "validate" lines end to end, in an installation root of their
// own: the lines run with several in flight, yet what the batch prints is
// what the same lines print one by one, and a daemon that dies in the
// middle is reported without a hang.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/ToolFixture.h"
#include "tests/support/WaitUntil.h"

namespace {

namespace fs = std::filesystem;

class ValidateBatchEndToEnd : public ToolFixture {
 protected:
  // Installs the folder `source` (copied first) into `root`.
  static void InstallCopy(const std::string& root, const std::string& source) {
    const std::string work = MakeTempFolder() + "/asset";
    fs::copy(source, work, fs::copy_options::recursive);
    const ToolResult r = RunTool(root, {"installfrompath", work});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }

  static void Install(const std::string& root, const std::string& kuid, const std::string& extra,
                      const std::vector<std::pair<std::string, std::string>>& files = {}) {
    const ToolResult r = InstallScenery(kuid, extra, files, root);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }

  static ToolResult RunTool(const std::string& root, const std::vector<std::string>& args) {
    return RunProgram(root + "/bin/VandruUtil", args, root + "/bin");
  }

  // Stops the daemon of a root when the test ends, whichever way it ends.
  struct DaemonStop {
    std::string root;
    ~DaemonStop() { EXPECT_TRUE(StopDaemonOf(root)); }
  };

  static std::string Fixture(const char* name) {
    return std::string(VU_SOURCE_DIR) + "/tests/tetlib/fixtures/" + name;
  }
};

const char kScripted[] = "script \"main.gs\"\nclass \"Crate\"\n";
const char kGoodScript[] = "include \"gs.gs\"\nclass Crate isclass GameObject {\n};\n";
const char kBrokenScript[] =
    "include \"gs.gs\"\nclass Crate isclass GameObject {\n  void x( \n};\n";
const char kVehicleScript[] = "include \"gs.gs\"\nclass Crate isclass Vehicle {\n};\n";

// Each line of a batch, run on its own, prints its results and the batch
// adds one line end; the batch answers 255 when a line failed. Slow lines
// (a script compiled) come before quick ones, repeats of one asset follow
// each other, and other commands sit between validations.
TEST_F(ValidateBatchEndToEnd, BatchPrintsWhatTheLinesPrintOneByOne) {
  const std::string root = MakeRoot();
  const DaemonStop stop{root};
  InstallCopy(root, Fixture("clean"));          // <kuid:100:1>
  InstallCopy(root, Fixture("missing-tag"));    // <kuid:100:2>, compulsory tags missing
  InstallCopy(root, Fixture("unknown-tag"));    // <kuid:100:5>, tag errors
  InstallCopy(root, Fixture("missing-mesh"));   // <kuid:100:25>
  Install(root, "<kuid:100:40>", kScripted, {{"main.gs", kGoodScript}});
  Install(root, "<kuid:100:41>", kScripted, {{"main.gs", kBrokenScript}});
  Install(root, "<kuid:100:42>", kScripted, {{"main.gs", kVehicleScript}});
  Install(root, "<kuid:100:43>", kScripted);  // its script is missing
  Install(root, "<kuid:100:44>", "");

  const std::vector<std::vector<std::string>> lines = {
      {"validate", "<kuid:100:40>"}, {"validate", "<kuid:100:44>"},
      {"validate", "<kuid:100:1>"},  {"validate", "<kuid:100:41>"},
      {"validate", "<kuid:100:2>"},  {"validate", "<kuid:100:5>"},
      {"validate", "<kuid:100:5>"},  {"VALIDATE", "<kuid:100:5>"},
      {"status", "<kuid:100:44>"},   {"validate", "<kuid:100:25>"},
      {"validate", "<kuid:100:42>"}, {"validate", "<kuid:100:43>"},
      {"validate", "<kuid:999:1>"},  {"validate"},
      {"nosuchcommand"},             {"validate", "<kuid:100:44>"},
      {"validate", "<kuid:100:1>"},
  };
  // Warm-up: the first validation of an asset opens it for edit.
  std::string expected;
  for (const auto& line : lines) {
    RunTool(root, line);
    const ToolResult alone = RunTool(root, line);
    ASSERT_FALSE(alone.timedOut);
    expected += alone.out + "\n";
  }
  std::string batch;
  for (const auto& line : lines) {
    for (const std::string& arg : line) batch += "\"" + arg + "\" ";
    batch += "\n";
  }
  const std::string batchFile = MakeTempFolder() + "/batch.txt";
  ASSERT_TRUE(WriteFile(batchFile, batch));
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const ToolResult r = RunTool(root, {"@" + batchFile});
    EXPECT_EQ(r.status, 255) << r.err;
    EXPECT_EQ(r.out, expected);
  }
  // The status counts the validations wherever they stand among other lines.
  struct StatusCase {
    const char* batch;
    int status;
  };
  const StatusCase statusCases[] = {
      {"validate <kuid:100:44>\nstatus <kuid:100:44>\n", 0},
      {"validate <kuid:999:1>\nstatus <kuid:100:44>\n", 255},
      {"status <kuid:100:44>\nvalidate <kuid:100:44>\n", 0},
      {"status <kuid:100:44>\nvalidate <kuid:999:1>\n", 255},
  };
  for (const StatusCase& c : statusCases) {
    SCOPED_TRACE(c.batch);
    ASSERT_TRUE(WriteFile(batchFile, c.batch));
    const ToolResult r = RunTool(root, {"@" + batchFile});
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
  }
  EXPECT_NE(expected.find("Syntax error in script"), std::string::npos) << expected;
  EXPECT_NE(expected.find("Script class does not match asset kind"), std::string::npos)
      << expected;
}

// The daemon is killed while a long batch of validations runs: the lines
// it cut off say so, every line still prints its summary, the batch ends
// with status 255 and does not hang.
TEST_F(ValidateBatchEndToEnd, DaemonKilledMidBatchIsReportedAndTheBatchEnds) {
  const std::string root = MakeRoot();
  const DaemonStop stop{root};
  const std::string requestLog = MakeTempFolder() + "/requests.txt";
  struct LogScope {
    explicit LogScope(const std::string& path) {
      ::setenv("VADDAEMON_REQUEST_LOG", path.c_str(), 1);
    }
    ~LogScope() { ::unsetenv("VADDAEMON_REQUEST_LOG"); }
  } logScope(requestLog);
  constexpr int kAssets = 8;
  constexpr int kLines = 4000;
  for (int i = 0; i < kAssets; ++i) Install(root, "<kuid:100:" + std::to_string(60 + i) + ">", "");
  std::string batch;
  for (int i = 0; i < kLines; ++i)
    batch += "validate <kuid:100:" + std::to_string(60 + i % kAssets) + ">\n";
  const std::string batchFile = MakeTempFolder() + "/batch.txt";
  ASSERT_TRUE(WriteFile(batchFile, batch));

  ToolResult r;
  std::thread tool([&] { r = RunTool(root, {"@" + batchFile}); });
  const pid_t daemon = DaemonOwnerPidOf(root);
  // Killed once the daemon has taken a few validations of this batch.
  const bool seen = VUTest::WaitUntil(
      [&] {
        const std::string text = ReadFile(requestLog);
        size_t count = 0;
        for (size_t at = text.find("0x26"); at != std::string::npos; at = text.find("0x26", at + 1))
          ++count;
        return count >= 50;
      },
      60000, 1);
  if (daemon != 0) ::kill(daemon, SIGKILL);
  tool.join();
  ASSERT_TRUE(seen);
  ASSERT_NE(daemon, 0);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.status, 255) << r.err;
  EXPECT_NE(r.out.find("The connection to the asset-database daemon was lost"), std::string::npos)
      << r.out.substr(0, 4000);
  size_t summaries = 0;
  for (size_t at = r.out.find("OK ("); at != std::string::npos; at = r.out.find("OK (", at + 1))
    ++summaries;
  EXPECT_EQ(summaries, size_t(kLines));
}

}  // namespace
