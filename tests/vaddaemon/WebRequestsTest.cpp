// Web requests served from fixtures (0xE6, 0xE8, 0xE7, notification 4)
// through the client's requests, the fixture lookup, and the needed-items
// selection (0x4A).
#include "assetdb/client/AssetInstall.h"
#include "assetdb/client/SettingsRequests.h"
#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/WebRequests.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "tests/vaddaemon/ClientDaemonFixture.h"
#include "tests/vaddaemon/InstallTestSupport.h"
#include "vaddaemon/WebFixtures.h"

namespace {

using namespace installtest;

const KUID kOffered{4003, 5, 1};
const std::string kQueryText = "0\n{\n  requires <kuid:4003:5>\n}\n";

class DaemonWeb : public ClientDaemonFixture {
 protected:
  DaemonWeb() {
    fixtures_.Put("vandru/search.php?id=7", kQueryText);
    fixtures_.Put("vandru/search.php", "none 1\n");
    fixtures_.MakeFolder("files");
    WriteArchive(fixtures_.At("files/pack.cdp"),
                 {MakeEntry(kOffered, "Offered", {{"a.txt", "a"}}, true)});
  }
  std::vector<std::string> DaemonEnvironment() const override {
    return {"VADDAEMON_WEB_FIXTURES=" + fixtures_.Path()};
  }

  // Starts a request with the client and waits until it is done; its final
  // status (the caller deletes the request).
  static DaemonHttpRequest* Fetch(const char* address, uint32_t mode, DaemonHttpStatus& status) {
    UrlRecord url;
    ParseUrl(address, url);
    DaemonHttpRequest* request = DaemonHttpRequest::Start(url, mode);
    EXPECT_NE(request->GetHandle(), DaemonHttpRequest::kNoHandle) << address;
    EXPECT_TRUE(VUTest::WaitUntil([&] { return request->IsDone(); }, 20000, 20)) << address;
    request->Poll(status);
    return request;
  }

