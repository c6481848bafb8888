#include "render/materials/VandruGlossRustMaterial.h"

#include <algorithm>

#include "kiv/display/Display.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/ViewPort.h"
#include "render/materials/MaterialMath.h"
#include "render/materials/MaterialPluginNames.h"

namespace Kiv {

namespace {

constexpr float kVisibleGloss = 1.0f / 255.0f;

// The rotation of a view transform, transposed (the translation dropped).
Matrix4 TransposedRotation(const Matrix4& view) {
  Matrix4 out;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) out.m[r * 4 + c] = view.m[c * 4 + r];
  }
  return out;
}

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

void VandruGlossRustMaterial::RenderChunk(Display* display, ViewPort* viewport,
                                          GeometryChunk* chunk, const DisplayLightList* lights,
                                          const Matrix4* matrix, int /*pass*/) {
  MaterialTexture* reflection = GetReflectionTexture();
  if (display == nullptr || chunk == nullptr || reflection == nullptr) return;
  const Color ambient = GetAmbientColor();
  const Color specular = GetDisplayMaterial().specular;
  SetAmbientColor(Color{1, 1, 1, 1});
  const float rustAge = chunk->GetChunkProperty(PString(kRustAge), 0.0f);
  if (rustAge > 0.5f) SetSpecularColor(ColorScale(specular, 1.0f - (rustAge - 0.5f)));

  OneTextureMaterial::SetDisplayState(display);
  savedUnit1_ = display->GetTexture(1);
  if (GetStateCount() > 0) display->SetTexture(1, reflection, reflection->name);
  SetLightingState(display, lights);
  if (matrix != nullptr) display->SetWorldTransform(*matrix);

  const float k = GetGlossAmount() * (1.0f - 2.0f * rustAge);
  if (k <= kVisibleGloss) {
    RustMode(display, chunk, lights, ambient, rustAge);
  } else {
    GlossMode(display, viewport, chunk, matrix, k);
  }
  ClearDisplayState(display);
  SetAmbientColor(ambient);
  SetSpecularColor(specular);
}

void VandruGlossRustMaterial::RustMode(Display* display, GeometryChunk* chunk,
                                       const DisplayLightList* lights, const Color& ambient,
                                       float rustAge) {
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
  chunk->RenderGeometry(display, nullptr, nullptr, true, 0);
}

void VandruGlossRustMaterial::GlossMode(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                        const Matrix4* matrix, float k) {
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
  chunk->RenderGeometry(display, viewport, nullptr, true, 0);
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
