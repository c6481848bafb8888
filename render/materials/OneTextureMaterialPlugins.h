// The plug-ins of the one-texture family: "tonetexnoalpha", "tglossrust"
// and "nofogtex" (engine base Kiv::OneTextureMaterialPlugin).
//
// GlossRust is supported on a display answering capability 1, else the
// undecorated one-texture type; the other two follow the engine base.
//
// CreatePluginResources runs the engine base's first, then:
// - OneTexNoAlpha: with a kernel that has a display, makes its one stage-0
//   state (from presets equal to GlossRustColourArgs1 and
//   GlossRustAlphaArgs1) once; a refused state leaves the handle 0 and the
//   plug-in usable (the material then draws without it).
// - GlossRust: without a kernel or display false; with its states made
//   true; else makes four states (stage 0, 1, 0, 1 from GlossRustColourArgs1
//   .. 4 and GlossRustAlphaArgs1 .. 4). The first refusal gives every state
//   made so far back, leaves the count 0 and answers false.
// - NoFog: the engine base's only.
// CreateInstance makes the plug-in's material (VandruOneTexNoAlphaMaterial
// with the state, VandruGlossRustMaterial with the four states or null when
// they cannot be made, VandruNoFogMaterial with the engine base's state)
// with the engine base's caches.
// States go back to the display that made them when the plug-in dies; that
// display must outlive it. Rendering thread only.
#pragma once

#include <array>
#include <cstdint>

#include "kiv/display/MaterialPlugin.h"

namespace Kiv {

class VandruOneTexNoAlphaMaterialPlugin : public OneTextureMaterialPlugin {
 public:
  VandruOneTexNoAlphaMaterialPlugin();
  ~VandruOneTexNoAlphaMaterialPlugin() override;

  bool CreatePluginResources(RenderKernel* kernel) override;
  Material* CreateInstance(MaterialManager* manager, RenderKernel* kernel) override;
  uint32_t GetState() const { return state_; }

 private:
  uint32_t state_ = 0;
  Display* display_ = nullptr;
};

class VandruGlossRustMaterialPlugin : public OneTextureMaterialPlugin {
 public:
  VandruGlossRustMaterialPlugin();
  ~VandruGlossRustMaterialPlugin() override;

  bool IsSupported(Display* display, PString& fallback) override;
  bool CreatePluginResources(RenderKernel* kernel) override;
  Material* CreateInstance(MaterialManager* manager, RenderKernel* kernel) override;
  uint32_t GetStateCount() const { return stateCount_; }
  const std::array<uint32_t, 4>& GetStates() const { return states_; }

 private:
  void GiveStatesBack();

  uint32_t stateCount_ = 0;
  std::array<uint32_t, 4> states_{};
  Display* display_ = nullptr;
};

class VandruNoFogMaterialPlugin : public OneTextureMaterialPlugin {
 public:
  VandruNoFogMaterialPlugin();
  Material* CreateInstance(MaterialManager* manager, RenderKernel* kernel) override;
};

}  // namespace Kiv
