// Installing folders (0x27, several at once 0x29) and archives (0x28), the
// questions asked while installing (notification 2, answer 0x96), and
// archive entries for export (0x30): the client's install functions against
// the daemon process.
#include <sys/stat.h>

#include <atomic>
#include <set>
#include <thread>

#include "assetdb/client/AssetInstall.h"
#include "assetdb/client/VADClientTransaction.h"
#include "tests/vaddaemon/ClientDaemonFixture.h"
#include "tests/vaddaemon/InstallTestSupport.h"

namespace {

using namespace installtest;

const KUID kFirst{4001, 10, 0};
const KUID kSecond{4001, 11, 2};

class DaemonInstall : public ClientDaemonFixture {
 protected:
  fs::path Source(const std::string& name) const { return fs::path(Root()) / "source" / name; }

  // Installs an archive; the daemon's count, its messages in `log`.
  static uint32_t Archive(const fs::path& path, ResultsLog& log, bool* flag = nullptr) {
    return InstallCDP(path.c_str(), &log, 2, flag, nullptr);
  }
};

bool Logged(ResultsLog& log, uint32_t severity, std::string_view part) {
  return HasMessage(log.Messages(), severity, part);
}

// Answers every question with `answer` and keeps what it was asked.
class Answering : public VADTransactionCallback {
 public:
  explicit Answering(int32_t answer) : answer_(answer) {}
  int32_t Ask(const Kiv::PString& name, const Kiv::String&, const KUID& asset, int32_t) override {
    asked.push_back(name.Str() + " " + std::string(KUIDToTagString(asset).View()));
    return answer_;
  }
  std::vector<std::string> asked;

