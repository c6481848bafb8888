// Kiv::ParallelLight: a light of the scene that shines in one direction
// everywhere (a sun). It is a particle (so it hangs in a scene tree) with a
// position, an orientation, a range, a colour and a light type, and the
// display light that materials are lit with (GetDisplayLight), whose type
// is the light type and whose direction is the orientation's forward axis
// (0, 0, -1 turned by it). Not thread-safe: the scene belongs to the
// rendering thread.
#pragma once

#include <array>
#include <cstdint>

#include "kiv/basics/Quaternion.h"
#include "kiv/display/DisplayLight.h"
#include "kiv/scene/Particle.h"

namespace Kiv {

class ParallelLight : public Particle {
 public:
  ParallelLight(const std::array<float, 3>& position, const Quaternion& orientation, float range,
                const Color& colour, uint32_t lightType);

  const std::array<float, 3>& GetPosition() const { return position_; }
  const Quaternion& GetOrientation() const { return orientation_; }
  float GetRange() const { return range_; }
  const Color& GetColour() const { return colour_; }
  uint32_t GetLightType() const { return light_.type; }
  DisplayLight& GetDisplayLight() { return light_; }
  const DisplayLight& GetDisplayLight() const { return light_; }

 private:
  std::array<float, 3> position_;
  Quaternion orientation_;
  float range_;
  Color colour_;
  DisplayLight light_;
};

}  // namespace Kiv
