// The store keeps every asset whatever happens to its index and to the
// names it makes, end to end through the installed tool. Each row starts
// from a fresh root of its own holding three installed assets, one of them
// open for edit with a new file in its edit copy, and a folder outside the
// store with files of its own; the row lets something happen to the store
// and runs the command a user runs next. Then the user sees every asset
// still installed, the edit copy still open with its new file (or that
// file committed, as the row says), and nothing outside the store changed.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/CommandHostProcesses.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/SanitizerScale.h"
#include "tests/support/WaitUntil.h"

namespace {

namespace fs = std::filesystem;

const char* const kAssets[] = {"<kuid:0:8101>", "<kuid:0:8102>", "<kuid:0:8103>"};
const char kEdited[] = "<kuid:0:8102>";
const char kNewFile[] = "added.txt";
const char kNewText[] = "written in the edit copy\n";

// A fresh root and what the row works with.
struct Scene {
  std::string root;
  std::string edit;     // the edit folder of kEdited, as "edit" named it
  std::string outside;  // a folder outside the store, with files of its own
  ToolResult answer;    // the result of the row's command, once it ran

  std::string Tool() const { return root + "/bin/VandruUtil"; }
  std::string UserData() const { return root + "/UserData"; }
  ToolResult Run(const std::vector<std::string>& args) const {
    return ToolFixture::RunProgram(Tool(), args, root + "/bin");
  }
};

enum class Edit {
  kOpen,       // the asset is still open for edit, the new file in its edit copy
  kCommitted,  // the new file was committed (installed)
  kReplaced,   // an install replaced the edit copy, which is kept where the answer says
};

struct StoreCase {
  const char* name;
  // What happens to the store, then the command the user runs; answers
  // that command's result.
  ToolResult (*act)(Scene&);
  // A text that the command's output (standard output or error) holds; ""
  // for none.
  const char* says;
  // What became of the edit copy and its new file.
  Edit edit;
  // Checks of the row's own, or nullptr.
  void (*alsoCheck)(const Scene&);
};

// Every file below `folder` with its bytes, by path relative to it.
std::map<std::string, std::string> Contents(const std::string& folder) {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file())
      files[fs::relative(it->path(), folder).string()] = ToolFixture::ReadFile(it->path());
  }
  return files;
}

// The folder that "edit" names on its "+ <kuid> : <folder>" line.
std::string EditFolderOf(const ToolResult& r) {
  const size_t at = r.out.find(" : ");
  if (at == std::string::npos) return std::string();
  return r.out.substr(at + 3, r.out.find('\n', at) - at - 3);
}

// --- What happens to the store in each row.

ToolResult NothingHappens(Scene& scene) {
  return scene.Run({"status", kEdited});
}

// --- Names the store makes itself: the folder a commit takes the edit copy
// into, and the folders of an edit copy whatever their modes.

std::string TakeName(const Scene& scene) {
  return scene.UserData() + "/editing/.vadtmp-take-" + fs::path(scene.edit).filename().string();
}

ToolResult CommitPastALinkAtTheTakeName(Scene& scene) {
  fs::create_directory_symlink(scene.outside, TakeName(scene));
  return scene.Run({"commit", kEdited});
}

ToolResult CommitPastAFileAtTheTakeName(Scene& scene) {
  ToolFixture::WriteFile(TakeName(scene), "not a folder\n");
  return scene.Run({"commit", kEdited});
}

// A take cut short left an earlier save of the new file, saved again since.
ToolResult CommitPastAnEarlierTakeOfTheSameFile(Scene& scene) {
  fs::create_directory(TakeName(scene));
  ToolFixture::WriteFile(TakeName(scene) + "/" + kNewFile, "an earlier save\n");
  return scene.Run({"commit", kEdited});
}

void EarlierSaveKeptBeside(const Scene& scene) {
  EXPECT_EQ(ToolFixture::ReadFile(scene.edit + "/" + kNewFile + ".~1~"), "an earlier save\n");
}

