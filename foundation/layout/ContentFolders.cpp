// Content locations: the folder of a location, and full paths taken apart
// into a location and the path below it.

#include <string_view>

#include "foundation/layout/FolderLayout.h"

namespace {

constexpr std::string_view kUserDataLocations[] = {"local",   "original", "backups",
                                                   "editing", "cache",    "settings"};

bool IsUserDataLocation(std::string_view name) {
  for (std::string_view known : kUserDataLocations) {
    if (name == known) return true;
  }
  return false;
}

Kiv::File::Path Normalized(const Kiv::File::Path& path) {
  Kiv::File::Path out = path;
  out.ReplaceForwardSlashes();
  out.Normalize();
  out.DelSlash();
  return out;
}

}  // namespace

Kiv::File::Path GetContentFolderPath(const Kiv::PString& location) {
  const Kiv::File::Path install = GetInstallPath();
  if (install.Empty() || location.Empty()) return Kiv::File::Path();
  const Kiv::File::Path name(location.View());
  if (!name.StaysInside()) return Kiv::File::Path();
  Kiv::File::Path folder = IsUserDataLocation(location.View()) ? GetUserDataPath() : install;
  // The installation keeps the "data" location in its folder "Data".
  folder.AddPath(location.View() == "data" ? std::string_view("Data") : location.View());
  return folder;
}

bool IsPathUnder(const Kiv::File::Path& base, const Kiv::File::Path& path,
                 Kiv::File::Path* relative) {
  Kiv::File::Path below;
  if (relative != nullptr) *relative = below;
  if (base.Empty() || path.Empty()) return false;
  const Kiv::File::Path root = Normalized(base);
  below = Normalized(path);
  // MakeRelativeTo compares whole components: a sibling that merely shares
  // the base's text as a prefix ("/a/bc" for "/a/b") is not below it.
  if (!below.MakeRelativeTo(root)) return false;
  if (relative != nullptr) *relative = below;
  return true;
}

bool ResolveContentPath(const Kiv::File::Path& path, Kiv::PString* location,
                        Kiv::File::Path* relative) {
  if (location == nullptr || relative == nullptr) return false;
  if (GetInstallPath().Empty()) {
    location->Release();
    *relative = Kiv::File::Path();
    return false;
  }
  if (!location->Empty()) return true;

  Kiv::File::Path below;
  if (IsPathUnder(GetUserDataPath(), path, &below) && !below.Empty()) {
    *location = Kiv::PString(below.ExtractFirstPath());
    *relative = below;
    return true;
  }
  if (IsPathUnder(GetBuiltinPath(), path, &below) && !below.Empty()) {
    *location = Kiv::PString("builtin/" + below.ExtractFirstPath());
    *relative = below;
    return true;
  }
  for (const char* name : {"base", "data"}) {
    const Kiv::PString candidate(name);
    if (IsPathUnder(GetContentFolderPath(candidate), path, &below)) {
      *location = candidate;
      *relative = below;
      return true;
    }
  }
  return false;
}

bool IsInContentArea(const Kiv::File::Path& path) {
  return IsPathUnder(GetUserDataPath(), path, nullptr) ||
         IsPathUnder(GetLibraryCachePath(), path, nullptr) ||
         IsPathUnder(GetLibrariesPath(), path, nullptr);
}

Kiv::File::Path GetScriptCacheFolder(const KUID& kuid) {
  Kiv::File::Path folder = GetLibraryCachePath();
  if (folder.Empty()) return folder;
  if (!Kiv::File::IsDirectory(folder.Str())) Kiv::File::Md(folder.Str());
  folder.AddPath(KUIDToKeywordString(kuid));
  return folder;
}
