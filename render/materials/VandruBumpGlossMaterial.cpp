#include "render/materials/VandruBumpGlossMaterial.h"

#include "kiv/display/GeometryChunk.h"
#include "render/materials/MaterialPluginNames.h"

namespace Kiv {

namespace {
constexpr float kVisibleGloss = 1.0f / 255.0f;
}  // namespace

VandruBumpGlossMaterial::VandruBumpGlossMaterial(
    MaterialManager* manager, MaterialChunkCache* chunks, AlphaMaskCache* mask,
    AlphaBlendCache* blend, const VandruBumpFamilyPlugin::ProgramSet& programs,
    const VandruBumpFamilyPlugin::ProgramSet& rustPrograms)
    : VandruBumpExtraMapMaterial(PString(kBumpGlossType.type), manager, chunks, mask, blend,
                                 programs),
      rustPrograms_(rustPrograms) {}

Material* VandruBumpGlossMaterial::Clone() const {
  auto* copy = CloneAs<VandruBumpGlossMaterial>();
  if (copy != nullptr) CopyMaps(*copy);
  return copy;
}

void VandruBumpGlossMaterial::Activate(int level) {
  if (MaterialTexture* gloss = GetExtraTexture()) gloss->Activate();
  VandruBumpExtraMapMaterial::Activate(level);
}

GeometryChunk* VandruBumpGlossMaterial::CreateGeometryChunk(uint32_t vertices, uint32_t faces,
                                                            uint32_t indices, uint32_t faceNormals,
                                                            uint32_t kind,
                                                            const StandardChunkHint& hint) {
  GeometryChunk* chunk = VandruBumpExtraMapMaterial::CreateGeometryChunk(
      vertices, faces, indices, faceNormals, kind, hint);
  if (chunk != nullptr && chunk->AddChunkProperty(PString(kRustAge)))
    chunk->SetChunkProperty(PString(kRustAge), 0.0f);
  return chunk;
}

void VandruBumpGlossMaterial::BindUnit3(Display* display) {
  unit3_.Reset(GetExtraTexture());
  unit3_.Bind(display, 3);
}

void VandruBumpGlossMaterial::RenderChunk(Display* display, ViewPort* viewport,
                                          GeometryChunk* chunk, const DisplayLightList* lights,
                                          const Matrix4* matrix, int /*pass*/) {
  if (display == nullptr || viewport == nullptr || chunk == nullptr) return;
  const Color ambient = GetAmbientColor();
  SetAmbientColor(Color{1, 1, 1, 1});
  const float rustAge = chunk->GetChunkProperty(PString(kRustAge), 0.0f);
  SetDisplayState(display);
  const float k = GetAmount() * (1.0f - 2.0f * rustAge);
  if (k > kVisibleGloss) {
    PassOptions options;
    options.specularRegister = 3;
    options.spotSource = 1;
    options.lerp = true;
    options.k = k;
    DrawPasses(display, viewport, chunk, lights, matrix, Range{}, options);
  }
  ClearDisplayState(display);
  SetAmbientColor(ambient);
}

}  // namespace Kiv
