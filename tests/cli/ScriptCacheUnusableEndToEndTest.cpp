// A compiled-script cache that cannot be used (UserData/cache/libraries a
// file, a dangling link, a link to a folder elsewhere, read-only; a link at
// UserData/cache; pipes in place of its files): "validate" of a scripted
// asset still answers, at once, what a fresh root with a sound cache
// answers for the same files, and nothing outside UserData is written.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/cli/ToolFixture.h"

namespace {

namespace fs = std::filesystem;

using Files = std::vector<std::pair<std::string, std::string>>;

const char kScripted[] = "script \"main.gs\"\nclass \"Crate\"\n";
const char kMain[] =
    "include \"gs.gs\"\ninclude \"helper.gs\"\n"
    "class Crate isclass Base {\n  public int F() { return Value(); }\n};\n";
const char kHelper[] =
    "include \"gs.gs\"\nclass Base isclass GameObject {\n  public int Value() { return 1; }\n};\n";
const char kHelperWithoutValue[] = "include \"gs.gs\"\nclass Base isclass GameObject {\n};\n";
const char kValid[] = "<kuid:175:1>";
const char kBroken[] = "<kuid:175:2>";

// Sets or clears the immutable flag of `path` (which binds root too);
// false when the file system or the process cannot.
bool SetImmutable(const std::string& path, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
  done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  ::close(fd);
  return done;
}

// Replaces every file of `folder` whose name ends with `suffix` by a pipe.
bool PipesInPlaceOf(const std::string& folder, const std::string& suffix) {
  int replaced = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string path = entry.path().string();
    if (!path.ends_with(suffix)) continue;
    fs::remove(path);
    if (::mkfifo(path.c_str(), 0600) != 0) return false;
    ++replaced;
  }
  return replaced > 0;
}

// Every file below `folder`, by path, with its bytes.
std::map<std::string, std::string> FilesBelow(const std::string& folder) {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file()) files[it->path().string()] = ToolFixture::ReadFile(it->path());
  }
  return files;
}

class ScriptCacheUnusable : public ToolFixture {
 protected:
  static std::string Validate(const std::string& kuid) {
    const ToolResult r = Run({"validate", kuid});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }

  // What a root of its own answers for `kuid` with `files`.
  static std::string Fresh(const std::string& kuid, const Files& files) {
    const std::string root = MakeRoot();
    EXPECT_EQ(InstallScenery(kuid, kScripted, files, root).status, 0);
    const ToolResult r = RunProgram(root + "/bin/VandruUtil", {"validate", kuid}, root + "/bin");
    EXPECT_TRUE(StopDaemonOf(root));
    return r.out;
  }
};

TEST_F(ScriptCacheUnusable, ValidationAnswersAsAFreshRootAtOnce) {
  const Files valid{{"main.gs", kMain}, {"helper.gs", kHelper}};
  const Files broken{{"main.gs", kMain}, {"helper.gs", kHelperWithoutValue}};
  const std::string validFresh = Fresh(kValid, valid);
  const std::string brokenFresh = Fresh(kBroken, broken);
  ASSERT_EQ(validFresh, "OK (0 Errors, 0 Warnings)\n");
  ASSERT_NE(brokenFresh, validFresh);
  ASSERT_EQ(InstallScenery(kValid, kScripted, valid).status, 0);
  ASSERT_EQ(InstallScenery(kBroken, kScripted, broken).status, 0);

  const std::string parent = UserDataPath() + "/cache";
  const std::string cache = parent + "/libraries";
  const std::string outside = Root() + "/outside";
  // A folder of the user's outside UserData holding files of the cache's
  // names, which a cache written through a link would overwrite.
  const auto outsideHoldsCacheNames = [&] {
    if (Validate(kValid) != validFresh) return false;
    fs::rename(cache, outside);
    for (const auto& [path, bytes] : FilesBelow(outside)) WriteFile(path, "the user's\n");
    return !FilesBelow(outside).empty();
  };
  const bool root = ::geteuid() == 0;
  // How the cache is spoilt, and what the host's log says of it (nothing
  // for entries: the cache is used, less the entries in the way).
  struct Spoil {
    const char* what;
    std::function<bool()> apply;
    std::string said;
  };
  const Spoil spoils[] = {
      {"a file", [&] { return WriteFile(cache, "not a folder"); }, "it is not a folder"},
      {"a dangling link",
       [&] { return ::symlink((parent + "/nowhere").c_str(), cache.c_str()) == 0; },
       "it is a link that leads nowhere"},
      {"a link to a folder elsewhere",
       [&] { return outsideHoldsCacheNames() && ::symlink(outside.c_str(), cache.c_str()) == 0; },
       "it is a link, which the cache does not follow"},
      {"a link at its parent",
       [&] {
         return fs::create_directories(outside) && fs::remove(parent) &&
                ::symlink(outside.c_str(), parent.c_str()) == 0;
       },
       "'" + parent + "' is a link, which the cache does not follow"},
      {"under a file", [&] { return fs::remove_all(parent) > 0 && WriteFile(parent, "x"); },
       "it cannot be reached: "},
      {"read-only",
       [&] {
         return fs::create_directory(cache) && ::chmod(cache.c_str(), 0555) == 0 &&
                (!root || SetImmutable(cache, true));
       },
       "it cannot be written: "},
      {"pipes for libraries",
       [&] { return Validate(kValid) == validFresh && PipesInPlaceOf(cache, ".gsl"); }, ""},
      {"pipes for records",
       [&] { return Validate(kValid) == validFresh && PipesInPlaceOf(cache, ".gsl.sources"); }, ""},
  };
  const std::string log = UserDataPath() + "/vadcommandhost.log";
  for (const Spoil& spoil : spoils) {
    SCOPED_TRACE(spoil.what);
    fs::create_directories(parent);
    const size_t logged = ReadFile(log).size();
    EXPECT_TRUE(spoil.apply());
    const auto outsideBefore = FilesBelow(outside);
    EXPECT_EQ(Validate(kValid), validFresh);
    EXPECT_EQ(Validate(kBroken), brokenFresh);
    EXPECT_TRUE(FilesBelow(outside) == outsideBefore) << "written outside UserData";
    const std::string said = "cache '" + cache + "' cannot be used (" + spoil.said;
    EXPECT_EQ(ReadFile(log).find(said, logged) != std::string::npos, !spoil.said.empty()) << said;
    if (fs::is_directory(cache)) SetImmutable(cache, false);
    std::error_code ignored;
    fs::remove_all(parent, ignored);
    fs::remove(parent, ignored);
    fs::remove_all(outside, ignored);
  }
}

}  // namespace
