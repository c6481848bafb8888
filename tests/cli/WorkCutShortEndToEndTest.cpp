// Work cut short and caches that cannot be written, end to end through the
// installed tool: every answer afterwards is a fresh installation's. Each
// row runs a history in a fresh root of its own (an install or a commit
// whose texture conversion a close, a stop signal or a killed command host
// cuts into; a cache entry that cannot be written; a KUID that the index
// cannot keep) and checks what the user was told. Then, when the row names
// the files its asset holds, another fresh root installs just those files,
// and both answer alike: "validate" prints the same lines, and the
// installed copies hold the same compiled textures, byte for byte.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/cli/CommandHostProcesses.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/SanitizerScale.h"
#include "tests/support/TextureTestSupport.h"
#include "tests/support/WaitUntil.h"

namespace {

namespace fs = std::filesystem;

// A fresh root and what the row works with.
struct Scene {
  std::string root;
  std::string kuid;    // the asset the row works on, as a tag
  std::string folder;  // its folder's name below UserData/local ("kuid 0 8201")
  // The files the asset holds once the row is done, as a folder that a
  // fresh root installs; "" when the row compares with no fresh root.
  std::string files;

  std::string Tool() const { return root + "/bin/VandruUtil"; }
  ToolResult Run(const std::vector<std::string>& args) const {
    return ToolFixture::RunProgram(Tool(), args, root + "/bin");
  }
};

struct CutShortCase {
  const char* name;
  // The history; answers the result of the command whose outcome the user
  // was told.
  ToolResult (*act)(Scene&);
  // A text that the command's output (standard output or error) holds, and
  // one that it never holds; "" for none.
  const char* told;
  const char* neverTold;
  // Checks of the row's own, or nullptr.
  void (*alsoCheck)(const Scene&);
};

// The compiled textures of the installed copy named `folder` in `root`
// (the copy the index names is the one that exists: a replacement takes
// the other of the two names), by name with their bytes.
std::string InstalledFolder(const std::string& root, const std::string& folder) {
  const std::string installed = root + "/UserData/local/" + folder;
  return fs::exists(installed) ? installed : installed + "~";
}

// The names of the temporary files (".tmp") of that installed copy.
std::set<std::string> TemporaryFiles(const std::string& root, const std::string& folder) {
  const std::string installed = InstalledFolder(root, folder);
  std::set<std::string> names;
  std::error_code error;
  for (fs::recursive_directory_iterator it(installed, error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().extension() == ".tmp") names.insert(fs::relative(it->path(), installed));
  }
  return names;
}

std::map<std::string, std::string> CompiledTextures(const std::string& root,
                                                    const std::string& folder) {
  const std::string installed = InstalledFolder(root, folder);
  std::map<std::string, std::string> textures;
  std::error_code error;
  for (fs::recursive_directory_iterator it(installed, error), end; !error && it != end;
       it.increment(error)) {
    std::string name = fs::relative(it->path(), installed).string();
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (it->is_regular_file() && lower.ends_with(".texture"))
      textures[name] = ToolFixture::ReadFile(it->path());
  }
  return textures;
}

// --- The histories of the rows.

ToolResult InstallUntouched(Scene& scene) {
  scene.kuid = "<kuid:0:8201>";
  scene.folder = "kuid 0 8201";
  const ToolResult r =
      ToolFixture::InstallScenery(scene.kuid, "", {{"body.txt", "b\n"}}, scene.root);
  scene.files = ToolFixture::MakeTempFolder() + "/files";
  fs::create_directories(scene.files);
  ToolFixture::WriteFile(
      scene.files + "/config.txt",
      ToolFixture::ReadFile(scene.root + "/UserData/local/kuid 0 8201/config.txt"));
  ToolFixture::WriteFile(scene.files + "/body.txt", "b\n");
  return r;
}

// --- KUIDs whose user id the 8-byte form cannot carry.

// A folder holding a scenery asset `kuid` (its configuration as
// InstallScenery writes one, then `extra`) and the files given; its path.
std::string AssetFiles(const std::string& kuid, const std::string& extra,
                       const std::vector<std::pair<std::string, std::string>>& files) {
  const std::string folder = ToolFixture::MakeTempFolder() + "/files";
  fs::create_directories(folder);
  EXPECT_TRUE(ToolFixture::WriteFile(folder + "/config.txt",
                                     "kuid " + kuid +
                                         "\nusername \"Crate\"\nkind \"scenery\"\n"
                                         "vandru-build 3.4\ncategory-class \"BA\"\n" +
                                         extra));
  for (const auto& [name, text] : files)
    EXPECT_TRUE(ToolFixture::WriteFile(folder + "/" + name, text));
  return folder;
}

// Exported and installed again, three times: the installed configuration's
// table names what was written (and, from the first round on, what the
// "bogey" names beside it), never the KUIDs a KUID tag wraps them into.
ToolResult TableTextThroughArchives(Scene& scene) {
  scene.kuid = "<kuid:0:8301>";
  scene.folder = "kuid 0 8301";
  scene.files = AssetFiles(scene.kuid,
                           "bogey \"<kuid:16777216:6>\"\nkuid-table\n{\n  0 <kuid:-16777217:5>\n"
                           "  1 <kuid:16777216:5>\n}\n",
                           {});
  ToolResult r = scene.Run({"installfrompath", scene.files});
  const std::string archive = scene.root + "/round.cdp";
  std::string first;
  for (int round = 1; round <= 3; ++round) {
    EXPECT_EQ(scene.Run({"createcdp", archive, scene.kuid}).status, 0) << round;
    EXPECT_EQ(scene.Run({"delete", scene.kuid}).status, 0) << round;
    r = scene.Run({"installcdp", archive});
    const std::string config = scene.Run({"printconfig", scene.kuid}).out;
    if (round == 1) first = config;
    EXPECT_EQ(config, first) << round;
  }
  std::string table = first.substr(std::min(first.find("kuid-table"), first.size()));
  table.resize(table.find('}') + 1);
  std::erase_if(table, [](char c) { return c == ' ' || c == '\r'; });
  EXPECT_EQ(
      table,
      "kuid-table\n{\n0\"<kuid:-16777217:5>\"\n1\"<kuid:16777216:5>\"\n2\"<kuid:16777216:6>\"\n}");
  return r;
}

const char kHelperScript[] = "class Helper {\n  public int V() { return 1; }\n};\n";
const char kUserScript[] =
    "include \"gs.gs\"\ninclude \"helper.gs\"\nclass Crate isclass GameObject {\n"
    "  public int F() { Helper h = new Helper(); return h.V(); }\n};\n";

// The library that the 8-byte form would wrap the include into is
// installed; the fresh root holds the user alone.
ToolResult IncludeBeyondTheRange(Scene& scene) {
  const std::string library = AssetFiles("<kuid:16777215:5>", "", {{"helper.gs", kHelperScript}});
  EXPECT_EQ(scene.Run({"installfrompath", library}).status, 0);
  scene.kuid = "<kuid:0:8302>";
  scene.folder = "kuid 0 8302";
  scene.files = AssetFiles(scene.kuid,
                           "script \"main.gs\"\nclass \"Crate\"\n"
                           "script-include-table\n{\n  0 <kuid:-16777217:5>\n}\n",
                           {{"main.gs", kUserScript}});
  EXPECT_EQ(scene.Run({"installfrompath", scene.files}).status, 0);
  return scene.Run({"validate", scene.kuid});
}

// Named as typed, it is not installed: no archive is written.
ToolResult ExportBeyondTheRange(Scene& scene) {
  EXPECT_EQ(ToolFixture::InstallScenery("<kuid2:16777215:5:127>", "", {}, scene.root).status, 0);
  const ToolResult r = scene.Run({"createcdp", scene.root + "/beyond.cdp", "<kuid:-16777217:5>"});
  EXPECT_EQ(r.status, 255);
  EXPECT_FALSE(fs::exists(scene.root + "/beyond.cdp"));
  return r;
}

// Keywords named by such a KUID are stored for no asset: the row is told
// the backup made after the import.
ToolResult KeywordsBeyondTheRange(Scene& scene) {
  ToolFixture::InstallScenery("<kuid2:16777215:5:127>", "", {}, scene.root);
  ToolFixture::WriteFile(scene.root + "/KeywordsDump.dat",
                         "<kuid2:16777215:5:127> \"own\"\n<kuid:-16777217:5> \"another's\"\n");
  scene.Run({"importkeywords"});
  scene.Run({"backupkeywords"});
  return {ToolFixture::ReadFile(scene.root + "/bin/KeywordsBackup.dat"), "", 0, false};
}

// An edit copy whose configuration was changed to name such a KUID is
// validated as that asset, never as the scripted one its tag would wrap
// into: its own script is linked, not checked against the other asset's
// script class (whose library does not compile), and findings name it as
// written.
ToolResult EditCopyNamingOneBeyondTheRange(Scene& scene) {
  const auto scripted = [&](const char* kuid, const std::string& name, const std::string& body) {
    ToolFixture::InstallScenery(kuid, "script \"main.gs\"\nclass \"" + name + "\"\n",
                                {{"main.gs", "include \"gs.gs\"\nclass " + name +
                                                 " isclass GameObject {\n" + body + "};\n"}},
                                scene.root);
  };
  scripted("<kuid2:16777215:5:127>", "Other", "  void F() { int x = \"s\"; }\n");
  scripted("<kuid:0:8305>", "Mine", "");
  const ToolResult opened = scene.Run({"edit", "<kuid:0:8305>"});
  const size_t at = opened.out.find(" : ");
  const std::string config =
      opened.out.substr(at + 3, opened.out.find('\n', at) - at - 3) + "/config.txt";
  std::string text = ToolFixture::ReadFile(config);
  text.replace(text.find("<kuid:0:8305>"), 13, "<kuid:-16777217:5>");
  ToolFixture::WriteFile(config, text);
  const ToolResult validated = scene.Run({"validate", "<kuid:0:8305>"});
  text.replace(text.find("\"BA\""), 4, "\"QQ\"");
  ToolFixture::WriteFile(config, text);
  const ToolResult finding = scene.Run({"validate", "<kuid:0:8305>"});
  EXPECT_NE(finding.out.find("- <kuid:-16777217:5> : The tag 'category-class' in 'scenery' has "
                             "no valid choice.\nOK (1 Errors, 0 Warnings)"),
            std::string::npos)
      << finding.out;
  return validated;
}

// --- A cache entry that cannot be written.

// Installs the scripted asset <kuid:0:8210> whose main.gs is `main`, and
// names its files for the fresh root.
ToolResult InstallScripted(Scene& scene, const std::string& main) {
  scene.kuid = "<kuid:0:8210>";
  scene.folder = "kuid 0 8210";
  const ToolResult r = ToolFixture::InstallScenery(
      scene.kuid, "script \"main.gs\"\nclass \"Crate\"\n", {{"main.gs", main}}, scene.root);
  scene.files = ToolFixture::MakeTempFolder() + "/files";
  fs::create_directories(scene.files);
  ToolFixture::WriteFile(
      scene.files + "/config.txt",
      ToolFixture::ReadFile(scene.root + "/UserData/local/" + scene.folder + "/config.txt"));
  ToolFixture::WriteFile(scene.files + "/main.gs", main);
  return r;
}

std::string CacheFolder(const Scene& scene) {
  return scene.root + "/UserData/cache/libraries";
}

// The names of the cache's libraries that are files.
std::vector<std::string> CachedLibraries(const Scene& scene) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(CacheFolder(scene), error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file() && it->path().extension() == ".gsl")
      names.push_back(it->path().filename().string());
  }
  return names;
}