// Hands the root to another user (0 gives it back to root).
void GiveRootTo(const Scene& scene, uid_t user) {
  ::lchown(scene.root.c_str(), user, user);
  // The programs stay root's: they may be links to the built ones.
  for (const auto& entry : fs::recursive_directory_iterator(scene.root))
    if (entry.path().parent_path() != scene.root + "/bin" || !entry.is_regular_file())
      ::lchown(entry.path().c_str(), user, user);
}

constexpr uid_t kOtherUser = 65534;

// A daemon that does not run as root commits a sub-folder the user made
// read-only. As root, the row hands the root to another user, whose tool
// (and so its daemon) runs without root's rights, then gives it back.
ToolResult CommitAReadOnlySubFolderAsAnotherUser(Scene& scene) {
  fs::create_directory(scene.edit + "/sub");
  ToolFixture::WriteFile(scene.edit + "/sub/a.txt", "in a read-only folder\n");
  ::chmod((scene.edit + "/sub").c_str(), 0555);
  if (::geteuid() != 0) return scene.Run({"commit", kEdited});
  if (!fs::exists("/usr/bin/setpriv"))
    ADD_FAILURE() << "running the tool as another user needs /usr/bin/setpriv (util-linux)";
  ToolFixture::StopDaemonOf(scene.root);
  GiveRootTo(scene, kOtherUser);
  const std::string user = std::to_string(kOtherUser);
  auto asUser = [&](std::vector<std::string> args) {
    args.insert(args.begin(),
                {"--reuid=" + user, "--regid=" + user, "--clear-groups", "--", scene.Tool()});
    return ToolFixture::RunProgram("/usr/bin/setpriv", args, scene.root + "/bin");
  };
  const ToolResult committed = asUser({"commit", kEdited});
  asUser({"closevaddaemon"});
  GiveRootTo(scene, 0);
  return committed;
}

void ReadOnlyFolderInstalledAndNothingLeft(const Scene& scene) {
  const std::string installed = scene.UserData() + "/local/kuid 0 8102";
  const std::string folder = fs::exists(installed) ? installed : installed + "~";
  EXPECT_EQ(ToolFixture::ReadFile(folder + "/sub/a.txt"), "in a read-only folder\n");
  EXPECT_TRUE(fs::is_empty(scene.UserData() + "/editing")) << "the taken folder was left";
}

// --- An index that is missing or damaged: the next daemon makes it again
// from the folders.

ToolResult IndexRemovedWithNoDaemon(Scene& scene) {
  EXPECT_TRUE(ToolFixture::StopDaemonOf(scene.root));
  EXPECT_TRUE(fs::remove(scene.UserData() + "/assets.tdx"));
  return scene.Run({"status", kEdited});
}

ToolResult IndexRemovedUnderTheDaemon(Scene& scene) {
  const pid_t daemon = ToolFixture::DaemonOwnerPidOf(scene.root);
  EXPECT_NE(daemon, 0);
  EXPECT_TRUE(fs::remove(scene.UserData() + "/assets.tdx"));
  // That daemon ends at once; the next command starts one of its own.
  EXPECT_TRUE(VUTest::WaitUntil([daemon] { return VUTest::Ended(daemon); }, 20000));
  return scene.Run({"status", kEdited});
}

const char kNotADatabase[] = "these bytes are not a database\n";

ToolResult IndexDamaged(Scene& scene) {
  EXPECT_TRUE(ToolFixture::StopDaemonOf(scene.root));
  EXPECT_TRUE(ToolFixture::WriteFile(scene.UserData() + "/assets.tdx", kNotADatabase));
  return scene.Run({"status", kEdited});
}

// The indexes set aside as damaged.
std::vector<std::string> IndexesAside(const Scene& scene) {
  std::vector<std::string> aside;
  for (const auto& entry : fs::directory_iterator(scene.UserData())) {
    if (entry.path().filename().string().starts_with("assets.tdx.damaged-"))
      aside.push_back(entry.path().string());
  }
  return aside;
}

