// The transfer archive reader on damaged and hostile files. The daemon
// client is not open here, so an entry that reaches the install step fails
// its first request at once: these tests check what the reader itself
// decides and that it always ends. At the end, an archive installed over
// an edit copy the user had open, against the scripted daemon.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "assetdb/archive/TransferArchive.h"
#include "assetdb/client/TransferArchiveClient.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/text/KUID.h"
#include "tests/support/ImmutableFolder.h"
#include "tests/support/InstallRoot.h"
#include "tests/support/TempFolder.h"
#include "tests/support/VADClientTestBase.h"
#include "tests/support/WireBody.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kToken = 77;
constexpr uint32_t kSizeAt = 12;  // Version 1: magic, version, build, size.

void PutU32(Bytes& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}
void SetU32(Bytes& out, uint32_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(value >> (8 * i));
}
void PutKUID(Bytes& out, const KUID& kuid) {
  TBuffer buffer;
  WriteKUID(buffer, kuid);
  TStreamRewind(buffer);
  uint8_t bytes[8] = {};
  buffer.Read(bytes, 8);
  out.insert(out.end(), bytes, bytes + 8);
}
Bytes EntryBytes(const KUID& kuid) {
  Soup entry;
  entry.Create();
  entry.SetNamedKUID(Kiv::PString("kuid"), kuid);
  entry.SetNamedTag(Kiv::PString("username"), "test asset");
  TBuffer buffer;
  BinarySoup::Write(buffer, entry);
  TStreamRewind(buffer);
  Bytes out(buffer.GetSize());
  buffer.Read(out.data(), uint32_t(out.size()));
  return out;
}

Bytes Header(uint32_t version = 1, float build = 3.4f, uint32_t token = kToken) {
  Bytes out;
  PutU32(out, kTransferArchiveMagic);
  PutU32(out, version);
  if (version == 1) {
    uint32_t bits = 0;
    std::memcpy(&bits, &build, 4);
    PutU32(out, bits);
  }
  PutU32(out, 0);  // size, set by Finish
  PutU32(out, token);
  return out;
}
// Appends a record whose next-record offset is `next` (0: the true one).
void AddRecord(Bytes& out, const KUID& kuid, const Bytes& entry, uint32_t next = 0) {
  PutKUID(out, kuid);
  const uint32_t at = uint32_t(out.size());
  PutU32(out, 0);
  out.insert(out.end(), entry.begin(), entry.end());
  SetU32(out, at, next ? next : uint32_t(out.size()));
}
void Finish(Bytes& out, uint32_t sizeAt = kSizeAt) {
  PutKUID(out, kNullKUID);
  SetU32(out, sizeAt, uint32_t(out.size()));
}

class TransferArchiveTest : public ::testing::Test {
 protected:
  bool Install(const Bytes& bytes, KUIDList& wanted, ResultsLog& log, uint32_t token = kToken) {
    const std::string path = temp_.Put("transfer.crak", std::string(bytes.begin(), bytes.end()));
    return InstallFromArchiveFile(token, wanted, path, &log);
  }
  static std::vector<std::string> Texts(ResultsLog& log) {
    std::vector<std::string> out;
    for (const ResultMessage& m : log.Messages()) out.push_back(m.text);
    return out;
  }
  static std::string Text(const char* tag) { return GetInterfaceText(tag); }

  VUTest::TempFolder temp_{"Transfer"};
};

const KUID kA{123, 456, 0};
const KUID kB{123, 457, 2};

TEST_F(TransferArchiveTest, EmptyArchivesOfBothVersionsReadToTheirEnd) {
  for (const uint32_t version : {1u, 0u}) {
    Bytes file = Header(version);
    Finish(file, version == 1 ? kSizeAt : 8);
    KUIDList wanted;
    wanted.Append(kA);
    ResultsLog log;
    EXPECT_TRUE(Install(file, wanted, log)) << version;
    EXPECT_EQ(log.MessageCount(), 0u);
    EXPECT_EQ(wanted.Count(), 1u);
  }
}

