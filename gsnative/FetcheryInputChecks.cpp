#include "gsnative/FetcheryInputChecks.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "foundation/layout/FolderLayout.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TFile.h"
#include "kiv/DynamicBuffer.h"

namespace {

constexpr uint32_t kOpenReadPath = 32;
constexpr uint32_t kReadChunk = 64 * 1024;

bool IsScheme(const char* scheme, std::string_view name) {
  const std::string_view given(scheme);
  if (given.size() != name.size()) return false;
  for (size_t i = 0; i < given.size(); ++i) {
    char c = given[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != name[i]) return false;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path with its "%XX" escapes decoded (a "%" without two hex digits
// stays as it is).
std::string Decoded(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%' && i + 2 < path.size()) {
      const int high = HexValue(path[i + 1]);
      const int low = HexValue(path[i + 2]);
      if (high >= 0 && low >= 0) {
        out += char(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += path[i];
  }
  return out;
}

bool ClimbsOut(std::string_view path) {
  const std::string decoded = Decoded(path);
  size_t start = 0;
  while (start <= decoded.size()) {
    size_t end = decoded.find_first_of("/\\", start);
    if (end == std::string::npos) end = decoded.size();
    if (std::string_view(decoded).substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

Kiv::File::Path Resolved(const std::string& path) {
  std::error_code ignored;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ignored);
  if (resolved.empty()) return Kiv::File::Path(path);
  return Kiv::File::Path(resolved.string());
}

}  // namespace

const char* RefuseDownloadUrl(const UrlRecord& url, bool parsedWhole) {
  if (!parsedWhole) return "it is longer than a download URL may be";
  if (!IsScheme(url.scheme, "http") && !IsScheme(url.scheme, "https"))
    return "its scheme is not http or https";
  if (ClimbsOut(url.path)) return "its path climbs out of its folder with \"..\"";
  return nullptr;
}

Kiv::File::Path DownloadFolder() {
  Kiv::File::Path folder = GetCachePath();
  if (folder.Empty()) return folder;
  folder.AddPath("web");
  return folder;
}

bool IsInDownloadFolder(const Kiv::File::Path& folder, const Kiv::String& path) {
  if (folder.Empty() || path.empty()) return false;
  Kiv::File::Path below;
  if (!IsPathUnder(Resolved(folder.Str()), Resolved(path), &below)) return false;
  return !below.Empty();
}

AnswerLoad LoadFetcheryAnswer(const Kiv::String& path, Soup& soup) {
  TFile file;
  if (!file.Open(path, kOpenReadPath)) return AnswerLoad::kCannotRead;
  Kiv::DynamicBuffer bytes;
  TBuffer text(&bytes);
  uint8_t chunk[kReadChunk];
  for (;;) {
    const uint32_t n = file.ReadData(chunk, kReadChunk);
    if (n == 0) break;
    if (text.Tell() + uint64_t(n) > kMaxAnswerBytes) return AnswerLoad::kTooLarge;
    text.Write(chunk, n);
  }
  const bool readWhole =
      file.GetError() == TStream::kErrorNone && text.GetError() == TStream::kErrorNone;
  file.Close();
  if (!readWhole) return AnswerLoad::kCannotRead;
  text.Seek(0, SEEK_SET);
  Soup loaded;
  if (!TextSoup::Parse(loaded, text, false).Ok()) return AnswerLoad::kCannotRead;
  soup = std::move(loaded);
  return AnswerLoad::kLoaded;
}