// Once validated, each library of the cache is replaced by a folder that
// holds a file and a link to a folder of the user's outside the store.
ToolResult FolderInPlaceOfACachedLibrary(Scene& scene) {
  const ToolResult installed = InstallScripted(
      scene,
      "include \"gs.gs\"\nclass Crate isclass GameObject {\n  public int F() { return 1; }\n};\n");
  if (installed.status != 0) return installed;
  scene.Run({"validate", scene.kuid});
  fs::create_directories(scene.root + "/outside");
  ToolFixture::WriteFile(scene.root + "/outside/kept.txt", "kept\n");
  for (const std::string& name : CachedLibraries(scene)) {
    const fs::path entry = CacheFolder(scene) + "/" + name;
    fs::remove(entry);
    fs::create_directories(entry / "sub");
    ToolFixture::WriteFile((entry / "sub" / "file.txt").string(), "x\n");
    fs::create_directory_symlink(scene.root + "/outside", entry / "out");
  }
  return scene.Run({"validate", scene.kuid});
}

void FolderRemovedAndNothingOutside(const Scene& scene) {
  EXPECT_EQ(ToolFixture::ReadFile(scene.root + "/outside/kept.txt"), "kept\n");
  EXPECT_EQ(CachedLibraries(scene).size(), 1u);
}

