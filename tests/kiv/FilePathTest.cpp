#include <gtest/gtest.h>

#include "kiv/File.h"

using Kiv::File;
using Kiv::String;
using Path = Kiv::File::Path;

namespace {

template <typename Op>
String Apply(const char* text, Op op) {
  Path path(text);
  op(path);
  return path.Str();
}

TEST(KivFilePath, NormalizeFoldsPairsAndKeepsCase) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"A/./B//c", "A/B/c"},
      {"a\\b\\..\\C", "a/C"},
      {"a/b/../../c/", "c/"},
      {"../../x/../y", "../../y"},
      {"a/../../b", "../b"},
      {"/../a/..", "/"},
      {"/x/../..//Y/", "/Y/"},
      {"./a/..", ""},
      {"", ""},
      {"a/b/..", "a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Apply(c.in, [](Path& p) { p.Normalize(); }), c.out) << c.in;
  }
}

TEST(KivFilePath, TrimmingNamesAndFolders) {
  EXPECT_EQ(Apply("a/b.txt", [](Path& p) { p.DelName(); }), "a/");
  EXPECT_EQ(Apply("b.txt", [](Path& p) { p.DelName(); }), "");
  EXPECT_EQ(Apply("/b.txt", [](Path& p) { p.DelName(); }), "/");
  EXPECT_EQ(Apply("a/b/", [](Path& p) { p.DelName(); }), "a/b/") << "a folder path has no name";
  EXPECT_EQ(Apply("a\\b.txt", [](Path& p) { p.DelName(); }), "a\\");

  EXPECT_EQ(Apply("a/b/", [](Path& p) { p.PrevDir(); }), "a/");
  EXPECT_EQ(Apply("a/b", [](Path& p) { p.PrevDir(); }), "a/");
  EXPECT_EQ(Apply("/r/bin/",
                  [](Path& p) {
                    p.PrevDir();
                    p.PrevDir();
                  }),
            "/");
  EXPECT_EQ(Apply("/", [](Path& p) { p.PrevDir(); }), "/");

  EXPECT_EQ(Apply("a/", [](Path& p) { p.DelSlash(); }), "a");
  EXPECT_EQ(Apply("a//", [](Path& p) { p.DelSlash(); }), "a/") << "one slash only";
  EXPECT_EQ(Apply("/", [](Path& p) { p.DelSlash(); }), "/");

  EXPECT_EQ(Apply("a", [](Path& p) { p.AddPath("b"); }), "a/b");
  EXPECT_EQ(Apply("a/", [](Path& p) { p.AddPath("/b/"); }), "a/b/");
  EXPECT_EQ(Apply("", [](Path& p) { p.AddPath("b"); }), "b");
  EXPECT_EQ(Apply("a", [](Path& p) { p.AddPath(""); }), "a");

  EXPECT_EQ(Apply("Mixed\\Case/Path", [](Path& p) { p.ReplaceForwardSlashes(); }),
            "Mixed/Case/Path");
  EXPECT_EQ(Apply("Mixed/CASE", [](Path& p) { p.ToLower(); }), "mixed/case");
}

TEST(KivFilePath, NamesAndExtensions) {
  EXPECT_EQ(Path("a/b.txt").Name(), "b.txt");
  EXPECT_EQ(Path("a/b/").Name(), "");
  EXPECT_EQ(Path("a.dir/file").Extension(), "") << "a dot in a folder is no extension";
  EXPECT_EQ(Path("x/b.lm.TXT").Extension(), "TXT");

  const Path mesh("x/b.lm.TXT");
  EXPECT_TRUE(mesh.IsExt("txt"));
  EXPECT_TRUE(mesh.IsExt(".Txt"));
  EXPECT_TRUE(mesh.IsExt("lm.txt"));
  EXPECT_FALSE(mesh.IsExt("m.txt")) << "the extension starts after a dot";
  EXPECT_FALSE(mesh.IsExt(""));
  EXPECT_FALSE(Path("txt").IsExt("txt"));
  EXPECT_FALSE(Path("a.cdp/x").IsExt("cdp"));
}

TEST(KivFilePath, MakeRelativeToComparesWholeComponents) {
  Path path("/root/user/data/x.txt");
  EXPECT_TRUE(path.MakeRelativeTo(Path("/root/user/")));
  EXPECT_EQ(path.Str(), "data/x.txt");

  Path same("/root/user");
  EXPECT_TRUE(same.MakeRelativeTo(Path("/root/user/")));
  EXPECT_EQ(same.Str(), "");

  Path sibling("/root/username/x");
  EXPECT_FALSE(sibling.MakeRelativeTo(Path("/root/user")));
  EXPECT_EQ(sibling.Str(), "/root/username/x");

  Path rooted("/a/b");
  EXPECT_TRUE(rooted.MakeRelativeTo(Path("/")));
  EXPECT_EQ(rooted.Str(), "a/b");

  Path any("a/b");
  EXPECT_FALSE(any.MakeRelativeTo(Path("")));
  EXPECT_FALSE(any.MakeRelativeTo(Path("/a")));
}

TEST(KivFilePath, ExtractFirstPathSplitsOffOneComponent) {
  Path path("local/assets//x.txt");
  EXPECT_EQ(path.ExtractFirstPath(), "local");
  EXPECT_EQ(path.Str(), "assets//x.txt");
  EXPECT_EQ(path.ExtractFirstPath(), "assets");
  EXPECT_EQ(path.ExtractFirstPath(), "x.txt");
  EXPECT_EQ(path.Str(), "");
  EXPECT_EQ(path.ExtractFirstPath(), "");

  Path windows("builtin\\x");
  EXPECT_EQ(windows.ExtractFirstPath(), "builtin");
  EXPECT_EQ(windows.Str(), "x");
}

TEST(KivFilePath, StaysInsideRefusesRootedAndClimbingNames) {
  for (const char* inside :
       {"", "a", "a/../b", "a/b/../../c", "./x", "a\\..\\b", "..a/b..", "C:/x"}) {
    EXPECT_TRUE(Path(inside).StaysInside()) << inside;
  }
  for (const char* outside :
       {"/a", "\\a", "..", "../a", "a/../../b", "a\\..\\..\\b", "./../a", "a//..//..//b"}) {
    EXPECT_FALSE(Path(outside).StaysInside()) << outside;
  }
}

}  // namespace
