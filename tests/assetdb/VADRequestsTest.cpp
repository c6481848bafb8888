// The request functions against the scripted fake daemon: bodies byte for
// byte, replies good, short and damaged, and the remembered spec answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#include "assetdb/client/AssetInstall.h"
#include "assetdb/client/FindAssetSpec.h"
#include "assetdb/client/SettingsRequests.h"
#include "assetdb/client/UserNameCache.h"
#include "assetdb/client/VADAssetHandle.h"
#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/WebRequests.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/VADFilterElementBool.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "assetdb/protocol/VADFilterElementString.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/spec/SpecRegistry.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "kiv/Time.h"
#include "tests/support/TempFolder.h"
#include "tests/support/VADClientTestBase.h"
#include "tests/support/WireBody.h"

namespace {

using Bytes = FakeDaemon::Bytes;

const KUID kAsset{100, 200, 0};
const KUID kOther{7, 8, 3};

using W = VUTest::WireBody;

Bytes SoupBytes(const Soup& soup) {
  TBuffer out;
  BinarySoup::Write(out, soup);
  return Bytes(out.GetData()->Data(), out.GetData()->Data() + out.GetSize());
}

class VADRequests : public VADClientTestBase {
 protected:
  void Finish(FakeDaemon& daemon) {
    VADClient::Close();
    EXPECT_TRUE(daemon.WaitDone(3000));
    for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
  }

