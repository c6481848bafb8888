// Installing end to end with the built tool and daemon: a folder with
// "installfrompath", an archive made by "createcdp" with "installcdp" into
// a second, empty installation, and the command host's archive jobs run
// in this process against the daemon of the fixture's root.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <random>
#include <string>

#include "assetdb/client/AssetInstall.h"
#include "assetdb/client/InstallAssetWithPrompts.h"
#include "assetdb/client/NetStartup.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/ResultsLog.h"
#include "cli/CommandHost.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/text/KUID.h"
#include "tests/cli/ToolFixture.h"

namespace fs = std::filesystem;

namespace {

// Relative path -> size and a checksum of the bytes (short enough to print
// when two trees differ).
using FileMap = std::map<std::string, std::pair<size_t, size_t>>;

// Every file below `folder` (relative path -> bytes), config files left out.
FileMap ReadTree(const std::string& folder) {
  FileMap files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (!item.is_regular_file()) continue;
    const std::string rel = fs::relative(item.path(), folder).string();
    if (rel == "config.txt" || rel == "config.chump") continue;
    const std::string bytes = ToolFixture::ReadFile(item.path());
    files[rel] = {bytes.size(), std::hash<std::string>()(bytes)};
  }
  return files;
}

std::string Binary(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = char((i * 131 + seed * 7 + (i >> 5)) & 0xFF);
  return bytes;
}

// An asset folder with nested and binary files.
void MakeAsset(const std::string& folder, const std::string& kuidTag, unsigned seed) {
  fs::create_directories(folder + "/textures/detail");
  ToolFixture::WriteFile(folder + "/config.txt", "kuid " + kuidTag +
                                                     "\nkind scenery\nusername \"Install test " +
                                                     std::to_string(seed) + "\"\n");
  ToolFixture::WriteFile(folder + "/mesh.im", Binary(70000, seed));
  ToolFixture::WriteFile(folder + "/textures/wood.texture", Binary(3000, seed + 1));
  ToolFixture::WriteFile(folder + "/textures/detail/grain.tga", Binary(17, seed + 2));
  ToolFixture::WriteFile(folder + "/readme.txt", "plain text\n");
}

std::string InstalledFolder(const std::string& userData, const std::string& keyword) {
  const std::string plain = userData + "/local/" + keyword;
  if (fs::exists(plain)) return plain;
  return plain + "~";
}

// A folder path of `levels` folders named "d" below `folder`.
std::string Nested(const std::string& folder, int levels) {
  std::string path = folder;
  for (int i = 0; i < levels; ++i) path += "/d";
  return path;
}

// The deepest folders the store keeps, below an asset folder.
constexpr int kFolderDepthBound = 64;

class InstallEndToEnd : public ToolFixture {};

// An asset's files, made in a work folder or taken from the source tree:
// installed, exported with "createcdp" and installed from the archive into
// an empty installation, they all come back.
struct RoundTripCase {
  const char* name;
  const char* kuid;
  const char* keyword;
  // Answers the asset's folder; `work` is an empty folder.
  std::string (*source)(const std::string& work);
};

std::string NestedAndBinaryFiles(const std::string& work) {
  MakeAsset(work + "/asset", "<kuid:123:740001>", 1);
  return work + "/asset";
}

std::string FolderAtTheDepthBound(const std::string& work) {
  MakeAsset(work + "/asset", "<kuid:123:740003>", 3);
  const std::string deepest = Nested(work + "/asset", kFolderDepthBound);
  fs::create_directories(deepest);
  ToolFixture::WriteFile(deepest + "/bottom.txt", "at the bound\n");
  return work + "/asset";
}

std::string SampleAsset(const std::string&) {
  return std::string(VU_SOURCE_DIR) + "/samples/sample-asset";
}

const RoundTripCase kRoundTrips[] = {
    {"NestedAndBinaryFiles", "<kuid:123:740001>", "kuid 123 740001", NestedAndBinaryFiles},
    {"FolderAtTheDepthBound", "<kuid:123:740003>", "kuid 123 740003", FolderAtTheDepthBound},
    {"SampleAsset", "<kuid:0:100>", "kuid 0 100", SampleAsset},
};

// Names the case in test listings (instead of its bytes).
void PrintTo(const RoundTripCase& c, std::ostream* os) {
  *os << c.name;
}

std::string RoundTripName(const ::testing::TestParamInfo<RoundTripCase>& param) {
  return param.param.name;
}

