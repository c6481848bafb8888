#include "kiv/display/TextureResource.h"

#include <vector>

#include "kiv/File.h"
#include "kiv/basics/KIRFWriteHeader.h"
#include "kiv/basics/ReplaceFile.h"

namespace Kiv {

namespace {

bool WriteU32(File& file, uint32_t value) {
  const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                            uint8_t(value >> 24)};
  return file.Write(bytes, 4) == 4;
}

bool WriteWords(File& file, std::initializer_list<uint32_t> words) {
  for (uint32_t word : words) {
    if (!WriteU32(file, word)) return false;
  }
  return true;
}

bool WriteLevel(File& file, const Bitmap& level) {
  const uint64_t size = level.ByteSize();
  if (size > UINT32_MAX) return false;
  return WriteWords(file, {level.Width(), level.Height(), level.GetFormat(), uint32_t(size)}) &&
         file.Write(level.Pixels(), uint32_t(size)) == size;
}

}  // namespace

std::unique_ptr<Bitmap> TextureResource::GetMip(uint32_t /*level*/, uint32_t /*image*/) {
  return nullptr;
}

bool TextureResource::SaveLockedInternal(File& file, Display* /*display*/) {
  const TextureSize size = GetSize();
  const TextureSettings settings = GetSettings();
  const uint32_t images = GetDepth();
  const uint32_t levels = GetNumMipLevels();
  const uint32_t flags = (settings.wrapS == TextureSettings::kRepeat ? 1u : 0u) |
                         (settings.wrapT == TextureSettings::kRepeat ? 2u : 0u);
  if (!WriteWords(file, {kBodyVersion, GetTargetFormat(), size.width, size.height, images, flags,
                         settings.magFilter, settings.minFilter, settings.mipFilter,
                         settings.autoMip, settings.anisotropy}))
    return false;
  for (uint32_t image = 0; image < images; ++image) {
    std::vector<std::unique_ptr<Bitmap>> chain;
    for (uint32_t level = 0; level < levels; ++level) {
      std::unique_ptr<Bitmap> mip = GetMip(level, image);
      if (!mip) break;
      chain.push_back(std::move(mip));
    }
    if (chain.empty() || !WriteU32(file, uint32_t(chain.size()))) return false;
    for (const std::unique_ptr<Bitmap>& mip : chain) {
      if (!WriteLevel(file, *mip)) return false;
    }
  }
  return true;
}

bool TextureResource::Save(const char* path, Display* display) {
  if (path == nullptr || !GetMipLock()) return false;
  const bool saved = ReplaceFile(path, [this, display](File& file) {
    KIRFWriteHeader header(file, kKIRFType);
    const bool body = header.Ok() && SaveLockedInternal(file, display);
    return header.Finish() && body;
  });
  GetMipUnlock();
  return saved;
}

}  // namespace Kiv
