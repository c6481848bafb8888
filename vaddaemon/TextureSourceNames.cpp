#include "vaddaemon/TextureSourceNames.h"

#include <cstdio>
#include <filesystem>
#include <string_view>

#include "foundation/base/LogMessage.h"
#include "kiv/File.h"
#include "kiv/String.h"
#include "vaddaemon/FolderTree.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kTemporary = ".convert-tex.txt";

// True when `name` ends in `suffix`, compared without regard to ASCII case.
bool EndsWithIgnoringCase(const std::string& name, std::string_view suffix) {
  return name.size() > suffix.size() &&
         Kiv::EqualsIgnoreCase(std::string_view(name).substr(name.size() - suffix.size()), suffix);
}

uint32_t GiveNamesBack(const fs::path& folder, uint32_t depth) {
  uint32_t renamed = 0;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const fs::file_status own = it->symlink_status(error);
    if (error) break;
    if (fs::is_directory(own)) {
      if (depth < kMaxFolderDepth) renamed += GiveNamesBack(it->path(), depth + 1);
      continue;
    }
    const std::string name = it->path().filename().string();
    if (!fs::is_regular_file(own) || !EndsWithIgnoringCase(name, kTemporary)) continue;
    const fs::path source =
        folder / (name.substr(0, name.size() - kTemporary.size()) + ".texture.txt");
    const std::string present = Kiv::File::Find::ResolveCase(Kiv::String(source.string()));
    if (!present.empty()) continue;
    if (std::rename(it->path().c_str(), source.c_str()) != 0) continue;
    LogMessage("vaddaemon> gave the texture source %s its name back", source.c_str());
    ++renamed;
  }
  return renamed;
}

}  // namespace

uint32_t GiveTextureSourceNamesBack(const std::string& folder) {
  return GiveNamesBack(fs::path(folder), 0);
}
