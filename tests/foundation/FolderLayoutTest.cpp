#include "foundation/layout/FolderLayout.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iterator>

#include "tests/support/CapturedLog.h"
#include "tests/support/ImmutableFolder.h"
#include "tests/support/LayoutTestRoot.h"

namespace {

namespace fs = std::filesystem;
using Kiv::File;
using Kiv::PString;

class FolderLayoutTest : public LayoutTestRoot {};

TEST_F(FolderLayoutTest, EmptyInstallationGetsTheUserDataTree) {
  StartLayout();
  EXPECT_EQ(GetInstallPath().Str(), root_) << "the case of the root is kept";
  EXPECT_EQ(GetUserDataPath().Str(), At("UserData"));
  for (const char* folder :
       {"UserData/cache/bookmarks", "UserData/cache/sessions", "UserData/cache/water",
        "UserData/local", "UserData/original", "UserData/editing", "UserData/settings",
        "UserData/backups", "libraries"}) {
    EXPECT_TRUE(IsDir(folder)) << folder;
  }
  EXPECT_TRUE(fs::is_empty(At("UserData/cache/sessions")));
  // The write-access probe is gone again.
  for (const auto& entry : fs::directory_iterator(At("UserData")))
    EXPECT_TRUE(entry.is_directory()) << entry.path();
  EXPECT_EQ(RootOf("local"), At("UserData/local/"));

  ReleaseFolderLayout();
  EXPECT_EQ(RootOf("scripts"), "<none>");
  EXPECT_EQ(RootOf("libraries"), "<none>");
  SweepUnusedEntries();
  EXPECT_EQ(RootOf("local"), "<none>") << "released locations are swept";
}

// A test that lays out a root of its own after another test's reset gets
// the content locations of its own root, whatever ran before it.
TEST_F(FolderLayoutTest, ResetForTestsForgetsTheContentLocationsOfTheOldRoot) {
  StartLayout();
  ASSERT_EQ(RootOf("local"), At("UserData/local/"));
  ResetFolderLayoutForTests();
  EXPECT_EQ(RootOf("local"), "<none>");

  const std::string second = At("second");
  fs::create_directories(second + "/bin");
  ASSERT_TRUE(DetermineInstallPath(File::Path(second)));
  CreateUserDataFolders();
  EXPECT_EQ(RootOf("local"), second + "/UserData/local/");
}

TEST_F(FolderLayoutTest, RootIsNormalisedWithoutChangingCase) {
  ASSERT_TRUE(DetermineInstallPath(File::Path(root_ + "/bin/..//")));
  EXPECT_EQ(GetInstallPath().Str(), root_);
}

TEST_F(FolderLayoutTest, OldTrashBecomesBackupsUnlessBackupsExists) {
  Put("UserData/trash/old.txt", "t");
  StartLayout();
  EXPECT_FALSE(IsThere("UserData/trash"));
  EXPECT_EQ(Get("UserData/backups/old.txt"), "t");
}

TEST_F(FolderLayoutTest, TrashAndBackupsBothStay) {
  Put("UserData/trash/old.txt", "t");
  Put("UserData/backups/new.txt", "b");
  StartLayout();
  EXPECT_EQ(Get("UserData/trash/old.txt"), "t");
  EXPECT_EQ(Get("UserData/backups/new.txt"), "b");
}

TEST_F(FolderLayoutTest, LegacyFoldersBesideTheProgramMoveIntoUserData) {
  Put("local/asset/config.txt", "legacy");
  Put("screenshots/a.png", "png");
  StartLayout();
  EXPECT_FALSE(IsThere("local"));
  EXPECT_EQ(Get("UserData/local/asset/config.txt"), "legacy");
  EXPECT_EQ(Get("UserData/screenshots/a.png"), "png");
}

TEST_F(FolderLayoutTest, LegacyCopyNeverReplacesUserData) {
  Put("assets.tdx", "old index");
  Put("UserData/assets.tdx", "current index");
  fs::create_directories(At("editing"));
  fs::create_directories(At("UserData/editing"));
  StartLayout();
  EXPECT_EQ(Get("UserData/assets.tdx"), "current index");
  EXPECT_EQ(Get("assets.tdx"), "old index");
  EXPECT_TRUE(IsDir("editing"));
  EXPECT_FALSE(MoveToUserData(nullptr));
  EXPECT_FALSE(MoveToUserData(""));
  EXPECT_FALSE(MoveToUserData(".."));
  EXPECT_FALSE(MoveToUserData("bin/x"));
}

using FolderLayoutDeathTest = FolderLayoutTest;

TEST_F(FolderLayoutDeathTest, UserDataThatIsAFileOrADanglingLinkIsFatal) {
  Put("UserData", "not a folder");
  EXPECT_EXIT(DetermineInstallPath(File::Path(root_)), ::testing::ExitedWithCode(1),
              "Unable to acquire write access to UserData folder\\.");
  fs::remove(At("UserData"));
  fs::create_symlink(At("nowhere/at/all"), At("UserData"));
  EXPECT_EXIT(DetermineInstallPath(File::Path(root_)), ::testing::ExitedWithCode(1),
              "Unable to acquire write access to UserData folder\\.");
}

// The check begun beside the caller's work ends as DetermineInstallPath's
// does: the same message and status, here when it is finished (or at once
// when it could not be begun aside), and nothing left behind when it passed.
TEST_F(FolderLayoutDeathTest, UserDataCheckBegunAsideEndsAsTheDirectOne) {
  EXPECT_EXIT(BeginInstallPath(File::Path("")), ::testing::ExitedWithCode(1),
              "Unable to determine application installation path\\.");
  Put("UserData", "not a folder");
  EXPECT_EXIT(BeginInstallPath(File::Path(root_)), ::testing::ExitedWithCode(1),
              "Unable to acquire write access to UserData folder\\.");
  fs::remove(At("UserData"));
  fs::create_directories(At("UserData"));
  {
    ImmutableFolder locked(At("UserData"));
    if (locked.Made()) {
      EXPECT_EXIT(
          {
            BeginInstallPath(File::Path(root_));
            std::fputs("begun\n", stderr);
            FinishUserDataCheck();
          },
          ::testing::ExitedWithCode(1), "begun\n.*Unable to acquire write access to UserData");
    }
  }
  ASSERT_TRUE(BeginInstallPath(File::Path(root_)));
  EXPECT_EQ(GetUserDataPath().Str(), At("UserData"));
  FinishUserDataCheck();
  FinishUserDataCheck();  // nothing left to wait for
  EXPECT_TRUE(fs::is_empty(At("UserData"))) << "the probe file is removed";
}

TEST_F(FolderLayoutTest, BeginInstallPathMovesLegacyEntriesLikeTheDirectOne) {
  struct Case {
    bool userDataFirst;  // U exists before the start
    const char* legacy;  // a legacy entry of I, "" for none
  };
  const Case cases[] = {{false, ""}, {false, "original"}, {true, "settings"}, {true, ""}};
  for (const Case& c : cases) {
    fs::remove_all(At("UserData"));
    if (c.userDataFirst) fs::create_directories(At("UserData"));
    if (c.legacy[0] != '\0') Put(std::string(c.legacy) + "/kept.txt", "legacy");
    ASSERT_TRUE(BeginInstallPath(File::Path(root_)));
    FinishUserDataCheck();
    EXPECT_TRUE(IsDir("UserData")) << c.userDataFirst << c.legacy;
    if (c.legacy[0] != '\0') {
      EXPECT_EQ(Get(std::string("UserData/") + c.legacy + "/kept.txt"), "legacy") << c.legacy;
      EXPECT_FALSE(IsThere(c.legacy));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(At("UserData")), fs::directory_iterator()),
              c.legacy[0] != '\0' ? 1 : 0)
        << "only the moved entry; no probe file";
  }
}

