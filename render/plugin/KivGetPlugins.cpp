#include "render/plugin/KivGetPlugins.h"

#include <new>

#include "kiv/PString.h"
#include "kiv/store/ResourceType.h"
#include "render/materials/BumpMaterialPlugins.h"
#include "render/materials/OneTextureMaterialPlugins.h"
#include "render/materials/VandruMultiPFXMaterialPlugin.h"
#include "render/meshes/VandruIndexedMeshLODResource.h"
#include "render/meshes/VandruIndexedMeshResource.h"
#include "render/meshes/VandruProgressiveMeshResource.h"
#include "render/textures/CompressAsciiResource.h"

namespace {

constexpr const char* kIndexedMeshUId = "B9E68EA1-56A3-4a6d-9D5D-C5C020F944E6";
constexpr const char* kProgressiveMeshUId = "2E8739F0-412F-48c2-9F71-912B659C58B6";
constexpr const char* kLODMeshUId = "8FCC40D7-8BDD-4d14-B528-65692F5DF710";
constexpr const char* kTextureSourceUId = "A6805E60-4C54-1278-1111-00010251467D";

// Made objects register themselves; the pointer is not needed here.
template <class T, class... Args>
void Make(Args&&... args) {
  static_cast<void>(new (std::nothrow) T(static_cast<Args&&>(args)...));
}

template <class Resource>
void MakeType(const char* name, const char* typeUId) {
  Make<Kiv::ResourceType<Resource>>(name, Kiv::PString(typeUId),
                                    Kiv::PString(kVandruPluginCategory));
}

}  // namespace

extern "C" void KivGetPlugins() {
  Make<Kiv::VandruBumpGlossMaterialPlugin>();
  Make<Kiv::VandruBumpMaterialPlugin>();
  Make<Kiv::VandruBumpEnvMaterialPlugin>();
  Make<Kiv::VandruOneTexNoAlphaMaterialPlugin>();
  Make<Kiv::VandruGlossRustMaterialPlugin>();
  Make<Kiv::VandruMultiPFXMaterialPlugin>();
  Make<Kiv::VandruNoFogMaterialPlugin>();
  MakeType<VandruIndexedMeshResource>("im", kIndexedMeshUId);
  MakeType<VandruProgressiveMeshResource>("pm", kProgressiveMeshUId);
  MakeType<VandruIndexedMeshLODResource>("lm.txt", kLODMeshUId);
  MakeType<VandruIndexedMeshLODResource>("lm", kLODMeshUId);
  MakeType<CompressAsciiResource>("convert-tex.txt", kTextureSourceUId);
}