  VUTest::TempFolder fixtures_{"Web"};
};

// A bounded poll of a file's removal, which the daemon does on its own time.
bool GoneWithin(const std::string& path) {
  return VUTest::WaitUntil([&] { return !fs::exists(path); }, 20000);
}

TEST_F(DaemonWeb, QueryIsServedFromFixtureAndForgottenWithItsCopy) {
  DaemonHttpStatus status;
  DaemonHttpRequest* query = Fetch("https://fcy.test/vandru/search.php?id=7", 2, status);
  EXPECT_TRUE(status.done);
  EXPECT_EQ(status.result, 0u);
  EXPECT_TRUE(status.name.Empty());
  EXPECT_EQ(GetFile(status.resultPath), kQueryText);
  EXPECT_EQ(status.third, kQueryText.size());
  // Another query falls back to the file of the bare path.
  DaemonHttpStatus other;
  DaemonHttpRequest* second = Fetch("https://fcy.test/vandru/search.php?id=8", 2, other);
  EXPECT_EQ(GetFile(other.resultPath), "none 1\n");

  // The forget has no answer to wait for: its effect is awaited instead;
  // then the handle is unknown (done, not found).
  const uint64_t handle = query->GetHandle();
  DaemonHttpRequest::Delete(query);
  EXPECT_TRUE(GoneWithin(status.resultPath));
  RawClient raw;
  ASSERT_TRUE(raw.Open(Port(), AssetIndexPath()));
  const Bytes reply = RawAsk(raw, kPollWebRequest, Body().U64(handle));
  BodyReader polled(reply);
  EXPECT_EQ(polled.U8(), 1);
  polled.U32();
  EXPECT_EQ(polled.U32(), 404u);
  // A connection that closes forgets its requests.
  VADClient::Close();
  EXPECT_TRUE(GoneWithin(other.resultPath));
  DaemonHttpRequest::Delete(second);
}

TEST_F(DaemonWeb, UnknownUrlOrModeEndsDoneWithFailure) {
  const std::pair<const char*, uint32_t> cases[] = {{"https://fcy.test/missing.php", 2},
                                                    {"https://fcy.test/../etc/passwd", 0},
                                                    {"https://fcy.test/", 0},
                                                    {"https://fcy.test/files/pack.cdp", 7}};
  for (const auto& [url, mode] : cases) {
    DaemonHttpStatus status;
    DaemonHttpRequest::Delete(Fetch(url, mode, status));
    EXPECT_NE(status.result, 0u) << url;
    EXPECT_TRUE(status.resultPath.empty()) << url;
  }
  // A damaged start gets the handle all ones and nothing more.
  RawClient raw;
  ASSERT_TRUE(raw.Open(Port(), AssetIndexPath()));
  EXPECT_EQ(RawAsk(raw, kStartWebRequest, Bytes{0, 9}), Bytes(8, 0xFF));
}

TEST_F(DaemonWeb, DownloadInstallsThroughArchiveRequestAndNeededItemsFollowStore) {
  // Needed items (no client function of its own here): the offered version
  // is not installed yet, a null one never counts; a count beyond the
  // body's bytes is cut to what the body holds.
  RawClient raw;
  ASSERT_TRUE(raw.Open(Port(), AssetIndexPath()));
  const Bytes items =
      Body().U32(2).K(kOffered).K(kOffered).U32(100).K(kOffered).K(kNullKUID).U32(100);
  EXPECT_EQ(RawAsk(raw, kNeededItems, items), Body().U32(1).U32(0));

  DaemonHttpStatus status;
  DaemonHttpRequest* download = Fetch("https://fcy.test/files/pack.cdp", 0, status);
  ASSERT_EQ(status.result, 0u);
  EXPECT_EQ(fs::path(status.resultPath).extension(), ".cdp");
  EXPECT_EQ(InstallCDP(status.resultPath.c_str(), nullptr, 6, nullptr, nullptr), 1u);
  DaemonHttpRequest::Delete(download);

  EXPECT_EQ(RawAsk(raw, kNeededItems, items), Body().U32(0));
  const KUID other{4003, 6, 0};
  EXPECT_EQ(RawAsk(raw, kNeededItems, Body().U32(0xFFFFFFFFu).K(other).K(other).U32(1)),
            Body().U32(1).U32(0));
}

TEST(WebFixtures, LookupPrefersQueryFileAndRefusesClimbing) {
  VUTest::TempFolder temp("WebFix");
  const std::string& folder = temp.Path();
  temp.Put("a/b.php?x=1", "q");
  temp.Put("a/b.php", "p");
  temp.Put("top.txt", "t");
  EXPECT_EQ(WebFixtures::Lookup(folder, "http://h/a/b.php?x=1"), folder + "/a/b.php?x=1");
  EXPECT_EQ(WebFixtures::Lookup(folder, "http://h:80/a/b.php?x=2"), folder + "/a/b.php");
  EXPECT_EQ(WebFixtures::Lookup(folder, "http://h/a/b.php"), folder + "/a/b.php");
  EXPECT_EQ(WebFixtures::Lookup(folder, "http://h/a/../top.txt"), "");
  EXPECT_EQ(WebFixtures::Lookup(folder, "http://h/a/"), "");
  EXPECT_EQ(WebFixtures::Lookup(folder, "http://h/a"), "");  // a folder
  EXPECT_EQ(WebFixtures::Lookup(folder, "http://h/top.txt?../../x"), folder + "/top.txt");
  EXPECT_EQ(WebFixtures::Lookup("", "http://h/top.txt"), "");
}

// The web login takes its credential from the "internet/weblogin" setting
// and stores it as the password; without one it is refused.
TEST_F(DaemonWeb, WebLoginStoresTheCredentialOfTheSettingsOrIsRefused) {
  DaemonHttpStatus status;
  DaemonHttpRequest::Delete(Fetch("vologin://", 2, status));
  EXPECT_EQ(status.result, 3u);
  ASSERT_TRUE(WriteSetting(Kiv::PString("internet"), Kiv::PString("weblogin"),
                           Kiv::PString("fresh")));
  DaemonHttpRequest::Delete(Fetch("vologin://", 2, status));
  EXPECT_EQ(status.result, 0u);
  EXPECT_EQ(VADClient::RequestF2(), "fresh");
}

}  // namespace
