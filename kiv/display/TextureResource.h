// Kiv::TextureResource: the base of texture resources, and the writer of
// the compiled texture body.
//
// A texture has a size, a depth (the number of images: one for a plain 2D
// texture), a target format (the codes of the texture compressor: 1, 3 and
// 5 uncompressed 32-bit, 10 DXT1, 11 DXT3, 12 DXT5), a number of mip levels
// and sampling settings. GetMipLock makes the levels available, GetMip(level,
// image) hands out one level as a new bitmap (the caller owns the bitmap
// object; its pixels may stay with the resource until GetMipUnlock), and
// GetMipUnlock frees them. The base has no pictures: its GetMipLock and
// GetMipUnlock answer true and its GetMip null.
//
// SaveLockedInternal writes the compiled texture body
// (docs/formats/compiled-texture.md) behind a "KIRF" header that the caller
// writes: the settings, then for each image the levels 0, 1, ... below
// GetNumMipLevels that GetMip delivers, stopping at the first it does not.
// False when a write fails or an image has no level at all. The display is
// not used (null is fine). Save(path, display) writes a whole file: locks
// the levels, writes header and body, checks every write and the close,
// and unlocks; it writes into a fresh temporary file beside `path` and
// renames it over `path` only when everything was written.
//
// Threads: as Kiv::Resource; the mip operations belong to one thread at a
// time.
#pragma once

#include <cstdint>
#include <memory>

#include "kiv/basics/Bitmap.h"
#include "kiv/store/Resource.h"

namespace Kiv {

class Display;
class File;

struct TextureSize {
  uint32_t width = 0;
  uint32_t height = 0;
  bool operator==(const TextureSize&) const = default;
};

// Sampling settings carried into the compiled texture.
struct TextureSettings {
  enum Wrap : uint32_t { kClamp = 1, kRepeat = 2 };
  enum Filter : uint32_t { kNone = 0, kPoint = 1, kLinear = 2 };
  uint32_t wrapS = kRepeat;
  uint32_t wrapT = kRepeat;
  uint32_t magFilter = kLinear;
  uint32_t minFilter = kLinear;
  uint32_t mipFilter = kLinear;
  uint32_t autoMip = kNone;
  uint32_t anisotropy = 1;
};

class TextureResource : public Resource {
 public:
  static constexpr uint32_t kKIRFType = 0x46544D4D;
  static constexpr uint32_t kBodyVersion = 1;

  using Resource::Resource;

  virtual TextureSize GetSize() const { return TextureSize{}; }
  virtual uint32_t GetDepth() const { return 1; }
  virtual uint32_t GetTargetFormat() { return 1; }
  virtual uint32_t GetNumMipLevels() { return 1; }
  virtual TextureSettings GetSettings() const { return TextureSettings{}; }
  virtual bool GetMipLock() { return true; }
  virtual std::unique_ptr<Bitmap> GetMip(uint32_t level, uint32_t image);
  virtual bool GetMipUnlock() { return true; }

  bool SaveLockedInternal(File& file, Display* display);
  virtual bool Save(const char* path, Display* display);
};

}  // namespace Kiv
