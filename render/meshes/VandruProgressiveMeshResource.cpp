#include "render/meshes/VandruProgressiveMeshResource.h"

#include <new>

#include "render/instances/VandruProgressiveMeshInstance.h"
#include "render/meshes/VandruProgressiveMeshDefinition.h"

uint32_t VandruProgressiveMeshResource::Load(const char* path) {
  if (!BeginLoad()) return 1;
  auto definition = std::make_unique<VandruProgressiveMeshDefinition>();
  definition->settings = SettingsForDefinition();
  const uint32_t code = definition->Load(GetDisplay(), GetMaterialManager(), this,
                                         Kiv::String(path), kDefaultColour);
  return EndLoad(std::move(definition), code);
}

VandruIndexedMeshInstance* VandruProgressiveMeshResource::CreateMeshInstance() {
  if (GetRenderKernel() == nullptr || definition_ == nullptr) return nullptr;
  const auto& definition = static_cast<const VandruProgressiveMeshDefinition&>(*definition_);
  const bool skinned = definition.GetMaxWeightsPerVertex() > 0 || !definition.GetInfluences().empty();
  if (skinned && definition.GetRootBone() != nullptr) {
    if (definition.GetInfluences().empty()) return nullptr;
    auto* instance = new (std::nothrow) VandruDynamicProgressiveMeshInstance(GetRenderKernel());
    if (instance != nullptr) instance->SetUp(this, definition);
    return instance;
  }
  auto* instance = new (std::nothrow) VandruProgressiveMeshInstance(GetRenderKernel());
  if (instance != nullptr) instance->SetUp(this, definition);
  return instance;
}
