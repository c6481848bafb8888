#include "render/meshes/VandruIndexedMeshResource.h"

#include <new>

#include "render/instances/VandruDynamicIndexedMeshInstance.h"

uint32_t VandruIndexedMeshResource::Load(const char* path) {
  if (!BeginLoad()) return 1;
  auto definition = std::make_unique<VandruIndexedMeshDefinition>();
  definition->settings = SettingsForDefinition();
  uint32_t code = definition->OpenResourceFile(Kiv::String(path));
  if (code == kMeshOk) {
    code = definition->Load(GetDisplay(), GetMaterialManager(), this, 0, kDefaultColour);
  }
  return EndLoad(std::move(definition), code);
}

VandruIndexedMeshInstance* VandruIndexedMeshResource::CreateMeshInstance() {
  if (GetRenderKernel() == nullptr || definition_ == nullptr) return nullptr;
  const VandruIndexedMeshDefinition& definition = *definition_;
  const bool skinned = definition.GetMaxWeightsPerVertex() > 0 || !definition.GetInfluences().empty();
  if (skinned && definition.GetRootBone() != nullptr) {
    if (definition.GetInfluences().empty()) return nullptr;
    auto* instance = new (std::nothrow) VandruDynamicIndexedMeshInstance(GetRenderKernel());
    if (instance != nullptr) instance->SetUp(this, definition);
    return instance;
  }
  auto* instance = new (std::nothrow) VandruIndexedMeshInstance(GetRenderKernel());
  if (instance == nullptr) return nullptr;
  instance->SetResource(this);
  instance->SetDefinition(definition);
  instance->CreateAttachmentPoints(definition);
  return instance;
}
