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
//
// ReadImageSize reads only an image's header (BMP, TGA, JPEG, PNG and the
// other formats of the stb_image library) for its width and height; false
// when the path is not a regular file or its header is not one of an image.
//
// Both are pure functions of the file's bytes; safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kiv/String.h"

namespace TETLib {

struct TextureSourceNames {
  Kiv::String primary;
  Kiv::String alpha;
  bool nonAnsi = false;
};

inline constexpr size_t kMaxLineBytes = 4096;

bool ReadTextureSourceNames(const Kiv::String& path, TextureSourceNames* out);
bool ReadImageSize(const Kiv::String& path, uint32_t* width, uint32_t* height);

}  // namespace TETLib
