// Web requests served from fixtures (0xE6, 0xE8, 0xE7, notification 4), the
// fixture lookup, and the needed-items selection (0x4A).
#include "tests/support/TempFolder.h"
#include "tests/vaddaemon/DaemonFixture.h"
#include "tests/vaddaemon/InstallTestSupport.h"
#include "vaddaemon/WebFixtures.h"

namespace {

using namespace installtest;

const KUID kOffered{4003, 5, 1};
const std::string kQueryText = "0\n{\n  requires <kuid:4003:5>\n}\n";

struct WebStatus {
  uint8_t done = 0;
  uint32_t second = 0;
  uint32_t result = 0;
  uint32_t third = 0;
  std::string path;
  std::string name;
};

WebStatus ReadStatus(BodyReader& reader) {
  WebStatus status;
  status.done = reader.U8();
  status.second = reader.U32();
  status.result = reader.U32();
  status.third = reader.U32();
  status.path = reader.String();
  status.name = reader.String();
  return status;
}

Bytes StartBody(std::string_view url, uint32_t mode) {
  return Body().U8(0).PStr(url).U32(mode).U32(0xFFFFFFFFu).Raw(SoupBytes(Soup()));
}

Bytes HandleBody(uint64_t handle) {
  return Body().U64(handle);
}

class DaemonWeb : public DaemonFixture {
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

  // Starts a request; its handle and the status of the reply.
  uint64_t Start(RawClient& client, uint32_t id, std::string_view url, uint32_t mode,
                 WebStatus* status) {
    Bytes reply;
    EXPECT_TRUE(client.Transact(kStartWebRequest, id, StartBody(url, mode), &reply));
    BodyReader reader(reply);
    const uint64_t handle = reader.U64();
    *status = ReadStatus(reader);
    EXPECT_TRUE(reader.AtEnd());
    return handle;
  }

  // Reads the notification 4 of `handle`.
  WebStatus Pushed(RawClient& client, uint64_t handle) {
    RawClient::Frame frame;
    EXPECT_TRUE(client.ReadFrame(frame));
    EXPECT_TRUE(frame.IsNote());
    EXPECT_EQ(frame.word, kNoteWeb);
    BodyReader reader(frame.body);
    EXPECT_EQ(reader.U64(), handle);
    WebStatus status = ReadStatus(reader);
    EXPECT_TRUE(reader.AtEnd());
    return status;
  }

  WebStatus Poll(RawClient& client, uint32_t id, uint64_t handle) {
    Bytes reply;
    EXPECT_TRUE(client.Transact(kPollWebRequest, id, HandleBody(handle), &reply));
    BodyReader reader(reply);
    WebStatus status = ReadStatus(reader);
    EXPECT_TRUE(reader.AtEnd());
    return status;
  }

