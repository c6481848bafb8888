// "validate" end to end: the tool asks the stand-in daemon, which hands the
// job to a command host (the tool again), which checks the asset with the
// validation definitions and compiles its scripts into the script cache.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/types.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/cli/CommandHostProcesses.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/WaitUntil.h"

namespace {

namespace fs = std::filesystem;

class ValidateEndToEnd : public ToolFixture {
 protected:
  // Installs an asset of kind scenery with `extra` configuration lines and
  // the given files; the install must succeed.
  static void Install(const std::string& kuid, const std::string& extra,
                      const std::vector<std::pair<std::string, std::string>>& files,
                      const std::string& root = "") {
    const ToolResult r = InstallScenery(kuid, extra, files, root);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }

  static ToolResult Validate(const std::string& kuid) { return Run({"validate", kuid}); }

  // The log files of the fixture's user data folder (the daemon's, the
  // command hosts'), to tell what happened when a check fails.
  static std::string UserDataLogs() {
    std::string logs;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(UserDataPath(), error)) {
      if (entry.path().extension() != ".log") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      logs += "\n--- " + entry.path().filename().string() + "\n";
      logs.append(std::istreambuf_iterator<char>(in), {});
    }
    return logs;
  }

  // The libraries of the script cache (not the sources records beside them).
  static std::vector<fs::path> CacheFiles(const std::string& userData) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(userData + "/cache/libraries", error))
      if (entry.is_regular_file() && entry.path().extension() == ".gsl")
        files.push_back(entry.path());
    return files;
  }
};

// The command hosts that run from a root (the fixture's by default).
std::vector<pid_t> CommandHosts(const std::string& bin = ToolFixture::BinPath()) {
  return VUTest::CommandHosts(bin);
}

using VUTest::Ended;

const char kScripted[] = "script \"main.gs\"\nclass \"Crate\"\n";
const char kGoodScript[] = "include \"gs.gs\"\nclass Crate isclass GameObject {\n};\n";
const char kBrokenScript[] =
    "include \"gs.gs\"\nclass Crate isclass GameObject {\n  void x( \n};\n";
const char kUnresolvedNativeScript[] =
    "include \"gs.gs\"\nclass Crate isclass GameObject {\n  public native void Missing();\n};\n";
const char kVehicleScript[] = "include \"gs.gs\"\nclass Crate isclass Vehicle {\n};\n";

bool Has(const ToolResult& r, const std::string& text) {
  return r.out.find(text) != std::string::npos;
}

TEST_F(ValidateEndToEnd, FindingsArePrintedWithTheSummaryAndStatusZero) {
  const std::string work = MakeTempFolder() + "/asset";
  fs::create_directories(work);
  fs::copy_file(std::string(VU_SOURCE_DIR) + "/tests/tetlib/fixtures/missing-tag/config.txt",
                work + "/config.txt");
  ASSERT_EQ(Run({"installfrompath", work}).status, 0);
  const ToolResult r = Validate("<kuid:100:2>");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r, "- <kuid:100:2> : The compulsory tag 'mesh' is missing.\n")) << r.out;
  EXPECT_TRUE(Has(r, "! <kuid:100:2> : The compulsory tag 'cameradefault' is missing.\n")) << r.out;
  EXPECT_TRUE(Has(r, "OK (3 Errors, 1 Warnings)")) << r.out;
}

