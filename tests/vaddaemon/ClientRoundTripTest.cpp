// The client's request functions against the daemon process: each request
// is encoded by the client, served by the daemon and its reply decoded by
// the client, so both ends are checked at once. The wire layouts the two
// must share byte for byte are fixed by the client's golden table
// (tests/assetdb/VADRequestsTest.cpp); what the client never sends (hostile
// bodies, another connection's handles, the local-data requests) goes over
// a raw socket here.
#include <filesystem>
#include <string>
#include <vector>

#include "assetdb/client/SettingsRequests.h"
#include "assetdb/client/UserNameCache.h"
#include "assetdb/client/VADAssetHandle.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/VADFilterElementBool.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "assetdb/protocol/VADFilterElementString.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "tests/support/WaitUntil.h"
#include "tests/vaddaemon/ClientDaemonFixture.h"
#include "tests/vaddaemon/InstallTestSupport.h"

namespace {

using namespace installtest;
using Client = VADClient;

const KUID kTrack{4100, 1, 0};
const KUID kBridge{4100, 2, 0};
const KUID kSignal{4100, 3, 1};
const KUID kMissing{4100, 99, 0};
const KUID kOld{4100, 50, 0};

std::vector<KUID> Contents(KUIDList& list) {
  std::vector<KUID> out;
  for (const KUID& kuid : list) out.push_back(kuid);
  return out;
}

bool Logged(ResultsLog& log, uint32_t severity, std::string_view part) {
  return HasMessage(log.Messages(), severity, part);
}

class ClientRoundTrip : public ClientDaemonFixture {
 protected:
  std::vector<std::string> DaemonEnvironment() const override {
    return {"VADDAEMON_REPAIR_STEP_MS=150"};
  }

  static AssetRecord Info(const KUID& kuid) {
    AssetRecord record;
    EXPECT_TRUE(Client::GetAssetInfo(kuid, 0xFFFFFFFF, record)) << kuid.contentId;
    return record;
  }
  static int Bit(const KUID& kuid, int i) { return int((Info(kuid).status >> i) & 1); }

  // Writes a configuration (plus `files`) into `folder`.
  static void WriteConfig(const std::string& folder, const KUID& kuid, std::string_view name,
                          std::string_view category, const std::vector<KUID>& dependencies,
                          const std::vector<KUID>& obsoletes = {}, const FileMap& files = {}) {
    std::string text = "kuid " + std::string(KUIDToTagString(kuid).View()) + "\nkind \"scenery\"\n";
    text += "username \"" + std::string(name) + "\"\ncategory \"" + std::string(category) +
            "\"\ndescription \"A test asset.\"\n";
    const auto table = [&](const char* tag, const std::vector<KUID>& kuids) {
      if (kuids.empty()) return;
      text += std::string(tag) + "\n{\n";
      for (size_t i = 0; i < kuids.size(); ++i)
        text += std::to_string(i) + " " + std::string(KUIDToTagString(kuids[i]).View()) + "\n";
      text += "}\n";
    };
    table("kuid-table", dependencies);
    table("obsolete-table", obsoletes);
    if (files.count("thumb.jpg") != 0) text += "thumbnails\n{\n0\n{\nimage \"thumb.jpg\"\n}\n}\n";
    PutFile(fs::path(folder) / "config.txt", text);
    for (const auto& [path, bytes] : files) PutFile(fs::path(folder) / path, bytes);
  }

