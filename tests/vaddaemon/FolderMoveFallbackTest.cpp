// FolderMove on a file system that refuses RENAME_NOREPLACE with EINVAL,
// as some network and user-space file systems do: entries are linked into
// the other folder and unlinked. A seccomp filter on the moving thread
// stands in for such a file system.
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/ImmutableFolder.h"
#include "tests/support/TempFolder.h"
#include "vaddaemon/FolderMove.h"

namespace {

using FolderMoveFallbackTest = VUTest::TempFolderTest;

// Makes every renameat2 of the calling thread fail with EINVAL.
bool RefuseRenameat2InThisThread() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EINVAL),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program = {static_cast<unsigned short>(std::size(filter)), filter};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// MoveFolderInto on a thread without renameat2; false when that thread
// could not be made so.
bool MoveWithoutRenameat2(const std::string& from, const std::string& into, FolderMove* move) {
  bool refused = false;
  std::thread mover([&] {
    refused = RefuseRenameat2InThisThread();
    if (refused) *move = MoveFolderInto(from, into);
  });
  mover.join();
  return refused;
}

TEST_F(FolderMoveFallbackTest, EntriesAreLinkedOverWithoutReplacingOneAndAStuckOneFails) {
  Put("from/a.txt", "moved a");
  Put("from/b.txt", "moved b");
  Put("into/a.txt", "kept a");
  FolderMove move;
  if (!MoveWithoutRenameat2(At("from"), At("into"), &move))
    GTEST_SKIP() << "no seccomp filter can be set here";
  EXPECT_EQ(move.error, "");
  EXPECT_TRUE(move.emptied);
  EXPECT_FALSE(std::filesystem::exists(At("from")));
  ASSERT_EQ(move.aside.size(), 1u);
  EXPECT_EQ(move.aside[0].keptAs, "a.txt.~1~");
  EXPECT_EQ(Get("into/a.txt") + Get("into/a.txt.~1~") + Get("into/b.txt"), "kept amoved amoved b");

  // A file in a folder that refuses removals can be linked but not unlinked.
  Put("stuck/sub/c.txt", "c");
  ImmutableFolder stuck(At("stuck/sub"));
  if (!stuck.Made()) GTEST_SKIP() << "the immutable attribute cannot be set here";
  ASSERT_TRUE(MoveWithoutRenameat2(At("stuck"), At("into"), &move));
  EXPECT_FALSE(move.emptied);
  EXPECT_EQ(move.error.rfind("cannot move " + At("stuck/sub/c.txt") + ":", 0), 0u) << move.error;
  EXPECT_EQ(Get("stuck/sub/c.txt"), "c");
}

}  // namespace