 private:
  int32_t answer_;
};

TEST_F(DaemonInstall, FolderInstallReportsSuccessAndRefusesFolderWithoutConfig) {
  const FileMap files = {{"mesh.im", "mesh bytes"},
                         {"textures/wall.texture", std::string(3000, 'w')}};
  MakeAssetFolder(Source("first"), kFirst, "First thing", files);

  // A relative path is resolved against the bin folder.
  ResultsLog log;
  bool flag = false;
  EXPECT_EQ(InstallFolder("../source/first", &log, 0, &flag, nullptr), kFirst);
  EXPECT_TRUE(flag);
  ASSERT_EQ(log.MessageCount(), 1u);
  EXPECT_EQ(log.GetSuccessCount(), 1u);
  // The installed files come back in the archive entry.
  Soup entry;
  CreateCDP(entry, kFirst, nullptr, 3);
  EXPECT_EQ(CDP::GetEntryKUID(entry), kFirst);

  // A folder without a configuration, and one that does not exist.
  fs::create_directories(Source("empty"));
  const struct {
    const char* folder;
    const char* message;
  } refused[] = {{"empty", "config"}, {"missing", "not a folder"}};
  for (const auto& c : refused) {
    ResultsLog failed;
    EXPECT_TRUE(InstallFolder(Source(c.folder).string(), &failed, 0, &flag, nullptr).IsNull());
    EXPECT_FALSE(flag);
    EXPECT_TRUE(Logged(failed, ResultsLog::kError, c.message)) << c.folder;
  }
}

// Folders sent together give the messages each would give sent alone, in
// their order, around folders that fail; a KUID that comes twice ends as
// its later folder; each folder gets its own result.
TEST_F(DaemonInstall, FoldersSentTogetherAnswerAsFoldersSentOneByOne) {
  MakeAssetFolder(Source("first"), kFirst, "First", {{"a.txt", "one"}});
  MakeAssetFolder(Source("second"), kSecond, "Second", {{"sub/b.txt", "two"}});
  MakeAssetFolder(Source("first-again"), kFirst, "First again", {{"a.txt", "again"}});
  fs::create_directories(Source("empty"));
  MakeAssetFolder(Source("no-kuid"), kNullKUID, "No KUID", {});
  const std::vector<Kiv::String> folders = {
      "../source/first",         Source("empty").string(),   Source("missing").string(),
      Source("second").string(), Source("no-kuid").string(), Source("first-again").string()};
  const auto texts = [](ResultsLog& log) {
    std::vector<std::string> out;
    for (const ResultMessage& message : log.Messages())
      out.push_back(std::to_string(message.severity) + " " + message.text.c_str());
    return out;
  };

  ResultsLog together;
  bool flag = false;
  EXPECT_EQ(InstallFolders(folders, &together, 0, &flag),
            (std::vector<KUID>{kFirst, kNullKUID, kNullKUID, kSecond, kNullKUID, kFirst}));
  EXPECT_TRUE(flag);
  ResultsLog alone;
  for (const Kiv::String& folder : folders) InstallFolder(folder, &alone, 0, &flag, nullptr);
  ASSERT_EQ(texts(together).size(), 6u);
  EXPECT_EQ(texts(together), texts(alone));
  EXPECT_EQ(texts(together)[1].rfind("3 Unable to install", 0), 0u);

  const std::vector<std::string> local = LocalFolders(UserDataPath());
  ASSERT_EQ(local.size(), 2u);
  std::set<std::string> files;
  for (const std::string& folder : local) {
    for (const auto& [path, bytes] : FilesBelow(fs::path(UserDataPath()) / "local" / folder))
      files.insert(path + "=" + bytes);
  }
  EXPECT_EQ(files.count("a.txt=again"), 1u);
  EXPECT_EQ(files.count("sub/b.txt=two"), 1u);

  // The last folder's byte is the one left; a failed last folder leaves 0.
  EXPECT_EQ(InstallFolders({Source("first").string(), Source("empty").string()}, nullptr, 0, &flag),
            (std::vector<KUID>{kFirst, kNullKUID}));
  EXPECT_FALSE(flag);
}

// Damaged bodies of a request for several folders get an empty result and
// an error, and install nothing.
TEST_F(DaemonInstall, DamagedFolderListsAreRefused) {
  MakeAssetFolder(Source("first"), kFirst, "First", {{"a.txt", "one"}});
  const std::string first = Source("first").string();
  RawClient raw;
  ASSERT_TRUE(raw.Open(Port(), AssetIndexPath()));
  const struct {
    const char* name;
    Bytes body;
  } damaged[] = {
      {"no count", Body().U32(0)},
      {"no folder", Body().U32(0).U32(0)},
      {"more folders than the body holds", Body().U32(0).U32(1000).Str(first)},
      {"a short last path", Body().U32(0).U32(2).Str(first).U32(50)},
      {"an empty path", Body().U32(0).U32(2).Str(first).Str("")},
  };
  for (const auto& c : damaged) {
    std::vector<RawClient::Frame> notes;
    EXPECT_EQ(RawAsk(raw, kInstallFolders, c.body, &notes), Body().U32(0)) << c.name;
    EXPECT_TRUE(HasMessage(MessagesFor(notes, rawId_), ResultsLog::kError, "damaged")) << c.name;
  }
  EXPECT_TRUE(LocalFolders(UserDataPath()).empty());
}

TEST_F(DaemonInstall, QuestionAboutInstalledAssetOnlyWithCallbackAndAnswerDecides) {
  MakeAssetFolder(Source("first"), kFirst, "First thing", {{"a.txt", "one"}});
  const std::string folder = Source("first").string();
  Answering never(1);
  ASSERT_EQ(InstallFolder(folder, nullptr, 0, nullptr, &never), kFirst);
  EXPECT_TRUE(never.asked.empty()) << "asked about a new asset";

  // Installed now: with a callback the tool is asked; answer 1 keeps the
  // installed copy, with no message; answer 3 replaces it.
  PutFile(Source("first") / "a.txt", "two");
  Answering keep(1);
  ResultsLog kept;
  EXPECT_TRUE(InstallFolder(folder, &kept, 0, nullptr, &keep).IsNull());
  EXPECT_EQ(keep.asked, (std::vector<std::string>{"First thing <kuid:4001:10>"}));
  EXPECT_EQ(kept.MessageCount(), 0u);
  const auto installed = [&] {
    return GetFile(fs::path(UserDataPath()) / "local" / LocalFolders(UserDataPath()).at(0) /
                   "a.txt");
  };
  EXPECT_EQ(installed(), "one");
  Answering replace(3);
  ResultsLog replaced;
  EXPECT_EQ(InstallFolder(folder, &replaced, 0, nullptr, &replace), kFirst);
  EXPECT_EQ(replace.asked.size(), 1u);
  EXPECT_TRUE(Logged(replaced, ResultsLog::kSuccess, "Installed"));
  EXPECT_EQ(installed(), "two");

  // Without a callback an installed asset is replaced without a question.
  PutFile(Source("first") / "a.txt", "three");
  EXPECT_EQ(InstallFolder(folder, nullptr, 0, nullptr, nullptr), kFirst);
  EXPECT_EQ(installed(), "three");
}

TEST_F(DaemonInstall, ArchiveRoundTripInstallExportRebuildExtract) {
  const FileMap firstFiles = {{"mesh.im", "mesh"},
                              {"art/skin.texture", std::string(5000, 's') + "end"}};
  const FileMap secondFiles = {{"empty.txt", ""}, {"readme.txt", "hello"}};
  const fs::path archive = Source("pack.cdp");
  fs::create_directories(archive.parent_path());
  WriteArchive(archive, {MakeEntry(kFirst, "First", firstFiles, true),
                         MakeEntry(kSecond, "Second", secondFiles, false)});

  ResultsLog log;
  bool flag = false;
  EXPECT_EQ(Archive(archive, log, &flag), 2u);
  EXPECT_TRUE(flag);
  EXPECT_EQ(log.MessageCount(), 2u);
  EXPECT_EQ(log.GetSuccessCount(), 2u);

  // Export both and build a new archive from the entries, as "createcdp"
  // does (the extracted files are the command's end-to-end test's).
  Soup first, second;
  CreateCDP(first, kFirst, nullptr, 3);
  CreateCDP(second, kSecond, nullptr, 3);
  EXPECT_EQ(CDP::GetEntryKUID(second), kSecond);
  EXPECT_EQ(CDP::GetCompression(first).Str(), "LZSS");
  EXPECT_EQ(first.GetNamedTag(N("username")).Str(), "First");
  const fs::path rebuilt = Source("rebuilt.cdp");
  WriteArchive(rebuilt, {first, second});

  // Installing the rebuilt archive over the installed assets leaves them
  // open for edit, as edit copies.
  ResultsLog again;
  EXPECT_EQ(Archive(rebuilt, again), 2u);
  EXPECT_TRUE(Logged(again, ResultsLog::kSuccess, "open for edit"));

  // An asset that is not installed gives an empty entry and an error.
  ResultsLog missing;
  Soup none;
  CreateCDP(none, KUID{4001, 99, 0}, &missing, 0);
  EXPECT_FALSE(none.HasNamedTag(N("kuid")));
  EXPECT_TRUE(Logged(missing, ResultsLog::kError, "not installed"));
}

// Only the configuration at the top of an asset folder is the asset's own:
// one that an entry's files carry there goes at install, one in a sub-folder
// is an ordinary file that installs and exports like any other.
TEST_F(DaemonInstall, OnlyTheTopConfigurationOfAnEntrysFilesIsDropped) {
  const fs::path archive = Source("carried.cdp");
  fs::create_directories(archive.parent_path());
  WriteArchive(
      archive,
      {MakeEntry(kFirst, "Carried",
                 {{"config.txt", "kind \"other\"\n"}, {"sub/config.txt", "nested"}}, false)});
  ResultsLog log;
  ASSERT_EQ(Archive(archive, log), 1u);
  const FileMap installed =
      FilesBelow(fs::path(UserDataPath()) / "local" / LocalFolders(UserDataPath()).at(0));
  EXPECT_EQ(installed.count("config.txt"), 0u);
  EXPECT_EQ(installed.count("config.chump"), 1u);
  EXPECT_EQ(installed.count("sub/config.txt"), 1u);

  Soup entry;
  CreateCDP(entry, kFirst, nullptr, 3);
  const Soup files = CDP::GetFiles(entry);
  EXPECT_FALSE(files.HasNamedTag(N("config.chump")));
  EXPECT_TRUE(files.GetNamedSoup(N("sub")).HasNamedTag(N("config.txt")));
}

// The entries of an archive are installed together, but their messages keep
// the entries' order around a failing entry and around a question.
TEST_F(DaemonInstall, ArchiveMessagesKeepTheEntriesOrder) {
  const KUID third{4001, 12, 0};
  const KUID fourth{4001, 13, 0};
  MakeAssetFolder(Source("second"), kSecond, "Second", {{"b.txt", "old"}});
  ASSERT_EQ(InstallFolder(Source("second").string(), nullptr, 0, nullptr, nullptr), kSecond);
  std::string deepest = "d";
  for (int i = 1; i <= 64; ++i) deepest += "/d";
  const fs::path archive = Source("mixed.cdp");
  WriteArchive(archive, {MakeEntry(kFirst, "First", {{"a.txt", "1"}}, false),
                         MakeEntry(third, "Deep", {{deepest + "/f.txt", "x"}}, false),
                         MakeEntry(kSecond, "Second", {{"b.txt", "new"}}, false),
                         MakeEntry(fourth, "Fourth", {{"c.txt", "4"}}, false)});
  ResultsLog log;
  Answering replace(3);
  EXPECT_EQ(InstallCDP(archive.c_str(), &log, 2, nullptr, &replace), 3u);
  EXPECT_EQ(replace.asked, (std::vector<std::string>{"Second <kuid2:4001:11:2>"}));
  std::vector<std::string> texts;
  for (const ResultMessage& message : log.Messages()) texts.push_back(message.text);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], "Installed <kuid:4001:10>.");
  EXPECT_NE(texts[1].find("nested too deeply"), std::string::npos) << texts[1];
  EXPECT_EQ(texts[2],
            "Installed <kuid2:4001:11:2> as an edit copy of the installed asset; it is left "
            "open for edit.");
  EXPECT_EQ(texts[3], "Installed <kuid:4001:13>.");
  EXPECT_EQ(LocalFolders(UserDataPath()).size(), 3u);
}

