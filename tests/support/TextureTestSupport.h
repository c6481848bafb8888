// Shared support for texture tests: pictures written with stb_image_write,
// a strict reader of compiled texture files (docs/formats/compiled-
// texture.md; the record of sources after the images kept as text), level
// decoding (libsquish for DXT) and PSNR.
#pragma once

#include <squish.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace texturetest {

// A smooth RGBA picture; with `alpha`, a graded alpha, else opaque.
inline std::vector<uint8_t> SmoothPicture(int width, int height, bool alpha) {
  std::vector<uint8_t> rgba(size_t(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
      p[0] = uint8_t(x * 255 / std::max(1, width - 1));
      p[1] = uint8_t(y * 255 / std::max(1, height - 1));
      p[2] = uint8_t(128 + 90 * std::sin(x * 0.04 + y * 0.03));
      p[3] = alpha ? uint8_t((x + y) * 255 / std::max(1, width + height - 2)) : 255;
    }
  }
  return rgba;
}

// Writes RGBA pixels as a PNG, BMP, TGA or JPEG file by the name's ending.
inline bool WritePicture(const std::string& path, int width, int height,
                         const std::vector<uint8_t>& rgba) {
  const std::string ending = path.substr(path.rfind('.') + 1);
  if (ending == "png")
    return stbi_write_png(path.c_str(), width, height, 4, rgba.data(), width * 4) != 0;
  if (ending == "bmp") return stbi_write_bmp(path.c_str(), width, height, 4, rgba.data()) != 0;
  if (ending == "tga") return stbi_write_tga(path.c_str(), width, height, 4, rgba.data()) != 0;
  if (ending == "jpg") return stbi_write_jpg(path.c_str(), width, height, 4, rgba.data(), 95) != 0;
  return false;
}

struct Level {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t format = 0;
  std::vector<uint8_t> bytes;
};

struct CompiledTexture {
  uint32_t version = 0;
  uint32_t target = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t flags = 0;
  uint32_t settings[5] = {};  // mag, min, mip filters, auto-mip, anisotropy
  std::vector<std::vector<Level>> images;
  std::string sources;  // the record of the sources after the images, if any
};

// Reads a compiled texture; "" on success, else what is wrong.
inline std::string ReadCompiledTexture(const std::string& path, CompiledTexture* out) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
  size_t at = 0;
  bool ok = true;
  auto u32 = [&]() {
    uint32_t v = 0;
    if (at + 4 > data.size()) {
      ok = false;
      return v;
    }
    std::memcpy(&v, &data[at], 4);
    at += 4;
    return v;
  };
  if (data.size() < 12 || std::memcmp(data.data(), "KIRF", 4) != 0) return "no KIRF tag";
  at = 4;
  if (u32() != data.size() - 8) return "KIRF size is not the length - 8";
  if (u32() != 0x46544D4D) return "type word is not MMTF";
  out->version = u32();
  out->target = u32();
  out->width = u32();
  out->height = u32();
  const uint32_t images = u32();
  out->flags = u32();
  for (uint32_t& s : out->settings) s = u32();
  if (!ok || images == 0 || images > 6) return "bad header";
  for (uint32_t i = 0; i < images; ++i) {
    const uint32_t count = u32();
    if (!ok || count == 0 || count > 32) return "bad level count";
    std::vector<Level> levels(count);
    for (Level& level : levels) {
      level.width = u32();
      level.height = u32();
      level.format = u32();
      const uint32_t size = u32();
      if (!ok || size > data.size() - at) return "level passes the end";
      level.bytes.assign(data.begin() + at, data.begin() + at + size);
      at += size;
    }
    out->images.push_back(std::move(levels));
  }
  // The record of the sources the converter read, if any: text lines.
  out->sources.assign(data.begin() + at, data.end());
  const std::string first = "texture sources 1\n";
  if (out->sources.empty()) return "";
  if (out->sources.compare(0, first.size(), first) != 0 || out->sources.back() != '\n')
    return "bytes after the last level that are no record of sources";
  return "";
}

// The RGBA pixels of a level: DXT decoded with libsquish, 32-bit levels
// turned from B, G, R, A.
inline std::vector<uint8_t> DecodeLevel(const Level& level, uint32_t target) {
  std::vector<uint8_t> rgba(size_t(level.width) * level.height * 4);
  if (level.format == 5) {
    const int flags = target == 10 ? squish::kDxt1 : target == 11 ? squish::kDxt3 : squish::kDxt5;
    squish::DecompressImage(rgba.data(), int(level.width), int(level.height), level.bytes.data(),
                            flags);
    return rgba;
  }
  for (size_t i = 0; i + 3 < level.bytes.size() && i < rgba.size(); i += 4) {
    rgba[i] = level.bytes[i + 2];
    rgba[i + 1] = level.bytes[i + 1];
    rgba[i + 2] = level.bytes[i];
    rgba[i + 3] = level.bytes[i + 3];
  }
  return rgba;
}

// PSNR in dB over the first `channels` channels of two RGBA pictures.
inline double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int channels) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); i += 4) {
    for (int c = 0; c < channels; ++c, ++n) {
      const double d = double(a[i + c]) - double(b[i + c]);
      sum += d * d;
    }
  }
  if (n == 0) return 0;
  if (sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

// The byte sizes of a level chain.
inline std::vector<size_t> LevelSizes(const std::vector<Level>& levels) {
  std::vector<size_t> sizes;
  for (const Level& level : levels) sizes.push_back(level.bytes.size());
  return sizes;
}

}  // namespace texturetest