class ArchiveRoundTrip : public InstallEndToEnd,
                         public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(ArchiveRoundTrip, InstallCDPOfCreatedArchiveGivesTheSameFilesInAnEmptyRoot) {
  const RoundTripCase& c = GetParam();
  const std::string work = MakeTempFolder();
  const std::string source = c.source(work);
  ASSERT_FALSE(ReadTree(source).empty());

  ToolResult installed = Run({"installfrompath", source});
  ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
  EXPECT_EQ(ReadTree(InstalledFolder(UserDataPath(), c.keyword)), ReadTree(source));

  const std::string archive = work + "/asset.cdp";
  ToolResult created = Run({"createcdp", archive, c.kuid});
  ASSERT_EQ(created.status, 0) << created.out << created.err;

  const std::string other = MakeRoot();
  ToolResult fromArchive =
      RunProgram(other + "/bin/VandruUtil", {"installcdp", archive}, other + "/bin");
  ToolResult closed = RunProgram(other + "/bin/VandruUtil", {"closevaddaemon"}, other + "/bin");
  ASSERT_EQ(fromArchive.status, 0) << fromArchive.out << fromArchive.err;
  EXPECT_EQ(closed.status, 0) << closed.out << closed.err;
  EXPECT_EQ(ReadTree(InstalledFolder(other + "/UserData", c.keyword)), ReadTree(source));
}

INSTANTIATE_TEST_SUITE_P(Assets, ArchiveRoundTrip, ::testing::ValuesIn(kRoundTrips), RoundTripName);