TEST_F(TransferArchiveTest, HeaderFaultsAreReportedAndStopTheRead) {
  Bytes whole = Header();
  Finish(whole);
  Bytes longer = whole;
  SetU32(longer, kSizeAt, uint32_t(longer.size() + 1));
  Bytes badMagic = whole;
  badMagic[0] = 'x';
  const struct {
    const char* what;
    Bytes file;
    uint32_t token;
    const char* message;
  } cases[] = {
      {"version 2", Header(2), kToken, "$vad_archive_version"},
      {"six bytes", {'c', 'r', 'a', 'k', 1, 0}, kToken, "$vad_archive_version"},
      {"size one off", longer, kToken, "$vad_archive_unreadable"},
      {"other token", whole, kToken + 1, "$vad_archive_unreadable"},
      {"bad magic", badMagic, kToken, "$vad_archive_unreadable"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    KUIDList wanted;
    ResultsLog log;
    EXPECT_FALSE(Install(c.file, wanted, log, c.token));
    EXPECT_EQ(Texts(log), std::vector<std::string>{Text(c.message)});
  }
}

TEST_F(TransferArchiveTest, WriterBuildChoosesTheInstallOptions) {
  constexpr uint32_t kBinary = 0x2;
  constexpr uint32_t kBinaryAndFlag8 = 0xA;
  const struct {
    float build;
    uint32_t options;
  } cases[] = {
      {3.4f, kBinaryAndFlag8},
      {3.405f, kBinaryAndFlag8},
      {3.5f, kBinary},
      {3.38f, kBinary},
      {1e30f, kBinary},
      {-1e30f, kBinary},
      {std::numeric_limits<float>::infinity(), kBinary},
      {std::numeric_limits<float>::quiet_NaN(), kBinary},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.build);
    Bytes file = Header(1, c.build);
    AddRecord(file, kA, EntryBytes(kA));
    Finish(file);
    TBuffer stream;
    stream.Write(file.data(), uint32_t(file.size()));
    TStreamRewind(stream);
    ResultsLog log;
    std::vector<uint32_t> options;
    const auto all = [](const KUID&) { return true; };
    const auto take = [&options](const KUID&, Soup&, uint32_t given) { options.push_back(given); };
    EXPECT_TRUE(ReadTransferArchive(stream, kToken, &log, all, take));
    EXPECT_EQ(options, std::vector<uint32_t>{c.options});
  }
}

TEST_F(TransferArchiveTest, UnwantedRecordIsSteppedOverUnparsed) {
  Bytes file = Header();
  AddRecord(file, kB, Bytes(40, 0xEE));  // Not a soup at all.
  Finish(file);
  KUIDList wanted;
  wanted.Append(kA);
  ResultsLog log;
  EXPECT_TRUE(Install(file, wanted, log));
  EXPECT_EQ(log.MessageCount(), 0u);
}

TEST_F(TransferArchiveTest, WantedRecordThatFailsToInstallStaysWanted) {
  Bytes file = Header();
  AddRecord(file, kA, EntryBytes(kA));
  AddRecord(file, kB, EntryBytes(kA));  // Names another KUID: skipped silently.
  Finish(file);
  KUIDList wanted;
  wanted.Append(kA);
  wanted.Append(kB);
  ResultsLog log;
  EXPECT_TRUE(Install(file, wanted, log));
  EXPECT_EQ(wanted.Count(), 2u);
  // Only kA reached the install, whose reservation fails without a daemon.
  EXPECT_EQ(log.MessageCount(), 1u);
  EXPECT_EQ(log.GetErrorCount(), 1u);
}

TEST_F(TransferArchiveTest, NextRecordOffsetThatDoesNotMoveForwardIsRefused) {
  const std::string unreadable = Text("$vad_archive_unreadable");
  for (const uint32_t next : {0u, 20u, 32u, 1u, 0xFFFFFFF0u}) {
    SCOPED_TRACE(next);
    Bytes file = Header();
    PutKUID(file, kB);
    const uint32_t at = uint32_t(file.size());
    PutU32(file, 0);
    const Bytes entry = EntryBytes(kB);
    file.insert(file.end(), entry.begin(), entry.end());
    SetU32(file, at, next);  // 20: the record's own start; 32: its header end.
    Finish(file);
    KUIDList wanted;
    ResultsLog log;
    EXPECT_FALSE(Install(file, wanted, log));
    EXPECT_EQ(Texts(log), std::vector<std::string>{unreadable});
  }
}

TEST_F(TransferArchiveTest, TruncationAtEveryLengthEndsWithoutInstalling) {
  Bytes whole = Header();
  AddRecord(whole, kA, EntryBytes(kA));
  AddRecord(whole, kB, EntryBytes(kB));
  Finish(whole);
  for (size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    Bytes cut(whole.begin(), whole.begin() + std::ptrdiff_t(length));
    if (length >= kSizeAt + 4)
      SetU32(cut, kSizeAt, uint32_t(length));  // Keep the header consistent.
    KUIDList wanted;
    wanted.Append(kA);
    wanted.Append(kB);
    ResultsLog log;
    Install(cut, wanted, log);
    EXPECT_EQ(wanted.Count(), 2u);
    EXPECT_LE(log.MessageCount(), 2u);
  }
}

// --- Installed against the scripted daemon, which answers the install's
// requests (0x15, 0x1E, 0x1F) up to the row's count, then ends as a killed
// one does. An edit copy that was open holds the user's files: they are set
// aside, as the log says, before anything is written or removed there.

struct EditCopyCase {
  const char* name;
  int answered;       // 3: every request
  bool open;          // the record says open for edit (else only installed)
  const char* files;  // in the edit folder: "work.txt", "" (empty), null (no folder)
  bool frozen;        // "editing" cannot be changed: nothing can be set aside
  bool refused = false;  // not installed, so committed, and the commit is refused
};

