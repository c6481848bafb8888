// pngprobe: reads PNG files for the script tests (never installed).
//
//   pngprobe pixel FILE X Y      prints the pixel at (X, Y) as RRGGBBAA
//   pngprobe same FILE GOLDEN    exit 0 when both pictures have the same
//                                size and pixels; otherwise prints the
//                                first difference and exits 1. With
//                                VU_UPDATE_GOLDEN=1 in the environment,
//                                FILE is copied over GOLDEN instead.
//
// Exit status 2 for bad usage or a file that cannot be read.
#include <stb/stb_image.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

struct Picture {
  int width = 0;
  int height = 0;
  std::unique_ptr<unsigned char, void (*)(void*)> rgba{nullptr, stbi_image_free};

  bool Read(const char* path) {
    int channels = 0;
    rgba.reset(stbi_load(path, &width, &height, &channels, 4));
    if (rgba == nullptr) std::fprintf(stderr, "pngprobe: cannot read %s\n", path);
    return rgba != nullptr;
  }
  const unsigned char* At(int x, int y) const { return rgba.get() + (size_t(y) * width + x) * 4; }
};

int Pixel(const char* path, const char* xText, const char* yText) {
  Picture picture;
  if (!picture.Read(path)) return 2;
  const int x = std::atoi(xText), y = std::atoi(yText);
  if (x < 0 || y < 0 || x >= picture.width || y >= picture.height) {
    std::fprintf(stderr, "pngprobe: (%d, %d) is outside %dx%d\n", x, y, picture.width,
                 picture.height);
    return 2;
  }
  const unsigned char* p = picture.At(x, y);
  std::printf("%02X%02X%02X%02X\n", p[0], p[1], p[2], p[3]);
  return 0;
}

int Same(const char* path, const char* golden) {
  const char* update = std::getenv("VU_UPDATE_GOLDEN");
  if (update != nullptr && std::strcmp(update, "1") == 0) {
    std::error_code error;
    std::filesystem::copy_file(path, golden, std::filesystem::copy_options::overwrite_existing,
                               error);
    return error ? 2 : 0;
  }
  Picture a, b;
  if (!a.Read(path) || !b.Read(golden)) return 2;
  if (a.width != b.width || a.height != b.height) {
    std::printf("size %dx%d, golden %dx%d\n", a.width, a.height, b.width, b.height);
    return 1;
  }
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      if (std::memcmp(a.At(x, y), b.At(x, y), 4) != 0) {
        std::printf("first difference at (%d, %d)\n", x, y);
        return 1;
      }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "pixel") == 0) return Pixel(argv[2], argv[3], argv[4]);
  if (argc == 4 && std::strcmp(argv[1], "same") == 0) return Same(argv[2], argv[3]);
  std::fprintf(stderr, "usage: pngprobe pixel FILE X Y | pngprobe same FILE GOLDEN\n");
  return 2;
}
