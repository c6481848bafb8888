#include "vaddaemon/TextureSourceNames.h"

#include <cstdio>
#include <filesystem>
#include <string_view>

#include "foundation/base/LogMessage.h"
#include "foundation/layout/LeftoverTextureSources.h"
#include "kiv/File.h"
#include "kiv/String.h"
#include "vaddaemon/FolderTree.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kCompiled = ".texture";
constexpr std::string_view kWriting = ".tmp";

// True when `name` ends in `suffix`, compared without regard to ASCII case.
bool EndsWithIgnoringCase(const std::string& name, std::string_view suffix) {
  return name.size() > suffix.size() &&
         Kiv::EqualsIgnoreCase(std::string_view(name).substr(name.size() - suffix.size()), suffix);
}

// Whether `text` is one or more decimal digits.
bool Digits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Whether `name` is "<name>.texture.<pid>-<n>.tmp".
bool IsConversionTemporary(std::string_view name) {
  if (!name.ends_with(kWriting)) return false;
  name.remove_suffix(kWriting.size());
  const size_t dash = name.rfind('-');
  if (dash == std::string_view::npos || !Digits(name.substr(dash + 1))) return false;
  const size_t dot = name.rfind('.', dash);
  if (dot == std::string_view::npos || !Digits(name.substr(dot + 1, dash - dot - 1))) return false;
  return EndsWithIgnoringCase(std::string(name.substr(0, dot)), kCompiled);
}

}  // namespace

uint32_t GiveTextureSourceNamesBack(const std::string& folder) {
  uint32_t renamed = 0;
  for (const LeftoverTextureSource& leftover :
       GiveLeftoverTextureSourcesBack(folder, kMaxFolderDepth)) {
    if (leftover.error != 0) continue;
    LogMessage("vaddaemon> gave the texture source %s its name back", leftover.source.c_str());
    ++renamed;
  }
  return renamed;
}

std::set<std::string> ConversionTemporaries(const std::string& folder) {
  std::set<std::string> found;
  auto collect = [&](const fs::path& in, const std::string& name) {
    if (IsConversionTemporary(name)) found.insert((in / name).string());
  };
  ForEachFileBelow(fs::path(folder), kMaxFolderDepth, collect);
  return found;
}

uint32_t RemoveConversionTemporaries(const std::string& folder, const std::set<std::string>& kept) {
  uint32_t removed = 0;
  for (const std::string& path : ConversionTemporaries(folder)) {
    if (kept.count(path) != 0 || std::remove(path.c_str()) != 0) continue;
    LogMessage("vaddaemon> removed %s, left by a conversion cut short", path.c_str());
    ++removed;
  }
  return removed;
}
