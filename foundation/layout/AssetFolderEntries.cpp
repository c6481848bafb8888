#include "foundation/layout/AssetFolderEntries.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool IsInside(const fs::path& folder, const fs::path& target) {
  auto t = target.begin();
  for (const fs::path& part : folder) {
    if (part.empty()) continue;  // The trailing "" of a folder ending in "/".
    if (t == target.end() || *t != part) return false;
    ++t;
  }
  return true;
}

bool IsSpecial(const fs::file_status& status) {
  return fs::is_fifo(status) || fs::is_socket(status) || fs::is_block_file(status) ||
         fs::is_character_file(status);
}

// The real path of the folder searched, worked out on the first link met:
// a folder without links needs none. `failed` is set when it cannot be.
class RealFolder {
 public:
  explicit RealFolder(const fs::path& folder) : folder_(folder) {}

  const fs::path* Get() {
    if (!known_) {
      known_ = true;
      std::error_code ec;
      real_ = fs::canonical(folder_, ec);
      failed_ = bool(ec);
    }
    return failed_ ? nullptr : &real_;
  }
  bool Failed() const { return known_ && failed_; }

 private:
  fs::path folder_;
  fs::path real_;
  bool known_ = false;
  bool failed_ = false;
};

// The kind of a listed entry, from the type the listing gave (a look of its
// own only on a file system that gives none).
enum class EntryKind { kPlain, kFolder, kLink, kSpecial, kUnknown };

EntryKind KindOfMode(mode_t mode) {
  if (S_ISLNK(mode)) return EntryKind::kLink;
  if (S_ISDIR(mode)) return EntryKind::kFolder;
  if (S_ISFIFO(mode) || S_ISSOCK(mode) || S_ISBLK(mode) || S_ISCHR(mode))
    return EntryKind::kSpecial;
  return EntryKind::kPlain;
}

EntryKind KindOf(const dirent& entry, const fs::path& folder) {
  switch (entry.d_type) {
    case DT_LNK:
      return EntryKind::kLink;
    case DT_DIR:
      return EntryKind::kFolder;
    case DT_FIFO:
    case DT_SOCK:
    case DT_BLK:
    case DT_CHR:
      return EntryKind::kSpecial;
    case DT_UNKNOWN:
      break;
    default:
      return EntryKind::kPlain;
  }
  struct stat st;
  if (::lstat((folder / entry.d_name).c_str(), &st) != 0) return EntryKind::kUnknown;
  return KindOfMode(st.st_mode);
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// `names`, when given, receives the names of the entries of `folder` itself;
// it is cleared when the listing fails part way. The listing is read with
// readdir, whose entry types spare a look at each plain file or folder; only
// a link's target is looked at.
void Search(RealFolder& realFolder, const fs::path& folder, uint32_t depth,
            std::vector<std::string>& found, std::vector<std::string>* names) {
  if (depth > kMaxEntrySearchDepth) return;
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0 && names != nullptr) names->clear();
      return;
    }
    if (IsDotEntry(entry->d_name)) continue;
    if (names != nullptr) names->emplace_back(entry->d_name);
    const EntryKind kind = KindOf(*entry, folder);
    if (kind == EntryKind::kPlain || kind == EntryKind::kUnknown) continue;
    const fs::path path = folder / entry->d_name;
    if (kind == EntryKind::kFolder) {
      Search(realFolder, path, depth + 1, found, nullptr);
      if (realFolder.Failed()) {
        if (names != nullptr) names->clear();
        return;
      }
      continue;
    }
    if (kind == EntryKind::kSpecial) {
      found.push_back(SpecialFileText(path.string()));
      continue;
    }
    std::error_code statusError;
    const fs::path target = fs::canonical(path, statusError);
    if (statusError) continue;
    const fs::path* real = realFolder.Get();
    if (real == nullptr) {
      if (names != nullptr) names->clear();
      return;
    }
    if (!IsInside(*real, target)) {
      found.push_back(LinkLeavesFolderText(path.string()));
      continue;
    }
    if (IsSpecial(fs::status(path, statusError)) && !statusError)
      found.push_back(SpecialFileText(path.string()));
  }
}

}  // namespace

bool LeadsOutOfFolder(const std::string& folder, const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(path, ec)) || ec) return false;
  const fs::path target = fs::canonical(path, ec);
  if (ec) return false;
  const fs::path realFolder = fs::canonical(folder, ec);
  return ec || !IsInside(realFolder, target);
}

std::vector<std::string> RefusedFolderEntries(const std::string& folder,
                                              std::vector<std::string>* names) {
  // A folder whose real path cannot be worked out yields nothing.
  std::vector<std::string> found;
  if (names != nullptr) names->clear();
  RealFolder realFolder{fs::path(folder)};
  Search(realFolder, fs::path(folder), 0, found, names);
  if (realFolder.Failed()) found.clear();
  return found;
}

std::string LinkLeavesFolderText(const std::string& path) {
  return "The file '" + path +
         "' is a link to a file outside the asset folder and is refused; copy the file into "
         "the folder instead.";
}

std::string SpecialFileText(const std::string& path) {
  return "The file '" + path + "' is not a plain file (a pipe, socket or device) and is refused.";
}
