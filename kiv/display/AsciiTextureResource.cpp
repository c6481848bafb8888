#include "kiv/display/AsciiTextureResource.h"

#include <algorithm>
#include <charconv>

#include "kiv/File.h"
#include "kiv/Log.h"
#include "kiv/basics/MemoryFile.h"
#include "kiv/display/DisplayTexture.h"

namespace Kiv {

namespace {

constexpr uint32_t kFailed = 1;
constexpr uint64_t kMaxDescriptionBytes = 1u << 20;

struct Word {
  const char* text;
  int value;
};

constexpr Word kHints[] = {{"none", 0}, {"dxt1", 1}, {"dxt3", 2}, {"dxt5", 3}, {"auto", -1}};
constexpr Word kAlphaHints[] = {{"opaque", 0}, {"mask", 1}, {"blend", 2}, {"auto", -1}};
constexpr Word kFilters[] = {{"none", TextureSettings::kNone},
                             {"point", TextureSettings::kPoint},
                             {"linear", TextureSettings::kLinear}};
constexpr Word kTiles[] = {{"st", 3}, {"s", 1}, {"t", 2}, {"none", 0}};
constexpr Word kFlags[] = {{"0", 0}, {"1", 1}};

template <size_t N>
bool Lookup(const Word (&words)[N], std::string_view text, int* value) {
  for (const Word& word : words) {
    if (!EqualsIgnoreCase(word.text, text)) continue;
    *value = word.value;
    return true;
  }
  return false;
}

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return std::string_view();
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Calls `take(key, value)` for each "Key=Value" line of a description (both
// trimmed, empty lines skipped); a line without "=" or that `take` refuses
// stops the walk and is answered (its number in `*lineNumber`). Empty when
// every line was taken.
template <typename Take>
std::string_view WalkDescription(std::string_view text, uint32_t* lineNumber, Take take) {
  *lineNumber = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++*lineNumber;
    if (line.empty()) continue;
    const size_t equals = line.find('=');
    if (equals != std::string_view::npos &&
        take(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))))
      continue;
    return line;
  }
  return std::string_view();
}

// The full path of a picture named in a description in `folder`; false
// when the name leaves the folder.
bool PicturePath(const String& folder, const String& name, String* path) {
  File::Path relative(name);
  relative.ReplaceForwardSlashes();
  if (!relative.StaysInside()) return false;
  File::Path full(folder);
  full.AddPath(relative.Str());
  *path = full.Str();
  return true;
}

}  // namespace

AsciiTextureResource::AsciiTextureResource(const PString& name, ResourceDatabase* database)
    : TextureResource(name, database) {}

AsciiTextureResource::~AsciiTextureResource() = default;

bool AsciiTextureResource::SetOption(std::string_view key, std::string_view value) {
  int number = 0;
  if (EqualsIgnoreCase(key, "Primary")) {
    primary_ = String(value);
    return !value.empty();
  }
  if (EqualsIgnoreCase(key, "Alpha")) {
    alpha_ = String(value);
    return true;
  }
  if (EqualsIgnoreCase(key, "Hint")) {
    if (!Lookup(kHints, value, &number)) return false;
    compressionHint_ = static_cast<int8_t>(number);
    return true;
  }
  if (EqualsIgnoreCase(key, "AlphaHint")) {
    if (!Lookup(kAlphaHints, value, &number)) return false;
    alphaClass_ = static_cast<int8_t>(number);
    alphaHinted_ = number >= 0;
    return true;
  }
  if (EqualsIgnoreCase(key, "Tile")) {
    if (!Lookup(kTiles, value, &number)) return false;
    settings_.wrapS = (number & 1) != 0 ? TextureSettings::kRepeat : TextureSettings::kClamp;
    settings_.wrapT = (number & 2) != 0 ? TextureSettings::kRepeat : TextureSettings::kClamp;
    return true;
  }
  uint32_t* filter = EqualsIgnoreCase(key, "MagFilter")   ? &settings_.magFilter
                     : EqualsIgnoreCase(key, "MinFilter") ? &settings_.minFilter
                     : EqualsIgnoreCase(key, "MipFilter") ? &settings_.mipFilter
                     : EqualsIgnoreCase(key, "AutoMip")   ? &settings_.autoMip
                                                          : nullptr;
  if (filter != nullptr) {
    if (!Lookup(kFilters, value, &number)) return false;
    *filter = static_cast<uint32_t>(number);
    return true;
  }
  if (EqualsIgnoreCase(key, "Anisotropy")) {
    uint32_t level = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), level);
    if (error != std::errc() || end != value.data() + value.size() || level < 1 || level > 16)
      return false;
    settings_.anisotropy = level;
    return true;
  }
  uint32_t* flag = EqualsIgnoreCase(key, "NormalMap")   ? &normalMap_
                   : EqualsIgnoreCase(key, "ModifyMap") ? &modifyMap_
                                                        : nullptr;
  if (flag != nullptr) {
    if (!Lookup(kFlags, value, &number)) return false;
    *flag = static_cast<uint32_t>(number);
  }
  return true;
}

bool AsciiTextureResource::LoadTextureOptions(const ConfigData& config) {
  for (const ConfigData::Entry& entry : config.Entries()) {
    if (SetOption(entry.key, Trim(entry.text))) continue;
    Log::Printf("AsciiTextureResource::LoadTextureOptions> '%s': bad value '%s' for %s",
                GetName().c_str(), entry.text.c_str(), entry.key.c_str());
    return false;
  }
  return true;
}