// The daemon and its command hosts run under a file-size limit that the
// asset's library (about 100 KiB) exceeds while the index and the logs stay
// below it: every write of the library fails, as on a full disk.
ToolResult CacheWriteFails(Scene& scene) {
  std::string main = "include \"gs.gs\"\nclass Crate isclass GameObject {\n";
  for (int i = 0; i < 300; ++i) {
    main += "  public string F" + std::to_string(i) + "() { return \"" + std::string(200, 'x') +
            std::to_string(i) + "\"; }\n";
  }
  const ToolResult installed = InstallScripted(scene, main + "};\n");
  if (installed.status != 0) return installed;
  // The next daemon, and the hosts it starts, take the limit; the later
  // validations are its too.
  ToolFixture::StopDaemonOf(scene.root);
  return ToolFixture::RunProgram(scene.Tool(), {"validate", scene.kuid}, scene.root + "/bin",
                                 ToolFixture::kRunTimeoutMs, 64 << 10);
}

void NothingCachedAndTheHostSaysWhy(const Scene& scene) {
  EXPECT_TRUE(fs::is_empty(CacheFolder(scene))) << "neither a library nor a record";
  const std::string said = "ScriptLibraryCache> could not write '" + CacheFolder(scene) + "/";
  const std::string log = ToolFixture::ReadFile(scene.root + "/UserData/vadcommandhost.log");
  EXPECT_NE(log.find(said), std::string::npos) << log;
}

