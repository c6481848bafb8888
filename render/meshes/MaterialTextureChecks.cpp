#include "render/meshes/MaterialTextureChecks.h"

namespace {

constexpr uint32_t kReady = 0;
constexpr uint32_t kFailed = 1;
constexpr uint32_t kWaitingForTextures = 4;
constexpr uint32_t kStillLoading = 5;

uint32_t WaitingMaterialState(const Kiv::Material& material) {
  const auto& definitions = material.GetTextureDefinitions();
  if (definitions.empty()) return kFailed;
  for (const Kiv::Material::TextureDefinition& definition : definitions) {
    const Kiv::MaterialTexture* texture = material.GetTexture(definition.slot);
    if (texture == nullptr || texture->IsLoaded()) continue;
    if (texture->LoadFailed() || texture->ResourceIsAllLoaded() == kFailed) return kFailed;
    return kStillLoading;
  }
  return kStillLoading;
}

}  // namespace

bool RequestMaterialTextures(const std::vector<Kiv::Ref<Kiv::Material>>& materials) {
  for (const Kiv::Ref<Kiv::Material>& material : materials) {
    if (material == nullptr || material->IsLoaded() == kReady) continue;
    for (const Kiv::Material::TextureDefinition& definition : material->GetTextureDefinitions()) {
      Kiv::MaterialTexture* texture = material->GetTexture(definition.slot);
      if (texture == nullptr || texture->IsLoaded()) continue;
      texture->RequestLoad();
      if (texture->LoadFailed()) return false;
    }
  }
  return true;
}

uint32_t MaterialTexturesState(const std::vector<Kiv::Ref<Kiv::Material>>& materials) {
  for (const Kiv::Ref<Kiv::Material>& material : materials) {
    if (material == nullptr) continue;
    const uint32_t loaded = material->IsLoaded();
    if (loaded == kReady) continue;
    if (loaded != kWaitingForTextures) return kFailed;
    return WaitingMaterialState(*material);
  }
  return kReady;
}
