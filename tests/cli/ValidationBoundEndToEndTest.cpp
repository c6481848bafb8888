// The bound of a validation job and the script cache's limit, end to end in
// installation roots of their own, whose daemon (started by the first
// command) and command hosts inherit the test's environment: a job that
// stalls after compiling is answered at its bound and the job queued behind
// it moves to another host; a stopped job (also one that comes back just
// past its bound) leaves nothing that changes the next answer; more stalled
// validations than the hosts run are each answered by their bound, and
// hold up nothing while they wait; a library
// larger than the cache holds is reported as such and not kept.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/cli/CommandHostProcesses.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/WaitUntil.h"
#include "vaddaemon/CommandHostBroker.h"

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

  // The host of a stopped job removes what the job cached and then ends,
  // which may come after the daemon's own answer at the bound: true once
  // every command host of the root has ended.
  static bool HostsEnded(const std::string& root) {
    const std::vector<pid_t> hosts = VUTest::CommandHosts(root + "/bin");
    return VUTest::WaitUntil(
        [&] { return std::all_of(hosts.begin(), hosts.end(), VUTest::Ended); }, 30000, 10);
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
  ASSERT_TRUE(HostsEnded(root));
  EXPECT_EQ(CachedLibraries(root), 0u) << "the stopped job's library is not kept";
  const ToolResult again = Validate(root, "<kuid:100:42>");
  EXPECT_EQ(again.out, first.out) << HostLog(root);
  ASSERT_TRUE(HostsEnded(root));
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
  ASSERT_TRUE(HostsEnded(root));
  EXPECT_EQ(CachedLibraries(root), 0u) << "the late job's library is not kept";
}

// Sixteen validations that stall after compiling, more than the hosts run:
// each is answered within about its bound from when it was asked, whether
// it ran or waited for a host; a validation without a script and an install
// of an asset whose validation waits for a host, asked a second after them,
// wait for no bound.
TEST_F(ValidationBoundEndToEnd, StalledValidationsAreEachAnsweredByTheirBoundAndHoldUpNothing) {
  Environment environment(
      {{"VADCOMMANDHOST_VALIDATION_MS", "5000"}, {"VADCOMMANDHOST_TEST_LINK_PAUSE_MS", kStall}});
  const std::string root = MakeRoot();
  DaemonStop stop{root};
  constexpr size_t kStalled = 16;
  const auto kuid = [](size_t i) { return "<kuid:100:" + std::to_string(60 + i) + ">"; };
  const std::string assets = MakeTempFolder();
  const auto lay = [&](const std::string& folder, const std::string& id, bool scripted) {
    fs::create_directories(folder);
    return WriteFile(folder + "/config.txt", "kuid " + id +
                                                 "\nusername \"Crate\"\nkind \"scenery\"\n"
                                                 "vandru-build 3.4\ncategory-class \"BA\"\n" +
                                                 (scripted ? kScripted : "")) &&
           (!scripted || WriteFile(folder + "/main.gs", kScript));
  };
  for (size_t i = 0; i < kStalled; ++i)
    ASSERT_TRUE(lay(assets + "/s" + std::to_string(i), kuid(i), true));
  ASSERT_TRUE(lay(assets + "/plain", "<kuid:100:90>", false));
  const std::string tool = root + "/bin/VandruUtil";
  const ToolResult installed = RunProgram(tool, {"installfrompath", assets}, root + "/bin");
  ASSERT_EQ(installed.status, 0) << installed.out << installed.err;

  struct Timed {
    ToolResult result;
    Clock::duration took{};
  };
  const auto timed = [](Timed* into, const std::function<ToolResult()>& run) {
    const Clock::time_point start = Clock::now();
    into->result = run();
    into->took = Clock::now() - start;
  };
  std::vector<Timed> stalled(kStalled);
  std::vector<std::thread> running;
  const Clock::time_point asked = Clock::now();
  for (size_t i = 0; i + 1 < kStalled; ++i)
    running.emplace_back(timed, &stalled[i], [&, i] { return Validate(root, kuid(i)); });
  // Once every host the daemon runs has stalled, the last one waits for a host.
  const size_t most =
      std::clamp<size_t>(std::thread::hardware_concurrency(), CommandHostBroker::kFewestMaxHosts,
                         CommandHostBroker::kMostMaxHosts);  // as MaxHosts()
  const size_t hosts = std::min(kStalled - 1, most);
  const bool full = VUTest::WaitUntil(
      [&] { return Count(HostLog(root), "pausing 600000 ms") >= hosts; }, 60000, 10);
  const size_t waiting = kStalled - 1;
  running.emplace_back(timed, &stalled[waiting], [&] { return Validate(root, kuid(waiting)); });
  // A second after the first were asked (a measured delay; nothing below
  // depends on its length).
  VUTest::WaitUntil([&] { return Clock::now() - asked >= std::chrono::seconds(1); }, 5000, 10);
  ASSERT_TRUE(fs::create_directories(assets + "/again"));
  ASSERT_TRUE(lay(assets + "/again/s", kuid(waiting), true));
  Timed plain;
  Timed install;
  running.emplace_back(timed, &plain, [&] { return Validate(root, "<kuid:100:90>"); });
  running.emplace_back(timed, &install, [&] {
    return RunProgram(tool, {"installfrompath", assets + "/again"}, root + "/bin");
  });
  for (std::thread& thread : running) thread.join();
  ASSERT_TRUE(full) << HostLog(root);

  for (size_t i = 0; i < kStalled; ++i) {
    SCOPED_TRACE(kuid(i));
    const ToolResult& r = stalled[i].result;
    EXPECT_TRUE(Has(r, "- " + kuid(i) + " : Validating the asset in '")) << r.out;
    EXPECT_TRUE(Has(r, "' took longer than 5 seconds, so it was stopped.\n")) << r.out;
    EXPECT_LT(stalled[i].took, std::chrono::seconds(12));
  }
  EXPECT_TRUE(Has(plain.result, "OK (0 Errors, 0 Warnings)") ||
              Has(plain.result, "' took longer than 5 seconds, so it was stopped.\n"))
      << plain.result.out;
  EXPECT_LT(plain.took, std::chrono::seconds(8));
  EXPECT_EQ(install.result.status, 0) << install.result.out << install.result.err;
  EXPECT_TRUE(Has(install.result, "Installed " + kuid(waiting) + ".")) << install.result.out;
  EXPECT_LT(install.took, std::chrono::seconds(8)) << "the waiting validation held its asset";
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
