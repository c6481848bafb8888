#include "render/meshes/VandruGeometryBaseResource.h"

#include "kiv/Log.h"
#include "kiv/RenderKernel.h"
#include "render/meshes/MaterialTextureChecks.h"

namespace {

constexpr uint32_t kFailed = 1;

}  // namespace

VandruGeometryBaseResource::VandruGeometryBaseResource(const Kiv::PString& name,
                                                       Kiv::ResourceDatabase* database)
    : Kiv::Resource(name, database), kernel_(Kiv::GetRenderKernel()) {}

VandruGeometryBaseResource::~VandruGeometryBaseResource() {
  definition_.reset();
  ReleaseNames();
}

MeshSettings VandruGeometryBaseResource::SettingsForDefinition() const {
  MeshSettings settings = definitionSettings;
  if (!settings.dynamicIndex.set) settings.dynamicIndex = {1, true};
  return settings;
}

Kiv::Display* VandruGeometryBaseResource::GetDisplay() const {
  return kernel_ != nullptr ? kernel_->GetDisplay() : nullptr;
}

Kiv::MaterialManager* VandruGeometryBaseResource::GetMaterialManager() const {
  return kernel_ != nullptr ? kernel_->GetMaterialManager() : nullptr;
}

bool VandruGeometryBaseResource::BeginLoad() {
  ReleaseNames();
  definition_.reset();
  if (kernel_ != nullptr) return true;
  loadResult_ = kMeshUnknown;
  return false;
}

uint32_t VandruGeometryBaseResource::EndLoad(
    std::unique_ptr<VandruIndexedMeshDefinition> definition, uint32_t code) {
  loadResult_ = code;
  if (code != kMeshOk) return kFailed;
  definition_ = std::move(definition);
  return 0;
}

uint32_t VandruGeometryBaseResource::LoadComplete() {
  if (definition_ == nullptr) return Kiv::Resource::LoadComplete();
  const uint32_t code = FinishDefinition();
  if (code != kMeshOk) {
    Kiv::Log::Printf("VandruGeometryBaseResource::LoadComplete> '%s': %s\n",
                     GetFilePath().c_str(), MeshResultText(code));
  }
  return Kiv::Resource::LoadComplete();
}

uint32_t VandruGeometryBaseResource::FinishDefinition() {
  definition_->FinishMaterials(this);
  return definition_->LoadMaterialTextures(GetDisplay());
}

std::vector<std::vector<Kiv::Ref<Kiv::Material>>> VandruGeometryBaseResource::MaterialLists()
    const {
  std::vector<Kiv::Ref<Kiv::Material>> list;
  for (uint32_t i = 0; i < definition_->GetNumChunks(); ++i)
    list.emplace_back(definition_->GetMaterial(i));
  return {list};
}

bool VandruGeometryBaseResource::LoadAll() {
  if (definition_ == nullptr) return false;
  for (const auto& list : MaterialLists()) {
    if (!RequestMaterialTextures(list)) return false;
  }
  return true;
}

uint32_t VandruGeometryBaseResource::IsAllLoaded() {
  if (definition_ == nullptr) return kFailed;
  for (const auto& list : MaterialLists()) {
    if (const uint32_t state = MaterialTexturesState(list)) return state;
  }
  return 0;
}

uint64_t VandruGeometryBaseResource::CalculateDataSize() const {
  return definition_ != nullptr ? definition_->CalculateDataSize() : 0;
}