TEST_F(ValidateEndToEnd, ScriptIsCompiledOnceAndAStaleCacheFileIsRebuilt) {
  Install("<kuid:100:20>", kScripted, {{"main.gs", kBrokenScript}});
  const size_t before = CacheFiles(UserDataPath()).size();
  const ToolResult broken = Validate("<kuid:100:20>");
  EXPECT_EQ(broken.status, 0) << broken.out << broken.err;
  EXPECT_TRUE(Has(broken,
                  "VandruBaseSpec::CacheScripts> Syntax error in script of asset "
                  "'<kuid:100:20> \"Crate\"'"))
      << broken.out;
  EXPECT_EQ(CacheFiles(UserDataPath()).size(), before) << "a failed compile leaves no file";

  Install("<kuid:100:21>", kScripted, {{"main.gs", kGoodScript}});
  const ToolResult good = Validate("<kuid:100:21>");
  EXPECT_TRUE(Has(good, "OK (0 Errors, 0 Warnings)")) << good.out << good.err;
  const std::vector<fs::path> cached = CacheFiles(UserDataPath());
  ASSERT_EQ(cached.size(), before + 1);
  const auto size = fs::file_size(cached.back());
  const auto written = fs::last_write_time(cached.back());

  const ToolResult again = Validate("<kuid:100:21>");
  EXPECT_TRUE(Has(again, "OK (0 Errors, 0 Warnings)")) << again.out;
  EXPECT_EQ(fs::last_write_time(cached.back()), written) << "found in the cache, not compiled";

  fs::resize_file(cached.back(), size / 2);
  const ToolResult cut = Validate("<kuid:100:21>");
  EXPECT_TRUE(Has(cut, "OK (0 Errors, 0 Warnings)")) << cut.out << cut.err;
  EXPECT_EQ(fs::file_size(cached.back()), size) << "the cut library was compiled again";
}

// A cached library that an included source no longer compiles to is
// refused; when the compile then fails, neither it nor its record stays.
TEST_F(ValidateEndToEnd, RefusedLibraryWhoseCompileFailsLeavesTheCache) {
  const char kMain[] = "include \"gs.gs\"\ninclude \"part.gs\"\nclass Crate isclass Part {\n};\n";
  const char kPart[] = "include \"gs.gs\"\nclass Part isclass GameObject {\n};\n";
  const char kBrokenPart[] = "include \"gs.gs\"\nclass Part isclass GameObject {\n  void x( \n};\n";
  const std::vector<fs::path> before = CacheFiles(UserDataPath());
  Install("<kuid:100:28>", kScripted, {{"main.gs", kMain}, {"part.gs", kPart}});
  EXPECT_TRUE(Has(Validate("<kuid:100:28>"), "OK (0 Errors, 0 Warnings)"));
  // main.gs's library: the new one whose record names main.gs first.
  fs::path library;
  for (const fs::path& file : CacheFiles(UserDataPath())) {
    if (std::find(before.begin(), before.end(), file) != before.end()) continue;
    std::ifstream in(file.string() + ".sources");
    std::string head, top;
    if (std::getline(in, head) && std::getline(in, top) && top.ends_with(" main.gs"))
      library = file;
  }
  ASSERT_FALSE(library.empty());
  const fs::path record = library.string() + ".sources";

  Install("<kuid:100:28>", kScripted, {{"main.gs", kMain}, {"part.gs", kBrokenPart}});
  const ToolResult broken = Validate("<kuid:100:28>");
  EXPECT_TRUE(Has(broken, "Syntax error in script of asset")) << broken.out << broken.err;
  EXPECT_FALSE(fs::exists(library));
  EXPECT_FALSE(fs::exists(record));
}

// Another script of the folder never stands in for the one the
// configuration names (scripts are compiled from the top of the folder).
TEST_F(ValidateEndToEnd, MissingPrimaryScriptIsReportedBesideAnotherScript) {
  Install("<kuid:100:29>", "script \"sub/main.gs\"\nclass \"Crate\"\n",
          {{"other.gs", kGoodScript}, {"sub/main.gs", kGoodScript}});
  const ToolResult r = Validate("<kuid:100:29>");
  EXPECT_TRUE(Has(r, "Unable to locate primary script source file")) << r.out << r.err;
}

TEST_F(ValidateEndToEnd, ClassOfTheWrongKindIsReported) {
  Install("<kuid:100:22>", kScripted, {{"main.gs", kVehicleScript}});
  const ToolResult r = Validate("<kuid:100:22>");
  EXPECT_TRUE(Has(r, "Script class does not match asset kind (vehicle).")) << r.out << r.err;
}

