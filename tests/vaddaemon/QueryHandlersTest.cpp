// The query, edit, search, repair and account requests against the daemon
// process, over a raw socket: every code these handlers serve is sent at
// least once and its reply is read to its last byte.
#include <filesystem>
#include <string>
#include <vector>

#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/VADFilterElementBool.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "assetdb/protocol/VADFilterElementString.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "tests/vaddaemon/DaemonFixture.h"
#include "tests/vaddaemon/InstallTestSupport.h"

namespace {

using namespace installtest;

constexpr uint64_t kNoHandle = ~uint64_t(0);

const KUID kTrack{4100, 1, 0};
const KUID kBridge{4100, 2, 0};
const KUID kSignal{4100, 3, 1};
const KUID kMissing{4100, 99, 0};
const KUID kOld{4100, 50, 0};

KUID ReadKUIDField(BodyReader& reader) {
  return KUIDFrom(reader.Take(8));
}

// Bit `i` of a record's status flags.
int Bit(uint32_t bits, int i) {
  return int((bits >> i) & 1);
}

struct Handle {
  uint64_t handle = kNoHandle;
  KUID kuid;
  std::string location;
  std::string folder;
};

class DaemonQueries : public DaemonFixture {
 protected:
  std::vector<std::string> DaemonEnvironment() const override {
    return {"VADDAEMON_REPAIR_STEP_MS=150"};
  }

  void SetUp() override {
    DaemonFixture::SetUp();
    if (HasFatalFailure()) return;
    client_ = Connect();
    ASSERT_NE(client_, nullptr);
  }

  uint32_t NextId() { return ++id_; }

  Bytes Ask(uint32_t code, const Bytes& body, std::vector<RawClient::Frame>* notes = nullptr,
            RawClient* client = nullptr) {
    Bytes reply;
    const uint32_t id = NextId();
    lastId_ = id;
    EXPECT_TRUE((client ? client : client_.get())->Transact(code, id, body, &reply, notes, 20000))
        << code;
    return reply;
  }

  // The 0x15 reply for `kuid`, read with the client's reader; it must be
  // read whole, to its last byte.
  AssetRecord Info(const KUID& kuid) {
    const Bytes reply = Ask(kGetAssetInfo, Body().K(kuid).U32(0xFFFFFFFF));
    TBuffer stream;
    stream.Write(reply.data(), uint32_t(reply.size()));
    TStreamRewind(stream);
    AssetRecord record;
    ReadAssetInfoRecord(stream, record);
    EXPECT_EQ(stream.GetError(), 0u) << kuid.contentId;
    EXPECT_EQ(stream.Tell(), uint32_t(reply.size())) << kuid.contentId;
    return record;
  }

  Handle ReadHandle(const Bytes& reply, bool withKUID) {
    BodyReader reader(reply);
    Handle h;
    h.handle = reader.U64();
    if (withKUID) h.kuid = ReadKUIDField(reader);
    h.location = reader.String();
    h.folder = reader.String();
    EXPECT_TRUE(reader.AtEnd());
    return h;
  }

  Handle Reserve(const KUID& kuid, std::string_view name) {
    return ReadHandle(Ask(kReserveAsset, Body().K(kuid).U8(0).Str(name)), true);
  }

  Handle Open(const KUID& kuid, bool edit, std::vector<RawClient::Frame>* notes = nullptr) {
    return ReadHandle(Ask(kOpenHandle, Body().K(kuid).U8(edit ? 1 : 0), notes), false);
  }

  // u8 committed, u8 replaced; the messages before the reply in `notes`.
  Bytes Commit(uint64_t handle, std::vector<RawClient::Frame>* notes = nullptr) {
    return Ask(kCommitAsset, Body().U64(handle).U32(6), notes);
  }

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
  void MakeAsset(const KUID& kuid, std::string_view name, std::string_view category,
                 const std::vector<KUID>& dependencies = {},
                 const std::vector<KUID>& obsoletes = {}, const FileMap& files = {}) {
    const Handle h = Reserve(kuid, name);
    ASSERT_NE(h.handle, kNoHandle);
    WriteConfig(h.folder, kuid, name, category, dependencies, obsoletes, files);
    const Bytes reply = Commit(h.handle);
    ASSERT_EQ(reply, (Bytes{1, 0})) << "commit of " << name;
    Ask(kReleaseHandle, Body().U64(h.handle));
  }

