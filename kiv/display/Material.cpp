#include "kiv/display/Material.h"

#include "kiv/display/GeometryChunk.h"

namespace Kiv {

GeometryChunk* Material::CreateGeometryChunk(uint32_t vertices, uint32_t faces, uint32_t indices,
                                             uint32_t faceNormals, uint32_t kind,
                                             const StandardChunkHint& hint) {
  return GeometryChunk::Create(vertices, faces, indices, faceNormals, kind, hint);
}

}  // namespace Kiv
