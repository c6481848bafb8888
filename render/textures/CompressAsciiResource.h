// CompressAsciiResource: the texture resource through which a texture
// source is compiled. The resource system makes one for files of the type
// "convert-tex.txt" (RegisterCompressAsciiResourceType registers that type,
// once per process); the conversion job renames a source to that extension
// while it converts it.
//
// The creator hands in an options set (SetOptions; not owned, must outlive
// the resource's loading and compiling) before it locks the resource. The
// options read here (names without regard to case):
//   forceOptions    flag: the options override the description
//   MaxTextureSize  "W,H": the largest size written (default 2048,2048;
//                   a missing or unusable number keeps its default)
//   Compression     up to three of auto, dxt1, dxt1a, dxt3, dxt5, none,
//                   separated by ",": the target for textures of alpha
//                   class 0, 1 and 2 ("auto" first sets all three)
//   Hint, AlphaHint, Anisotropy, AutoMip, MagFilter, MinFilter, MipFilter,
//   Tile            laid over the description like its own keys, before it
//                   (so the description wins) or, with forceOptions, after
//                   it
//
// LoadTxt answers 1 without options. GetSize clamps the picture's size to
// the maximum, width first, keeping the proportions and never below 1.
// GetTargetFormat chooses the target code (see TextureCompress.h) from the
// Compression option, the alpha class, the compression hint, the size (a
// larger side below 64 or a smaller side below 8 counts as hint 0),
// forceOptions and the block rule (sides that are not multiples of 4 stay
// uncompressed); it sets the alpha flag that goes with the target
// (GetChosenAlpha). With no options, or an unknown alpha class, it answers 1.
//
// Compiling: CompressImages compresses every picture (CompressBitmap) and
// keeps the levels until GetMipUnlock; GetMipLock loads the pictures and
// compresses them; GetMip(level, image) hands out a new bitmap that shows a
// kept level (its pixels stay with the resource and are valid until
// GetMipUnlock or the next CompressImages). WriteTextureFile(location,
// path, acceleration) compresses and writes the compiled texture file at
// `path` within the named file root `location` (a rooted path when
// `location` is empty): whole or not at all (Kiv::ReplaceFile), every write
// and the close checked. The compressed levels stay until GetMipUnlock.
// After the images it writes the record of the sources
// (foundation/layout/TextureSourcesRecord.h) that LoadTxt took of the
// description and its pictures before it read them; none when they could
// not all be read then.
//
// Results: LoadTxt 0 success, 1 failure; the others true on success. Threads:
// one thread at a time, as any resource being converted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kiv/Options.h"
#include "kiv/display/AsciiTextureResource.h"
#include "render/textures/TextureCompress.h"

class CompressAsciiResource : public Kiv::AsciiTextureResource {
 public:
  static constexpr uint32_t kDefaultMaxSize = 2048;

  CompressAsciiResource(const Kiv::PString& name, Kiv::ResourceDatabase* database);
  ~CompressAsciiResource() override;

  void SetOptions(const Kiv::Options* options) { options_ = options; }

  Kiv::TextureSize GetSize() const override;
  uint32_t GetNumMipLevels() override;
  uint32_t GetTargetFormat() override;
  bool GetChosenAlpha() const { return chosenAlpha_; }
  bool GetMipLock() override;
  std::unique_ptr<Kiv::Bitmap> GetMip(uint32_t level, uint32_t image) override;
  bool GetMipUnlock() override;

  bool CompressImages(bool acceleration);
  bool WriteTextureFile(const Kiv::PString& location, const Kiv::String& path, bool acceleration);

  uint32_t GetNumImages() const { return static_cast<uint32_t>(images_.size()); }

 protected:
  uint32_t LoadTxt(const char* path) override;

 private:
  struct Choice {
    uint32_t code;
    bool alpha;
  };
  void ParseCompressionOption(Choice (&entries)[3]) const;
  std::unique_ptr<Kiv::Bitmap> PrepareImage(uint32_t image);

  std::vector<std::unique_ptr<TextureCompress>> images_;
  const Kiv::Options* options_ = nullptr;
  std::string sourcesRecord_;
  bool forceOptions_ = false;
  bool chosenAlpha_ = false;
  uint32_t maxWidth_ = kDefaultMaxSize;
  uint32_t maxHeight_ = kDefaultMaxSize;
};

void RegisterCompressAsciiResourceType();