  VUTest::TempFolder fixtures_{"Web"};
};

// A bounded poll of a file's removal, which the daemon does on its own time.
bool GoneWithin(const std::string& path) {
  return VUTest::WaitUntil([&] { return !fs::exists(path); }, 20000);
}

TEST_F(DaemonWeb, QueryIsServedFromFixtureAndForgottenWithItsCopy) {
  auto client = Connect();
  ASSERT_TRUE(client);
  WebStatus status;
  const uint64_t handle = Start(*client, 1, "https://fcy.test/vandru/search.php?id=7", 2, &status);
  ASSERT_NE(handle, ~uint64_t(0));
  EXPECT_EQ(status.done, 0);
  status = Pushed(*client, handle);
  EXPECT_EQ(status.done, 1);
  EXPECT_EQ(status.result, 0u);
  EXPECT_TRUE(status.name.empty());
  EXPECT_EQ(GetFile(status.path), kQueryText);
  EXPECT_EQ(status.third, kQueryText.size());
  const WebStatus polled = Poll(*client, 2, handle);
  EXPECT_EQ(polled.done, 1);
  EXPECT_EQ(polled.path, status.path);

  // Another query falls back to the file of the bare path.
  WebStatus other;
  const uint64_t second = Start(*client, 3, "https://fcy.test/vandru/search.php?id=8", 2, &other);
  other = Pushed(*client, second);
  EXPECT_EQ(GetFile(other.path), "none 1\n");

  // Requests run on the daemon's worker pool, so the forget has no answer to
  // wait for: its effect is awaited instead.
  ASSERT_TRUE(client->SendRequest(kForgetWebRequest, 0, HandleBody(handle)));
  EXPECT_TRUE(GoneWithin(status.path));
  EXPECT_EQ(Poll(*client, 5, handle).result, 404u);  // unknown handle: done, not found

  // A connection that closes forgets its requests.
  client->Close();
  EXPECT_TRUE(GoneWithin(other.path));
}

TEST_F(DaemonWeb, UnknownUrlOrModeEndsDoneWithFailure) {
  auto client = Connect();
  ASSERT_TRUE(client);
  const std::vector<std::pair<std::string, uint32_t>> cases = {
      {"https://fcy.test/missing.php", 2},
      {"https://fcy.test/../etc/passwd", 0},
      {"https://fcy.test/", 0},
      {"https://fcy.test/files/pack.cdp", 7}};
  uint32_t id = 1;
  for (const auto& [url, mode] : cases) {
    WebStatus status;
    const uint64_t handle = Start(*client, id++, url, mode, &status);
    ASSERT_NE(handle, ~uint64_t(0)) << url;
    status = Pushed(*client, handle);
    EXPECT_EQ(status.done, 1) << url;
    EXPECT_NE(status.result, 0u) << url;
    EXPECT_TRUE(status.path.empty()) << url;
  }
  // A damaged start gets the handle all ones and nothing more.
  Bytes reply;
  ASSERT_TRUE(client->Transact(kStartWebRequest, id, Bytes{0, 9}, &reply));
  EXPECT_EQ(reply, Bytes(8, 0xFF));
}

TEST_F(DaemonWeb, DownloadInstallsThroughArchiveRequestAndNeededItemsFollowStore) {
  auto client = Connect();
  ASSERT_TRUE(client);
  // Needed items: the offered version is not installed yet, a null one
  // never counts.
  const Bytes items =
      Body().U32(2).K(kOffered).K(kOffered).U32(100).K(kOffered).K(kNullKUID).U32(100);
  Bytes reply;
  ASSERT_TRUE(client->Transact(kNeededItems, 1, items, &reply));
  EXPECT_EQ(reply, Body().U32(1).U32(0));

  WebStatus status;
  const uint64_t handle = Start(*client, 2, "https://fcy.test/files/pack.cdp", 0, &status);
  status = Pushed(*client, handle);
  ASSERT_EQ(status.result, 0u);
  EXPECT_EQ(fs::path(status.path).extension(), ".cdp");
  ASSERT_TRUE(client->Transact(kInstallArchive, 3, InstallBody(status.path, 6, 0), &reply));
  EXPECT_EQ(BodyReader(reply).U32(), 1u);

  ASSERT_TRUE(client->Transact(kNeededItems, 4, items, &reply));
  EXPECT_EQ(reply, Body().U32(0));
  // A count beyond the body's bytes is cut to what the body holds.
  const KUID other{4003, 6, 0};
  ASSERT_TRUE(
      client->Transact(kNeededItems, 5, Body().U32(0xFFFFFFFFu).K(other).K(other).U32(1), &reply));
  EXPECT_EQ(reply, Body().U32(1).U32(0));
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

}  // namespace

TEST_F(DaemonWeb, WebLoginStoresTheCredentialOfTheSettingsOrIsRefused) {
  auto client = Connect();
  ASSERT_TRUE(client);
  WebStatus status;
  uint64_t handle = Start(*client, 1, "vologin://", 2, &status);
  EXPECT_EQ(Pushed(*client, handle).result, 3u);  // no credential to obtain: refused
  Bytes reply;
  ASSERT_TRUE(client->Transact(kWriteSetting, 2,
                               Body().PStr("internet").PStr("weblogin").PStr("fresh"), &reply));
  handle = Start(*client, 3, "vologin://", 2, &status);
  EXPECT_EQ(Pushed(*client, handle).result, 0u);
  ASSERT_TRUE(client->Transact(kGetCredential, 4, {}, &reply));
  EXPECT_EQ(reply, Body().Str("fresh"));
}
