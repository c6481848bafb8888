// The font module (see render/font/FontModule.h): faces found with
// fontconfig and rasterised with FreeType, behind one table.
#include "render/font/FontModule.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace {

// One FreeType library for every face; freed with the last of them.
class Library {
 public:
  static std::shared_ptr<Library> Get() {
    static std::weak_ptr<Library> shared;
    std::shared_ptr<Library> library = shared.lock();
    if (library != nullptr) return library;
    FT_Library handle = nullptr;
    if (FT_Init_FreeType(&handle) != 0) return nullptr;
    library = std::make_shared<Library>(handle);
    shared = library;
    return library;
  }
  explicit Library(FT_Library handle) : handle_(handle) {}
  ~Library() { FT_Done_FreeType(handle_); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  FT_Library Handle() const { return handle_; }

 private:
  FT_Library handle_;
};

// The font file fontconfig chooses for a request, and what it lacks of the
// asked style.
struct Match {
  std::string file;
  int index = 0;
  bool emboldened = false;
  bool slanted = false;
};

struct PatternFree {
  void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using Pattern = std::unique_ptr<FcPattern, PatternFree>;

// fontconfig's configuration, loaded on first use and freed when the
// process ends.
class Fontconfig {
 public:
  static bool Ready() {
    static Fontconfig session;
    return session.ready_;
  }
  Fontconfig(const Fontconfig&) = delete;
  Fontconfig& operator=(const Fontconfig&) = delete;

 private:
  Fontconfig() : ready_(FcInit() != FcFalse) {}
  ~Fontconfig() {
    if (ready_) FcFini();
  }
  bool ready_;
};

// `languageName` is the language of the request's character set ("" for
// none).
bool FindFont(const FontRequest& request, std::string_view languageName, Match* match) {
  if (!Fontconfig::Ready()) return false;
  const std::string family(request.face);
  int characters = 0, width = 0;
  const auto* name = reinterpret_cast<const FcChar8*>(family.c_str());
  if (!FcUtf8Len(name, int(family.size()), &characters, &width)) return false;
  Pattern pattern(FcPatternCreate());
  if (pattern == nullptr) return false;
  FcPatternAddString(pattern.get(), FC_FAMILY, name);
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, request.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
  const std::string language(languageName);
  const auto* lang = reinterpret_cast<const FcChar8*>(language.c_str());
  if (!language.empty()) FcPatternAddString(pattern.get(), FC_LANG, lang);
  if (!FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern)) return false;
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  Pattern found(FcFontMatch(nullptr, pattern.get(), &result));
  if (found == nullptr) return false;
  FcChar8* file = nullptr;
  if (FcPatternGetString(found.get(), FC_FILE, 0, &file) != FcResultMatch) return false;
  match->file = reinterpret_cast<const char*>(file);
  FcPatternGetInteger(found.get(), FC_INDEX, 0, &match->index);
  if (!language.empty()) {
    FcLangSet* languages = nullptr;
    if (FcPatternGetLangSet(found.get(), FC_LANG, 0, &languages) != FcResultMatch ||
        FcLangSetHasLang(languages, lang) == FcLangDifferentLang)
      return false;
  }
  int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
  FcPatternGetInteger(found.get(), FC_WEIGHT, 0, &weight);
  FcPatternGetInteger(found.get(), FC_SLANT, 0, &slant);
  match->emboldened = request.bold && weight < FC_WEIGHT_DEMIBOLD;
  match->slanted = request.italic && slant == FC_SLANT_ROMAN;
  return true;
}

// 26.6 fixed point to whole pixels.
int32_t Floor(FT_Pos v) {
  return int32_t(v >> 6);
}
int32_t Ceil(FT_Pos v) {
  return int32_t((v + 63) >> 6);
}
int32_t Round(FT_Pos v) {
  return int32_t((v + 32) >> 6);
}

class FreeTypeFace : public FontFace {
 public:
  FreeTypeFace(std::shared_ptr<Library> library, FT_Face face, const FontRequest& request,
               const Match& match)
      : library_(std::move(library)), face_(face), request_(request), match_(match) {
    request_.face = {};  // the caller's text; not kept
  }
  ~FreeTypeFace() override { FT_Done_Face(face_); }
  FreeTypeFace(const FreeTypeFace&) = delete;
  FreeTypeFace& operator=(const FreeTypeFace&) = delete;

