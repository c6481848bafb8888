// Kiv::StandardChunkHint: how a geometry chunk is to be made (buffer kinds,
// lighting and skinning flags, texture-coordinate sets, bone palette). A
// plain value handed to Material::CreateGeometryChunk.
//
// The vertex and index buffer kinds are the modes a material reads (1
// dynamic, 2 static). Sharing options are read only when bit 0 of
// `optionFlags` marks them present; `options` then holds bit 0 "a PCT
// layout with separate normals", bit 1 "unshare the vertices" and bit 2
// "unsharing granted".
#pragma once

#include <cstdint>

namespace Kiv {

class ResourceDatabase;

struct StandardChunkHint {
  enum Flags : uint32_t {
    kSoftwareLighting = 1,  // bit 0
    kSkinned = 2,           // bit 1
    kSoftwareSkinning = 4,  // bit 2: skin on the CPU, no skin streams
    kFloatWeights = 8,      // bit 3: weights as floats, not packed bytes
  };

  StandardChunkHint(uint32_t vertexBuffer, uint32_t indexBuffer)
      : vertexBufferKind(vertexBuffer), indexBufferKind(indexBuffer) {}

  uint32_t vertexBufferKind;
  uint32_t indexBufferKind;
  uint32_t flags = 0;
  float hintValue = 0.0f;
  uint32_t textureSets = 1;
  uint32_t paletteGranularity = 0;
  uint32_t maxBones = 0;
  // Further per-vertex elements the chunk must hold (bit n for code n), for
  // data a file carries beyond the standard layout (the extra vector 27).
  uint32_t extraElements = 0;
  // Per-vertex elements (bit n for code n) whose separate streams the
  // creator writes whole right after creation, and whether it writes the
  // indices and the face normals whole: those arrays start unset instead of
  // zeroed. A chunk keeps none of this in its own hint, so its instances
  // start zeroed.
  uint32_t filledElements = 0;
  bool filledIndices = false;
  bool filledFaceNormals = false;
  const ResourceDatabase* store = nullptr;
  uint32_t optionFlags = 0;
  uint32_t options = 0;
};

}  // namespace Kiv
