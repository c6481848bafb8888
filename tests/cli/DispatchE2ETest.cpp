// The dispatcher through the built tool: the words that need no asset, the
// argument-check messages as the user sees them (printed log, exit status)
// and the path arguments that are taken from the user's own folder.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/cli/ToolFixture.h"

namespace {

namespace fs = std::filesystem;

// The printed log of a command that failed its argument check with `text`.
std::string FailedCheck(const std::string& text) {
  return "- <NULL> : " + text + "\nOK (1 Errors, 0 Warnings)\n";
}

constexpr const char* kNoMessages = "OK (0 Errors, 0 Warnings)\n";

class DispatchE2E : public ToolFixture {};

// The ids of the running processes whose executable is `exe` (a real path).
std::vector<pid_t> ProcessesOf(const std::string& exe) {
  std::vector<pid_t> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code unreadable;
    if (fs::read_symlink(entry.path() / "exe", unreadable).string() == exe)
      found.push_back(pid_t(std::stol(name)));
  }
  return found;
}

}  // namespace

TEST_F(DispatchE2E, VersionWordsEndWithTheLowByteOfTheirNumbers) {
  const ToolResult version = Run({"Version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("Build 49938\n") + kNoMessages);

  const struct {
    const char* word;
    int status;
  } cases[] = {{"installedversionlo", 84},       {"installedversionhi", 1},
               {"installedbuildnumberlo", 18},   {"installedbuildnumberhi", 195},
               {"INSTALLEDVERSION", 340 & 0xFF}, {"installedbuildnumber", 49938 & 0xFF}};
  for (const auto& c : cases) {
    const ToolResult run = Run({c.word});
    EXPECT_EQ(run.status, c.status) << c.word;
    EXPECT_EQ(run.out, kNoMessages) << c.word;
  }
}

TEST_F(DispatchE2E, EchoAndUnknownWords) {
  const ToolResult echo = Run({"echo", "a", "B c"});
  EXPECT_EQ(echo.status, 0);
  EXPECT_EQ(echo.out, std::string("a B c \n") + kNoMessages);

  const ToolResult unknown = Run({"registeraccount", "someone"});
  EXPECT_EQ(unknown.status, 255);
  EXPECT_EQ(
      unknown.out,
      FailedCheck("Invalid argument, please check the help for the list of valid argument\n"));
}

TEST_F(DispatchE2E, ArgumentChecksPrintTheirMessageAndEndWith255) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"setlanguage"}, "Missing input langauge id parameter."},
      {{"setlanguage", "EO"}, "Unknown language code."},
      {{"installcdp"}, "Missing input filepath parameter."},
      {{"edit"}, "Missing AssetID parameter."},
      {{"compile"}, "Invalid file path."},
      {{"encrypt", "notes.txt"}, "Invalid file path."},
      {{"listbuilds"}, "Missing path parameter."},
      {{"searchbycategory", "-a"}, "Missing category parameter."},
      {{"createcdp", "out.zip"}, "The output filename must have a .cdp extension."},
      {{"createcdp", "out.cdp", "KUID 5", "<kuid:5:6>"}, "Invalid AssetID."},
  };
  for (const auto& c : cases) {
    const ToolResult run = Run(c.args);
    EXPECT_EQ(run.status, 255) << c.args[0];
    EXPECT_EQ(run.out, FailedCheck(c.message)) << c.args[0];
  }
}

// Relative paths are taken from the folder the tool was started in, and
// their case is kept.
TEST_F(DispatchE2E, CompileAndEncryptWorkInTheCallersFolder) {
  const std::string work = MakeTempFolder();
  fs::create_directory(work + "/Src Dir");
  ASSERT_TRUE(WriteFile(work + "/Src Dir/Wagon.gs", "class Wagon {\n  int axles;\n};\n"));

  const ToolResult compiled = Run({"compile", "-s", "Src Dir/Wagon.gs"}, work);
  EXPECT_EQ(compiled.status, 0) << compiled.out << compiled.err;
  EXPECT_TRUE(fs::exists(work + "/Src Dir/Wagon.gsl"));

  const ToolResult broken = Run({"compile", "-s", "Src Dir/Missing.gs"}, work);
  EXPECT_EQ(broken.status, 255);

  const ToolResult encrypted = Run({"encrypt", "Src Dir/Wagon.gs"}, work);
  EXPECT_EQ(encrypted.status, 0) << encrypted.out;
  EXPECT_EQ(encrypted.out, kNoMessages);
  EXPECT_TRUE(fs::exists(work + "/Src Dir/Wagon.gse"));

  const ToolResult missing = Run({"encrypt", "Src Dir/wagon.GS.gs"}, work);
  EXPECT_EQ(missing.status, 255);
  EXPECT_EQ(missing.out, FailedCheck("Invalid file path."));
}

TEST_F(DispatchE2E, ListBuildsWritesToTheCallersFolder) {
  const std::string work = MakeTempFolder();
  const ToolResult run = Run({"listbuilds", "Builds List.txt"}, work);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(ReadFile(work + "/Builds List.txt"), "49938\n");

  const ToolResult refused = Run({"listbuilds", "no-folder/builds.txt"}, work);
  EXPECT_EQ(refused.status, 255);
  EXPECT_EQ(refused.out, FailedCheck("Failed to open output file."));
}

// "closevaddaemon" ends the processes of its own installation only.
TEST_F(DispatchE2E, CloseVADDaemonLeavesOtherInstallationsAlone) {
  const std::string other = MakeTempFolder();
  fs::create_directories(other + "/bin");
  fs::create_directories(other + "/Data");
  fs::copy_file(BinPath() + "/VandruUtil", other + "/bin/VandruUtil");
  fs::copy_file(BinPath() + "/vaddaemon", other + "/bin/vaddaemon");
  fs::copy_file(Root() + "/Data/InterfaceText.txt", other + "/Data/InterfaceText.txt");
  EXPECT_EQ(RunProgram(other + "/bin/VandruUtil", {"version"}, other + "/bin").status, 0);
  const std::vector<pid_t> otherDaemons = ProcessesOf(other + "/bin/vaddaemon");

  const ToolResult closed = Run({"closevaddaemon"});
  EXPECT_EQ(closed.status, 0) << closed.err;
  EXPECT_EQ(closed.out, kNoMessages);
  EXPECT_TRUE(ProcessesOf(BinPath() + "/vaddaemon").empty());
  EXPECT_EQ(ProcessesOf(other + "/bin/vaddaemon"), otherDaemons);
  EXPECT_EQ(otherDaemons.size(), 1u);

  EXPECT_EQ(RunProgram(other + "/bin/VandruUtil", {"closevaddaemon"}, other + "/bin").status, 0);
  EXPECT_TRUE(ProcessesOf(other + "/bin/vaddaemon").empty());
}
