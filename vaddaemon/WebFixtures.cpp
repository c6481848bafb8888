#include "vaddaemon/WebFixtures.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "assetdb/protocol/URLRecord.h"
#include "foundation/soup/Soup.h"
#include "kiv/PString.h"

namespace WebFixtures {

namespace {

// True when `relative` is a plain relative path: not empty, not rooted, no
// "..", no empty last component and no NUL.
bool Acceptable(std::string_view relative) {
  if (relative.empty() || relative.front() == '/' || relative.back() == '/') return false;
  if (relative.find('\0') != std::string_view::npos) return false;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string_view::npos) end = relative.size();
    if (relative.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

bool IsRegularFile(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(path, ignored);
}

}  // namespace

const std::string& Folder() {
  static const std::string folder = []() {
    const char* text = std::getenv("VADDAEMON_WEB_FIXTURES");
    return std::string(text != nullptr ? text : "");
  }();
  return folder;
}

std::string Lookup(const std::string& folder, std::string_view url) {
  if (folder.empty()) return std::string();
  UrlRecord record;
  const std::string text(url);
  ParseUrl(text.c_str(), record);
  std::string_view path(record.path);
  while (!path.empty() && path.front() == '/') path.remove_prefix(1);
  if (!Acceptable(path)) return std::string();
  const std::string query(record.query);
  const std::string base = folder + "/" + std::string(path);
  if (!query.empty() && query.find('/') == std::string::npos && IsRegularFile(base + query))
    return base + query;
  return IsRegularFile(base) ? base : std::string();
}

FixtureStatus StatusOf(const std::string& fixture) {
  FixtureStatus status;
  const std::string sidecar = fixture + ".webstatus.txt";
  Soup soup;
  if (fixture.empty() || !IsRegularFile(sidecar) ||
      !Soup::LoadFromFile(Kiv::PString(), sidecar, soup, true)) {
    return status;
  }
  status.pending = soup.GetNamedTagAsInt(Kiv::PString("pending"), 0) != 0;
  status.name = soup.GetNamedTag(Kiv::PString("name")).Str();
  return status;
}

}  // namespace WebFixtures
