// AssetFolderNames (see AssetFolderNames.h).
#include "vaddaemon/AssetFolderNames.h"

#include <charconv>
#include <cstdint>
#include <vector>

#include "vaddaemon/AssetStore.h"

namespace {

// Splits at single blanks; false when a part is empty.
bool SplitWords(std::string_view text, std::vector<std::string_view>* words) {
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = text.find(' ', start);
    const size_t stop = end == std::string_view::npos ? text.size() : end;
    if (stop == start) return false;
    words->push_back(text.substr(start, stop - start));
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
  return false;
}

bool ParseInt(std::string_view text, int32_t* value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, *value);
  return result.ec == std::errc() && result.ptr == end;
}

// The KUID a keyword text names, or the null KUID.
KUID ParseKeywordName(std::string_view name) {
  std::vector<std::string_view> words;
  if (!SplitWords(name, &words)) return kNullKUID;
  KUID kuid{-1, -1, 0};
  if (words.size() == 3 && words[0] == "kuid") {
    if (!ParseInt(words[1], &kuid.userId) || !ParseInt(words[2], &kuid.contentId)) return kNullKUID;
    kuid.version = kuid.userId < 0 ? 127 : 0;
    return kuid;
  }
  if (words.size() == 4 && words[0] == "kuid2") {
    if (!ParseInt(words[1], &kuid.userId) || !ParseInt(words[2], &kuid.contentId) ||
        !ParseInt(words[3], &kuid.version))
      return kNullKUID;
    return kuid;
  }
  return kNullKUID;
}

}  // namespace

std::string AssetFolderName(const KUID& kuid) {
  if (kuid.IsNull() || !kuid.IsValid()) return {};
  return KUIDToKeywordString(kuid);
}

std::string NextAssetFolderName(const KUID& kuid, std::string_view current) {
  std::string base = AssetFolderName(kuid);
  if (base.empty() || current != base) return base;
  return base + "~";
}

std::string TakenFolderName(std::string_view editFolder) {
  return std::string(AssetStore::kStagingPrefix) + "take-" + std::string(editFolder);
}

bool IsStagingFolderName(std::string_view name) {
  const std::string_view prefix = AssetStore::kStagingPrefix;
  return name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix;
}

KUID AssetOfFolderName(std::string_view name) {
  if (!name.empty() && name.back() == '~') name.remove_suffix(1);
  const KUID kuid = ParseKeywordName(name);
  if (kuid.IsNull() || AssetFolderName(kuid) != name) return kNullKUID;
  return kuid;
}

bool IsStoreFolderName(std::string_view name) {
  return IsStagingFolderName(name) || !AssetOfFolderName(name).IsNull();
}
