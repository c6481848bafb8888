// Installing end to end with the built tool and daemon: an archive made by
// "createcdp" installed with "installcdp" into a second, empty root; writes
// under a file-size limit; and the command host's archive jobs run in this
// process against the daemon of the fixture's root.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>

#include "assetdb/client/NetStartup.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/ResultsLog.h"
#include "cli/CommandHost.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/text/KUID.h"
#include "tests/cli/ToolFixture.h"

namespace fs = std::filesystem;

namespace {

// Every file below `folder` but the configuration: relative path -> bytes.
std::map<std::string, std::string> ReadTree(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    const std::string rel = fs::relative(item.path(), folder).string();
    if (!item.is_regular_file() || rel == "config.txt" || rel == "config.chump") continue;
    files[rel] = ToolFixture::ReadFile(item.path());
  }
  return files;
}

std::string Binary(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = char((i * 131 + seed * 7 + (i >> 5)) & 0xFF);
  return bytes;
}

// An asset folder with nested and binary files.
std::string MakeAsset(const std::string& folder, const std::string& kuidTag, unsigned seed) {
  fs::create_directories(folder + "/textures/detail");
  ToolFixture::WriteFile(folder + "/config.txt", "kuid " + kuidTag + "\nkind scenery\n");
  ToolFixture::WriteFile(folder + "/mesh.im", Binary(70000, seed));
  ToolFixture::WriteFile(folder + "/textures/wood.texture", Binary(3000, seed + 1));
  ToolFixture::WriteFile(folder + "/textures/detail/grain.tga", Binary(17, seed + 2));
  return folder;
}

std::string InstalledFolder(const std::string& userData, const std::string& keyword) {
  const std::string plain = userData + "/local/" + keyword;
  return fs::exists(plain) ? plain : plain + "~";
}

class InstallEndToEnd : public ToolFixture {};

TEST_F(InstallEndToEnd, InstallCDPOfCreatedArchiveGivesTheSameFilesInAnEmptyRoot) {
  const std::string work = MakeTempFolder();
  const std::string source = MakeAsset(work + "/asset", "<kuid:123:740001>", 1);
  ToolResult r = Run({"installfrompath", source});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadTree(InstalledFolder(UserDataPath(), "kuid 123 740001")), ReadTree(source));
  r = Run({"createcdp", "asset.cdp", "<kuid:123:740001>"}, work);
  ASSERT_EQ(r.status, 0) << r.out << r.err;

  const std::string other = MakeRoot();
  r = RunProgram(other + "/bin/VandruUtil", {"installcdp", work + "/asset.cdp"}, other + "/bin");
  EXPECT_TRUE(StopDaemonOf(other));
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out,
            "+ <kuid:123:740001> : Installed <kuid:123:740001>.\nOK (0 Errors, 0 Warnings)\n");
  EXPECT_EQ(ReadTree(InstalledFolder(other + "/UserData", "kuid 123 740001")), ReadTree(source));
}

// More asset folders than one request carries, with failing folders among
// them: every folder's line comes in the walk's order (its name order)
// and every good folder is installed.
TEST_F(InstallEndToEnd, InstallFromPathOfManyFoldersReportsEachInWalkOrder) {
  const std::string work = MakeTempFolder();
  constexpr int kFolders = 300;
  std::string expected;
  int errors = 0;
  for (int i = 0; i < kFolders; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "a%03d", i);
    const std::string folder = work + "/" + name;
    const std::string kuid = "<kuid:123:" + std::to_string(741000 + i) + ">";
    fs::create_directories(folder);
    if (i == 0 || i == 255 || i == 256 || i == 299) {
      // A configuration that names no KUID.
      WriteFile(folder + "/config.txt", "kind scenery\n");
      expected +=
          "- <NULL> : Unable to install '" + folder + "': its configuration names no valid KUID.\n";
      ++errors;
      continue;
    }
    WriteFile(folder + "/config.txt", "kuid " + kuid + "\nkind scenery\n");
    WriteFile(folder + "/mesh.im", std::string(size_t(100 + i), 'm'));
    expected += "+ " + kuid + " : Installed " + kuid + ".\n";
  }
  const ToolResult r = Run({"installfrompath", work});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected + "OK (" + std::to_string(errors) + " Errors, 0 Warnings)\n");
  EXPECT_EQ(ReadFile(InstalledFolder(UserDataPath(), "kuid 123 741298") + "/mesh.im"),
            std::string(398, 'm'));
  int installed = 0;
  for (const auto& item : fs::directory_iterator(UserDataPath() + "/local"))
    installed += item.path().filename().string().starts_with("kuid 123 741") ? 1 : 0;
  EXPECT_EQ(installed, kFolders - errors);
}