// An installed asset whose copy has become one that no archive entry can
// carry whole (changed on the disk behind the daemon's back): "createcdp"
// names what does not fit and writes no archive.
TEST_F(InstallEndToEnd, CreateCDPWritesNoArchiveForAnAssetItCannotCarryWhole) {
  struct Case {
    const char* kuid;
    const char* keyword;
    std::function<void(const std::string& installed)> spoil;
    std::string message;
  };
  const std::string longName(300, 'q');
  const Case cases[] = {
      {"<kuid:123:740011>", "kuid 123 740011",
       [&](const std::string& installed) {
         fs::remove(installed + "/config.chump");
         ToolFixture::WriteFile(installed + "/config.txt",
                                "kuid <kuid:123:740011>\nkind scenery\n" + longName + " 1\n");
       },
       "the tag \"" + std::string(40, 'q') +
           "...\" cannot be stored: its name has 300 characters, at most 254 fit"},
      {"<kuid:123:740012>", "kuid 123 740012",
       [](const std::string& installed) {
         fs::create_directories(Nested(installed, kFolderDepthBound + 1));
       },
       "the folder '" + Nested("d", kFolderDepthBound) +
           "' is nested too deeply (more than 64 levels)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kuid);
    const std::string work = MakeTempFolder();
    MakeAsset(work + "/asset", c.kuid, 11);
    ToolResult installed = Run({"installfrompath", work + "/asset"});
    ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
    c.spoil(InstalledFolder(UserDataPath(), c.keyword));

    ToolResult created = Run({"createcdp", work + "/asset.cdp", c.kuid});
    EXPECT_EQ(created.status, 255);
    EXPECT_NE(created.out.find(std::string("- ") + c.kuid + " : "), std::string::npos)
        << created.out;
    EXPECT_NE(created.out.find(c.message), std::string::npos) << created.out;
    EXPECT_NE(created.out.find("OK (1 Errors, 0 Warnings)"), std::string::npos) << created.out;
    EXPECT_FALSE(fs::exists(work + "/asset.cdp"));
  }
}

// Hand-edited configurations that lack their last "}" or hold a stray one
// still install: a missing "}" closes at the end of the file, and a stray
// one ends the configuration.
TEST_F(InstallEndToEnd, InstallFromPathTakesConfigsWithAMissingOrStrayBrace) {
  const std::string work = MakeTempFolder();
  const std::map<std::string, std::string> configs = {
      {"kuid 123 740011",
       "kuid <kuid:123:740011>\nkind scenery\nusername \"Missing brace\"\n"
       "mesh-table\n{\n  default\n  {\n    mesh mesh.im\n  }\n"},
      {"kuid 123 740012",
       "kuid <kuid:123:740012>\nkind scenery\nusername \"Stray brace\"\n}\n"
       "mesh-table\n{\n}\n}\n"},
  };
  unsigned seed = 11;
  for (const auto& [keyword, config] : configs) {
    MakeAsset(work + "/" + keyword, "<kuid:1:1>", seed++);
    ASSERT_TRUE(ToolFixture::WriteFile(work + "/" + keyword + "/config.txt", config));
  }
  ToolResult installed = Run({"installfrompath", work});
  ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
  for (const auto& [keyword, config] : configs) {
    SCOPED_TRACE(keyword);
    EXPECT_EQ(ReadTree(InstalledFolder(UserDataPath(), keyword)), ReadTree(work + "/" + keyword));
  }
}

// Under a file-size limit (RLIMIT_FSIZE) a write past it fails with EFBIG.
// The tool, and the daemon it starts (which inherits the limit), report the
// failed write and go on rather than being ended by SIGXFSZ.
TEST_F(InstallEndToEnd, FileSizeLimitFailsTheWriteWithAMessageNotASignal) {
  constexpr uint64_t kLimit = 256 << 10;
  const std::string work = MakeTempFolder();
  const std::string source = work + "/asset";
  MakeAsset(source, "<kuid:123:740003>", 3);
  std::mt19937 random(3);
  std::string noise(1 << 20, '\0');
  for (char& byte : noise) byte = char(random());
  ASSERT_TRUE(WriteFile(source + "/noise.tga", noise));  // LZSS cannot shrink it
  ASSERT_EQ(Run({"installfrompath", source}).status, 0);
  const std::string archive = work + "/asset.cdp";
  ASSERT_EQ(Run({"createcdp", archive, "<kuid:123:740003>"}).status, 0);

  const std::string other = MakeRoot();
  const struct {
    std::string root;
    std::vector<std::string> args;
    int status;
    const char* text;
  } cases[] = {
      // The tool's own write, then the daemon's copy of a folder (the
      // command counts folders sent) and its extraction of an archive.
      {Root(),
       {"createcdp", work + "/again.cdp", "<kuid:123:740003>"},
       255,
       "Unable to write archive file"},
      {other, {"installfrompath", source}, 0, "File too large"},
      {other, {"installcdp", archive}, 255, "Unable to write content files"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const ToolResult result =
        RunProgram(c.root + "/bin/VandruUtil", c.args, c.root + "/bin", kRunTimeoutMs, kLimit);
    EXPECT_EQ(result.status, c.status) << result.out << result.err;
    EXPECT_NE((result.out + result.err).find(c.text), std::string::npos)
        << result.out << result.err;
  }
  EXPECT_FALSE(fs::exists(work + "/again.cdp"));
  EXPECT_FALSE(fs::exists(work + "/again.tmp"));
  EXPECT_TRUE(fs::is_empty(other + "/UserData/local"));
  const pid_t daemon = DaemonOwnerPidOf(other);
  ASSERT_NE(daemon, 0);
  EXPECT_EQ(::waitpid(daemon, nullptr, WNOHANG), 0) << "the daemon has ended";
  EXPECT_TRUE(StopDaemonOf(other));
}

// The command host's jobs 2 and 3, run here on a client of the root's
// daemon: save an installed asset to a transfer archive, delete it, and
// install it again from the archive.
class CommandHostJobs : public ToolFixture {
 protected:
  void SetUp() override {
    // The tool starts the root's daemon; this client only joins it.
    Run({"status", "<kuid:123:740000>"});
    ASSERT_NE(DaemonOwnerPid(), 0);
    ASSERT_TRUE(DetermineInstallPath(Kiv::File::Path(Root())));
    NetStartup();
    VADClientTimings timings;
    timings.attempts = 3;
    timings.attemptDelayMs = 200;
    VADClient::SetTimings(timings);
    VADClientOptions options;
    options.restartDaemon = false;
    ASSERT_TRUE(VADOpenDatabase(options));
  }
  void TearDown() override {
    VADClient::Close();
    VADClient::SetTimings(VADClientTimings());
    ResetFolderLayoutForTests();
  }

  static std::vector<uint8_t> Job(uint32_t id, uint32_t token, const std::string& path,
                                  const std::vector<KUID>& kuids) {
    TBuffer payload;
    TStreamWriteU32(payload, id);
    TStreamWriteU32(payload, token);
    payload.WriteString(path);
    TStreamWriteU32(payload, uint32_t(kuids.size()));
    for (const KUID& kuid : kuids) WriteKUID(payload, kuid);
    TStreamRewind(payload);
    TBuffer reply;
    CommandHostCallback(payload, reply);
    TStreamRewind(reply);
    std::vector<uint8_t> bytes(reply.GetSize());
    if (!bytes.empty()) reply.Read(bytes.data(), uint32_t(bytes.size()));
    return bytes;
  }
};

uint32_t TailU32(const std::vector<uint8_t>& bytes, size_t fromEnd) {
  const size_t at = bytes.size() - fromEnd;
  return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
         uint32_t(bytes[at + 3]) << 24;
}

TEST_F(CommandHostJobs, SavedArchiveInstallsTheSameFilesAgain) {
  const std::string work = MakeTempFolder();
  const std::string source = work + "/asset";
  MakeAsset(source, "<kuid:123:740002>", 5);
  const KUID kuid{123, 740002, 0};
  const KUID missing{123, 740099, 0};
  {
    ToolResult installed = Run({"installfrompath", source});
    ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
  }
  // A KUID that is not installed is left out and makes the result 0.
  const std::string archive = work + "/job.crak";
  std::vector<uint8_t> saved = Job(2, 4242, archive, {kuid, missing});
  ASSERT_GE(saved.size(), 4u);
  EXPECT_EQ(TailU32(saved, 4), 0u);
  saved = Job(2, 4242, archive, {kuid});
  ASSERT_GE(saved.size(), 4u);
  EXPECT_EQ(TailU32(saved, 4), 1u);
  const std::string head = ReadFile(archive).substr(0, 16);
  ASSERT_EQ(head.size(), 16u);
  EXPECT_EQ(fs::file_size(archive), TailU32(std::vector<uint8_t>(head.begin(), head.end()), 4));

  ResultsLog log;
  ASSERT_TRUE(VADClient::DeleteAsset(kuid, false, &log));
  ASSERT_FALSE(fs::exists(UserDataPath() + "/local/kuid 123 740002"));
  ASSERT_FALSE(fs::exists(UserDataPath() + "/local/kuid 123 740002~"));

  // A wrong token installs nothing and lists the KUID as left.
  std::vector<uint8_t> refused = Job(3, 1, archive, {kuid});
  ASSERT_GE(refused.size(), 12u);
  EXPECT_EQ(TailU32(refused, 12), 1u);

  std::vector<uint8_t> reinstalled = Job(3, 4242, archive, {kuid});
  ASSERT_GE(reinstalled.size(), 4u);
  EXPECT_EQ(TailU32(reinstalled, 4), 0u);  // Nothing left.
  EXPECT_EQ(ReadTree(InstalledFolder(UserDataPath(), "kuid 123 740002")), ReadTree(source));

  // Installing over the installed asset replaces its files in its edit copy.
  std::vector<uint8_t> again = Job(3, 4242, archive, {kuid});
  ASSERT_GE(again.size(), 4u);
  EXPECT_EQ(TailU32(again, 4), 0u);

  // Now open for edit: a prompt is asked that question, and an answer other
  // than 2 or 3 leaves the asset alone without a message.
  struct Refuse : InstallPromptHandler {
    int32_t Ask(const Kiv::String& question, const Kiv::String&, ResultsLog*) override {
      asked = question;
      return 1;
    }
    Kiv::String asked;
  } refuse;
  Soup entry;
  CreateCDP(entry, kuid, nullptr, 0);
  ResultsLog promptLog;
  bool commitFlag = false;
  EXPECT_TRUE(InstallAssetWithPrompts(entry, &promptLog, kInstallBinaryConfig, &commitFlag, &refuse)
                  .IsNull());
  EXPECT_EQ(refuse.asked, GetInterfaceText("$vad_prompt_openforedit"));
  EXPECT_EQ(promptLog.MessageCount(), 0u);
}

// The daemon starts "VandruUtil vadcommandhost" for a validation; the host
// registers, runs the job and answers that the folder holds no asset.
TEST_F(CommandHostJobs, DaemonStartedHostAnswersValidationJob) {
  VADRequest request;
  request.Body().WriteString("local");
  request.Body().WriteString(UserDataPath() + "/local");
  ResultsLog log;
  ASSERT_TRUE(request.Transact(0x26, &log));
  bool result = true;
  TStreamReadBool(request.Reply(), result, true);
  EXPECT_FALSE(result);
  ASSERT_EQ(log.MessageCount(), 1u);
  EXPECT_EQ(log.Messages()[0].text,
            "No configuration file was found in '" + UserDataPath() + "/local'.");
}

}  // namespace