void DamagedIndexKeptAside(const Scene& scene) {
  const std::vector<std::string> aside = IndexesAside(scene);
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(ToolFixture::ReadFile(aside[0]), kNotADatabase);
}

// --- Something the store did not make at a name it needs: set aside.

const char kMine[] = "the user's own\n";

// The folder set aside under UserData that holds the only file holding
// `text` (its full path); "" (a failure) when there is none.
std::string SetAsideHolding(const Scene& scene, const std::string& text) {
  std::vector<std::string> kept;
  for (const auto& [path, held] : Contents(scene.UserData()))
    if (held == text) kept.push_back(path);
  EXPECT_EQ(kept.size(), 1u);
  if (kept.size() != 1) return std::string();
  const size_t at = kept[0].find(".set-aside-");
  EXPECT_NE(at, std::string::npos) << kept[0];
  if (at == std::string::npos) return std::string();
  return scene.UserData() + "/" + kept[0].substr(0, kept[0].find('/', at));
}

// Exactly one file under UserData holds kMine, below a set-aside name.
void MineSetAside(const Scene& scene) {
  SetAsideHolding(scene, kMine);
}

// ... and the answer says where.
void MineSetAsideAsTheAnswerSays(const Scene& scene) {
  const std::string aside = SetAsideHolding(scene, kMine);
  EXPECT_NE(scene.answer.out.find(" as " + aside), std::string::npos) << scene.answer.out;
}

// ... and the daemon's log says where.
void MineSetAsideAsTheLogSays(const Scene& scene) {
  const std::string aside = SetAsideHolding(scene, kMine);
  const std::string log = ToolFixture::ReadFile(scene.UserData() + "/vaddaemon.log");
  EXPECT_NE(log.find("recovery: set aside, not taken into the index: "), std::string::npos);
  EXPECT_NE(log.find(" as " + aside + ": "), std::string::npos) << log;
}

// A start leaves alone a folder at <kuid:0:8104>'s name, holding a file and
// `config`; then that asset is installed.
ToolResult InstallOverAFolderLeftAlone(Scene& scene, const std::string& config) {
  const std::string folder = scene.UserData() + "/local/kuid 0 8104";
  EXPECT_TRUE(ToolFixture::StopDaemonOf(scene.root));
  fs::create_directory(folder);
  ToolFixture::WriteFile(folder + "/mine.txt", kMine);
  if (!config.empty()) ToolFixture::WriteFile(folder + "/config.txt", config);
  scene.Run({"status", kEdited});
  return ToolFixture::InstallScenery("<kuid:0:8104>", "", {}, scene.root);
}

// The edit copy and a stale copy of it, changed last, with the index lost:
// two starts.
ToolResult TwoEditCopiesWithTheIndexLost(Scene& scene) {
  const std::string stale = scene.edit + "~";
  EXPECT_TRUE(ToolFixture::StopDaemonOf(scene.root));
  fs::copy(scene.edit, stale);
  ToolFixture::WriteFile(scene.edit + "/mine.txt", kMine);
  const auto changed = [](const std::string& path) {
    struct stat info = {};
    ::stat(path.c_str(), &info);
    return info.st_ctim.tv_sec * 1000000000L + info.st_ctim.tv_nsec;
  };
  EXPECT_TRUE(VUTest::WaitUntil(
      [&] {
        ::chmod((stale + "/config.txt").c_str(), 0644);
        return changed(stale + "/config.txt") > changed(scene.edit + "/mine.txt");
      },
      5000, 1));
  fs::remove(scene.UserData() + "/assets.tdx");
  scene.Run({"status", kEdited});
  EXPECT_TRUE(ToolFixture::StopDaemonOf(scene.root));
  return scene.Run({"status", kEdited});
}

ToolResult NewKUIDPastTakenFolderNames(Scene& scene) {
  ToolFixture::WriteFile(scene.UserData() + "/local/kuid 0 8104", kMine);
  fs::create_directory(scene.UserData() + "/editing/kuid 0 8105~");
  return scene.Run({"generatekuid"});
}