// --- A texture conversion cut short by a close, a stop signal or a killed
// command host.

// How, and when (as the files show it), a conversion is cut short.
enum class Cut { kClose, kStopSignal, kHostKill, kHostKillWhileEnding };
enum class Moment { kStaging, kFirstConverting, kLastConverting, kTaken, kWritingTexture };
struct Step {
  Moment moment;
  Cut how;
};

// The pictures: one large texture for an install, several smaller ones
// for a commit (a quarter of the side under the sanitizers, whose
// conversion is about ten times slower).
constexpr int kSideDivisor = VUTest::kSanitizerSlowdown == 1 ? 1 : 4;
constexpr int kInstallSide = 2048 / kSideDivisor;
constexpr int kCommitSide = 1024 / kSideDivisor;
constexpr int kCommitSources = 3;

// Whether `moment` has come in `root`; `converting` collects the sources
// seen under their temporary name.
bool Came(Moment moment, const std::string& root, std::set<std::string>& converting) {
  const auto has = [](const std::string& folder, const std::string& prefix) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      if (it->path().filename().string().starts_with(prefix)) return true;
    }
    return false;
  };
  if (moment == Moment::kStaging) return has(root + "/UserData/local", ".vadtmp-");
  if (moment == Moment::kTaken) return has(root + "/UserData/editing", ".vadtmp-take-");
  std::error_code error;
  for (fs::recursive_directory_iterator it(root + "/UserData", error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.ends_with(".convert-tex.txt")) converting.insert(name);
  }
  return converting.size() >= (moment == Moment::kFirstConverting ? 1u : size_t(kCommitSources));
}