  // The location and folder of a 0x17 or 0x20 reply ("<damaged>" when it
  // does not read whole).
  std::pair<std::string, std::string> Place(uint32_t code, const Bytes& body) {
    const Bytes reply = Ask(code, body);
    BodyReader reader(reply);
    std::pair<std::string, std::string> place{reader.String(), reader.String()};
    if (!reader.AtEnd()) place.first = "<damaged>";
    return place;
  }

  std::vector<KUID> KUIDList(const Bytes& reply) {
    BodyReader reader(reply);
    const uint32_t n = reader.U32();
    std::vector<KUID> out;
    for (uint32_t i = 0; i < n && !reader.Failed(); ++i) out.push_back(ReadKUIDField(reader));
    EXPECT_TRUE(reader.AtEnd());
    return out;
  }

  std::unique_ptr<RawClient> client_;
  uint32_t id_ = 100;
  uint32_t lastId_ = 0;
};

TEST_F(DaemonQueries, InfoQueriesAnswerWholeRepliesForKnownAndUnknownAssets) {
  MakeAsset(kTrack, "Steel Track", "TR;BR", {kMissing}, {kOld}, {{"thumb.jpg", "JPEGDATA"}});

  // 0x14: the configuration soup; nothing for an unknown asset.
  const Soup config = SoupFrom(Ask(kGetAssetConfig, KUIDBytes(kTrack)));
  EXPECT_EQ(config.GetNamedTagAsKUID(N("kuid"), kNullKUID), kTrack);
  EXPECT_TRUE(Ask(kGetAssetConfig, KUIDBytes(kMissing)).empty());

  // 0x15: every field, flagE set; the missing dependency shows in bit 11.
  const AssetRecord track = Info(kTrack);
  EXPECT_EQ(track.kuid, kTrack);
  EXPECT_EQ(track.username, "Steel Track");
  EXPECT_EQ(track.category, "TR;BR");
  EXPECT_EQ(track.name1.Str(), "local");
  EXPECT_EQ(track.status & 0x909u, 0x809u);  // bits 0, 3 and 11 set, 8 (open for edit) clear
  EXPECT_TRUE(track.flagE);
  const AssetRecord unknown = Info(kMissing);
  EXPECT_TRUE(unknown.kuid.IsNull());
  EXPECT_EQ(unknown.status & 0x9u, 0x1u);
  EXPECT_FALSE(unknown.flagE);

  // 0x17: location and installed folder.
  const auto [location, folder] = Place(kGetAssetFolder, Body().K(kTrack).U8(0));
  EXPECT_EQ(location, "local");
  EXPECT_TRUE(fs::is_regular_file(fs::path(folder) / "config.txt")) << folder;
  EXPECT_EQ(Ask(kGetAssetFolder, Body().K(kMissing).U8(0)), Bytes(8, 0));

  // 0x1A resolves to a locally available version, 0x1B to the newest known.
  EXPECT_EQ(Ask(kResolveKUID, KUIDBytes(kTrack)), KUIDBytes(kTrack));
  EXPECT_EQ(Ask(kResolveKUID, KUIDBytes(KUID{4100, 1, 5})), KUIDBytes(kTrack));
  EXPECT_EQ(Ask(kResolveKUID, KUIDBytes(kMissing)), KUIDBytes(kNullKUID));
  EXPECT_EQ(Ask(kNewestKUID, KUIDBytes(kTrack)), KUIDBytes(kTrack));

  // 0x1C description; 0x1D the thumbnail, relative to "local".
  EXPECT_EQ(Ask(kGetDescription, KUIDBytes(kTrack)), Body().Str("A test asset."));
  const Bytes thumbnail = Ask(kGetThumbnail, Body().K(kTrack).U32(0xF0));
  BodyReader reader(thumbnail);
  EXPECT_EQ(reader.String(), "local");
  EXPECT_EQ(GetFile(fs::path(UserDataPath()) / "local" / reader.String()), "JPEGDATA");
  EXPECT_EQ(reader.U32(), 0u);
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(Ask(kGetThumbnail, Body().K(kTrack).U32(1)), Bytes(12, 0));

  // 0x2A dependencies of a list (the count bounded by the body), 0x2B
  // obsoletes.
  EXPECT_EQ(KUIDList(Ask(kGetDependencies, Body().U32(2).K(kTrack).K(kMissing))),
            (std::vector<KUID>{kMissing}));
  EXPECT_TRUE(KUIDList(Ask(kGetDependencies, Body().U32(1000000).K(kMissing))).empty());
  EXPECT_EQ(KUIDList(Ask(kGetObsoletes, KUIDBytes(kTrack))), (std::vector<KUID>{kOld}));
  EXPECT_TRUE(KUIDList(Ask(kGetObsoletes, KUIDBytes(kMissing))).empty());
}

TEST_F(DaemonQueries, ValueRequestsStoreWhatOneWayRequestsSent) {
  MakeAsset(kTrack, "Steel Track", "TR");

  // 0x32, 0x36 and 0x7A are one-way; their effect shows in later replies.
  Soup data;
  data.SetNamedInt(N("rating"), 5);
  const Bytes soup = SoupBytes(data);
  ASSERT_TRUE(client_->SendRequest(kSetFavourite, 0, Body().K(kTrack).U8(1)));
  ASSERT_TRUE(client_->SendRequest(kSetKeywords, 0, Body().K(kTrack).Str("steel;rail")));
  ASSERT_TRUE(client_->SendRequest(kSetLocalData, 0, Body().K(kTrack).Str("online").Raw(soup)));
  ASSERT_TRUE(client_->SendRequest(kSetLocalData, 0, Body().K(kTrack).Str("bad").Raw({1, 2, 3})));
  // One-way requests run concurrently with later ones; wait until they show.
  AssetRecord track;
  const auto stored = [&] {
    track = Info(kTrack);
    return (track.flags2 & 1) == 1 && track.text3 == "steel;rail" &&
           Ask(kGetLocalData, Body().K(kTrack).Str("online")) == soup;
  };
  EXPECT_TRUE(VUTest::WaitUntil(stored, 5000, 50)) << track.text3;

  // 0x79: the empty soup for a key never stored or refused.
  const Bytes emptySoup = SoupBytes(Soup());
  EXPECT_EQ(Ask(kGetLocalData, Body().K(kTrack).Str("bad")), emptySoup);
  EXPECT_EQ(Ask(kGetLocalData, Body().K(kMissing).Str("online")), emptySoup);

  // 0x3A: a new KUID in the local user's range, never the same twice.
  const KUID first = KUIDFrom(Ask(kGenerateKUID, {}));
  const KUID second = KUIDFrom(Ask(kGenerateKUID, {}));
  EXPECT_TRUE(first.IsValid() && !first.IsNull() && first.userId >= 0);
  EXPECT_FALSE(first == second);

  // 0x5A: an unknown user is -1 and the empty PString.
  EXPECT_EQ(Ask(kLookupUserName, Body().U32(777)), Body().U32(0xFFFFFFFF).U32(0));
  // 0xB5: u8 1; 0xFD: the installed builds as a PString.
  EXPECT_EQ(Ask(kTextureFlag, {}), (Bytes{1}));
  EXPECT_EQ(Ask(kListBuilds, {}), Body().PStr("49938"));
}

TEST_F(DaemonQueries, AccountRequestsAnswerFromInternetSettingsAndHoldBackARefusedCredential) {
  auto setting = [&](std::string_view key, std::string_view value) {
    Ask(kWriteSetting, Body().PStr("internet").PStr(key).PStr(value));
  };
  // Nothing stored: empty fields.
  EXPECT_EQ(Ask(kGetOnlineUsername, {}), Bytes(4 * 4 + 2 * 2, 0));
  setting("username", "driver");
  setting("password", "secret");
  const Bytes account = Ask(kGetOnlineUsername, {});
  BodyReader reader(account);
  EXPECT_EQ(reader.String(), "driver");
  EXPECT_EQ(reader.Remaining(), 3 * 4 + 2 * 2u);
  EXPECT_EQ(Ask(kGetCredential, {}), Body().Str("secret"));
  ASSERT_TRUE(client_->SendRequest(kLoginRefused, 0, {}));
  EXPECT_TRUE(
      VUTest::WaitUntil([&] { return Ask(kGetCredential, {}) == Body().Str(""); }, 5000, 50));
  setting("password", "new-secret");
  EXPECT_EQ(Ask(kGetCredential, {}), Body().Str("new-secret"));
}

// The edit requests' own duties: handles, their connection, and the
// messages; the store's copying is AssetStoreTest's.
TEST_F(DaemonQueries, EditCycleReservesCommitsEditsRevertsAndDeletes) {
  // A new asset: the null KUID takes a new one; its edit folder is empty.
  const Handle fresh = Reserve(kNullKUID, "Fresh");
  ASSERT_NE(fresh.handle, kNoHandle);
  EXPECT_FALSE(fresh.kuid.IsNull());
  EXPECT_EQ(fresh.location, "editing");
  ASSERT_TRUE(fs::is_directory(fresh.folder));
  WriteConfig(fresh.folder, fresh.kuid, "Fresh", "TR", {}, {}, {{"mesh.im", "v1"}});

  std::vector<RawClient::Frame> notes;
  EXPECT_EQ(Commit(fresh.handle, &notes), (Bytes{1, 0}));
  EXPECT_TRUE(HasMessage(MessagesFor(notes, lastId_), ResultsLog::kSuccess, "committed"));
  Ask(kReleaseHandle, Body().U64(fresh.handle));
  EXPECT_EQ(Info(fresh.kuid).username, "Fresh");

  // Opening for edit marks the record; 0x20 answers the handle's folder;
  // a commit over an installed copy says it replaced it.
  Handle edit = Open(fresh.kuid, true);
  ASSERT_NE(edit.handle, kNoHandle);
  EXPECT_EQ(Bit(Info(fresh.kuid).status, 8), 1);
  EXPECT_EQ(Place(kOpenForEdit, Body().U64(edit.handle)),
            std::make_pair(std::string("editing"), edit.folder));
  EXPECT_EQ(Commit(edit.handle), (Bytes{1, 1}));
  Ask(kReleaseHandle, Body().U64(edit.handle));
  Handle view = Open(fresh.kuid, false);
  EXPECT_EQ(view.location, "local");
  Ask(kReleaseHandle, Body().U64(view.handle));

  // A revert drops the edit copy; a handle is only good on its connection.
  edit = Open(fresh.kuid, true);
  auto other = Connect();
  ASSERT_NE(other, nullptr);
  notes.clear();
  EXPECT_EQ(Ask(kRevertAsset, Body().U64(edit.handle), &notes, other.get()), (Bytes{0}));
  EXPECT_TRUE(HasMessage(MessagesFor(notes, lastId_), ResultsLog::kError, "handle"));
  notes.clear();
  EXPECT_EQ(Ask(kRevertAsset, Body().U64(edit.handle), &notes), (Bytes{1}));
  EXPECT_EQ(MessagesFor(notes, lastId_).size(), 1u);
  EXPECT_EQ(Bit(Info(fresh.kuid).status, 8), 0);
  EXPECT_TRUE(Ask(kReleaseHandle, Body().U64(edit.handle)).empty());

  // Failures: all ones and a message; an unknown handle commits nothing.
  notes.clear();
  const Handle none = Open(kMissing, false, &notes);
  EXPECT_EQ(none.handle, kNoHandle);
  EXPECT_EQ(none.folder, "");
  EXPECT_TRUE(HasMessage(MessagesFor(notes, lastId_), ResultsLog::kError, ""));
  EXPECT_EQ(Commit(12345), (Bytes{0, 0}));
  EXPECT_EQ(Place(kOpenForEdit, Body().U64(12345)), std::make_pair(std::string(), std::string()));

  // Delete: the success message comes before the reply; then it is unknown.
  for (const bool known : {true, false}) {
    notes.clear();
    EXPECT_EQ(Ask(kDeleteAsset, Body().K(fresh.kuid).U8(1), &notes), Bytes{uint8_t(known ? 1 : 0)});
    EXPECT_TRUE(HasMessage(MessagesFor(notes, lastId_),
                           known ? ResultsLog::kSuccess : ResultsLog::kError,
                           known ? "deleted" : ""));
  }
  EXPECT_FALSE(Info(fresh.kuid).flagE);
}

// The filter bodies the tool sends, built with its own element classes.
Bytes FilterBody(const VADFilterElement* filter) {
  TBuffer stream;
  WriteFilterElement(stream, filter);
  return Bytes(stream.GetData()->Data(), stream.GetData()->Data() + stream.GetSize());
}

TEST_F(DaemonQueries, SearchByCategoryEvaluatesTheFilterInStoreOrder) {
  MakeAsset(kSignal, "Signal", "SIG");
  MakeAsset(kBridge, "Stone Bridge", "BR");
  MakeAsset(kTrack, "Steel Track", "TR;BR");

  // "searchbycategory BR": {strn 1 "BR", bool 0}; the filter's own cases
  // are QueryFilterTest's.
  VADFilterElementGroup byCategory;
  byCategory.Add(std::make_unique<VADFilterElementString>(VADFilterElementString::kCategoryList,
                                                          Kiv::PString("BR")));
  byCategory.Add(std::make_unique<VADFilterElementBool>(VADFilterElementBool::kLocal));
  EXPECT_EQ(KUIDList(Ask(kSearchAssets, FilterBody(&byCategory))),
            (std::vector<KUID>{kTrack, kBridge}));

  // No filter lists everything; a damaged filter nothing.
  EXPECT_EQ(KUIDList(Ask(kSearchAssets, Body().U32(0))),
            (std::vector<KUID>{kTrack, kBridge, kSignal}));
  EXPECT_TRUE(KUIDList(Ask(kSearchAssets, Body().U32(0x12345678))).empty());
  Bytes cut = FilterBody(&byCategory);
  cut.resize(cut.size() - 3);
  EXPECT_TRUE(KUIDList(Ask(kSearchAssets, cut)).empty());
}

TEST_F(DaemonQueries, RepairRunsAsynchronouslyReportsProgressAndMarksFaultyAssets) {
  MakeAsset(kTrack, "Steel Track", "TR", {kMissing});
  MakeAsset(kBridge, "Stone Bridge", "BR");
  MakeAsset(kSignal, "Signal", "SIG");
  // Damage one asset behind the daemon's back.
  const std::string bridgeFolder = Place(kGetAssetFolder, Body().K(kBridge).U8(0)).second;
  ASSERT_TRUE(fs::remove(fs::path(bridgeFolder) / "config.txt"));

  std::vector<RawClient::Frame> notes;
  EXPECT_TRUE(Ask(kStartRepair, Body().U32(100), &notes).empty());
  const uint32_t repairId = lastId_;

  // Running: flag 1; a second repair is refused with a message.
  uint8_t flag = 0;
  float progress = -1;
  std::string status;
  auto poll = [&] {
    const Bytes readerBytes = Ask(kPollRepair, {}, &notes);
    BodyReader reader(readerBytes);
    flag = reader.U8();
    progress = reader.F32();
    status = reader.String();
    EXPECT_TRUE(reader.AtEnd());
    return flag == 0;
  };
  poll();
  EXPECT_EQ(flag, 1);
  EXPECT_GE(progress, 0.0f);
  EXPECT_LT(progress, 1.0f);
  EXPECT_FALSE(status.empty());
  Ask(kStartRepair, Body().U32(150), &notes);
  EXPECT_TRUE(HasMessage(MessagesFor(notes, lastId_), ResultsLog::kError, "already running"));

  ASSERT_TRUE(VUTest::WaitUntil(poll, 20000, 100));
  EXPECT_FLOAT_EQ(progress, 1.0f);
  EXPECT_EQ(status, "Repair complete");

  // Every message of the repair arrived before the poll that saw its end.
  const std::vector<ResultMessage> messages = MessagesFor(notes, repairId);
  EXPECT_TRUE(HasMessage(messages, ResultsLog::kError, "configuration"));
  EXPECT_TRUE(HasMessage(messages, ResultsLog::kWarning, "Missing dependencies: <kuid:4100:99>"));
  EXPECT_TRUE(
      HasMessage(messages, ResultsLog::kSuccess, "3 assets checked, 1 faulty, 1 with missing"));
  EXPECT_EQ(Bit(Info(kBridge).status, 9), 1);
  EXPECT_EQ(Bit(Info(kTrack).status, 9), 0);
  EXPECT_EQ(Bit(Info(kTrack).status, 11), 1);

  // 0x100 starts a repair of its own (one-way), which ends as well.
  ASSERT_TRUE(client_->SendRequest(kRepairDatabase, 0, {}));
  EXPECT_TRUE(VUTest::WaitUntil(poll, 20000, 100));
}

}  // namespace
