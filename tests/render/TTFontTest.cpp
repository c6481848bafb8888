// TTFont's rules on a face whose numbers the test chooses, then on DejaVu.
#include "render/font/TTFont.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "render/font/FontCache.h"
#include "render/font/FreeTypeFaceSource.h"
#include "tests/support/LogCapture.h"
#include "tests/support/MappedLibrary.h"

namespace {

// A face of height 20 and ascent 16: a character's box is A = 1, B = 2 +
// ch % 5 + wider, C = 1 ("?" and the space have B = 3 + wider); glyphs
// cover two columns from their box's left edge with the coverage `ink`.
struct FakeFace : FontFace {
  int32_t Height() const override { return height; }
  int32_t Ascent() const override { return 16; }
  bool Signature(uint32_t (&out)[4]) const override {
    for (int i = 0; i < 4; ++i) out[i] = bits[i];
    return hasSignature;
  }
  bool Widths(uint32_t first, uint32_t last, GlyphABC* out) override {
    if (failWidths) return false;
    for (uint32_t ch = first; ch <= last; ++ch)
      *out++ = {1, (ch == '?' || ch == ' ' ? 3 : int32_t(2 + ch % 5)) + wider, 1};
    return true;
  }
  void DrawGlyph(uint32_t, int32_t originX, uint8_t* coverage, int32_t width, int32_t h) override {
    for (int32_t y = 2; y < h - 2; ++y)
      for (int32_t x = originX + 1; x < originX + 3 && x < width; ++x)
        if (x >= 0) coverage[y * width + x] = ink;
  }
  int32_t height = 20;
  int32_t wider = 0;
  uint32_t bits[4] = {1, 0, 0, 0};  // Basic Latin only
  bool hasSignature = true;
  bool failWidths = false;
  uint8_t ink = 255;
};

struct FakeSource : FontFaceSource {
  std::unique_ptr<FontFace> Open(const FontRequest& request) override {
    charsets.push_back(request.charset);
    if (opens++ < failures) return nullptr;
    return std::make_unique<FakeFace>(face);
  }
  FakeFace face;
  int failures = 0;
  int opens = 0;
  std::vector<uint32_t> charsets;
};

std::unique_ptr<TTFont> MakeFont(FakeSource& source, uint32_t flags = 0, const char* charset = "") {
  auto font = std::make_unique<TTFont>();
  EXPECT_TRUE(font->Init(source, Kiv::PString(charset), Kiv::PString("fake"), 20, flags));
  return font;
}

TEST(TTFontTest, StylesAdjustWidthsCellsAndLineHeight) {
  struct Case {
    uint32_t flags;
    int32_t lineHeight;
    GlyphABC a;         // 'A' (65): 1, 2, 1 before adjustment
    int32_t cellWidth;  // widest B is 6, + 1
  } const cases[] = {
      {0, 20, {1, 2, 1}, 7},
      {TTFont::kShadow, 21, {1, 2, 1}, 8},
      {TTFont::kUnderline, 20, {0, 4, 0}, 10},
      {TTFont::kStrikeout | TTFont::kShadow, 21, {0, 4, 0}, 11},
      {TTFont::kItalic, 20, {1, 3, 0}, 8},
      {TTFont::kUnderline | TTFont::kItalic, 20, {0, 5, -1}, 11},
  };
  for (const Case& c : cases) {
    FakeSource source;
    std::unique_ptr<TTFont> font = MakeFont(source, c.flags);
    int32_t index = -1;
    font->FindGlyph('A', &index);
    const GlyphABC a = font->Spacing(index);
    EXPECT_EQ(font->LineHeight(), c.lineHeight) << c.flags;
    EXPECT_EQ(std::tie(a.a, a.b, a.c), std::tie(c.a.a, c.a.b, c.a.c)) << c.flags;
    EXPECT_EQ(font->CellWidth(), c.cellWidth) << c.flags;
    EXPECT_EQ(font->SpaceAdvance(), 5) << c.flags;
    EXPECT_EQ(font->AtlasSize(), TTFont::AtlasSide(c.cellWidth, c.lineHeight));
  }
}

TEST(TTFontTest, AtlasDoublesUntilItHoldsSixtyFourCells) {
  EXPECT_EQ(TTFont::AtlasSide(8, 7), 64u);  // 8 x 8 cells of 8 x 7
  EXPECT_EQ(TTFont::AtlasSide(9, 7), 128u);
  EXPECT_EQ(TTFont::AtlasSide(600, 10), 512u) << "never past 512, even for cells that do not fit";
  EXPECT_EQ(TTFont::AtlasSide(1, 600), 512u);
  FakeSource source;
  source.face.wider = 200;  // cells of 207 x 21: 2 per row, 24 rows
  std::unique_ptr<TTFont> font = MakeFont(source);
  EXPECT_EQ(font->AtlasSize(), 512u);
  EXPECT_EQ(font->CellCount(), 48u);
}

TEST(TTFontTest, MissingCharactersComeFromTheFallbackOrAsQuestionMarks) {
  FakeSource latin, wide;
  wide.face.bits[0] = 3;  // Basic Latin and Latin-1
  wide.face.wider = 10;
  std::unique_ptr<TTFont> font = MakeFont(latin);
  std::unique_ptr<TTFont> fallback = MakeFont(wide);
  const std::string eAcute = "\xC3\xA9";         // U+00E9: B = 2 + 233 % 5 + 10
  const std::string emoji = "\xF0\x9F\x98\x80";  // above U+FFFF
  EXPECT_EQ(font->MeasureText(eAcute.data(), eAcute.size()), 5) << "the width of \"?\"";
  TTFont::SetFallbackFont(fallback.get());
  EXPECT_EQ(font->MeasureText(eAcute.data(), eAcute.size()), 17);
  EXPECT_EQ(font->MeasureText(emoji.data(), emoji.size()), 5);
  RenderedGlyph glyph;
  ASSERT_TRUE(font->RenderText(0xE9, &glyph));
  EXPECT_EQ(glyph.font, fallback.get()) << "drawn in the fallback's atlas";
  EXPECT_EQ(fallback->MeasureText(emoji.data(), emoji.size()), 15) << "its own \"?\"";
  fallback.reset();
  EXPECT_EQ(TTFont::FallbackFont(), nullptr) << "a destroyed fallback is forgotten";
  EXPECT_EQ(font->MeasureText(eAcute.data(), eAcute.size()), 5);
}

TEST(TTFontTest, MeasuresExactlyTheGivenBytes) {
  FakeSource source;
  std::unique_ptr<TTFont> font = MakeFont(source);
  struct Case {
    std::string text;
    int32_t width;
  } const cases[] = {
      {"a", 6},             // 1 + (2 + 97 % 5) + 1
      {"ab", 13},           // and 1 + (2 + 98 % 5) + 1
      {"a\nb\x01", 13},     // controls add nothing
      {"a b\t", 23},        // space and tab add the space advance, 5
      {"\xE2\x80\x93", 4},  // the en dash as "-"
      {"\xE2\x82", 10},     // a cut sequence: two characters not in the font, as "?"
      {"\xFF\xC3", 10},
      {std::string("a\0b", 3), 13},
  };
  for (const Case& c : cases) {
    std::vector<char> exact(c.text.begin(), c.text.end());  // no terminator to read past
    EXPECT_EQ(font->MeasureText(exact.data(), exact.size()), c.width) << c.text;
  }
  EXPECT_EQ(font->MeasureText(nullptr, 0), 0);
}

TEST(TTFontTest, CellsAreReusedLeastRecentlyUsedFirstOnceReleased) {
  FakeSource source;
  source.face.wider = 200;  // 48 cells
  std::unique_ptr<TTFont> font = MakeFont(source);
  const uint64_t drawnBefore = TTFont::GlyphsDrawn();
  std::vector<RenderedGlyph> held(48);
  for (uint32_t i = 0; i < 48; ++i) ASSERT_TRUE(font->RenderText('0' + i, &held[i])) << i;
  EXPECT_EQ(TTFont::GlyphsDrawn() - drawnBefore, 48u);
  RenderedGlyph again;
  ASSERT_TRUE(font->RenderText('0', &again));
  EXPECT_EQ(again.cell, held[0].cell) << "a drawn glyph keeps its cell";
  EXPECT_EQ(TTFont::GlyphsDrawn() - drawnBefore, 48u);
  RenderedGlyph extra;
  EXPECT_FALSE(font->RenderText('z', &extra)) << "every cell is in use";
  font->ReleaseGlyph(held[1]);
  ASSERT_TRUE(font->RenderText('z', &extra));
  EXPECT_EQ(extra.cell, held[1].cell) << "the least recently used free cell";
  RenderedGlyph one;
  EXPECT_FALSE(font->RenderText('1', &one)) << "'1' lost its cell, and no other is free";
}

TEST(TTFontTest, WhiteSpaceIsSkippedUnlessUnderlinedAndControlsTakeNoRoom) {
  for (const uint32_t flags : {0u, uint32_t(TTFont::kUnderline)}) {
    FakeSource source;
    std::unique_ptr<TTFont> font = MakeFont(source, flags);
    RenderedGlyph space, control;
    ASSERT_TRUE(font->RenderText(' ', &space));
    ASSERT_TRUE(font->RenderText('\n', &control));
    EXPECT_EQ(control.spacing.a + control.spacing.b + control.spacing.c, 0);
    EXPECT_EQ(space.spacing.a + space.spacing.b + space.spacing.c, 5);
    EXPECT_EQ(space.cell >= 0, flags != 0) << "an underlined space is drawn";
  }
}

TEST(TTFontTest, ShadowFallsBelowRightOfTheInkWithinTheCell) {
  FakeSource source;
  std::unique_ptr<TTFont> font = MakeFont(source, TTFont::kShadow);
  RenderedGlyph glyph;
  ASSERT_TRUE(font->RenderText('A', &glyph));  // ink: columns 0 and 1, rows 2 .. 19
  EXPECT_EQ(glyph.width, 3) << "B and the shadow's column";
  const uint32_t x = uint32_t(glyph.u0 * float(font->AtlasSize()));
  const uint32_t y = uint32_t(glyph.v0 * float(font->AtlasSize()));
  const Kiv::Bitmap& atlas = font->Atlas();
  EXPECT_EQ(atlas.Row(y + 5)[x + 1], 0xFFFFFFFFu) << "ink: white, opaque";
  EXPECT_EQ(atlas.Row(y + 5)[x + 2], 0xFF000000u) << "shadow: black, the ink's level";
  EXPECT_EQ(atlas.Row(y + 20)[x + 1], 0xFF000000u) << "below the ink";
  EXPECT_EQ(atlas.Row(y + 20)[x], 0u) << "the cell's left edge looks at no neighbour";
  EXPECT_EQ(atlas.Row(y + 2)[x + 2], 0u) << "above the shadow";
  EXPECT_EQ(atlas.Row(y)[x], 0u);
}

TEST(TTFontTest, FontsThatCannotBeOpenedRetryWithTheDefaultCharsetThenFail) {
  struct Case {
    const char* charset;
    int failures;
    bool hasSignature, failWidths, initialises;
    std::vector<uint32_t> charsets;
    std::vector<std::string> logged;
  };
  const std::string failed = "'face' CreateFontW failed",
                    retry = "'face' retrying with DEFAULT_CHARSET", noRetry = "'face' failed retry";
  const Case cases[] = {
      {"ShiftJIS", 1, true, false, true, {128, 1}, {failed, retry}},
      {"greek", 2, true, false, false, {161, 1}, {failed, retry, noRetry}},
      {"no such set", 1, true, false, false, {1}, {failed, noRetry}},
      {"", 0, false, false, false, {1}, {"'face' DEFAULT_CHARSET"}},
      {"ansi", 0, true, true, false, {0}, {"'face' Unable to get char widths for range 0"}},
  };
  for (const Case& c : cases) {
    VUTest::LogCapture log;
    FakeSource source;
    source.failures = c.failures;
    source.face.hasSignature = c.hasSignature;
    source.face.failWidths = c.failWidths;
    TTFont font;
    EXPECT_EQ(font.Init(source, Kiv::PString(c.charset), Kiv::PString("face"), 20, 0),
              c.initialises)
        << c.charset;
    EXPECT_EQ(font.IsInitialised(), c.initialises);
    EXPECT_EQ(source.charsets, c.charsets) << c.charset;
    for (const std::string& line : c.logged) EXPECT_TRUE(log.Has("TTFont::Init> " + line)) << line;
  }
  for (const int32_t size : {0, -12, TTFont::kMaxSize + 1}) {
    VUTest::LogCapture log;
    FakeSource source;
    TTFont font;
    EXPECT_FALSE(font.Init(source, Kiv::PString(), Kiv::PString("face"), size, 0)) << size;
    EXPECT_EQ(source.opens, 0) << "refused before opening";
  }
}

TEST(TTFontTest, CacheKeepsEachFontItOpenedOnce) {
  VUTest::LogCapture log;
  auto owned = std::make_unique<FakeSource>();
  FakeSource* source = owned.get();
  FontCache cache(std::move(owned));
  FontKey key;
  key.size = 12;
  key.face = Kiv::PString("swiss");
  TTFont* font = cache.FindOrCreate(key);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(cache.FindOrCreate(key), font);
  key.bold = true;
  TTFont* bold = cache.FindOrCreate(key);
  EXPECT_NE(bold, font);
  EXPECT_EQ(cache.Size(), 2u);
  EXPECT_EQ(source->opens, 2);
  source->face.hasSignature = false;
  key.size = 13;
  EXPECT_EQ(cache.FindOrCreate(key), nullptr);
  EXPECT_EQ(cache.FindOrCreate(key), nullptr);
  EXPECT_EQ(cache.Size(), 2u) << "a font that failed is not kept";
  EXPECT_EQ(source->opens, 4) << "and is tried again";
}

// Glyph coverage, colour and old pixel, and the blended pixel.
TEST(TTFontTest, DrawTextBlendsByTheFontRule) {
  struct Case {
    uint8_t ink;
    uint32_t colour, old, expected;
  } const cases[] = {
      {255, 0xFFFF0000, 0xFF0000FF, 0xFEFE0001},  // red over blue keeps a trace of blue
      {128, 0xFFFFFFFF, 0xFF000000, 0xFE7F7F7F},  // half coverage: half the colour
      {255, 0x00FFFFFF, 0xFF102030, 0xFE102030},  // a transparent colour leaves the pixel
      {255, 0xFFFFFFFF, 0xFFFFFFFF, 0xFEFEFEFE},  // the largest products fit
  };
  for (const Case& c : cases) {
    FakeSource source;
    source.face.ink = c.ink;
    std::unique_ptr<TTFont> font = MakeFont(source);
    RenderedGlyph glyph;
    ASSERT_TRUE(font->RenderText('A', &glyph));
    Kiv::Bitmap target(8, 24, Kiv::Bitmap::kARGB);
    target.Fill(c.old);
    TTFont::DrawText(glyph, target, 0, 0, c.colour);
    EXPECT_EQ(target.Row(5)[0], c.expected) << std::hex << c.colour << " at " << int(c.ink);
    EXPECT_EQ(target.Row(5)[2], c.old) << "outside the glyph's B columns";
  }
  FakeSource source;
  std::unique_ptr<TTFont> font = MakeFont(source);
  RenderedGlyph glyph;
  ASSERT_TRUE(font->RenderText('A', &glyph));
  Kiv::Bitmap target(8, 24, Kiv::Bitmap::kARGB);
  target.Fill(0xFF0000FF);
  TTFont::DrawText(glyph, target, 0, 0, 0xFFFF0000);
  EXPECT_EQ(target.Row(0)[0], 0xFE0000FEu) << "uncovered pixels of the box darken by one";
  for (const int64_t at : {-100LL, 7LL, 23LL, 1LL << 40, -(1LL << 40)})
    TTFont::DrawText(glyph, target, at, at, 0xFFFF0000);  // clipped, never outside
}

// FreeType and fontconfig come only with the font module, which the first
// face opened loads: a program that opens no face never maps them.
TEST(TTFontTest, FreeTypeIsMappedOnlyWithTheModuleOfTheFirstFace) {
  using VUTest::IsLibraryMapped;
  EXPECT_EQ(IsLibraryMapped("libfreetype"), IsLibraryMapped("libvu_font"))
      << "FreeType is linked in, not loaded on use";
  EXPECT_EQ(IsLibraryMapped("libfontconfig"), IsLibraryMapped("libvu_font"));
  FreeTypeFaceSource source;
  FontRequest request;
  request.face = "DejaVu Sans";
  request.size = 12;
  ASSERT_NE(source.Open(request), nullptr);
  EXPECT_TRUE(IsLibraryMapped("libvu_font"));
  EXPECT_TRUE(IsLibraryMapped("libfreetype"));
  EXPECT_TRUE(IsLibraryMapped("libfontconfig"));
}

// Characters the face lacks share the spacing of its missing glyph; the
// characters after one of them keep their own.
TEST(TTFontTest, FaceWidthsAfterAMissingCharacterAreTheirOwn) {
  FreeTypeFaceSource source;
  FontRequest request;
  request.face = "DejaVu Sans";
  request.size = 16;
  std::unique_ptr<FontFace> face = source.Open(request);
  ASSERT_NE(face, nullptr);
  std::vector<GlyphABC> run(0x42);  // U+0000 (no glyph) .. 'A'
  ASSERT_TRUE(face->Widths(0, 0x41, run.data()));
  GlyphABC alone[2];
  ASSERT_TRUE(face->Widths(0x41, 0x41, &alone[0]));
  ASSERT_TRUE(face->Widths(0, 0, &alone[1]));
  const GlyphABC& a = run.back();
  EXPECT_EQ(std::tie(a.a, a.b, a.c), std::tie(alone[0].a, alone[0].b, alone[0].c));
  EXPECT_EQ(std::tie(run[0].a, run[0].b, run[0].c), std::tie(alone[1].a, alone[1].b, alone[1].c));
  EXPECT_NE(std::tie(a.a, a.b, a.c), std::tie(run[0].a, run[0].b, run[0].c));
  EXPECT_GT(run[0].a + run[0].b + run[0].c, 0) << "the missing glyph has an advance of its own";
}

// The same rules on the system's fonts.
TEST(TTFontTest, DejaVuFacesFollowTheRules) {
  FreeTypeFaceSource source;
  for (const int32_t size : {8, 12, 16, 32}) {
    TTFont font;
    ASSERT_TRUE(
        font.Init(source, Kiv::PString(), Kiv::PString("DejaVu Sans"), size, TTFont::kAntialiased));
    EXPECT_EQ(font.LineHeight(), size);
    const int32_t a = font.MeasureText("a", 1), ab = font.MeasureText("ab", 2);
    EXPECT_GT(a, 0);
    EXPECT_EQ(ab, a + font.MeasureText("b", 1));
    int32_t latin = -1, question = -1, cjk = -1;
    font.FindGlyph(0xE9, &latin);
    font.FindGlyph('?', &question);
    font.FindGlyph(0x4E00, &cjk);
    EXPECT_NE(latin, question) << "Latin-1 is covered";
    EXPECT_EQ(cjk, question) << "CJK is not: \"?\"";
  }
  TTFont regular, bold, underlined;
  ASSERT_TRUE(regular.Init(source, Kiv::PString(), Kiv::PString("swiss"), 16, 0));
  ASSERT_TRUE(bold.Init(source, Kiv::PString(), Kiv::PString("swiss"), 16, TTFont::kBold));
  ASSERT_TRUE(underlined.Init(source, Kiv::PString(), Kiv::PString("swiss"), 16,
                              TTFont::kUnderline | TTFont::kShadow));
  EXPECT_GT(bold.MeasureText("wide", 4), regular.MeasureText("wide", 4));
  // A real glyph is drawn into the atlas and onto a bitmap (the pixels are
  // the fake face's tests').
  Kiv::Bitmap target(64, 32, Kiv::Bitmap::kARGB);
  RenderedGlyph glyph;
  ASSERT_TRUE(underlined.RenderText('W', &glyph));
  TTFont::DrawText(glyph, target, 10, 5, 0xFFFFFFFF);

  FontKey key;
  key.size = 12;
  key.face = Kiv::PString("swiss");
  TTFont* cached = FindOrCreateFont(key);
  ASSERT_NE(cached, nullptr);
  EXPECT_EQ(FindOrCreateFont(key), cached) << "the process's cache";
}

}  // namespace