// Waits until a compiled texture's temporary file ("*.texture.<pid>-<n>.tmp")
// is made in a folder of UserData/local or UserData/editing, then kills the
// command hosts at once (those seen while a source was converting, so that
// no look through procfs comes between); false, killing none, when `done`
// comes first or after `timeoutMs`. Woken by inotify, not polled.
bool KillHostsAsATextureIsWritten(const std::string& root, const std::atomic<bool>& done,
                                  int timeoutMs) {
  // The daemon that the command starts makes the store's folders.
  VUTest::WaitUntil([&] { return fs::is_directory(root + "/UserData/local") || done; }, timeoutMs,
                    1);
  const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return false;
  std::map<int, std::string> tops;
  const auto watch = [&](const std::string& folder) {
    return ::inotify_add_watch(fd, folder.c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
  };
  for (const char* name : {"/UserData/local", "/UserData/editing"}) {
    tops[watch(root + name)] = root + name;
    std::error_code error;
    for (fs::directory_iterator it(root + name, error), end; !error && it != end;
         it.increment(error))
      watch(it->path().string());
  }
  std::vector<pid_t> hosts;
  bool written = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!written && !done && std::chrono::steady_clock::now() < deadline) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 50) <= 0) continue;
    alignas(inotify_event) char events[8192];
    const ssize_t got = ::read(fd, events, sizeof events);
    for (ssize_t at = 0; at < got && !written;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      at += ssize_t(sizeof(inotify_event) + event->len);
      const std::string name = event->len > 0 ? event->name : "";
      if ((event->mask & IN_ISDIR) != 0 && tops.count(event->wd) != 0)
        watch(tops[event->wd] + "/" + name);
      if (name.ends_with(".convert-tex.txt") && hosts.empty())
        hosts = VUTest::CommandHosts(root + "/bin");
      written = name.find(".texture.") != std::string::npos && name.ends_with(".tmp");
    }
  }
  if (written && hosts.empty()) hosts = VUTest::CommandHosts(root + "/bin");
  for (const pid_t host : written ? hosts : std::vector<pid_t>()) ::kill(host, SIGKILL);
  ::close(fd);
  return written;
}

// Writes `count` texture sources t0, t1, ... into `folder`, each naming a
// picture `side` pixels square; with `alpha` the pictures carry a graded
// alpha (other pictures than without).
void WriteTextures(const std::string& folder, int count, int side, bool alpha) {
  const std::vector<uint8_t> picture = texturetest::SmoothPicture(side, side, alpha);
  for (int i = 0; i < count; ++i) {
    const std::string name = "t" + std::to_string(i);
    texturetest::WritePicture(folder + "/" + name + ".png", side, side, picture);
    ToolFixture::WriteFile(folder + "/" + name + ".texture.txt", "Primary=" + name + ".png\r\n");
  }
}

// A new folder of the asset `scene.kuid`: its configuration and
// WriteTextures' files.
std::string WriteAsset(const Scene& scene, int count, int side, bool alpha) {
  const std::string folder = ToolFixture::MakeTempFolder() + "/asset";
  fs::create_directories(folder);
  ToolFixture::WriteFile(folder + "/config.txt", "kuid " + scene.kuid +
                                                     "\nusername \"Boards\"\nkind \"scenery\"\n"
                                                     "vandru-build 3.4\n");
  WriteTextures(folder, count, side, alpha);
  return folder;
}