  // Opens the client on `daemon`, scripted to start web request `handle`
  // (not done yet), play `middle`, then take the request's close; answers
  // the started request (null on failure).
  DaemonHttpRequest* StartWebRequest(FakeDaemon& daemon, uint64_t handle, const char* address,
                                     uint32_t mode,
                                     const std::function<void(const Bytes&)>& middle = {});
};

// The request and reply layouts the client shares with the daemon, byte for
// byte: one row per layout family. A round trip against the daemon
// (tests/vaddaemon/ClientRoundTripTest.cpp) cannot see a mistake made the
// same way at both ends; these bytes can. The rows run in order on one
// connection, so the handle rows also check when 0x20 and 0x1F go out.
TEST_F(VADRequests, RequestAndReplyLayoutsAreByteExact) {
  VADFilterElementGroup filter;
  filter.Add(std::make_unique<VADFilterElementString>(VADFilterElementString::kCategoryList,
                                                      Kiv::PString("BD")));
  filter.Add(std::make_unique<VADFilterElementBool>(VADFilterElementBool::kLocal));
  TBuffer filterStream;
  WriteFilterElement(filterStream, &filter);
  const uint8_t* filterData = filterStream.GetData()->Data();
  const Bytes filterBytes(filterData, filterData + filterStream.GetSize());
  const uint64_t handle = 0x0102030405060708ull;
  Soup stored;
  stored.SetNamedTag(Kiv::PString("username"), "anna");
  const Kiv::PString internet("internet");

  Kiv::PString name;
  Kiv::String text;
  Kiv::File::Path folder;
  uint32_t number = 0;
  bool flag = false, extra = false;
  float progress = 0;
  VADAssetHandleRef ref, second;
  VADAssetHandle* shared = nullptr;
  struct Row {
    uint32_t code;
    Bytes request;
    std::optional<Bytes> reply;  // none for a one-way request
    std::function<void()> call;  // asks, and checks what the client read
  };
  const std::vector<Row> rows = {
      {0x02, filterBytes, W().U32(2).K(kAsset).K(kOther),
       [&] {
         KUIDList found;
         VADClientRequests::SearchAssets(&filter, found);
         ASSERT_EQ(found.Count(), 2u);
         EXPECT_EQ(*found.Begin(), kAsset);
       }},
      {0x17, W().K(kAsset).U8(1), W().PStr("local").Str("a/b"),
       [&] {
         EXPECT_TRUE(VADClientRequests::Request17(kAsset, true, name, text));
         EXPECT_EQ(name.Str() + "|" + text, "local|a/b");
       }},
      {0x1A, W().K(kOther), W().K(kAsset),
       [&] { EXPECT_EQ(VADClientRequests::Request1A(kOther), kAsset); }},
      {0x1D, W().K(kAsset).U32(0xF0), W().PStr("loc").Str("thumb.jpg").U32(5),
       [&] {
         EXPECT_TRUE(VADClientRequests::Request1D(kAsset, 0xF0, name, text, number));
         EXPECT_EQ(name.Str() + "|" + text + "|" + std::to_string(number), "loc|thumb.jpg|5");
       }},
      {0x2A, W().U32(0), W().U32(0),
       [&] {
         KUIDList none, deps;
         EXPECT_TRUE(VADClientRequests::GetDependencyList(none, deps));
         EXPECT_EQ(deps.Count(), 0u);
       }},
      {0x36, W().K(kAsset).Str("red;barn"), std::nullopt,
       [&] { EXPECT_TRUE(VADClientRequests::Request36(kAsset, "red;barn")); }},
      {0x04,
       {},
       W().Bool(true).F32(0.5f).Str("half"),
       [&] {
         EXPECT_TRUE(VADClientRequests::RepairStep04(flag, progress, text));
         EXPECT_TRUE(flag);
         EXPECT_FLOAT_EQ(progress, 0.5f);
         EXPECT_EQ(text, "half");
       }},
      {0x23, W().K(kNullKUID).U8(0).Str("New"),
       W().U64(handle + 1).K(kOther).PStr("editing").Str("e/n"),
       [&] {
         VADAssetHandleRef reserved;
         ASSERT_TRUE(VADClientRequests::Request23(kNullKUID, false, "New", reserved));
         EXPECT_EQ(reserved.handle->kuid, kOther);
         EXPECT_EQ(reserved.handle->folder.Str(), "e/n");
         reserved.handle->daemonHandle = VADAssetHandle::kNoHandle;  // No 0x1F for it.
         ReleaseAssetHandle(reserved);
       }},
      {0x1E, W().K(kAsset).U8(1), W().U64(handle).PStr("local").Str(""),
       [&] {
         ASSERT_TRUE(VADClientRequests::Request1E(kAsset, true, ref, nullptr));
         EXPECT_EQ(ref.status, VADAssetHandleRef::kHandleValid);
         shared = ref.handle;
         EXPECT_TRUE(shared->open);
         // Open, but without a folder: no request, no folder.
         EXPECT_FALSE(VADClientRequests::OpenForEdit(shared, name, folder));
         shared->AddRef();
         second = {shared, VADAssetHandleRef::kHandleValid};
       }},
      {0x21, W().U64(handle), Bytes{1},
       [&] {
         EXPECT_TRUE(VADClientRequests::RevertAsset(ref, nullptr));
         EXPECT_FALSE(ref.Valid());
         EXPECT_FALSE(shared->open);
       }},
      {0x20, W().U64(handle), W().PStr("edit").Str("edit/folder"),
       [&] {
         ASSERT_TRUE(VADClientRequests::OpenForEdit(shared, name, folder));
         EXPECT_EQ(name.Str() + "|" + folder.Str(), "edit|edit/folder");
       }},
      {0x22, W().U64(handle).U32(6), Bytes{1, 1},
       [&] {
         EXPECT_TRUE(VADClientRequests::CommitAsset(second, 6, nullptr, &extra));
         EXPECT_TRUE(extra);
         EXPECT_FALSE(second.Valid());
       }},
      {0x1F, W().U64(handle), Bytes{}, [] {}},  // The last reference went with the commit.
      {0x24, W().K(kAsset).U8(1), Bytes{1},
       [&] { EXPECT_TRUE(VADClientRequests::DeleteAsset(kAsset, true, nullptr)); }},
      {0x27, W().Str("dir").U32(0).U8(0), W().K(kAsset).U8(1),
       [&] {
         EXPECT_EQ(InstallFolder("dir", nullptr, 0, &flag, nullptr), kAsset);
         EXPECT_TRUE(flag);
       }},
      {0x28, W().Str("a.cdp").U32(2).U8(0), W().U32(3).U8(0),
       [&] { EXPECT_EQ(InstallCDP("a.cdp", nullptr, 2, &flag, nullptr), 3u); }},
      {0x30, W().K(kAsset).U32(3), SoupBytes(stored),
       [&] {
         Soup entry;
         CreateCDP(entry, kAsset, nullptr, 3);
         EXPECT_EQ(entry.GetNamedTag(Kiv::PString("username")).Str(), "anna");
       }},
      {0x64, W().PStr("internet"), SoupBytes(stored),
       [&] {
         Soup read;
         ASSERT_TRUE(ReadSettingsGroup(read, internet));
         EXPECT_EQ(read.GetNamedTag(Kiv::PString("username")).Str(), "anna");
       }},
      {0x65, W().PStr("internet").Raw(SoupBytes(stored)), Bytes{},
       [&] {
         Soup holder = stored;
         EXPECT_TRUE(WriteSettingsGroup(internet, holder));
         EXPECT_TRUE(holder.Empty());
       }},
  };

  FakeDaemon daemon;
  daemon.ExpectHandshake();
  for (const Row& row : rows) {
    daemon.ExpectRequest(row.code, row.request);
    if (row.reply) daemon.Reply(*row.reply);
  }
  daemon.ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    row.call();
  }
  Finish(daemon);
}

