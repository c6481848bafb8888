#include <unistd.h>

#include <chrono>
#include <vector>

#include "kiv/File.h"
#include "tests/support/FileTestDir.h"

using Kiv::File;
using Kiv::String;
using Find = Kiv::File::Find;

namespace {

class KivFileFind : public FileTestDir {
 protected:
  std::vector<String> List(const String& folder, const String& pattern) {
    std::vector<String> names;
    Find find;
    for (bool more = find.First(folder, pattern); more; more = find.Next()) {
      names.push_back(find.Name());
    }
    return names;
  }
};

TEST(KivFileFindMatch, WildcardsIgnoreLetterCase) {
  EXPECT_TRUE(Find::Match("*", ""));
  EXPECT_TRUE(Find::Match("*.GSL", "lib.gsl"));
  EXPECT_FALSE(Find::Match("*.gsl", "lib.gsl.bak"));
  EXPECT_TRUE(Find::Match("a?c", "ABC"));
  EXPECT_FALSE(Find::Match("a?c", "ac"));
  EXPECT_FALSE(Find::Match("a?c", "abcd"));
  EXPECT_TRUE(Find::Match("*a*b", "xxaxxab"));
  EXPECT_FALSE(Find::Match("*a*b", "xxaxxa"));
  EXPECT_TRUE(Find::Match("*.*", "noext")) << "\"*.*\" lists every name";
  EXPECT_FALSE(Find::Match("*x.*", "noext"));
  EXPECT_FALSE(Find::Match("", "a"));
  EXPECT_FALSE(Find::Match("\xC3\x84", "\xC3\xA4")) << "only ASCII letters fold";
}

TEST(KivFileFindMatch, ManyStarsStayFast) {
  const String name(4000, 'a');
  const String pattern = "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Find::Match(pattern, name));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(KivFileFind, ListsSortedMatchesWithoutDotEntries) {
  Put("b.gsl", "12345");
  Put("A.GSL", "1");
  Put("c.txt", "");
  Put("sub.gsl/inner", "");
  EXPECT_EQ(List(dir_, "*"), (std::vector<String>{"A.GSL", "b.gsl", "c.txt", "sub.gsl"}));
  EXPECT_EQ(List(dir_, "*.gsl"), (std::vector<String>{"A.GSL", "b.gsl", "sub.gsl"}));
  EXPECT_EQ(List(dir_, "?.*"), (std::vector<String>{"A.GSL", "b.gsl", "c.txt"}));
  EXPECT_TRUE(List(dir_, "*.none").empty());

  Find find;
  ASSERT_TRUE(find.First(dir_, "B*"));
  EXPECT_EQ(find.FullPath(), At("b.gsl"));
  EXPECT_EQ(find.Size(), 5u);
  EXPECT_FALSE(find.IsDirectory());
  EXPECT_FALSE(find.Next());
  EXPECT_EQ(find.Name(), "");
  EXPECT_FALSE(find.Next());

  ASSERT_TRUE(find.First(dir_, "sub*"));
  EXPECT_TRUE(find.IsDirectory());
  EXPECT_EQ(find.Size(), 0u);
}

TEST_F(KivFileFind, FolderIsFoundInAnyCaseAndMissingFolderFails) {
  Put("Data/x.txt", "");
  EXPECT_EQ(List(At("data"), "*"), (std::vector<String>{"x.txt"}));
  Find find;
  EXPECT_FALSE(find.First(At("none"), "*"));
  EXPECT_EQ(find.Name(), "");
  EXPECT_FALSE(find.First(At("Data/x.txt"), "*")) << "a file is not a folder";
}

TEST_F(KivFileFind, LinksAreDescribedByTarget) {
  Put("real/x", "");
  ASSERT_EQ(::symlink(At("real").c_str(), At("link").c_str()), 0);
  ASSERT_EQ(::symlink(At("gone").c_str(), At("dangling").c_str()), 0);
  Find find;
  ASSERT_TRUE(find.First(dir_, "link"));
  EXPECT_TRUE(find.IsDirectory());
  ASSERT_TRUE(find.First(dir_, "dangling"));
  EXPECT_FALSE(find.IsDirectory());
}

TEST_F(KivFileFind, ResolveCasePrefersExactComponents) {
  Put("Data/Foo.txt", "");
  Put("data/foo.txt", "");
  Put("data/Only.txt", "");
  EXPECT_EQ(Find::ResolveCase(At("Data/Foo.txt")), At("Data/Foo.txt"));
  EXPECT_EQ(Find::ResolveCase(At("data/FOO.TXT")), At("data/foo.txt"));
  EXPECT_EQ(Find::ResolveCase(At("DATA/only.TXT")), At("data/Only.txt"))
      << "when no exact folder exists the byte-wise first match is taken and searched";
  EXPECT_EQ(Find::ResolveCase(At("DATA//foo.txt/")), "") << "a file with a trailing slash";
  EXPECT_EQ(Find::ResolveCase(At("DATA/")), At("Data/"));
  EXPECT_EQ(Find::ResolveCase(At("data/missing.txt")), "");
  EXPECT_EQ(Find::ResolveCase(""), "");
}

}  // namespace