// Runs `args` with the tool of `scene`, cuts the conversion short as `step`
// says, and checks what the tool was told: `told`, then the summary of a
// command without a finding. A daemon asked to end has ended on return.
void CutShort(const Scene& scene, const std::vector<std::string>& args, Step step,
              const std::string& told) {
  ToolResult r;
  std::atomic<bool> done{false};
  std::thread command([&] {
    r = scene.Run(args);
    done = true;
  });
  std::set<std::string> converting;
  bool came = false;
  if (step.moment == Moment::kWritingTexture) {
    came = KillHostsAsATextureIsWritten(scene.root, done, 120000);
  } else {
    VUTest::WaitUntil([&] { return (came = Came(step.moment, scene.root, converting)) || done; },
                      120000, 1);
  }
  const pid_t daemon = ToolFixture::DaemonOwnerPidOf(scene.root);
  const std::string log = scene.root + "/UserData/vaddaemon.log";
  if (came && step.how == Cut::kClose) scene.Run({"closevaddaemon"});
  if (came && step.how != Cut::kClose && step.how != Cut::kHostKill && daemon > 0) {
    ::kill(daemon, SIGTERM);
  }
  // Killed once the daemon is ending, the host is replaced by one that
  // starts while it ends.
  if (came && step.how == Cut::kHostKillWhileEnding) {
    EXPECT_TRUE(VUTest::WaitUntil(
        [&] { return ToolFixture::ReadFile(log).find("stop signal") != std::string::npos; },
        10000));
  }
  if (came && step.moment != Moment::kWritingTexture &&
      (step.how == Cut::kHostKill || step.how == Cut::kHostKillWhileEnding)) {
    for (const pid_t host : VUTest::CommandHosts(scene.root + "/bin")) ::kill(host, SIGKILL);
  }
  command.join();
  EXPECT_TRUE(came) << "the command ended before the moment came\n" << r.out;
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find(told + "\nOK (0 Errors, 0 Warnings)\n"), std::string::npos) << r.out;
  EXPECT_EQ((r.out + r.err).find("could not be completed"), std::string::npos) << r.out << r.err;
  if (came && step.how != Cut::kHostKill) {
    EXPECT_TRUE(VUTest::WaitUntil([&] { return VUTest::Ended(daemon); }, 40000, 2));
  }
}

// The installed copy holds `count` compiled textures, those of the step
// before (`*last`, empty at first).
void ExpectSameTextures(const Scene& scene, size_t count,
                        std::map<std::string, std::string>* last) {
  const std::map<std::string, std::string> now = CompiledTextures(scene.root, scene.folder);
  EXPECT_EQ(now.size(), count);
  EXPECT_TRUE(last->empty() || now == *last) << "the compiled textures differ from step to step";
  *last = now;
}

// At each step, installs a folder with one large texture source.
ToolResult InstallCutShort(Scene& scene, std::initializer_list<Step> steps) {
  scene.kuid = "<kuid:0:8301>";
  scene.folder = "kuid 0 8301";
  scene.files = WriteAsset(scene, 1, kInstallSide, false);
  // A file of the user's under a name the converter writes through stays.
  ToolFixture::WriteFile(scene.files + "/t0.texture.1-1.tmp", "the user's\n");
  std::map<std::string, std::string> textures;
  for (const Step& step : steps) {
    SCOPED_TRACE(int(step.moment));
    CutShort(scene, {"installfrompath", scene.files}, step, "Installed " + scene.kuid + ".");
    ExpectSameTextures(scene, 1, &textures);
  }
  return scene.Run({"status", scene.kuid});
}

