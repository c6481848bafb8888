#include "kiv/display/Material.h"

#include "kiv/display/Display.h"
#include "kiv/display/GeometryChunk.h"

namespace Kiv {

void Material::SetLightingState(Display* display, const DisplayLightList* lights) const {
  const Color& specular = displayMaterial_.specular;
  display->RecordLine("LightingState %zu %g %g %g %g", lights != nullptr ? lights->size() : 0,
                      double(specular.r), double(specular.g), double(specular.b),
                      double(specular.a));
}

void Material::RenderChunk(Display* display, ViewPort* /*viewport*/, GeometryChunk* chunk,
                           const DisplayLightList* /*lights*/, const Matrix4* /*matrix*/,
                           int /*pass*/) {
  if (display == nullptr || chunk == nullptr) return;
  display->RecordDraw(chunk, nullptr, 0, chunk->GetNumIndices());
}

void Material::RenderPrimitives(Display* display, ViewPort* /*viewport*/, GeometryChunk* chunk,
                                const DisplayLightList* /*lights*/, const Matrix4* /*matrix*/,
                                uint32_t first, const uint16_t* /*indices*/, uint32_t count,
                                uint32_t /*primitive*/, int /*pass*/) {
  if (display == nullptr || chunk == nullptr) return;
  display->RecordDraw(chunk, nullptr, first, count);
}

GeometryChunk* Material::CreateGeometryChunk(uint32_t vertices, uint32_t faces, uint32_t indices,
                                             uint32_t faceNormals, uint32_t kind,
                                             const StandardChunkHint& hint) {
  return GeometryChunk::Create(vertices, faces, indices, faceNormals, kind, hint);
}

}  // namespace Kiv