  bool Size();
  int32_t Height() const override { return request_.size; }
  int32_t Ascent() const override { return ascent_; }
  bool Signature(uint32_t (&bits)[4]) const override;
  bool Widths(uint32_t first, uint32_t last, GlyphABC* out) override;
  void DrawGlyph(uint32_t ch, int32_t originX, uint8_t* coverage, int32_t width,
                 int32_t height) override;

 private:
  bool Load(FT_UInt glyph);
  void Bar(int32_t top, int32_t thickness, int32_t x0, int32_t x1, uint8_t* coverage, int32_t width,
           int32_t height) const;

  std::shared_ptr<Library> library_;
  FT_Face face_;
  FontRequest request_;
  Match match_;
  int32_t ascent_ = 0;
  int32_t units_ = 0;  // font units of the cell
  FT_Int32 loadFlags_ = 0;
  // The spacing of glyph 0, which every character the face lacks shares.
  bool missingKnown_ = false;
  GlyphABC missing_;
};

bool FreeTypeFace::Size() {
  if (!FT_IS_SCALABLE(face_) || face_->units_per_EM == 0) return false;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
  int32_t ascent = face_->ascender;
  units_ = face_->ascender - face_->descender;
  if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    ascent = os2->usWinAscent;
    units_ = os2->usWinAscent + os2->usWinDescent;
  }
  if (units_ <= 0) return false;
  const int64_t em = (int64_t(request_.size) * face_->units_per_EM * 64 + units_ / 2) / units_;
  if (em <= 0 || FT_Set_Char_Size(face_, 0, FT_F26Dot6(em), 72, 72) != 0) return false;
  ascent_ = int32_t((int64_t(ascent) * request_.size + units_ / 2) / units_);
  loadFlags_ =
      FT_LOAD_NO_BITMAP | (request_.antialiased ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO);
  return true;
}

bool FreeTypeFace::Signature(uint32_t (&bits)[4]) const {
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
  if (os2 == nullptr || os2->version == 0xFFFF || face_->charmap == nullptr ||
      face_->charmap->encoding != FT_ENCODING_UNICODE)
    return false;
  bits[0] = uint32_t(os2->ulUnicodeRange1);
  bits[1] = uint32_t(os2->ulUnicodeRange2);
  bits[2] = uint32_t(os2->ulUnicodeRange3);
  bits[3] = uint32_t(os2->ulUnicodeRange4);
  return true;
}