// An asset installed with opaque pictures; at each step, a commit of
// pictures with alpha, its edit copy holding the compiled textures of the
// opaque ones (stale) but for one (missing).
ToolResult CommitCutShort(Scene& scene, std::initializer_list<Step> steps) {
  scene.kuid = "<kuid:0:8302>";
  scene.folder = "kuid 0 8302";
  EXPECT_EQ(
      scene.Run({"installfrompath", WriteAsset(scene, kCommitSources, kCommitSide, false)}).status,
      0);
  const std::map<std::string, std::string> stale = CompiledTextures(scene.root, scene.folder);
  scene.files = WriteAsset(scene, kCommitSources, kCommitSide, true);
  std::map<std::string, std::string> textures;
  for (const Step& step : steps) {
    SCOPED_TRACE(int(step.moment));
    const ToolResult opened = scene.Run({"edit", scene.kuid});
    const size_t at = opened.out.find(" : ");
    const std::string edit = opened.out.substr(at + 3, opened.out.find('\n') - at - 3);
    WriteTextures(edit, kCommitSources, kCommitSide, true);
    for (const auto& [name, bytes] : stale) ToolFixture::WriteFile(edit + "/" + name, bytes);
    fs::remove(edit + "/t0.texture");
    CutShort(scene, {"commit", scene.kuid}, step, "The asset was committed.");
    ExpectSameTextures(scene, kCommitSources, &textures);
  }
  return scene.Run({"status", scene.kuid});
}

const CutShortCase kCases[] = {
    {"AnInstallLeftAloneAnswersAsAFreshRoot", InstallUntouched, "Installed", "", nullptr},
    // --- KUIDs whose user id the 8-byte form cannot carry.
    {"AKUIDTableKeepsItsTextThroughArchiveRoundTrips", TableTextThroughArchives,
     "Installed <kuid:0:8301>.", "", nullptr},
    {"AnIncludeBeyondTheRangeIsNotServedByAnotherLibrary", IncludeBeyondTheRange,
     "while compiling 'helper.gs'", "OK (0 Errors", nullptr},
    {"AKUIDBeyondTheRangeExportsNothing", ExportBeyondTheRange,
     "- <kuid:-16777217:5> : Asset is not local.", "OK (0 Errors", nullptr},
    {"KeywordsBeyondTheRangeReachNoAsset", KeywordsBeyondTheRange, "\"own\"", "another's", nullptr},
    {"AnEditCopyNamingOneBeyondTheRangeIsValidatedAsWritten", EditCopyNamingOneBeyondTheRange,
     "OK (0 Errors, 0 Warnings)", "16777215", nullptr},
    // --- A cache entry that cannot be written.
    {"AFolderAtACacheEntryIsRemovedAndTheAssetValidates", FolderInPlaceOfACachedLibrary,
     "OK (0 Errors, 0 Warnings)", "Unable to open output file", FolderRemovedAndNothingOutside},
    {"AFailingCacheWriteCostsACompileNotTheAnswer", CacheWriteFails, "OK (0 Errors, 0 Warnings)",
     "Unable to open output file", NothingCachedAndTheHostSaysWhy},
    // --- A texture conversion cut short by a close, a stop signal or a
    // killed command host.
    {"AnInstallClosedMidConversionIsFinishedFirst",
     [](Scene& scene) {
       return InstallCutShort(
           scene, {{Moment::kStaging, Cut::kClose}, {Moment::kFirstConverting, Cut::kClose}});
     },
     "+ <kuid:0:8301> : ", "", nullptr},
    {"ACommitClosedMidConversionIsFinishedFirst",
     [](Scene& scene) {
       return CommitCutShort(scene, {{Moment::kFirstConverting, Cut::kClose},
                                     {Moment::kLastConverting, Cut::kClose},
                                     {Moment::kTaken, Cut::kClose}});
     },
     "+ <kuid:0:8302> : ", "", nullptr},
    {"AnInstallWhoseDaemonIsStoppedMidConversionIsFinishedFirst",
     [](Scene& scene) {
       return InstallCutShort(scene, {{Moment::kStaging, Cut::kStopSignal},
                                      {Moment::kFirstConverting, Cut::kHostKillWhileEnding}});
     },
     "+ <kuid:0:8301> : ", "", nullptr},
    {"ACommitWhoseDaemonIsStoppedMidConversionIsFinishedFirst",
     [](Scene& scene) {
       return CommitCutShort(scene, {{Moment::kFirstConverting, Cut::kStopSignal},
                                     {Moment::kLastConverting, Cut::kStopSignal},
                                     {Moment::kTaken, Cut::kStopSignal}});
     },
     "+ <kuid:0:8302> : ", "", nullptr},
    {"AnInstallWhoseHostIsKilledMidConversionConvertsAgain",
     [](Scene& scene) {
       return InstallCutShort(scene, {{Moment::kFirstConverting, Cut::kHostKill}});
     },
     "+ <kuid:0:8301> : ", "", nullptr},
    {"ACommitWhoseHostIsKilledMidConversionConvertsAgain",
     [](Scene& scene) {
       return CommitCutShort(scene, {{Moment::kFirstConverting, Cut::kHostKill},
                                     {Moment::kLastConverting, Cut::kHostKill}});
     },
     "+ <kuid:0:8302> : ", "", nullptr},
    {"AnInstallWhoseHostIsKilledWritingATextureKeepsNoTemporaryFile",
     [](Scene& scene) {
       return InstallCutShort(scene, {{Moment::kWritingTexture, Cut::kHostKill},
                                      {Moment::kWritingTexture, Cut::kHostKill}});
     },
     "+ <kuid:0:8301> : ", "", nullptr},
    {"ACommitWhoseHostIsKilledWritingATextureKeepsNoTemporaryFile",
     [](Scene& scene) {
       return CommitCutShort(scene, {{Moment::kWritingTexture, Cut::kHostKill}});
     },
     "+ <kuid:0:8302> : ", "", nullptr},
};

