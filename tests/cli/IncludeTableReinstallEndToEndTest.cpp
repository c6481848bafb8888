// Libraries that a scripted asset takes through its script include table
// (a chain of two), reinstalled over and over by other processes while the
// asset is validated: each validation reads one whole copy of each library
// and answers what a fresh root answers. The libraries are never deleted.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/ToolFixture.h"
#include "tests/cli/ToolLoop.h"
#include "tests/support/SanitizerScale.h"

namespace {

constexpr int kValidations = 1000 / VUTest::kSanitizerSlowdown;
constexpr int kBatchLines = 50 / VUTest::kSanitizerSlowdown;
constexpr int kBatches = 4;  // batches run side by side
constexpr int kReinstallsDuring = 20 / VUTest::kSanitizerSlowdown;

const char kUser[] = "<kuid:175:10>";
const char kNear[] = "<kuid:175:11>";  // the user's include table names it
const char kFar[] = "<kuid:175:12>";   // the near library's include table names it
const char kUserMain[] =
    "include \"gs.gs\"\ninclude \"near.gs\"\nclass Crate isclass GameObject {\n"
    "  public int F() { Near n = new Near(); return n.Value(); }\n};\n";
const char kNearLib[] =
    "include \"far.gs\"\nclass Near {\n  public int Value() { Far f = new Far(); return f.Value(); "
    "}\n};\n";
const char kFarLib[] = "class Far {\n  public int Value() { return 1; }\n};\n";

std::string IncludeTable(const char* kuid) {
  return std::string("script-include-table {\n  0 ") + kuid + "\n}\n";
}

class IncludeTableReinstall : public ToolFixture {
 protected:
  // A folder holding library `kuid`: its configuration (as InstallScenery
  // writes one), `name` with `text`, and padding, so that a copy takes a
  // while to remove.
  static std::string Library(const char* kuid, const std::string& extra, const char* name,
                             const char* text) {
    const std::string folder = MakeTempFolder();
    EXPECT_TRUE(WriteFile(folder + "/config.txt",
                          std::string("kuid ") + kuid +
                              "\nusername \"Crate\"\nkind \"scenery\"\nvandru-build 3.4\n"
                              "category-class \"BA\"\n" +
                              extra));
    EXPECT_TRUE(WriteFile(folder + "/" + name, text));
    for (int i = 0; i < 40; ++i)
      EXPECT_TRUE(
          WriteFile(folder + "/notes" + std::to_string(i) + ".txt", std::string(2000, 'n')));
    return folder;
  }

  // Installs the libraries and the user with the tool of `root` (the
  // fixture's when empty).
  static void InstallAll(const std::vector<std::string>& libraries, const std::string& root = "") {
    const std::string bin = root.empty() ? BinPath() : root + "/bin";
    for (const std::string& folder : libraries)
      ASSERT_EQ(RunProgram(bin + "/VandruUtil", {"installfrompath", folder}, bin).status, 0);
    const std::string extra = "script \"main.gs\"\nclass \"Crate\"\n" + IncludeTable(kNear);
    ASSERT_EQ(InstallScenery(kUser, extra, {{"main.gs", kUserMain}}, root).status, 0);
  }
};

TEST_F(IncludeTableReinstall, ValidationsWhileTheLibrariesAreReinstalledAnswerAsAFreshRoot) {
  const std::vector<std::string> libraries{Library(kFar, "", "far.gs", kFarLib),
                                           Library(kNear, IncludeTable(kFar), "near.gs", kNearLib)};
  const std::string fresh = MakeRoot();
  InstallAll(libraries, fresh);
  const std::string freshAnswer =
      RunProgram(fresh + "/bin/VandruUtil", {"validate", kUser}, fresh + "/bin").out;
  EXPECT_TRUE(StopDaemonOf(fresh));
  ASSERT_EQ(freshAnswer, "OK (0 Errors, 0 Warnings)\n");

  InstallAll(libraries);
  std::string lines;
  for (int i = 0; i < kBatchLines; ++i) lines += std::string("\"validate\" \"") + kUser + "\"\n";
  const std::string batch = MakeTempFolder() + "/batch.txt";
  ASSERT_TRUE(WriteFile(batch, lines));
  std::vector<std::unique_ptr<ToolLoop>> loops;
  for (const std::string& folder : libraries)
    loops.push_back(
        std::make_unique<ToolLoop>(std::vector<std::string>{"installfrompath", folder}));
  const auto reinstalls = [&] { return loops[0]->Runs() + loops[1]->Runs(); };
  for (auto& loop : loops) ASSERT_TRUE(loop->WaitForRuns(1, kRunTimeoutMs));
  const int before = reinstalls();
  int validations = 0;
  int wrong = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (std::chrono::steady_clock::now() < deadline &&
         (validations < kValidations || reinstalls() - before < kReinstallsDuring)) {
    std::vector<ToolResult> results(kBatches);
    std::vector<std::thread> readers;
    for (ToolResult& result : results) readers.emplace_back([&] { result = Run({"@" + batch}); });
    for (std::thread& reader : readers) reader.join();
    for (const ToolResult& result : results) {
      std::istringstream out(result.out);
      int right = 0;
      for (std::string line; std::getline(out, line);) {
        if (line.empty()) continue;  // between the answers of a batch
        if (line + "\n" == freshAnswer)
          ++right;
        else if (++wrong <= 5)
          ADD_FAILURE() << line;
      }
      EXPECT_EQ(right, kBatchLines) << result.err;
      validations += kBatchLines;
    }
  }
  for (auto& loop : loops) {
    loop->Stop();
    for (const ToolLoop::Run& run : loop->Records())
      EXPECT_EQ(run.result.status, 0) << run.result.err;
  }
  EXPECT_EQ(wrong, 0) << "lines of " << validations << " validations";
  EXPECT_GE(validations, kValidations);
  EXPECT_GE(reinstalls() - before, kReinstallsDuring);
}

}  // namespace
