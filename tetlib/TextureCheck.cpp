#include "tetlib/TextureCheck.h"

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "kiv/String.h"
#include "tetlib/DataManager.h"
#include "tetlib/ErrorHandler.h"
#include "tetlib/MessageText.h"
#include "tetlib/TextureSource.h"

namespace TETLib {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxDepth = 256;

struct Entry {
  std::string name;
  std::string lower;
  bool folder = false;
};

// One folder's entries, listed once and kept for the lookups of names in it.
class Listing {
 public:
  explicit Listing(const std::string& path) {
    std::error_code error;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
      std::error_code ignored;
      std::string name = it->path().filename().string();
      std::string lower = Kiv::AsciiLower(name);
      // A folder itself, not a link to one; the listing's own type answers
      // both without a look at the entry.
      const bool folder = !it->is_symlink(ignored) && it->is_directory(ignored);
      entries_.push_back(Entry{std::move(name), std::move(lower), folder});
    }
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
      return a.lower != b.lower ? a.lower < b.lower : a.name < b.name;
    });
    for (const Entry& entry : entries_) {
      exact_.insert(entry.name);
      lower_.emplace(entry.lower, entry.name);
    }
  }

  const std::vector<Entry>& Entries() const { return entries_; }

  // The entry named `name`, else one named so without regard to case (the
  // first in byte order); empty when there is none.
  std::string Find(const std::string& name) const {
    if (exact_.count(name) != 0) return name;
    const auto found = lower_.find(Kiv::AsciiLower(name));
    return found == lower_.end() ? std::string() : found->second;
  }

 private:
  std::vector<Entry> entries_;
  std::unordered_set<std::string> exact_;
  std::unordered_map<std::string, std::string> lower_;
};

bool IsPowerOfTwoOrZero(uint32_t value) {
  return (value & (value - 1)) == 0;
}

// The name without its last `suffix` (compared without regard to case), or
// empty when it does not end so (or is nothing but the suffix).
std::string_view StemOf(std::string_view name, std::string_view suffix) {
  if (name.size() <= suffix.size()) return {};
  const std::string_view tail = name.substr(name.size() - suffix.size());
  return Kiv::EqualsIgnoreCase(tail, suffix) ? name.substr(0, name.size() - suffix.size())
                                             : std::string_view();
}

struct Image {
  bool named = false;
  bool loaded = false;
  uint32_t width = 0;
  uint32_t height = 0;
};

class TextureFolderCheck {
 public:
  TextureFolderCheck(std::string assetFolder, int32_t build, bool convert)
      : assetFolder_(std::move(assetFolder)), build_(build), convert_(convert) {}

  bool Result() const { return result_; }

  // `relative`: the folder below the asset folder, "" or ending in "/".
  void CheckFolder(const std::string& relative, int depth) {
    const Listing listing(Full(relative));
    for (const Entry& entry : listing.Entries()) {
      if (entry.folder && depth < kMaxDepth) CheckFolder(relative + entry.name + "/", depth + 1);
      CheckFile(listing, relative, entry.name);
    }
  }

 private:
  std::string Full(const std::string& relative) const { return assetFolder_ + "/" + relative; }

  void Report(bool error, const char* key, std::initializer_list<MessageArg> args) {
    result_ = false;
    const Kiv::PString text = TetMessage(key, args);
    if (error) {
      Findings().ReportError(text);
    } else {
      Findings().ReportWarning(text);
    }
  }

  void CheckFile(const Listing& listing, const std::string& relative, const std::string& name) {
    const std::string path = relative + name;
    if (const std::string_view stem = StemOf(name, ".texture"); !stem.empty()) {
      if (listing.Find(std::string(stem) + ".texture.txt").empty()) {
        Report(build_ >= 290, "$tet_duplicatetexture", {path});
      }
      return;
    }
    if (!StemOf(name, ".convert-tex.txt").empty()) {
      Report(true, "$tet_texture_failedload", {path});
      return;
    }
    if (!StemOf(name, ".texture.txt").empty()) CheckSource(listing, relative, name);
  }

  void CheckSource(const Listing& listing, const std::string& relative, const std::string& name) {
    const std::string source = relative + name;
    TextureSourceNames names;
    if (!ReadTextureSourceNames(Full(source), &names)) return;
    if (names.nonAnsi) Report(true, "$tet_non_ansi_texture", {source});
    const Image primary =
        CheckImage(listing, relative, names.primary, source, "$tet_texture_missing_primary");
    const Image alpha =
        CheckImage(listing, relative, names.alpha, source, "$tet_texture_missing_alpha");
    if (primary.loaded && alpha.loaded &&
        (primary.width != alpha.width || primary.height != alpha.height)) {
      Report(true, "$tet_primaryalpha_notsamesize", {source});
    }
    const std::string compiled(StemOf(name, ".txt"));
    if (convert_ && listing.Find(compiled).empty()) {
      Report(true, "$tet_binary_texture_conversion_failed", {relative + compiled});
    }
  }

  Image CheckImage(const Listing& listing, const std::string& relative, const std::string& name,
                   const std::string& source, const char* missingKey) {
    Image image;
    if (name.empty()) return image;
    image.named = true;
    std::string found;
    if (!FindImage(listing, relative, name, &found)) {
      Kiv::File::Path written(relative + name);
      written.Normalize();
      Report(true, missingKey, {written.Str(), source});
      return image;
    }
    image.loaded = ReadImageSize(Full(found), &image.width, &image.height);
    if (!image.loaded) {
      Report(true, "$tet_texture_failedload", {found});
    } else if (!IsPowerOfTwoOrZero(image.width) || !IsPowerOfTwoOrZero(image.height)) {
      Report(true, "$tet_texture_notpower2", {found});
    }
    return image;
  }

  // Finds an image named by a source in `relative`; `found` is its path
  // relative to the asset folder, as the file system spells it.
  bool FindImage(const Listing& listing, const std::string& relative, const std::string& name,
                 std::string* found) const {
    Kiv::File::Path part(name);
    part.ReplaceForwardSlashes();
    if (part.IsAbsolute()) return false;
    if (part.Str().find('/') == std::string::npos) {
      const std::string entry = listing.Find(part.Str());
      if (entry.empty()) return false;
      *found = relative + entry;
      return true;
    }
    Kiv::File::Path inside(relative + part.Str());
    inside.Normalize();
    if (!inside.StaysInside()) return false;
    const Kiv::File::Path base(assetFolder_);
    Kiv::File::Path resolved(Kiv::File::Find::ResolveCase(Full(inside.Str())));
    if (resolved.Empty() || !resolved.MakeRelativeTo(base)) return false;
    *found = resolved.Str();
    return true;
  }

  const std::string assetFolder_;
  const int32_t build_;
  const bool convert_;
  bool result_ = true;
};

}  // namespace

bool CheckAssetTextures(const Kiv::File::Path& assetFolder, const Kiv::File::Path& folder) {
  Kiv::File::Path base = assetFolder;
  base.DelSlash();
  Kiv::File::Path start = folder;
  start.DelSlash();
  std::string relative;
  if (start.MakeRelativeTo(base) && !start.Empty()) relative = start.Str() + "/";
  const DataManager& manager = *DataManager::Instance();
  const int32_t build = static_cast<int32_t>(double(manager.GetAssetBuild()) * 100.0 + 0.1);
  TextureFolderCheck check(base.Str(), build, manager.GetConvertTextures());
  check.CheckFolder(relative, 0);
  return check.Result();
}

}  // namespace TETLib
