// Exports and validations of assets that another tool reinstalls at the
// same time, end to end: each reads one whole copy of an asset, the one
// before a reinstall or the one after, never a mix or a folder being
// replaced. The reads go through one batch (one connection, one request
// chain per line), as real to the daemon as separate runs of the tool and
// far quicker, while reinstalls run in other processes beside them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/ToolFixture.h"
#include "tests/cli/ToolLoop.h"

namespace {

namespace fs = std::filesystem;

constexpr int kAssets = 3;
constexpr int kPaddingFiles = 20;
constexpr int kReads = 1000;
constexpr int kBatches = 4;
constexpr int kReadTimeoutMs = 240000;
const char kClean[] = "OK (0 Errors, 0 Warnings)";

class ReinstallReaders : public ToolFixture {
 protected:
  static std::string Kuid(int asset) { return "<kuid:0:" + std::to_string(301 + asset) + ">"; }

  // Folders of kAssets valid assets below one parent, made from the sample
  // asset (its configuration with the KUID replaced, and its thumbnail),
  // each with padding files, so that a copy takes a while to read or to
  // remove. Installed once; the parent's path.
  static std::string InstallAssets() {
    const std::string parent = MakeTempFolder() + "/assets";
    const std::string sample = std::string(VU_SOURCE_DIR) + "/samples/sample-asset";
    std::string config = ReadFile(sample + "/config.txt");
    const size_t at = config.find("<kuid:0:100>");
    for (int asset = 0; asset < kAssets; ++asset) {
      const std::string folder = parent + "/a" + std::to_string(asset);
      fs::create_directories(folder);
      std::string own = config;
      own.replace(at, 12, Kuid(asset));
      EXPECT_TRUE(WriteFile(folder + "/config.txt", own));
      fs::copy_file(sample + "/thumbnail.jpg", folder + "/thumbnail.jpg");
      for (int file = 0; file < kPaddingFiles; ++file) {
        EXPECT_TRUE(WriteFile(folder + "/notes" + std::to_string(file) + ".txt",
                              std::string(1500, char('a' + file % 26))));
      }
    }
    const ToolResult installed = Run({"installfrompath", parent});
    EXPECT_EQ(installed.status, 0) << installed.out << installed.err;
    return parent;
  }

  // A batch file holding `lines`; its path.
  static std::string WriteBatch(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    const std::string path = MakeTempFolder() + "/batch.txt";
    EXPECT_TRUE(WriteFile(path, text));
    return path;
  }

  // Runs the batches side by side, each in a process of its own, while
  // `parent` is reinstalled over and over by another process; their
  // results. Fails the test unless every reinstall succeeded and some ended
  // while the batches ran.
  static std::vector<ToolResult> RunDuringReinstalls(const std::vector<std::string>& batches,
                                                     const std::string& parent) {
    ToolLoop reinstalls({"installfrompath", parent});
    EXPECT_TRUE(reinstalls.WaitForRuns(1, kRunTimeoutMs));
    const ToolLoop::Clock::time_point start = ToolLoop::Clock::now();
    std::vector<ToolResult> results(batches.size());
    std::vector<std::thread> readers;
    for (size_t i = 0; i < batches.size(); ++i) {
      readers.emplace_back(
          [&, i] { results[i] = Run({"@" + batches[i]}, "", kReadTimeoutMs); });
    }
    for (std::thread& reader : readers) reader.join();
    const ToolLoop::Clock::time_point end = ToolLoop::Clock::now();
    reinstalls.Stop();
    int during = 0;
    for (const ToolLoop::Run& run : reinstalls.Records()) {
      EXPECT_EQ(run.result.status, 0) << run.result.out << run.result.err;
      if (run.end > start && run.end < end) ++during;
    }
    EXPECT_GE(during, 2) << "the reads did not overlap the reinstalls";
    return results;
  }

  // The lines `line(0)` .. `line(kReads - 1)` in kBatches batch files.
  template <class Line>
  static std::vector<std::string> SplitIntoBatches(Line line) {
    std::vector<std::vector<std::string>> lines(kBatches);
    for (int read = 0; read < kReads; ++read) lines[read % kBatches].push_back(line(read));
    std::vector<std::string> batches;
    for (const auto& some : lines) batches.push_back(WriteBatch(some));
    return batches;
  }

  static int CountLines(const std::string& text, const std::string& line) {
    int count = 0;
    for (size_t at = text.find(line + "\n"); at != std::string::npos;
         at = text.find(line + "\n", at + 1)) {
      if (at == 0 || text[at - 1] == '\n') ++count;
    }
    return count;
  }
};

// Every export made while its asset is reinstalled holds the whole asset:
// the same bytes as an export made with nothing else running.
TEST_F(ReinstallReaders, ExportsDuringReinstallsAreWhole) {
  const std::string parent = InstallAssets();
  const std::string out = MakeTempFolder();
  std::vector<std::string> reference;
  for (int asset = 0; asset < kAssets; ++asset) {
    const std::string path = out + "/reference" + std::to_string(asset) + ".cdp";
    const ToolResult made = Run({"createcdp", path, Kuid(asset)});
    ASSERT_EQ(made.status, 0) << made.out << made.err;
    reference.push_back(ReadFile(path));
    ASSERT_FALSE(reference.back().empty());
  }
  const auto batches = SplitIntoBatches([&](int read) {
    return "\"createcdp\" \"" + out + "/e" + std::to_string(read) + ".cdp\" \"" +
           Kuid(read % kAssets) + "\"";
  });
  int clean = 0;
  for (const ToolResult& exports : RunDuringReinstalls(batches, parent)) {
    EXPECT_EQ(exports.status, 0) << exports.err;
    clean += CountLines(exports.out, kClean);
  }
  EXPECT_EQ(clean, kReads);
  int partial = 0;
  for (int read = 0; read < kReads; ++read) {
    if (ReadFile(out + "/e" + std::to_string(read) + ".cdp") != reference[read % kAssets])
      ++partial;
  }
  EXPECT_EQ(partial, 0) << "archives that are not the whole asset";
}

// A valid asset stays valid while it is reinstalled: no validation finds
// anything (a missing configuration or file, an empty one) that neither
// copy has.
TEST_F(ReinstallReaders, ValidationsDuringReinstallsFindNothing) {
  const std::string parent = InstallAssets();
  const auto batches = SplitIntoBatches(
      [](int read) { return "\"validate\" \"" + Kuid(read % kAssets) + "\""; });
  int clean = 0;
  for (const ToolResult& validations : RunDuringReinstalls(batches, parent)) {
    EXPECT_EQ(validations.status, 0) << validations.err;
    clean += CountLines(validations.out, kClean);
    EXPECT_EQ(validations.out.find("- "), std::string::npos) << validations.out.substr(0, 2000);
  }
  EXPECT_EQ(clean, kReads);
}

}  // namespace
