// Kiv::DisplayLight: one light as the materials read it. Types: 0 ambient,
// 2 spot, 3 parallel (0 and 3 add ambient light). Colours are r, g, b, a;
// the sum of the three diffuse components is the light's brightness; the
// specular colour is kept for displays that light on their own.
// Direction and position are in world space. A plain value; lists of
// lights are lists of pointers that the caller keeps alive while drawing.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "kiv/display/DisplayMaterial.h"

namespace Kiv {

struct DisplayLight {
  static constexpr uint32_t kAmbient = 0;
  static constexpr uint32_t kSpot = 2;
  static constexpr uint32_t kParallel = 3;

  uint32_t type = kAmbient;
  Color ambient{0, 0, 0, 1};
  Color diffuse{0, 0, 0, 1};
  std::array<float, 3> direction{0, 0, -1};
  std::array<float, 3> position{0, 0, 0};
  float spotAngle = 0.0f;  // radians
  float radius = 1.0f;
  Color specular{0, 0, 0, 1};

  void SetAmbient(const Color& colour) { ambient = colour; }
  void SetDiffuse(const Color& colour) { diffuse = colour; }
  void SetSpecular(const Color& colour) { specular = colour; }
};

using DisplayLightList = std::vector<const DisplayLight*>;

}  // namespace Kiv
