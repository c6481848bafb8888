#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/base/OSMutex.h"
#include "foundation/diag/DebugOutput.h"
#include "foundation/diag/LogFileName.h"
#include "foundation/diag/LogFileSink.h"
#include "tests/support/CapturedLog.h"
#include "tests/support/FileTestDir.h"

namespace {

namespace fs = std::filesystem;

class LogFileTest : public FileTestDir {
 protected:
  void SetUp() override {
    FileTestDir::SetUp();
    cwd_ = fs::current_path();
  }
  void TearDown() override {
    InstallLogFileSink(nullptr);
    SetLogFileSettings(LogFileSettings{});
    fs::current_path(cwd_);
  }

  void Touch(const std::string& name) const { Put(name, "x"); }
  void UseFolder(const std::string& folder) {
    LogFileSettings settings;
    settings.default_folder = folder;
    SetLogFileSettings(settings);
  }

  fs::path cwd_;
};

TEST_F(LogFileTest, OpenLogFileTakesTheFirstFreeNumberedName) {
  UseFolder(dir_);
  std::string path;
  ASSERT_TRUE(OpenLogFile(nullptr, "Vandru-49938.dmp", &path));
  EXPECT_EQ(path, At("Vandru-49938.dmp"));
  Touch("Vandru-49938.dmp");
  Touch("Vandru-49938_2.dmp");
  ASSERT_TRUE(OpenLogFile(nullptr, "Vandru-49938.dmp", &path));
  EXPECT_EQ(path, At("Vandru-49938_3.dmp"));
  // The stem ends at the last "." of the name, not of the folder.
  Touch("a.b/plain");
  ASSERT_TRUE(OpenLogFile(At("a.b").c_str(), "plain", &path));
  EXPECT_EQ(path, At("a.b/plain_2"));
  // A dangling link is not a free name.
  fs::create_symlink(At("nowhere"), At("link.log"));
  ASSERT_TRUE(OpenLogFile(nullptr, "link.log", &path));
  EXPECT_EQ(path, At("link_2.log"));
}

TEST_F(LogFileTest, OpenLogFileBuildsAndCreatesTheFolder) {
  LogFileSettings settings;
  settings.base_folder = dir_;
  settings.default_folder = "fallback";
  SetLogFileSettings(settings);
  std::string path;
  ASSERT_TRUE(OpenLogFile("logs\\deep", "x.log", &path));
  EXPECT_EQ(path, At("logs/deep/x.log"));
  EXPECT_TRUE(fs::is_directory(At("logs/deep")));
  ASSERT_TRUE(OpenLogFile("", "x.log", &path));
  EXPECT_EQ(path, At("fallback/x.log"));
  // With neither folder set the name stands alone: the working directory.
  SetLogFileSettings(LogFileSettings{});
  fs::current_path(dir_);
  ASSERT_TRUE(OpenLogFile(nullptr, "Vandru-49938.dmp", &path));
  EXPECT_EQ(path, "Vandru-49938.dmp");
}

TEST_F(LogFileTest, OpenLogFileReplacesWhenAskedAndGivesUpWhenEveryNameIsTaken) {
  LogFileSettings settings;
  settings.default_folder = dir_;
  settings.replace_existing = true;
  SetLogFileSettings(settings);
  Touch("r.log");
  std::string path;
  ASSERT_TRUE(OpenLogFile(nullptr, "r.log", &path));
  EXPECT_EQ(path, At("r.log"));
  EXPECT_FALSE(fs::exists(At("r.log")));

  UseFolder(dir_);
  Touch("full.log");
  for (int i = 2; i <= kMaxLogFileNumber; ++i) Touch("full_" + std::to_string(i) + ".log");
  path = "unchanged";
  EXPECT_FALSE(OpenLogFile(nullptr, "full.log", &path));
  EXPECT_EQ(path, "unchanged");
  EXPECT_FALSE(OpenLogFile(nullptr, std::string(kMaxLogFilePath, 'n').c_str(), &path));
}

TEST_F(LogFileTest, ComposeNumberedPathRefusesWhatDoesNotFit) {
  char out[16];
  EXPECT_TRUE(ComposeNumberedPath(out, sizeof(out), "d/n.e.x", 12));
  EXPECT_STREQ(out, "d/n.e_12.x");
  EXPECT_TRUE(ComposeNumberedPath(out, sizeof(out), "d/n.x", 1));
  EXPECT_STREQ(out, "d/n.x");
  EXPECT_FALSE(ComposeNumberedPath(out, 10, "d/n.e.x", 12));
  EXPECT_FALSE(ComposeNumberedPath(out, 0, "a", 1));
}

TEST_F(LogFileTest, MakeDirectoryCreatesParentsAndRefusesAFile) {
  EXPECT_TRUE(MakeDirectory(At("one\\two/three/").c_str()));
  EXPECT_TRUE(fs::is_directory(At("one/two/three")));
  EXPECT_TRUE(MakeDirectory(At("one/two").c_str()));
  Touch("file");
  errno = 0;
  EXPECT_FALSE(MakeDirectory(At("file").c_str()));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_FALSE(MakeDirectory(At("file/below").c_str()));
  EXPECT_TRUE(fs::is_regular_file(At("file")));
  EXPECT_FALSE(MakeDirectory(nullptr));
  EXPECT_TRUE(FileExists(At("file").c_str()));
  EXPECT_FALSE(FileExists(At("none").c_str()));
}

TEST_F(LogFileTest, WideTextKeepsTheListedCharactersAsUtf8) {
  EXPECT_EQ(LogTextFromWide(L"a\tb\r\n~"), "a\tb\r\n~");
  EXPECT_EQ(LogTextFromWide(L"\u2013\u2018\u2019\u201C\u201D\u2026\u00AB\u00B0\u00BB"),
            "\u2013\u2018\u2019\u201C\u201D\u2026\u00AB\u00B0\u00BB");
  EXPECT_EQ(LogTextFromWide(L"\u00E9\u4E2D\x01\U0001F600"), "????");
  EXPECT_EQ(LogTextFromWide(nullptr), "");
}

TEST_F(LogFileTest, SinkHoldsBackRepeatsAndCountsThem) {
  UseFolder(dir_);
  LogFileSink sink("run.log", "");
  InstallLogFileSink(&sink);
  LogLine("first");
  LogLine("again");
  LogLine("again");
  LogLine("again");
  DebugPrintf("%s", "next");
  LogLine("next");
  LogLine(nullptr);
  DebugPrintf(nullptr);
  InstallLogFileSink(nullptr);
  sink.Close();
  EXPECT_EQ(sink.GetPath(), At("run.log"));
  EXPECT_EQ(Get("run.log"),
            "\r\nfirst\r\nagain\r\n[2 lines suppressed]\r\nnext\r\n[1 lines suppressed]\r\n");
  // After Close the same file is appended to.
  sink.WriteLine("later\r\n");
  sink.Close();
  EXPECT_EQ(Get("run.log").substr(66), "later\r\n");
}

TEST_F(LogFileTest, SinkStampsNoticesAndImmediateWritesEveryLine) {
  LogFileSettings settings;
  settings.default_folder = dir_;
  settings.time_stamps = true;
  SetLogFileSettings(settings);
  Touch("stamp.log");
  LogFileSink sink("stamp.log", "");
  ASSERT_TRUE(sink.Open());
  EXPECT_EQ(sink.GetPath(), At("stamp_2.log"));
  sink.WriteLine("x\r\n");
  sink.WriteLine("x\r\n");
  sink.WriteLine("y\r\n");
  sink.MakeImmediate();
  sink.WriteLine("y\r\n");
  // Immediate: flushed at once, without Close.
  std::string text = Get("stamp_2.log");
  std::regex expected(
      "\r\nx\r\n\\d\\d\\.\\d\\d\\.\\d\\d  \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\| \\[1 lines "
      "suppressed\\]\r\n"
      "y\r\ny\r\n");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
  EXPECT_EQ(LogTimeStamp(0, 7).size(), std::string("70.01.01  00:00:00.07| ").size());
}

TEST_F(LogFileTest, SinkThatCannotOpenDropsLinesWithoutRecursing) {
  // A folder name too long to make: the failure is logged through LogLine,
  // which reaches the sink again while it is opening.
  LogFileSink sink("x.log", At(std::string(300, 'L')));
  InstallLogFileSink(&sink);
  testing::internal::CaptureStdout();
  LogLine("lost");
  std::string out = testing::internal::GetCapturedStdout();
  InstallLogFileSink(nullptr);
  EXPECT_EQ(out, "MakeDirectory> CreateDirectoryW returned err 36\nlost\n");
  EXPECT_FALSE(sink.Open());
  sink.Close();
  EXPECT_EQ(sink.GetPath(), "");
}

TEST_F(LogFileTest, SinkKeepsLinesOfManyThreadsWhole) {
  UseFolder(dir_);
  LogFileSink sink("threads.log", "");
  InstallLogFileSink(&sink);
  testing::internal::CaptureStdout();  // LogLine echoes every line there.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 150; ++i) {
        std::string line = "t" + std::to_string(t) + "-" + std::to_string(i) + ":";
        line.append(static_cast<size_t>((i * 97 + t * 13) % 6000), static_cast<char>('a' + t));
        LogLine(line.c_str());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  InstallLogFileSink(nullptr);
  testing::internal::GetCapturedStdout();
  sink.Close();
  std::string text = Get("threads.log");
  ASSERT_EQ(text.substr(0, 2), "\r\n");
  std::set<std::string> seen;
  size_t start = 2;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    std::string line = text.substr(start, end - start);
    size_t colon = line.find(':');
    ASSERT_NE(colon, std::string::npos) << line.substr(0, 40);
    int t = line[1] - '0';
    int i = std::stoi(line.substr(3, colon - 3));
    EXPECT_EQ(line.size() - colon - 1, static_cast<size_t>((i * 97 + t * 13) % 6000));
    EXPECT_EQ(line.find_first_not_of(static_cast<char>('a' + t), colon + 1), std::string::npos);
    seen.insert(line.substr(0, colon));
    start = end + 2;
  }
  EXPECT_EQ(seen.size(), 600u);
}

