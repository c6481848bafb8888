#include "foundation/layout/ContentPath.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "foundation/stream/TBuffer.h"
#include "tests/support/LayoutTestRoot.h"

namespace {

namespace fs = std::filesystem;
using Kiv::File;
using Kiv::PString;

class ContentPathTest : public LayoutTestRoot {
 protected:
  void SetUp() override {
    LayoutTestRoot::SetUp();
    StartLayout();
  }
  PString local_{"local"};
  PString none_;
};

TEST_F(ContentPathTest, LocationOperationsActBelowTheLocationFolder) {
  EXPECT_TRUE(MakeDirectories(local_, File::Path("a\\b")));
  EXPECT_TRUE(IsDir("UserData/local/a/b"));
  Put("UserData/local/a/file.txt", "x");
  EXPECT_TRUE(PathExists(local_, File::Path("a/file.txt")));
  EXPECT_FALSE(PathExists(local_, File::Path("a/missing.txt")));
  EXPECT_TRUE(RenameContentFile(local_, File::Path("a/file.txt"), File::Path("a/b/moved.txt")));
  EXPECT_EQ(Get("UserData/local/a/b/moved.txt"), "x");
  EXPECT_TRUE(CopyContentFile(local_, File::Path("a/b/moved.txt"), PString("editing"),
                              File::Path("c.txt")));
  EXPECT_EQ(Get("UserData/editing/c.txt"), "x");
  EXPECT_TRUE(DeleteContentPath(local_, File::Path("a")));
  EXPECT_FALSE(IsThere("UserData/local/a"));
  EXPECT_TRUE(DeleteContentPath(PString("editing"), File::Path("c.txt")));
  EXPECT_FALSE(IsThere("UserData/editing/c.txt"));
  EXPECT_TRUE(IsDir("UserData/local"));
}

TEST_F(ContentPathTest, RootedPathsWorkWithoutALocation) {
  const File::Path folder(At("UserData/original/x/y"));
  EXPECT_TRUE(MakeDirectories(none_, folder));
  EXPECT_TRUE(PathExists(none_, folder));
  Put("UserData/original/x/f", "f");
  EXPECT_TRUE(RenameContentFile(none_, File::Path(At("UserData/original/x/f")),
                                File::Path(At("UserData/original/g"))));
  EXPECT_EQ(Get("UserData/original/g"), "f");
  EXPECT_FALSE(
      RenameContentFile(none_, File::Path(At("UserData/original/g")), File::Path("relative")));
}

TEST_F(ContentPathTest, RelativePathWithoutLocationIsRefused) {
  const File::Path relative("UserData/local/q");
  EXPECT_FALSE(MakeDirectories(none_, relative));
  EXPECT_FALSE(RenameContentFile(none_, relative, File::Path("UserData/local/r")));
  EXPECT_FALSE(DeleteContentPath(none_, relative));
  EXPECT_FALSE(CopyContentFile(none_, relative, local_, File::Path("r")));
  EXPECT_TRUE(PathExists(none_, relative)) << "counts as existing";
}

TEST_F(ContentPathTest, PathsThatClimbOutOfTheLocationAreRefused) {
  Put("UserData/sentinel.txt", "keep");
  Put("UserData/local/inside.txt", "in");
  for (const char* escape : {"../sentinel.txt", "a/../../sentinel.txt", "..\\sentinel.txt"}) {
    SCOPED_TRACE(escape);
    const File::Path path(escape);
    EXPECT_FALSE(DeleteContentPath(local_, path));
    EXPECT_FALSE(PathExists(local_, path));
    EXPECT_FALSE(MakeDirectories(local_, File::Path(std::string(escape) + "-dir")));
    EXPECT_FALSE(RenameContentFile(local_, path, File::Path("stolen.txt")));
    EXPECT_FALSE(RenameContentFile(local_, File::Path("inside.txt"), path));
    EXPECT_FALSE(CopyContentFile(local_, path, local_, File::Path("copy.txt")));
    EXPECT_FALSE(CopyContentFile(local_, File::Path("inside.txt"), local_, path));
  }
  // A rooted path given with a location is refused too.
  EXPECT_FALSE(DeleteContentPath(local_, File::Path(At("UserData/sentinel.txt"))));
  // Names that lead back to the location folder itself delete nothing.
  EXPECT_FALSE(DeleteContentPath(local_, File::Path("a/..")));
  EXPECT_FALSE(DeleteContentPath(local_, File::Path(".")));
  EXPECT_FALSE(DeleteContentPath(PString("../UserData"), File::Path("sentinel.txt")));
  EXPECT_EQ(Get("UserData/sentinel.txt"), "keep");
  EXPECT_EQ(Get("UserData/local/inside.txt"), "in");
  EXPECT_FALSE(IsThere("UserData/local/copy.txt"));
  EXPECT_FALSE(IsThere("UserData/stolen.txt"));
}

TEST_F(ContentPathTest, DeleteOfRootedPathStaysInTheContentArea) {
  Put("bin/VandruUtil", "program");
  Put("UserData/local/a/b.txt", "b");
  Put("UserData/cache/libraries/kuid 1 2/x.gsl", "lib");
  EXPECT_FALSE(DeleteContentPath(none_, File::Path(At("bin/VandruUtil"))));
  EXPECT_FALSE(DeleteContentPath(none_, File::Path(At("UserData/local/../../bin/VandruUtil"))));
  EXPECT_FALSE(DeleteContentPath(none_, File::Path(At("UserData"))))
      << "the root of the area itself";
  EXPECT_FALSE(DeleteContentPath(none_, File::Path(At("UserData/local/.."))));
  EXPECT_FALSE(DeleteContentPath(none_, File::Path(At("libraries/"))));
  EXPECT_FALSE(DeleteContentPath(none_, File::Path()));
  EXPECT_EQ(Get("bin/VandruUtil"), "program");
  EXPECT_TRUE(IsDir("UserData/local"));

  EXPECT_TRUE(DeleteContentPath(none_, File::Path(At("UserData/local/a/b.txt"))));
  EXPECT_FALSE(IsThere("UserData/local/a/b.txt"));
  EXPECT_TRUE(DeleteContentPath(none_, File::Path(At("UserData/cache/libraries/kuid 1 2"))));
  EXPECT_FALSE(IsThere("UserData/cache/libraries/kuid 1 2"));
  EXPECT_FALSE(DeleteContentPath(local_, File::Path("not/there")));
}

TEST_F(ContentPathTest, CopyMovesEveryByteInPieces) {
  std::string data(100000, '\0');
  std::mt19937 random(7);
  for (char& c : data) c = char(random());
  Put("UserData/local/big.bin", data);
  Put("UserData/local/empty.bin", "");
  Put("UserData/editing/old.bin", "previous content that is longer");
  EXPECT_TRUE(
      CopyContentFile(local_, File::Path("big.bin"), PString("editing"), File::Path("big.bin")));
  EXPECT_EQ(Get("UserData/editing/big.bin"), data);
  EXPECT_TRUE(
      CopyContentFile(local_, File::Path("empty.bin"), PString("editing"), File::Path("old.bin")));
  EXPECT_EQ(Get("UserData/editing/old.bin"), "");
  EXPECT_FALSE(CopyContentFile(local_, File::Path("missing.bin"), local_, File::Path("m.bin")));
  EXPECT_FALSE(IsThere("UserData/local/m.bin"));
}

TEST_F(ContentPathTest, CopyOntoItselfIsRefusedAndKeepsTheFile) {
  Put("UserData/local/self.txt", "precious");
  EXPECT_FALSE(
      CopyContentFile(local_, File::Path("self.txt"), local_, File::Path("./x/../self.txt")));
  EXPECT_FALSE(CopyContentFile(local_, File::Path("self.txt"), none_,
                               File::Path(At("UserData/local/self.txt"))));
  EXPECT_EQ(Get("UserData/local/self.txt"), "precious");
}

TEST_F(ContentPathTest, CopyReportsAFailedWrite) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Put("UserData/local/some.bin", std::string(70000, 'z'));
  EXPECT_FALSE(CopyContentFile(local_, File::Path("some.bin"), none_, File::Path("/dev/full")));
}

