// Installing folders (0x27) and archives (0x28), the questions asked while
// installing (notification 2, answer 0x96), and archive entries for export
// (0x30), against the daemon process.
#include <sys/stat.h>

#include <set>

#include "tests/vaddaemon/DaemonFixture.h"
#include "tests/vaddaemon/InstallTestSupport.h"

namespace {

using namespace installtest;

const KUID kFirst{4001, 10, 0};
const KUID kSecond{4001, 11, 2};

class DaemonInstall : public DaemonFixture {
 protected:
  fs::path Source(const std::string& name) const { return fs::path(Root()) / "source" / name; }

  // Sends an install request; the reply and the notes before it.
  Bytes Install(RawClient& client, uint32_t code, uint32_t id, const std::string& path,
                uint8_t callback, std::vector<RawClient::Frame>* notes) {
    Bytes reply;
    EXPECT_TRUE(client.Transact(code, id,
                                InstallBody(path, code == kInstallFolder ? 0 : 2, callback), &reply,
                                notes, 30000));
    return reply;
  }

  // Reads frames until a reply; the reply's body, the notes before it in
  // `notes`.
  Bytes AwaitReply(RawClient& client, std::vector<RawClient::Frame>* notes) {
    RawClient::Frame frame;
    while (client.ReadFrame(frame, 30000) && !frame.IsReply()) notes->push_back(frame);
    EXPECT_TRUE(frame.IsReply());
    return frame.body;
  }

  Soup Export(RawClient& client, uint32_t id, const KUID& kuid,
              std::vector<RawClient::Frame>* notes = nullptr) {
    Bytes reply;
    EXPECT_TRUE(client.Transact(kExportEntry, id, ExportBody(kuid, 3), &reply, notes));
    return SoupFrom(reply);
  }
};

TEST_F(DaemonInstall, FolderInstallReportsSuccessBeforeReplyAndRefusesFolderWithoutConfig) {
  const FileMap files = {{"mesh.im", "mesh bytes"},
                         {"textures/wall.texture", std::string(3000, 'w')}};
  MakeAssetFolder(Source("first"), kFirst, "First thing", files);
  auto client = Connect();
  ASSERT_TRUE(client);

  // A relative path is resolved against the bin folder.
  std::vector<RawClient::Frame> notes;
  Bytes reply = Install(*client, kInstallFolder, 7, "../source/first", 0, &notes);
  ASSERT_EQ(reply.size(), 9u);
  EXPECT_EQ(KUIDFrom(reply), kFirst);
  EXPECT_EQ(reply[8], 1);
  auto messages = MessagesFor(notes, 7);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].severity, ResultsLog::kSuccess);

  // The installed files come back in the archive entry.
  Soup entry = Export(*client, 8, kFirst);
  ASSERT_FALSE(entry.IsNull());
  EXPECT_EQ(CDP::GetEntryKUID(entry), kFirst);

  // A folder without a configuration, and one that does not exist.
  fs::create_directories(Source("empty"));
  notes.clear();
  reply = Install(*client, kInstallFolder, 9, Source("empty").string(), 0, &notes);
  ASSERT_EQ(reply.size(), 9u);
  EXPECT_TRUE(KUIDFrom(reply).IsNull());
  EXPECT_EQ(reply[8], 0);
  EXPECT_TRUE(HasMessage(MessagesFor(notes, 9), ResultsLog::kError, "config"));
  notes.clear();
  reply = Install(*client, kInstallFolder, 10, Source("missing").string(), 0, &notes);
  EXPECT_TRUE(KUIDFrom(reply).IsNull());
  EXPECT_TRUE(HasMessage(MessagesFor(notes, 10), ResultsLog::kError, "not a folder"));
}

