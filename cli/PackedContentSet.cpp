#include "cli/PackedContentSet.h"

#include <sys/stat.h>
#include <time.h>

#include <mutex>
#include <string>
#include <unordered_map>

#include "foundation/layout/FolderLayout.h"
#include "kiv/File.h"

namespace {

// The kept answers are few (one per content set); the bound only guards
// against a caller that asks about endless names.
constexpr size_t kMaxKept = 64;

struct KeptAnswer {
  dev_t device = 0;
  ino_t inode = 0;
  timespec changed{};
  bool exists = false;
};

struct KeptAnswers {
  std::mutex lock;
  std::unordered_map<std::string, KeptAnswer> byPath;
};

KeptAnswers& Kept() {
  static KeptAnswers* kept = new KeptAnswers();  // never destroyed: used until exit
  return *kept;
}

bool SameFolder(const KeptAnswer& kept, const struct stat& folder) {
  return kept.device == folder.st_dev && kept.inode == folder.st_ino &&
         kept.changed.tv_sec == folder.st_ctim.tv_sec &&
         kept.changed.tv_nsec == folder.st_ctim.tv_nsec;
}

}  // namespace

bool PackedFileExists(const Kiv::String& packed, time_t settledSeconds) {
  struct stat st;
  if (packed.empty() || ::stat(packed.c_str(), &st) == 0) return !packed.empty();
  const size_t slash = packed.rfind('/');
  const std::string parent =
      slash == Kiv::String::npos ? std::string(".") : slash == 0 ? std::string("/")
                                                                : packed.substr(0, slash);
  struct stat folder;
  if (::stat(parent.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
    return Kiv::File::Exists(packed);
  KeptAnswers& kept = Kept();
  {
    std::lock_guard<std::mutex> hold(kept.lock);
    const auto found = kept.byPath.find(packed);
    if (found != kept.byPath.end() && SameFolder(found->second, folder))
      return found->second.exists;
  }
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const bool exists = Kiv::File::Exists(packed);
  const bool settled = now.tv_sec - folder.st_ctim.tv_sec >= settledSeconds;
  std::lock_guard<std::mutex> hold(kept.lock);
  if (!settled) {
    kept.byPath.erase(packed);
    return exists;
  }
  if (kept.byPath.size() >= kMaxKept) kept.byPath.clear();
  kept.byPath[packed] = KeptAnswer{folder.st_dev, folder.st_ino, folder.st_ctim, exists};
  return exists;
}

bool IsPackedContentSet(const Kiv::PString& contentSet) {
  if (contentSet.Empty()) return false;
  const Kiv::File::Path setFolder = GetContentFolderPath(contentSet);
  if (setFolder.Empty()) return false;
  Kiv::String packed = setFolder.Str();
  while (packed.size() > 1 && packed.back() == '/') packed.pop_back();
  return PackedFileExists(packed + ".ja");
}
