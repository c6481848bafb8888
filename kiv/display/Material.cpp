#include "kiv/display/Material.h"

#include <new>

#include "kiv/display/Display.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/MaterialManager.h"

namespace Kiv {

void Material::SetTextureDefinition(uint32_t slot, const PString& name, float value) {
  for (TextureDefinition& definition : textures_) {
    if (definition.slot != slot) continue;
    definition.name = name;
    definition.value = value;
    return;
  }
  AddTextureDefinition(slot, name, value);
}

MaterialTexture* Material::GetTexture(uint32_t slot) const {
  for (const auto& [held, texture] : slotTextures_) {
    if (held == slot) return texture.get();
  }
  return nullptr;
}

uint32_t Material::SetTexture(uint32_t slot, MaterialTexture* texture, float /*amount*/) {
  if (texture == nullptr) return 3;
  for (auto& [held, stored] : slotTextures_) {
    if (held != slot) continue;
    stored.reset(texture);
    return 0;
  }
  slotTextures_.emplace_back(slot, Ref<MaterialTexture>(texture));
  return 0;
}

uint32_t Material::SetTexture(uint32_t /*slot*/, const ResourceDatabase* /*database*/,
                              const PString& /*name*/, float /*amount*/) {
  return 3;
}

uint32_t Material::DuplicateTexture(uint32_t slot) {
  MaterialTexture* texture = GetTexture(slot);
  if (texture == nullptr) return 3;
  Ref<MaterialTexture> copy(texture->Duplicate());
  return copy ? SetTexture(slot, copy.get(), 1.0f) : 3;
}

void Material::Activate(int /*level*/) {
  for (auto& [slot, texture] : slotTextures_) texture->Activate();
}

void Material::SetResourcePriority(float priority) {
  priority_ = priority;
  for (auto& [slot, texture] : slotTextures_) texture->priority = priority;
}

Material* Material::Clone() const {
  auto* copy = new (std::nothrow) Material(kind_);
  if (copy != nullptr) copy->InitInstance(*this);
  return copy;
}

Material* Material::CreateInstance(const PString& typeName, MaterialManager* manager) {
  return manager != nullptr ? manager->CreateMaterial(typeName, nullptr) : nullptr;
}

void Material::InitInstance(const Material& from) {
  displayMaterial_ = from.displayMaterial_;
  flags_ = from.flags_;
  factor_ = from.factor_;
  properties_ = from.properties_;
  textures_ = from.textures_;
  slotTextures_ = from.slotTextures_;
  priority_ = from.priority_;
}

void Material::CacheAlphaHint() {
  alphaHint_ = displayMaterial_.diffuse.a < 1.0f ? 1 : 0;
}

void Material::RenderNumChunks(Display* display, ViewPort* viewport, GeometryChunk** chunks,
                               const DisplayLightList** lights, const Matrix4** matrices,
                               uint32_t count, int pass) {
  for (uint32_t i = 0; i < count; ++i)
    RenderChunk(display, viewport, chunks[i], lights[i], matrices[i], pass);
}

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

uint32_t Material::MakeGeometryChunkFlags(uint32_t /*kind*/, const StandardChunkHint& hint) {
  return (hint.flags & StandardChunkHint::kSoftwareLighting) != 0 ? kOwnVertices : 0;
}

GeometryChunk* Material::CreateGeometryChunk(uint32_t vertices, uint32_t faces, uint32_t indices,
                                             uint32_t faceNormals, uint32_t kind,
                                             const StandardChunkHint& hint) {
  return GeometryChunk::Create(vertices, faces, indices, faceNormals, kind, hint);
}

uint32_t Material::QueryVertexType(uint32_t vertices, uint32_t faces, uint32_t indices,
                                   uint32_t faceNormals, uint32_t kind,
                                   const StandardChunkHint& hint) {
  Ref<GeometryChunk> chunk(CreateGeometryChunk(vertices, faces, indices, faceNormals, kind, hint));
  return chunk ? chunk->AssignVertexType(nullptr) : 0;
}

}  // namespace Kiv
