// TDBDataTag: an editable soup value: a type code and a shared raw core.
//
// GetType answers the stored code; GetData/GetDataSize answer the value's
// bytes (none and 0 without a value). SetData stores the type and shares the
// given core, which is never copied or changed afterwards, so several tags
// may share one core. Child operations keep the ACSChunk base behaviour.
//
// CreateCopy and CreateText make a tag whose bytes are a private copy kept
// in the same allocation as the tag itself (no separate core): one
// allocation per value instead of three. Such bytes are never changed and
// are freed with the tag; readers see them exactly as they would see a
// core's (GetRawData hands out a view that keeps the tag alive). A later
// SetData replaces them with the given core.
//
// Ownership: holds one reference on its core (or none). Made with the count
// 1 for its creator (see ReferenceCountMP). Not locked.
//
// Failure: allocation failure throws std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "foundation/soup/ACSChunk.h"

class TDBDataTag : public ACSChunk {
 public:
  // A new tag of `type` sharing `core` (which may be empty).
  static ChunkRef Create(uint32_t type, CoreRef core);
  // A new tag of `type` holding a copy of `size` bytes at `data`; no bytes
  // for a size of 0 or null data (as ACSRawDataCore::CreateCopy).
  static ChunkRef CreateCopy(uint32_t type, const void* data, uint32_t size);
  // A new string tag (type 4) holding `text` and a NUL; no bytes for the
  // empty text.
  static ChunkRef CreateText(std::string_view text);

  const uint8_t* GetData() const override;
  uint32_t GetDataSize() const override;
  uint32_t GetType() const override;
  void SetData(uint32_t type, CoreRef core) override;

  // The tag and its inline bytes are one block: freed with the matching
  // plain operator delete (never a sized one, whose size would not match).
  static void operator delete(void* p) { ::operator delete(p); }

 private:
  TDBDataTag() = default;
  // Room for the tag and `extra.bytes` bytes after it.
  struct Extra {
    size_t bytes;
  };
  static void* operator new(size_t size, Extra extra) { return ::operator new(size + extra.bytes); }
  static void operator delete(void* p, Extra) { ::operator delete(p); }
  static TDBDataTag* NewWithBytes(uint32_t type, uint32_t size);
  uint8_t* InlineBytes() { return reinterpret_cast<uint8_t*>(this + 1); }

  CoreRef core_;
  const uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t type_ = SoupType::kNull;
};
