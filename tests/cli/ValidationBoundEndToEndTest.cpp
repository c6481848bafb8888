// The bound of a validation job and the script cache's limit, end to end in
// installation roots of their own, whose daemon (started by the first
// command) and command hosts inherit the test's environment: a job that
// stalls after compiling is answered at its bound and the job queued behind
// it moves to another host; a stopped job (also one that comes back just
// past its bound) leaves nothing that changes the next answer; a library
// larger than the cache holds is reported as such and not kept.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/cli/CommandHostProcesses.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/WaitUntil.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kScripted[] = "script \"main.gs\"\nclass \"Crate\"\n";
constexpr char kScript[] = "include \"gs.gs\"\nclass Crate isclass GameObject {\n};\n";
// Longer than any test runs: a job that meets it stalls until its bound.
constexpr char kStall[] = "600000";

class ValidationBoundEndToEnd : public ToolFixture {
 protected:
  // Environment variables set for the test's life.
  class Environment {
   public:
    explicit Environment(std::initializer_list<std::pair<std::string, std::string>> entries)
        : entries_(entries) {
      for (const auto& [name, value] : entries_) ::setenv(name.c_str(), value.c_str(), 1);
    }
    ~Environment() {
      for (const auto& entry : entries_) ::unsetenv(entry.first.c_str());
    }

   private:
    std::vector<std::pair<std::string, std::string>> entries_;
  };

  // Stops the daemon of a root when the test ends, whichever way it ends.
  struct DaemonStop {
    std::string root;
    ~DaemonStop() { EXPECT_TRUE(StopDaemonOf(root)); }
  };

  static void Install(const std::string& root, const std::string& kuid, const std::string& extra,
                      const std::vector<std::pair<std::string, std::string>>& files = {}) {
    const ToolResult r = InstallScenery(kuid, extra, files, root);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }

  static ToolResult Validate(const std::string& root, const std::string& kuid) {
    return RunProgram(root + "/bin/VandruUtil", {"validate", kuid}, root + "/bin");
  }

  static std::string HostLog(const std::string& root) {
    return ReadFile(root + "/UserData/vadcommandhost.log");
  }

  static size_t CachedLibraries(const std::string& root) {
    size_t count = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root + "/UserData/cache/libraries", error))
      count += entry.is_regular_file() ? 1 : 0;
    return count;
  }
};