TEST_F(LogFileTest, LongFormattedLinesAreWrittenWhole) {
  UseFolder(dir_);
  LogFileSink sink("long.log", "");
  InstallLogFileSink(&sink);
  testing::internal::CaptureStdout();
  std::string narrow(10000, 'n');
  DebugPrintf("<%s>", narrow.c_str());
  std::wstring wide(10000, L'w');
  DebugPrintfW(L"[%ls]", wide.c_str());
  std::string huge(kMaxDebugText + 100, 'h');
  DebugPrintf("%s", huge.c_str());
  InstallLogFileSink(nullptr);
  testing::internal::GetCapturedStdout();
  sink.Close();
  EXPECT_EQ(Get("long.log"), "\r\n<" + narrow + ">\r\n[" + std::string(10000, 'w') + "]\r\n" +
                                 std::string(kMaxDebugText, 'h') + "\r\n");
}

TEST(OSMutexLock, FailedReleaseIsLoggedNotThrown) {
  VUTest::CapturedLog log;
  OS::Mutex mutex;
  {
    OS::MutexLock outer(&mutex);
    OS::MutexLock inner(&mutex);  // The owner may take it again.
  }
  EXPECT_NO_THROW({
    OS::MutexLock lock(&mutex);
    mutex.Unlock();  // Released behind the lock's back: its own release fails.
  });
  const std::vector<std::string> logged = log.Lines();
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_NE(logged[0].find("Failed to release the mutex"), std::string::npos);
}

}  // namespace
