// TTFont: a TrueType font at one size and style, for the script-visible
// image classes: it measures UTF-8 text, draws the glyphs it is asked for
// into a square atlas bitmap, and copies glyphs from the atlas into target
// bitmaps, blended in a colour. Fonts are made and kept by the font cache
// (FontCache.h); a font stays in it until the process ends.
//
// Init(source, charset, face, size, flags) opens the face through `source`
// (FontFace.h) and builds:
// - line height = the face's cell height (+1 with the shadow flag) and its
//   ascent;
// - one glyph record {A, B, C} per character of each Unicode range whose
//   bit is set in the face's signature (UnicodeRanges.h), adjusted: with
//   underline or strikeout B += A + C and A = C = 0; with italic B += 1 and
//   C -= 1;
// - cell width = the largest B + shadow extra (1 with the shadow flag) + 1,
//   + 1 more with underline or strikeout; default glyph = that of "?"; space
//   advance = A + B + C of the space, else 10;
// - the atlas: side 64, doubled while it holds fewer than 64 cells of cell
//   width x (line height + 1) and stays at most 512; every cell on the
//   least-recently-used list.
// Failures are logged with the face name and leave the font unusable: the
// face cannot be opened ("TTFont::Init> '%s' CreateFontW failed"; with a
// character set other than the default, "TTFont::Init> '%s' retrying with
// DEFAULT_CHARSET" and a second try with the default, whose failure logs
// "TTFont::Init> '%s' failed retry"); the face gives no signature
// ("TTFont::Init> '%s' DEFAULT_CHARSET"); widths of a range cannot be had
// ("TTFont::Init> '%s' Unable to get char widths for range %d"). A size
// outside 1 .. kMaxSize is refused like a face that cannot be opened.
//
// Glyph lookup: U+2013 is looked up as "-"; characters above U+FFFF and
// characters outside the supported ranges are taken from the fallback font
// (SetFallbackFont) when there is one other than this font and it has them,
// else drawn and measured as the default glyph (none when the font lacks
// "?": such characters then measure 0 and draw nothing).
//
// MeasureText(text, length): decodes exactly `length` bytes as UTF-8
// (invalid sequences count as U+FFFD, foundation/text/Utf8.h); characters
// below 32 other than tab add nothing, white space adds the space advance,
// others A + B + C of their glyph.
//
// RenderText(ch, out): characters below 32 other than tab give an empty
// glyph with no advance; white space gives no glyph and the space advance
// in C, unless the font underlines or strikes out, when it is drawn as a
// space; U+2019 is drawn as "'". Otherwise the glyph's cell (in the atlas
// of the font that has the glyph) is found or the least-recently-used cell
// is taken and the glyph drawn into it; the cell's use count rises and it
// becomes the most recently used. False, with nothing changed, when the
// least-recently-used cell is still in use (the atlas is full until cells
// are released) or the font has no glyph for it. ReleaseGlyph gives back
// the use of a glyph once it has been copied.
//
// DrawText(glyph, target, x, y, colour) copies the glyph's rectangle of its
// font's atlas to (x, y) of a 32-bit target, clipped to the target,
// blending each pixel: with atlas pixel s and colour c (both 0xAARRGGBB),
// a = s.alpha x c.alpha + 255; each colour channel becomes
// ((s x c + 255) x a / 256 + old x (65535 - a)) / 65536 and alpha
// (old alpha x (65535 - a) + a x a / 256) / 65536, in integers.
//
// Not thread-safe: fonts are used on the thread that runs scripts.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kiv/PString.h"
#include "kiv/basics/Bitmap.h"
#include "render/font/FontFace.h"

class TTFont;

// One glyph as RenderText gives it: the font whose atlas holds it, its
// cell, its rectangle in texture coordinates (atlas pixels / atlas side),
// its size in pixels and its spacing.
struct RenderedGlyph {
  TTFont* font = nullptr;
  int32_t cell = -1;
  float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
  int32_t width = 0;
  int32_t height = 0;
  GlyphABC spacing;
};

