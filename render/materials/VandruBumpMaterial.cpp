#include "render/materials/VandruBumpMaterial.h"

#include "kiv/display/Display.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/ViewPort.h"
#include "render/materials/BumpLighting.h"
#include "render/materials/MaterialPluginNames.h"

namespace Kiv {

namespace {
constexpr uint32_t kSpecularRegister = 2;
}  // namespace

VandruBumpMaterial::VandruBumpMaterial(MaterialManager* manager, MaterialChunkCache* chunks,
                                       AlphaMaskCache* mask, AlphaBlendCache* blend,
                                       const VandruBumpFamilyPlugin::ProgramSet& programs)
    : OneTextureMaterial(PString(kBumpType.type), manager, chunks, mask, blend),
      programs_(programs) {}

void VandruBumpMaterial::SetDisplayState(Display* display) {
  savedUnit1_ = display->GetTexture(1);
  if (bump_) {
    display->SetTexture(1, bump_.get(), bump_->name);
  } else {
    display->SetEmptyTexture(1);
  }
  OneTextureMaterial::SetDisplayState(display);
}

void VandruBumpMaterial::ClearDisplayState(Display* display) {
  display->ResetTextureStage(1);
  if (display->GetTexture(1) != savedUnit1_) {
    if (savedUnit1_ == nullptr) {
      display->SetEmptyTexture(1);
    } else {
      display->SetTexture(1, savedUnit1_, PString("(restored)"));
    }
  }
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

void VandruBumpMaterial::Render(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                const DisplayLightList* lights, const Matrix4* matrix,
                                const Range& range) {
  if (display == nullptr || viewport == nullptr || chunk == nullptr) return;
  static const Matrix4 kIdentity;
  const Matrix4& object = matrix != nullptr ? *matrix : kIdentity;
  SetDisplayState(display);
  ParallelPass(display, viewport, chunk, lights, object, range);
  if (const DisplayLight* spot = FindBrightestLight(lights, DisplayLight::kSpot)) {
    const uint32_t blendMode = display->GetAlphaBlendMode();
    const uint32_t source = display->GetAlphaBlendSource();
    const uint32_t destination = display->GetAlphaBlendDestination();
    const uint32_t fog = display->GetFogMode();
    display->SetAlphaBlendMode(1);
    display->SetAlphaBlendFunction(4, 1);
    display->SetFogMode(0);
    SpotPass(display, viewport, chunk, *spot, object, range);
    display->SetAlphaBlendMode(blendMode);
    display->SetAlphaBlendFunction(source, destination);
    display->SetFogMode(fog);
  }
  ClearDisplayState(display);
}

void VandruBumpMaterial::ParallelPass(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                      const DisplayLightList* lights, const Matrix4& object,
                                      const Range& range) {
  VertexProgram* vertex = programs_.parallelVertex.get();
  TextureCombiner* pixel = programs_.parallelPixel.get();
  if (vertex == nullptr || pixel == nullptr) return;
  const BumpLightConstants c = ParallelLightConstants(
      lights, display->GetGlobalAmbient(), GetDisplayMaterial(), object, viewport->viewTransform);
  display->SetWorldTransform(object);
  vertex->SetLocalConstant(7, c.lightDir);
  pixel->SetConstant(0, c.lightDiff);
  vertex->SetLocalConstant(13, c.viewPos);
  pixel->SetConstant(kSpecularRegister, c.specular);
  pixel->SetConstant(1, c.lightAmb);
  display->ActivateTextureCombiner(pixel);
  Draw(display, viewport, chunk, vertex, range);
  display->ActivateTextureCombiner(nullptr);
}

void VandruBumpMaterial::SpotPass(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                  const DisplayLight& light, const Matrix4& object,
                                  const Range& range) {
  VertexProgram* vertex = programs_.spotVertex.get();
  TextureCombiner* pixel = programs_.spotPixel.get();
  if (vertex == nullptr || pixel == nullptr) return;
  const BumpLightConstants c =
      SpotLightConstants(light, GetDisplayMaterial(), object, viewport->viewTransform);
  display->SetWorldTransform(object);
  vertex->SetLocalConstant(7, c.lightDir);
  vertex->SetLocalConstant(13, c.viewPos);
  vertex->SetLocalConstant(5, c.lightPos);
  vertex->SetLocalConstant(6, c.invLightRadius);
  pixel->SetConstant(0, c.lightDiff);
  pixel->SetConstant(1, c.lightAmb);
  pixel->SetConstant(kSpecularRegister, c.specular);
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
