// ScriptFile: one GameScript source file in memory, in its plain (".gs")
// or encoded (".gse") form; PendingScriptPrefix: text put in front of the
// next script that is read.
//
// A ScriptFile is empty, holds text, or holds the encoded body of a ".gse"
// file; Compress and Decompress switch between the last two in place.
// Loading a ".gse" keeps the body encoded until GetText or GetTextSize is
// called.
//
// ".gse" files (little-endian): u32 format word, u32 0, u32 body length n
// (1 to 32 MiB), u32 0, then n bytes of body. The body is (u32 text length
// L, then the text coded by Kiv::LZSSCompress at level 9), XORed byte i with
// byte (i mod 32) of the program's key table. Decoding refuses L = 0 and
// L above 64 MiB, and accepts the body only when it decodes to exactly L
// bytes. A ".gs" file is the text bytes alone, up to 64 MiB.
//
// Load(container, path) reads by the path's extension ("gs" or "gse",
// either case; anything else fails without touching the file system). The
// container is a named file root (Kiv::File::Subst); null or empty means
// the plain file system. The file must exist (found with its exact case,
// else without regard to case).
//
// Save(container, path) writes the form its extension names. The file is
// written to a temporary file in the target's folder and renamed over the
// target, so a failed save leaves an existing target as it was. Saving as
// ".gse" encodes first and leaves the file encoded in memory; saving as
// ".gs" decodes first. An empty text, or one the codec cannot code, is never
// written as ".gse" (such a file could not be read back): Save fails.
//
// PendingScriptPrefix: when not empty, the next plain read or decode (of any
// ScriptFile) places its text in front of the script text, records its
// length as the prefix length and empties it.
//
// Text: GetText answers the text (decoding first), NUL-terminated for
// convenience though the size is what counts; null when it cannot be had.
// The pointer lives until the file changes. The text begins with the
// prefix (GetPrefixLength bytes).
//
// Failures are results (false / null); nothing is logged and nothing
// throws. Allocation is bounded by the size limits above. Not thread-safe;
// PendingScriptPrefix belongs to the main thread.
#pragma once

#include <cstdint>
#include <memory>

#include "kiv/File.h"
#include "kiv/PString.h"

extern Kiv::PString PendingScriptPrefix;

class ScriptFile {
 public:
  // Largest text (plain file or decoded body) and largest encoded body.
  static constexpr uint32_t kMaxTextSize = 0x4000000;
  static constexpr uint32_t kMaxBodySize = 0x2000000;
  static constexpr uint32_t kHeaderSize = 16;
  static constexpr uint32_t kCompressionLevel = 9;

  ScriptFile();
  ~ScriptFile();
  ScriptFile(const ScriptFile&) = delete;
  ScriptFile& operator=(const ScriptFile&) = delete;

  // Frees the data; paths empty, sizes 0, not encoded, format word 0.
  void Clear();
  // Clear, then prefix length 0 and format word 1.
  void Reset();

  bool Load(const char* container, const Kiv::File::Path& path);
  bool Save(const char* container, const Kiv::File::Path& path);

  const char* GetText();
  uint32_t GetTextSize();
  uint32_t GetPrefixLength() const { return prefixLength_; }

  // Encode (compress, then scramble) and decode in place; true when the file
  // is in the asked-for form afterwards. A failed Compress changes nothing.
  // A failed Decompress leaves the file as it was when the length word is 0
  // or the body too short to hold it, and empties it otherwise.
  bool Compress();
  bool Decompress();
  // XORs every byte of the data with the key table (its own inverse).
  void Scramble();

  bool IsEncoded() const { return encoded_; }
  uint32_t GetFormat() const { return format_; }
  uint32_t GetSize() const { return size_; }
  const uint8_t* GetData() const { return data_.get(); }
  const Kiv::File::Path& GetSourcePath() const { return sourcePath_; }
  const Kiv::File::Path& GetTargetPath() const { return targetPath_; }

 private:
  bool ReadPlain();
  bool ReadEncoded();
  bool WritePlain();
  bool WriteEncoded();
  bool OpenSource(Kiv::File& file) const;
  // Writes `header` (may be null) then `body` to the target path through a
  // temporary file and a rename.
  bool WriteTarget(const uint8_t* header, uint32_t headerSize, const uint8_t* body,
                   uint32_t bodySize) const;
  // Puts the pending prefix at the front of `block` and consumes it.
  void TakePendingPrefix(uint8_t* block, uint32_t prefixSize);

  Kiv::File::Path sourcePath_;
  Kiv::File::Path targetPath_;
  Kiv::PString container_;
  std::unique_ptr<uint8_t[]> data_;
  uint32_t size_ = 0;
  bool encoded_ = false;
  uint32_t format_ = 1;
  uint32_t textSize_ = 0;
  uint32_t prefixLength_ = 0;
};