TEST_F(DaemonInstall, QuestionAboutInstalledAssetOnlyWithCallbackAndAnswerDecides) {
  MakeAssetFolder(Source("first"), kFirst, "First thing", {{"a.txt", "one"}});
  auto client = Connect();
  ASSERT_TRUE(client);
  std::vector<RawClient::Frame> notes;
  ASSERT_EQ(KUIDFrom(Install(*client, kInstallFolder, 1, Source("first").string(), 1, &notes)),
            kFirst);
  for (const auto& note : notes) EXPECT_NE(note.word, kNoteQuestion) << "asked about a new asset";

  // Installed now: with the callback byte the tool is asked; answer 1 keeps
  // the installed copy, with no message.
  PutFile(Source("first") / "a.txt", "two");
  ASSERT_TRUE(client->SendRequest(kInstallFolder, 2, InstallBody(Source("first").string(), 0, 1)));
  RawClient::Frame frame;
  ASSERT_TRUE(client->ReadFrame(frame));
  ASSERT_TRUE(frame.IsNote());
  ASSERT_EQ(frame.word, kNoteQuestion);
  BodyReader question(frame.body);
  EXPECT_EQ(question.U32(), 2u);
  EXPECT_EQ(question.String(), "First thing");
  EXPECT_EQ(KUIDFrom(question.Take(8)), kFirst);
  EXPECT_TRUE(question.AtEnd());
  ASSERT_TRUE(client->SendRequest(kAnswerQuestion, 0, Body().U32(2).U32(1)));
  ASSERT_TRUE(client->ReadFrame(frame));
  ASSERT_TRUE(frame.IsReply());
  EXPECT_TRUE(KUIDFrom(frame.body).IsNull());
  EXPECT_EQ(
      GetFile(fs::path(UserDataPath()) / "local" / LocalFolders(UserDataPath()).at(0) / "a.txt"),
      "one");

  // Answer 3 replaces.
  ASSERT_TRUE(client->SendRequest(kInstallFolder, 3, InstallBody(Source("first").string(), 0, 1)));
  ASSERT_TRUE(client->ReadFrame(frame));
  ASSERT_EQ(frame.word, kNoteQuestion);
  ASSERT_TRUE(client->SendRequest(kAnswerQuestion, 0, Body().U32(3).U32(3)));
  notes.clear();
  EXPECT_EQ(KUIDFrom(AwaitReply(*client, &notes)), kFirst);
  EXPECT_TRUE(HasMessage(MessagesFor(notes, 3), ResultsLog::kSuccess, "Installed"));

  // Without the callback byte an installed asset is replaced without a
  // question.
  notes.clear();
  EXPECT_EQ(KUIDFrom(Install(*client, kInstallFolder, 4, Source("first").string(), 0, &notes)),
            kFirst);
  for (const auto& note : notes) EXPECT_NE(note.word, kNoteQuestion);
}

TEST_F(DaemonInstall, ArchiveRoundTripInstallExportRebuildExtract) {
  const FileMap firstFiles = {{"mesh.im", "mesh"},
                              {"art/skin.texture", std::string(5000, 's') + "end"}};
  const FileMap secondFiles = {{"empty.txt", ""}, {"readme.txt", "hello"}};
  const fs::path archive = Source("pack.cdp");
  fs::create_directories(archive.parent_path());
  WriteArchive(archive, {MakeEntry(kFirst, "First", firstFiles, true),
                         MakeEntry(kSecond, "Second", secondFiles, false)});
  auto client = Connect();
  ASSERT_TRUE(client);

  std::vector<RawClient::Frame> notes;
  Bytes reply = Install(*client, kInstallArchive, 5, archive.string(), 0, &notes);
  ASSERT_EQ(reply.size(), 5u);
  EXPECT_EQ(BodyReader(reply).U32(), 2u);
  EXPECT_EQ(reply[4], 1);
  auto messages = MessagesFor(notes, 5);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].severity, ResultsLog::kSuccess);
  EXPECT_EQ(messages[1].severity, ResultsLog::kSuccess);

  // Export both and build a new archive from the entries, as "createcdp"
  // does (the extracted files are the command's end-to-end test's).
  Soup first = Export(*client, 6, kFirst);
  Soup second = Export(*client, 7, kSecond);
  ASSERT_FALSE(first.IsNull());
  ASSERT_FALSE(second.IsNull());
  EXPECT_EQ(CDP::GetCompression(first).Str(), "LZSS");
  EXPECT_EQ(first.GetNamedTag(N("username")).Str(), "First");
  const fs::path rebuilt = Source("rebuilt.cdp");
  WriteArchive(rebuilt, {first, second});

  // Installing the rebuilt archive over the installed assets leaves them
  // open for edit, as edit copies.
  notes.clear();
  reply = Install(*client, kInstallArchive, 8, rebuilt.string(), 0, &notes);
  EXPECT_EQ(BodyReader(reply).U32(), 2u);
  EXPECT_TRUE(HasMessage(MessagesFor(notes, 8), ResultsLog::kSuccess, "open for edit"));

  // An asset that is not installed gives an empty entry and an error.
  notes.clear();
  Bytes empty;
  ASSERT_TRUE(client->Transact(kExportEntry, 9, ExportBody(KUID{4001, 99, 0}, 0), &empty, &notes));
  EXPECT_TRUE(empty.empty());
  EXPECT_TRUE(HasMessage(MessagesFor(notes, 9), ResultsLog::kError, "not installed"));
}

