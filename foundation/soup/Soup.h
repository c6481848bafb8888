// Soup: the handle through which the system reads and writes soups.
//
// A Soup holds one counted ACSChunk reference, or nothing. It works the same
// on editable trees and on views of loaded binary soups. Copying a handle
// shares the tree (adds a reference); Soup::Copy makes a deep copy.
//
// Null: an empty handle, a handle to the shared null tag, and a handle to
// any chunk of type 0 all count as null (IsNull).
//
// Names are compared exactly as given (interned PString identity); the text
// form lowers names when it reads them, so callers pass lower-case names.
//
// Getters never fail and never change the soup: a missing tag, a tag of the
// wrong shape or an empty handle gives the caller's default (or an empty
// result). A typed getter converts the tag's value with ACSConvert and takes
// the result only when it is exactly one value (4 bytes for integers and
// floats, 8 for a KUID). Texts are read up to their NUL and never beyond the
// value's bytes.
//
// Setters first make sure the handle holds a container (Create), remove the
// first child of the name, and append the new tag at the end: setting a tag
// that exists moves it to the end; of two tags with one name only the first
// is replaced. SetNamedSoup shares the sub-soup's chunk (no copy).
//
// Threads: reference counting is atomic; trees are not locked (see ACSChunk).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "foundation/soup/ACSChunk.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "kiv/String.h"

class Soup {
 public:
  Soup() = default;
  // Takes over the chunk's reference; the null tag and type 0 give an empty
  // handle (see AdoptChunk).
  explicit Soup(ChunkRef chunk) : chunk_(AdoptChunk(std::move(chunk))) {}
  Soup(const Soup&) = default;
  Soup(Soup&&) noexcept = default;
  Soup& operator=(const Soup&) = default;
  Soup& operator=(Soup&&) noexcept = default;
  ~Soup() = default;

  // --- Handle management.
  // Gives an empty handle a new, empty TDBContainerTag; otherwise nothing.
  void Create();
  // Create, then a second handle to the same chunk.
  Soup GetOrCreate();
  // Shares `other`'s chunk (reference added before the old one is dropped).
  void Assign(const Soup& other) { chunk_ = other.chunk_; }
  void Release() { chunk_.Reset(); }
  // `destination` receives a new container filled with a deep copy of
  // `source` (values shared through view cores).
  static void Copy(Soup& destination, const Soup& source);
  bool IsNull() const { return IsNullChunk(chunk_.get()); }
  bool Empty() const { return !chunk_; }
  uint32_t CountTags() const;
  // The chunk held (no reference added), or null.
  ACSChunk* GetChunk() const { return chunk_.get(); }
  const ChunkRef& GetChunkRef() const { return chunk_; }
  bool operator==(const Soup& other) const { return chunk_ == other.chunk_; }

  // --- Reading.
  bool HasNamedTag(const Kiv::PString& name) const;
  uint32_t GetNamedTagType(const Kiv::PString& name) const;
  Kiv::PString GetIndexedTagName(uint32_t index) const;
  Soup GetNamedSoup(const Kiv::PString& name) const;
  Soup GetIndexedSoup(uint32_t index) const;
  CoreRef GetNamedTagRawData(const Kiv::PString& name) const;
  Kiv::PString GetNamedTag(const Kiv::PString& name) const;
  int32_t GetNamedTagAsInt(const Kiv::PString& name, int32_t def) const;
  bool GetNamedTagAsBool(const Kiv::PString& name, bool def) const;
  float GetNamedTagAsFloat(const Kiv::PString& name, float def) const;
  // Empties `out`, then fills it with every float of the value converted to
  // floats; true when at least one was copied. The capacity is rounded up to
  // a multiple of 8 floats.
  bool GetNamedTagAsFloatArray(const Kiv::PString& name, std::vector<float>& out) const;
  KUID GetNamedTagAsKUID(const Kiv::PString& name, const KUID& def) const;
  // The child of that name when it holds something (not the null tag, not
  // of type 0), else null. An editable container answers without taking a
  // reference; other chunks leave one in `keep`. The pointer is valid while
  // the soup is not changed and `keep` is held.
  const ACSChunk* PeekChild(const Kiv::PString& name, ChunkRef& keep) const;
  // The first of "0", "1", "2", ... that HasNamedTag does not find.
  Kiv::PString GetUniqueTagName() const;

  // --- Writing.
  // A string tag: the text's bytes and a NUL; the empty text gives a string
  // tag without bytes.
  void SetNamedTag(const Kiv::PString& name, const Kiv::PString& text);
  void SetNamedTag(const Kiv::PString& name, std::string_view text);
  void SetNamedInt(const Kiv::PString& name, int32_t value);
  void SetNamedBool(const Kiv::PString& name, bool flag);
  void SetNamedFloat(const Kiv::PString& name, float value);
  void SetNamedFloatArray(const Kiv::PString& name, std::span<const float> values);
  void SetNamedKUID(const Kiv::PString& name, const KUID& kuid);
  void SetNamedNull(const Kiv::PString& name);
  // Create on `subSoup` too, then its chunk becomes the child (shared).
  void SetNamedSoup(const Kiv::PString& name, Soup& subSoup);
  void RemoveNamedTag(const Kiv::PString& name);
  void RemoveTag(const Soup& child);

  // --- Text output (defined in foundation/SoupPrint.cpp).
  // The text form, byte-order mark included, to the engine log.
  static void LogText(const Soup& soup);
  // The same text to standard output, then a line end.
  static void Print(const Soup& soup);

  // --- Files (defined in foundation/SoupFile.cpp). The form follows the
  // extension: "txt" and "tbox" text, "chump"/"cdp"/"cdp2" binary. An empty
  // location opens the path directly; otherwise it is a content location's
  // name.
  static bool LoadFromFile(const Kiv::PString& location, const Kiv::String& path, Soup& soup,
                           bool utf8);
  static bool SaveToFile(const Kiv::PString& location, const Kiv::String& path, const Soup& soup);
  // As SaveToFile, for files that hold secrets: the file is written with
  // mode 0600 (its owner alone reads and writes it), also when it replaces
  // a file that others could read.
  static bool SaveToOwnerOnlyFile(const Kiv::PString& location, const Kiv::String& path,
                                  const Soup& soup);
  static bool LoadFromFileOrTemp(const Kiv::PString& location, const Kiv::String& path, Soup& soup);

 private:
  ChunkRef FindChild(const Kiv::PString& name) const;
  CoreRef ConvertedValue(const Kiv::PString& name, uint32_t toType) const;
  void SetValue(const Kiv::PString& name, uint32_t type, const void* data, uint32_t size);

  ChunkRef chunk_;
};
