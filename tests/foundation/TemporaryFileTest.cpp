#include "foundation/stream/TemporaryFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/CapturedLog.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

class TemporaryFileTest : public VUTest::TempFolderTest {
 protected:
  const fs::path dir_ = temp_.Path();
};

TEST_F(TemporaryFileTest, TwoPathsDifferAndBothExist) {
  const Kiv::File::Path folder((dir_ / "UserData" / "nested").string());
  Kiv::File::Path first, second;
  ASSERT_TRUE(CreateTemporaryFilePath(folder, &first));
  ASSERT_TRUE(CreateTemporaryFilePath(folder, &second));
  EXPECT_NE(first.Str(), second.Str());
  EXPECT_TRUE(fs::is_regular_file(first.Str()));
  EXPECT_TRUE(fs::is_regular_file(second.Str()));
  EXPECT_EQ(fs::file_size(first.Str()), 0u);
  EXPECT_EQ(fs::path(first.Str()).parent_path(), fs::path(folder.Str()));
}

TEST_F(TemporaryFileTest, ConcurrentCallersGetDistinctFiles) {
  const Kiv::File::Path folder(dir_.string());
  constexpr int kThreads = 4, kEach = 50;
  std::vector<std::vector<std::string>> made(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        Kiv::File::Path path;
        if (CreateTemporaryFilePath(folder, &path)) made[t].push_back(path.Str());
      }
    });
  }
  for (auto& th : threads) th.join();
  std::set<std::string> all;
  for (const auto& list : made) all.insert(list.begin(), list.end());
  EXPECT_EQ(all.size(), size_t(kThreads * kEach));
  EXPECT_EQ(size_t(std::distance(fs::directory_iterator(dir_), fs::directory_iterator())),
            all.size());
}

TEST_F(TemporaryFileTest, UnusableFolderLogsAfterHundredTries) {
  std::ofstream(dir_ / "plain-file") << "x";
  const std::string folder = (dir_ / "plain-file" / "sub").string();
  VUTest::CapturedLog log;
  Kiv::File::Path out("unchanged");
  EXPECT_FALSE(CreateTemporaryFilePath(Kiv::File::Path(folder), &out));
  const std::vector<std::string> lines = log.Lines();
  EXPECT_EQ(out.Str(), "unchanged");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(
                "CreateTemporaryFilePath> unable to form valid temp path in 100 tries, at path '" +
                folder + "' with prefix 'temp-'"),
            std::string::npos)
      << lines[0];
}

TEST_F(TemporaryFileTest, RefusesEmptyFolderAndNullOut) {
  Kiv::File::Path out;
  EXPECT_FALSE(CreateTemporaryFilePath(Kiv::File::Path(), &out));
  EXPECT_FALSE(CreateTemporaryFilePath(Kiv::File::Path(dir_.string()), nullptr));
  EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
