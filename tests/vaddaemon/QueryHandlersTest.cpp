// The query, edit, search, repair and account requests against the daemon
// process, over a raw socket: every code these handlers serve is sent at
// least once and its reply is read field by field to its last byte.
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/client/NetStartup.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/VADFilterElementBool.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "assetdb/protocol/VADFilterElementString.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "tests/vaddaemon/DaemonFixture.h"
#include "tests/vaddaemon/InstallTestSupport.h"

namespace {

using namespace installtest;

constexpr uint32_t kSearch = 0x02;
constexpr uint32_t kRepair = 0x03;
constexpr uint32_t kRepairPoll = 0x04;
constexpr uint32_t kConfig = 0x14;
constexpr uint32_t kInfo = 0x15;
constexpr uint32_t kFolder = 0x17;
constexpr uint32_t kResolve = 0x1A;
constexpr uint32_t kUpdated = 0x1B;
constexpr uint32_t kDescription = 0x1C;
constexpr uint32_t kThumbnail = 0x1D;
constexpr uint32_t kOpen = 0x1E;
constexpr uint32_t kRelease = 0x1F;
constexpr uint32_t kEditFolder = 0x20;
constexpr uint32_t kRevert = 0x21;
constexpr uint32_t kCommit = 0x22;
constexpr uint32_t kReserve = 0x23;
constexpr uint32_t kDelete = 0x24;
constexpr uint32_t kDependencies = 0x2A;
constexpr uint32_t kObsoletes = 0x2B;
constexpr uint32_t kFavourite = 0x32;
constexpr uint32_t kKeywords = 0x36;
constexpr uint32_t kNewKUID = 0x3A;
constexpr uint32_t kUserName = 0x5A;
constexpr uint32_t kWriteSetting = 0x67;
constexpr uint32_t kGetLocalData = 0x79;
constexpr uint32_t kSetLocalData = 0x7A;
constexpr uint32_t kTextureFlag = 0xB5;
constexpr uint32_t kAccountName = 0xF0;
constexpr uint32_t kLoginRefused = 0xF1;
constexpr uint32_t kCredential = 0xF2;
constexpr uint32_t kBuilds = 0xFD;
constexpr uint32_t kPatcherRepair = 0x100;

constexpr uint64_t kNoHandle = ~uint64_t(0);

const KUID kTrack{4100, 1, 0};
const KUID kBridge{4100, 2, 0};
const KUID kSignal{4100, 3, 1};
const KUID kMissing{4100, 99, 0};
const KUID kOld{4100, 50, 0};

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes U8Body(uint8_t value) {
  Bytes out;
  RawClient::PutU8(out, value);
  return out;
}

Bytes U32Body(uint32_t value) {
  Bytes out;
  RawClient::PutU32(out, value);
  return out;
}

Bytes U64Body(uint64_t value) {
  Bytes out;
  RawClient::PutU64(out, value);
  return out;
}

Bytes StringBody(std::string_view text) {
  Bytes out;
  RawClient::PutString(out, text);
  return out;
}

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
    const Bytes reply = Ask(kInfo, Cat(KUIDBytes(kuid), U32Body(0xFFFFFFFF)));
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
    return ReadHandle(Ask(kReserve, Cat(Cat(KUIDBytes(kuid), U8Body(0)), StringBody(name))), true);
  }

  Handle Open(const KUID& kuid, bool edit, std::vector<RawClient::Frame>* notes = nullptr) {
    return ReadHandle(Ask(kOpen, Cat(KUIDBytes(kuid), U8Body(edit ? 1 : 0)), notes), false);
  }

  // u8 committed, u8 replaced; the messages before the reply in `notes`.
  Bytes Commit(uint64_t handle, std::vector<RawClient::Frame>* notes = nullptr) {
    return Ask(kCommit, Cat(U64Body(handle), U32Body(6)), notes);
  }

  // Writes a configuration (plus `files`) into `folder`.
  static void WriteConfig(const std::string& folder, const KUID& kuid, std::string_view name,
                          std::string_view category, const std::vector<KUID>& dependencies,
                          const std::vector<KUID>& obsoletes = {}, const FileMap& files = {}) {
    Soup config = MakeConfig(kuid, name);
    config.SetNamedTag(N("category"), category);
    config.SetNamedTag(N("description"), std::string_view("A test asset."));
    if (!dependencies.empty()) {
      Soup table;
      for (size_t i = 0; i < dependencies.size(); ++i)
        table.SetNamedKUID(N(std::to_string(i)), dependencies[i]);
      config.SetNamedSoup(N("kuid-table"), table);
    }
    if (!obsoletes.empty()) {
      Soup table;
      for (size_t i = 0; i < obsoletes.size(); ++i)
        table.SetNamedKUID(N(std::to_string(i)), obsoletes[i]);
      config.SetNamedSoup(N("obsolete-table"), table);
    }
    if (files.count("thumb.jpg") != 0) {
      Soup thumbnail;
      thumbnail.SetNamedTag(N("image"), std::string_view("thumb.jpg"));
      Soup thumbnails;
      thumbnails.SetNamedSoup(N("0"), thumbnail);
      config.SetNamedSoup(N("thumbnails"), thumbnails);
    }
    ASSERT_TRUE(Soup::SaveToFile(Kiv::PString(), folder + "/config.txt", config));
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
    Ask(kRelease, U64Body(h.handle));
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
  const Soup config = SoupFrom(Ask(kConfig, KUIDBytes(kTrack)));
  EXPECT_EQ(config.GetNamedTagAsKUID(N("kuid"), kNullKUID), kTrack);
  EXPECT_TRUE(Ask(kConfig, KUIDBytes(kMissing)).empty());

  // 0x15: every field, flagE set; the missing dependency shows in byte 11.
  const AssetRecord track = Info(kTrack);
  EXPECT_EQ(track.kuid, kTrack);
  EXPECT_EQ(track.username, "Steel Track");
  EXPECT_EQ(track.category, "TR;BR");
  EXPECT_EQ(track.name1.Str(), "local");
  EXPECT_EQ(Bit(track.status, 0), 1);
  EXPECT_EQ(Bit(track.status, 3), 1);
  EXPECT_EQ(Bit(track.status, 8), 0);
  EXPECT_EQ(Bit(track.status, 11), 1);
  EXPECT_TRUE(track.flagE);
  const AssetRecord unknown = Info(kMissing);
  EXPECT_TRUE(unknown.kuid.IsNull());
  EXPECT_EQ(Bit(unknown.status, 0), 1);
  EXPECT_EQ(Bit(unknown.status, 3), 0);
  EXPECT_FALSE(unknown.flagE);

  // 0x17: location and installed folder.
  {
    const Bytes readerBytes = Ask(kFolder, Cat(KUIDBytes(kTrack), U8Body(0)));
    BodyReader reader(readerBytes);
    EXPECT_EQ(reader.String(), "local");
    const std::string folder = reader.String();
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_TRUE(fs::is_regular_file(fs::path(folder) / "config.txt")) << folder;
    EXPECT_EQ(Ask(kFolder, Cat(KUIDBytes(kMissing), U8Body(0))), (Bytes{0, 0, 0, 0, 0, 0, 0, 0}));
  }

  // 0x1A resolves to a locally available version, 0x1B to the newest known.
  EXPECT_EQ(Ask(kResolve, KUIDBytes(kTrack)), KUIDBytes(kTrack));
  EXPECT_EQ(Ask(kResolve, KUIDBytes(KUID{4100, 1, 5})), KUIDBytes(kTrack));
  EXPECT_EQ(Ask(kResolve, KUIDBytes(kMissing)), KUIDBytes(kNullKUID));
  EXPECT_EQ(Ask(kUpdated, KUIDBytes(kTrack)), KUIDBytes(kTrack));

  // 0x1C description; 0x1D the thumbnail, relative to "local".
  EXPECT_EQ(Ask(kDescription, KUIDBytes(kTrack)), StringBody("A test asset."));
  {
    const Bytes readerBytes = Ask(kThumbnail, Cat(KUIDBytes(kTrack), U32Body(0xF0)));
    BodyReader reader(readerBytes);
    EXPECT_EQ(reader.String(), "local");
    const std::string path = reader.String();
    EXPECT_EQ(reader.U32(), 0u);
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(GetFile(fs::path(UserDataPath()) / "local" / path), "JPEGDATA");
    EXPECT_EQ(Ask(kThumbnail, Cat(KUIDBytes(kTrack), U32Body(1))), Bytes(12, 0));
  }

  // 0x2A dependencies of a list (the count bounded by the body), 0x2B
  // obsoletes.
  EXPECT_EQ(
      KUIDList(Ask(kDependencies, Cat(U32Body(2), Cat(KUIDBytes(kTrack), KUIDBytes(kMissing))))),
      (std::vector<KUID>{kMissing}));
  EXPECT_TRUE(KUIDList(Ask(kDependencies, Cat(U32Body(1000000), KUIDBytes(kMissing)))).empty());
  EXPECT_EQ(KUIDList(Ask(kObsoletes, KUIDBytes(kTrack))), (std::vector<KUID>{kOld}));
  EXPECT_TRUE(KUIDList(Ask(kObsoletes, KUIDBytes(kMissing))).empty());
}