class WorkCutShort : public ToolFixture, public ::testing::WithParamInterface<CutShortCase> {
 protected:
  void SetUp() override { scene_.root = MakeRoot(); }
  void TearDown() override {
    StopDaemonOf(scene_.root);
    if (!fresh_.empty()) StopDaemonOf(fresh_);
  }

  Scene scene_;
  std::string fresh_;
};

TEST_P(WorkCutShort, TheUserIsToldWhatHappenedAndTheAssetAnswersAsAFreshRoot) {
  const CutShortCase& row = GetParam();
  const ToolResult r = row.act(scene_);
  const std::string output = r.out + r.err;
  EXPECT_NE(output.find(row.told), std::string::npos) << output;
  if (*row.neverTold != '\0') {
    EXPECT_EQ(output.find(row.neverTold), std::string::npos) << output;
  }
  if (row.alsoCheck != nullptr) row.alsoCheck(scene_);
  if (scene_.files.empty()) return;

  fresh_ = MakeRoot();
  const ToolResult installed =
      RunProgram(fresh_ + "/bin/VandruUtil", {"installfrompath", scene_.files}, fresh_ + "/bin");
  ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
  const ToolResult validated = scene_.Run({"validate", scene_.kuid});
  const ToolResult freshValidated =
      RunProgram(fresh_ + "/bin/VandruUtil", {"validate", scene_.kuid}, fresh_ + "/bin");
  EXPECT_EQ(validated.out, freshValidated.out);
  EXPECT_EQ(validated.status, freshValidated.status);
  // Compared by name, so that a difference names the textures, not their bytes.
  const auto textures = CompiledTextures(scene_.root, scene_.folder);
  const auto freshTextures = CompiledTextures(fresh_, scene_.folder);
  std::string differ;
  for (const auto& [name, bytes] : freshTextures) {
    const auto found = textures.find(name);
    if (found == textures.end() || found->second != bytes) differ += " " + name;
  }
  EXPECT_EQ(textures.size(), freshTextures.size());
  EXPECT_EQ(TemporaryFiles(scene_.root, scene_.folder), TemporaryFiles(fresh_, scene_.folder));
  EXPECT_EQ(differ, "") << "these compiled textures differ from a fresh root's";
}

// Names a row in gtest's messages (its bytes otherwise).
void PrintTo(const CutShortCase& row, std::ostream* out) {
  *out << row.name;
}

std::string RowName(const ::testing::TestParamInfo<CutShortCase>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, WorkCutShort, ::testing::ValuesIn(kCases), RowName);

}  // namespace
