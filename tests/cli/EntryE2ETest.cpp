// The built tool end to end: help, version, switches, batch files, start-up
// failure and installing the sample asset.
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/cli/ToolFixture.h"

namespace {

namespace fs = std::filesystem;

std::string ExpectedHelp() {
  return ToolFixture::ReadFile(std::string(VU_SOURCE_DIR) + "/tests/cli/help_expected.txt") + "\n";
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
    ++n;
  return n;
}

class EntryHelp : public ToolFixture {};

TEST_F(EntryHelp, PrintsFortyFourLinesWithoutStartingTheEngine) {
  // A root of its own, so that nothing else can have made its UserData.
  std::string root = MakeTempFolder();
  ASSERT_FALSE(root.empty());
  fs::create_directories(root + "/bin");
  fs::copy_file(VANDRUUTIL_EXE, root + "/bin/VandruUtil");
  std::string expected = ExpectedHelp();
  ASSERT_EQ(Count(expected, "\n"), 45u);

  ToolResult none = RunProgram(root + "/bin/VandruUtil", {}, root);
  EXPECT_EQ(none.status, 255);
  EXPECT_EQ(none.out, expected);
  EXPECT_EQ(none.err, "");

  for (const char* word : {"help", "HeLp", "HELP"}) {
    ToolResult help = RunProgram(root + "/bin/VandruUtil", {word, "ignored"}, root);
    EXPECT_EQ(help.status, 0) << word;
    EXPECT_EQ(help.out, expected) << word;
  }
  EXPECT_FALSE(fs::exists(root + "/UserData"));
}

class EntryCommands : public ToolFixture {};

TEST_F(EntryCommands, VersionRunsAndSwitchesStayInPlace) {
  ToolResult version = Run({"version"});
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_EQ(version.out.rfind("Build ", 0), 0u) << version.out;
  EXPECT_NE(version.out.find("OK (0 Errors, 0 Warnings)"), std::string::npos);
  EXPECT_EQ(version.err, "");

  // A switch after the command word is left for the dispatcher to ignore.
  ToolResult switched = Run({"version", "NoRender", "-kivlog"});
  EXPECT_EQ(switched.status, 0) << switched.err;
  EXPECT_EQ(switched.out.rfind("Build ", 0), 0u) << switched.out;

  // The first argument is always the command word.
  ToolResult wordFirst = Run({"norender", "version"});
  EXPECT_EQ(wordFirst.status, 255);
  EXPECT_NE(wordFirst.out.find("Invalid argument"), std::string::npos) << wordFirst.out;
  EXPECT_EQ(wordFirst.out.find("Build "), std::string::npos);
}

TEST_F(EntryCommands, BatchRunsEveryLineAndFailsWhenOneLineFails) {
  std::string work = MakeTempFolder();
  ASSERT_TRUE(WriteFile(work + "/ok.txt", "echo \"first line\"\n\nversion\r\necho  x"));
  // The batch name is relative to the directory the tool was started in.
  ToolResult ok = Run({"@ok.txt"}, work);
  EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
  EXPECT_NE(ok.out.find("first line \n"), std::string::npos) << ok.out;
  EXPECT_NE(ok.out.find("Build "), std::string::npos);
  EXPECT_NE(ok.out.find("\n x \n"), std::string::npos) << ok.out;
  // The empty line is skipped.
  EXPECT_EQ(Count(ok.out, "OK ("), 3u) << ok.out;

  ASSERT_TRUE(WriteFile(work + "/fail.txt", "echo one\nnosuchword\necho three\n"));
  ToolResult fail = Run({"@" + work + "/fail.txt"});
  EXPECT_EQ(fail.status, 255);
  EXPECT_NE(fail.out.find("one \n"), std::string::npos);
  EXPECT_NE(fail.out.find("three \n"), std::string::npos) << fail.out;
  EXPECT_EQ(Count(fail.out, "OK ("), 3u);
}

TEST_F(EntryCommands, BatchRefusesLongLinesAndMissingFiles) {
  std::string work = MakeTempFolder();
  std::string longLine = "echo " + std::string(600, 'z');
  ASSERT_TRUE(WriteFile(work + "/long.txt", longLine + "\necho after\n"));
  ToolResult refused = Run({"@long.txt"}, work);
  EXPECT_EQ(refused.status, 255);
  EXPECT_NE(refused.err.find("Line 1 of \"long.txt\" is longer than 511 characters"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(refused.out.find("zzz"), std::string::npos);
  EXPECT_NE(refused.out.find("after \n"), std::string::npos) << refused.out;
  EXPECT_EQ(Count(refused.out, "OK ("), 1u);

  ToolResult missing = Run({"@absent.txt"}, work);
  EXPECT_EQ(missing.status, 255);
  EXPECT_EQ(missing.err,
            "-The file \"absent.txt\" does not exist, please specify a valid filename\n");
  EXPECT_EQ(missing.out, "");

  ToolResult folder = Run({"@" + work});
  EXPECT_EQ(folder.status, 255);
  EXPECT_NE(folder.err.find("could not be opened"), std::string::npos) << folder.err;
}

TEST_F(EntryCommands, SampleAssetInstallsFromItsFolder) {
  // As the installation script does it: a path relative to where the tool
  // was started.
  ToolResult install = Run({"installfrompath", "samples/sample-asset"}, VU_SOURCE_DIR);
  EXPECT_EQ(install.status, 0) << install.out << install.err;
  ToolResult status = Run({"status", "<kuid:0:100>"});
  EXPECT_EQ(status.status, 0) << status.out << status.err;
  EXPECT_EQ(status.out.rfind("+ <kuid:0:100> : eIadlmf : BIN : VandruUtil sample crate\n", 0), 0u)
      << status.out;
}

TEST_F(EntryCommands, StoppingTheDaemonLeavesNoProcess) {
  ASSERT_EQ(Run({"version"}).status, 0);
  pid_t daemon = DaemonOwnerPid();
  ASSERT_NE(daemon, 0);
  StopDaemon();
  EXPECT_EQ(DaemonOwnerPid(), 0);
  EXPECT_NE(::kill(daemon, 0), 0);
}

class EntryStartup : public ToolFixture {};

TEST_F(EntryStartup, InitFailsWhenTheDaemonCannotStart) {
  // A root without the daemon executable: the client cannot be opened.
  std::string root = MakeTempFolder();
  fs::create_directories(root + "/bin");
  fs::copy_file(VANDRUUTIL_EXE, root + "/bin/VandruUtil");
  ToolResult result = RunProgram(root + "/bin/VandruUtil", {"version"}, root);
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.err, "- Init failed\n");
  EXPECT_EQ(result.out.find("Build "), std::string::npos);
}

}  // namespace
