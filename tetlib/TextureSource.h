// What the texture folder check reads of texture files: the image names of
// a texture source (".texture.txt") and the size of an image.
//
// ReadTextureSourceNames reads a texture source as lines (ended by LF; a CR
// and what follows it on the line are cut). A line that begins with
// "Primary=" (exactly so) names the primary image, one that begins with
// "Alpha=" the alpha image: the rest of the line. When several lines name
// one image the last wins. `nonAnsi` tells whether any byte of the file is
// 128 or more. Only the first kMaxLineBytes bytes of a line are looked at
// (no file name is longer), so reading needs no memory beyond that, however
// large the file; nothing in the text is refused. False (and `out`
// untouched) when the path is not a regular file or cannot be opened.
// TextureSourceScanner does the same over bytes given in pieces.
//
// ReadImageSize reads only an image's header (BMP, TGA, JPEG, PNG and the
// other formats of the stb_image library) for its width and height; false
// when the path is not a regular file or its header is not one of an image.
//
// Both are pure functions of the file's bytes; safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "kiv/String.h"

namespace TETLib {

struct TextureSourceNames {
  Kiv::String primary;
  Kiv::String alpha;
  bool nonAnsi = false;
};

inline constexpr size_t kMaxLineBytes = 4096;

// The reading of a texture source's bytes, given in pieces of any size:
// Feed each piece in order, then Finish for the names.
class TextureSourceScanner {
 public:
  void Feed(std::string_view bytes) {
    for (const char c : bytes) {
      if (static_cast<unsigned char>(c) >= 128) names_.nonAnsi = true;
      if (c == '\n') {
        TakeLine();
      } else if (line_.size() < kMaxLineBytes) {
        line_.push_back(c);
      }
    }
  }

  TextureSourceNames Finish() {
    TakeLine();
    return std::move(names_);
  }

 private:
  void TakeLine() {
    std::string_view line = line_;
    line = line.substr(0, line.find('\r'));
    if (line.substr(0, 8) == "Primary=") names_.primary = Kiv::String(line.substr(8));
    if (line.substr(0, 6) == "Alpha=") names_.alpha = Kiv::String(line.substr(6));
    line_.clear();
  }

  Kiv::String line_;
  TextureSourceNames names_;
};

bool ReadTextureSourceNames(const Kiv::String& path, TextureSourceNames* out);
bool ReadImageSize(const Kiv::String& path, uint32_t* width, uint32_t* height);

}  // namespace TETLib