// --- A folder at the other name ("~" toggled) of an asset's folder or
// edit copy, that the store did not make: the next start sets it aside.

// The daemon closed and started again.
ToolResult Restart(Scene& scene) {
  EXPECT_TRUE(ToolFixture::StopDaemonOf(scene.root));
  return scene.Run({"status", kEdited});
}

// A folder at `name` below UserData holding kMine and `config` (when not "").
void PutMine(const Scene& scene, const std::string& name, const std::string& config) {
  fs::create_directories(scene.UserData() + "/" + name);
  ToolFixture::WriteFile(scene.UserData() + "/" + name + "/mine.txt", kMine);
  if (!config.empty())
    ToolFixture::WriteFile(scene.UserData() + "/" + name + "/config.txt", config);
}

// An asset installed again goes to "kuid 0 8101~"; the user's folder is at
// the plain name.
ToolResult AFolderAtThePlainNameOfAReinstalledAsset(Scene& scene) {
  ToolFixture::InstallScenery("<kuid:0:8101>", "", {}, scene.root);
  EXPECT_TRUE(fs::exists(scene.UserData() + "/local/kuid 0 8101~"));
  PutMine(scene, "local/kuid 0 8101", "");
  return Restart(scene);
}

ToolResult AFolderMadeBeforeItsAssetWasInstalled(Scene& scene) {
  PutMine(scene, "local/kuid 0 8104~", "");
  ToolFixture::InstallScenery("<kuid:0:8104>", "", {}, scene.root);
  return Restart(scene);
}

// The user's backup of an asset's folder, with a file of their own added.
ToolResult ACopyOfAnAssetsFolder(Scene& scene) {
  const std::string folder = scene.UserData() + "/local/kuid 0 8103";
  fs::copy(folder, folder + "~", fs::copy_options::recursive);
  ToolFixture::WriteFile(folder + "~/mine.txt", kMine);
  return Restart(scene);
}

// --- An install that replaces an open edit copy keeps it aside.

void NotOpenForEdit(const Scene& scene) {
  const ToolResult status = scene.Run({"status", kEdited});
  EXPECT_NE(status.out.find(std::string("+ ") + kEdited + " : eI"), std::string::npos)
      << status.out;
}

ToolResult InstallCdpOverTheEditCopy(Scene& scene) {
  const std::string archive = ToolFixture::MakeTempFolder() + "/edited.cdp";
  EXPECT_EQ(scene.Run({"createcdp", archive, kEdited}).status, 0);
  return scene.Run({"installcdp", archive});
}

// A folder the user made in "editing" for a KUID not installed: the start
// takes it in as that KUID's edit copy; then that KUID is installed.
ToolResult InstallOverAnEditFolderTakenIn(Scene& scene) {
  PutMine(scene, "editing/kuid 0 8104", "");
  Restart(scene);
  return ToolFixture::InstallScenery("<kuid:0:8104>", "", {}, scene.root);
}

// "fcyparse" installs through the client's steps: over the open edit copy,
// its configuration changed too.
const char kChangedLine[] = "description \"changed in the edit copy\"\n";

ToolResult FcyParseOverTheEditCopy(Scene& scene) {
  const std::string archive = ToolFixture::MakeTempFolder() + "/edited.cdp";
  EXPECT_EQ(scene.Run({"createcdp", archive, kEdited}).status, 0);
  const std::string config = scene.edit + "/config.txt";
  EXPECT_TRUE(ToolFixture::WriteFile(config, ToolFixture::ReadFile(config) + kChangedLine));
  return scene.Run({"fcyparse", archive});
}

// The changed configuration is kept where the edit copy's new file is.
void ChangedConfigKeptBesideTheNewFile(const Scene& scene) {
  const std::string aside = SetAsideHolding(scene, kNewText);
  EXPECT_NE(ToolFixture::ReadFile(aside + "/config.txt").find(kChangedLine), std::string::npos)
      << aside;
  NotOpenForEdit(scene);
}

