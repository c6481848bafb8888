// ACSChunk: one node of a soup, the configuration tree of the system.
//
// A chunk is reference-counted (ReferenceCountMP: a new chunk belongs to its
// creator with the count 1). A container chunk (type 1) holds named children
// in order; a data chunk holds one typed value as a shared, immutable
// ACSRawDataCore. Two families implement this interface: the editable tags
// (TDBContainerTag, TDBDataTag) and the views over a loaded binary soup.
//
// Value type codes (GetType), see SoupType below. Multi-byte values are
// little-endian. A KUID value is 8 bytes: the packed word
// (version << 25) | (userId & 0x1FFFFFF), then the content id.
//
// Handles: every chunk an operation returns is a ChunkRef that carries a
// reference for the caller; every ChunkRef/CoreRef given to an operation is
// consumed (stored, or released when the operation returns). Operations that
// only compare identity (RemoveChild, SwapChildren) take plain pointers.
//
// The base class behaviour, which is also the shared null tag's: no children
// (GetChild and GetChildAt answer the null tag), edits do nothing,
// CreateChunk answers the null tag, no data, type 0.
//
// The shared null tag (NullTag) is one process-wide chunk made on first use
// and never freed; every lookup that misses answers it with a reference
// added. IsNullChunk treats an empty pointer, the null tag and any chunk of
// type 0 alike.
//
// Names are interned Kiv::PString values compared by identity; the empty
// name is a valid name.
//
// Threads: counting is atomic; trees have no lock. A tree that one thread
// edits must not be used by another at the same time; callers that share a
// tree hold their own lock.
#pragma once

#include <cstdint>

#include "foundation/base/ReferenceCountMP.h"
#include "foundation/soup/ACSRawDataCore.h"
#include "kiv/PString.h"

class ACSChunk;
using ChunkRef = MPRef<ACSChunk>;

// A caller's place in the children of one container, for GetChildAtCursor.
// Start with a default-made cursor, use it with one container only, and
// keep one per container that a walk has open, so that visiting a sub-soup
// does not lose the place in its parent. The position is the container's
// own; `name` and `child` hold what a container without positions answered,
// so that the views handed out stay valid.
struct ChildCursor {
  struct Position {
    uint64_t layout = 0;
    uint32_t index = 0;
    void* entry = nullptr;
    void* block = nullptr;
  };
  Position at;
  Kiv::PString name;
  ChunkRef child;
};

// In-memory value type codes.
struct SoupType {
  static constexpr uint32_t kNull = 0;       // no value
  static constexpr uint32_t kContainer = 1;  // sub-soup
  static constexpr uint32_t kRaw = 2;        // raw bytes
  static constexpr uint32_t kFloat = 3;      // 32-bit floats, 4 bytes each
  static constexpr uint32_t kString = 4;     // UTF-8 text and one NUL; no bytes when empty
  static constexpr uint32_t kText2 = 5;      // a second text kind, carried through unchanged
  static constexpr uint32_t kInt = 6;        // 32-bit signed integers, 4 bytes each
  static constexpr uint32_t kKUID = 7;       // 8 bytes, see above
};

class ACSChunk : public ReferenceCountMP {
 public:
  ~ACSChunk() override;
  ACSChunk(const ACSChunk&) = delete;
  ACSChunk& operator=(const ACSChunk&) = delete;

  // The first child of that name, else the null tag.
  virtual ChunkRef GetChild(const Kiv::PString& name) const;
  virtual uint32_t CountChildren() const;
  // True with the name and child at `index`; false with the empty name and
  // the null tag past the end.
  virtual bool GetChildAt(uint32_t index, Kiv::PString& name, ChunkRef& child) const;
  // The same answer as GetChildAt, as views that take no reference, starting
  // from the place the cursor remembers and leaving it at `index`: a walk
  // over 0..n-1 with one cursor is linear whatever else the thread reads in
  // between. The views stay valid until the container changes or the cursor
  // is used again (or destroyed). The base answers GetChildAt through the
  // cursor's `name` and `child`.
  virtual bool GetChildAtCursor(uint32_t index, ChildCursor& cursor, const Kiv::PString*& name,
                                const ACSChunk*& child) const;
  // Orders the children by name bytes (unsigned; a prefix sorts first).
  virtual void SortChildren();
  // Exchanges the positions of two children (names stay in place); nothing
  // when either is not a child or both are the same.
  virtual void SwapChildren(const ACSChunk* a, const ACSChunk* b);
  // Appends (name, child) at the end; an empty child is ignored. Does not
  // look for an existing child of that name.
  virtual void SetChild(const Kiv::PString& name, ChunkRef child);
  // Removes the first entry whose child is this very chunk; others ignored.
  virtual void RemoveChild(const ACSChunk* child);
  // A new editable chunk: an empty container for type 1, else a data tag of
  // that type sharing `core`.
  virtual ChunkRef CreateChunk(uint32_t type, CoreRef core);
  virtual const uint8_t* GetData() const;
  virtual uint32_t GetDataSize() const;
  virtual uint32_t GetType() const;
  // Stores the type and shares the core (containers ignore it).
  virtual void SetData(uint32_t type, CoreRef core);

  // A view core over the chunk's bytes that keeps the chunk alive; empty
  // when the chunk is null or has no bytes.
  static CoreRef GetRawData(const ACSChunk* chunk);

 protected:
  ACSChunk() = default;
};

// The shared null tag with a reference added.
ChunkRef NullTag();
// The null tag's address, for identity tests (no reference taken).
const ACSChunk* NullTagPointer();
// True for an empty pointer, the null tag, and any chunk of type 0.
bool IsNullChunk(const ACSChunk* chunk);
// Takes over the reference in `chunk`; answers an empty handle when it is
// the null tag or a chunk of type 0.
ChunkRef AdoptChunk(ChunkRef chunk);

// Deep copy of the structure of `source` into `destination`: the
// destination takes the source's type and a view of its bytes (containers
// ignore this), loses all its children, and receives a copy of each child of
// the source, made with its own CreateChunk. Value bytes are shared through
// view cores. Null arguments do nothing.
void CopySoupInto(ACSChunk* destination, const ACSChunk* source);
