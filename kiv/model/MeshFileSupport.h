// Kiv::MeshFileSupport: pieces shared by the readers of mesh files, and
// the accessors through which the engine and the content checks read a
// loaded mesh definition.
//
// Padded string (docs/formats/padded-string.md): a little-endian u32 byte
// count n, then n bytes of text (no terminator), then zero bytes up to the
// next multiple of 4 of n. ReadPaddedString reads one from a memory file:
// when the count, the text or its padding does not fit the bytes left, it
// leaves `*text` unchanged, moves the cursor to the end of the data (so
// nothing more is read), marks the file truncated and answers false. Texts
// longer than kMaxPaddedString are refused the same way.
//
// Accessors: chunks, influences and attachment points are numbered from 0
// in the definition's order. An index at or past the count answers 0, an
// empty name or false, and writes nothing. The copies write into a
// caller's buffer of `size` bytes (or `count` entries); they refuse (false,
// nothing written) an absent stream, a stride below the element's size and
// a buffer that cannot hold every vertex. A strided copy writes vertex v at
// byte v * stride; the last vertex needs only the element's own bytes.
// Texture-coordinate sets are numbered over the sets the chunk has.
// Colours are the first colour stream (`first`) or the second; a chunk
// without that stream gives `defaultColour` for every vertex. Orientations
// are the quaternions of the stored 3 x 3 matrices.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "kiv/PString.h"
#include "kiv/String.h"
#include "kiv/basics/Quaternion.h"
#include "kiv/display/DisplayMaterial.h"
#include "kiv/model/InfluenceDefinition.h"

namespace Kiv {

class MemoryFile;

class MeshFileSupport {
 public:
  static constexpr uint32_t kMaxPaddedString = 1u << 20;

  static bool ReadPaddedString(MemoryFile& file, String* text);
  static bool ReadPaddedString(MemoryFile& file, PString* text);
  // Bytes a padded string of `length` text bytes takes in a file.
  static uint64_t PaddedStringSize(uint64_t length) { return 4 + (length + 3) / 4 * 4; }

  virtual ~MeshFileSupport() = default;

  virtual uint32_t GetChunkCount() const = 0;
  virtual uint32_t GetChunkVertexCount(uint32_t chunk) const = 0;
  // What the file says of its skinning: the most weights one vertex has
  // and the most bones one chunk uses (0 when it says nothing).
  virtual uint32_t GetMaxWeightsPerVertex() const = 0;
  virtual uint32_t GetMaxBonesPerChunk() const = 0;
  virtual uint32_t GetChunkIndexCount(uint32_t chunk) const = 0;
  virtual uint32_t GetChunkInfluenceMatrixCount(uint32_t chunk) const = 0;
  virtual uint32_t GetChunkTexCoordSetCount(uint32_t chunk) const = 0;
  // The most influence entries that name one vertex of the chunk.
  virtual uint32_t GetChunkMaxVertexInfluences(uint32_t chunk) const = 0;
  // Three floats per vertex.
  virtual bool CopyChunkPositions(uint32_t chunk, void* buffer, size_t size,
                                  uint32_t stride) const = 0;
  // Two floats per vertex.
  virtual bool CopyChunkTexCoords(uint32_t chunk, uint32_t set, void* buffer, size_t size,
                                  uint32_t stride) const = 0;
  virtual bool CopyChunkIndices(uint32_t chunk, uint16_t* buffer, size_t count) const = 0;
  // Three floats per vertex.
  virtual bool CopyChunkNormals(uint32_t chunk, void* buffer, size_t size,
                                uint32_t stride) const = 0;
  virtual bool CopyChunkColours(uint32_t chunk, uint32_t* buffer, size_t count, bool first,
                                uint32_t defaultColour) const = 0;
  // Three floats per face normal.
  virtual bool CopyChunkFaceNormals(uint32_t chunk, float* buffer, size_t count) const = 0;

  // The material of a chunk: its kind, its (decorated) name, flags, factor,
  // display material and its name/value properties in order.
  virtual PString GetChunkMaterialKind(uint32_t chunk) const = 0;
  virtual PString GetChunkMaterialName(uint32_t chunk) const = 0;
  virtual uint32_t GetChunkMaterialFlags(uint32_t chunk) const = 0;
  virtual float GetChunkMaterialFactor(uint32_t chunk) const = 0;
  virtual bool GetChunkDisplayMaterial(uint32_t chunk, DisplayMaterial* material) const = 0;
  virtual uint32_t GetChunkMaterialPropertyCount(uint32_t chunk) const = 0;
  virtual bool GetChunkMaterialProperty(uint32_t chunk, uint32_t property, PString* name,
                                        PString* value) const = 0;

  virtual uint32_t GetInfluenceCount() const = 0;
  virtual PString GetInfluenceName(uint32_t influence) const = 0;
  virtual PString GetInfluenceParentName(uint32_t influence) const = 0;
  virtual bool GetInfluencePosition(uint32_t influence, std::array<float, 3>* position) const = 0;
  virtual bool GetInfluenceOrientation(uint32_t influence, Quaternion* orientation) const = 0;
  virtual uint32_t GetInfluenceGroupCount(uint32_t influence) const = 0;
  virtual uint32_t GetInfluenceGroupKey(uint32_t influence, uint32_t group) const = 0;
  virtual uint32_t GetInfluenceGroupEntryCount(uint32_t influence, uint32_t group) const = 0;
  virtual bool CopyInfluenceGroupEntries(uint32_t influence, uint32_t group,
                                         InfluenceDefinition::Entry* buffer,
                                         size_t count) const = 0;

  virtual uint32_t GetAttachmentCount() const = 0;
  virtual PString GetAttachmentName(uint32_t attachment) const = 0;
  virtual bool GetAttachmentOrientation(uint32_t attachment, Quaternion* orientation) const = 0;
  virtual bool GetAttachmentPosition(uint32_t attachment, std::array<float, 3>* position) const = 0;
};

}  // namespace Kiv