// A folder the user made in "editing" for <kuid:0:8104>, with a
// configuration of their own, taken in by a start; then "fcyparse" of an
// archive of that asset.
const char kMyConfig[] = "kuid <kuid:0:8104>\nkind scenery\nusername \"the user's own\"\n";

ToolResult FcyParseOverAnEditFolderTakenIn(Scene& scene) {
  const std::string archive = ToolFixture::MakeTempFolder() + "/taken.cdp";
  ToolFixture::InstallScenery("<kuid:0:8104>", "", {}, scene.root);
  EXPECT_EQ(scene.Run({"createcdp", archive, "<kuid:0:8104>"}).status, 0);
  EXPECT_EQ(scene.Run({"delete", "<kuid:0:8104>"}).status, 0);
  PutMine(scene, "editing/kuid 0 8104", kMyConfig);
  Restart(scene);
  return scene.Run({"fcyparse", archive});
}

void MineAndMyConfigSetAsideAsTheAnswerSays(const Scene& scene) {
  MineSetAsideAsTheAnswerSays(scene);
  EXPECT_EQ(SetAsideHolding(scene, kMyConfig), SetAsideHolding(scene, kMine));
}

// --- Names set aside in a batch, and under a name whose first choice is
// taken.

// Files at the first set-aside names of `path` for the times from a second
// ago to a minute ahead, so that a set-aside now takes the name with "-2".
void TakeFirstAsideNames(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  for (std::time_t at = now - 1; at <= now + 60; ++at) {
    std::tm local = {};
    ::localtime_r(&at, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    ToolFixture::WriteFile(path + ".set-aside-" + stamp, "taken\n");
  }
}

ToolResult InstallPastATakenAsideName(Scene& scene) {
  PutMine(scene, "local/kuid 0 8104", "");
  TakeFirstAsideNames(scene.UserData() + "/local/kuid 0 8104");
  return ToolFixture::InstallScenery("<kuid:0:8104>", "", {}, scene.root);
}

// An archive of two assets, installed as one batch, with a file at the
// folder name of one of them.
ToolResult InstallCdpOfTwoPastAFile(Scene& scene) {
  const std::string archive = ToolFixture::MakeTempFolder() + "/two.cdp";
  for (const char* kuid : {"<kuid:0:8104>", "<kuid:0:8105>"})
    ToolFixture::InstallScenery(kuid, "", {}, scene.root);
  EXPECT_EQ(scene.Run({"createcdp", archive, "<kuid:0:8104>", "<kuid:0:8105>"}).status, 0);
  for (const char* kuid : {"<kuid:0:8104>", "<kuid:0:8105>"})
    EXPECT_EQ(scene.Run({"delete", kuid}).status, 0);
  ToolFixture::WriteFile(scene.UserData() + "/local/kuid 0 8105", kMine);
  return scene.Run({"installcdp", archive});
}

void MineSetAsideAndBothInstalled(const Scene& scene) {
  MineSetAsideAsTheAnswerSays(scene);
  for (const char* kuid : {"<kuid:0:8104>", "<kuid:0:8105>"})
    EXPECT_NE(scene.Run({"status", kuid}).out.find(" : eI"), std::string::npos) << kuid;
}

void OneIndexKeptAside(const Scene& scene) {
  EXPECT_EQ(IndexesAside(scene).size(), 1u);
}

// The index's dependents table made again as `table` (with no daemon).
ToolResult DependentsMadeAgainAs(Scene& scene, const std::string& table) {
  EXPECT_TRUE(ToolFixture::StopDaemonOf(scene.root));
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open((scene.UserData() + "/assets.tdx").c_str(), &db), SQLITE_OK);
  const std::string sql = "DROP TABLE dependents; " + table;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  return scene.Run({"status", kEdited});
}

// --- The owner block's files removed while a commit runs.

constexpr int kCommitFiles = 2000;
// The sanitizer tree checks the same code in fewer runs.
constexpr int kCommitRuns = std::max(2, 20 / VUTest::kSanitizerSlowdown);

