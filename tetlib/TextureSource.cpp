#include "tetlib/TextureSource.h"

#include <stb/stb_image.h>

#include <string_view>

#include "kiv/File.h"

namespace TETLib {
namespace {

// Only regular files are read, judged on the opened descriptor: a pipe or
// device named like an image would block or never end.
constexpr uint32_t kReadMode = Kiv::File::kRead | Kiv::File::kRegularOnly;

// stb_image reading from an open Kiv::File.
int ReadPiece(void* user, char* data, int size) {
  return int(static_cast<Kiv::File*>(user)->Read(data, 1, uint32_t(size)));
}

void SkipPiece(void* user, int n) {
  static_cast<Kiv::File*>(user)->Seek(n, 1);
}

int AtEnd(void* user) {
  return static_cast<Kiv::File*>(user)->Eof() ? 1 : 0;
}

}  // namespace

bool ReadTextureSourceNames(const Kiv::String& path, TextureSourceNames* out) {
  Kiv::File file;
  if (!file.Open(path, kReadMode)) return false;
  TextureSourceScanner scanner;
  char buffer[16384];
  for (uint32_t count; (count = file.Read(buffer, 1, sizeof buffer)) > 0;)
    scanner.Feed(std::string_view(buffer, count));
  *out = scanner.Finish();
  return true;
}

bool ReadImageSize(const Kiv::String& path, uint32_t* width, uint32_t* height) {
  Kiv::File file;
  if (!file.Open(path, kReadMode)) return false;
  const stbi_io_callbacks callbacks = {&ReadPiece, &SkipPiece, &AtEnd};
  int x = 0;
  int y = 0;
  int channels = 0;
  if (stbi_info_from_callbacks(&callbacks, &file, &x, &y, &channels) == 0 || x < 0 || y < 0)
    return false;
  *width = static_cast<uint32_t>(x);
  *height = static_cast<uint32_t>(y);
  return true;
}

}  // namespace TETLib
