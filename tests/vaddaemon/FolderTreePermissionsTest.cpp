// The permissions of files copied into the store.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/TempFolder.h"
#include "vaddaemon/FolderTree.h"

namespace {

namespace fs = std::filesystem;

struct ModeCase {
  const char* name;
  mode_t source;
  bool throughLink;  // the folder holds a link to the file, kept in a sub-folder
  mode_t copied;     // under umask 022
};

TEST(FolderTree, CopiedFilesGrantNoMoreThanTheirSourceAndTheUmask) {
  VUTest::TempFolder temp("FolderTree");
  ASSERT_TRUE(temp.Made());
  const fs::path root(temp.Path());
  const mode_t umaskBefore = ::umask(022);
  const ModeCase cases[] = {
      {"owner-only.txt", 0600, false, 0600}, {"owner-only-linked.txt", 0600, true, 0600},
      {"group.txt", 0640, false, 0640},      {"everyone.txt", 0644, false, 0644},
      {"writable.txt", 0666, false, 0644},   {"program.sh", 0755, false, 0644},
      {"read-only.txt", 0444, false, 0644},
  };
  fs::create_directories(root / "source");
  fs::create_directories(root / "source" / "kept");
  for (const ModeCase& c : cases) {
    const fs::path file = (c.throughLink ? root / "source" / "kept" : root / "source") / c.name;
    std::ofstream(file) << c.name;
    ASSERT_EQ(::chmod(file.c_str(), c.source), 0) << c.name;
    if (c.throughLink) fs::create_symlink(file, root / "source" / c.name);
  }
  std::string error;
  const bool copied = CopyFolderTree((root / "source").string(), (root / "copy").string(), &error);
  ::umask(umaskBefore);
  ASSERT_TRUE(copied) << error;
  for (const ModeCase& c : cases) {
    struct stat info {};
    ASSERT_EQ(::lstat((root / "copy" / c.name).c_str(), &info), 0) << c.name;
    EXPECT_TRUE(S_ISREG(info.st_mode)) << c.name;
    EXPECT_EQ(info.st_mode & 07777, c.copied) << c.name;
  }
}

}  // namespace