// kEdited's edit copy, with kCommitFiles more files, committed kCommitRuns
// times (opened for edit again in between); in each, once the commit has
// taken the edit folder, `name` is removed from UserData, as a user clears
// a lock file that looks stale. Each commit is answered as done, and the
// command after it within seconds. Answers the last commit's result.
ToolResult CommitWhileRemoving(Scene& scene, const std::string& name) {
  for (int i = 0; i < kCommitFiles; ++i)
    ToolFixture::WriteFile(scene.edit + "/more" + std::to_string(i) + ".txt", std::to_string(i));
  ToolResult committed;
  for (int run = 0; run < kCommitRuns && !::testing::Test::HasFailure(); ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    const std::string edit = run == 0 ? scene.edit : EditFolderOf(scene.Run({"edit", kEdited}));
    const std::string taken =
        scene.UserData() + "/editing/.vadtmp-take-" + fs::path(edit).filename().string();
    std::thread commit([&] { committed = scene.Run({"commit", kEdited}); });
    const bool took = VUTest::WaitUntil([&] { return fs::exists(taken); }, 60000, 1);
    fs::remove(scene.UserData() + "/" + name);
    commit.join();
    EXPECT_TRUE(took) << "the commit never took the edit folder";
    EXPECT_NE(committed.out.find("The asset was committed."), std::string::npos)
        << committed.out << committed.err;
    const auto start = std::chrono::steady_clock::now();
    const ToolResult next = scene.Run({"status", kEdited});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(next.out.find(std::string("+ ") + kEdited + " : "), std::string::npos)
        << next.out << next.err;
  }
  return committed;
}