// With U there, a legacy name that I holds only in another letter case is
// neither moved (moves take exact names) nor taken for a legacy entry; its
// failed move is logged, once per such name, and nothing else is.
TEST_F(FolderLayoutTest, BeginInstallPathLogsLegacyNamesInAnotherCaseOnly) {
  struct Case {
    const char* entry;  // an entry of I
    size_t logged;      // "unable to move" lines
  };
  const Case cases[] = {{"Trash", 1}, {"SCREENSHOTS", 1}, {"Assets.TDX", 1}, {"trashcan", 0},
                        {"Original", 0}};  // U holds "original": nothing to move
  for (const Case& c : cases) {
    fs::remove_all(At("UserData"));
    fs::create_directories(At("UserData/original"));
    Put(std::string(c.entry) + "/kept.txt", "legacy");
    VUTest::CapturedLog log;
    ASSERT_TRUE(BeginInstallPath(File::Path(root_)));
    FinishUserDataCheck();
    size_t logged = 0;
    for (const std::string& line : log.Lines())
      logged += line.find("unable to move") != std::string::npos ? 1 : 0;
    EXPECT_EQ(logged, c.logged) << c.entry;
    EXPECT_EQ(Get(std::string(c.entry) + "/kept.txt"), "legacy") << c.entry;
    fs::remove_all(At(c.entry));
  }
}

