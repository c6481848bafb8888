// Small readers shared by the mesh file readers: chunk tags and headers,
// and the test that a count of records can fit the bytes that remain.
//
// Every chunk starts with a 4-byte tag, a u32 size (the bytes that follow
// the size field and belong to the chunk, the version included) and a u32
// version. The chunk ends at the position behind the size field plus the
// size. Reads past the end of the data read nothing (Kiv::MemoryFile): a
// tag that could not be read matches no tag, and a size or version that
// could not be read is 0.
#pragma once

#include <cstdint>
#include <cstring>

#include "kiv/PString.h"
#include "kiv/String.h"
#include "kiv/basics/MemoryFile.h"

namespace Kiv {
class Resource;
}

struct ChunkHeader {
  uint32_t size = 0;
  uint32_t version = 0;
  uint64_t end = 0;
};

// Reads a tag and answers whether it is `expected` (4 characters).
inline bool ReadTag(Kiv::MemoryFile& file, const char* expected) {
  char tag[4] = {0, 0, 0, 0};
  file.ReadRaw(tag, 4);
  return std::memcmp(tag, expected, 4) == 0;
}

// Reads the size and version that follow a tag.
inline ChunkHeader ReadChunkHeader(Kiv::MemoryFile& file) {
  ChunkHeader header;
  file.Read(&header.size);
  header.end = file.Tell() + header.size;
  file.Read(&header.version);
  return header;
}

// True when `count` records of at least `bytesEach` bytes can fit the
// bytes that remain.
inline bool Fits(const Kiv::MemoryFile& file, uint64_t count, uint64_t bytesEach) {
  return bytesEach == 0 || count <= file.Remaining() / bytesEach;
}

// A material's decorated name: owner "*" folder of the resource's name "*"
// kind (owner and folder empty without a resource).
Kiv::PString DecoratedName(const Kiv::Resource* resource, const Kiv::String& kind);

// The engine's geometry kind of a GEOM primitive word (its low 5 bits:
// 0 -> 5, 1 -> 3, 2 -> 4, 4 -> 0, 8 -> 1, 16 -> 2); false for other words.
bool GeometryKindOfPrimitive(uint32_t primitive, uint32_t* kind);
// The primitive word of an engine geometry kind (the inverse of the above).
uint32_t PrimitiveOfGeometryKind(uint32_t kind);

// The fields that every GEOM chunk (versions 101 to 201) opens with, after
// its header: the primitive word as an engine geometry kind, the extra
// flags (version 201 on), the hint value and the four counts.
struct GeometryCounts {
  uint32_t kind = 0;
  uint32_t extraFlags = 0;
  float hintValue = 0.0f;
  uint32_t vertices = 0;
  uint32_t faces = 0;
  uint32_t indices = 0;
  uint32_t faceNormals = 0;
};

// Reads those fields; false when the primitive word names no geometry kind.
inline bool ReadGeometryCounts(Kiv::MemoryFile& file, uint32_t version, GeometryCounts* out) {
  uint32_t primitive = 0;
  file.Read(&primitive);
  if (!GeometryKindOfPrimitive(primitive, &out->kind)) return false;
  if (version >= 201) file.Read(&out->extraFlags);
  file.Read(&out->hintValue);
  file.Read(&out->vertices);
  file.Read(&out->faces);
  file.Read(&out->indices);
  file.Read(&out->faceNormals);
  return true;
}
