// Libraries that a scripted asset takes through its script include table
// (a chain of two), reinstalled over and over by other processes while the
// asset is validated: each validation reads one whole copy of each
// library and answers what a fresh root answers. The libraries are never
// deleted, only replaced.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/cli/ToolFixture.h"
#include "tests/cli/ToolLoop.h"
#include "tests/support/SanitizerScale.h"

namespace {

namespace fs = std::filesystem;

using Files = std::vector<std::pair<std::string, std::string>>;

constexpr int kValidations = 1000 / VUTest::kSanitizerSlowdown;
constexpr int kBatchLines = 50 / VUTest::kSanitizerSlowdown;
constexpr int kBatches = 4;  // batches run side by side
constexpr int kReinstallsDuring = 20 / VUTest::kSanitizerSlowdown;
constexpr int kPaddingFiles = 40;  // so that a copy takes a while to remove
constexpr std::chrono::seconds kMostTime(120);

const char kUser[] = "<kuid:175:10>";
const char kNear[] = "<kuid:175:11>";  // the user's include table names it
const char kFar[] = "<kuid:175:12>";   // the near library's include table names it
const char kScripted[] = "script \"main.gs\"\nclass \"Crate\"\n";
const char kUserMain[] =
    "include \"gs.gs\"\ninclude \"near.gs\"\n"
    "class Crate isclass GameObject {\n  public int F() { Near n = new Near(); return n.Value(); "
    "}\n};\n";
const char kNearLib[] =
    "include \"far.gs\"\nclass Near {\n  public int Value() { Far f = new Far(); return f.Value(); "
    "}\n};\n";
const char kFarLib[] = "class Far {\n  public int Value() { return 1; }\n};\n";

std::string IncludeTable(const char* kuid) {
  return std::string("script-include-table {\n  0 ") + kuid + "\n}\n";
}

class IncludeTableReinstall : public ToolFixture {
 protected:
  // The folder of a library asset `kuid` holding `files` and padding; its
  // configuration as InstallScenery writes it.
  static std::string LibraryFolder(const char* kuid, const std::string& extra, Files files) {
    const std::string folder = MakeTempFolder() + "/library";
    fs::create_directories(folder);
    EXPECT_TRUE(WriteFile(folder + "/config.txt",
                          std::string("kuid ") + kuid +
                              "\nusername \"Crate\"\nkind \"scenery\"\nvandru-build 3.4\n"
                              "category-class \"BA\"\n" +
                              extra));
    for (int i = 0; i < kPaddingFiles; ++i)
      files.emplace_back("notes" + std::to_string(i) + ".txt", std::string(2000, 'n'));
    for (const auto& [name, text] : files) EXPECT_TRUE(WriteFile(folder + "/" + name, text));
    return folder;
  }

  static std::string Validations(const std::string& kuid) {
    std::string lines;
    for (int i = 0; i < kBatchLines; ++i) lines += "\"validate\" \"" + kuid + "\"\n";
    const std::string path = MakeTempFolder() + "/batch.txt";
    EXPECT_TRUE(WriteFile(path, lines));
    return path;
  }
};

TEST_F(IncludeTableReinstall, ValidationsWhileTheLibrariesAreReinstalledAnswerAsAFreshRoot) {
  const std::string nearFolder = LibraryFolder(kNear, IncludeTable(kFar), {{"near.gs", kNearLib}});
  const std::string farFolder = LibraryFolder(kFar, "", {{"far.gs", kFarLib}});
  const Files userFiles{{"main.gs", kUserMain}};
  const std::string userExtra = std::string(kScripted) + IncludeTable(kNear);

  const std::string fresh = MakeRoot();
  const std::string freshTool = fresh + "/bin/VandruUtil";
  for (const std::string& folder : {farFolder, nearFolder})
    ASSERT_EQ(RunProgram(freshTool, {"installfrompath", folder}, fresh + "/bin").status, 0);
  ASSERT_EQ(InstallScenery(kUser, userExtra, userFiles, fresh).status, 0);
  const std::string freshAnswer = RunProgram(freshTool, {"validate", kUser}, fresh + "/bin").out;
  EXPECT_TRUE(StopDaemonOf(fresh));
  ASSERT_EQ(freshAnswer, "OK (0 Errors, 0 Warnings)\n");

  for (const std::string& folder : {farFolder, nearFolder})
    ASSERT_EQ(Run({"installfrompath", folder}).status, 0);
  ASSERT_EQ(InstallScenery(kUser, userExtra, userFiles).status, 0);
  const std::string batch = Validations(kUser);
  std::vector<std::unique_ptr<ToolLoop>> reinstalls;
  for (const std::string& folder : {farFolder, nearFolder})
    reinstalls.push_back(
        std::make_unique<ToolLoop>(std::vector<std::string>{"installfrompath", folder}));
  for (auto& loop : reinstalls) ASSERT_TRUE(loop->WaitForRuns(1, kRunTimeoutMs));
  const int before = reinstalls[0]->Runs() + reinstalls[1]->Runs();

  int validations = 0;
  int wrong = 0;
  const auto deadline = std::chrono::steady_clock::now() + kMostTime;
  while (std::chrono::steady_clock::now() < deadline &&
         (validations < kValidations ||
          reinstalls[0]->Runs() + reinstalls[1]->Runs() - before < kReinstallsDuring)) {
    std::vector<ToolResult> results(kBatches);
    std::vector<std::thread> readers;
    for (ToolResult& result : results) readers.emplace_back([&] { result = Run({"@" + batch}); });
    for (std::thread& reader : readers) reader.join();
    for (const ToolResult& result : results) {
      std::istringstream out(result.out);
      int right = 0;
      for (std::string line; std::getline(out, line);) {
        if (line.empty()) continue;  // between the answers of a batch
        if (line + "\n" == freshAnswer) {
          ++right;
        } else if (++wrong <= 5) {
          ADD_FAILURE() << line;
        }
      }
      EXPECT_EQ(right, kBatchLines) << result.err;
      validations += kBatchLines;
    }
  }
  for (auto& loop : reinstalls) {
    loop->Stop();
    for (const ToolLoop::Run& run : loop->Records())
      EXPECT_EQ(run.result.status, 0) << run.result.out << run.result.err;
  }
  EXPECT_EQ(wrong, 0) << "of " << validations << " validations";
  EXPECT_GE(validations, kValidations);
  EXPECT_GE(reinstalls[0]->Runs() + reinstalls[1]->Runs() - before, kReinstallsDuring);
}

}  // namespace