  // An installed asset made through the edit cycle: reserve, write, commit.
  static void MakeAsset(const KUID& kuid, std::string_view name, std::string_view category,
                        const std::vector<KUID>& dependencies = {},
                        const std::vector<KUID>& obsoletes = {}, const FileMap& files = {}) {
    VADAssetHandleRef ref;
    ASSERT_TRUE(Client::Request23(kuid, false, Kiv::String(name), ref));
    WriteConfig(ref.handle->folder.Str(), kuid, name, category, dependencies, obsoletes, files);
    ASSERT_TRUE(Client::CommitAsset(ref, 6, nullptr)) << "commit of " << name;
  }
};

TEST_F(ClientRoundTrip, InfoQueriesAnswerKnownAndUnknownAssets) {
  MakeAsset(kTrack, "Steel Track", "TR;BR", {kMissing}, {kOld}, {{"thumb.jpg", "JPEGDATA"}});

  Soup config;
  ASSERT_TRUE(Client::GetAssetConfig(kTrack, config));
  EXPECT_EQ(config.GetNamedTagAsKUID(N("kuid"), kNullKUID), kTrack);
  EXPECT_FALSE(Client::GetAssetConfig(kMissing, config));

  // Every field, flagE set; the missing dependency shows in bit 11.
  const AssetRecord track = Info(kTrack);
  EXPECT_EQ(track.kuid, kTrack);
  EXPECT_EQ(track.username, "Steel Track");
  EXPECT_EQ(track.category, "TR;BR");
  EXPECT_EQ(track.name1.Str(), "local");
  EXPECT_EQ(track.status & 0x909u, 0x809u);  // bits 0, 3 and 11 set, 8 (open for edit) clear
  EXPECT_TRUE(track.flagE);
  EXPECT_TRUE(Client::HasMissingDependencies(kTrack, false));
  const AssetRecord unknown = Info(kMissing);
  EXPECT_TRUE(unknown.kuid.IsNull());
  EXPECT_EQ(unknown.status & 0x9u, 0x1u);
  EXPECT_FALSE(unknown.flagE);

  Kiv::PString location;
  Kiv::String folder;
  ASSERT_TRUE(Client::Request17(kTrack, false, location, folder));
  EXPECT_EQ(location.Str(), "local");
  EXPECT_TRUE(fs::is_regular_file(fs::path(folder.c_str()) / "config.txt")) << folder;
  Client::Request17(kMissing, false, location, folder);
  EXPECT_TRUE(location.Empty() && folder.empty());

  // 0x1A resolves to a locally available version, 0x1B to the newest known.
  struct Resolve {
    KUID (*request)(const KUID&);
    KUID asked, answer;
  };
  for (const Resolve& row : std::vector<Resolve>{{&Client::Request1A, kTrack, kTrack},
                                                 {&Client::Request1A, {4100, 1, 5}, kTrack},
                                                 {&Client::Request1A, kMissing, kNullKUID},
                                                 {&Client::Request1B, kTrack, kTrack}}) {
    SCOPED_TRACE(row.asked.version);
    EXPECT_EQ(row.request(row.asked), row.answer);
  }

  EXPECT_EQ(Client::Request1C(kTrack), "A test asset.");
  Kiv::String path;
  uint32_t number = 7;
  ASSERT_TRUE(Client::Request1D(kTrack, 0xF0, location, path, number));
  EXPECT_EQ(location.Str(), "local");
  EXPECT_EQ(GetFile(fs::path(UserDataPath()) / "local" / path.c_str()), "JPEGDATA");
  EXPECT_EQ(number, 0u);
  Client::Request1D(kTrack, 1, location, path, number);
  EXPECT_TRUE(location.Empty() && path.empty());

  KUIDList asked, dependencies, obsoletes, none;
  asked.Append(kTrack);
  asked.Append(kMissing);
  ASSERT_TRUE(Client::GetDependencyList(asked, dependencies));
  EXPECT_EQ(Contents(dependencies), (std::vector<KUID>{kMissing}));
  ASSERT_TRUE(Client::Request2B(kTrack, obsoletes));
  EXPECT_EQ(Contents(obsoletes), (std::vector<KUID>{kOld}));
  ASSERT_TRUE(Client::Request2B(kMissing, none));
  EXPECT_TRUE(Contents(none).empty());
}

TEST_F(ClientRoundTrip, ValueAndAccountRequestsKeepWhatWasSent) {
  MakeAsset(kTrack, "Steel Track", "TR");
  // One-way requests run concurrently with later ones; wait until they show.
  ASSERT_TRUE(Client::Request32(kTrack, true));
  ASSERT_TRUE(Client::Request36(kTrack, "steel;rail"));
  AssetRecord track;
  EXPECT_TRUE(VUTest::WaitUntil(
      [&] {
        track = Info(kTrack);
        return (track.flags2 & 1) == 1 && track.text3 == "steel;rail";
      },
      5000, 50))
      << track.text3;

  UserNameCache::Init();
  EXPECT_TRUE(GetUserName(777).Empty());
  UserNameCache::Clear();
  EXPECT_TRUE(Client::RequestB5());

  // Settings groups and the account read from the "internet" group; a
  // refused login holds the credential back until a new one is stored.
  const Kiv::PString internet("internet");
  EXPECT_EQ(Client::GetOnlineUsername(), "");
  Soup group;
  group.SetNamedTag(N("username"), std::string_view("driver"));
  group.SetNamedTag(N("password"), std::string_view("secret"));
  ASSERT_TRUE(WriteSettingsGroup(internet, group));
  Soup read;
  ASSERT_TRUE(ReadSettingsGroup(read, internet));
  EXPECT_EQ(read.GetNamedTag(N("password")).Str(), "secret");
  EXPECT_EQ(Client::GetOnlineUsername(), "driver");
  EXPECT_EQ(Client::RequestF2(), "secret");
  ASSERT_TRUE(Client::RequestF1());
  EXPECT_TRUE(VUTest::WaitUntil([] { return Client::RequestF2().empty(); }, 5000, 50));
  ASSERT_TRUE(WriteSetting(internet, N("password"), N("new-secret")));
  EXPECT_EQ(Client::RequestF2(), "new-secret");

  // The local data of an asset has no client function: 0x7A stores a soup
  // (a damaged one is refused), 0x79 answers it or the empty soup.
  RawClient raw;
  ASSERT_TRUE(raw.Open(Port(), AssetIndexPath()));
  Soup data;
  data.SetNamedInt(N("rating"), 5);
  const Bytes soup = SoupBytes(data);
  ASSERT_TRUE(raw.SendRequest(kSetLocalData, 0, Body().K(kTrack).Str("online").Raw(soup)));
  ASSERT_TRUE(raw.SendRequest(kSetLocalData, 0, Body().K(kTrack).Str("bad").Raw({1, 2, 3})));
  EXPECT_TRUE(VUTest::WaitUntil(
      [&] { return RawAsk(raw, kGetLocalData, Body().K(kTrack).Str("online")) == soup; }, 5000,
      50));
  const Bytes emptySoup = SoupBytes(Soup());
  EXPECT_EQ(RawAsk(raw, kGetLocalData, Body().K(kTrack).Str("bad")), emptySoup);
  EXPECT_EQ(RawAsk(raw, kGetLocalData, Body().K(kMissing).Str("online")), emptySoup);
}

// The edit requests' own duties: handles, their connection, and the
// messages; the store's copying is AssetStoreTest's.
TEST_F(ClientRoundTrip, EditCycleReservesCommitsEditsRevertsAndDeletes) {
  // A new asset: the null KUID takes a new one; its edit folder is empty.
  VADAssetHandleRef fresh;
  ASSERT_TRUE(Client::Request23(kNullKUID, false, "Fresh", fresh));
  const KUID kuid = fresh.handle->kuid;
  EXPECT_FALSE(kuid.IsNull());
  EXPECT_EQ(fresh.handle->name.Str(), "editing");
  ASSERT_TRUE(fs::is_directory(fresh.handle->folder.Str()));
  WriteConfig(fresh.handle->folder.Str(), kuid, "Fresh", "TR", {}, {}, {{"mesh.im", "v1"}});
  ResultsLog log;
  bool replaced = true;
  ASSERT_TRUE(Client::CommitAsset(fresh, 6, &log, &replaced));
  EXPECT_FALSE(replaced);
  EXPECT_TRUE(Logged(log, ResultsLog::kSuccess, "committed"));
  EXPECT_EQ(Info(kuid).username, "Fresh");

  // Opening for edit marks the record; a revert drops the edit copy and a
  // second 0x20 opens a new one; a commit over the installed copy says it
  // replaced it.
  VADAssetHandleRef edit;
  ASSERT_TRUE(Client::Request1E(kuid, true, edit, nullptr));
  EXPECT_EQ(Bit(kuid, 8), 1);
  // A handle is only good on its own connection.
  RawClient other;
  ASSERT_TRUE(other.Open(Port(), AssetIndexPath()));
  std::vector<RawClient::Frame> notes;
  EXPECT_EQ(RawAsk(other, kRevertAsset, Body().U64(edit.handle->daemonHandle), &notes), (Bytes{0}));
  EXPECT_TRUE(HasMessage(MessagesFor(notes, rawId_), ResultsLog::kError, "handle"));

  VADAssetHandle* shared = edit.handle;
  shared->AddRef();
  VADAssetHandleRef second{shared, VADAssetHandleRef::kHandleValid};
  ResultsLog revertLog;
  EXPECT_TRUE(Client::RevertAsset(edit, &revertLog));
  EXPECT_EQ(revertLog.MessageCount(), 1u);
  EXPECT_EQ(Bit(kuid, 8), 0);
  Kiv::PString name;
  Kiv::File::Path folder;
  ASSERT_TRUE(Client::OpenForEdit(shared, name, folder));
  EXPECT_EQ(name.Str(), "editing");
  EXPECT_TRUE(fs::is_directory(folder.Str()));
  ASSERT_TRUE(Client::CommitAsset(second, 6, nullptr, &replaced));
  EXPECT_TRUE(replaced);
  VADAssetHandleRef view;
  ASSERT_TRUE(Client::Request1E(kuid, false, view, nullptr));
  EXPECT_EQ(view.handle->name.Str(), "local");
  ReleaseAssetHandle(view);

  // Failures: no handle and a message; an unknown handle commits nothing.
  ResultsLog failed;
  EXPECT_FALSE(Client::Request1E(kMissing, false, view, &failed));
  EXPECT_GE(failed.GetErrorCount(), 1u);
  EXPECT_EQ(RawAsk(other, kCommitAsset, Body().U64(12345).U32(6)), (Bytes{0, 0}));
  EXPECT_EQ(RawAsk(other, kOpenForEdit, Body().U64(12345)), Bytes(8, 0));

  // Delete: the success message comes before the reply; then it is unknown.
  for (const bool known : {true, false}) {
    ResultsLog deleted;
    EXPECT_EQ(Client::DeleteAsset(kuid, true, &deleted), known);
    EXPECT_TRUE(
        Logged(deleted, known ? ResultsLog::kSuccess : ResultsLog::kError, known ? "deleted" : ""));
  }
  EXPECT_FALSE(Info(kuid).flagE);
}

TEST_F(ClientRoundTrip, SearchEvaluatesTheFilterInStoreOrderAndRefusesDamagedOnes) {
  MakeAsset(kSignal, "Signal", "SIG");
  MakeAsset(kBridge, "Stone Bridge", "BR");
  MakeAsset(kTrack, "Steel Track", "TR;BR");

  // "searchbycategory BR"; the filter's own cases are QueryFilterTest's.
  VADFilterElementGroup byCategory;
  byCategory.Add(std::make_unique<VADFilterElementString>(VADFilterElementString::kCategoryList,
                                                          Kiv::PString("BR")));
  byCategory.Add(std::make_unique<VADFilterElementBool>(VADFilterElementBool::kLocal));
  KUIDList found, all;
  Client::SearchAssets(&byCategory, found);
  EXPECT_EQ(Contents(found), (std::vector<KUID>{kTrack, kBridge}));
  Client::SearchAssets(nullptr, all);
  EXPECT_EQ(Contents(all), (std::vector<KUID>{kTrack, kBridge, kSignal}));

  // Hostile bodies: a damaged or cut filter finds nothing, a KUID count
  // beyond the body reads only what is there.
  TBuffer stream;
  WriteFilterElement(stream, &byCategory);
  Bytes cut(stream.GetData()->Data(), stream.GetData()->Data() + stream.GetSize() - 3);
  RawClient raw;
  ASSERT_TRUE(raw.Open(Port(), AssetIndexPath()));
  const Bytes nothing = Body().U32(0);
  EXPECT_EQ(RawAsk(raw, kSearchAssets, Body().U32(0x12345678)), nothing);
  EXPECT_EQ(RawAsk(raw, kSearchAssets, cut), nothing);
  EXPECT_EQ(RawAsk(raw, kGetDependencies, Body().U32(1000000).K(kMissing)), nothing);
}

TEST_F(ClientRoundTrip, RepairRunsAsynchronouslyReportsProgressAndMarksFaultyAssets) {
  MakeAsset(kTrack, "Steel Track", "TR", {kMissing});
  MakeAsset(kBridge, "Stone Bridge", "BR");
  MakeAsset(kSignal, "Signal", "SIG");
  // Damage one asset behind the daemon's back.
  Kiv::PString location;
  Kiv::String bridgeFolder;
  ASSERT_TRUE(Client::Request17(kBridge, false, location, bridgeFolder));
  ASSERT_TRUE(fs::remove(fs::path(bridgeFolder.c_str()) / "config.txt"));

  ResultsLog log;
  ASSERT_TRUE(Client::RepairStep03(100, &log));
  bool running = false;
  float progress = -1;
  Kiv::String status;
  const auto finished = [&] {
    EXPECT_TRUE(Client::RepairStep04(running, progress, status));
    return !running;
  };
  finished();
  EXPECT_TRUE(running);
  EXPECT_GE(progress, 0.0f);
  EXPECT_LT(progress, 1.0f);
  EXPECT_FALSE(status.empty());
  ResultsLog second;
  Client::RepairStep03(150, &second);
  EXPECT_TRUE(VUTest::WaitUntil(
      [&] { return Logged(second, ResultsLog::kError, "already running"); }, 5000, 20));

  ASSERT_TRUE(VUTest::WaitUntil(finished, 20000, 100));
  EXPECT_FLOAT_EQ(progress, 1.0f);
  EXPECT_EQ(status, "Repair complete");
  // Every message of the repair arrived before the poll that saw its end.
  EXPECT_TRUE(Logged(log, ResultsLog::kError, "configuration"));
  EXPECT_TRUE(Logged(log, ResultsLog::kWarning, "Missing dependencies: <kuid:4100:99>"));
  EXPECT_TRUE(Logged(log, ResultsLog::kSuccess, "3 assets checked, 1 faulty, 1 with missing"));
  EXPECT_EQ(Bit(kBridge, 9), 1);
  EXPECT_TRUE(Client::IsAssetFaulty(kBridge));
  EXPECT_EQ(Bit(kTrack, 9), 0);
  EXPECT_EQ(Bit(kTrack, 11), 1);

  // 0x100 starts a repair of its own (one-way), which ends as well.
  ASSERT_TRUE(Client::RepairDatabase());
  EXPECT_TRUE(VUTest::WaitUntil(finished, 20000, 100));
}

}  // namespace
