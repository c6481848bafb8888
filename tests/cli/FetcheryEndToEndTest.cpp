// "installfromfcy" end to end: the built tool against the daemon serving the
// download service's answers and archives from a fixture folder and logging
// every request. Each case checks the printed lines, the exit status and
// what the daemon was asked; the reply checks are in tests/gsnative.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "assetdb/archive/CDPBuilder.h"
#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
#include "tests/cli/ToolFixture.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kSearchPath = "vandru/FCYT_Search_Text.php";

std::string gFixtures;
std::string gRequestLog;

std::string SearchQuery(const std::string& shortForm) {
  return "?Banners=1&SearchCriteria=" + shortForm + "&textsearchID=1&DependencyLevel=5";
}

// One offered item of an answer; its archive is served from "dl/<file>".
std::string Item(int number, const char* required, const char* latest, const std::string& file) {
  return std::to_string(number) + " {\n  requires " + required + "\n  latest-version " + latest +
         "\n  latest-version-size 1000\n  latest-version-path \"https://dl.test/dl/" + file +
         "\"\n  result \"ok\"\n  asset-name \"Offered\"\n}\n";
}

// An archive holding one asset.
void WriteAssetArchive(const std::string& path, const char* kuidTag) {
  Soup archive;
  Soup entry = CDP::MakeLZSSOptions();
  entry.SetNamedKUID(Kiv::PString("kuid"), ParseKUID(kuidTag, true));
  entry.SetNamedTag(Kiv::PString("kind"), std::string_view("scenery"));
  entry.SetNamedTag(Kiv::PString("username"), std::string_view("Offered asset"));
  Kiv::PString message;
  CDP::AddContent(archive, message, entry);
  CDP::WriteArchive(archive, message, path);
  ASSERT_TRUE(message.View().empty()) << message.View();
}

struct Download {
  std::string file;   // Served as "dl/<file>".
  const char* asset;  // The KUID the archive holds.
};

struct FcyCase {
  const char* name;
  const char* kuid;       // The argument.
  const char* shortForm;  // Its short form in the search URL.
  std::string answer;     // The search's answer ("" serves none).
  std::vector<Download> downloads;
  const char* installedBefore;   // Installed from a folder first (or null).
  const char* host;              // VANDRUUTIL_FCY_HOST (null: unset).
  std::vector<std::string> out;  // Lines of standard output, in this order.
  int status;
  // Requests 0xE6 mode 2 (searches), 0x4A (needed), 0xE6 mode 0 (fetches),
  // 0x28 (installs).
  int searches, needed, fetches, installs;
  std::vector<const char*> installedAfter;
};

void PrintTo(const FcyCase& c, std::ostream* os) {
  *os << c.name;
}

const char* const kOk = "OK (0 Errors, 0 Warnings)";
const char* const kOneError = "OK (1 Errors, 0 Warnings)";

std::vector<FcyCase> Cases() {
  const std::string withDependencies =
      Item(0, "<kuid2:523:8001:2>", "<kuid2:523:8001:2>", "a.cdp") +
      Item(1, "<kuid:523:8002>", "<kuid:523:8002>", "b.cdp") +
      Item(2, "<kuid2:523:8003:1>", "<kuid2:523:8003:3>", "c.cdp") +
      Item(3, "<kuid2:523:8003:2>", "<kuid2:523:8003:3>", "c-again.cdp");
  // clang-format off
  return {
      {"AssetAlreadyPresentAsksNothing", "<kuid:523:8100>", "523:8100", "", {}, "<kuid:523:8100>",
       nullptr, {kOk}, 0, 0, 0, 0, 0, {}},
      {"DependenciesInstalledOncePerVersion", "<kuid2:523:8001:2>", "523:8001:2", withDependencies,
       {{"a.cdp", "<kuid2:523:8001:2>"}, {"b.cdp", "<kuid:523:8002>"},
        {"c.cdp", "<kuid2:523:8003:3>"}, {"c-again.cdp", "<kuid2:523:8003:3>"}},
       nullptr, "fcy.test", {kOk}, 0, 1, 1, 3, 3,
       {"<kuid2:523:8001:2>", "<kuid:523:8002>", "<kuid2:523:8003:3>"}},
      {"FailedSearchIsReported", "<kuid:523:8300>", "523:8300", "", {}, nullptr, nullptr,
       {"- <NULL> : Failed to query FCY for <kuid:523:8300>", kOneError}, 0, 1, 0, 0, 0, {}},
      {"GarbageIsAMissingAssetID", "garbage", "", "", {}, nullptr, nullptr,
       {"- <NULL> : Missing AssetID parameter.", kOneError}, 255, 0, 0, 0, 0, {}},
  };
  // clang-format on
}

std::string CaseName(const ::testing::TestParamInfo<FcyCase>& info) {
  return info.param.name;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// True when `wanted` occur in `lines` in this order (others may lie between).
bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& wanted) {
  size_t next = 0;
  for (const std::string& line : lines) {
    if (next < wanted.size() && line == wanted[next]) ++next;
  }
  return next == wanted.size();
}

class FetcheryEndToEnd : public ToolFixture {
 public:
  static void SetUpTestSuite() {
    ToolFixture::SetUpTestSuite();
    // A daemon started before these settings would serve nothing.
    StopDaemon();
    gFixtures = MakeTempFolder();
    gRequestLog = MakeTempFolder() + "/requests.log";
    ::setenv("VADDAEMON_WEB_FIXTURES", gFixtures.c_str(), 1);
    ::setenv("VADDAEMON_REQUEST_LOG", gRequestLog.c_str(), 1);
  }
  static void TearDownTestSuite() {
    ToolFixture::TearDownTestSuite();
    ::unsetenv("VADDAEMON_WEB_FIXTURES");
    ::unsetenv("VADDAEMON_REQUEST_LOG");
  }

