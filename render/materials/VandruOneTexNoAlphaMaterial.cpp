#include "render/materials/VandruOneTexNoAlphaMaterial.h"

#include "kiv/RenderKernel.h"
#include "kiv/display/Display.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/MaterialManager.h"
#include "render/materials/MaterialPluginNames.h"

namespace Kiv {

VandruOneTexNoAlphaMaterial::VandruOneTexNoAlphaMaterial(MaterialManager* manager,
                                                         MaterialChunkCache* chunks,
                                                         AlphaBlendCache* blend,
                                                         uint32_t stageState)
    : VandruGroundBaseMaterial(PString(kOneTexNoAlphaType.type), manager, chunks, blend),
      stageState_(stageState) {}

Material* VandruOneTexNoAlphaMaterial::Clone() const {
  auto* copy = CloneAs<VandruOneTexNoAlphaMaterial>();
  if (copy != nullptr) CopyFlags(*copy);
  return copy;
}

GeometryChunk* VandruOneTexNoAlphaMaterial::CreateGeometryChunk(uint32_t vertices, uint32_t faces,
                                                                uint32_t indices,
                                                                uint32_t faceNormals,
                                                                uint32_t kind,
                                                                const StandardChunkHint& given) {
  StandardChunkHint hint = given;
  bool separateNormals = false;
  bool unshare = false;
  if ((hint.optionFlags & 1) != 0) {
    separateNormals = (hint.options & 1) != 0;
    unshare = (hint.options & 2) != 0;
    RenderKernel* kernel =
        GetMaterialManager() != nullptr ? GetMaterialManager()->GetRenderKernel() : nullptr;
    const Display* display = kernel != nullptr ? kernel->GetDisplay() : nullptr;
    if (unshare && (hint.options & 4) == 0 && display != nullptr &&
        display->GetCapability(kCapabilityUnsharedVertices))
      hint.options |= 4;
  }
  GeometryChunk* chunk =
      separateNormals ? GeometryChunk::CreateSingleStream(PackedVertexPCT, true, vertices, faces,
                                                          indices, faceNormals, kind, hint)
                      : GeometryChunk::CreateSingleStream(PackedVertexPNT, false, vertices, faces,
                                                          indices, faceNormals, kind, hint);
  if (chunk == nullptr) return nullptr;
  chunk->SetFlags(MakeGeometryChunkFlags(kind, hint));
  if (hint.vertexBufferKind == 1 || (hint.vertexBufferKind == 2 && unshare))
    chunk->SetVertexDataDynamic(0, -2, true);
  if (unshare || separateNormals) chunk->SetVertexDataShared(0, 0, false);
  if (hint.indexBufferKind == 1) chunk->SetIndexDataDynamic();
  return chunk;
}

void VandruOneTexNoAlphaMaterial::SetDisplayState(Display* display) {
  VandruGroundBaseMaterial::SetDisplayState(display);
  display->SetColorMaterialMode(5);
}

void VandruOneTexNoAlphaMaterial::ClearDisplayState(Display* display) {
  VandruGroundBaseMaterial::ClearDisplayState(display);
  display->SetColorMaterialMode(0);
}

}  // namespace Kiv
