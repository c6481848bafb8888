#include "render/font/TTFont.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "foundation/text/Utf8.h"
#include "kiv/Log.h"
#include "render/font/FontCharsets.h"
#include "render/font/UnicodeRanges.h"

namespace {

TTFont* fallbackFont = nullptr;
uint64_t glyphsDrawn = 0;

constexpr size_t kMaxFaceNameBytes = 256;

// Unicode white space at or above U+0020, and tab.
bool IsWhiteSpace(uint32_t ch) {
  switch (ch) {
    case 0x09:
    case 0x20:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return ch >= 0x2000 && ch <= 0x200A;
  }
}

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

TTFont::~TTFont() {
  if (fallbackFont == this) fallbackFont = nullptr;
}

void TTFont::SetFallbackFont(TTFont* font) {
  fallbackFont = font;
}

TTFont* TTFont::FallbackFont() {
  return fallbackFont;
}

uint64_t TTFont::GlyphsDrawn() {
  return glyphsDrawn;
}

void TTFont::Reset() {
  face_.reset();
  atlas_.Init(0, 0, 0, nullptr, 0);
  dirty_ = initialised_ = false;
  atlasSize_ = 0;
  inverseAtlasSize_ = 0;
  glyphs_.clear();
  cellOfChar_.clear();
  cells_.clear();
  head_ = 0;
  ranges_.clear();
  defaultGlyph_ = -1;
  lineHeight_ = ascent_ = cellWidth_ = 0;
  spaceAdvance_ = 10;
  shadowExtra_ = 0;
  coverage_.clear();
}

bool TTFont::Init(FontFaceSource& source, const Kiv::PString& charset, const Kiv::PString& face,
                  int32_t size, uint32_t flags) {
  Reset();
  flags_ = flags;
  extraSpacing_ = 0;
  const std::string name(face.View().substr(0, kMaxFaceNameBytes));
  if (!Open(source, name.c_str(), size, CharsetFromName(charset.View()))) return false;
  lineHeight_ = face_->Height();
  ascent_ = face_->Ascent();
  if ((flags_ & kShadow) != 0) {
    lineHeight_ += 1;
    shadowExtra_ = 1;
  }
  if (!LoadGlyphs(name.c_str())) {
    Reset();
    return false;
  }
  AdjustGlyphs();
  defaultGlyph_ = Lookup('?');
  const int32_t space = Lookup(' ');
  if (space >= 0) spaceAdvance_ = glyphs_[space].a + glyphs_[space].b + glyphs_[space].c;
  cellWidth_ += shadowExtra_ + 1 + (Underlines() ? 1 : 0);
  BuildAtlas();
  if (atlas_.Pixels() == nullptr) {
    Kiv::Log::Printf("TTFont::Init> '%s' CreateDIBSection failed", name.c_str());
    Reset();
    return false;
  }
  initialised_ = true;
  return true;
}

bool TTFont::Open(FontFaceSource& source, const char* face, int32_t size, uint32_t charset) {
  FontRequest request;
  request.face = face;
  request.size = size;
  request.bold = (flags_ & kBold) != 0;
  request.italic = (flags_ & kItalic) != 0;
  request.underline = (flags_ & kUnderline) != 0;
  request.strikeout = (flags_ & kStrikeout) != 0;
  request.antialiased = (flags_ & kAntialiased) != 0;
  request.charset = charset;
  for (;;) {
    if (size >= 1 && size <= kMaxSize) face_ = source.Open(request);
    if (face_ != nullptr && face_->Height() > 0) return true;
    face_.reset();
    Kiv::Log::Printf("TTFont::Init> '%s' CreateFontW failed", face);
    if (request.charset == kDefaultCharset) break;
    Kiv::Log::Printf("TTFont::Init> '%s' retrying with DEFAULT_CHARSET", face);
    request.charset = kDefaultCharset;
  }
  Kiv::Log::Printf("TTFont::Init> '%s' failed retry", face);
  return false;
}

bool TTFont::LoadGlyphs(const char* face) {
  uint32_t signature[4] = {};
  if (!face_->Signature(signature)) {
    Kiv::Log::Printf("TTFont::Init> '%s' DEFAULT_CHARSET", face);
    return false;
  }
  std::vector<UnicodeRange> supported;
  for (const UnicodeRange& range : UnicodeRanges())
    if (range.bit < 128 && (signature[range.bit / 32] >> (range.bit % 32) & 1) != 0)
      supported.push_back(range);
  std::sort(supported.begin(), supported.end(),
            [](const UnicodeRange& x, const UnicodeRange& y) { return x.first < y.first; });
  uint32_t count = 0;
  for (const UnicodeRange& range : supported) {
    ranges_.push_back({count, range.first, range.last});
    count += range.last - range.first + 1;
  }
  glyphs_.resize(count);
  for (size_t i = 0; i < ranges_.size(); ++i) {
    const Range& range = ranges_[i];
    if (!face_->Widths(range.first, range.last, &glyphs_[range.firstIndex])) {
      Kiv::Log::Printf("TTFont::Init> '%s' Unable to get char widths for range %d", face,
                       static_cast<int>(i));
      return false;
    }
  }
  return true;
}

void TTFont::AdjustGlyphs() {
  cellWidth_ = 0;
  for (GlyphABC& glyph : glyphs_) {
    if (Underlines()) {
      glyph.b += glyph.a + glyph.c;
      glyph.a = glyph.c = 0;
    }
    if ((flags_ & kItalic) != 0) {
      glyph.b += 1;
      glyph.c -= 1;
    }
    cellWidth_ = std::max(cellWidth_, glyph.b);
    if (extraSpacing_ != 0) glyph.c += extraSpacing_;
  }
}

uint32_t TTFont::AtlasSide(int32_t cellWidth, int32_t lineHeight) {
  uint32_t side = kMinAtlasSide;
  for (;;) {
    const uint64_t perRow = cellWidth > 0 ? side / uint32_t(cellWidth) : 0;
    const uint64_t rows = lineHeight >= 0 ? side / (uint32_t(lineHeight) + 1) : 0;
    if (perRow * rows >= 64 || side >= kMaxAtlasSide) return side;
    side *= 2;
  }
}

void TTFont::BuildAtlas() {
  atlasSize_ = AtlasSide(cellWidth_, lineHeight_);
  inverseAtlasSize_ = 1.0f / float(atlasSize_);
  atlas_.Init(atlasSize_, atlasSize_, Kiv::Bitmap::kARGB, nullptr,
              uint64_t(atlasSize_) * atlasSize_ * 4);
  const uint32_t perRow = atlasSize_ / uint32_t(cellWidth_);
  const uint32_t rows = atlasSize_ / (uint32_t(lineHeight_) + 1);
  const uint32_t count = perRow * rows;
  cells_.resize(count);
  // Walking `next` from the head goes from the most to the least recently
  // used; cell 0 is taken first.
  for (uint32_t i = 0; i < count; ++i) {
    Cell& cell = cells_[i];
    cell.next = (i + count - 1) % count;
    cell.previous = (i + 1) % count;
    cell.ch = 0;
    cell.glyph = -1;
    cell.uses = 0;
    cell.x = int32_t(i % perRow) * cellWidth_;
    cell.y = int32_t(i / perRow) * (lineHeight_ + 1);
  }
  head_ = count > 0 ? count - 1 : 0;
  coverage_.assign(size_t(cellWidth_) * size_t(lineHeight_ + 1), 0);
}

int32_t TTFont::Lookup(uint32_t ch) const {
  auto after = std::upper_bound(ranges_.begin(), ranges_.end(), ch,
                                [](uint32_t c, const Range& range) { return c < range.first; });
  if (after == ranges_.begin()) return -1;
  const Range& range = *(after - 1);
  if (ch > range.last) return -1;
  return int32_t(range.firstIndex + (ch - range.first));
}

uint32_t TTFont::CharOf(int32_t index) const {
  auto after =
      std::upper_bound(ranges_.begin(), ranges_.end(), uint32_t(index),
                       [](uint32_t i, const Range& range) { return i < range.firstIndex; });
  const Range& range = *(after - 1);
  return range.first + (uint32_t(index) - range.firstIndex);
}

TTFont* TTFont::FindGlyph(uint32_t ch, int32_t* index) const {
  if (ch == 0x2013) ch = '-';
  TTFont* self = const_cast<TTFont*>(this);
  if (ch <= 0xFFFF) {
    *index = Lookup(ch);
    if (*index >= 0) return self;
    TTFont* fallback = fallbackFont;
    if (fallback != nullptr && fallback != this) {
      *index = fallback->Lookup(ch);
      if (*index >= 0) return fallback;
    }
  }
  *index = defaultGlyph_;
  return self;
}

GlyphABC TTFont::Spacing(int32_t index) const {
  if (index < 0 || size_t(index) >= glyphs_.size()) return {};
  return glyphs_[index];
}

int32_t TTFont::MeasureText(const char* text, size_t length) const {
  int64_t width = 0;
  size_t pos = 0;
  while (pos < length) {
    int used = 0;
    const uint32_t ch = DecodeUtf8Char(text + pos, length - pos, &used);
    pos += size_t(std::max(used, 1));
    if (ch < 32 && ch != 9) continue;
    if (IsWhiteSpace(ch)) {
      width += spaceAdvance_;
      continue;
    }
    int32_t index = -1;
    const TTFont* owner = FindGlyph(ch, &index);
    const GlyphABC spacing = owner->Spacing(index);
    width += int64_t(spacing.a) + spacing.b + spacing.c;
  }
  return ClampToInt32(width);
}

void TTFont::MakeMostRecent(uint32_t index) {
  if (index == head_) return;
  Cell& cell = cells_[index];
  const uint32_t tail = cells_[head_].previous;
  if (index == tail) {
    head_ = index;
    return;
  }
  cells_[cell.previous].next = cell.next;
  cells_[cell.next].previous = cell.previous;
  cell.next = head_;
  cell.previous = tail;
  cells_[tail].next = index;
  cells_[head_].previous = index;
  head_ = index;
}

void TTFont::DrawCell(Cell& cell) {
  const int32_t width = cellWidth_;
  const int32_t height = lineHeight_ + 1;
  std::fill(coverage_.begin(), coverage_.end(), 0);
  face_->DrawGlyph(cell.ch, -glyphs_[cell.glyph].a, coverage_.data(), width, height);
  const bool shadow = (flags_ & kShadow) != 0;
  for (int32_t y = 0; y < height; ++y) {
    uint32_t* out = atlas_.Row(uint32_t(cell.y + y)) + cell.x;
    const uint8_t* in = &coverage_[size_t(y) * width];
    for (int32_t x = 0; x < width; ++x) {
      uint32_t pixel = 0;
      if (in[x] != 0) {
        pixel = 0xFF000000u | in[x] * 0x010101u;
      } else if (shadow && x > 0 && y > 0) {
        pixel = uint32_t(in[x - 1 - width]) << 24;
      }
      out[x] = pixel;
    }
  }
}

bool TTFont::RenderText(uint32_t ch, RenderedGlyph* out) {
  *out = RenderedGlyph();
  out->font = this;
  if (ch < 32 && ch != 9) return true;
  if (IsWhiteSpace(ch)) {
    if (!Underlines()) {
      out->spacing.c = spaceAdvance_;
      return true;
    }
    ch = ' ';
  }
  if (ch == 0x2019) ch = '\'';
  int32_t index = -1;
  TTFont* font = FindGlyph(ch, &index);
  if (index < 0) return false;
  const uint32_t drawn = font->CharOf(index);
  uint32_t cellIndex = 0;
  auto found = font->cellOfChar_.find(drawn);
  if (found != font->cellOfChar_.end()) {
    cellIndex = found->second;
  } else {
    if (font->cells_.empty()) return false;
    cellIndex = font->cells_[font->head_].previous;
    Cell& cell = font->cells_[cellIndex];
    if (cell.uses != 0) return false;
    if (cell.glyph >= 0) font->cellOfChar_.erase(cell.ch);
    cell.ch = drawn;
    cell.glyph = index;
    font->DrawCell(cell);
    font->cellOfChar_.emplace(drawn, cellIndex);
    ++glyphsDrawn;
    font->dirty_ = true;
  }
  Cell& cell = font->cells_[cellIndex];
  ++cell.uses;
  font->MakeMostRecent(cellIndex);
  const GlyphABC spacing = font->glyphs_[index];
  out->font = font;
  out->cell = int32_t(cellIndex);
  out->width = std::clamp(spacing.b + font->shadowExtra_, 0, font->cellWidth_);
  out->height = font->lineHeight_;
  out->spacing = spacing;
  const float scale = font->inverseAtlasSize_;
  out->u0 = float(cell.x) * scale;
  out->v0 = float(cell.y) * scale;
  out->u1 = float(cell.x + out->width) * scale;
  out->v1 = float(cell.y + out->height) * scale;
  return true;
}

void TTFont::ReleaseGlyph(const RenderedGlyph& glyph) {
  if (glyph.font == nullptr || glyph.cell < 0) return;
  Cell& cell = glyph.font->cells_[uint32_t(glyph.cell)];
  if (cell.uses > 0) --cell.uses;
}

void TTFont::DrawText(const RenderedGlyph& glyph, Kiv::Bitmap& target, int64_t x, int64_t y,
                      uint32_t colour) {
  if (glyph.font == nullptr || glyph.cell < 0 || !Kiv::Bitmap::Is32Bit(target.GetFormat())) return;
  const Kiv::Bitmap& atlas = glyph.font->atlas_;
  const float side = float(glyph.font->atlasSize_);
  const int64_t sx = std::lround(glyph.u0 * side);
  const int64_t sy = std::lround(glyph.v0 * side);
  const int64_t width = std::min<int64_t>(std::lround(glyph.u1 * side), atlas.Width()) - sx;
  const int64_t height = std::min<int64_t>(std::lround(glyph.v1 * side), atlas.Height()) - sy;
  const int64_t left = std::max<int64_t>(0, -x);
  const int64_t right = std::min<int64_t>(width, int64_t(target.Width()) - x);
  const int64_t top = std::max<int64_t>(0, -y);
  const int64_t bottom = std::min<int64_t>(height, int64_t(target.Height()) - y);
  const uint64_t ca = colour >> 24;
  for (int64_t j = top; j < bottom; ++j) {
    const uint32_t* in = atlas.Row(uint32_t(sy + j)) + sx;
    uint32_t* out = target.Row(uint32_t(y + j)) + x;
    for (int64_t i = left; i < right; ++i) {
      const uint32_t s = in[i];
      const uint32_t old = out[i];
      const uint64_t a = uint64_t(s >> 24) * ca + 255;
      uint32_t pixel = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const uint64_t sc = (s >> shift) & 0xFF, cc = (colour >> shift) & 0xFF;
        const uint64_t oc = (old >> shift) & 0xFF;
        pixel |= uint32_t(((sc * cc + 255) * a / 256 + oc * (65535 - a)) / 65536) << shift;
      }
      const uint64_t oa = old >> 24;
      pixel |= uint32_t((oa * (65535 - a) + a * a / 256) / 65536) << 24;
      out[i] = pixel;
    }
  }
}