TEST_F(VADRequests, EmptyAndDamagedRepliesGiveDefaults) {
  FakeDaemon daemon;
  daemon.ExpectHandshake();
  daemon.ExpectRequest(0xB5, {}).Reply({});
  daemon.ExpectRequest(0x1E, W().K(kAsset).U8(1)).Reply({});
  daemon.ExpectRequest(0x3A, {}).Reply({});
  daemon.ExpectRequest(0xFD, {}).Reply({});
  // A count far beyond the reply appends only the KUIDs that are there.
  daemon.ExpectRequest(0x2B, W().K(kAsset)).Reply(W().U32(0x7FFFFFFF).K(kOther));
  daemon.ExpectRequest(0x02, {0, 0, 0, 0}).Reply(FakeDaemon::Words({0}));
  daemon.ExpectRequest(0x14, W().K(kAsset)).Reply({'A', 'C', 'S', '$', 1, 0});
  daemon.ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));

  EXPECT_TRUE(VADClientRequests::RequestB5());
  VADAssetHandleRef ref;
  EXPECT_FALSE(VADClientRequests::Request1E(kAsset, true, ref, nullptr));
  EXPECT_FALSE(ref.Valid());
  EXPECT_TRUE(VADClientRequests::GenerateKUID().IsNull());
  EXPECT_TRUE(VADClientRequests::ListBuilds().Empty());
  KUIDList list;
  EXPECT_TRUE(VADClientRequests::Request2B(kAsset, list));
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(*list.Begin(), kOther);
  KUIDList nothing;
  VADClientRequests::SearchAssets(nullptr, nothing);
  EXPECT_EQ(nothing.Count(), 0u);
  Soup config;
  EXPECT_FALSE(VADClientRequests::GetAssetConfig(kAsset, config));
  EXPECT_TRUE(config.Empty());
  Finish(daemon);
}

Bytes StatusBytes(bool done, uint32_t result, const char* path) {
  return W().Bool(done).U32(11).U32(result).U32(22).Str(path).PStr("");
}

DaemonHttpRequest* VADRequests::StartWebRequest(FakeDaemon& daemon, uint64_t handle,
                                                const char* address, uint32_t mode,
                                                const std::function<void(const Bytes&)>& middle) {
  const Bytes handleBytes = W().U64(handle);
  daemon.ExpectHandshake();
  daemon.ExpectRequest(0xE6).Reply(W().Raw(handleBytes).Raw(StatusBytes(false, 0, "")));
  if (middle) middle(handleBytes);
  daemon.ExpectRequest(0xE7, handleBytes);
  daemon.ExpectGoodbye();
  daemon.Start();
  if (!OpenOn(daemon)) return nullptr;
  UrlRecord url;
  ParseUrl(address, url);
  return DaemonHttpRequest::Start(url, mode);
}

TEST_F(VADRequests, WebRequestStartPollNotifyClose) {
  const uint64_t handle = 77;
  const Bytes handleBytes = W().U64(handle);
  W start;
  start.U8(0).PStr("http://127.0.0.1:8080/query?x=1").U32(2).U32(0xFFFFFFFFu);
  const Bytes startBody = start.Raw(SoupBytes(Soup()));
  FakeDaemon daemon;
  daemon.ExpectHandshake();
  daemon.ExpectRequest(0xE6, startBody).Reply(W().Raw(handleBytes).Raw(StatusBytes(false, 0, "")));
  // The final status is pushed before the poll's reply, which it overtakes.
  daemon.ExpectRequest(0xE8, handleBytes);
  daemon.Note(4, W().U64(999).Raw(StatusBytes(true, 5, "x")));
  daemon.Note(4, W().Raw(handleBytes).Raw(StatusBytes(true, 0, "/tmp/result.txt")));
  daemon.Reply(StatusBytes(false, 0, ""));
  daemon.ExpectRequest(0xE7, handleBytes);
  daemon.ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));

  UrlRecord url;
  ParseUrl("http://127.0.0.1:8080/query?x=1", url);
  DaemonHttpRequest* request = DaemonHttpRequest::Start(url, DaemonHttpRequest::kModeQuery);
  ASSERT_EQ(request->GetHandle(), handle);
  EXPECT_TRUE(request->StatusReceived());
  DaemonHttpStatus status;
  request->Poll(status);
  EXPECT_TRUE(status.done);  // The stale reply did not undo the pushed status.
  EXPECT_TRUE(request->IsDone());
  EXPECT_EQ(request->GetResult(), 0u);  // The unregistered handle 999 changed nothing.
  Kiv::String path;
  Kiv::PString name;
  EXPECT_TRUE(request->GetResultPath(path, name));
  EXPECT_EQ(path, "/tmp/result.txt");
  DaemonHttpRequest::Delete(request);
  EXPECT_EQ(DaemonHttpRequest::RegisteredCount(), 0u);
  Finish(daemon);
}

