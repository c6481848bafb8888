#include "kiv/display/OneTextureMaterial.h"

#include "kiv/display/Display.h"
#include "kiv/display/GeometryChunk.h"

namespace Kiv {

OneTextureMaterial::OneTextureMaterial(const PString& kind, MaterialManager* manager,
                                       MaterialChunkCache* chunks, AlphaMaskCache* mask,
                                       AlphaBlendCache* blend)
    : Material(kind), manager_(manager), chunks_(chunks), mask_(mask), blend_(blend) {}

void OneTextureMaterial::SetAmbientColor(const Color& colour) {
  DisplayMaterial material = GetDisplayMaterial();
  material.ambient = colour;
  SetDisplayMaterialProperties(material);
}

bool OneTextureMaterial::Equals(const Material& other) const {
  const auto* same = dynamic_cast<const OneTextureMaterial*>(&other);
  return same != nullptr && Material::Equals(other) && same->base_ == base_;
}

Material* OneTextureMaterial::Clone() const {
  return CloneAs<OneTextureMaterial>();
}

void OneTextureMaterial::InitInstance(const OneTextureMaterial& from) {
  Material::InitInstance(from);
  base_ = from.base_;
}

void OneTextureMaterial::RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                     const DisplayLightList* lights, const Matrix4* matrix,
                                     int /*pass*/) {
  if (display == nullptr || chunk == nullptr) return;
  SetDisplayState(display);
  SetLightingState(display, lights);
  if (matrix != nullptr) display->SetWorldTransform(*matrix);
  chunk->RenderGeometry(display, viewport, nullptr, true, 0);
  ClearDisplayState(display);
}

void OneTextureMaterial::RenderPrimitives(Display* display, ViewPort* viewport,
                                          GeometryChunk* chunk, const DisplayLightList* lights,
                                          const Matrix4* matrix, uint32_t first,
                                          const uint16_t* indices, uint32_t count,
                                          uint32_t primitive, int /*pass*/) {
  if (display == nullptr || chunk == nullptr) return;
  SetDisplayState(display);
  SetLightingState(display, lights);
  if (matrix != nullptr) display->SetWorldTransform(*matrix);
  chunk->RenderPrimitives(display, viewport, nullptr, first, indices, count, primitive, true, 0);
  ClearDisplayState(display);
}

void OneTextureMaterial::RenderNumChunks(Display* display, ViewPort* viewport,
                                         GeometryChunk** chunks, const DisplayLightList** lights,
                                         const Matrix4** matrices, uint32_t count, int /*pass*/) {
  if (display == nullptr || chunks == nullptr || count == 0) return;
  SetDisplayState(display);
  for (uint32_t i = 0; i < count; ++i) {
    if (chunks[i] == nullptr) continue;
    SetLightingState(display, lights != nullptr ? lights[i] : nullptr);
    if (matrices != nullptr && matrices[i] != nullptr) display->SetWorldTransform(*matrices[i]);
    chunks[i]->RenderGeometry(display, viewport, nullptr, true, 0);
  }
  ClearDisplayState(display);
}

void OneTextureMaterial::SetDisplayState(Display* display) {
  savedUnit0_ = display->GetTexture(0);
  if (base_) {
    display->SetTexture(0, base_.get(), base_->name);
    return;
  }
  display->SetEmptyTexture(0);
}

void OneTextureMaterial::ClearDisplayState(Display* display) {
  if (display->GetTexture(0) == savedUnit0_) return;
  if (savedUnit0_ == nullptr) {
    display->SetEmptyTexture(0);
    return;
  }
  display->SetTexture(0, savedUnit0_, PString("(restored)"));
}

}  // namespace Kiv
