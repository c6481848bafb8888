#include "render/meshes/VandruIndexedMeshLODResource.h"

#include <new>

#include "render/instances/VandruDynamicIndexedMeshLODInstance.h"

uint32_t VandruIndexedMeshLODResource::Load(const char* path) {
  if (!BeginLoad()) return 1;
  auto definition = std::make_unique<VandruIndexedMeshLODDefinition>();
  definition->settings = SettingsForDefinition();
  const uint32_t code = definition->Load(GetDisplay(), GetMaterialManager(), Kiv::String(path));
  return EndLoad(std::move(definition), code);
}

uint32_t VandruIndexedMeshLODResource::LoadTxt(const char* path) {
  if (!BeginLoad()) return 1;
  auto definition = std::make_unique<VandruIndexedMeshLODDefinition>();
  definition->settings = SettingsForDefinition();
  const uint32_t code =
      definition->ParseDescription(GetDisplay(), GetMaterialManager(), this, Kiv::String(path));
  return EndLoad(std::move(definition), code);
}

uint32_t VandruIndexedMeshLODResource::FinishDefinition() {
  return GetLODDefinition()->FinishLoading(GetDisplay());
}

uint64_t VandruIndexedMeshLODResource::CalculateDataSize() const {
  return definition_ != nullptr ? GetLODDefinition()->CalculateDataSize() : 0;
}

std::vector<std::vector<Kiv::Ref<Kiv::Material>>> VandruIndexedMeshLODResource::MaterialLists()
    const {
  std::vector<std::vector<Kiv::Ref<Kiv::Material>>> lists;
  for (const VandruIndexedMeshLODDefinition::Level& level : GetLODDefinition()->levels.Items())
    lists.push_back(level.materials.Items());
  return lists;
}

VandruIndexedMeshInstance* VandruIndexedMeshLODResource::CreateMeshInstance() {
  if (GetRenderKernel() == nullptr || definition_ == nullptr) return nullptr;
  const VandruIndexedMeshLODDefinition& definition = *GetLODDefinition();
  if (!definition.hasBoneTable) {
    auto* instance = new (std::nothrow) VandruIndexedMeshLODInstance(GetRenderKernel());
    if (instance != nullptr) instance->BuildLevelInstances(this, definition);
    return instance;
  }
  if (definition.boneTable.empty()) return nullptr;
  auto* instance = new (std::nothrow) VandruDynamicIndexedMeshLODInstance(GetRenderKernel());
  if (instance != nullptr) instance->SetUp(this, definition);
  return instance;
}