// A pushed status can be lost (it may arrive before the request is
// registered): IsDone keeps asking until the daemon answers done.
TEST_F(VADRequests, WebRequestIsDoneAsksUntilTheStatusIsDone) {
  FakeDaemon daemon;
  DaemonHttpRequest* request = StartWebRequest(
      daemon, 6, "http://h/a.cdp", DaemonHttpRequest::kModeDownload, [&](const Bytes& handleBytes) {
        daemon.ExpectRequest(0xE8, handleBytes).Reply(StatusBytes(false, 0, ""));
        daemon.ExpectRequest(0xE8, handleBytes).Reply(StatusBytes(true, 0, "/tmp/done.cdp"));
      });
  ASSERT_NE(request, nullptr);
  EXPECT_FALSE(request->IsDone());
  EXPECT_TRUE(request->IsDone());
  EXPECT_TRUE(request->IsDone());  // Final: no more polls.
  DaemonHttpRequest::Delete(request);
  Finish(daemon);
}

// The reader thread may push the final status between the moment a poll's
// reply is read and the moment it is applied: the older reply loses.
TEST_F(VADRequests, FinalWebStatusIsNotUndoneByAnOvertakenReply) {
  FakeDaemon daemon;
  DaemonHttpRequest* request = StartWebRequest(daemon, 5, "http://h/", 0);
  ASSERT_NE(request, nullptr);
  const auto stream = [](const Bytes& bytes) {
    auto buffer = std::make_unique<TBuffer>();
    TStreamWriteBytes(*buffer, bytes.data(), uint32_t(bytes.size()));
    TStreamRewind(*buffer);
    return buffer;
  };
  DaemonHttpRequest::DispatchStatus(5, *stream(StatusBytes(true, 0, "/tmp/final.txt")));
  DaemonHttpRequest::ApplyStatus(*stream(StatusBytes(false, 0, "")), *request);
  EXPECT_TRUE(request->IsDone());
  Kiv::String path;
  Kiv::PString name;
  EXPECT_TRUE(request->GetResultPath(path, name));  // Done: answered without a poll.
  EXPECT_EQ(path, "/tmp/final.txt");
  DaemonHttpRequest::Delete(request);
  Finish(daemon);
}

TEST_F(VADRequests, WebRequestThatNeverFinishesEndsAfterTheBound) {
  FakeDaemon daemon;
  DaemonHttpRequest::SetTimeoutForTests(0);
  DaemonHttpRequest* request = StartWebRequest(daemon, 5, "http://h/", 0);
  ASSERT_NE(request, nullptr);
  EXPECT_TRUE(request->IsDone());  // No poll goes out: the bound has passed.
  EXPECT_EQ(request->GetResult(), DaemonHttpRequest::kResultTimedOut);
  DaemonHttpRequest::Delete(request);
  DaemonHttpRequest::SetTimeoutForTests(DaemonHttpRequest::kDefaultTimeoutMs);
  Finish(daemon);
}

