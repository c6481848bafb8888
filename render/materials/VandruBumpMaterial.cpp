#include "render/materials/VandruBumpMaterial.h"

#include <typeinfo>

#include "kiv/display/Display.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/MaterialManager.h"
#include "kiv/display/ViewPort.h"
#include "render/materials/BumpLighting.h"
#include "render/materials/MaterialPluginNames.h"

namespace Kiv {

namespace {

MaterialTexture* SharedTexture(MaterialManager* manager) {
  return manager != nullptr ? manager->GetSharedTexture(0) : nullptr;
}

}  // namespace

VandruBumpMaterial::VandruBumpMaterial(MaterialManager* manager, MaterialChunkCache* chunks,
                                       AlphaMaskCache* mask, AlphaBlendCache* blend,
                                       const VandruBumpFamilyPlugin::ProgramSet& programs)
    : VandruBumpMaterial(PString(kBumpType.type), manager, chunks, mask, blend, programs) {}

VandruBumpMaterial::VandruBumpMaterial(const PString& kind, MaterialManager* manager,
                                       MaterialChunkCache* chunks, AlphaMaskCache* mask,
                                       AlphaBlendCache* blend,
                                       const VandruBumpFamilyPlugin::ProgramSet& programs)
    : OneTextureMaterial(kind, manager, chunks, mask, blend),
      programs_(programs),
      bump_(kBumpSlot, SharedTexture(manager)) {}

Material* VandruBumpMaterial::Clone() const {
  VandruBumpMaterial* copy = CloneAs<VandruBumpMaterial>();
  if (copy != nullptr) CopyBumpSlot(*copy);
  return copy;
}

bool VandruBumpMaterial::Equals(const Material& other) const {
  if (typeid(other) != typeid(*this)) return false;
  return SameBumpSlot(static_cast<const VandruBumpMaterial&>(other)) &&
         OneTextureMaterial::Equals(other);
}

void VandruBumpMaterial::Activate(int level) {
  if (MaterialTexture* texture = bump_.Get()) texture->Activate();
  OneTextureMaterial::Activate(level);
}

GeometryChunk* VandruBumpMaterial::CreateGeometryChunk(uint32_t vertices, uint32_t faces,
                                                       uint32_t indices, uint32_t faceNormals,
                                                       uint32_t kind,
                                                       const StandardChunkHint& given) {
  StandardChunkHint hint = given;
  bool unshare = false;
  if ((hint.optionFlags & 1) != 0) {
    hint.optionFlags &= ~1u;
    if ((hint.options & 2) != 0) {
      hint.options |= 4;
      unshare = true;
    }
  }
  GeometryChunk* chunk = GeometryChunk::CreateSingleStream(PackedVertexPNTA, false, vertices,
                                                           faces, indices, faceNormals, kind, hint);
  if (chunk == nullptr) return nullptr;
  chunk->SetFlags(MakeGeometryChunkFlags(kind, hint));
  if (hint.vertexBufferKind != 0) {
    if (hint.vertexBufferKind == 1 || unshare) chunk->SetVertexDataDynamic(0, -2, true);
    if (unshare) chunk->SetVertexDataShared(0, 0, false);
  }
  if (hint.indexBufferKind == 1) chunk->SetIndexDataDynamic();
  return chunk;
}

MaterialTexture* VandruBumpMaterial::GetTexture(uint32_t slot) const {
  return slot == kBumpSlot ? bump_.Get() : OneTextureMaterial::GetTexture(slot);
}

uint32_t VandruBumpMaterial::SetTexture(uint32_t slot, MaterialTexture* texture, float amount) {
  if (slot == kBumpSlot) return bump_.Set(*this, texture, amount);
  return OneTextureMaterial::SetTexture(slot, texture, amount);
}

uint32_t VandruBumpMaterial::SetTexture(uint32_t slot, const ResourceDatabase* database,
                                        const PString& name, float amount) {
  if (slot == kBumpSlot)
    return bump_.SetByName(*this, GetMaterialManager(), database, name, amount);
  return OneTextureMaterial::SetTexture(slot, database, name, amount);
}

uint32_t VandruBumpMaterial::DuplicateTexture(uint32_t slot) {
  if (slot == kBumpSlot) return bump_.Duplicate();
  return OneTextureMaterial::DuplicateTexture(slot);
}

uint32_t VandruBumpMaterial::IsLoaded() const {
  if (!bump_.IsReady()) return 4;
  return OneTextureMaterial::IsLoaded();
}

void VandruBumpMaterial::SetDisplayState(Display* display) {
  bump_.Bind(display, 1);
  OneTextureMaterial::SetDisplayState(display);
}

void VandruBumpMaterial::ClearDisplayState(Display* display) {
  ClearBumpState(display);
}

void VandruBumpMaterial::ClearBumpState(Display* display) {
  display->ResetTextureStage(1);
  bump_.Restore(display, 1);
  OneTextureMaterial::ClearDisplayState(display);
}

void VandruBumpMaterial::RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                     const DisplayLightList* lights, const Matrix4* matrix,
                                     int /*pass*/) {
  Render(display, viewport, chunk, lights, matrix, Range{});
}

