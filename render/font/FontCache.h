// The font cache: every TTFont the process has made, keyed by style, size,
// character-set name and face name.
//
// FindOrCreate(key) answers the font of an equal key (every field equal;
// names are interned, so equal texts are equal, case included). Otherwise
// it makes a font with the key's flags (bold 1, underline 2, italic 4,
// strikeout 32, shadow 64, antialiased 128) and initialises it with the
// key's character-set name, face name and size through the cache's face
// source; a font that initialises joins the cache and is answered, one that
// does not is destroyed and null answered (nothing is kept, so a later call
// tries again). The cache holds each font it made exactly once, for its own
// life.
//
// FindOrCreateFont(key): the same on the process's cache, whose faces come
// from FreeType and fontconfig; its fonts live until the process ends.
//
// Not thread-safe: fonts are used on the thread that runs scripts.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "kiv/PString.h"
#include "render/font/FontFace.h"
#include "render/font/TTFont.h"

struct FontKey {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikeout = false;
  bool shadow = false;
  bool antialiased = false;
  int32_t size = 0;
  Kiv::PString charset;
  Kiv::PString face;

  bool operator==(const FontKey& other) const = default;
  uint32_t Flags() const;
};

class FontCache {
 public:
  explicit FontCache(std::unique_ptr<FontFaceSource> source) : source_(std::move(source)) {}
  FontCache(const FontCache&) = delete;
  FontCache& operator=(const FontCache&) = delete;

  TTFont* FindOrCreate(const FontKey& key);
  size_t Size() const { return entries_.size(); }

 private:
  std::unique_ptr<FontFaceSource> source_;
  std::vector<std::pair<FontKey, std::unique_ptr<TTFont>>> entries_;
};

TTFont* FindOrCreateFont(const FontKey& key);
