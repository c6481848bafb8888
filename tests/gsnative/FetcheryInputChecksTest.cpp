// What the download-service query accepts from the service and the daemon:
// download URLs, result paths, the answer file and the settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "gsnative/FetcheryInputChecks.h"
#include "gsnative/FetcherySettings.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

TEST(FetcheryInputChecks, DownloadUrlsThatLeaveTheirFolderOrWereCutAreRefused) {
  const std::string longPath = "https://h.test/" + std::string(300, 'a') + ".cdp";
  const struct {
    std::string url;
    bool refused;
  } cases[] = {
      {"https://h.test/files/a.cdp", false},
      {"HTTP://h.test/files/a..b.cdp?x=../y", false},
      {longPath, true},
      {"file://h.test/etc/passwd", true},
      {"ftp://h.test/a.cdp", true},
      {"https://h.test/files/../../a.cdp", true},
      {"https://h.test/files/%2E%2e/a.cdp", true},
      {"https://h.test/files\\..\\a.cdp", true},
      {"https://h.test/..", true},
  };
  for (const auto& c : cases) {
    UrlRecord url;
    const bool whole = ParseUrl(c.url.c_str(), url);
    EXPECT_EQ(RefuseDownloadUrl(url, whole) != nullptr, c.refused) << c.url;
  }
}

class FetcheryFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.Made());
    temp_.MakeFolder("web/sub");
    temp_.MakeFolder("other");
  }
  // Writes `bytes` to `path`, a path below top_.
  void Put(const std::string& path, const std::string& bytes) {
    temp_.Put(path.substr(top_.size() + 1), bytes);
  }
  const VUTest::TempFolder temp_{"fcy"};
  const std::string top_ = temp_.Path();
};

TEST_F(FetcheryFiles, ResultPathsOutsideTheDownloadFolderAreRefused) {
  Put(top_ + "/web/1.cdp", "x");
  Put(top_ + "/other/secret.cdp", "x");
  fs::create_symlink(top_ + "/other/secret.cdp", top_ + "/web/link.cdp");
  fs::create_symlink(top_ + "/other", top_ + "/web/away");
  const Kiv::File::Path folder(top_ + "/web");
  const struct {
    std::string path;
    bool inside;
  } cases[] = {
      {top_ + "/web/1.cdp", true},
      {top_ + "/web/sub/../1.cdp", true},
      {top_ + "/web/sub/2.cdp", true},
      {top_ + "/web", false},
      {top_ + "/web/", false},
      {top_ + "/webx/1.cdp", false},
      {top_ + "/web/../other/secret.cdp", false},
      {top_ + "/web/link.cdp", false},
      {top_ + "/web/away/secret.cdp", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsInDownloadFolder(folder, c.path), c.inside) << c.path;
  EXPECT_FALSE(IsInDownloadFolder(Kiv::File::Path(), top_ + "/web/1.cdp"));
}

TEST_F(FetcheryFiles, AnswersLoadAsTextWithinTheirBound) {
  const std::string garbage("\x00\xff{{}}\"\x01", 8);
  Put(top_ + "/web/answer.php", "0 {\n requires <kuid:1:2>\n}\n");
  Put(top_ + "/web/garbage.bin", std::string("0 {\n a 1\n") + garbage + "}}}");
  Put(top_ + "/web/huge.txt", std::string(kMaxAnswerBytes + 1, ' '));
  Put(top_ + "/web/full.txt", std::string(kMaxAnswerBytes - 8, ' ') + "none 1\n");
  const struct {
    const char* name;
    AnswerLoad load;
    uint32_t tags;
  } cases[] = {
      {"answer.php", AnswerLoad::kLoaded, 1},      {"garbage.bin", AnswerLoad::kLoaded, 1},
      {"huge.txt", AnswerLoad::kTooLarge, 0},      {"full.txt", AnswerLoad::kLoaded, 1},
      {"missing.txt", AnswerLoad::kCannotRead, 0}, {"sub", AnswerLoad::kCannotRead, 0},
  };
  for (const auto& c : cases) {
    Soup soup;
    EXPECT_EQ(LoadFetcheryAnswer(top_ + "/web/" + c.name, soup), c.load) << c.name;
    EXPECT_EQ(soup.CountTags(), c.tags) << c.name;
  }
}

TEST(FetcherySettings, ValuesOutsideTheirRangeAreNotTaken) {
  const struct {
    const char* text;
    bool taken;
  } hosts[] = {{"fcy.test", true}, {"127.0.0.1:8443", true}, {"a-b.c", true},    {"", false},
               {"h/x", false},     {"h:0", false},           {"h:65536", false}, {"h:", false},
               {"h@evil", false},  {nullptr, false}};
  for (const auto& c : hosts) {
    Kiv::String host = "kept";
    EXPECT_EQ(FetcherySettings::ParseHost(c.text, &host), c.taken) << (c.text ? c.text : "(null)");
    EXPECT_EQ(host, c.taken ? c.text : "kept");
  }
  Kiv::String host;
  EXPECT_TRUE(FetcherySettings::ParseHost(std::string(127, 'h').c_str(), &host));
  EXPECT_FALSE(FetcherySettings::ParseHost(std::string(128, 'h').c_str(), &host));
  const struct {
    const char* text;
    uint32_t ms;
  } waits[] = {{"1", 1},  {"600000", 600000}, {"0", 0}, {"600001", 0},
               {"-5", 0}, {"1e3", 0},         {"", 0}};
  for (const auto& c : waits) {
    uint32_t ms = 0;
    EXPECT_EQ(FetcherySettings::ParseWaitMs(c.text, &ms), c.ms != 0) << c.text;
    EXPECT_EQ(ms, c.ms) << c.text;
  }
}

}  // namespace