void VandruBumpMaterial::RenderPrimitives(Display* display, ViewPort* viewport,
                                          GeometryChunk* chunk, const DisplayLightList* lights,
                                          const Matrix4* matrix, uint32_t first,
                                          const uint16_t* indices, uint32_t count,
                                          uint32_t primitive, int /*pass*/) {
  Render(display, viewport, chunk, lights, matrix, Range{false, first, indices, count, primitive});
}

void VandruBumpMaterial::RenderNumChunks(Display* display, ViewPort* viewport,
                                         GeometryChunk** chunks, const DisplayLightList** lights,
                                         const Matrix4** matrices, uint32_t count, int /*pass*/) {
  if (display == nullptr || viewport == nullptr || chunks == nullptr || count == 0) return;
  static const Matrix4 kIdentity;
  const PassOptions options;
  SetDisplayState(display);
  for (uint32_t i = 0; i < count; ++i) {
    if (chunks[i] == nullptr) continue;
    const Matrix4& object = matrices != nullptr && matrices[i] != nullptr ? *matrices[i] : kIdentity;
    ParallelPass(display, viewport, chunks[i], lights != nullptr ? lights[i] : nullptr, object,
                 Range{}, options);
  }
  const uint32_t blendMode = display->GetAlphaBlendMode();
  const uint32_t source = display->GetAlphaBlendSource();
  const uint32_t destination = display->GetAlphaBlendDestination();
  const uint32_t fog = display->GetFogMode();
  bool changed = false;
  for (uint32_t i = 0; i < count; ++i) {
    const DisplayLight* spot =
        lights != nullptr ? FindBrightestLight(lights[i], DisplayLight::kSpot) : nullptr;
    if (chunks[i] == nullptr || spot == nullptr) continue;
    if (!changed) {
      display->SetAlphaBlendMode(1);
      display->SetAlphaBlendFunction(options.spotSource, 1);
      display->SetFogMode(0);
      changed = true;
    }
    const Matrix4& object = matrices != nullptr && matrices[i] != nullptr ? *matrices[i] : kIdentity;
    SpotPass(display, viewport, chunks[i], *spot, object, Range{}, options);
  }
  if (changed) {
    display->SetAlphaBlendMode(blendMode);
    display->SetAlphaBlendFunction(source, destination);
    display->SetFogMode(fog);
  }
  ClearDisplayState(display);
}

void VandruBumpMaterial::Render(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                const DisplayLightList* lights, const Matrix4* matrix,
                                const Range& range) {
  if (display == nullptr || viewport == nullptr || chunk == nullptr) return;
  SetDisplayState(display);
  DrawPasses(display, viewport, chunk, lights, matrix, range, PassOptions{});
  ClearDisplayState(display);
}

