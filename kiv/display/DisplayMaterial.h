// Kiv::DisplayMaterial: the lighting colours of a material as the display
// takes them. Colours are r, g, b, a floats; a new display material is
// white diffuse and ambient, black specular and emissive (alpha 1 each)
// with a specular power of 0. A plain value type.
#pragma once

namespace Kiv {

struct Color {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
  float a = 1.0f;

  bool operator==(const Color&) const = default;
};

struct DisplayMaterial {
  Color diffuse{1.0f, 1.0f, 1.0f, 1.0f};
  Color ambient{1.0f, 1.0f, 1.0f, 1.0f};
  Color specular{0.0f, 0.0f, 0.0f, 1.0f};
  Color emissive{0.0f, 0.0f, 0.0f, 1.0f};
  float power = 0.0f;

  bool operator==(const DisplayMaterial&) const = default;
};

}  // namespace Kiv