const StoreCase kCases[] = {
    {"AnUntouchedStoreKeepsItsAssets", NothingHappens, "", Edit::kOpen, nullptr},
    // --- Names the store makes itself.
    {"ALinkAtTheTakeNameIsRefusedByName", CommitPastALinkAtTheTakeName,
     "editing/.vadtmp-take-kuid 0 8102 is a link, not a folder of the store's own: remove it, "
     "then commit again",
     Edit::kOpen, nullptr},
    {"AFileAtTheTakeNameIsRefusedByName", CommitPastAFileAtTheTakeName,
     "editing/.vadtmp-take-kuid 0 8102 is a file, not a folder of the store's own: remove it, "
     "then commit again",
     Edit::kOpen, nullptr},
    {"AnEarlierTakeOfAFileSavedAgainStopsTheCommit", CommitPastAnEarlierTakeOfTheSameFile,
     "added.txt was saved again since an earlier commit took it; that commit's copy is kept as ",
     Edit::kOpen, EarlierSaveKeptBeside},
    {"AReadOnlySubFolderIsCommittedByANonRootDaemon", CommitAReadOnlySubFolderAsAnotherUser,
     "The asset was committed.", Edit::kCommitted, ReadOnlyFolderInstalledAndNothingLeft},
    // --- An index that is missing or damaged.
    {"IndexRemovedWithNoDaemon", IndexRemovedWithNoDaemon, "", Edit::kOpen, nullptr},
    {"IndexRemovedUnderTheDaemon", IndexRemovedUnderTheDaemon, "", Edit::kOpen, nullptr},
    {"IndexDamaged", IndexDamaged, "", Edit::kOpen, DamagedIndexKeptAside},
    // --- Something the store did not make at a name it needs.
    {"AFolderWithoutConfigIsSetAsideByAnInstall",
     [](Scene& s) { return InstallOverAFolderLeftAlone(s, ""); }, "/local/kuid 0 8104 as ",
     Edit::kOpen, MineSetAside},
    {"AFolderOfAnotherAssetIsSetAsideByAnInstall",
     [](Scene& s) { return InstallOverAFolderLeftAlone(s, "kuid <kuid:0:8199>\n"); },
     "/local/kuid 0 8104 as ", Edit::kOpen, MineSetAside},
    {"AFileAtTheEditFolderNameIsSetAsideByEdit",
     [](Scene& s) {
       ToolFixture::WriteFile(s.UserData() + "/editing/kuid 0 8101", kMine);
       return s.Run({"edit", "<kuid:0:8101>"});
     },
     "/editing/kuid 0 8101 as ", Edit::kOpen, MineSetAside},
    {"TwoEditCopiesWithTheIndexLostKeepBoth", TwoEditCopiesWithTheIndexLost, "", Edit::kOpen,
     MineSetAside},
    {"ANewKUIDIsNoneWhoseFolderNameIsTaken", NewKUIDPastTakenFolderNames, "<KUID2:0:8106:0>",
     Edit::kOpen, nullptr},
    {"IndexTableWithoutColumns",
     [](Scene& s) { return DependentsMadeAgainAs(s, "CREATE TABLE dependents(x);"); }, "",
     Edit::kOpen, OneIndexKeptAside},
    {"IndexTableWithoutSomeColumns",
     [](Scene& s) {
       return DependentsMadeAgainAs(s, "CREATE TABLE dependents(user_id, content_id, version);");
     },
     "", Edit::kOpen, OneIndexKeptAside},
    {"ASetAsideNameTakenGoesToTheNextNumber", InstallPastATakenAsideName,
     "-2: it stood where the asset's folder goes.", Edit::kOpen, MineSetAsideAsTheAnswerSays},
    {"AnArchiveOfTwoSetsAsideAFileAtOneFolderNameAndInstallsBoth", InstallCdpOfTwoPastAFile,
     "/local/kuid 0 8105 as ", Edit::kOpen, MineSetAsideAndBothInstalled},
    // --- A folder at the other name of an asset's folder, then a start.
    {"AStartSetsAsideAFolderAtThePlainNameOfAReinstalledAsset",
     AFolderAtThePlainNameOfAReinstalledAsset, "", Edit::kOpen, MineSetAsideAsTheLogSays},
    {"AStartSetsAsideAFolderMadeBeforeItsAssetWasInstalled", AFolderMadeBeforeItsAssetWasInstalled,
     "", Edit::kOpen, MineSetAsideAsTheLogSays},
    {"AStartSetsAsideAFolderNamingAnotherAsset",
     [](Scene& s) {
       PutMine(s, "local/kuid 0 8103~", "kuid <kuid:0:8199>\n");
       return Restart(s);
     },
     "", Edit::kOpen, MineSetAsideAsTheLogSays},
    {"AStartSetsAsideAFolderBesideTheOpenEditCopy",
     [](Scene& s) {
       PutMine(s, "editing/kuid 0 8102~", "");
       return Restart(s);
     },
     "", Edit::kOpen, MineSetAsideAsTheLogSays},
    {"AStartSetsAsideTheUsersCopyOfAnAssetsFolder", ACopyOfAnAssetsFolder, "", Edit::kOpen,
     MineSetAsideAsTheLogSays},
    // --- An install that replaces an open edit copy.
    {"InstallFromPathKeepsTheEditCopyItReplaces",
     [](Scene& s) { return ToolFixture::InstallScenery(kEdited, "", {}, s.root); },
     "Kept the edit copy ", Edit::kReplaced, NotOpenForEdit},
    {"InstallCdpKeepsTheEditCopyItReplaces", InstallCdpOverTheEditCopy, "Kept the edit copy ",
     Edit::kReplaced, nullptr},
    {"AnInstallKeepsAnEditFolderTheStartTookIn", InstallOverAnEditFolderTakenIn,
     "Kept the edit copy ", Edit::kOpen, MineSetAsideAsTheAnswerSays},
    {"FcyParseKeepsTheEditCopyItReplaces", FcyParseOverTheEditCopy, "Kept the edit copy ",
     Edit::kReplaced, ChangedConfigKeptBesideTheNewFile},
    {"FcyParseKeepsAnEditFolderTheStartTookIn", FcyParseOverAnEditFolderTakenIn,
     "Kept the edit copy ", Edit::kOpen, MineAndMyConfigSetAsideAsTheAnswerSays},
    // --- The owner block's files removed while a commit runs.
    {"ALockFileRemovedDuringCommitsLeavesThemAnsweredAndTheDaemonFound",
     [](Scene& s) { return CommitWhileRemoving(s, "assets.tdx.lock"); }, "The asset was committed.",
     Edit::kCommitted, nullptr},
    {"ABlockFileRemovedDuringCommitsLeavesThemAnsweredAndTheDaemonFound",
     [](Scene& s) { return CommitWhileRemoving(s, "assets.tdx.ipc"); }, "The asset was committed.",
     Edit::kCommitted, nullptr},
};