void VandruBumpMaterial::DrawPasses(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                    const DisplayLightList* lights, const Matrix4* matrix,
                                    const Range& range, const PassOptions& options) {
  static const Matrix4 kIdentity;
  const Matrix4& object = matrix != nullptr ? *matrix : kIdentity;
  ParallelPass(display, viewport, chunk, lights, object, range, options);
  const DisplayLight* spot = FindBrightestLight(lights, DisplayLight::kSpot);
  if (spot == nullptr) return;
  const uint32_t blendMode = display->GetAlphaBlendMode();
  const uint32_t source = display->GetAlphaBlendSource();
  const uint32_t destination = display->GetAlphaBlendDestination();
  const uint32_t fog = display->GetFogMode();
  display->SetAlphaBlendMode(1);
  display->SetAlphaBlendFunction(options.spotSource, 1);
  display->SetFogMode(0);
  SpotPass(display, viewport, chunk, *spot, object, range, options);
  display->SetAlphaBlendMode(blendMode);
  display->SetAlphaBlendFunction(source, destination);
  display->SetFogMode(fog);
}

void VandruBumpMaterial::ParallelPass(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                      const DisplayLightList* lights, const Matrix4& object,
                                      const Range& range, const PassOptions& options) {
  VertexProgram* vertex = programs_.parallelVertex.get();
  TextureCombiner* pixel = programs_.parallelPixel.get();
  if (vertex == nullptr || pixel == nullptr) return;
  if (options.lerp) pixel->SetConstant(2, {options.k, options.k, options.k, options.k});
  const BumpLightConstants c = ParallelLightConstants(
      lights, display->GetGlobalAmbient(), GetDisplayMaterial(), object, viewport->viewTransform);
  display->SetWorldTransform(object);
  vertex->SetLocalConstant(7, c.lightDir);
  pixel->SetConstant(0, c.lightDiff);
  vertex->SetLocalConstant(13, c.viewPos);
  pixel->SetConstant(options.specularRegister, c.specular);
  pixel->SetConstant(1, c.lightAmb);
  display->ActivateTextureCombiner(pixel);
  Draw(display, viewport, chunk, vertex, range);
  display->ActivateTextureCombiner(nullptr);
}

void VandruBumpMaterial::SpotPass(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                  const DisplayLight& light, const Matrix4& object,
                                  const Range& range, const PassOptions& options) {
  VertexProgram* vertex = programs_.spotVertex.get();
  TextureCombiner* pixel = programs_.spotPixel.get();
  if (vertex == nullptr || pixel == nullptr) return;
  if (options.lerp) pixel->SetConstant(2, {options.k, options.k, options.k, options.k});
  const BumpLightConstants c =
      SpotLightConstants(light, GetDisplayMaterial(), object, viewport->viewTransform);
  display->SetWorldTransform(object);
  vertex->SetLocalConstant(7, c.lightDir);
  vertex->SetLocalConstant(13, c.viewPos);
  vertex->SetLocalConstant(5, c.lightPos);
  vertex->SetLocalConstant(6, c.invLightRadius);
  pixel->SetConstant(0, c.lightDiff);
  pixel->SetConstant(1, c.lightAmb);
  pixel->SetConstant(options.specularRegister, c.specular);
  display->ActivateTextureCombiner(pixel);
  Draw(display, viewport, chunk, vertex, range);
  display->ActivateTextureCombiner(nullptr);
}

void VandruBumpMaterial::Draw(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                              const VertexProgram* program, const Range& range) {
  if (range.all) {
    chunk->RenderGeometry(display, viewport, program, true, 0);
    return;
  }
  chunk->RenderPrimitives(display, viewport, program, range.first, range.indices, range.count,
                          range.primitive, true, 0);
}

}  // namespace Kiv
