#include "render/textures/CompressAsciiResource.h"

#include <algorithm>
#include <charconv>
#include <mutex>
#include <string_view>

#include "foundation/layout/TextureSourcesRecord.h"
#include "kiv/File.h"
#include "kiv/basics/ConfigData.h"
#include "kiv/basics/KIRFWriteHeader.h"
#include "kiv/basics/ReplaceFile.h"
#include "kiv/display/DisplayTexture.h"
#include "kiv/store/ResourceType.h"

namespace {

constexpr uint32_t kFailed = 1;
constexpr const char* kPassedOptions[] = {"Hint",      "AlphaHint", "Anisotropy", "AutoMip",
                                          "MagFilter", "MinFilter", "MipFilter",  "Tile"};

// The next ","-separated field of `*rest`, which loses it and its comma.
std::string_view NextField(std::string_view* rest) {
  const size_t comma = rest->find(',');
  const std::string_view field = rest->substr(0, comma);
  rest->remove_prefix(comma == std::string_view::npos ? rest->size() : comma + 1);
  return field;
}

// A positive number, or `fallback` when the field is not one.
uint32_t SizeField(std::string_view field, uint32_t fallback) {
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error != std::errc() || end == field.data() || value == 0) return fallback;
  return value;
}

uint32_t Clamp(double value) {
  return value < 1.0 ? 1u : static_cast<uint32_t>(value);
}

}  // namespace

CompressAsciiResource::CompressAsciiResource(const Kiv::PString& name,
                                             Kiv::ResourceDatabase* database)
    : AsciiTextureResource(name, database) {}

CompressAsciiResource::~CompressAsciiResource() = default;

uint32_t CompressAsciiResource::LoadTxt(const char* path) {
  if (options_ == nullptr) return kFailed;
  // Taken before anything is read for the conversion: a file changed from
  // here on makes the record differ from the files, never the texture.
  if (path == nullptr ||
      DescribeTextureSources(path, &sourcesRecord_) != TextureSourcesState::kDescribed)
    sourcesRecord_.clear();
  forceOptions_ = options_->GetFlag("forceOptions");
  if (options_->Has("MaxTextureSize")) {
    const std::string value = options_->Get("MaxTextureSize");
    std::string_view rest = value;
    maxWidth_ = SizeField(NextField(&rest), maxWidth_);
    if (!rest.empty()) maxHeight_ = SizeField(NextField(&rest), maxHeight_);
  }
  if (forceOptions_ && AsciiTextureResource::LoadTxt(path) != 0) return kFailed;
  Kiv::ConfigData config;
  for (const char* key : kPassedOptions) {
    const std::string value = options_->Get(key);
    if (!value.empty()) config.Add(key, value);
  }
  if (!LoadTextureOptions(config)) return kFailed;
  if (forceOptions_) return 0;
  return AsciiTextureResource::LoadTxt(path) == 0 ? 0 : kFailed;
}

Kiv::TextureSize CompressAsciiResource::GetSize() const {
  Kiv::TextureSize size = AsciiTextureResource::GetSize();
  if (size.width == 0 || size.height == 0) return size;
  if (size.width > maxWidth_) {
    size.height = Clamp(double(size.height) / size.width * maxWidth_);
    size.width = maxWidth_;
  }
  if (size.height > maxHeight_) {
    size.width = Clamp(double(size.width) / size.height * maxHeight_);
    size.height = maxHeight_;
  }
  return size;
}

uint32_t CompressAsciiResource::GetNumMipLevels() {
  const Kiv::TextureSize size = GetSize();
  return std::min(Kiv::DisplayTexture::GetNumMipLevels(size.width, size.height),
                  AsciiTextureResource::GetNumMipLevels());
}

void CompressAsciiResource::ParseCompressionOption(Choice (&entries)[3]) const {
  const std::string option = options_->Get("Compression");
  std::string_view rest = option;
  for (uint32_t i = 0; i < 3 && !rest.empty(); ++i) {
    const Kiv::String value = Kiv::AsciiLower(NextField(&rest));
    if (value == "auto") {
      if (i > 0) continue;
      entries[0] = {kTargetDXT1, false};
      entries[1] = {kTargetDXT1, true};
      entries[2] = {kTargetDXT5, true};
      return;
    }
    if (value == "dxt1") entries[i] = {kTargetDXT1, false};
    if (value == "dxt1a") entries[i] = {kTargetDXT1, true};
    if (value == "dxt3") entries[i] = {kTargetDXT3, true};
    if (value == "dxt5") entries[i] = {kTargetDXT5, true};
    if (value == "none") entries[i] = {kTargetARGB, true};
  }
}