TEST_F(ValidateEndToEnd, KilledHostIsReplacedByTheNextRequest) {
  Install("<kuid:100:24>", kScripted, {{"main.gs", kGoodScript}});
  ASSERT_TRUE(Has(Validate("<kuid:100:24>"), "OK (0 Errors, 0 Warnings)"));
  const std::vector<pid_t> hosts = CommandHosts();
  ASSERT_EQ(hosts.size(), 1u);
  ASSERT_EQ(::kill(hosts[0], SIGKILL), 0);
  // Once ended, the host has closed its connection, which the daemon sees
  // before it sends the next job, even when its reader has not yet noticed.
  ASSERT_TRUE(VUTest::WaitUntil([&] { return Ended(hosts[0]); }, 10000));
  const ToolResult r = Validate("<kuid:100:24>");
  EXPECT_TRUE(Has(r, "OK (0 Errors, 0 Warnings)")) << r.out << r.err << UserDataLogs();
  EXPECT_EQ(CommandHosts().size(), 1u) << UserDataLogs();
}

TEST_F(ValidateEndToEnd, MissingStandardLibraryIsReported) {
  const std::string root = MakeRoot();
  fs::remove(root + "/libraries/gs.gsl");
  Install("<kuid:100:23>", kScripted, {{"main.gs", kGoodScript}}, root);
  const ToolResult r =
      RunProgram(root + "/bin/VandruUtil", {"validate", "<kuid:100:23>"}, root + "/bin");
  EXPECT_TRUE(Has(r, "VADCompileAsset unable to initialise script system")) << r.out << r.err;
  EXPECT_TRUE(StopDaemonOf(root));
}

// The command host runs with its engine log on, and the runtime's messages
// reach that log through the print hook: the link of a class whose native
// does not exist is reported in the host's log file.
TEST_F(ValidateEndToEnd, RuntimeMessagesOfTheCommandHostReachItsLogFile) {
  Install("<kuid:100:25>", kScripted, {{"main.gs", kUnresolvedNativeScript}});
  const ToolResult r = Validate("<kuid:100:25>");
  EXPECT_TRUE(Has(r, "OK (0 Errors, 0 Warnings)")) << r.out << r.err;
  const std::string logFile = UserDataPath() + "/vadcommandhost.log";
  const std::string line = "ScriptLog> Could not resolve native link $void@Crate::Missing()\n";
  std::string log;
  EXPECT_TRUE(VUTest::WaitUntil(
      [&] {
        std::ifstream in(logFile, std::ios::binary);
        log.assign(std::istreambuf_iterator<char>(in), {});
        return log.find(line) != std::string::npos;
      },
      10000))
      << log;
}

// The host's bound on one validation job, set to 0 ms for the daemon (and
// so the hosts) of a root of its own: every validation ends with the time
// limit finding naming its asset, nothing of it is cached, and the host
// that stopped it ends, so the next job is served by a new one.
TEST_F(ValidateEndToEnd, ValidationPastItsBoundEndsWithTheLimitAndItsHost) {
  struct BoundScope {
    BoundScope() { ::setenv("VADCOMMANDHOST_VALIDATION_MS", "0", 1); }
    ~BoundScope() { ::unsetenv("VADCOMMANDHOST_VALIDATION_MS"); }
  } bound;
  const std::string root = MakeRoot();
  const std::string literal(64 * 1024, 'x');
  const std::string stalling =
      "include \"gs.gs\"\nclass Crate isclass GameObject {\n"
      "  string s = \"" +
      literal + "\";\n};\n";
  Install("<kuid:100:25>", kScripted, {{"main.gs", stalling}}, root);
  Install("<kuid:100:26>", kScripted, {{"main.gs", kGoodScript}}, root);
  const std::string tool = root + "/bin/VandruUtil";
  for (const char* kuid : {"<kuid:100:25>", "<kuid:100:26>"}) {
    SCOPED_TRACE(kuid);
    const ToolResult r = RunProgram(tool, {"validate", kuid}, root + "/bin");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r, std::string("- ") + kuid + " : Validating the asset in '")) << r.out;
    EXPECT_TRUE(Has(r, "' took longer than 0 seconds, so it was stopped.\n")) << r.out;
    EXPECT_TRUE(Has(r, "(1 Errors, 0 Warnings)")) << r.out;
    EXPECT_TRUE(CacheFiles(root + "/UserData").empty()) << "a stopped job compiles nothing";
    EXPECT_TRUE(VUTest::WaitUntil([&] { return CommandHosts(root + "/bin").empty(); }, 10000))
        << "the host of a stopped job ends";
  }
  EXPECT_TRUE(StopDaemonOf(root));
}

}  // namespace
