#include "render/materials/VandruGlossRustMaterial.h"

#include <algorithm>
#include <typeinfo>

#include "kiv/display/Display.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/ViewPort.h"
#include "render/materials/MaterialMath.h"
#include "render/materials/MaterialPluginNames.h"

namespace Kiv {

namespace {

constexpr float kVisibleGloss = 1.0f / 255.0f;

}  // namespace

VandruGlossRustMaterial::VandruGlossRustMaterial(MaterialManager* manager,
                                                 MaterialChunkCache* chunks, AlphaBlendCache* blend,
                                                 uint32_t stateCount,
                                                 const std::array<uint32_t, 4>& states)
    : ReflectiveMaterial(PString(kGlossRustType.type), manager, chunks, blend, stateCount, states) {
}

GeometryChunk* VandruGlossRustMaterial::CreateGeometryChunk(uint32_t vertices, uint32_t faces,
                                                            uint32_t indices, uint32_t faceNormals,
                                                            uint32_t kind,
                                                            const StandardChunkHint& hint) {
  GeometryChunk* chunk =
      ReflectiveMaterial::CreateGeometryChunk(vertices, faces, indices, faceNormals, kind, hint);
  if (chunk != nullptr) chunk->AddChunkProperty(PString(kRustAge));
  return chunk;
}

void VandruGlossRustMaterial::SetSpecularColor(const Color& colour) {
  DisplayMaterial material = GetDisplayMaterial();
  material.specular = colour;
  SetDisplayMaterialProperties(material);
}

Material* VandruGlossRustMaterial::Clone() const {
  auto* copy = CloneAs<VandruGlossRustMaterial>();
  if (copy == nullptr) return nullptr;
  copy->SetReflectionTexture(GetReflectionTexture());
  copy->SetGlossAmount(GetGlossAmount());
  return copy;
}

bool VandruGlossRustMaterial::Equals(const Material& other) const {
  if (typeid(other) != typeid(*this)) return false;
  const auto& same = static_cast<const VandruGlossRustMaterial&>(other);
  return same.GetReflectionTexture() == GetReflectionTexture() &&
         same.GetGlossAmount() == GetGlossAmount() && OneTextureMaterial::Equals(other);
}

void VandruGlossRustMaterial::RenderChunk(Display* display, ViewPort* viewport,
                                          GeometryChunk* chunk, const DisplayLightList* lights,
                                          const Matrix4* matrix, int /*pass*/) {
  Render(display, viewport, chunk, lights, matrix, Range{});
}

void VandruGlossRustMaterial::RenderPrimitives(Display* display, ViewPort* viewport,
                                               GeometryChunk* chunk,
                                               const DisplayLightList* lights,
                                               const Matrix4* matrix, uint32_t first,
                                               const uint16_t* indices, uint32_t count,
                                               uint32_t primitive, int /*pass*/) {
  Render(display, viewport, chunk, lights, matrix, Range{false, first, indices, count, primitive});
}

void VandruGlossRustMaterial::Render(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                     const DisplayLightList* lights, const Matrix4* matrix,
                                     const Range& range) {
  if (display == nullptr || chunk == nullptr || GetReflectionTexture() == nullptr) return;
  const Color ambient = GetAmbientColor();
  const Color specular = GetDisplayMaterial().specular;
  SetAmbientColor(Color{1, 1, 1, 1});
  const float rustAge = chunk->GetChunkProperty(PString(kRustAge), 0.0f);
  if (rustAge > 0.5f) SetSpecularColor(ColorScale(specular, 1.0f - (rustAge - 0.5f)));
  SetState(display);
  PrepareChunk(display, lights, matrix);
  const float k = GetGlossAmount() * (1.0f - 2.0f * rustAge);
  if (k <= kVisibleGloss) {
    RustMode(display, chunk, lights, ambient, rustAge, range);
  } else {
    GlossMode(display, viewport, chunk, matrix, k, range);
  }
  ClearDisplayState(display);
  SetAmbientColor(ambient);
  SetSpecularColor(specular);
}

void VandruGlossRustMaterial::RenderNumChunks(Display* display, ViewPort* viewport,
                                              GeometryChunk** chunks,
                                              const DisplayLightList** lights,
                                              const Matrix4** matrices, uint32_t count,
                                              int /*pass*/) {
  if (display == nullptr || chunks == nullptr || count == 0 || GetReflectionTexture() == nullptr)
    return;
  const Color ambient = GetAmbientColor();
  const Color specular = GetDisplayMaterial().specular;
  SetAmbientColor(Color{1, 1, 1, 1});
  SetState(display);
  const auto lightsOf = [&](uint32_t i) { return lights != nullptr ? lights[i] : nullptr; };
  const auto matrixOf = [&](uint32_t i) { return matrices != nullptr ? matrices[i] : nullptr; };
  for (uint32_t i = 0; i < count; ++i) {
    if (chunks[i] == nullptr) continue;
    const float k =
        GetGlossAmount() * (1.0f - 2.0f * chunks[i]->GetChunkProperty(PString(kRustAge), 0.0f));
    if (k <= kVisibleGloss) continue;
    PrepareChunk(display, lightsOf(i), matrixOf(i));
    GlossMode(display, viewport, chunks[i], matrixOf(i), k, Range{});
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (chunks[i] == nullptr) continue;
    const float rustAge = chunks[i]->GetChunkProperty(PString(kRustAge), 0.0f);
    if (!(rustAge >= 0.5f)) continue;
    if (rustAge > 0.5f) SetSpecularColor(ColorScale(specular, 1.0f - (rustAge - 0.5f)));
    PrepareChunk(display, lightsOf(i), matrixOf(i));
    RustMode(display, chunks[i], lightsOf(i), ambient, rustAge, Range{});
    SetSpecularColor(specular);
  }
  ClearDisplayState(display);
  SetAmbientColor(ambient);
}

// The engine base's state and the reflection texture in unit 1.
void VandruGlossRustMaterial::SetState(Display* display) {
  OneTextureMaterial::SetDisplayState(display);
  savedUnit1_ = display->GetTexture(1);
  MaterialTexture* reflection = GetReflectionTexture();
  if (GetStateCount() > 0) display->SetTexture(1, reflection, reflection->name);
}

void VandruGlossRustMaterial::PrepareChunk(Display* display, const DisplayLightList* lights,
                                           const Matrix4* matrix) {
  SetLightingState(display, lights);
  if (matrix != nullptr) display->SetWorldTransform(*matrix);
}

void VandruGlossRustMaterial::Draw(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                   const Range& range) {
  if (range.all) {
    chunk->RenderGeometry(display, viewport, nullptr, true, 0);
    return;
  }
  chunk->RenderPrimitives(display, viewport, nullptr, range.first, range.indices, range.count,
                          range.primitive, true, 0);
}

void VandruGlossRustMaterial::RustMode(Display* display, GeometryChunk* chunk,
                                       const DisplayLightList* lights, const Color& ambient,
                                       float rustAge, const Range& range) {
  if (GetStateCount() > 3) {
    display->ApplyTextureStageState(GetStates()[2]);
    display->ApplyTextureStageState(GetStates()[3]);
  }
  Color light = display->GetGlobalAmbient();
  if (lights != nullptr) {
    for (const DisplayLight* each : *lights) {
      if (each == nullptr) continue;
      light = Color{light.r + each->ambient.r, light.g + each->ambient.g, light.b + each->ambient.b,
                    light.a + each->ambient.a};
    }
  }
  Color constant = ColorProduct(ambient, ColorClamp(light));
  constant.a = std::max(2.0f * (rustAge - 0.5f), 0.0f);
  display->SetTextureStageConstant(0, constant);
  display->SetTextureStageConstant(1, constant);
  Draw(display, nullptr, chunk, range);
}

void VandruGlossRustMaterial::GlossMode(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                        const Matrix4* matrix, float k, const Range& range) {
  MaterialTexture& reflection = *GetReflectionTexture();
  ChangeTexGen(display, true);  // Chunks of the null display carry no vertex program.
  if (GetStateCount() > 1) {
    display->ApplyTextureStageState(GetStates()[0]);
    display->ApplyTextureStageState(GetStates()[1]);
  }
  display->SetTextureStageConstant(0, Color{k, k, k, k});
  display->SetTextureStageConstant(1, Color{k, k, k, k});
  const bool cube = reflection.kind == 1;
  if (cube || (GetModeFlags() & 1) != 0) {
    if (viewport != nullptr && (GetModeFlags() & 2) != 0 && reflection.loaded && cube)
      display->SetTextureTransform(1, TransposedRotation(viewport->viewTransform));
  } else {
    SetSphericalTexureCoordinates(display, chunk, matrix);
  }
  Draw(display, viewport, chunk, range);
  const uint32_t generated = cube ? 2u : 1u;
  if ((GetModeFlags() & generated) != 0) {
    display->SetTexCoordGeneration(1, 0);
    ClearModeFlags(generated);
  }
  display->ResetTextureTransform(1);
}

void VandruGlossRustMaterial::ClearDisplayState(Display* display) {
  OneTextureMaterial::ClearDisplayState(display);
  display->ResetTextureStage(1);
  display->ResetTextureStage(0);
  if (display->GetTexture(1) == savedUnit1_) return;
  if (savedUnit1_ == nullptr) {
    display->SetEmptyTexture(1);
    return;
  }
  display->SetTexture(1, savedUnit1_, PString("(restored)"));
}

}  // namespace Kiv
