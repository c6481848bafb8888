// Exports and validations of assets that another tool reinstalls at the
// same time, end to end: each reads one whole copy of an asset, the one
// before a reinstall or the one after, never a mix or a folder being
// replaced; while the asset is deleted, validations and repairs find it not
// installed, never faulty. The reads go through one batch (one connection, one request
// chain per line), as real to the daemon as separate runs of the tool and
// far quicker, while reinstalls run in other processes beside them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
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

namespace fs = std::filesystem;

constexpr int kPaddingFiles = 60;
// At least, in rounds of kBatches batches (fewer in the sanitizer tree).
constexpr int kReads = 1000 / VUTest::kSanitizerSlowdown;
constexpr int kBatchLines = 50 / VUTest::kSanitizerSlowdown;  // lines of one batch
constexpr int kBatches = 4;                                   // batches run side by side
constexpr int kReinstallers = 2;                              // processes reinstalling side by side
constexpr int kReinstallsDuring = 20 / VUTest::kSanitizerSlowdown;
constexpr int kMostRounds = 40;
constexpr int kReadTimeoutMs = 120000;
const char kKuid[] = "<kuid:0:301>";
const char kClean[] = "OK (0 Errors, 0 Warnings)";

class ReinstallReaders : public ToolFixture {
 protected:
  // A valid asset made from the sample asset (its configuration with the
  // KUID replaced, and its thumbnail) with padding files, so that a copy
  // takes a while to read and to remove; installed once. Its folder.
  static std::string InstallAsset() {
    const std::string folder = MakeTempFolder() + "/asset";
    const std::string sample = std::string(VU_SOURCE_DIR) + "/samples/sample-asset";
    std::string config = ReadFile(sample + "/config.txt");
    config.replace(config.find("<kuid:0:100>"), 12, kKuid);
    fs::create_directories(folder);
    EXPECT_TRUE(WriteFile(folder + "/config.txt", config));
    fs::copy_file(sample + "/thumbnail.jpg", folder + "/thumbnail.jpg");
    // Text that hardly compresses, so that packing it takes a while too.
    uint32_t seed = 12345;
    for (int file = 0; file < kPaddingFiles; ++file) {
      std::string text(1500, ' ');
      for (char& c : text) {
        seed = seed * 1103515245u + 12345u;
        c = char('!' + (seed >> 16) % 90);
      }
      EXPECT_TRUE(WriteFile(folder + "/notes" + std::to_string(file) + ".txt", text));
    }
    const ToolResult installed = Run({"installfrompath", folder});
    EXPECT_EQ(installed.status, 0) << installed.out << installed.err;
    return folder;
  }

