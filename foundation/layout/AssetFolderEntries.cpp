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

void Search(RealFolder& realFolder, const fs::path& folder, uint32_t depth,
            std::vector<std::string>& found) {
  if (depth > kMaxEntrySearchDepth) return;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code statusError;
    const fs::path& path = it->path();
    const fs::file_status own = it->symlink_status(statusError);
    if (statusError) continue;
    if (fs::is_directory(own)) {
      Search(realFolder, path, depth + 1, found);
      if (realFolder.Failed()) return;
      continue;
    }
    if (fs::is_symlink(own)) {
      const fs::path target = fs::canonical(path, statusError);
      if (statusError) continue;
      const fs::path* real = realFolder.Get();
      if (real == nullptr) return;
      if (!IsInside(*real, target)) {
        found.push_back(LinkLeavesFolderText(path.string()));
        continue;
      }
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

std::vector<std::string> RefusedFolderEntries(const std::string& folder) {
  // A folder whose real path cannot be worked out yields nothing.
  std::vector<std::string> found;
  RealFolder realFolder{fs::path(folder)};
  Search(realFolder, fs::path(folder), 0, found);
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
