#include "foundation/layout/LeftoverTextureSources.h"

#include <fcntl.h>

#include <cerrno>
#include <string_view>

#include "foundation/base/RenameAtNoReplace.h"
#include "kiv/File.h"
#include "kiv/String.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kTemporary = ".convert-tex.txt";

void Walk(const fs::path& folder, uint32_t depth, uint32_t maxDepth, const FileBelowVisit& visit) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const fs::file_status own = it->symlink_status(error);
    if (error) break;
    if (fs::is_directory(own)) {
      if (depth < maxDepth) Walk(it->path(), depth + 1, maxDepth, visit);
      continue;
    }
    if (fs::is_regular_file(own)) visit(folder, it->path().filename().string());
  }
}

}  // namespace

void ForEachFileBelow(const fs::path& folder, uint32_t maxDepth, const FileBelowVisit& visit) {
  Walk(folder, 0, maxDepth, visit);
}

std::vector<LeftoverTextureSource> GiveLeftoverTextureSourcesBack(const std::string& folder,
                                                                  uint32_t maxDepth) {
  std::vector<LeftoverTextureSource> found;
  ForEachFileBelow(fs::path(folder), maxDepth, [&](const fs::path& in, const std::string& name) {
    if (name.size() <= kTemporary.size() ||
        !Kiv::EqualsIgnoreCase(std::string_view(name).substr(name.size() - kTemporary.size()),
                               kTemporary))
      return;
    LeftoverTextureSource leftover;
    leftover.temporary = (in / name).string();
    leftover.source =
        (in / (name.substr(0, name.size() - kTemporary.size()) + ".texture.txt")).string();
    const std::string present = Kiv::File::Find::ResolveCase(Kiv::String(leftover.source));
    if (!present.empty()) {
      leftover.source = present;
      leftover.error = EEXIST;
    } else {
      leftover.error = RenameAtNoReplace(AT_FDCWD, leftover.temporary.c_str(), AT_FDCWD,
                                         leftover.source.c_str());
    }
    found.push_back(std::move(leftover));
  });
  return found;
}