// A content location is its ".ja" archive when a file of that name lies
// beside its folder, in U or (for "data") in I, in any letter case; a
// folder of that name, or a name that only begins like it, is no archive.
TEST_F(FolderLayoutTest, ArchiveBesideALocationIsFoundInAnyCase) {
  struct Case {
    const char* entry;     // made below the root ("/" at the end: a folder)
    const char* location;  // the location it could be the archive of
    const char* root;      // the location's root afterwards, below the test root
  };
  const Case cases[] = {
      {"UserData/local.ja", "local", "UserData/local.ja"},
      {"UserData/LOCAL.JA", "local", "UserData/local.ja"},
      {"Data.ja", "data", "Data.ja"},
      {"DATA.JA", "data", "Data.ja"},
      {"UserData/local.jar", "local", "UserData/local/"},
      {"UserData/settings.ja/", "settings", "UserData/settings/"},
      {"UserData/Data.ja", "data", "Data/"},  // beside the wrong folder
  };
  for (const Case& c : cases) {
    const std::string entry = c.entry;
    if (entry.back() == '/')
      fs::create_directories(At(entry));
    else
      Put(entry, "packed");
    StartLayout();
    EXPECT_EQ(RootOf(c.location), At(c.root)) << c.entry;
    ResetFolderLayoutForTests();
    fs::remove_all(At(entry));
  }
}

TEST_F(FolderLayoutDeathTest, EmptyInstallPathIsFatal) {
  EXPECT_EXIT(DetermineInstallPath(File::Path("")), ::testing::ExitedWithCode(1),
              "Unable to determine application installation path\\.");
}

TEST_F(FolderLayoutTest, ContentFolderOfEachLocation) {
  EXPECT_TRUE(GetContentFolderPath(PString("base")).Empty()) << "no root yet";
  StartLayout();
  EXPECT_EQ(GetContentFolderPath(PString("base")).Str(), At("base"));
  EXPECT_EQ(GetContentFolderPath(PString("editing")).Str(), At("UserData/editing"));
  EXPECT_EQ(GetContentFolderPath(PString("data")).Str(), At("Data"));
  EXPECT_EQ(GetContentFolderPath(PString("builtin/pack")).Str(), At("builtin/pack"));
  EXPECT_TRUE(GetContentFolderPath(PString("../etc")).Empty());
  EXPECT_TRUE(GetContentFolderPath(PString("/etc")).Empty());
  EXPECT_TRUE(GetContentFolderPath(PString()).Empty());
}