class StoreKeepsAssets : public ToolFixture, public ::testing::WithParamInterface<StoreCase> {
 protected:
  void SetUp() override {
    scene_.root = MakeRoot();
    scene_.outside = MakeTempFolder() + "/outside";
    fs::create_directories(scene_.outside + "/deeper");
    ASSERT_TRUE(WriteFile(scene_.outside + "/config.txt", "kuid <kuid:0:8199>\n"));
    ASSERT_TRUE(WriteFile(scene_.outside + "/deeper/private.txt", "not the store's\n"));
    outsideBefore_ = Contents(scene_.outside);
    for (const char* kuid : kAssets)
      ASSERT_EQ(InstallScenery(kuid, "", {{"body.txt", kuid}}, scene_.root).status, 0) << kuid;
    const ToolResult opened = scene_.Run({"edit", kEdited});
    scene_.edit = EditFolderOf(opened);
    ASSERT_FALSE(scene_.edit.empty()) << opened.out << opened.err;
    ASSERT_TRUE(WriteFile(scene_.edit + "/" + kNewFile, kNewText));
  }

  void TearDown() override { StopDaemonOf(scene_.root); }

  Scene scene_;
  std::map<std::string, std::string> outsideBefore_;
};

TEST_P(StoreKeepsAssets, EveryAssetStaysAndNothingOutsideTheStoreChanges) {
  const StoreCase& row = GetParam();
  const ToolResult r = row.act(scene_);
  scene_.answer = r;
  EXPECT_NE((r.out + r.err).find(row.says), std::string::npos) << r.out << r.err;

  for (const char* kuid : kAssets) {
    const ToolResult status = scene_.Run({"status", kuid});
    EXPECT_NE(status.out.find(std::string("+ ") + kuid + " : "), std::string::npos)
        << kuid << ": " << status.out << status.err;
  }
  const ToolResult config = scene_.Run({"printconfig", kEdited});
  EXPECT_NE(config.out.find("8102"), std::string::npos) << config.out << config.err;
  if (row.edit == Edit::kCommitted) {
    const std::string installed = scene_.UserData() + "/local/kuid 0 8102";
    const std::string file = fs::exists(installed) ? installed : installed + "~";
    EXPECT_EQ(ReadFile(file + "/" + kNewFile), kNewText);
  } else if (row.edit == Edit::kReplaced) {
    const std::string aside = SetAsideHolding(scene_, kNewText);
    EXPECT_NE(r.out.find("Kept the edit copy " + scene_.edit + " as " + aside + ": "),
              std::string::npos)
        << r.out;
  } else {
    // Still open for edit: "edit" names the edit copy, which holds the file.
    const std::string edit = EditFolderOf(scene_.Run({"edit", kEdited}));
    EXPECT_EQ(ReadFile(edit + "/" + kNewFile), kNewText) << edit;
  }
  EXPECT_EQ(Contents(scene_.outside), outsideBefore_) << "a file outside the store changed";
  if (row.alsoCheck != nullptr) row.alsoCheck(scene_);
}

// Names a row in gtest's messages (its bytes otherwise).
void PrintTo(const StoreCase& row, std::ostream* out) {
  *out << row.name;
}

std::string RowName(const ::testing::TestParamInfo<StoreCase>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, StoreKeepsAssets, ::testing::ValuesIn(kCases), RowName);

}  // namespace
