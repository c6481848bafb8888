// Picture decoding for Kiv::Bitmap::Load, through stb_image.
#include <stb/stb_image.h>

#include <memory>

#include "kiv/File.h"
#include "kiv/basics/Bitmap.h"
#include "kiv/basics/MemoryFile.h"

namespace Kiv {

namespace {

// Picture files larger than this are refused before they are read.
constexpr uint64_t kMaxFileBytes = uint64_t(1) << 30;

struct StbFree {
  void operator()(unsigned char* pixels) const { stbi_image_free(pixels); }
};

std::unique_ptr<Bitmap> Fail(String* error, const char* text) {
  if (error != nullptr) *error = text != nullptr ? text : "unknown picture format";
  return nullptr;
}

}  // namespace

std::unique_ptr<Bitmap> Bitmap::Load(const String& path, String* error) {
  MemoryFile file;
  if (!file.Open(path, kMaxFileBytes)) return Fail(error, "cannot read the file");
  if (file.Size() > INT32_MAX) return Fail(error, "file too large");
  const auto* bytes = file.Base();
  const int length = static_cast<int>(file.Size());
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(bytes, length, &width, &height, &channels))
    return Fail(error, stbi_failure_reason());
  if (width <= 0 || height <= 0 || uint32_t(width) > kMaxSide || uint32_t(height) > kMaxSide)
    return Fail(error, "picture too large");
  std::unique_ptr<unsigned char, StbFree> rgba(
      stbi_load_from_memory(bytes, length, &width, &height, &channels, 4));
  if (!rgba) return Fail(error, stbi_failure_reason());
  auto bitmap = std::make_unique<Bitmap>(uint32_t(width), uint32_t(height), kARGB);
  if (bitmap->Pixels() == nullptr) return Fail(error, "out of memory");
  const unsigned char* in = rgba.get();
  uint8_t* out = bitmap->Pixels();
  for (uint64_t i = 0, n = uint64_t(width) * height; i < n; ++i, in += 4, out += 4) {
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
    out[3] = in[3];
  }
  return bitmap;
}

bool Bitmap::ReadSize(const String& path, uint32_t* width, uint32_t* height, String* error) {
  // Only what the header needs is read, through the file layer (which finds
  // names without regard to case as Load does).
  File file;
  if (!file.Open(path, File::kRead)) {
    Fail(error, "cannot read the file");
    return false;
  }
  stbi_io_callbacks callbacks{};
  callbacks.read = [](void* user, char* data, int size) {
    return int(static_cast<File*>(user)->Read(data, uint32_t(size)));
  };
  callbacks.skip = [](void* user, int n) { static_cast<File*>(user)->Seek(n, 1); };
  callbacks.eof = [](void* user) { return int(static_cast<File*>(user)->Eof()); };
  int w = 0, h = 0, channels = 0;
  if (!stbi_info_from_callbacks(&callbacks, &file, &w, &h, &channels) || w <= 0 || h <= 0) {
    Fail(error, stbi_failure_reason());
    return false;
  }
  *width = uint32_t(w);
  *height = uint32_t(h);
  return true;
}

}  // namespace Kiv