TEST(ContentPathCopy, ShrunkenSourceEndsWithFailure) {
  TBuffer source;
  const std::string text(40000, 'q');
  source.Write(text.data(), uint32_t(text.size()));
  source.SeekTo(0);
  TBuffer destination;
  // The source holds fewer bytes than were measured: the copy stops and
  // says so instead of waiting for bytes that never come.
  EXPECT_FALSE(CopyStreamBytes(source, destination, 100000));
  EXPECT_LE(destination.Tell(), 40000u);

  TBuffer exact;
  exact.Write(text.data(), uint32_t(text.size()));
  exact.SeekTo(0);
  TBuffer copy;
  EXPECT_TRUE(CopyStreamBytes(exact, copy, uint32_t(text.size())));
  EXPECT_EQ(copy.Tell(), text.size());
  EXPECT_TRUE(CopyStreamBytes(exact, copy, 0));
}

TEST_F(ContentPathTest, TemporaryPathOfALocationLiesInUserData) {
  File::Path first, second;
  ASSERT_TRUE(CreateTemporaryFilePath(PString(), &first));
  ASSERT_TRUE(CreateTemporaryFilePath(local_, &second));
  EXPECT_NE(first.Str(), second.Str());
  EXPECT_EQ(fs::path(first.Str()).parent_path().string(), At("UserData"));
  EXPECT_EQ(fs::path(second.Str()).parent_path().string(), At("UserData"));
  EXPECT_TRUE(fs::is_regular_file(second.Str())) << "the name is reserved by creating the file";
  ResetFolderLayoutForTests();
  File::Path third;
  EXPECT_FALSE(CreateTemporaryFilePath(local_, &third));
}

}  // namespace