 protected:
  void SetUp() override { ASSERT_TRUE(WriteFile(gRequestLog, "")); }

  // The tool with these settings in its environment (null: unset).
  static ToolResult RunWith(const std::vector<std::string>& args, const char* host,
                            const char* waitMs, int timeoutMs = kRunTimeoutMs) {
    SetOrUnset("VANDRUUTIL_FCY_HOST", host);
    SetOrUnset("VANDRUUTIL_FCY_WAIT_MS", waitMs);
    ToolResult result = Run(args, "", timeoutMs);
    SetOrUnset("VANDRUUTIL_FCY_HOST", nullptr);
    SetOrUnset("VANDRUUTIL_FCY_WAIT_MS", nullptr);
    return result;
  }

  static void ServeSearch(const std::string& shortForm, const std::string& answer,
                          const std::string& status) {
    const std::string fixture = gFixtures + "/" + kSearchPath + SearchQuery(shortForm);
    fs::create_directories(fs::path(fixture).parent_path());
    if (!answer.empty()) {
      ASSERT_TRUE(WriteFile(fixture, answer));
    }
    if (!status.empty()) {
      ASSERT_TRUE(WriteFile(fixture + ".webstatus.txt", status));
    }
  }

  static void InstallFromFolder(const char* kuidTag) {
    const std::string folder = MakeTempFolder() + "/asset";
    fs::create_directories(folder);
    ASSERT_TRUE(
        WriteFile(folder + "/config.txt", std::string("kuid ") + kuidTag + "\nkind scenery\n"));
    const ToolResult installed = Run({"installfrompath", folder});
    ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
  }

  // The request log's lines that start with `prefix`.
  static std::vector<std::string> Requests(const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : Lines(ReadFile(gRequestLog))) {
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
  }

 private:
  static void SetOrUnset(const char* name, const char* value) {
    if (value == nullptr) {
      ::unsetenv(name);
      return;
    }
    ::setenv(name, value, 1);
  }
};

class FetcheryCases : public FetcheryEndToEnd, public ::testing::WithParamInterface<FcyCase> {};

TEST_P(FetcheryCases, OutputStatusAndRequestsMatch) {
  const FcyCase& c = GetParam();
  if (c.installedBefore != nullptr) InstallFromFolder(c.installedBefore);
  if (*c.shortForm != '\0') ServeSearch(c.shortForm, c.answer, "");
  fs::create_directories(gFixtures + "/dl");
  for (const Download& d : c.downloads) {
    WriteAssetArchive(gFixtures + "/dl/" + d.file, d.asset);
  }
  ASSERT_TRUE(WriteFile(gRequestLog, ""));

  const ToolResult r = RunWith({"installfromfcy", c.kuid}, c.host, nullptr);
  EXPECT_EQ(r.status, c.status) << r.out << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  EXPECT_TRUE(InOrder(lines, c.out)) << r.out;
  EXPECT_EQ(lines.empty() ? "" : lines.back(), c.out.back());

  const std::vector<std::string> searches = Requests("0xE6 mode 2 ");
  EXPECT_EQ(int(searches.size()), c.searches) << ReadFile(gRequestLog);
  if (c.searches == 1) {
    const std::string host = c.host != nullptr ? c.host : "fcy.vandru.invalid";
    EXPECT_EQ(searches[0],
              "0xE6 mode 2 https://" + host + "/" + kSearchPath + SearchQuery(c.shortForm));
  }
  EXPECT_EQ(int(Requests("0x4A").size()), c.needed) << ReadFile(gRequestLog);
  EXPECT_EQ(int(Requests("0xE6 mode 0 ").size()), c.fetches) << ReadFile(gRequestLog);
  EXPECT_EQ(int(Requests("0x28 mode 6 ").size()), c.installs) << ReadFile(gRequestLog);
  for (const char* kuid : c.installedAfter) {
    const ToolResult shown = Run({"status", kuid});
    EXPECT_EQ(shown.status, 0) << shown.out;
    EXPECT_EQ(shown.out.rfind(std::string("+ ") + kuid + " : eI", 0), 0u) << shown.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Queries, FetcheryCases, ::testing::ValuesIn(Cases()), CaseName);

TEST_F(FetcheryEndToEnd, SearchThatNeverCompletesEndsWithinTheBound) {
  ServeSearch("523:8600", "none 1\n", "pending 1\n");
  // A hang would be killed after 30 s (timedOut); the bound is 1.5 s.
  const ToolResult r = RunWith({"installfromfcy", "<kuid:523:8600>"}, nullptr, "1500", 30000);
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  const std::string url =
      "https://fcy.vandru.invalid/" + std::string(kSearchPath) + SearchQuery("523:8600");
  EXPECT_TRUE(
      InOrder(Lines(r.out),
              {"- <NULL> : The web request did not finish within 1.5 seconds: " + url,
               "- <NULL> : Failed to query FCY for <kuid:523:8600>", "OK (2 Errors, 0 Warnings)"}))
      << r.out;
  EXPECT_EQ(Requests("0xE6").size(), 1u);
  EXPECT_TRUE(Requests("0x4A").empty());
}

}  // namespace
