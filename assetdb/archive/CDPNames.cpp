#include "assetdb/archive/CDPNames.h"

#include "kiv/File.h"

namespace CDP {

namespace {

bool IsNameCharacter(char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("-&,+'._$ ()~").find(c) != std::string_view::npos;
}

constexpr const char* kAllowedTypes[] = {
    "txt", "bmp", "tga", "chump", "pm",      "im",  "kin", "wav", "jpg", "jpeg", "gnd",
    "ref", "tso", "obs", "trk",   "texture", "bmk", "dat", "gs",  "gse", "html", "htm",
    "evt", "lm",  "mp3", "lst",   "pfx",     "tfx", "avi", "wmv", "lyr", "trc",  "srt"};
static_assert(sizeof(kAllowedTypes) / sizeof(kAllowedTypes[0]) == 33);

}  // namespace

bool IsValidFileName(std::string_view name) {
  if (name.empty()) return false;
  const char first = name.front();
  if (first == ' ' || first == '.' || first == '~') return false;
  if (name.back() == ' ') return false;
  for (char c : name) {
    if (!IsNameCharacter(c)) return false;
  }
  return true;
}

bool IsValidRelativePath(std::string_view path) {
  bool onlyDots = true;  // Nothing but dots (or nothing) since the last boundary.
  for (char c : path) {
    if (c == '/' || c == '\\') {
      if (onlyDots) return false;
      onlyDots = true;
      continue;
    }
    if (c != '.') onlyDots = false;
  }
  return true;
}

bool IsAllowedFileType(std::string_view path) {
  const Kiv::File::Path file(path);
  for (const char* type : kAllowedTypes) {
    if (file.IsExt(type)) return true;
  }
  return false;
}

}  // namespace CDP