uint32_t AsciiTextureResource::LoadTxt(const char* path) {
  MemoryFile file;
  if (path == nullptr || !file.Open(path, kMaxDescriptionBytes)) {
    lastError_ = "the description cannot be read";
    return kFailed;
  }
  File::Path folder(path);
  folder.DelName();
  folder_ = folder.Str();
  const std::string_view text(reinterpret_cast<const char*>(file.Base()), file.Size());
  uint32_t lineNumber = 0;
  const std::string_view refused = WalkDescription(
      text, &lineNumber,
      [this](std::string_view key, std::string_view value) { return SetOption(key, value); });
  if (!refused.empty()) {
    Log::Printf("AsciiTextureResource::LoadTxt> %s:%u: cannot read '%.*s'", path, lineNumber,
                int(refused.size()), refused.data());
    lastError_ = StringPrintf("line %u of the description cannot be read: '%.*s'", lineNumber,
                              int(refused.size()), refused.data());
    return kFailed;
  }
  if (!primary_.empty()) return 0;
  Log::Printf("AsciiTextureResource::LoadTxt> %s: no Primary picture", path);
  lastError_ = "the description names no Primary picture";
  return kFailed;
}

std::unique_ptr<Bitmap> AsciiTextureResource::LoadPicture(const String& name, const char* role) {
  String error = "the name leaves the texture's folder";
  std::unique_ptr<Bitmap> picture;
  String full;
  uint32_t width = 0;
  uint32_t height = 0;
  if (PicturePath(folder_, name, &full) && Bitmap::ReadSize(full, &width, &height, &error)) {
    if (width > kMaxPictureSide || height > kMaxPictureSide) {
      error = StringPrintf("it declares %ux%u pixels, more than %ux%u", width, height,
                           kMaxPictureSide, kMaxPictureSide);
    } else {
      picture = Bitmap::Load(full, &error);
    }
  }
  if (!picture) {
    Log::Printf("AsciiTextureResource::GetMipLock> '%s': %s picture '%s': %s", GetName().c_str(),
                role, name.c_str(), error.c_str());
    lastError_ =
        StringPrintf("the %s picture '%s' cannot be read: %s", role, name.c_str(), error.c_str());
  }
  return picture;
}

uint64_t AsciiTextureResource::DeclaredPictureBytes(const char* path) {
  MemoryFile file;
  if (path == nullptr || !file.Open(path, kMaxDescriptionBytes)) return 0;
  File::Path folder(path);
  folder.DelName();
  const std::string_view text(reinterpret_cast<const char*>(file.Base()), file.Size());
  uint64_t bytes = 0;
  bool readable = true;
  uint32_t lineNumber = 0;
  WalkDescription(text, &lineNumber, [&](std::string_view key, std::string_view value) {
    if (!EqualsIgnoreCase(key, "Primary") && !EqualsIgnoreCase(key, "Alpha")) return true;
    String full;
    uint32_t width = 0;
    uint32_t height = 0;
    readable = readable && PicturePath(folder.Str(), String(value), &full) &&
               Bitmap::ReadSize(full, &width, &height, nullptr);
    bytes += uint64_t(width) * height * 4;
    return true;
  });
  return readable ? bytes : 0;
}

bool AsciiTextureResource::GetMipLock() {
  picture_.reset();
  lastError_.clear();
  std::unique_ptr<Bitmap> picture = LoadPicture(primary_, "primary");
  if (!picture) return false;
  std::unique_ptr<Bitmap> alpha;
  if (!alpha_.empty()) {
    alpha = LoadPicture(alpha_, "alpha");
    if (!alpha) return false;
    if (alpha->Width() != picture->Width() || alpha->Height() != picture->Height()) {
      lastError_ = "the alpha picture's size differs from the primary's";
      Log::Printf(
          "AsciiTextureResource::GetMipLock> '%s': the alpha picture's size differs from the "
          "primary's",
          GetName().c_str());
      return false;
    }
  }
  bool opaque = true;
  bool binary = true;
  uint8_t* out = picture->Pixels();
  const uint8_t* in = alpha ? alpha->Pixels() : nullptr;
  for (uint64_t i = 0, n = picture->ByteSize() / 4; i < n; ++i, out += 4) {
    if (in != nullptr) out[3] = in[i * 4 + 2];  // The alpha picture's first (red) channel.
    opaque = opaque && out[3] == 255;
    binary = binary && (out[3] == 255 || out[3] == 0);
  }
  if (!alphaHinted_) alphaClass_ = opaque ? 0 : binary ? 1 : 2;
  picture_ = std::move(picture);
  return true;
}

TextureSize AsciiTextureResource::GetSize() const {
  if (!picture_) return TextureSize{};
  return TextureSize{picture_->Width(), picture_->Height()};
}

uint32_t AsciiTextureResource::GetNumMipLevels() {
  const TextureSize size = GetSize();
  return UseMipMaps() ? DisplayTexture::GetNumMipLevels(size.width, size.height) : 1;
}

std::unique_ptr<Bitmap> AsciiTextureResource::GetMip(uint32_t level, uint32_t image) {
  return GetMip(level, image, GetSize());
}

std::unique_ptr<Bitmap> AsciiTextureResource::GetMip(uint32_t level, uint32_t image,
                                                     TextureSize size) {
  if (!picture_ || image != 0 || level >= 32) return nullptr;
  const uint32_t width = std::max(size.width >> level, 1u);
  const uint32_t height = std::max(size.height >> level, 1u);
  return picture_->Scale(width, height);
}

bool AsciiTextureResource::GetMipUnlock() {
  picture_.reset();
  return true;
}

}  // namespace Kiv
