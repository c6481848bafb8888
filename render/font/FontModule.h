// FontModule: the program's font faces, found with fontconfig and
// rasterised with FreeType, in a shared module of their own (libvu_font.so,
// built from render/fontmodule/) that alone links FreeType, fontconfig and
// the libraries they bring. The tool loads it on the first font it opens
// (FreeTypeFaceSource.h), so a command that draws no text never maps them.
//
// The module exports VuFontModuleFunctions, which answers the table below
// (static, never freed). A face is what FreeTypeFaceSource.h describes; the
// functions are those of FontFace (FontFace.h) on an opened face:
//   open       the face that best fits the request; null when none can be
//              opened. `face` and `language` are texts of the given
//              lengths (not terminated); `language` is CharsetLanguage of
//              the request's character set.
//   close      frees a face (null does nothing).
//   height, ascent, signature (`bits` holds four words), widths (`out`
//              holds last - first + 1 entries), drawGlyph.
// Not thread-safe: use from one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "render/font/FontFace.h"

extern "C" {

struct VuFontRequest {
  const char* face;
  size_t faceLength;
  const char* language;
  size_t languageLength;
  int32_t size;
  int32_t bold;
  int32_t italic;
  int32_t underline;
  int32_t strikeout;
  int32_t antialiased;
};

struct VuFontFace;

struct VuFontFunctions {
  VuFontFace* (*open)(const VuFontRequest* request);
  void (*close)(VuFontFace* face);
  int32_t (*height)(const VuFontFace* face);
  int32_t (*ascent)(const VuFontFace* face);
  int (*signature)(const VuFontFace* face, uint32_t* bits);
  int (*widths)(VuFontFace* face, uint32_t first, uint32_t last, GlyphABC* out);
  void (*drawGlyph)(VuFontFace* face, uint32_t ch, int32_t originX, uint8_t* coverage,
                    int32_t width, int32_t height);
};

typedef const VuFontFunctions* (*VuFontModuleFunctionsEntry)();

}  // extern "C"

constexpr const char* kFontModuleFile = "libvu_font.so";
constexpr const char* kFontModuleSymbol = "VuFontModuleFunctions";