// An archive that carries one KUID twice: the first copy is installed by
// the time the second comes, which is asked about like any installed asset.
TEST_F(DaemonInstall, SecondCopyOfAKUIDInOneArchiveIsAskedAbout) {
  const fs::path archive = Source("twice.cdp");
  fs::create_directories(archive.parent_path());
  {
    // The builder refuses a KUID it holds already: the second copy goes in
    // under a name of its own.
    Soup built;
    built.Create();
    Soup first = MakeEntry(kFirst, "First", {{"a.txt", "1"}}, false);
    Kiv::PString message;
    CDP::AddContent(built, message, first);
    ASSERT_TRUE(message.Empty()) << message.Str();
    Soup assets = built.GetNamedSoup(CDP::Tag::Assets());
    Soup again = MakeEntry(kFirst, "First again", {{"a.txt", "2"}}, false);
    assets.SetNamedSoup(N("again"), again);
    CDP::WriteArchive(built, message, archive.string());
    ASSERT_TRUE(message.Empty()) << message.Str();
  }
  ResultsLog log;
  Answering keep(1);
  EXPECT_EQ(InstallCDP(archive.c_str(), &log, 2, nullptr, &keep), 1u);
  EXPECT_EQ(keep.asked, (std::vector<std::string>{"First again <kuid:4001:10>"}));
  EXPECT_EQ(log.MessageCount(), 1u);
  const std::vector<std::string> local = LocalFolders(UserDataPath());
  ASSERT_EQ(local.size(), 1u);
  EXPECT_EQ(GetFile(fs::path(UserDataPath()) / "local" / local[0] / "a.txt"), "1");
}

