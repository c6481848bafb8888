// FreeTypeFaceSource: the program's font faces, found with fontconfig and
// rasterised with FreeType.
//
// Open(request) asks fontconfig for the scalable font that best matches the
// face name as a family, the weight (bold or regular) and the slant (italic
// or roman); a character set other than the default also asks for fonts of
// its language (FontCharsets.h), and when the best match does not cover
// that language the face is not opened, so the font retries with the
// default set. fontconfig answers some font for any family name (its
// defaults stand in for unknown names such as "swiss"). A face name that is
// not valid UTF-8, a file FreeType cannot open, or a face without a
// scalable outline give null.
//
// The face is sized so that its cell (the OS/2 Windows ascent + descent,
// else the horizontal header's) is `size` pixels: Height() is the size and
// Ascent() the scaled ascent. The signature is the OS/2 table's Unicode
// ranges; a face without an OS/2 table or without a Unicode character map
// gives none. Widths come from the hinted glyph outlines (A = left edge of
// the black box, B = its width, C = advance - A - B, in whole pixels);
// glyphs are drawn antialiased (grey levels) or in two levels, as asked.
// Bold and italic are synthesised (emboldened, slanted outlines) when the
// matched font lacks them; underline and strikeout are bars at the face's
// own positions and thicknesses across the advance.
//
// Faces share one FreeType library, freed with the last face; fontconfig's
// configuration is loaded on the first match and freed at process exit.
// Both live in the font module (FontModule.h), which the first Open loads;
// when it cannot be loaded every Open gives null and the engine log says
// once "Fonts are not available: <why>" (e.g. "libvu_font.so was not
// found"). Not thread-safe: use from one thread.
#pragma once

#include "render/font/FontFace.h"

class FreeTypeFaceSource : public FontFaceSource {
 public:
  std::unique_ptr<FontFace> Open(const FontRequest& request) override;
};
