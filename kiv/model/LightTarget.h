// Kiv::LightTarget: an object of the scene that the scene's lights light.
//
// The scene's lights are a list the engine keeps (SetSceneLights; not
// owned, null for none); a target gathers them into its own list when it
// calculates its lighting. CalculateLighting(force) recalculates when the
// target is marked for an update (SetUpdateLighting(true), as the engine
// marks it when lights change; a new target is marked) or when forced,
// then clears the mark; it answers whether it recalculated. GetLights is
// the list of the last calculation (what draws are lit with). The stand-in
// gathers every scene light. Not thread-safe: the rendering thread's.
#pragma once

#include <cstdint>

#include "kiv/display/DisplayLight.h"

namespace Kiv {

class LightTarget {
 public:
  LightTarget() = default;
  virtual ~LightTarget() = default;
  LightTarget(const LightTarget&) = default;
  LightTarget& operator=(const LightTarget&) = default;

  void SetSceneLights(const DisplayLightList* lights) { sceneLights_ = lights; }
  virtual void SetUpdateLighting(bool update) { updateLighting_ = update; }
  bool GetUpdateLighting() const { return updateLighting_; }
  virtual bool CalculateLighting(bool force) {
    if (!updateLighting_ && !force) return false;
    GatherLights();
    updateLighting_ = false;
    return true;
  }
  const DisplayLightList& GetLights() const { return lights_; }
  uint32_t GetCalculationCount() const { return calculations_; }

 protected:
  void GatherLights() {
    lights_.clear();
    if (sceneLights_ != nullptr) lights_ = *sceneLights_;
    ++calculations_;
  }
  void ClearUpdateLighting() { updateLighting_ = false; }

 private:
  const DisplayLightList* sceneLights_ = nullptr;
  DisplayLightList lights_;
  bool updateLighting_ = true;
  uint32_t calculations_ = 0;
};

}  // namespace Kiv
