// Log files opened where another user may have planted something under
// their names: a link is never followed, another user's file never
// written, a pipe never waited on; each refusal is said once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/diag/OwnLogFile.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

// Standard error, captured into a file while the object lives.
class StderrCapture {
 public:
  explicit StderrCapture(const std::string& path)
      : path_(path),
        saved_(::dup(2)),
        file_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)) {
    std::fflush(stderr);
    ::dup2(file_, 2);
  }
  ~StderrCapture() { Restore(); }
  std::string Restore() {
    if (saved_ >= 0) {
      std::fflush(stderr);
      ::dup2(saved_, 2);
      ::close(saved_);
      ::close(file_);
      saved_ = -1;
    }
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string path_;
  int saved_;
  int file_;
};

class OwnLogFileTest : public VUTest::TempFolderTest {};

TEST_F(OwnLogFileTest, APlantedLinkIsNotFollowedAndIsSaidOnce) {
  const std::string target = Put("notes.txt", "the owner's notes\n");
  const std::string log = At("UserData/vaddaemon.log");
  fs::create_directories(At("UserData"));
  fs::create_symlink(target, log);
  StderrCapture capture(At("stderr.txt"));
  std::string refusal;
  EXPECT_EQ(OpenOwnLogFile(log, 0644, &refusal), -1);
  EXPECT_EQ(OpenOwnLogFile(log, 0644, &refusal), -1);
  const std::string said = capture.Restore();
  const std::string text = RefusedLogText(log, "is a link");
  EXPECT_EQ(said, text + "\n");
  EXPECT_EQ(refusal, text);  // Given the first time only; not cleared after.
  EXPECT_EQ(Get("notes.txt"), "the owner's notes\n");
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(log)));
}

TEST_F(OwnLogFileTest, PipesAndOtherUsersFilesAreRefusedOwnFilesAppended) {
  const std::string pipe = At("pipe.log");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
  StderrCapture capture(At("stderr.txt"));
  EXPECT_EQ(OpenOwnLogFile(pipe, 0644), -1);  // At once: no reader waits.
  const std::string foreign = Put("foreign.log", "theirs\n");
  const bool canChown = ::chown(foreign.c_str(), 65534, 65534) == 0;
  if (canChown) {
    EXPECT_EQ(OpenOwnLogFile(foreign, 0644), -1);
  }
  const std::string own = Put("own.log", "first\n");
  const int fd = OpenOwnLogFile(own, 0644);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  EXPECT_EQ(::write(fd, "second\n", 7), 7);
  ::close(fd);
  const int created = OpenOwnLogFile(At("new.log"), 0600);
  ASSERT_GE(created, 0);
  ::close(created);
  const std::string said = capture.Restore();
  EXPECT_EQ(Get("own.log"), "first\nsecond\n");
  EXPECT_NE(said.find(RefusedLogText(pipe, "is not a plain file")), std::string::npos) << said;
  if (!canChown) GTEST_SKIP() << "no file of another user can be made here";
  EXPECT_EQ(Get("foreign.log"), "theirs\n");
  EXPECT_NE(said.find(RefusedLogText(foreign, "belongs to user 65534, not to this user (" +
                                                  std::to_string(::geteuid()) + ")")),
            std::string::npos)
      << said;
}

}  // namespace