TEST_F(DaemonInstall, ArchiveFolderDeeperThanTheStoreKeepsIsNamed) {
  std::string deepest = "d";
  for (int i = 1; i <= 64; ++i) deepest += "/d";
  const fs::path archive = Source("deep.cdp");
  fs::create_directories(archive.parent_path());
  WriteArchive(archive, {MakeEntry(kFirst, "Deep", {{deepest + "/f.txt", "x"}}, false)});
  auto client = Connect();
  ASSERT_TRUE(client);

  std::vector<RawClient::Frame> notes;
  const Bytes reply = Install(*client, kInstallArchive, 1, archive.string(), 0, &notes);
  ASSERT_EQ(reply.size(), 5u);
  EXPECT_EQ(BodyReader(reply).U32(), 0u);
  EXPECT_TRUE(
      HasMessage(MessagesFor(notes, 1), ResultsLog::kError,
                 "its folder '" + deepest + "' is nested too deeply (more than 64 levels)"));
  EXPECT_TRUE(LocalFolders(UserDataPath()).empty());
}

TEST_F(DaemonInstall, HostileArchivesInstallNothingOutsideTheStore) {
  const fs::path garbage = Source("garbage.cdp");
  PutFile(garbage, std::string("ACS$\x01\0\0\0", 8) + std::string(200, '\xff'));
  const fs::path secret = Source("secret.txt");
  PutFile(secret, "do not copy");
  // An entry that names a local file, and one whose folder tries to climb
  // out (the names' own cases are CDPExtractTest's).
  Soup reference = MakeEntry(kFirst, "Ref", {}, false, "filepath");
  {
    Bytes data;
    RawClient::PutString(data, "");
    RawClient::PutString(data, secret.string());
    Soup files = reference.GetNamedSoup(N("files"));
    AddByteTag(files, "copy.txt", std::string(data.begin(), data.end()));
  }
  Soup climbing = MakeEntry(kSecond, "Climb", {{"ok.txt", "fine"}}, false);
  {
    Soup files = climbing.GetNamedSoup(N("files"));
    Soup up;
    AddByteTag(up, "escaped.txt", "x");
    files.SetNamedSoup(N(".."), up);
  }
  const fs::path hostile = Source("hostile.cdp");
  WriteArchive(hostile, {reference, climbing});
  auto client = Connect();
  ASSERT_TRUE(client);

  std::vector<RawClient::Frame> notes;
  Bytes reply = Install(*client, kInstallArchive, 1, garbage.string(), 0, &notes);
  ASSERT_EQ(reply.size(), 5u);
  EXPECT_EQ(BodyReader(reply).U32(), 0u);
  EXPECT_TRUE(HasMessage(MessagesFor(notes, 1), ResultsLog::kError, "not a valid CDP"));

  notes.clear();
  reply = Install(*client, kInstallArchive, 2, Source("nothing.cdp").string(), 0, &notes);
  EXPECT_EQ(BodyReader(reply).U32(), 0u);
  EXPECT_EQ(MessagesFor(notes, 2).size(), 1u);

  notes.clear();
  reply = Install(*client, kInstallArchive, 3, hostile.string(), 0, &notes);
  ASSERT_EQ(reply.size(), 5u);
  EXPECT_EQ(BodyReader(reply).U32(), 1u);  // only the climbing one, without its bad names
  EXPECT_EQ(reply[4], 0);
  auto messages = MessagesFor(notes, 3);
  EXPECT_TRUE(HasMessage(messages, ResultsLog::kError, "Local file references"));
  const std::vector<std::string> folders = LocalFolders(UserDataPath());
  ASSERT_EQ(folders.size(), 1u);
  const FileMap installed = FilesBelow(fs::path(UserDataPath()) / "local" / folders[0]);
  EXPECT_EQ(installed.count("ok.txt"), 1u);
  EXPECT_FALSE(fs::exists(fs::path(UserDataPath()) / "local" / "escaped.txt"));
  EXPECT_FALSE(fs::exists(fs::path(UserDataPath()) / "escaped.txt"));

  // A damaged request body gets a reply and an error, not a hang.
  notes.clear();
  ASSERT_TRUE(client->Transact(kInstallArchive, 5, Body().U32(1000), &reply, &notes));
  EXPECT_EQ(BodyReader(reply).U32(), 0u);
  EXPECT_TRUE(HasMessage(MessagesFor(notes, 5), ResultsLog::kError, "damaged"));
}

TEST_F(DaemonInstall, DamagedEntryIsNamedWithArchivePathByteAndFile) {
  // LZSS data shorter than its 4-byte size word cannot be decoded.
  Soup entry = MakeEntry(kFirst, "Damaged", {}, true);
  Soup files = entry.GetNamedSoup(N("files"));
  AddByteTag(files, "mesh.im", "\x7f\x7e\x7d");
  const fs::path archive = Source("damaged.cdp");
  fs::create_directories(archive.parent_path());
  WriteArchive(archive, {entry});
  auto client = Connect();
  ASSERT_TRUE(client);

  std::vector<RawClient::Frame> notes;
  EXPECT_EQ(BodyReader(Install(*client, kInstallArchive, 1, archive.string(), 0, &notes)).U32(),
            0u);
  const auto messages = MessagesFor(notes, 1);
  ASSERT_EQ(messages.size(), 1u);
  const std::string prefix = "Unable to install <kuid:4001:10>: " + archive.string() + ": byte ";
  const std::string& text = messages[0].text;
  ASSERT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
  const size_t offset = std::stoul(text.substr(prefix.size()));
  EXPECT_EQ(GetFile(archive).substr(offset, 3), "\x7f\x7e\x7d");
  EXPECT_EQ(text.substr(text.find(": ", prefix.size())),
            ": Failed to decompress data. Content package may be damaged (file 'mesh.im')");
}

