// Copies of a folder (as an install or a commit makes them) while another
// thread swaps one of its entries between a plain file, a link inside and
// a link outside: no copy ever holds a byte of the outside file, and it is
// never even opened.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "foundation/layout/AssetFolderEntries.h"
#include "tests/support/LinkFlipper.h"
#include "tests/support/TempFolder.h"
#include "vaddaemon/FolderTree.h"

namespace {

namespace fs = std::filesystem;

constexpr int kCopies = 2000;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(FolderTreeRace, ASwappedLinkNeverCarriesTheOutsideFileIntoACopy) {
  // In memory where the system has such a folder: the copies make and
  // remove thousands of folders.
  VUTest::TempFolder temp("FolderTreeRace", fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp");
  ASSERT_TRUE(temp.Made());
  fs::create_directories(temp.At("spare"));
  temp.Put("asset/config.txt", "kuid <kuid:1:1>\n");
  temp.Put("asset/body.txt", "inside body\n");
  const std::string secret = temp.Put("secret.txt", "private line\n");
  fs::create_directories(temp.At("copies"));
  VUTest::OpenWatch watch(secret);
  ASSERT_TRUE(watch.Watching());

  int copied = 0;
  int refused = 0;
  {
    VUTest::LinkFlipper flipper(temp.At("asset/link.txt"), "body.txt", secret,
                                temp.At("asset/body.txt"), temp.At("spare"), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (flipper.Flips() == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::yield();
    for (int i = 0; i < kCopies && std::chrono::steady_clock::now() < deadline; ++i) {
      const std::string copy = temp.At("copies/" + std::to_string(i));
      std::string error;
      if (CopyFolderTree(temp.At("asset"), copy, &error)) {
        ++copied;
        const std::string bytes = ReadAll(copy + "/link.txt");
        ASSERT_EQ(bytes, "inside body\n") << "copy " << i;
      } else {
        ++refused;
        ASSERT_EQ(error, LinkLeavesFolderText(temp.At("asset/link.txt"))) << "copy " << i;
      }
      ASSERT_TRUE(RemoveFolderTree(copy));
    }
    flipper.Stop();
    EXPECT_GT(flipper.Flips(), 0u);
  }
  EXPECT_EQ(copied + refused, kCopies) << "the copies took too long";
  EXPECT_GT(copied, 0);
  EXPECT_GT(refused, 0);
  EXPECT_FALSE(watch.Opened()) << "the outside file was opened";
}

}  // namespace