bool Has(const ToolResult& r, const std::string& text) {
  return r.out.find(text) != std::string::npos;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_F(ValidationBoundEndToEnd, StalledJobIsAnsweredAtItsBoundAndTheJobBehindItMovesOn) {
  constexpr milliseconds kBound(3000);
  Environment environment({{"VADCOMMANDHOST_VALIDATION_MS", std::to_string(kBound.count())},
                           {"VADCOMMANDHOST_TEST_LINK_PAUSE_MS", kStall}});
  const std::string root = MakeRoot();
  DaemonStop stop{root};
  Install(root, "<kuid:100:40>", kScripted, {{"main.gs", kScript}});
  Install(root, "<kuid:100:41>", "");

  ToolResult stalled;
  Clock::time_point stalledEnd;
  const Clock::time_point start = Clock::now();
  std::thread first([&] {
    stalled = Validate(root, "<kuid:100:40>");
    stalledEnd = Clock::now();
  });
  // Compiled and linked: the job stalls. The next one is queued behind it.
  const bool stalling = VUTest::WaitUntil(
      [&] { return HostLog(root).find("pausing 600000 ms") != std::string::npos; }, 60000, 10);
  const std::vector<pid_t> hosts = VUTest::CommandHosts(root + "/bin");
  ToolResult queued;
  if (stalling) queued = Validate(root, "<kuid:100:41>");
  const Clock::time_point queuedEnd = Clock::now();
  first.join();
  ASSERT_TRUE(stalling) << stalled.out << HostLog(root);

  EXPECT_TRUE(Has(stalled, "- <kuid:100:40> : Validating the asset in '")) << stalled.out;
  EXPECT_TRUE(Has(stalled, "' took longer than 3 seconds, so it was stopped.\n")) << stalled.out;
  EXPECT_TRUE(Has(stalled, "OK (1 Errors, 0 Warnings)")) << stalled.out;
  EXPECT_GE(stalledEnd - start, kBound);
  EXPECT_LT(stalledEnd - start, kBound + std::chrono::seconds(30)) << "answered at its bound";

  EXPECT_TRUE(Has(queued, "OK (0 Errors, 0 Warnings)")) << queued.out << HostLog(root);
  EXPECT_LT(queuedEnd - stalledEnd, std::chrono::seconds(30)) << "served by another host";
  ASSERT_EQ(hosts.size(), 1u);
  EXPECT_TRUE(VUTest::WaitUntil([&] { return VUTest::Ended(hosts[0]); }, 10000))
      << "the stalled host ends";
}

TEST_F(ValidationBoundEndToEnd, JobStoppedAtItsBoundGivesTheSameAnswerAgain) {
  Environment environment(
      {{"VADCOMMANDHOST_VALIDATION_MS", "2000"}, {"VADCOMMANDHOST_TEST_LINK_PAUSE_MS", kStall}});
  const std::string root = MakeRoot();
  DaemonStop stop{root};
  Install(root, "<kuid:100:42>", kScripted, {{"main.gs", kScript}});
  const ToolResult first = Validate(root, "<kuid:100:42>");
  EXPECT_TRUE(Has(first, "' took longer than 2 seconds, so it was stopped.\n")) << first.out;
  EXPECT_EQ(CachedLibraries(root), 0u) << "the stopped job's library is not kept";
  const ToolResult again = Validate(root, "<kuid:100:42>");
  EXPECT_EQ(again.out, first.out) << HostLog(root);
  EXPECT_EQ(CachedLibraries(root), 0u);
  // Each job linked the script anew: nothing of the first was kept.
  EXPECT_EQ(Count(HostLog(root), "pausing 600000 ms"), 2u) << HostLog(root);
}

// A job that comes back by itself just past its bound, while the watchdog
// is held back, is answered as stopped all the same and keeps no library.
TEST_F(ValidationBoundEndToEnd, JobBackJustPastItsBoundIsAnsweredAsStopped) {
  Environment environment({{"VADCOMMANDHOST_VALIDATION_MS", "1000"},
                           {"VADCOMMANDHOST_TEST_LINK_PAUSE_MS", "1500"},
                           {"VADCOMMANDHOST_TEST_WATCHDOG_DELAY_MS", kStall}});
  const std::string root = MakeRoot();
  DaemonStop stop{root};
  Install(root, "<kuid:100:44>", kScripted, {{"main.gs", kScript}});
  const ToolResult r = Validate(root, "<kuid:100:44>");
  EXPECT_TRUE(Has(r, "' took longer than 1 seconds, so it was stopped.\n")) << r.out;
  EXPECT_TRUE(Has(r, "OK (1 Errors, 0 Warnings)")) << r.out;
  EXPECT_EQ(CachedLibraries(root), 0u) << "the late job's library is not kept";
}

TEST_F(ValidationBoundEndToEnd, LibraryLargerThanTheCacheHoldsIsReportedAndNotKept) {
  Environment environment({{"VADCOMMANDHOST_TEST_LIBRARY_CACHE_LIMIT", "64"}});
  const std::string root = MakeRoot();
  DaemonStop stop{root};
  Install(root, "<kuid:100:43>", kScripted, {{"main.gs", kScript}});
  const ToolResult r = Validate(root, "<kuid:100:43>");
  const std::string lead = "- <kuid:100:43> : The compiled library of the script '";
  const size_t at = r.out.find(lead);
  ASSERT_NE(at, std::string::npos) << r.out;
  const std::string line = r.out.substr(at, r.out.find('\n', at) - at);
  const size_t size = line.find("/main.gs' is ");
  ASSERT_NE(size, std::string::npos) << line;
  EXPECT_GT(std::stoll(line.substr(size + 13)), 64) << line;
  EXPECT_NE(line.find(" bytes, larger than the script library cache holds (64 bytes)."),
            std::string::npos)
      << line;
  EXPECT_FALSE(Has(r, "CRC Mismatch")) << r.out;
  EXPECT_TRUE(Has(r, "OK (1 Errors, 0 Warnings)")) << r.out;
  EXPECT_EQ(CachedLibraries(root), 0u) << "the refused library is not kept";
}

}  // namespace