TEST_F(VADRequests, UserNamesAreAskedOnceAndLowerCased) {
  UserNameCache::Init();
  FakeDaemon daemon;
  daemon.ExpectHandshake();
  daemon.ExpectRequest(0x5A, W().U32(31)).Reply(W().U32(4).PStr("Anna"));
  daemon.ExpectRequest(0x5A, W().U32(32)).Reply(W().U32(0xFFFFFFFFu).PStr(""));
  daemon.ExpectRequest(0x5A, FakeDaemon::Words({32})).Reply({});
  daemon.ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));
  EXPECT_EQ(GetUserName(31).Str(), "anna");
  EXPECT_EQ(GetUserName(31).Str(), "anna");  // from the cache
  EXPECT_EQ(GetUserName(0).Str(), "-");
  EXPECT_TRUE(GetUserName(32).Empty());
  EXPECT_TRUE(GetUserName(32).Empty());  // not cached: asked again
  Finish(daemon);
  EXPECT_EQ(daemon.Requests().size(), 3u);
  UserNameCache::Clear();
}

TEST_F(VADRequests, SpecLookupRemembersOnlyRealAnswers) {
  ForgetRememberedSpecAnswers();
  // Unreachable first: nothing is remembered.
  SpecRef spec;
  EXPECT_FALSE(GetSpecForKUID(spec, kAsset, nullptr));
  EXPECT_FALSE(GetSpecForKUID(spec, kNullKUID, nullptr));

  FakeDaemon daemon;
  daemon.ExpectHandshake();
  daemon.ExpectRequest(0x1A, W().K(kAsset)).Reply(W().K(kAsset));
  daemon.ExpectRequest(0x17, W().K(kAsset).U8(0)).Reply(W().PStr("").Str(""));
  daemon.ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));
  EXPECT_FALSE(GetSpecForKUID(spec, kAsset, nullptr));  // asks 0x1A and 0x17
  EXPECT_FALSE(GetSpecForKUID(spec, kAsset, nullptr));  // remembered: no request
  Finish(daemon);
  EXPECT_EQ(daemon.Requests().size(), 2u);
  ForgetRememberedSpecAnswers();
}

bool OnlyNamed(const BrindlemoxSpec& spec) {
  return spec.folderName == "never";
}

TEST_F(VADRequests, SpecLoadedFromTheFolderTheDaemonNames) {
  ForgetRememberedSpecAnswers();
  VUTest::TempFolder root("Requests");
  ASSERT_TRUE(root.Made());
  const std::string folder = root.Path() + "/assets/barn";
  ASSERT_TRUE(Kiv::File::Md(folder));
  std::ofstream(folder + "/config.txt") << "kind \"scenery\"\nusername \"Barn\"\n";
  const std::string emptyFolder = root.Path() + "/assets/empty";
  ASSERT_TRUE(Kiv::File::Md(emptyFolder));

  FakeDaemon daemon;
  daemon.ExpectHandshake();
  daemon.ExpectRequest(0x1A, W().K(kAsset)).Reply(W().K(kAsset));
  daemon.ExpectRequest(0x17).Reply(W().PStr("").Str(folder + "/"));
  daemon.ExpectRequest(0x1A, W().K(kOther)).Reply(W().K(kOther));
  daemon.ExpectRequest(0x17).Reply(W().PStr("").Str(emptyFolder));
  daemon.ExpectRequest(0x1A, W().K(kOther)).Reply(W().K(kOther));  // not remembered: asked again
  daemon.ExpectRequest(0x17).Reply(W().PStr("nosuchlocation").Str("../../etc"));
  daemon.Serve({});
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));
  ASSERT_NE(SpecRegistry::Instance(), nullptr);

  SpecRef spec;
  ASSERT_TRUE(GetSpecForKUID(spec, kAsset, nullptr));
  EXPECT_EQ(spec->asset, kAsset);
  EXPECT_EQ(spec->folderName, "barn");
  EXPECT_EQ(spec->parentFolder, root.Path() + "/assets");
  SpecRef again;
  EXPECT_FALSE(GetSpecForKUID(again, kAsset, &OnlyNamed));  // registered, but rejected
  ASSERT_TRUE(GetSpecForKUID(again, kAsset, nullptr));      // remembered, found, no request
  EXPECT_EQ(again.Get(), spec.Get());

  const uint32_t specsBefore = SpecRegistry::Instance()->SpecCount();
  SpecRef none;
  EXPECT_FALSE(GetSpecForKUID(none, kOther, nullptr));  // folder without configuration
  EXPECT_EQ(SpecRegistry::Instance()->SpecCount(), specsBefore);
  EXPECT_FALSE(GetSpecForKUID(none, kOther, nullptr));  // a folder outside any location is refused
  spec.Release();
  again.Release();
  VADClient::Close();
  daemon.Stop();
  EXPECT_TRUE(daemon.Failures().empty());
  ForgetRememberedSpecAnswers();
}

}  // namespace