const EditCopyCase kEditCopyCases[] = {
    {"DaemonEndsOnceItNamedTheEditFolder", 2, true, "work.txt", false},
    {"EveryRequestAnswered", 3, true, "work.txt", false},
    {"AnEmptyEditCopyIsNotSetAside", 3, true, "", false},
    {"AMissingEditFolderIsMade", 3, true, nullptr, false},
    {"TheCopyOfAnAssetNotOpenForEditIsEmptied", 3, false, "work.txt", false},
    {"AnEditCopyThatCannotBeSetAsideFailsTheInstall", 3, true, "work.txt", true},
    {"ARefusedCommitPutsTheEditCopyBack", 3, true, "work.txt", false, true},
};

void PrintTo(const EditCopyCase& row, std::ostream* out) {
  *out << row.name;
}

constexpr uint64_t kHandle = 42;

// kA's record: known, installed locally (status bit 3) unless `refused`,
// open for edit (8) when `open`.
Bytes InstalledRecord(bool open, bool refused) {
  VUTest::WireBody record;
  record.K(kA).Str("").Str("").Str("");
  for (int bit = 0; bit < 18; ++bit)
    record.U8(bit == 0 || (bit == 3 && !refused) || (open && bit == 8));
  record.U32(0).Str("local").Str("").U32(100).Str("scenery").Str("").U8(0).U8(0).U8(0);
  return record.U32(0).F32(3.4f).U64(0).U64(0).K(kNullKUID).U8(1);
}

class EditCopyInstall : public VADClientTestBase,
                        public ::testing::WithParamInterface<EditCopyCase> {
 protected:
  void TearDown() override {  // Forgets this root's content-set folders.
    VADClientTestBase::TearDown();
    ResetFolderLayoutForTests();
  }
};

TEST_P(EditCopyInstall, TheUsersFilesAreNeverWrittenOverOrRemoved) {
  const EditCopyCase& row = GetParam();
  VUTest::InstallRoot root("EditCopy");
  ASSERT_TRUE(root.Made() && DetermineInstallPath(Kiv::File::Path(root.Path())));
  const std::string edit = "UserData/editing/kuid 123 456";
  root.Files().MakeFolder(row.files ? edit : "UserData/editing");
  if (row.files && *row.files) root.Files().Put(edit + "/" + row.files, "the user's work");
  std::unique_ptr<ImmutableFolder> frozen;
  if (row.frozen) frozen = std::make_unique<ImmutableFolder>(root.UserData() + "/editing");
  if (frozen && !frozen->Made()) GTEST_SKIP() << "no immutable attribute here";
  FakeDaemon daemon;
  daemon.ExpectHandshake().ExpectRequest(0x15).Reply(InstalledRecord(row.open, row.refused));
  daemon.ExpectRequest(0x1E).Reply(
      VUTest::WireBody().U64(kHandle).PStr("editing").Str(root.Path() + "/" + edit));
  if (row.refused) daemon.ExpectRequest(0x22).Reply(VUTest::WireBody().U8(0).U8(0));
  daemon.ExpectRequest(0x1F);
  if (row.answered == 3) daemon.Reply({});
  if (row.answered == 3 && !row.frozen && !row.refused) daemon.ExpectRequest(0x32);
  if (row.answered == 3) daemon.ExpectGoodbye();
  daemon.Drop();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));

  Bytes file = Header();
  AddRecord(file, kA, EntryBytes(kA));
  Finish(file);
  KUIDList wanted;
  wanted.Append(kA);
  ResultsLog log;
  InstallFromArchiveFile(kToken, wanted,
                         root.Files().Put("t.crak", std::string(file.begin(), file.end())), &log);
  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(3000));
  for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
  frozen.reset();

  // The archive's configuration alone, in a folder made anew; or nothing
  // written where the user's files could not be set aside.
  EXPECT_EQ(root.Files().Listing(edit), row.frozen || row.refused ? "work.txt" : "config.txt");
  std::string said;
  for (const ResultMessage& m : log.Messages()) said += m.text + "\n";
  const std::string names = root.Files().Listing("UserData/editing");
  const size_t at = names.find("kuid 123 456.set-aside-");
  const bool keep = row.open && row.files && *row.files && !row.frozen && !row.refused;
  ASSERT_EQ(at != std::string::npos, keep) << names;
  EXPECT_EQ(said.find("left the edit copy as it was: cannot set aside ") != std::string::npos,
            row.frozen)
      << said;
  EXPECT_EQ(said.find("Kept") != std::string::npos, keep) << said;
  if (!keep) return;
  const std::string aside = names.substr(at);
  EXPECT_EQ(root.Files().Get("UserData/editing/" + aside + "/work.txt"), "the user's work");
  EXPECT_EQ(said.substr(0, said.find('\n')),
            "Kept the edit copy " + root.Path() + "/" + edit + " as " + root.UserData() +
                "/editing/" + aside + ": the install replaced it.");
}

INSTANTIATE_TEST_SUITE_P(Rows, EditCopyInstall, ::testing::ValuesIn(kEditCopyCases),
                         [](const ::testing::TestParamInfo<EditCopyCase>& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
