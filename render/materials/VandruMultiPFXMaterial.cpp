#include "render/materials/VandruMultiPFXMaterial.h"

#include <typeinfo>

#include "kiv/RenderKernel.h"
#include "kiv/display/Display.h"
#include "kiv/display/GeometryChunk.h"
#include "render/materials/MaterialPluginNames.h"

namespace Kiv {

VandruMultiPFXMaterial::VandruMultiPFXMaterial(MaterialManager* manager,
                                               MaterialChunkCache* chunks, AlphaMaskCache* mask,
                                               AlphaBlendCache* blend, uint32_t stage0,
                                               uint32_t stage1)
    : OneTextureMaterial(PString(kMultiPFXType.type), manager, chunks, mask, blend),
      second_(kSecondSlot),
      stage0_(stage0),
      stage1_(stage1) {}

Material* VandruMultiPFXMaterial::Clone() const {
  auto* copy = CloneAs<VandruMultiPFXMaterial>();
  if (copy == nullptr) return nullptr;
  copy->second_.Reset(second_.Get());
  copy->transform_ = transform_;
  return copy;
}

bool VandruMultiPFXMaterial::Equals(const Material& other) const {
  if (typeid(other) != typeid(*this)) return false;
  return static_cast<const VandruMultiPFXMaterial&>(other).second_.Get() == second_.Get() &&
         OneTextureMaterial::Equals(other);
}

void VandruMultiPFXMaterial::SetResourcePriority(float priority) {
  OneTextureMaterial::SetResourcePriority(priority);
  if (MaterialTexture* texture = second_.Get()) texture->priority = priority;
}

void VandruMultiPFXMaterial::Activate(int level) {
  OneTextureMaterial::Activate(level);
  if (MaterialTexture* texture = second_.Get()) texture->Activate();
}

GeometryChunk* VandruMultiPFXMaterial::CreateGeometryChunk(uint32_t vertices, uint32_t faces,
                                                           uint32_t indices, uint32_t faceNormals,
                                                           uint32_t kind,
                                                           const StandardChunkHint& hint) {
  GeometryChunk* chunk = GeometryChunk::CreateSingleStream(PackedVertexPCT, true, vertices, faces,
                                                           indices, faceNormals, kind, hint);
  if (chunk == nullptr) return nullptr;
  chunk->SetFlags(MakeGeometryChunkFlags(kind, hint));
  if (hint.vertexBufferKind == 1) chunk->SetVertexDataDynamic(0, -2, true);
  chunk->SetVertexDataShared(0, 0, false);
  if (hint.indexBufferKind == 1) chunk->SetIndexDataDynamic();
  if (!vertexType_) {
    Ref<VertexType> type(new VertexType(kVertexTypeId));
    type->CreateStreams(1);
    type->CreateItems(0, 4);
    for (uint32_t item : {GeometryChunk::kPosition, GeometryChunk::kColor,
                          GeometryChunk::kTexCoord0})
      type->AddItem(0, item, -1, 0, 1, PString());
    type->AddItem(GeometryChunk::kTexCoord0 + 1, GeometryChunk::kTexCoord0, PString());
    RenderKernel* kernel =
        GetMaterialManager() != nullptr ? GetMaterialManager()->GetRenderKernel() : nullptr;
    if (kernel != nullptr && kernel->GetDisplay() != nullptr)
      kernel->GetDisplay()->RegisterVertexType(type.get());
    vertexType_ = type;
  }
  chunk->SetVertexType(vertexType_.get(), 0);
  return chunk;
}

MaterialTexture* VandruMultiPFXMaterial::GetTexture(uint32_t slot) const {
  return slot == kSecondSlot ? second_.Get() : OneTextureMaterial::GetTexture(slot);
}

uint32_t VandruMultiPFXMaterial::SetTexture(uint32_t slot, MaterialTexture* texture,
                                            float amount) {
  if (slot == kSecondSlot) return second_.Set(*this, texture, amount);
  return OneTextureMaterial::SetTexture(slot, texture, amount);
}

uint32_t VandruMultiPFXMaterial::SetTexture(uint32_t slot, const ResourceDatabase* database,
                                            const PString& name, float amount) {
  if (slot == kSecondSlot)
    return second_.SetByName(*this, GetMaterialManager(), database, name, amount);
  return OneTextureMaterial::SetTexture(slot, database, name, amount);
}

uint32_t VandruMultiPFXMaterial::DuplicateTexture(uint32_t slot) {
  if (slot == kSecondSlot) return second_.Duplicate();
  return OneTextureMaterial::DuplicateTexture(slot);
}

uint32_t VandruMultiPFXMaterial::IsLoaded() const {
  if (!second_.IsReady()) return 4;
  return OneTextureMaterial::IsLoaded();
}

void VandruMultiPFXMaterial::Bind(Display* display, ViewPort* /*viewport*/, int pass) {
  if (pass == 0 && display != nullptr) SetDisplayState(display);
}

void VandruMultiPFXMaterial::Unbind(Display* display, ViewPort* /*viewport*/, int pass) {
  if (pass == 0 && display != nullptr) ClearDisplayState(display);
}

void VandruMultiPFXMaterial::SetDisplayState(Display* display) {
  OneTextureMaterial::SetDisplayState(display);
  if (stage0_ != 0 && stage1_ != 0) {
    display->ApplyTextureStageState(stage0_);
    display->ApplyTextureStageState(stage1_);
  }
  second_.Bind(display, 1);
  display->SetTextureTransform(1, transform_);
}

void VandruMultiPFXMaterial::ClearDisplayState(Display* display) {
  OneTextureMaterial::ClearDisplayState(display);
  display->ResetTextureStage(0);
  display->ResetTextureStage(1);
  display->ResetTextureTransform(1);
  second_.Restore(display, 1);
}

}  // namespace Kiv
