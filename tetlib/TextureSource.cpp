#include "tetlib/TextureSource.h"

#include <stb/stb_image.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string_view>

#include "kiv/File.h"

namespace TETLib {
namespace {

// Only regular files are opened: a pipe or device named like an image would
// block or never end.
bool IsRegularFile(const Kiv::String& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

bool ReadTextureSourceNames(const Kiv::String& path, TextureSourceNames* out) {
  if (!IsRegularFile(path)) return false;
  Kiv::File file;
  if (!file.Open(path, Kiv::File::kRead)) return false;
  TextureSourceScanner scanner;
  char buffer[16384];
  for (uint32_t count; (count = file.Read(buffer, 1, sizeof buffer)) > 0;)
    scanner.Feed(std::string_view(buffer, count));
  *out = scanner.Finish();
  return true;
}

bool ReadImageSize(const Kiv::String& path, uint32_t* width, uint32_t* height) {
  if (!IsRegularFile(path)) return false;
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rbe"));
  if (!file) return false;
  int x = 0;
  int y = 0;
  int channels = 0;
  if (stbi_info_from_file(file.get(), &x, &y, &channels) == 0 || x < 0 || y < 0) return false;
  *width = static_cast<uint32_t>(x);
  *height = static_cast<uint32_t>(y);
  return true;
}

}  // namespace TETLib
