// Kiv::File::Find::ResolveCase: finds a path whose components were given in
// another letter case than the file system holds them.
//
// Each component is first taken as given; only when that does not exist is
// its folder listed for entries equal but for ASCII case, tried in byte-wise
// order until the rest of the path is found below one. So an exact name
// always wins.

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "kiv/File.h"

namespace Kiv {

namespace {

bool Present(const String& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The entries of `folder` equal to `name` without regard to case, sorted.
std::vector<String> FindInFolder(const String& folder, std::string_view name) {
  std::vector<String> found;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return found;
  while (const dirent* entry = ::readdir(dir)) {
    if (EqualsIgnoreCase(entry->d_name, name)) found.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end());
  return found;
}

// Resolves parts[index...] below `resolved` (which ends in "/" or is
// empty). Folders that differ only in case are each tried in turn.
String ResolveFrom(const std::vector<std::string_view>& parts, size_t index, const String& resolved,
                   bool folder) {
  if (index == parts.size()) {
    String out = resolved;
    if (!folder && out.size() > 1) out.pop_back();
    struct stat st;
    return ::stat(out.c_str(), &st) == 0 ? out : String();
  }
  const std::string_view part = parts[index];
  String exact = resolved;
  exact.append(part);
  std::vector<String> names;
  if (part == "." || part == ".." || Present(exact)) {
    names.emplace_back(part);
  } else {
    names = FindInFolder(resolved, part);
  }
  for (const String& name : names) {
    String found = ResolveFrom(parts, index + 1, resolved + name + "/", folder);
    if (!found.empty()) return found;
  }
  return String();
}

}  // namespace

String File::Find::ResolveCase(const String& path) {
  // Longer paths cannot be opened anyway; the bound also bounds the walk.
  if (path.empty() || path.size() >= PATH_MAX) return String();
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return path;

  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == String::npos) end = path.size();
    if (end > start) parts.push_back(std::string_view(path).substr(start, end - start));
    start = end + 1;
  }
  if (parts.empty()) return String();
  // When the folder holding the last component exists as given, the walk
  // would take every earlier component exactly as given: start at the last.
  String parent = path.front() == '/' ? "/" : "";
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    parent.append(parts[i]);
    parent.push_back('/');
  }
  if (parts.size() > 1 && ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return ResolveFrom(parts, parts.size() - 1, parent, path.back() == '/');
  return ResolveFrom(parts, 0, path.front() == '/' ? "/" : "", path.back() == '/');
}

}  // namespace Kiv
