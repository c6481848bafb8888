// FontFace: what a TrueType font needs of the platform's rasteriser, one
// opened face at one size; FontFaceSource opens faces. TTFont (TTFont.h)
// builds its glyph table, atlas and measurements on these operations only,
// so tests can give it a face whose numbers they choose. The program's
// faces come from FreeType and fontconfig (FreeTypeFaceSource.h).
//
// Not thread-safe: a face belongs to its font.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

// What a font asks for: face name, cell height in pixels, style and the
// Windows character set number (1 = DEFAULT_CHARSET).
struct FontRequest {
  std::string_view face;
  int32_t size = 0;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikeout = false;
  bool antialiased = false;
  uint32_t charset = 1;
};

// Spacing of one character in pixels: A before the black box, B its width,
// C after it, so that A + B + C is the advance.
struct GlyphABC {
  int32_t a = 0;
  int32_t b = 0;
  int32_t c = 0;
};

class FontFace {
 public:
  virtual ~FontFace() = default;

  // Cell height (ascent + descent) and ascent in pixels.
  virtual int32_t Height() const = 0;
  virtual int32_t Ascent() const = 0;
  // The 128-bit Unicode-subset signature (OpenType OS/2 Unicode ranges,
  // bit n in word n / 32). False when the face has no character-set
  // information to give (no OS/2 table or no Unicode character map).
  virtual bool Signature(uint32_t (&bits)[4]) const = 0;
  // The spacing of the characters first .. last into out[0 ..]. False when
  // a character's metrics cannot be had.
  virtual bool Widths(uint32_t first, uint32_t last, GlyphABC* out) = 0;
  // Draws `ch` white on black into a width x height coverage buffer (one
  // byte a pixel, 0 uncovered, rows top down): its pen origin at x =
  // `originX`, its baseline at the ascent, underline and strikeout bars
  // across its advance when the face was opened with them. Clipped to the
  // buffer; antialiased faces give grey levels, others 0 or 255.
  virtual void DrawGlyph(uint32_t ch, int32_t originX, uint8_t* coverage, int32_t width,
                         int32_t height) = 0;
};

class FontFaceSource {
 public:
  virtual ~FontFaceSource() = default;
  // The face that best fits `request`; null when none can be opened.
  virtual std::unique_ptr<FontFace> Open(const FontRequest& request) = 0;
};
