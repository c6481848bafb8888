// The render globals of the checks (see tetlib/DataManager.h and
// tetlib/TETLib.h): the check scene, its light and fog, the alpha-blend
// caches, the dummy materials and the registered vertex types.
#include <array>
#include <string>

#include "foundation/base/LogMessage.h"
#include "kiv/RenderKernel.h"
#include "kiv/display/Display.h"
#include "kiv/display/Material.h"
#include "kiv/display/MaterialManager.h"
#include "kiv/display/RenderingCache.h"
#include "kiv/display/StandardChunkHint.h"
#include "kiv/scene/Camera.h"
#include "kiv/scene/ParallelLight.h"
#include "kiv/scene/Particle.h"
#include "render/materials/AlphaBlendCacheUnsorted.h"
#include "render/materials/AlphaBlendCaches.h"
#include "render/materials/VandruAlphaBlendCache.h"
#include "tetlib/DataManager.h"
#include "tetlib/TETLib.h"

namespace TETLib {
namespace {

constexpr std::array<const char*, 14> kDummyMaterials = {
    "m.tbumptex",        "m.tbumpcoltex",    "m.tbumpglosscol", "m.tbumpenv",   "m.tgroundonetex",
    "m.tgroundonetexvs", "m.tonetexnoalpha", "m.tbumpgloss",    "m.tglossrust", "m.notex",
    "m.onetex",          "m.nofogtex",       "m.gloss",         "m.reflect"};
// The materials that take the shared environment texture, and those whose
// vertex types are registered, in that order.
constexpr std::array<size_t, 2> kEnvironmentMaterials = {12, 13};
constexpr std::array<size_t, 4> kVertexTypeMaterials = {9, 10, 12, 13};
constexpr uint32_t kEnvironmentSlot = 9;

// Light and fog of the check scene.
constexpr float kLightRange = 100000.0f;
constexpr uint32_t kLightType = Kiv::DisplayLight::kParallel;
constexpr uint8_t kCheckLightFlag = 2;
constexpr float kFogDensity = 1e-18f;
constexpr uint32_t kFogMode = 3;

std::array<Kiv::Ref<Kiv::Material>, kDummyMaterials.size()> gDummyMaterials;
Kiv::VandruAlphaBlendCache* gSortedCache = nullptr;
Kiv::AlphaBlendCacheUnsorted* gUnsortedCache = nullptr;
Kiv::UnsortedAlphaBlendCache* gEngineUnsortedCache = nullptr;
std::array<uint32_t, kVertexTypeMaterials.size()> gVertexTypes{};
size_t gVertexTypeCount = 0;
bool gRegistered = false;
Kiv::RenderKernel* gRenderer = nullptr;

// The three caches, registered with the renderer's cache manager; one
// reference each is the globals'. Nothing without a renderer; a manager
// that already holds the program's two keeps its own (none are made).
void CreateCaches(Kiv::RenderKernel* renderer) {
  if (renderer == nullptr) return;
  Kiv::CreateAlphaBlendCaches(renderer, &gSortedCache, &gUnsortedCache);
  auto* engineUnsorted = new Kiv::UnsortedAlphaBlendCache(1);
  engineUnsorted->AddReference();
  renderer->GetRenderingCacheManager()->AddCache(engineUnsorted);
  gEngineUnsortedCache = engineUnsorted;
}

// Skinned, one texture set, a palette of 4 and at most 24 bones.
Kiv::StandardChunkHint VertexTypeHint() {
  Kiv::StandardChunkHint hint(2, 2);
  hint.flags = Kiv::StandardChunkHint::kSkinned;
  hint.textureSets = 1;
  hint.paletteGranularity = 4;
  hint.maxBones = 24;
  return hint;
}

}  // namespace

bool DataManager::InitRenderGlobals(const RenderContext& context) {
  if (renderer_ != nullptr && renderer_ != context.renderer && checkScene_)
    renderer_->GetSceneGraph()->UnlinkScene(checkScene_.get());
  renderer_ = context.renderer;
  if (!checkScene_) {
    checkScene_ = std::make_unique<Kiv::Particle>();
    checkScene_->SetName(Kiv::PString("tetlib-check-scene"));
  }
  if (renderer_ != nullptr) renderer_->GetSceneGraph()->AddScene(checkScene_.get());
  if (context.camera != nullptr && !checkLight_) {
    camera_ = context.camera;
    camera_->SetScene(checkScene_.get());
    checkLight_ = std::make_unique<Kiv::ParallelLight>(
        std::array<float, 3>{0.0f, 0.0f, 0.0f}, camera_->GetOrientation(), kLightRange,
        Kiv::Color{0.0f, 0.0f, 0.0f, 1.0f}, kLightType);
    checkLight_->SetFlags(checkLight_->GetFlags() | kCheckLightFlag);
    Kiv::DisplayLight& light = checkLight_->GetDisplayLight();
    light.SetAmbient({0.1f, 0.1f, 0.1f, 1.0f});
    light.SetDiffuse({0.7f, 0.7f, 0.7f, 1.0f});
    light.SetSpecular({0.6f, 0.6f, 0.6f, 1.0f});
    if (Kiv::Display* display = renderer_ != nullptr ? renderer_->GetDisplay() : nullptr) {
      display->SetFogDensity(kFogDensity);
      display->SetFogMode(kFogMode);
    }
    checkScene_->AddChild(checkLight_.get());
    checkLights_ = {&checkLight_->GetDisplayLight()};
  }
  gRenderer = renderer_;
  return true;
}

void DataManager::ReleaseCheckScene() {
  if (camera_ != nullptr && camera_->GetScene() == checkScene_.get()) camera_->SetScene(nullptr);
  camera_ = nullptr;
  if (checkScene_ && checkLight_) checkScene_->RemoveChild(checkLight_.get());
  checkLights_.clear();
  checkLight_.reset();
  checkScene_.reset();
  renderer_ = nullptr;
  gRenderer = nullptr;
}

bool DataManager::RegisterVandruBumpVertexType() {
  if (gRegistered) return true;
  CreateCaches(gRenderer);
  gVertexTypes.fill(0);
  gVertexTypeCount = 0;
  gRegistered = true;

  Kiv::MaterialManager* materials =
      gRenderer != nullptr ? gRenderer->GetMaterialManager() : nullptr;
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

  Kiv::MaterialTexture* environment =
      materials != nullptr ? materials->GetSharedTexture(0) : nullptr;
  if (environment == nullptr) {
    LogMessage("DataManager::RegisterVandruBumpVertexType> SharedTextureCollection failed");
  } else {
    for (size_t index : kEnvironmentMaterials) {
      if (gDummyMaterials[index])
        gDummyMaterials[index]->SetTexture(kEnvironmentSlot, environment, 1.0f);
    }
  }

  const Kiv::StandardChunkHint hint = VertexTypeHint();
  for (size_t index : kVertexTypeMaterials) {
    if (!gDummyMaterials[index]) continue;
    gVertexTypes[gVertexTypeCount++] = gDummyMaterials[index]->QueryVertexType(3, 1, 3, 0, 0, hint);
  }
  return true;
}

size_t DummyMaterialCount() {
  size_t count = 0;
  for (const auto& material : gDummyMaterials) count += material ? 1 : 0;
  return count;
}

Kiv::Material* FindDummyMaterial(const char* typeName) {
  for (size_t i = 0; i < kDummyMaterials.size(); ++i) {
    if (std::string(kDummyMaterials[i]) == typeName) return gDummyMaterials[i].get();
  }
  return nullptr;
}

std::vector<uint32_t> RegisteredVertexTypes() {
  return {gVertexTypes.begin(), gVertexTypes.begin() + static_cast<long>(gVertexTypeCount)};
}

Kiv::RenderKernel* GetRendererRoot() {
  return gRenderer;
}

void ReleaseRenderGlobals() {
  for (auto& material : gDummyMaterials) material = Kiv::Ref<Kiv::Material>();
  Kiv::ReleaseRef(gSortedCache);
  gSortedCache = nullptr;
  Kiv::ReleaseRef(gUnsortedCache);
  gUnsortedCache = nullptr;
  Kiv::ReleaseRef(gEngineUnsortedCache);
  gEngineUnsortedCache = nullptr;
  gVertexTypes.fill(0);
  gVertexTypeCount = 0;
  gRegistered = false;
}

}  // namespace TETLib