TEST_F(DaemonInstall, PipeInPlaceOfConfigurationOrArchiveFailsAtOnceAndDaemonGoesOn) {
  for (const char* folder : {"piped-txt", "piped-chump"}) fs::create_directories(Source(folder));
  ASSERT_EQ(mkfifo((Source("piped-txt") / "config.txt").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo((Source("piped-chump") / "config.chump").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(Source("piped.cdp").c_str(), 0600), 0);
  struct Case {
    uint32_t code;
    const char* path;
    const char* message;
  };
  const Case cases[] = {
      {kInstallFolder, "piped-txt", "no readable config"},
      {kInstallFolder, "piped-chump", "no readable config"},
      {kInstallArchive, "piped.cdp", "not a file"},
  };
  auto client = Connect();
  ASSERT_TRUE(client);
  uint32_t id = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::vector<RawClient::Frame> notes;
    Bytes reply;
    ASSERT_TRUE(
        client->Transact(c.code, id, InstallBody(Source(c.path).string(), 0, 0), &reply, &notes));
    ASSERT_EQ(reply.size(), c.code == kInstallFolder ? 9u : 5u);
    EXPECT_EQ(reply.back(), 0);
    EXPECT_TRUE(HasMessage(MessagesFor(notes, id), ResultsLog::kError, c.message));
    ++id;
  }
  EXPECT_TRUE(LocalFolders(UserDataPath()).empty());
  MakeAssetFolder(Source("plain"), kFirst, "Plain", {{"a.txt", "x"}});
  std::vector<RawClient::Frame> notes;
  EXPECT_EQ(KUIDFrom(Install(*client, kInstallFolder, id, Source("plain").string(), 0, &notes)),
            kFirst);
}

// Installs that meet after staging, each having looked at the store before
// either of them recorded its asset.
class DaemonInstallMeeting : public DaemonInstall {
 protected:
  std::vector<std::string> DaemonEnvironment() const override {
    return {"VADDAEMON_TEST_INSTALL_GATHER=2"};
  }
};

TEST_F(DaemonInstallMeeting, SimultaneousArchiveInstallsOfOneAssetKeepBothCopies) {
  const std::string letters[] = {"a", "b"};
  std::vector<std::unique_ptr<RawClient>> clients;
  for (uint32_t i = 0; i < 2; ++i) {
    const fs::path archive = Source(letters[i] + ".cdp");
    fs::create_directories(archive.parent_path());
    WriteArchive(archive,
                 {MakeEntry(kFirst, "Copy " + letters[i], {{"which.txt", letters[i]}}, false)});
    clients.push_back(Connect());
    ASSERT_TRUE(clients.back());
    ASSERT_TRUE(
        clients.back()->SendRequest(kInstallArchive, i + 1, InstallBody(archive.string(), 2, 0)));
  }
  std::vector<ResultMessage> messages;
  for (uint32_t i = 0; i < 2; ++i) {
    std::vector<RawClient::Frame> notes;
    EXPECT_EQ(BodyReader(AwaitReply(*clients[i], &notes)).U32(), 1u);
    for (const ResultMessage& message : MessagesFor(notes, i + 1)) messages.push_back(message);
  }
  // The first to be recorded is installed, the other becomes its edit copy.
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[0].text.find("open for edit") == std::string::npos,
            messages[1].text.find("open for edit") == std::string::npos);
  const std::vector<std::string> local = LocalFolders(UserDataPath());
  ASSERT_EQ(local.size(), 1u);
  const fs::path installed = fs::path(UserDataPath()) / "local" / local[0];
  std::vector<fs::path> edits;
  for (const auto& item : fs::directory_iterator(fs::path(UserDataPath()) / "editing"))
    edits.push_back(item.path());
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(
      (std::set<std::string>{GetFile(installed / "which.txt"), GetFile(edits[0] / "which.txt")}),
      (std::set<std::string>{"a", "b"}));
  EXPECT_TRUE(fs::exists(installed / "config.chump"));
  EXPECT_TRUE(fs::exists(edits[0] / "config.txt"));
  EXPECT_FALSE(fs::exists(edits[0] / "config.chump"));
}

}  // namespace
