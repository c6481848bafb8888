#include "render/meshes/VandruIndexedMeshResource.h"

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
