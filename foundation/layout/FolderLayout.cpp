// The two roots, start-up and shut-down of the folder layout, and the
// getters of fixed paths.

#include "foundation/layout/FolderLayout.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "foundation/base/LogMessage.h"
#include "foundation/layout/ContentPath.h"
#include "foundation/layout/ResourceDatabaseRegistry.h"
#include "foundation/text/PathHelpers.h"
#include "kiv/String.h"

namespace {

// The content locations, in the order they are acquired and released.
constexpr std::array<const char*, 7> kLocationNames = {"data",    "local", "original", "backups",
                                                       "editing", "cache", "settings"};

const char* const kLegacyNames[] = {"original", "local",    "editing",     "cache",
                                    "trash",    "settings", "screenshots", "assets.tdx"};

struct Layout {
  Kiv::File::Path installRoot;
  Kiv::File::Path userDataRoot;
  std::array<VandruResourceDatabase*, kLocationNames.size()> locations{};
  // The write check begun by BeginInstallPath, until FinishUserDataCheck;
  // `checkPassed` is written by the check's thread and read after the join.
  std::thread check;
  bool checkPassed = false;
};

// Never destroyed, so the roots stay readable while other static objects
// are torn down.
Layout& TheLayout() {
  static Layout* const layout = new Layout;
  return *layout;
}

// Forward slashes replaced, folded, no trailing "/"; the case is kept.
Kiv::File::Path NormalizedRoot(const Kiv::File::Path& path) {
  Kiv::File::Path root = path;
  root.ReplaceForwardSlashes();
  root.Normalize();
  root.DelSlash();
  return root;
}

// `base` joined with `parts`; empty when `base` is empty.
Kiv::File::Path Below(const Kiv::File::Path& base, std::initializer_list<const char*> parts) {
  if (base.Empty()) return base;
  Kiv::File::Path path = base;
  for (const char* part : parts) path.AddPath(part);
  return path;
}

void ClearRoots() {
  TheLayout().installRoot = Kiv::File::Path();
  TheLayout().userDataRoot = Kiv::File::Path();
}

// True when a file can be created for writing and removed in the
// user-data root. The temporary file is created exclusively and for
// writing, so nothing that exists already is opened or removed, and it need
// not be opened a second time to show that it can be written.
bool CanWriteNamedFile() {
  Kiv::File::Path probe;
  if (!CreateTemporaryFilePath(Kiv::PString(), &probe)) return false;
  return Kiv::File::Unlink(probe.Str());
}

// True when an unnamed file (O_TMPFILE) can be created for writing in the
// user-data root: the same rights as a named one, in one call, and it goes
// with its descriptor, so nothing is left to remove. False as well where the
// file system or the kernel has no unnamed files.
bool CanWriteUnnamedFile() {
#if defined(O_TMPFILE)
  const int fd = ::open(GetUserDataPath().c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
#else
  return false;
#endif
}

bool CanWriteUserData() {
  return CanWriteUnnamedFile() || CanWriteNamedFile();
}

void ReleaseLocations() {
  for (VandruResourceDatabase*& location : TheLayout().locations) {
    ReleaseTrackedRef(location);
    location = nullptr;
  }
}

}  // namespace

bool GetModulePath(Kiv::File::Path* out) {
  if (out == nullptr) return false;
  std::vector<char> buffer(4096);
  // Grow until the link fits (readlink truncates silently), within reason.
  while (buffer.size() <= (size_t(1) << 20)) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0) return false;
    if (size_t(n) < buffer.size()) {
      *out = Kiv::File::Path(std::string_view(buffer.data(), size_t(n)));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
  return false;
}

namespace {

// Sets both roots from `path`; fatal when it is empty.
void SetRoots(const Kiv::File::Path& path) {
  const Kiv::File::Path root = NormalizedRoot(path);
  if (root.Empty()) FatalError("Unable to determine application installation path.");
  Layout& layout = TheLayout();
  layout.installRoot = root;
  layout.userDataRoot = Below(root, {"UserData"});
}

[[noreturn]] void FailUserDataCheck() {
  ClearRoots();
  FatalError("Unable to acquire write access to UserData folder.");
}

// True when the installation root holds a legacy name as written, which a
// move would then take into the user-data root.
bool HasLegacyEntries() {
  struct stat st;
  for (const char* name : kLegacyNames) {
    if (::lstat(Below(GetInstallPath(), {name}).c_str(), &st) == 0) return true;
  }
  return false;
}

// The entry names of `folder`; nothing when it cannot be listed.
std::optional<std::vector<std::string>> ListFolder(const Kiv::File::Path& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
  ::closedir(dir);
  return names;
}

// True when `names` holds `name` in any letter case; true as well when the
// folder could not be listed (then only the file system can tell).
bool MayHold(const std::optional<std::vector<std::string>>& names, std::string_view name) {
  if (!names) return true;
  for (const std::string& entry : *names) {
    if (Kiv::EqualsIgnoreCase(entry, name)) return true;
  }
  return false;
}

// A folder listed once, with its names.
struct Listed {
  const Kiv::File::Path& folder;
  const std::optional<std::vector<std::string>>* names;
};

// False when the archive form of `folder`, "<folder>.ja" (as
// VandruResourceDatabase names it), cannot be there: its folder is one of
// `listed` and holds no such name in any case.
bool MayHaveArchive(const Kiv::File::Path& folder, std::initializer_list<Listed> listed) {
  Kiv::File::Path archive = folder;
  archive.ReplaceForwardSlashes();
  archive.DelSlash();
  const std::string name = archive.Name() + ".ja";
  archive.DelName();
  archive.DelSlash();
  for (const Listed& one : listed) {
    if (archive.Str() == one.folder.Str()) return MayHold(*one.names, name);
  }
  return true;
}

// The legacy names the installation root holds in any letter case, found
// with one listing of the root, and whether one of them is there exactly as
// written. A move (MoveToUserData) can do or log something only for such a
// name. When the root cannot be listed, every name is answered and the
// exact ones are looked up one by one.
struct LegacyEntries {
  bool exact = false;
  std::vector<const char*> names;
};

LegacyEntries FindLegacyEntries() {
  LegacyEntries found;
  const std::optional<std::vector<std::string>> listed = ListFolder(GetInstallPath());
  if (!listed) {
    found.exact = HasLegacyEntries();
    found.names.assign(std::begin(kLegacyNames), std::end(kLegacyNames));
    return found;
  }
  for (const char* name : kLegacyNames) {
    if (!MayHold(listed, name)) continue;
    found.names.push_back(name);
    if (std::find(listed->begin(), listed->end(), name) != listed->end()) found.exact = true;
  }
  return found;
}

}  // namespace

bool DetermineInstallPath(const Kiv::File::Path& path) {
  SetRoots(path);
  Kiv::File::Md(GetUserDataPath().Str());
  if (!CanWriteUserData()) FailUserDataCheck();
  for (const char* name : kLegacyNames) MoveToUserData(name);
  return true;
}

bool BeginInstallPath(const Kiv::File::Path& path) {
  FinishUserDataCheck();
  SetRoots(path);
  if (!Kiv::File::IsDirectory(GetUserDataPath().Str())) return DetermineInstallPath(path);
  const LegacyEntries legacy = FindLegacyEntries();
  if (legacy.exact) return DetermineInstallPath(path);
  Layout& layout = TheLayout();
  layout.checkPassed = false;
  // An unnamed file costs less than a thread: only where none can be made
  // does the named probe run aside.
  if (CanWriteUnnamedFile()) {
    layout.checkPassed = true;
  } else {
    try {
      layout.check = std::thread([&layout] { layout.checkPassed = CanWriteNamedFile(); });
    } catch (const std::system_error&) {
      // No thread to be had (a process limit): the check runs here instead.
      if (!CanWriteNamedFile()) FailUserDataCheck();
    }
  }
  // Nothing of these names is there to move; the moves still run for what
  // they log (a name present in another case).
  for (const char* name : legacy.names) MoveToUserData(name);
  return true;
}

void FinishUserDataCheck() {
  Layout& layout = TheLayout();
  if (!layout.check.joinable()) return;
  layout.check.join();
  if (!layout.checkPassed) FailUserDataCheck();
}

void CreateUserDataFolders() {
  Layout& layout = TheLayout();
  if (layout.installRoot.Empty()) return;
  ReleaseLocations();
  const Kiv::File::Path& user = layout.userDataRoot;
  Kiv::File::Md(GetCachePath().Str());
  // One listing each of U and I answers, for most names, that nothing of
  // that name is there in any case, which the file system would otherwise
  // be asked name by name (listing the folder each time).
  const std::optional<std::vector<std::string>> inUser = ListFolder(user);
  const std::optional<std::vector<std::string>> inInstall = ListFolder(layout.installRoot);
  const Kiv::File::Path trash = Below(user, {"trash"});
  const Kiv::File::Path backups = Below(user, {"backups"});
  if (MayHold(inUser, "trash") && Kiv::File::Exists(trash.Str()) &&
      !Kiv::File::Exists(backups.Str())) {
    FinishUserDataCheck();  // nothing is renamed in a folder that failed it
    Kiv::File::Rename(trash.Str(), backups.Str());
  }
  Kiv::File::Md(backups.Str());
  for (const char* name : {"bookmarks", "sessions", "water"})
    Kiv::File::Md(Below(GetCachePath(), {name}).Str());
  for (const char* name : {"local", "original", "editing", "settings"})
    Kiv::File::Md(Below(user, {name}).Str());

  for (size_t i = 0; i < kLocationNames.size(); ++i) {
    const Kiv::PString name(kLocationNames[i]);
    const Kiv::File::Path folder = GetContentFolderPath(name);
    layout.locations[i] = AcquireSharedEntry(
        name, folder, MayHaveArchive(folder, {{user, &inUser}, {layout.installRoot, &inInstall}}));
  }

  Kiv::File::Subst(Kiv::PString("scripts"), GetScriptsPath().Str());
  Kiv::File::Md(GetLibrariesPath().Str());
  Kiv::File::Subst(Kiv::PString("libraries"), GetLibrariesPath().Str());
}

void ReleaseFolderLayout() {
  ReleaseLocations();
  Kiv::File::Subst(Kiv::PString("scripts"), Kiv::String());
  Kiv::File::Subst(Kiv::PString("libraries"), Kiv::String());
}

void ResetFolderLayoutForTests() {
  FinishUserDataCheck();
  ReleaseFolderLayout();
  ClearRoots();
  SweepUnusedEntries();
}

Kiv::File::Path GetInstallPath() {
  return TheLayout().installRoot;
}
Kiv::File::Path GetUserDataPath() {
  return TheLayout().userDataRoot;
}
Kiv::File::Path GetLibrariesPath() {
  return Below(GetInstallPath(), {"libraries/"});
}
Kiv::File::Path GetScriptsPath() {
  return Below(GetInstallPath(), {"scripts/"});
}
Kiv::File::Path GetBuiltinPath() {
  return Below(GetInstallPath(), {"builtin"});
}
Kiv::File::Path GetPluginFolderPath() {
  return Below(GetInstallPath(), {"bin", "plugins"});
}
Kiv::File::Path GetDaemonExecutablePath() {
  return Below(GetInstallPath(), {"bin", "vaddaemon"});
}
Kiv::File::Path GetAssetIndexPath() {
  return Below(GetUserDataPath(), {"assets.tdx"});
}
Kiv::File::Path GetCachePath() {
  return Below(GetUserDataPath(), {"cache"});
}
Kiv::File::Path GetLibraryCachePath() {
  return Below(GetUserDataPath(), {"cache", "libraries"});
}

bool MoveToUserData(const char* name) {
  if (name == nullptr || name[0] == '\0') return false;
  if (std::strpbrk(name, "/\\") != nullptr || IsDotOrDotDot(name)) return false;
  const Kiv::File::Path from = Below(GetInstallPath(), {name});
  const Kiv::File::Path to = Below(GetUserDataPath(), {name});
  if (from.Empty() || to.Empty()) return false;
  // rename(2) would replace a file or an empty folder of that name; newer
  // user data wins over a legacy copy.
  if (Kiv::File::Exists(to.Str())) return false;
  if (Kiv::File::Rename(from.Str(), to.Str())) return true;
  if (Kiv::File::Exists(from.Str())) {
    LogMessage("MoveToUserData> unable to move '%s' to '%s'", from.c_str(), to.c_str());
  }
  return false;
}
