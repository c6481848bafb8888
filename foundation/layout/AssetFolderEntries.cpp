#include "foundation/layout/AssetFolderEntries.h"

#include <filesystem>
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

// The same for an entry that is no link, from the type its listing gave.
bool IsSpecialEntry(const fs::directory_entry& entry) {
  std::error_code ec;
  return entry.is_fifo(ec) || entry.is_socket(ec) || entry.is_block_file(ec) ||
         entry.is_character_file(ec);
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

// `names`, when given, receives the names of the entries of `folder` itself;
// it is cleared when the listing fails part way.
void Search(RealFolder& realFolder, const fs::path& folder, uint32_t depth,
            std::vector<std::string>& found, std::vector<std::string>* names) {
  if (depth > kMaxEntrySearchDepth) return;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    std::error_code statusError;
    const fs::path& path = it->path();
    if (names != nullptr) names->push_back(path.filename().string());
    // The listing tells the type of most entries, so a plain file or folder
    // costs no look of its own; only a link's target is looked at.
    const bool link = it->is_symlink(statusError);
    if (statusError) continue;
    if (!link) {
      const bool folderEntry = it->is_directory(statusError);
      if (statusError) continue;
      if (folderEntry) {
        Search(realFolder, path, depth + 1, found, nullptr);
        if (realFolder.Failed()) {
          if (names != nullptr) names->clear();
          return;
        }
        continue;
      }
      if (IsSpecialEntry(*it)) found.push_back(SpecialFileText(path.string()));
      continue;
    }
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
  if (ec && names != nullptr) names->clear();
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
