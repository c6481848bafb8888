#include "cli/PackedContentSet.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

class PackedContentSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vu-packed-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
    fs::create_directories(folder_ / "editing");
  }
  void TearDown() override { fs::remove_all(folder_); }

  void Put(const std::string& name) { std::ofstream(folder_ / name) << "packed"; }
  std::string Packed() const { return (folder_ / "editing.ja").string(); }

  fs::path folder_;
};

TEST_F(PackedContentSetTest, ExactAndOtherCaseNamesAreFoundAndMissingOnesAreNot) {
  struct Case {
    const char* file;  // beside the set's folder, or null
    bool exists;
  };
  const Case cases[] = {{nullptr, false}, {"editing.ja", true}, {"Editing.JA", true},
                        {"editing.jar", false}, {"editing", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file ? c.file : "(none)");
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "editing");
    if (c.file != nullptr && std::string(c.file) != "editing") Put(c.file);
    EXPECT_EQ(PackedFileExists(Packed()), c.exists);
    // Asked again with the folder unchanged: the same answer.
    EXPECT_EQ(PackedFileExists(Packed()), c.exists);
  }
}

TEST_F(PackedContentSetTest, EntriesAddedOrRemovedAfterAnAnswerAreSeen) {
  EXPECT_FALSE(PackedFileExists(Packed()));
  Put("EDITING.ja");
  EXPECT_TRUE(PackedFileExists(Packed()));
  EXPECT_TRUE(PackedFileExists(Packed()));
  fs::remove(folder_ / "EDITING.ja");
  EXPECT_FALSE(PackedFileExists(Packed()));
  // Added within the same second as a listing of a busy folder.
  Put("Editing.ja");
  EXPECT_TRUE(PackedFileExists(Packed()));
}

// Waits (bounded) until the clock that dates a folder's changes has passed
// the folder's status-change time, so that its next change gets a later one.
void WaitPastChangeTime(const fs::path& folder) {
  struct stat st;
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    if (now.tv_sec > st.st_ctim.tv_sec ||
        (now.tv_sec == st.st_ctim.tv_sec && now.tv_nsec > st.st_ctim.tv_nsec))
      return;
    ASSERT_LT(std::chrono::steady_clock::now(), limit);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TEST_F(PackedContentSetTest, KeptAnswersFollowEveryChangeOfTheFolder) {
  // No settling time: every answer is kept at once.
  EXPECT_FALSE(PackedFileExists(Packed(), 0));
  WaitPastChangeTime(folder_);
  Put("Editing.JA");
  EXPECT_TRUE(PackedFileExists(Packed(), 0));
  WaitPastChangeTime(folder_);
  fs::rename(folder_ / "Editing.JA", folder_ / "editing.jar");
  EXPECT_FALSE(PackedFileExists(Packed(), 0));
  // A folder put in the place of the kept one is another folder.
  const fs::path kept = folder_.string() + "-kept";
  fs::rename(folder_, kept);
  fs::create_directories(folder_ / "editing");
  Put("EDITING.ja");
  EXPECT_TRUE(PackedFileExists(Packed(), 0));
  fs::remove_all(kept);
}

TEST_F(PackedContentSetTest, EmptyPathAndMissingFolderAreNotPacked) {
  EXPECT_FALSE(PackedFileExists(""));
  EXPECT_FALSE(PackedFileExists((folder_ / "nowhere" / "editing.ja").string()));
}

}  // namespace