TEST_F(DaemonQueries, ValueRequestsStoreWhatOneWayRequestsSent) {
  MakeAsset(kTrack, "Steel Track", "TR");

  // 0x32 and 0x36 are one-way; their effect shows in the record.
  ASSERT_TRUE(client_->SendRequest(kFavourite, 0, Cat(KUIDBytes(kTrack), U8Body(1))));
  ASSERT_TRUE(client_->SendRequest(kKeywords, 0, Cat(KUIDBytes(kTrack), StringBody("steel;rail"))));
  Soup data;
  data.SetNamedInt(N("rating"), 5);
  Kiv::DynamicBuffer soupBytes;
  TBuffer soupStream(&soupBytes);
  ASSERT_TRUE(BinarySoup::Write(soupStream, data));
  const Bytes soup(soupBytes.Data(), soupBytes.Data() + soupBytes.DataLength());
  ASSERT_TRUE(client_->SendRequest(kSetLocalData, 0,
                                   Cat(Cat(KUIDBytes(kTrack), StringBody("online")), soup)));
  ASSERT_TRUE(client_->SendRequest(kSetLocalData, 0,
                                   Cat(Cat(KUIDBytes(kTrack), StringBody("bad")), Bytes{1, 2, 3})));
  // One-way requests run concurrently with later ones; wait until they show.
  AssetRecord track;
  VUTest::WaitUntil(
      [&] {
        track = Info(kTrack);
        return (track.flags2 & 1) == 1 && track.text3 == "steel;rail";
      },
      5000, 50);
  EXPECT_EQ(track.flags2 & 1, 1);
  EXPECT_EQ(track.text3, "steel;rail");

  // 0x79: the stored soup; the empty soup for a key never stored or refused.
  const Bytes kEmptySoup{0x41, 0x43, 0x53, 0x24, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Bytes stored;
  VUTest::WaitUntil(
      [&] {
        stored = Ask(kGetLocalData, Cat(KUIDBytes(kTrack), StringBody("online")));
        return stored == soup;
      },
      5000, 50);
  EXPECT_EQ(SoupFrom(stored).GetNamedTagAsInt(N("rating"), 0), 5);
  EXPECT_EQ(Ask(kGetLocalData, Cat(KUIDBytes(kTrack), StringBody("bad"))), kEmptySoup);
  EXPECT_EQ(Ask(kGetLocalData, Cat(KUIDBytes(kMissing), StringBody("online"))), kEmptySoup);

  // 0x3A: a new KUID in the local user's range, never the same twice.
  const KUID first = KUIDFrom(Ask(kNewKUID, {}));
  const KUID second = KUIDFrom(Ask(kNewKUID, {}));
  EXPECT_TRUE(first.IsValid() && !first.IsNull() && first.userId >= 0);
  EXPECT_FALSE(first == second);

  // 0x5A: an unknown user is -1 and the empty PString.
  EXPECT_EQ(Ask(kUserName, U32Body(777)), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
  // 0xB5: u8 1; 0xFD: the installed builds as a PString.
  EXPECT_EQ(Ask(kTextureFlag, {}), (Bytes{1}));
  Bytes builds;
  RawClient::PutPString(builds, "49938");
  EXPECT_EQ(Ask(kBuilds, {}), builds);
}

TEST_F(DaemonQueries, AccountRequestsAnswerFromInternetSettingsAndHoldBackARefusedCredential) {
  auto setting = [&](std::string_view key, std::string_view value) {
    Bytes body;
    RawClient::PutPString(body, "internet");
    RawClient::PutPString(body, key);
    RawClient::PutPString(body, value);
    Ask(kWriteSetting, body);
  };
  // Nothing stored: empty fields.
  EXPECT_EQ(Ask(kAccountName, {}), Bytes(4 * 4 + 2 * 2, 0));
  setting("username", "driver");
  setting("password", "secret");
  {
    const Bytes readerBytes = Ask(kAccountName, {});
    BodyReader reader(readerBytes);
    EXPECT_EQ(reader.String(), "driver");
    EXPECT_EQ(reader.String(), "");
    EXPECT_EQ(reader.String(), "");
    reader.Take(2);
    EXPECT_EQ(reader.String(), "");
    reader.Take(2);
    EXPECT_TRUE(reader.AtEnd());
  }
  EXPECT_EQ(Ask(kCredential, {}), StringBody("secret"));
  ASSERT_TRUE(client_->SendRequest(kLoginRefused, 0, {}));
  Bytes credential;
  VUTest::WaitUntil(
      [&] {
        credential = Ask(kCredential, {});
        return credential == StringBody("");
      },
      5000, 50);
  EXPECT_EQ(credential, StringBody(""));
  setting("password", "new-secret");
  EXPECT_EQ(Ask(kCredential, {}), StringBody("new-secret"));
}

TEST_F(DaemonQueries, EditCycleReservesCommitsEditsRevertsAndDeletes) {
  // A new asset: the null KUID takes a new one; its edit folder is empty.
  const Handle fresh = Reserve(kNullKUID, "Fresh");
  ASSERT_NE(fresh.handle, kNoHandle);
  EXPECT_FALSE(fresh.kuid.IsNull());
  EXPECT_GE(fresh.kuid.userId, 0);
  EXPECT_EQ(fresh.location, "editing");
  ASSERT_TRUE(fs::is_directory(fresh.folder));
  EXPECT_TRUE(fs::is_empty(fresh.folder));
  WriteConfig(fresh.folder, fresh.kuid, "Fresh", "TR", {}, {}, {{"mesh.im", "v1"}});

  std::vector<RawClient::Frame> notes;
  EXPECT_EQ(Commit(fresh.handle, &notes), (Bytes{1, 0}));
  EXPECT_TRUE(HasMessage(MessagesFor(notes, lastId_), ResultsLog::kSuccess, "committed"));
  Ask(kRelease, U64Body(fresh.handle));
  AssetRecord record = Info(fresh.kuid);
  EXPECT_EQ(Bit(record.status, 3), 1);
  EXPECT_EQ(Bit(record.status, 8), 0);
  EXPECT_EQ(record.username, "Fresh");

  // Opening for edit copies the installed files; a commit replaces them.
  Handle edit = Open(fresh.kuid, true);
  ASSERT_NE(edit.handle, kNoHandle);
  EXPECT_EQ(edit.location, "editing");
  EXPECT_EQ(GetFile(fs::path(edit.folder) / "mesh.im"), "v1");
  EXPECT_EQ(Bit(Info(fresh.kuid).status, 8), 1);
  PutFile(fs::path(edit.folder) / "mesh.im", "v2");
  // 0x20 on the open handle answers the same edit folder.
  {
    const Bytes readerBytes = Ask(kEditFolder, U64Body(edit.handle));
    BodyReader reader(readerBytes);
    EXPECT_EQ(reader.String(), "editing");
    EXPECT_EQ(reader.String(), edit.folder);
    EXPECT_TRUE(reader.AtEnd());
  }
  EXPECT_EQ(Commit(edit.handle), (Bytes{1, 1}));
  Ask(kRelease, U64Body(edit.handle));
  Handle view = Open(fresh.kuid, false);
  EXPECT_EQ(view.location, "local");
  EXPECT_EQ(GetFile(fs::path(view.folder) / "mesh.im"), "v2");
  Ask(kRelease, U64Body(view.handle));

  // A revert drops the edit copy; a handle is only good on its connection.
  edit = Open(fresh.kuid, true);
  PutFile(fs::path(edit.folder) / "mesh.im", "v3");
  auto other = Connect();
  ASSERT_NE(other, nullptr);
  notes.clear();
  EXPECT_EQ(Ask(kRevert, U64Body(edit.handle), &notes, other.get()), (Bytes{0}));
  EXPECT_TRUE(HasMessage(MessagesFor(notes, lastId_), ResultsLog::kError, "handle"));
  notes.clear();
  EXPECT_EQ(Ask(kRevert, U64Body(edit.handle), &notes), (Bytes{1}));
  EXPECT_EQ(MessagesFor(notes, lastId_).size(), 1u);
  EXPECT_FALSE(fs::exists(edit.folder));
  EXPECT_EQ(Bit(Info(fresh.kuid).status, 8), 0);
  EXPECT_TRUE(Ask(kRelease, U64Body(edit.handle)).empty());

  // Failures: all ones and a message; an unknown handle commits nothing.
  notes.clear();
  const Handle none = Open(kMissing, false, &notes);
  EXPECT_EQ(none.handle, kNoHandle);
  EXPECT_EQ(none.folder, "");
  EXPECT_TRUE(HasMessage(MessagesFor(notes, lastId_), ResultsLog::kError, ""));
  EXPECT_EQ(Commit(12345), (Bytes{0, 0}));
  const Bytes noFolderBytes = Ask(kEditFolder, U64Body(12345));
  BodyReader noFolder(noFolderBytes);
  EXPECT_EQ(noFolder.String(), "");
  EXPECT_EQ(noFolder.String(), "");
  EXPECT_TRUE(noFolder.AtEnd());

  // Delete: the success message comes before the reply; then it is unknown.
  notes.clear();
  EXPECT_EQ(Ask(kDelete, Cat(KUIDBytes(fresh.kuid), U8Body(1)), &notes), (Bytes{1}));
  EXPECT_TRUE(HasMessage(MessagesFor(notes, lastId_), ResultsLog::kSuccess, "deleted"));
  EXPECT_FALSE(Info(fresh.kuid).flagE);
  notes.clear();
  EXPECT_EQ(Ask(kDelete, Cat(KUIDBytes(fresh.kuid), U8Body(1)), &notes), (Bytes{0}));
  EXPECT_TRUE(HasMessage(MessagesFor(notes, lastId_), ResultsLog::kError, ""));
}

// The filter bodies the tool sends, built with its own element classes.
Bytes FilterBody(const VADFilterElement* filter) {
  Kiv::DynamicBuffer data;
  TBuffer stream(&data);
  WriteFilterElement(stream, filter);
  return Bytes(data.Data(), data.Data() + data.DataLength());
}

TEST_F(DaemonQueries, SearchByCategoryEvaluatesTheFilterInStoreOrder) {
  MakeAsset(kSignal, "Signal", "SIG");
  MakeAsset(kBridge, "Stone Bridge", "BR");
  MakeAsset(kTrack, "Steel Track", "TR;BR");

  // "searchbycategory BR": {strn 1 "BR", bool 0}.
  VADFilterElementGroup byCategory;
  byCategory.Add(std::make_unique<VADFilterElementString>(VADFilterElementString::kCategoryList,
                                                          Kiv::PString("BR")));
  byCategory.Add(std::make_unique<VADFilterElementBool>(VADFilterElementBool::kLocal));
  EXPECT_EQ(KUIDList(Ask(kSearch, FilterBody(&byCategory))), (std::vector<KUID>{kTrack, kBridge}));

  VADFilterElementGroup notTrack;
  notTrack.Add(std::make_unique<VADFilterElementString>(VADFilterElementString::kCategoryList,
                                                        Kiv::PString("BR;-TR|SIG")));
  EXPECT_EQ(KUIDList(Ask(kSearch, FilterBody(&notTrack))), (std::vector<KUID>{kBridge, kSignal}));

  // The empty group and no filter list everything; a damaged filter nothing.
  VADFilterElementGroup empty;
  EXPECT_EQ(KUIDList(Ask(kSearch, FilterBody(&empty))),
            (std::vector<KUID>{kTrack, kBridge, kSignal}));
  EXPECT_EQ(KUIDList(Ask(kSearch, U32Body(0))).size(), 3u);
  EXPECT_TRUE(KUIDList(Ask(kSearch, U32Body(0x12345678))).empty());
  Bytes cut = FilterBody(&byCategory);
  cut.resize(cut.size() - 3);
  EXPECT_TRUE(KUIDList(Ask(kSearch, cut)).empty());
}

TEST_F(DaemonQueries, RepairRunsAsynchronouslyReportsProgressAndMarksFaultyAssets) {
  MakeAsset(kTrack, "Steel Track", "TR", {kMissing});
  MakeAsset(kBridge, "Stone Bridge", "BR");
  MakeAsset(kSignal, "Signal", "SIG");
  // Damage one asset behind the daemon's back.
  const Bytes folderBytes = Ask(kFolder, Cat(KUIDBytes(kBridge), U8Body(0)));
  BodyReader folder(folderBytes);
  folder.String();
  const std::string bridgeFolder = folder.String();
  ASSERT_TRUE(fs::remove(fs::path(bridgeFolder) / "config.txt"));

  std::vector<RawClient::Frame> notes;
  EXPECT_TRUE(Ask(kRepair, U32Body(100), &notes).empty());
  const uint32_t repairId = lastId_;

  // Running: flag 1; a second repair is refused with a message.
  auto poll = [&](uint8_t* flag, float* progress, std::string* status) {
    const Bytes readerBytes = Ask(kRepairPoll, {}, &notes);
    BodyReader reader(readerBytes);
    *flag = reader.U8();
    *progress = reader.F32();
    *status = reader.String();
    EXPECT_TRUE(reader.AtEnd());
  };
  uint8_t flag = 0;
  float progress = -1;
  std::string status;
  poll(&flag, &progress, &status);
  EXPECT_EQ(flag, 1);
  EXPECT_GE(progress, 0.0f);
  EXPECT_LT(progress, 1.0f);
  EXPECT_FALSE(status.empty());
  Ask(kRepair, U32Body(150), &notes);
  EXPECT_TRUE(HasMessage(MessagesFor(notes, lastId_), ResultsLog::kError, "already running"));

  const auto repairEnded = [&] {
    poll(&flag, &progress, &status);
    return flag == 0;
  };
  ASSERT_TRUE(VUTest::WaitUntil(repairEnded, 20000, 100));
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
  ASSERT_TRUE(client_->SendRequest(kPatcherRepair, 0, {}));
  const auto second = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    poll(&flag, &progress, &status);
  } while (flag == 1 && std::chrono::steady_clock::now() < second);
  EXPECT_EQ(flag, 0);
}

class DaemonQueriesThroughClient : public DaemonFixture {
 protected:
  bool AutoStart() const override { return false; }
  void TearDown() override {
    VADClient::Close();
    VADClient::SetTimings(VADClientTimings());
    ResetFolderLayoutForTests();
    DaemonFixture::TearDown();
  }
};

TEST_F(DaemonQueriesThroughClient, GenerateKUIDReturnsAValidKUIDOfTheLocalRange) {
  NetStartup();
  ASSERT_TRUE(DetermineInstallPath(Kiv::File::Path(Root())));
  VADClientTimings timings;
  timings.attemptDelayMs = 300;
  timings.attempts = 40;
  VADClient::SetTimings(timings);
  VADClientOptions options;
  options.restartDaemon = true;
  ASSERT_TRUE(VADOpenDatabase(options));
  const pid_t pid = pid_t(daemons_.ReadOwnerBlock().owner);
  daemons_.Adopt(pid);

  const KUID first = VADClient::GenerateKUID();
  const KUID second = VADClient::GenerateKUID();
  EXPECT_FALSE(first.IsNull());
  EXPECT_TRUE(first.IsValid());
  EXPECT_GE(first.userId, 0);
  EXPECT_LE(first.userId, 0x1FFFFFF);
  EXPECT_EQ(first.version, 0);
  EXPECT_FALSE(first == second);

  EXPECT_TRUE(VADClient::CloseDaemon());
  VADClient::Close();
  EXPECT_EQ(daemons_.WaitExit(pid, 10000), 0);
}

}  // namespace
