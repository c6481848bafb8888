// Kiv::AsciiTextureResource: a texture described by a text file (a texture
// source, docs/formats/texture-source.md) whose pictures are read from
// image files beside it.
//
// LoadTxt reads the description: "Key=Value" lines, keys without regard to
// case. "Primary" names the colour picture (required), "Alpha" an optional
// picture whose first channel becomes the alpha; the other keys set the
// options below. LoadTextureOptions applies the same keys from a ConfigData
// (so callers can lay options over a description, or under it, by the order
// of the two calls). A value a key does not accept makes either call fail.
// Unknown keys are ignored.
//
// Options and what they set:
//   Hint       none | dxt1 | dxt3 | dxt5 | auto  compression hint 0..3, or
//              kNoChoice (auto, the default)
//   AlphaHint  opaque | mask | blend | auto      alpha class 0..2, or
//              kAlphaUnknown (auto, the default: measured from the pictures)
//   Tile       st | s | t | none                 wrap (repeat) per axis; st
//   MagFilter, MinFilter, MipFilter, AutoMip  none | point | linear
//              (defaults linear, linear, linear, none); MipFilter none means
//              the texture keeps only its top level (UseMipMaps false)
//   Anisotropy 1..16 (1)
//   NormalMap  0 | 1 (0)      ModifyMap  0 | 1 (0)
//
// GetMipLock decodes the pictures (Kiv::Bitmap::Load; names relative to the
// description's folder, "\" as "/", and never outside that folder; the
// alpha picture must have the primary's size). A picture whose header
// declares a side above kMaxPictureSide is refused before it is decoded
// (such a picture would take gigabytes once decoded; larger pictures than
// the texture needs are otherwise fine, they are scaled down). It sets the size and, when
// no AlphaHint chose one, the alpha class: 0 when every alpha is 255, 1 when
// every alpha is 0 or 255, else 2. A picture that cannot be read makes it
// fail (the reason goes to the log) and leaves nothing loaded. GetMip(level,
// image, size) hands out a copy of the picture scaled to the size halved
// `level` times; GetMipUnlock frees the pictures. The depth is 1.
//
// LastError tells why the last LoadTxt or GetMipLock failed ("" when none
// has): the picture and the loader's reason ("out of memory", a damaged or
// unknown format, a size refused), or what in the description could not
// be read.
//
// DeclaredPictureBytes(path) reads the description at `path` and the
// headers of the pictures it names, nothing decoded, and answers the bytes
// their decoded forms take (4 per pixel each); 0 when the description or a
// header cannot be read (the conversion itself then says why).
//
// Resource results: 0 success, 1 failure. Threads: as Kiv::TextureResource.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "kiv/basics/Bitmap.h"
#include "kiv/basics/ConfigData.h"
#include "kiv/display/TextureResource.h"

namespace Kiv {

class AsciiTextureResource : public TextureResource {
 public:
  static constexpr int8_t kAlphaUnknown = -1;
  static constexpr int8_t kNoChoice = -1;
  static constexpr uint32_t kMaxPictureSide = 8192;

  AsciiTextureResource(const PString& name, ResourceDatabase* database);
  ~AsciiTextureResource() override;

  bool LoadTextureOptions(const ConfigData& config);

  TextureSize GetSize() const override;
  uint32_t GetNumMipLevels() override;
  TextureSettings GetSettings() const override { return settings_; }
  bool GetMipLock() override;
  std::unique_ptr<Bitmap> GetMip(uint32_t level, uint32_t image) override;
  std::unique_ptr<Bitmap> GetMip(uint32_t level, uint32_t image, TextureSize size);
  bool GetMipUnlock() override;

  int8_t GetAlphaClass() const { return alphaClass_; }
  int8_t GetCompressionHint() const { return compressionHint_; }
  uint32_t GetNormalMapHint() const { return normalMap_; }
  uint32_t GetModifyMap() const { return modifyMap_; }
  uint32_t GetWrapS() const { return settings_.wrapS; }
  uint32_t GetWrapT() const { return settings_.wrapT; }
  bool UseMipMaps() const { return settings_.mipFilter != TextureSettings::kNone; }
  const String& LastError() const { return lastError_; }

  static uint64_t DeclaredPictureBytes(const char* path);

 protected:
  uint32_t LoadTxt(const char* path) override;
  void SetAlphaClass(int8_t alphaClass) { alphaClass_ = alphaClass; }

 private:
  bool SetOption(std::string_view key, std::string_view value);
  std::unique_ptr<Bitmap> LoadPicture(const String& name, const char* role);

  String folder_;
  String primary_;
  String alpha_;
  int8_t alphaClass_ = kAlphaUnknown;
  bool alphaHinted_ = false;
  int8_t compressionHint_ = kNoChoice;
  uint32_t normalMap_ = 0;
  uint32_t modifyMap_ = 0;
  TextureSettings settings_;
  std::unique_ptr<Bitmap> picture_;
  String lastError_;
};

}  // namespace Kiv