uint32_t CompressAsciiResource::GetTargetFormat() {
  uint32_t code = kTargetARGB;
  bool optionFlag = false;
  chosenAlpha_ = true;
  if (options_ == nullptr || GetAlphaClass() == kAlphaUnknown) return code;
  if (options_->Has("Compression")) {
    if (GetNormalMapHint() != 0 && GetAlphaClass() == 2) SetAlphaClass(1);
    Choice entries[3] = {{kTargetARGB, true}, {kTargetARGB, true}, {kTargetARGB, true}};
    ParseCompressionOption(entries);
    const int8_t alphaClass = GetAlphaClass();
    if (alphaClass >= 0 && alphaClass <= 2) {
      code = entries[alphaClass].code;
      optionFlag = entries[alphaClass].alpha;
    }
    chosenAlpha_ = optionFlag;
  }
  const uint32_t optionCode = code;
  const Kiv::TextureSize size = GetSize();
  const bool small =
      std::max(size.width, size.height) < 64 || std::min(size.width, size.height) < 8;
  switch (small ? 0 : GetCompressionHint()) {
    case 0:
      code = GetAlphaClass() == 0 ? kTargetXRGB : kTargetARGB;
      chosenAlpha_ = GetAlphaClass() != 0;
      break;
    case 1:
      code = kTargetDXT1;
      chosenAlpha_ = GetAlphaClass() != 0;
      break;
    case 2:
      code = kTargetDXT3;
      chosenAlpha_ = true;
      break;
    case 3:
      code = kTargetDXT5;
      chosenAlpha_ = true;
      break;
    default:
      break;
  }
  if (forceOptions_) {
    code = optionCode;
    chosenAlpha_ = optionFlag;
  }
  if (size.width % 4 != 0 || size.height % 4 != 0) code = chosenAlpha_ ? kTargetARGB : kTargetXRGB;
  return code;
}

std::unique_ptr<Kiv::Bitmap> CompressAsciiResource::PrepareImage(uint32_t image) {
  const Kiv::TextureSize own = AsciiTextureResource::GetSize();
  const Kiv::TextureSize size = GetSize();
  std::unique_ptr<Kiv::Bitmap> bitmap = AsciiTextureResource::GetMip(0, image, own);
  if (bitmap && !(own == size)) bitmap = bitmap->Scale(size.width, size.height);
  if (!bitmap || GetModifyMap() != 1 || bitmap->GetFormat() == Kiv::Bitmap::kXRGB) return bitmap;
  for (uint32_t y = 0; y < bitmap->Height(); ++y) {
    uint32_t* pixel = bitmap->Row(y);
    for (uint32_t x = 0; x < bitmap->Width(); ++x, ++pixel) {
      if (*pixel != 0) *pixel = (*pixel & 0xFFFF00FFu) | ((255u - ((*pixel >> 8) & 0xFFu)) << 8);
    }
  }
  return bitmap;
}

bool CompressAsciiResource::CompressImages(bool acceleration) {
  images_.clear();
  for (uint32_t i = 0; i < GetDepth(); ++i) {
    std::unique_ptr<Kiv::Bitmap> bitmap = PrepareImage(i);
    if (!bitmap) return false;
    const bool wrap =
        GetWrapS() == Kiv::TextureSettings::kRepeat || GetWrapT() == Kiv::TextureSettings::kRepeat;
    const uint32_t code = GetTargetFormat();
    auto levels = std::make_unique<TextureCompress>();
    if (!CompressBitmap(*bitmap, *levels, code, chosenAlpha_, wrap, GetNormalMapHint() != 0,
                        UseMipMaps(), acceleration))
      return false;
    images_.push_back(std::move(levels));
  }
  return true;
}

bool CompressAsciiResource::GetMipLock() {
  if (!AsciiTextureResource::GetMipLock()) return false;
  if (CompressImages(true)) return true;
  GetMipUnlock();
  return false;
}

std::unique_ptr<Kiv::Bitmap> CompressAsciiResource::GetMip(uint32_t level, uint32_t image) {
  if (image >= images_.size()) return nullptr;
  const Kiv::Bitmap* stored = images_[image]->GetLevel(level);
  if (stored == nullptr) return nullptr;
  auto view = std::make_unique<Kiv::Bitmap>();
  if (!view->Init(stored->Width(), stored->Height(), stored->GetFormat(), stored->Pixels(),
                  stored->ByteSize()))
    return nullptr;
  return view;
}

bool CompressAsciiResource::GetMipUnlock() {
  if (!AsciiTextureResource::GetMipUnlock()) return false;
  images_.clear();
  return true;
}

bool CompressAsciiResource::WriteTextureFile(const Kiv::PString& location, const Kiv::String& path,
                                             bool acceleration) {
  if (!CompressImages(acceleration)) return false;
  Kiv::String real = path;
  if (!location.Empty() && !Kiv::File::ResolveRooted(location, path, &real)) return false;
  return Kiv::ReplaceFile(real, [this](Kiv::File& file) {
    Kiv::KIRFWriteHeader header(file, kKIRFType);
    const bool body = header.Ok() && SaveLockedInternal(file, nullptr) &&
                      file.Write(sourcesRecord_.data(), uint32_t(sourcesRecord_.size())) ==
                          sourcesRecord_.size();
    return header.Finish() && body;
  });
}

void RegisterCompressAsciiResourceType() {
  static std::once_flag once;
  std::call_once(once, [] { new Kiv::ResourceType<CompressAsciiResource>("convert-tex.txt"); });
}
