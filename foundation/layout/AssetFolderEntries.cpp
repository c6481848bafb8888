#include "foundation/layout/AssetFolderEntries.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>

#include "kiv/FileBeneath.h"
#include "kiv/FileConfinement.h"

namespace fs = std::filesystem;

namespace {

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

// What a link refuses, judged by opening it as a read would
// (Kiv::BeneathFolder); empty when nothing.
std::string LinkRefusal(const Kiv::BeneathFolder& root, const std::string& relative,
                        const std::string& path) {
  const Kiv::BeneathFolder::Opened opened = root.OpenFile(relative);
  if (opened.fd >= 0) ::close(opened.fd);
  if (opened.outcome == Kiv::BeneathFolder::Outcome::kLeavesFolder)
    return LinkLeavesFolderText(path);
  if (opened.outcome == Kiv::BeneathFolder::Outcome::kNotPlain) return SpecialFileText(path);
  return std::string();
}

// Lists `folder`, `relative` below the root, `depth` levels down.
// `names`, when given, receives the names of the entries of `folder` itself;
// it is cleared when the listing fails part way. The listing is read with
// readdir, whose entry types spare a look at each plain file or folder; only
// a link is opened.
void Search(const Kiv::BeneathFolder& root, const fs::path& folder, const std::string& relative,
            uint32_t depth, std::vector<std::string>& found, std::vector<std::string>* names) {
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
    const std::string below = relative + entry->d_name;
    if (kind == EntryKind::kFolder) {
      Search(root, path, below + "/", depth + 1, found, nullptr);
      continue;
    }
    if (kind == EntryKind::kSpecial) {
      found.push_back(SpecialFileText(path.string()));
      continue;
    }
    const std::string refusal = LinkRefusal(root, below, path.string());
    if (!refusal.empty()) found.push_back(refusal);
  }
}

}  // namespace

bool LeadsOutOfFolder(const std::string& folder, const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(path, ec)) || ec) return false;
  Kiv::BeneathFolder root;
  if (!root.Open(folder)) return true;
  // The link by its place below the folder's real path.
  const fs::path parent = fs::canonical(fs::path(path).parent_path(), ec);
  if (ec || root.RealPath().empty()) return true;
  const fs::path relative = parent.lexically_relative(root.RealPath());
  if (relative.empty() || *relative.begin() == "..") return true;
  const Kiv::BeneathFolder::Opened opened =
      root.OpenFile((relative / fs::path(path).filename()).string());
  if (opened.fd >= 0) ::close(opened.fd);
  return opened.outcome == Kiv::BeneathFolder::Outcome::kLeavesFolder;
}

std::vector<std::string> RefusedFolderEntries(const std::string& folder,
                                              std::vector<std::string>* names) {
  std::vector<std::string> found;
  if (names != nullptr) names->clear();
  Kiv::BeneathFolder root;
  if (!root.Open(folder)) return found;
  Search(root, fs::path(folder), std::string(), 0, found, names);
  return found;
}

std::vector<std::string> RefusedReadTexts(const Kiv::ConfinedFolder& folder) {
  std::vector<std::string> texts;
  for (const Kiv::ConfinedFolder::Refusal& refusal : folder.Refusals()) {
    texts.push_back(refusal.why == Kiv::ConfinedFolder::Why::kLeavesFolder
                        ? LinkLeavesFolderText(refusal.path)
                        : SpecialFileText(refusal.path));
  }
  return texts;
}

std::string LinkLeavesFolderText(const std::string& path) {
  return "The file '" + path +
         "' is a link to a file outside the asset folder and is refused; copy the file into "
         "the folder instead.";
}

std::string SpecialFileText(const std::string& path) {
  return "The file '" + path + "' is not a plain file (a pipe, socket or device) and is refused.";
}