TEST(FolderLayoutPaths, IsPathUnderNeedsASeparatorAfterTheBase) {
  File::Path relative("stale");
  EXPECT_FALSE(
      IsPathUnder(File::Path("/i/UserData/local"), File::Path("/i/UserData/localx/a"), &relative));
  EXPECT_TRUE(relative.Empty());
  EXPECT_TRUE(IsPathUnder(File::Path("/i/UserData/local/"), File::Path("/i\\UserData\\local\\a\\b"),
                          &relative));
  EXPECT_EQ(relative.Str(), "a/b");
  EXPECT_TRUE(IsPathUnder(File::Path("/i/UserData"), File::Path("/i/UserData/"), &relative));
  EXPECT_TRUE(relative.Empty());
  EXPECT_FALSE(IsPathUnder(File::Path("/i/UserData"), File::Path("/i/userdata/x"), &relative))
      << "case counts";
  EXPECT_FALSE(IsPathUnder(File::Path("/i/UserData"), File::Path("/i/UserData/../bin"), &relative));
  EXPECT_FALSE(IsPathUnder(File::Path(""), File::Path("/i"), &relative));
  EXPECT_FALSE(IsPathUnder(File::Path("/i"), File::Path(""), nullptr));
}

TEST_F(FolderLayoutTest, ResolveContentPathSplitsLocationAndRest) {
  PString location;
  File::Path relative("stale");
  EXPECT_FALSE(ResolveContentPath(File::Path(At("UserData/local/a")), &location, &relative))
      << "no root yet";
  EXPECT_TRUE(relative.Empty());
  StartLayout();

  const struct {
    const char* path;
    const char* location;
    const char* rest;
  } cases[] = {
      {"UserData/local/a/b", "local", "a/b"},
      {"builtin/Pack/x.txt", "builtin/Pack", "x.txt"},
      {"Data/InterfaceText.txt", "data", "InterfaceText.txt"},
      {"base/k/config.txt", "base", "k/config.txt"},
  };
  for (const auto& c : cases) {
    location.Release();
    ASSERT_TRUE(ResolveContentPath(File::Path(At(c.path)), &location, &relative)) << c.path;
    EXPECT_EQ(location.Str(), c.location);
    EXPECT_EQ(relative.Str(), c.rest);
  }
  location.Release();
  EXPECT_FALSE(ResolveContentPath(File::Path(At("bin/x")), &location, &relative));
  EXPECT_FALSE(ResolveContentPath(File::Path(At("UserData")), &location, &relative));

  location = PString("editing");
  EXPECT_TRUE(ResolveContentPath(File::Path("/anything"), &location, &relative))
      << "a set location is kept";
  EXPECT_EQ(location.Str(), "editing");
}

TEST_F(FolderLayoutTest, ContentAreaIsNotFooledByDotDot) {
  EXPECT_FALSE(IsInContentArea(File::Path(At("UserData/local/a")))) << "no root yet";
  StartLayout();
  EXPECT_TRUE(IsInContentArea(File::Path(At("UserData/local/a"))));
  EXPECT_TRUE(IsInContentArea(File::Path(At("libraries/lib.gsl"))));
  EXPECT_FALSE(IsInContentArea(File::Path(At("UserData/../bin/VandruUtil"))));
  EXPECT_FALSE(IsInContentArea(File::Path(At("UserData/local/../../../etc"))));
  EXPECT_FALSE(IsInContentArea(File::Path(At("UserDataX/a"))));
  EXPECT_FALSE(IsInContentArea(File::Path("UserData/local/a")));
}

TEST_F(FolderLayoutTest, ScriptCacheFolderIsNamedAfterTheKuid) {
  EXPECT_TRUE(GetScriptCacheFolder(KUID{1, 2, 0}).Empty());
  StartLayout();
  fs::remove_all(At("UserData/cache/libraries"));
  EXPECT_EQ(GetScriptCacheFolder(KUID{1, 2, 0}).Str(), At("UserData/cache/libraries/kuid 1 2"));
  EXPECT_TRUE(IsDir("UserData/cache/libraries")) << "the cache folder is created when missing";
  EXPECT_EQ(GetScriptCacheFolder(KUID{1, 2, 3}).Str(), At("UserData/cache/libraries/kuid2 1 2 3"));
}

TEST(FolderLayoutModule, ModulePathIsTheRealProgramPath) {
  File::Path path;
  ASSERT_TRUE(GetModulePath(&path));
  EXPECT_EQ(path.Str(), fs::read_symlink("/proc/self/exe").string());
  EXPECT_FALSE(GetModulePath(nullptr));
}

}  // namespace