class TTFont {
 public:
  enum Flags : uint32_t {
    kBold = 1,
    kUnderline = 2,
    kItalic = 4,
    kStrikeout = 32,
    kShadow = 64,
    kAntialiased = 128,
  };
  static constexpr int32_t kMaxSize = 1024;
  static constexpr uint32_t kMinAtlasSide = 64;
  static constexpr uint32_t kMaxAtlasSide = 512;

  TTFont() = default;
  ~TTFont();
  TTFont(const TTFont&) = delete;
  TTFont& operator=(const TTFont&) = delete;

  bool Init(FontFaceSource& source, const Kiv::PString& charset, const Kiv::PString& face,
            int32_t size, uint32_t flags);
  bool IsInitialised() const { return initialised_; }

  int32_t MeasureText(const char* text, size_t length) const;
  bool RenderText(uint32_t ch, RenderedGlyph* out);
  void ReleaseGlyph(const RenderedGlyph& glyph);
  static void DrawText(const RenderedGlyph& glyph, Kiv::Bitmap& target, int64_t x, int64_t y,
                       uint32_t colour);

  // The font and glyph record of `ch` (see the lookup above); the record
  // index is -1 when there is none.
  TTFont* FindGlyph(uint32_t ch, int32_t* index) const;

  // The process-wide fallback font, or null. A font clears it when it is
  // destroyed while named.
  static void SetFallbackFont(TTFont* font);
  static TTFont* FallbackFont();
  // Glyphs drawn into atlases in this process.
  static uint64_t GlyphsDrawn();

  // The atlas side size and the atlas side for a cell size (the rule above).
  static uint32_t AtlasSide(int32_t cellWidth, int32_t lineHeight);
  uint32_t AtlasSize() const { return atlasSize_; }
  uint32_t CellCount() const { return static_cast<uint32_t>(cells_.size()); }
  int32_t LineHeight() const { return lineHeight_; }
  int32_t Ascent() const { return ascent_; }
  int32_t CellWidth() const { return cellWidth_; }
  int32_t SpaceAdvance() const { return spaceAdvance_; }
  // The adjusted spacing of glyph record `index` (zeros for -1).
  GlyphABC Spacing(int32_t index) const;
  const Kiv::Bitmap& Atlas() const { return atlas_; }

 private:
  struct Range {
    uint32_t firstIndex;
    uint32_t first;
    uint32_t last;
  };
  struct Cell {
    uint32_t next;
    uint32_t previous;
    uint32_t ch;
    int32_t glyph;
    uint32_t uses;
    int32_t x;
    int32_t y;
  };

  void Reset();
  bool Open(FontFaceSource& source, const char* face, int32_t size, uint32_t charset);
  bool LoadGlyphs(const char* face);
  void AdjustGlyphs();
  void BuildAtlas();
  int32_t Lookup(uint32_t ch) const;
  uint32_t CharOf(int32_t index) const;
  GlyphABC Advance(uint32_t ch) const;
  void MakeMostRecent(uint32_t cell);
  void DrawCell(Cell& cell);
  bool Underlines() const { return (flags_ & (kUnderline | kStrikeout)) != 0; }

  std::unique_ptr<FontFace> face_;
  Kiv::Bitmap atlas_;
  bool dirty_ = false;
  bool initialised_ = false;
  uint32_t atlasSize_ = 0;
  float inverseAtlasSize_ = 0;
  std::vector<GlyphABC> glyphs_;
  std::unordered_map<uint32_t, uint32_t> cellOfChar_;
  std::vector<Cell> cells_;
  uint32_t head_ = 0;  // the most recently used cell
  std::vector<Range> ranges_;
  int32_t defaultGlyph_ = -1;
  int32_t lineHeight_ = 0;
  int32_t ascent_ = 0;
  int32_t cellWidth_ = 0;
  int32_t spaceAdvance_ = 10;
  int32_t extraSpacing_ = 0;
  uint32_t flags_ = 0;
  int32_t shadowExtra_ = 0;
  std::vector<uint8_t> coverage_;
};