// An installed copy changed behind the daemon's back so that no archive
// entry can carry it whole: "createcdp" names the fault and writes nothing.
TEST_F(InstallEndToEnd, CreateCDPWritesNoArchiveForAnAssetItCannotCarryWhole) {
  const std::string work = MakeTempFolder();
  ASSERT_EQ(Run({"installfrompath", MakeAsset(work + "/asset", "<kuid:123:740012>", 11)}).status,
            0);
  std::string nested = "d";
  for (int i = 0; i < 64; ++i) nested += "/d";  // one level more than the store keeps
  fs::create_directories(InstalledFolder(UserDataPath(), "kuid 123 740012") + "/" + nested);

  const ToolResult r = Run({"createcdp", work + "/asset.cdp", "<kuid:123:740012>"});
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.out.find("- <kuid:123:740012> : "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("the folder '" + nested + "' is nested too deeply (more than 64 levels)"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("OK (1 Errors, 0 Warnings)"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(work + "/asset.cdp"));
}

// Under RLIMIT_FSIZE a write past the limit fails with EFBIG: the tool and
// the daemon it starts (which inherits the limit) report it and go on
// rather than being ended by SIGXFSZ.
TEST_F(InstallEndToEnd, FileSizeLimitFailsTheWriteWithAMessageNotASignal) {
  const std::string work = MakeTempFolder();
  const std::string source = MakeAsset(work + "/asset", "<kuid:123:740003>", 3);
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
    std::string text;
  } cases[] = {
      // The tool's own write, the daemon's copy of a folder and its
      // extraction of an archive.
      {Root(),
       {"createcdp", work + "/again.cdp", "<kuid:123:740003>"},
       255,
       "Unable to write archive file. Needs to be .cdp file extension\nThe archive '" + work +
           "/again.cdp' could not be written: File too large.\n"},
      {other, {"installfrompath", source}, 0, "File too large"},
      {other, {"installcdp", archive}, 255, "Unable to write content files"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const ToolResult result =
        RunProgram(c.root + "/bin/VandruUtil", c.args, c.root + "/bin", kRunTimeoutMs, 256 << 10);
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

// An edit whose copy cannot be written keeps its "Unknown AssetID." and
// says on a line of its own why the copy failed.
TEST_F(InstallEndToEnd, EditThatCannotWriteItsCopySaysWhy) {
  const std::string work = MakeTempFolder();
  const std::string source = MakeAsset(work + "/asset", "<kuid:123:740004>", 4);
  ASSERT_TRUE(WriteFile(source + "/big.tga", Binary(300 << 10, 4)));
  const std::string other = MakeRoot();
  const std::string tool = other + "/bin/VandruUtil";
  ASSERT_EQ(RunProgram(tool, {"installfrompath", source}, other + "/bin").status, 0);
  ASSERT_TRUE(StopDaemonOf(other));  // The next daemon starts under the limit.
  const ToolResult r =
      RunProgram(tool, {"edit", "<kuid:123:740004>"}, other + "/bin", kRunTimeoutMs, 256 << 10);
  EXPECT_TRUE(StopDaemonOf(other));
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.out.find("/big.tga (File too large)\n- <kuid:123:740004> : Unknown AssetID.\n"),
            std::string::npos)
      << r.out;
}

// The command host's jobs run here on a client of the root's daemon.
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

  // Runs job `id`; answers the reply's u32 at `fromEnd` bytes before its end.
  static uint32_t Job(uint32_t id, uint32_t token, const std::string& path,
                      const std::vector<KUID>& kuids, size_t fromEnd = 4) {
    TBuffer payload;
    TStreamWriteU32(payload, id);
    TStreamWriteU32(payload, token);
    payload.WriteString(path);
    TStreamWriteU32(payload, uint32_t(kuids.size()));
    for (const KUID& kuid : kuids) WriteKUID(payload, kuid);
    TStreamRewind(payload);
    TBuffer reply;
    CommandHostCallback(payload, reply);
    std::vector<uint8_t> bytes(reply.GetSize());
    TStreamRewind(reply);
    if (!bytes.empty()) reply.Read(bytes.data(), uint32_t(bytes.size()));
    EXPECT_GE(bytes.size(), fromEnd);
    if (bytes.size() < fromEnd) return 0xFFFFFFFFu;
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value |= uint32_t(bytes[bytes.size() - fromEnd + i]) << (8 * i);
    return value;
  }
};

// Save (a missing KUID is left out and makes the result 0), delete, a
// wrong token installs nothing, the right one brings the files back.
TEST_F(CommandHostJobs, SavedArchiveInstallsTheSameFilesAgain) {
  const std::string work = MakeTempFolder();
  const std::string source = MakeAsset(work + "/asset", "<kuid:123:740002>", 5);
  const KUID kuid{123, 740002, 0};
  ASSERT_EQ(Run({"installfrompath", source}).status, 0);
  const std::string archive = work + "/job.crak";
  EXPECT_EQ(Job(2, 4242, archive, {kuid, KUID{123, 740099, 0}}), 0u);
  EXPECT_EQ(Job(2, 4242, archive, {kuid}), 1u);

  ResultsLog log;
  ASSERT_TRUE(VADClient::DeleteAsset(kuid, false, &log));
  EXPECT_EQ(Job(3, 1, archive, {kuid}, 12), 1u);  // one KUID left
  EXPECT_EQ(Job(3, 4242, archive, {kuid}), 0u);   // none left
  EXPECT_EQ(ReadTree(InstalledFolder(UserDataPath(), "kuid 123 740002")), ReadTree(source));
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
