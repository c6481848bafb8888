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
// A tag may be made in a ChunkArena (the text reader's): it then lives in
// the arena's memory and holds the arena until it is destroyed (see
// ChunkArena.h); it behaves as any other tag. SetData on it after the
// reading tells the arena (which then no longer releases the tree whole).
//
// Ownership: holds one reference on its core (or none). Made with the count
// 1 for its creator (see ReferenceCountMP). Not locked.
//
// Failure: allocation failure throws std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>

#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/ChunkArena.h"

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
  // CreateCopy and CreateText in `arena` (the heap when it is null).
  static ChunkRef CreateCopyIn(ChunkArena* arena, uint32_t type, const void* data, uint32_t size);
  static ChunkRef CreateTextIn(ChunkArena* arena, std::string_view text);

  const uint8_t* GetData() const override;
  uint32_t GetDataSize() const override;
  uint32_t GetType() const override;
  void SetData(uint32_t type, CoreRef core) override;

  // The tag and its inline bytes are one block: freed with the plain
  // operator delete (never a sized one, whose size would not match), or left
  // to the arena that holds it.
  static void operator delete(TDBDataTag* tag, std::destroying_delete_t);

 private:
  TDBDataTag() = default;
  // Room for the tag and `extra.bytes` bytes after it, in `extra.arena` or
  // on the heap.
  struct Extra {
    size_t bytes;
    ChunkArena* arena;
  };
  static void* operator new(size_t size, Extra extra);
  static void operator delete(void* p, Extra extra);
  static TDBDataTag* NewWithBytes(ChunkArena* arena, uint32_t type, uint32_t size);
  uint8_t* InlineBytes() { return reinterpret_cast<uint8_t*>(this + 1); }

  // First, so that it takes the room the base leaves after its count.
  bool inArena_ = false;
  CoreRef core_;
  const uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t type_ = SoupType::kNull;
};
