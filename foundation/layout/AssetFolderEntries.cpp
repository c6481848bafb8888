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

void Search(const fs::path& realFolder, const fs::path& folder, uint32_t depth,
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
      continue;
    }
    if (fs::is_symlink(own)) {
      const fs::path target = fs::canonical(path, statusError);
      if (statusError) continue;
      if (!IsInside(realFolder, target)) {
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
  std::vector<std::string> found;
  std::error_code ec;
  const fs::path realFolder = fs::canonical(folder, ec);
  if (ec) return found;
  Search(realFolder, fs::path(folder), 0, found);
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
