#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "kiv/File.h"
#include "tests/support/FileTestDir.h"

using Kiv::File;
using Kiv::PString;
using Kiv::String;

namespace {

class KivFile : public FileTestDir {
 protected:
  // Reads up to 64 bytes of an open file from where it stands.
  static std::string ReadRest(File& file) {
    char buffer[64];
    const uint32_t n = file.Read(buffer, sizeof buffer);
    return std::string(buffer, n);
  }
};

TEST_F(KivFile, OpenModesCreateEmptyOrKeepContent) {
  File file;
  EXPECT_FALSE(file.Open(At("missing.bin"), 0x10));
  EXPECT_FALSE(file.Open(At("missing.bin"), 0x11)) << "0x11 must not create";
  EXPECT_FALSE(file.IsValid());

  ASSERT_TRUE(file.Open(At("a.bin"), 0x101));
  EXPECT_EQ(file.Write("hello world", 11), 11u);
  file.Close();
  EXPECT_EQ(Get("a.bin"), "hello world");

  ASSERT_TRUE(file.Open(At("a.bin"), 0x11));
  EXPECT_EQ(file.Write("J", 1), 1u);
  EXPECT_EQ(file.Seek(0, 0), 0);
  EXPECT_EQ(ReadRest(file), "Jello world");
  file.Close();

  ASSERT_TRUE(file.Open(At("a.bin"), 0x301));
  EXPECT_EQ(file.Size(), 0) << "create mode empties an existing file";
  file.Close();
  EXPECT_EQ(Get("a.bin"), "");

  Put("b.bin", "old");
  ASSERT_TRUE(file.Open(At("b.bin"), 0x121));
  EXPECT_EQ(file.Write("new", 3), 3u);
  EXPECT_EQ(file.Seek(0, 0), 0);
  EXPECT_EQ(ReadRest(file), "new");
  EXPECT_TRUE(file.Sync());

  ASSERT_TRUE(file.Open(At("b.bin"), 0x20));
  EXPECT_EQ(file.Write("z", 1), 0u) << "a file opened for reading refuses writes";
  EXPECT_EQ(ReadRest(file), "new");
}

TEST_F(KivFile, OpenRefusesModesWithoutAccessAndFolders) {
  Put("a.bin", "x");
  File file;
  EXPECT_FALSE(file.Open(At("a.bin"), 0));
  EXPECT_FALSE(file.Open(At("a.bin"), 0x200));
  EXPECT_FALSE(file.Open(dir_, 0x10));
  EXPECT_FALSE(file.Open(dir_, 0x101));
  EXPECT_FALSE(file.Open("", 0x10));
  EXPECT_EQ(Get("a.bin"), "x");
}

TEST_F(KivFile, RegularOnlyRefusesPipesAndDevicesWithoutWaiting) {
  ASSERT_EQ(mkfifo(At("pipe").c_str(), 0600), 0);
  Put("a.bin", "abc");
  const struct {
    String path;
    uint32_t mode;
  } refused[] = {{At("pipe"), 0x10}, {At("pipe"), 0x301}, {At("pipe"), 0x11}, {"/dev/null", 0x20}};
  File file;
  for (const auto& c : refused)
    EXPECT_FALSE(file.Open(c.path, c.mode | File::kRegularOnly)) << c.path << " " << c.mode;
  ASSERT_TRUE(file.Open(At("a.bin"), 0x10 | File::kRegularOnly));
  EXPECT_EQ(ReadRest(file), "abc");
}

// A name another user could plant beside a save (its temporary name, say)
// never leads the write elsewhere, nor makes it wait on a pipe.
TEST_F(KivFile, CreatingNeverFollowsALinkAtItsNameNorWaitsOnAPipe) {
  Put("victim.txt", "precious");
  ASSERT_EQ(symlink(At("victim.txt").c_str(), At("save.tmp").c_str()), 0);
  ASSERT_EQ(mkfifo(At("pipe.tmp").c_str(), 0600), 0);
  File file;
  EXPECT_FALSE(file.Open(At("save.tmp"), File::kCreate | 1));
  EXPECT_FALSE(file.Open(At("pipe.tmp"), File::kCreate | 1));
  EXPECT_EQ(Get("victim.txt"), "precious");
  // A link to a folder on the way is still followed: only the name itself
  // is never a link.
  ASSERT_EQ(symlink(dir_.c_str(), At("here").c_str()), 0);
  ASSERT_TRUE(file.Open(At("here/new.txt"), File::kCreate | 1));
  file.Close();
  EXPECT_EQ(Get("new.txt"), "");
}

TEST_F(KivFile, ReadsAreShortAtTheEndAndEofFollowsPosition) {
  Put("a.bin", "0123456789");
  File file;
  ASSERT_TRUE(file.Open(At("a.bin"), 0x10));
  EXPECT_EQ(file.Size(), 10);
  char buffer[8] = {};
  EXPECT_EQ(file.Read(buffer, 2, 2), 4u);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(file.Tell(), 4);
  EXPECT_FALSE(file.Eof());

  EXPECT_EQ(file.Seek(-2, 2), 8);
  EXPECT_EQ(file.Read(buffer, 4), 2u);
  EXPECT_EQ(std::string(buffer, 2), "89");
  EXPECT_TRUE(file.Eof());
  EXPECT_EQ(file.Read(buffer, 4), 0u);

  EXPECT_EQ(file.Seek(-3, 1), 7);
  EXPECT_FALSE(file.Eof());
  EXPECT_EQ(file.Seek(100, 0), 100) << "seeking past the end is allowed";
  EXPECT_TRUE(file.Eof());
  EXPECT_EQ(file.Read(buffer, 1), 0u);

  EXPECT_EQ(file.Seek(-1, 0), -1);
  EXPECT_EQ(file.Seek(0, 7), -1);
  EXPECT_EQ(file.Tell(), 100) << "a failed seek leaves the position";
}

TEST_F(KivFile, PositionFollowsWritesMovesAndReopening) {
  File file;
  ASSERT_TRUE(file.Open(At("a.bin"), 0x121));
  EXPECT_EQ(file.Write("hello world", 11), 11u);
  EXPECT_EQ(file.Tell(), 11);
  EXPECT_EQ(file.Seek(-5, 1), 6);
  EXPECT_EQ(ReadRest(file), "world");
  EXPECT_EQ(file.Seek(0, 1), 11);
  EXPECT_TRUE(file.Eof());
  EXPECT_EQ(file.Seek(20, 0), 20);
  EXPECT_EQ(file.Write("!", 1), 1u);
  EXPECT_EQ(file.Tell(), 21);
  EXPECT_EQ(file.Size(), 21);
  EXPECT_EQ(file.Seek(-21, 1), 0);
  EXPECT_EQ(file.Read(nullptr, 1), 0u);
  EXPECT_EQ(file.Tell(), 0) << "a refused read moves nothing";

  // Opening again starts over, whatever the last file's position was.
  ASSERT_TRUE(file.Open(At("a.bin"), 0x10 | File::kRegularOnly));
  EXPECT_EQ(file.Tell(), 0);
  EXPECT_EQ(file.Seek(0, 1), 0);
  EXPECT_EQ(ReadRest(file).substr(0, 5), "hello");
  EXPECT_EQ(file.Tell(), 21);
  file.Close();
  EXPECT_EQ(file.Tell(), -1);
}

TEST_F(KivFile, SizeAtOpenIsTheSizeTheOpenSaw) {
  Put("a.bin", "abc");
  File file;
  EXPECT_EQ(file.SizeAtOpen(), -1);
  ASSERT_TRUE(file.Open(At("a.bin"), 0x10 | File::kRegularOnly));
  EXPECT_EQ(file.SizeAtOpen(), 3);
  File writer;
  ASSERT_TRUE(writer.Open(At("a.bin"), 0x11 | File::kRegularOnly));
  ASSERT_EQ(writer.Seek(0, 2), 3);
  EXPECT_EQ(writer.Write("defg", 4), 4u);
  EXPECT_EQ(file.SizeAtOpen(), 3) << "kept from the open";
  EXPECT_EQ(file.Size(), 7) << "asked again";
  EXPECT_EQ(ReadRest(file), "abcdefg") << "a regular-only file reads to its end";
  file.Close();
  EXPECT_EQ(file.SizeAtOpen(), -1);
}

TEST_F(KivFile, PipeHasNoPosition) {
  ASSERT_EQ(mkfifo(At("pipe").c_str(), 0600), 0);
  File file;
  // Read and write: opening the pipe does not wait for another end.
  ASSERT_TRUE(file.Open(At("pipe"), 0x11));
  EXPECT_EQ(file.Write("ab", 2), 2u);
  EXPECT_EQ(file.Tell(), -1);
  EXPECT_EQ(file.Seek(0, 1), -1);
  char buffer[2] = {};
  EXPECT_EQ(file.Read(buffer, 2), 2u);
  EXPECT_EQ(file.Tell(), -1);
}

TEST_F(KivFile, OversizedOrUnopenedTransfersMoveNothing) {
  Put("a.bin", "abc");
  File file;
  char byte = 0;
  EXPECT_EQ(file.Read(&byte, 1), 0u);
  EXPECT_EQ(file.Write(&byte, 1), 0u);
  EXPECT_EQ(file.Seek(0, 0), -1);
  EXPECT_EQ(file.Size(), -1);
  EXPECT_TRUE(file.Eof());
  EXPECT_FALSE(file.Sync());

  ASSERT_TRUE(file.Open(At("a.bin"), 0x10));
  // 2^16 * 2^16 overflows 32 bits: refused rather than wrapped to 0 or read
  // into a one-byte area.
  EXPECT_EQ(file.Read(&byte, 0x10000, 0x10000), 0u);
  EXPECT_EQ(file.Tell(), 0);
}

TEST_F(KivFile, ReadingFallsBackToAnyCaseButExactCaseWins) {
  Put("data/foo.txt", "lower");
  File file;
  ASSERT_TRUE(file.Open(At("Data/Foo.TXT"), 0x10));
  EXPECT_EQ(file.GetPath(), At("data/foo.txt"));
  EXPECT_EQ(ReadRest(file), "lower");
  EXPECT_TRUE(File::Exists(At("Data/Foo.TXT")));
  EXPECT_TRUE(File::IsDirectory(At("DATA")));
  EXPECT_EQ(File::FileSize(At("DATA/FOO.TXT")), 5);
  EXPECT_FALSE(File::Exists(At("Data/Bar.TXT")));

  Put("Data/Foo.TXT", "upper");
  ASSERT_TRUE(file.Open(At("Data/Foo.TXT"), 0x10));
  EXPECT_EQ(ReadRest(file), "upper");
  ASSERT_TRUE(file.Open(At("data/FOO.txt"), 0x10));
  EXPECT_EQ(ReadRest(file), "lower");
}

TEST_F(KivFile, CreatingKeepsTheNameButFindsTheFolderInAnyCase) {
  Put("data/foo.txt", "keep");
  File file;
  ASSERT_TRUE(file.Open(At("DATA/FOO.TXT"), 0x101));
  EXPECT_EQ(file.GetPath(), At("data/FOO.TXT"));
  file.Close();
  EXPECT_EQ(Get("data/foo.txt"), "keep");
  EXPECT_FALSE(std::filesystem::exists(At("DATA")));
  EXPECT_FALSE(file.Open(At("nofolder/x.txt"), 0x101));
}

TEST_F(KivFile, FolderOperations) {
  EXPECT_TRUE(File::Md(At("a/b/c")));
  EXPECT_TRUE(File::IsDirectory(At("a/b/c")));
  EXPECT_TRUE(File::Md(At("a/b/c/")));
  Put("file", "x");
  EXPECT_FALSE(File::Md(At("file")));
  EXPECT_FALSE(File::Md(At("file/sub")));
  EXPECT_FALSE(File::Md(""));

  EXPECT_TRUE(File::Rename(At("file"), At("a/moved")));
  EXPECT_EQ(Get("a/moved"), "x");
  EXPECT_FALSE(File::Rename(At("file"), At("again")));
  EXPECT_EQ(File::FileSize(At("a")), -1) << "a folder has no file size";

  EXPECT_FALSE(File::Unlink(At("a/b"))) << "Unlink removes files only";
  EXPECT_TRUE(File::Unlink(At("a/moved")));
  EXPECT_FALSE(File::Exists(At("a/moved")));
  EXPECT_FALSE(File::Unlink(At("a/moved")));
}

TEST_F(KivFile, PruneRemovesTreeWithoutFollowingLinks) {
  Put("outside/precious.txt", "keep");
  Put("tree/a/b/deep.txt", "x");
  Put("tree/top.txt", "y");
  ASSERT_EQ(::symlink(At("outside").c_str(), At("tree/a/link").c_str()), 0);
  ASSERT_EQ(::symlink(At("outside").c_str(), At("alias").c_str()), 0);

  EXPECT_FALSE(File::Prune(At("alias"))) << "a link to a folder is not a folder";
  EXPECT_FALSE(File::Prune(At("alias/")));
  EXPECT_FALSE(File::Prune(At("tree/top.txt")));
  EXPECT_FALSE(File::Prune(At("none")));
  EXPECT_EQ(Get("outside/precious.txt"), "keep");

  EXPECT_TRUE(File::Prune(At("tree/")));
  EXPECT_FALSE(std::filesystem::exists(At("tree")));
  EXPECT_EQ(Get("outside/precious.txt"), "keep");
}

TEST_F(KivFile, RootedNamesStayInsideTheirRoot) {
  const PString root("kivfile-test-root");
  File::Subst(root, At("content/"));
  Put("content/sub/f.txt", "in");
  Put("secret.txt", "out");

  String path;
  ASSERT_TRUE(File::ResolveRooted(root, "sub\\.\\f.txt", &path));
  EXPECT_EQ(path, At("content/sub/f.txt"));
  File file;
  ASSERT_TRUE(file.Open(root, "sub\\f.txt", 0x10));
  EXPECT_EQ(ReadRest(file), "in");
  EXPECT_TRUE(File::Exists(root, "Sub/F.txt"));
  EXPECT_TRUE(File::Exists(root, "sub/x/../f.txt"));

  for (const char* escape : {"../secret.txt", "sub/../../secret.txt", "..\\secret.txt",
                             "/etc/passwd", "\\etc\\passwd"}) {
    EXPECT_FALSE(File::ResolveRooted(root, escape, &path)) << escape;
    EXPECT_FALSE(file.Open(root, escape, 0x10)) << escape;
    EXPECT_FALSE(File::Exists(root, escape)) << escape;
  }
  EXPECT_FALSE(file.Open(root, "../made.txt", 0x101));
  EXPECT_FALSE(std::filesystem::exists(At("made.txt")));

  const PString unknown("kivfile-unknown-root");
  EXPECT_FALSE(File::ResolveRooted(unknown, "sub/f.txt", &path));
  EXPECT_FALSE(file.Open(unknown, "sub/f.txt", 0x10));

  File::Subst(root, "");
  EXPECT_FALSE(File::LookupRoot(root, &path));
  EXPECT_FALSE(File::Exists(root, "sub/f.txt"));
  EXPECT_TRUE(File::Exists(PString(), At("content/sub/f.txt"))) << "no root: plain path";
}

TEST_F(KivFile, WorkingFolderRoundTrips) {
  const String before = File::GetCwd();
  ASSERT_FALSE(before.empty());
  ASSERT_TRUE(File::SetCwd(dir_));
  Put("here.txt", "x");
  EXPECT_TRUE(File::Exists("here.txt"));
  EXPECT_TRUE(File::SetCwd(before));
  EXPECT_FALSE(File::SetCwd(At("none")));
  EXPECT_EQ(File::GetCwd(), before);
}

}  // namespace