  // Rounds of reads while `folder` is reinstalled over and over by other
  // processes: each round runs kBatches batches side by side, each in a
  // process of its own, of kBatchLines lines `line(batch, index)`, then
  // hands their results to `check`. Rounds go on until kReads lines were
  // read and kReinstallsDuring reinstalls ended meanwhile (at most
  // kMostRounds). Fails the test when a reinstall fails.
  template <class Line, class Check>
  static void ReadDuringReinstalls(const std::string& folder, Line line, Check check) {
    std::vector<std::string> batches;
    for (int batch = 0; batch < kBatches; ++batch) {
      std::string text;
      for (int index = 0; index < kBatchLines; ++index) text += line(batch, index) + "\n";
      batches.push_back(MakeTempFolder() + "/batch.txt");
      ASSERT_TRUE(WriteFile(batches.back(), text));
    }
    std::vector<std::unique_ptr<ToolLoop>> reinstalls;
    for (int i = 0; i < kReinstallers; ++i)
      reinstalls.push_back(
          std::make_unique<ToolLoop>(std::vector<std::string>{"installfrompath", folder}));
    for (auto& loop : reinstalls) ASSERT_TRUE(loop->WaitForRuns(1, kRunTimeoutMs));
    int before = 0;
    for (auto& loop : reinstalls) before += loop->Runs();
    int reads = 0;
    int during = 0;
    for (int round = 0; round < kMostRounds && (reads < kReads || during < kReinstallsDuring);
         ++round) {
      std::vector<ToolResult> results(batches.size());
      std::vector<std::thread> readers;
      for (size_t i = 0; i < batches.size(); ++i)
        readers.emplace_back([&, i] { results[i] = Run({"@" + batches[i]}, "", kReadTimeoutMs); });
      for (std::thread& reader : readers) reader.join();
      check(results);
      reads += kBatches * kBatchLines;
      during = -before;
      for (auto& loop : reinstalls) during += loop->Runs();
    }
    for (auto& loop : reinstalls) {
      loop->Stop();
      for (const ToolLoop::Run& run : loop->Records())
        EXPECT_EQ(run.result.status, 0) << run.result.out << run.result.err;
    }
    EXPECT_GE(reads, kReads);
    EXPECT_GE(during, kReinstallsDuring) << "too few reinstalls met the reads";
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
  const std::string folder = InstallAsset();
  const std::string out = MakeTempFolder();
  const ToolResult made = Run({"createcdp", out + "/reference.cdp", kKuid});
  ASSERT_EQ(made.status, 0) << made.out << made.err;
  const std::string reference = ReadFile(out + "/reference.cdp");
  ASSERT_FALSE(reference.empty());
  auto archive = [&](int batch, int index) {
    return out + "/e" + std::to_string(batch) + "-" + std::to_string(index) + ".cdp";
  };
  ReadDuringReinstalls(
      folder,
      [&](int batch, int index) {
        return "\"createcdp\" \"" + archive(batch, index) + "\" \"" + kKuid + "\"";
      },
      [&](const std::vector<ToolResult>& results) {
        for (int batch = 0; batch < kBatches; ++batch) {
          EXPECT_EQ(results[batch].status, 0) << results[batch].err;
          EXPECT_EQ(CountLines(results[batch].out, kClean), kBatchLines) << results[batch].out;
          for (int index = 0; index < kBatchLines; ++index) {
            EXPECT_TRUE(ReadFile(archive(batch, index)) == reference)
                << archive(batch, index) << " is not the whole asset";
            fs::remove(archive(batch, index));
          }
        }
      });
}

// A valid asset stays valid while it is reinstalled: no validation finds
// anything (a missing configuration or file, an empty one) that neither
// copy has.
TEST_F(ReinstallReaders, ValidationsDuringReinstallsFindNothing) {
  const std::string folder = InstallAsset();
  ReadDuringReinstalls(
      folder, [](int, int) { return std::string("\"validate\" \"") + kKuid + "\""; },
      [](const std::vector<ToolResult>& results) {
        for (const ToolResult& validations : results) {
          EXPECT_EQ(validations.status, 0) << validations.err;
          EXPECT_EQ(CountLines(validations.out, kClean), kBatchLines) << validations.out;
        }
      });
}

// While one tool deletes and reinstalls an asset over and over and another
// repairs the database, a validation of the asset answers either for one
// whole copy (valid) or that it is not installed, and a repair never finds
// it faulty.
TEST_F(ReinstallReaders, ValidationsAndRepairsDuringDeletesSayNothingUntrue) {
  constexpr int kValidations = 600 / VUTest::kSanitizerSlowdown;
  constexpr int kCycles = 10;
  constexpr int kRepairs = 10;
  // Each repair pauses between reading its list and checking the asset, so
  // that the asset is often deleted or replaced meanwhile (the daemon the
  // first command starts takes this from the test's environment).
  ASSERT_EQ(setenv("VADDAEMON_REPAIR_STEP_MS", "20", 1), 0);
  const std::string folder = InstallAsset();
  const std::string cycle = MakeTempFolder() + "/cycle.txt";
  ASSERT_TRUE(WriteFile(cycle, std::string("\"delete\" \"") + kKuid + "\"\n\"installfrompath\" \"" +
                                   folder + "\"\n"));
  const std::string validations = MakeTempFolder() + "/validate.txt";
  std::string lines;
  for (int index = 0; index < kBatchLines; ++index)
    lines += std::string("\"validate\" \"") + kKuid + "\"\n";
  ASSERT_TRUE(WriteFile(validations, lines));
  const std::string gone = std::string("- ") + kKuid + " : The asset ";
  ToolLoop cycles({"@" + cycle});
  ToolLoop repairs({"repairdatabase"});
  ASSERT_TRUE(cycles.WaitForRuns(1, kRunTimeoutMs));
  int reads = 0;
  int missed = 0;
  // Until enough validations ran, some met the asset deleted, and deletes
  // and repairs ran beside them.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (std::chrono::steady_clock::now() < deadline &&
         (reads < kValidations || missed == 0 || cycles.Runs() < kCycles ||
          repairs.Runs() < kRepairs)) {
    std::vector<ToolResult> results(kBatches);
    std::vector<std::thread> readers;
    for (ToolResult& result : results)
      readers.emplace_back([&] { result = Run({"@" + validations}, "", kReadTimeoutMs); });
    for (std::thread& reader : readers) reader.join();
    for (const ToolResult& result : results) {
      std::istringstream out(result.out);
      for (std::string line; std::getline(out, line);) {
        if (line.empty() || line.starts_with("OK (")) continue;
        // "The asset is not installed locally." (or with its KUID): gone.
        const bool notInstalled =
            line.starts_with(gone) && line.ends_with(" not installed locally.");
        missed += notInstalled ? 1 : 0;
        EXPECT_TRUE(notInstalled) << line;
      }
      reads += kBatchLines;
    }
  }
  cycles.Stop();
  repairs.Stop();
  EXPECT_GE(reads, kValidations);
  EXPECT_GT(missed, 0) << "no validation met the asset deleted";
  EXPECT_GE(cycles.Records().size(), size_t(kCycles));
  EXPECT_GE(repairs.Records().size(), size_t(kRepairs));
  for (const ToolLoop::Run& run : repairs.Records()) {
    EXPECT_EQ(run.result.status, 0) << run.result.out;
    EXPECT_EQ(run.result.out.find(std::string("- ") + kKuid), std::string::npos) << run.result.out;
  }
}

}  // namespace
