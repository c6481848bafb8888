#include "render/font/FontCache.h"

#include "render/font/FreeTypeFaceSource.h"

uint32_t FontKey::Flags() const {
  return (bold ? TTFont::kBold : 0u) | (underline ? TTFont::kUnderline : 0u) |
         (italic ? TTFont::kItalic : 0u) | (strikeout ? TTFont::kStrikeout : 0u) |
         (shadow ? TTFont::kShadow : 0u) | (antialiased ? TTFont::kAntialiased : 0u);
}

TTFont* FontCache::FindOrCreate(const FontKey& key) {
  for (const auto& [cached, font] : entries_)
    if (cached == key) return font.get();
  auto font = std::make_unique<TTFont>();
  if (!font->Init(*source_, key.charset, key.face, key.size, key.Flags())) return nullptr;
  entries_.emplace_back(key, std::move(font));
  return entries_.back().second.get();
}

TTFont* FindOrCreateFont(const FontKey& key) {
  static FontCache cache(std::make_unique<FreeTypeFaceSource>());
  return cache.FindOrCreate(key);
}
