#include "render/materials/OneTextureMaterialPlugins.h"

#include "kiv/RenderKernel.h"
#include "render/materials/MaterialPluginNames.h"
#include "render/materials/TextureArgsPresets.h"
#include "render/materials/VandruGlossRustMaterial.h"
#include "render/materials/VandruNoFogMaterial.h"
#include "render/materials/VandruOneTexNoAlphaMaterial.h"

namespace Kiv {

namespace {

constexpr uint32_t kCapabilityReflection = 1;

// The presets of the no-alpha state, made on first use.
const TextureArgs& OneTexNoAlphaColourArgs() {
  static const TextureArgs args = GlossRustColourArgs1;
  return args;
}
const TextureArgs& OneTexNoAlphaAlphaArgs() {
  static const TextureArgs args = GlossRustAlphaArgs1;
  return args;
}

}  // namespace

VandruOneTexNoAlphaMaterialPlugin::VandruOneTexNoAlphaMaterialPlugin()
    : OneTextureMaterialPlugin(PString(kOneTexNoAlphaType.type), PString(kOneTexNoAlphaType.uid)) {}

VandruOneTexNoAlphaMaterialPlugin::~VandruOneTexNoAlphaMaterialPlugin() {
  if (display_ != nullptr && state_ != 0) display_->ReleaseTextureStageState(state_);
}

bool VandruOneTexNoAlphaMaterialPlugin::CreatePluginResources(RenderKernel* kernel) {
  const bool base = OneTextureMaterialPlugin::CreatePluginResources(kernel);
  if (kernel == nullptr || kernel->GetDisplay() == nullptr || state_ != 0) return base;
  display_ = kernel->GetDisplay();
  state_ = display_->CreateTextureStageState(OneTexNoAlphaColourArgs(), OneTexNoAlphaAlphaArgs());
  return base;
}

Material* VandruOneTexNoAlphaMaterialPlugin::CreateInstance(MaterialManager* manager,
                                                           RenderKernel* kernel) {
  CreatePluginResources(kernel);
  return new VandruOneTexNoAlphaMaterial(manager, GetMaterialChunkCache(), GetAlphaBlendCache(),
                                         state_);
}

VandruGlossRustMaterialPlugin::VandruGlossRustMaterialPlugin()
    : OneTextureMaterialPlugin(PString(kGlossRustType.type), PString(kGlossRustType.uid)) {}

VandruGlossRustMaterialPlugin::~VandruGlossRustMaterialPlugin() {
  GiveStatesBack();
}

bool VandruGlossRustMaterialPlugin::IsSupported(Display* display, PString& fallback) {
  if (display != nullptr && display->GetCapability(kCapabilityReflection)) return true;
  fallback = PString(UNDECORATED_TYPE);
  return false;
}

void VandruGlossRustMaterialPlugin::GiveStatesBack() {
  for (uint32_t i = 0; i < stateCount_ && display_ != nullptr; ++i)
    display_->ReleaseTextureStageState(states_[i]);
  states_ = {};
  stateCount_ = 0;
}

bool VandruGlossRustMaterialPlugin::CreatePluginResources(RenderKernel* kernel) {
  OneTextureMaterialPlugin::CreatePluginResources(kernel);
  if (kernel == nullptr || kernel->GetDisplay() == nullptr) return false;
  if (stateCount_ != 0) return true;
  display_ = kernel->GetDisplay();
  const TextureArgs* presets[4][2] = {{&GlossRustColourArgs1, &GlossRustAlphaArgs1},
                                      {&GlossRustColourArgs2, &GlossRustAlphaArgs2},
                                      {&GlossRustColourArgs3, &GlossRustAlphaArgs3},
                                      {&GlossRustColourArgs4, &GlossRustAlphaArgs4}};
  for (const auto& [colour, alpha] : presets) {
    const uint32_t state = display_->CreateTextureStageState(*colour, *alpha);
    if (state == 0) {
      GiveStatesBack();
      return false;
    }
    states_[stateCount_++] = state;
  }
  return true;
}

Material* VandruGlossRustMaterialPlugin::CreateInstance(MaterialManager* manager,
                                                       RenderKernel* kernel) {
  if (!CreatePluginResources(kernel)) return nullptr;
  return new VandruGlossRustMaterial(manager, GetMaterialChunkCache(), GetAlphaBlendCache(),
                                     stateCount_, states_);
}

VandruNoFogMaterialPlugin::VandruNoFogMaterialPlugin()
    : OneTextureMaterialPlugin(PString(kNoFogType.type), PString(kNoFogType.uid)) {}

Material* VandruNoFogMaterialPlugin::CreateInstance(MaterialManager* manager,
                                                   RenderKernel* kernel) {
  CreatePluginResources(kernel);
  auto* material =
      new VandruNoFogMaterial(manager, GetMaterialChunkCache(), nullptr, GetAlphaBlendCache());
  material->SetStageState(GetStageState());
  return material;
}

}  // namespace Kiv