bool FreeTypeFace::Load(FT_UInt glyph) {
  if (FT_Load_Glyph(face_, glyph, loadFlags_) != 0) return false;
  if (face_->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return false;
  if (match_.emboldened) FT_GlyphSlot_Embolden(face_->glyph);
  if (match_.slanted) FT_GlyphSlot_Oblique(face_->glyph);
  return true;
}

bool FreeTypeFace::Widths(uint32_t first, uint32_t last, GlyphABC* out) {
  for (uint32_t ch = first; ch <= last; ++ch, ++out) {
    const FT_UInt glyph = FT_Get_Char_Index(face_, ch);
    if (glyph == 0 && missingKnown_) {
      *out = missing_;
      continue;
    }
    if (!Load(glyph)) return false;
    const FT_Glyph_Metrics& metrics = face_->glyph->metrics;
    out->a = Floor(metrics.horiBearingX);
    out->b = Ceil(metrics.horiBearingX + metrics.width) - out->a;
    out->c = Round(face_->glyph->advance.x) - out->a - out->b;
    if (glyph == 0) {
      missing_ = *out;
      missingKnown_ = true;
    }
  }
  return true;
}

void FreeTypeFace::Bar(int32_t top, int32_t thickness, int32_t x0, int32_t x1, uint8_t* coverage,
                       int32_t width, int32_t height) const {
  const int32_t left = std::max(x0, 0), right = std::min(x1, width);
  for (int32_t y = std::max(top, 0); y < std::min(top + thickness, height); ++y)
    for (int32_t x = left; x < right; ++x) coverage[size_t(y) * width + x] = 255;
}

void FreeTypeFace::DrawGlyph(uint32_t ch, int32_t originX, uint8_t* coverage, int32_t width,
                             int32_t height) {
  if (!Load(FT_Get_Char_Index(face_, ch))) return;
  FT_GlyphSlot slot = face_->glyph;
  const int32_t advance = Round(slot->advance.x);
  const FT_Render_Mode mode = request_.antialiased ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO;
  if (FT_Render_Glyph(slot, mode) == 0) {
    const FT_Bitmap& bitmap = slot->bitmap;
    const int32_t left = originX + slot->bitmap_left;
    const int32_t top = ascent_ - slot->bitmap_top;
    for (int32_t row = 0; row < int32_t(bitmap.rows); ++row) {
      const int32_t y = top + row;
      if (y < 0 || y >= height) continue;
      const unsigned char* in = bitmap.buffer + int64_t(row) * bitmap.pitch;
      for (int32_t column = 0; column < int32_t(bitmap.width); ++column) {
        const int32_t x = left + column;
        if (x < 0 || x >= width) continue;
        const uint8_t value = bitmap.pixel_mode == FT_PIXEL_MODE_MONO
                                  ? ((in[column >> 3] >> (7 - (column & 7))) & 1) * 255
                                  : in[column];
        uint8_t& out = coverage[size_t(y) * width + x];
        out = std::max(out, value);
      }
    }
  }
  const FT_Fixed scale = face_->size->metrics.y_scale;
  if (request_.underline) {
    const int32_t thickness = std::max(1, Round(FT_MulFix(face_->underline_thickness, scale)));
    const int32_t centre = ascent_ - Round(FT_MulFix(face_->underline_position, scale));
    Bar(centre - thickness / 2, thickness, originX, originX + advance, coverage, width, height);
  }
  if (request_.strikeout) {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
    FT_Pos position = face_->ascender / 3, size = face_->underline_thickness;
    if (os2 != nullptr && os2->version != 0xFFFF) {
      position = os2->yStrikeoutPosition;
      size = os2->yStrikeoutSize;
    }
    const int32_t thickness = std::max(1, Round(FT_MulFix(size, scale)));
    Bar(ascent_ - Round(FT_MulFix(position, scale)), thickness, originX, originX + advance,
        coverage, width, height);
  }
}

FreeTypeFace* Face(VuFontFace* face) {
  return reinterpret_cast<FreeTypeFace*>(face);
}

const FreeTypeFace* Face(const VuFontFace* face) {
  return reinterpret_cast<const FreeTypeFace*>(face);
}

VuFontFace* Open(const VuFontRequest* wanted) {
  if (wanted == nullptr || (wanted->face == nullptr && wanted->faceLength != 0) ||
      (wanted->language == nullptr && wanted->languageLength != 0))
    return nullptr;
  FontRequest request;
  request.face = std::string_view(wanted->face, wanted->faceLength);
  request.size = wanted->size;
  request.bold = wanted->bold != 0;
  request.italic = wanted->italic != 0;
  request.underline = wanted->underline != 0;
  request.strikeout = wanted->strikeout != 0;
  request.antialiased = wanted->antialiased != 0;
  Match match;
  if (request.size <= 0 ||
      !FindFont(request, std::string_view(wanted->language, wanted->languageLength), &match))
    return nullptr;
  std::shared_ptr<Library> library = Library::Get();
  if (library == nullptr) return nullptr;
  FT_Face face = nullptr;
  if (FT_New_Face(library->Handle(), match.file.c_str(), match.index, &face) != 0) return nullptr;
  FT_Select_Charmap(face, FT_ENCODING_UNICODE);
  auto opened = std::make_unique<FreeTypeFace>(std::move(library), face, request, match);
  if (!opened->Size()) return nullptr;
  return reinterpret_cast<VuFontFace*>(opened.release());
}

void Close(VuFontFace* face) {
  delete Face(face);
}

int32_t Height(const VuFontFace* face) {
  return Face(face)->Height();
}

int32_t Ascent(const VuFontFace* face) {
  return Face(face)->Ascent();
}

int Signature(const VuFontFace* face, uint32_t* bits) {
  uint32_t words[4] = {};
  if (!Face(face)->Signature(words)) return 0;
  std::copy(words, words + 4, bits);
  return 1;
}

int Widths(VuFontFace* face, uint32_t first, uint32_t last, GlyphABC* out) {
  return Face(face)->Widths(first, last, out) ? 1 : 0;
}

void DrawGlyph(VuFontFace* face, uint32_t ch, int32_t originX, uint8_t* coverage, int32_t width,
               int32_t height) {
  Face(face)->DrawGlyph(ch, originX, coverage, width, height);
}

constexpr VuFontFunctions kFunctions = {&Open,      &Close,  &Height,   &Ascent,
                                        &Signature, &Widths, &DrawGlyph};

}  // namespace

extern "C" __attribute__((visibility("default"))) const VuFontFunctions* VuFontModuleFunctions() {
  return &kFunctions;
}
