// The render globals of the checks: the check scene and the dummy
// materials (see tetlib/DataManager.h and tetlib/TETLib.h).
//
// The stand-in engine has no camera object, so no light, fog or display
// state is set; the dummy materials are requested from the run's render
// kernel (Kiv::GetRenderKernel) by their decorated names, and each that
// cannot be made is logged. The run's alpha-blend caches are the ones
// start-up made (InitEngine); no second set is added here. The stand-in has
// no shared texture collection and no vertex-type query: the environment
// texture and the vertex-type table are left out (nothing reads them).
#include <array>

#include "foundation/base/LogMessage.h"
#include "kiv/RenderKernel.h"
#include "kiv/display/Material.h"
#include "kiv/display/MaterialManager.h"
#include "kiv/scene/Particle.h"
#include "tetlib/DataManager.h"
#include "tetlib/TETLib.h"

namespace TETLib {
namespace {

constexpr std::array<const char*, 14> kDummyMaterials = {
    "m.tbumptex",        "m.tbumpcoltex",    "m.tbumpglosscol", "m.tbumpenv",   "m.tgroundonetex",
    "m.tgroundonetexvs", "m.tonetexnoalpha", "m.tbumpgloss",    "m.tglossrust", "m.notex",
    "m.onetex",          "m.nofogtex",       "m.gloss",         "m.reflect"};

std::array<Kiv::Ref<Kiv::Material>, kDummyMaterials.size()> gDummyMaterials;
bool gRegistered = false;

}  // namespace

bool DataManager::InitRenderGlobals(EngineObjects* /*engine*/) {
  if (!checkScene_) {
    checkScene_ = std::make_unique<Kiv::Particle>();
    checkScene_->SetName(Kiv::PString("tetlib-check-scene"));
  }
  return true;
}

bool DataManager::RegisterVandruBumpVertexType() {
  if (gRegistered) return true;
  gRegistered = true;
  Kiv::RenderKernel* kernel = Kiv::GetRenderKernel();
  Kiv::MaterialManager* materials = kernel != nullptr ? kernel->GetMaterialManager() : nullptr;
  for (size_t i = 0; i < kDummyMaterials.size(); ++i) {
    const Kiv::PString name(std::string("VandruDummyLoad.") + kDummyMaterials[i]);
    Kiv::Material* made = materials != nullptr ? materials->GetMaterial(name, nullptr) : nullptr;
    if (made == nullptr) {
      LogMessage("DataManager::RegisterVandruBumpVertexType> Unable to load '%s'",
                 kDummyMaterials[i]);
      continue;
    }
    gDummyMaterials[i] = Kiv::Ref<Kiv::Material>(made);
  }
  return true;
}

size_t DummyMaterialCount() {
  size_t count = 0;
  for (const auto& material : gDummyMaterials) count += material ? 1 : 0;
  return count;
}

void ReleaseRenderGlobals() {
  for (auto& material : gDummyMaterials) material = Kiv::Ref<Kiv::Material>();
  gRegistered = false;
}

}  // namespace TETLib
