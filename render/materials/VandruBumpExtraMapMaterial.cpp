#include "render/materials/VandruBumpExtraMapMaterial.h"

#include <typeinfo>

#include "kiv/display/GeometryChunk.h"

namespace Kiv {

VandruBumpExtraMapMaterial::VandruBumpExtraMapMaterial(
    const PString& kind, MaterialManager* manager, MaterialChunkCache* chunks, AlphaMaskCache* mask,
    AlphaBlendCache* blend, const VandruBumpFamilyPlugin::ProgramSet& programs)
    : VandruBumpMaterial(kind, manager, chunks, mask, blend, programs),
      extra_(kExtraSlot, manager != nullptr ? manager->GetSharedTexture(0) : nullptr) {}

bool VandruBumpExtraMapMaterial::Equals(const Material& other) const {
  if (typeid(other) != typeid(*this)) return false;
  const auto& same = static_cast<const VandruBumpExtraMapMaterial&>(other);
  return same.extra_.Get() == extra_.Get() && same.amount_ == amount_ &&
         VandruBumpMaterial::Equals(other);
}

void VandruBumpExtraMapMaterial::CopyMaps(VandruBumpExtraMapMaterial& copy) const {
  CopyBumpSlot(copy);
  copy.extra_.Reset(extra_.Get());
  copy.amount_ = amount_;
}

GeometryChunk* VandruBumpExtraMapMaterial::CreateGeometryChunk(uint32_t vertices, uint32_t faces,
                                                               uint32_t indices,
                                                               uint32_t faceNormals, uint32_t kind,
                                                               const StandardChunkHint& hint) {
  GeometryChunk* chunk =
      VandruBumpMaterial::CreateGeometryChunk(vertices, faces, indices, faceNormals, kind, hint);
  if (chunk != nullptr && (chunk->GetFlags() & kOwnVertices) == 0)
    chunk->SetVertexDataShared(0, -3, false);
  return chunk;
}

MaterialTexture* VandruBumpExtraMapMaterial::GetTexture(uint32_t slot) const {
  return slot == kExtraSlot ? extra_.Get() : VandruBumpMaterial::GetTexture(slot);
}

uint32_t VandruBumpExtraMapMaterial::SetTexture(uint32_t slot, MaterialTexture* texture,
                                                float amount) {
  if (slot != kExtraSlot) return VandruBumpMaterial::SetTexture(slot, texture, amount);
  const uint32_t result = extra_.Set(*this, texture, amount);
  if (result == 0) amount_ = amount;
  return result;
}

uint32_t VandruBumpExtraMapMaterial::SetTexture(uint32_t slot, const ResourceDatabase* database,
                                                const PString& name, float amount) {
  if (slot != kExtraSlot) return VandruBumpMaterial::SetTexture(slot, database, name, amount);
  const uint32_t result = extra_.SetByName(*this, GetMaterialManager(), database, name, amount);
  if (result == 0) amount_ = amount;
  return result;
}

uint32_t VandruBumpExtraMapMaterial::DuplicateTexture(uint32_t slot) {
  if (slot == kExtraSlot) return extra_.Duplicate();
  return VandruBumpMaterial::DuplicateTexture(slot);
}

uint32_t VandruBumpExtraMapMaterial::IsLoaded() const {
  if (!extra_.IsReady()) return 4;
  return VandruBumpMaterial::IsLoaded();
}

void VandruBumpExtraMapMaterial::RenderPrimitives(Display* /*display*/, ViewPort* /*viewport*/,
                                                  GeometryChunk* /*chunk*/,
                                                  const DisplayLightList* /*lights*/,
                                                  const Matrix4* /*matrix*/, uint32_t /*first*/,
                                                  const uint16_t* /*indices*/, uint32_t /*count*/,
                                                  uint32_t /*primitive*/, int /*pass*/) {}

void VandruBumpExtraMapMaterial::RenderNumChunks(Display* display, ViewPort* viewport,
                                                 GeometryChunk** chunks,
                                                 const DisplayLightList** lights,
                                                 const Matrix4** matrices, uint32_t count,
                                                 int /*pass*/) {
  if (chunks == nullptr) return;
  for (uint32_t i = 0; i < count; ++i)
    RenderChunk(display, viewport, chunks[i], lights != nullptr ? lights[i] : nullptr,
                matrices != nullptr ? matrices[i] : nullptr, -1);
}

void VandruBumpExtraMapMaterial::SetDisplayState(Display* display) {
  savedUnit3_ = display->GetTexture(3);
  BindUnit3(display);
  VandruBumpMaterial::SetDisplayState(display);
}

void VandruBumpExtraMapMaterial::ClearDisplayState(Display* display) {
  display->ResetTextureStage(3);
  MaterialTextureSlot::RestoreUnit(display, 3, savedUnit3_);
  ClearBumpState(display);
}

}  // namespace Kiv
