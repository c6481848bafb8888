#include "render/meshes/VandruProgressiveMeshResource.h"

#include "render/meshes/VandruProgressiveMeshDefinition.h"

uint32_t VandruProgressiveMeshResource::Load(const char* path) {
  if (!BeginLoad()) return 1;
  auto definition = std::make_unique<VandruProgressiveMeshDefinition>();
  definition->settings = SettingsForDefinition();
  const uint32_t code = definition->Load(GetDisplay(), GetMaterialManager(), this,
                                         Kiv::String(path), kDefaultColour);
  return EndLoad(std::move(definition), code);
}