TEST_F(DaemonInstall, ArchiveFolderDeeperThanTheStoreKeepsIsNamed) {
  std::string deepest = "d";
  for (int i = 1; i <= 64; ++i) deepest += "/d";
  const fs::path archive = Source("deep.cdp");
  fs::create_directories(archive.parent_path());
  WriteArchive(archive, {MakeEntry(kFirst, "Deep", {{deepest + "/f.txt", "x"}}, false)});
  ResultsLog log;
  EXPECT_EQ(Archive(archive, log), 0u);
  EXPECT_TRUE(Logged(log, ResultsLog::kError,
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
    const Bytes data = Body().Str("").Str(secret.string());
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

  ResultsLog log;
  EXPECT_EQ(Archive(garbage, log), 0u);
  EXPECT_TRUE(Logged(log, ResultsLog::kError, "not a valid CDP"));
  ResultsLog nothing;
  EXPECT_EQ(Archive(Source("nothing.cdp"), nothing), 0u);
  EXPECT_EQ(nothing.MessageCount(), 1u);

  ResultsLog partly;
  bool flag = true;
  EXPECT_EQ(Archive(hostile, partly, &flag), 1u);  // only the climbing one, without its bad names
  EXPECT_FALSE(flag);
  EXPECT_TRUE(Logged(partly, ResultsLog::kError, "Local file references"));
  const std::vector<std::string> folders = LocalFolders(UserDataPath());
  ASSERT_EQ(folders.size(), 1u);
  const FileMap installed = FilesBelow(fs::path(UserDataPath()) / "local" / folders[0]);
  EXPECT_EQ(installed.count("ok.txt"), 1u);
  EXPECT_FALSE(fs::exists(fs::path(UserDataPath()) / "local" / "escaped.txt"));
  EXPECT_FALSE(fs::exists(fs::path(UserDataPath()) / "escaped.txt"));

  // A damaged request body gets a reply and an error, not a hang.
  RawClient raw;
  ASSERT_TRUE(raw.Open(Port(), AssetIndexPath()));
  std::vector<RawClient::Frame> notes;
  EXPECT_EQ(BodyReader(RawAsk(raw, kInstallArchive, Body().U32(1000), &notes)).U32(), 0u);
  EXPECT_TRUE(HasMessage(MessagesFor(notes, rawId_), ResultsLog::kError, "damaged"));
}

TEST_F(DaemonInstall, DamagedEntryIsNamedWithArchivePathByteAndFile) {
  // LZSS data shorter than its 4-byte size word cannot be decoded.
  Soup entry = MakeEntry(kFirst, "Damaged", {}, true);
  Soup files = entry.GetNamedSoup(N("files"));
  AddByteTag(files, "mesh.im", "\x7f\x7e\x7d");
  const fs::path archive = Source("damaged.cdp");
  fs::create_directories(archive.parent_path());
  WriteArchive(archive, {entry});

  ResultsLog log;
  EXPECT_EQ(Archive(archive, log), 0u);
  const auto messages = log.Messages();
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
  for (const char* folder : {"piped-txt", "piped-chump"}) {
    ResultsLog log;
    EXPECT_TRUE(InstallFolder(Source(folder).string(), &log, 0, nullptr, nullptr).IsNull());
    EXPECT_TRUE(Logged(log, ResultsLog::kError, "no readable config")) << folder;
  }
  ResultsLog log;
  EXPECT_EQ(Archive(Source("piped.cdp"), log), 0u);
  EXPECT_TRUE(Logged(log, ResultsLog::kError, "not a file"));
  EXPECT_TRUE(LocalFolders(UserDataPath()).empty());
  MakeAssetFolder(Source("plain"), kFirst, "Plain", {{"a.txt", "x"}});
  EXPECT_EQ(InstallFolder(Source("plain").string(), nullptr, 0, nullptr, nullptr), kFirst);
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
  ResultsLog logs[2];
  std::atomic<uint32_t> count{0};
  std::vector<std::thread> installs;
  for (int i = 0; i < 2; ++i) {
    const fs::path archive = Source(letters[i] + ".cdp");
    fs::create_directories(archive.parent_path());
    WriteArchive(archive,
                 {MakeEntry(kFirst, "Copy " + letters[i], {{"which.txt", letters[i]}}, false)});
    installs.emplace_back([&, i, archive] { count += Archive(archive, logs[i]); });
  }
  for (std::thread& install : installs) install.join();
  EXPECT_EQ(count.load(), 2u);
  std::vector<ResultMessage> messages = logs[0].Messages();
  for (const ResultMessage& message : logs[1].Messages()) messages.push_back(message);
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
