#include "foundation/layout/AssetConfigFile.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "kiv/File.h"
#include "kiv/String.h"

namespace {

constexpr std::array<std::string_view, 2> kConfigNames = {"config.chump", "config.txt"};

struct Listing {
  // Per wanted name: the entries equal to it but for letter case, sorted.
  std::array<std::vector<std::string>, kConfigNames.size()> matches;
};

void Take(std::string_view entry, Listing& listing) {
  for (size_t i = 0; i < kConfigNames.size(); ++i) {
    if (Kiv::EqualsIgnoreCase(entry, kConfigNames[i])) listing.matches[i].emplace_back(entry);
  }
}

void SortMatches(Listing& listing) {
  for (std::vector<std::string>& found : listing.matches) std::sort(found.begin(), found.end());
}

bool ListFolder(const std::string& folder, const std::vector<std::string>* entries,
                Listing& listing) {
  if (entries != nullptr && !entries->empty()) {
    for (const std::string& entry : *entries) Take(entry, listing);
    SortMatches(listing);
    return true;
  }
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return false;
  while (const dirent* entry = ::readdir(dir)) Take(entry->d_name, listing);
  ::closedir(dir);
  SortMatches(listing);
  return true;
}

bool Viewable(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string Join(const std::string& folder, std::string_view name) {
  Kiv::File::Path path(folder);
  path.AddPath(name);
  return path.Str();
}

// Whether the wanted name, not viewable as spelled, is in the folder in
// another spelling. An entry of the exact spelling (a link leading nowhere)
// rules the others out; else each is tried in byte order.
bool PresentInOtherCase(const std::string& folder, std::string_view wanted,
                        const std::vector<std::string>& matches) {
  if (std::find(matches.begin(), matches.end(), wanted) != matches.end()) return false;
  for (const std::string& spelling : matches) {
    if (Viewable(Join(folder, spelling))) return true;
  }
  return false;
}

}  // namespace

std::string FindAssetConfigFile(const std::string& folder, Kiv::PString* name,
                                const std::vector<std::string>* entries) {
  Listing listing;
  bool listed = false;
  bool tried = false;
  // A listing the caller holds is read first: a name it does not show in
  // any spelling is not looked for on disk.
  const bool given = entries != nullptr && !entries->empty();
  if (given) {
    listed = ListFolder(folder, entries, listing);
    tried = true;
  }
  for (size_t i = 0; i < kConfigNames.size(); ++i) {
    if (given && listing.matches[i].empty()) continue;
    const std::string path = Join(folder, kConfigNames[i]);
    // The exact spelling needs no listing; the folder is listed at most
    // once, the first time a name is not there as given.
    bool found = Viewable(path);
    if (!found) {
      if (!tried) listed = ListFolder(folder, entries, listing);
      tried = true;
      found = listed ? PresentInOtherCase(folder, kConfigNames[i], listing.matches[i])
                     : Kiv::File::Exists(path);
    }
    if (!found) continue;
    *name = Kiv::PString(kConfigNames[i]);
    return path;
  }
  return std::string();
}
