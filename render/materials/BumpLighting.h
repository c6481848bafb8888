// The light constants of the bump materials' two passes.
//
// FindBrightestLight answers the light of a type whose three diffuse
// components sum highest, the first of equals; null for a null or empty
// list or one without a light of that type.
//
// The parallel pass: the ambient sum starts at the display's global ambient
// and adds the ambient colour of every ambient (0) and parallel (3) light,
// clamped to 0..1 (LightAmb). The brightest parallel light gives the
// light direction rotated into object space and normalised (local 7), the
// camera position in object space (local 13), LightDiff = light diffuse x
// material diffuse with the material's diffuse alpha, and the specular
// register = light diffuse x material specular with alpha 0.75. Without a
// parallel light: zero direction and viewer, LightDiff (0, 0, 0, 1) and
// specular (0, 0, 0, 1).
//
// The spot pass, for the brightest spot light (2): direction and camera as
// above, light position in object space (local 5), (cos of the spot angle,
// 1 / radius, 0, 0) (local 6; a radius of 0 or less counts as no reach),
// LightDiff as above, LightAmb (0, 0, 0, 1), specular as above.
//
// `object` places the chunk in the world, `view` is the camera's view
// transform (world to camera). A transform that cannot be inverted is taken
// as the identity. Plain functions; no state.
#pragma once

#include <cstdint>

#include "kiv/basics/Matrix4.h"
#include "kiv/display/DisplayLight.h"
#include "kiv/display/DisplayMaterial.h"
#include "kiv/display/Programs.h"

namespace Kiv {

const DisplayLight* FindBrightestLight(const DisplayLightList* lights, uint32_t type);

struct BumpLightConstants {
  const DisplayLight* light = nullptr;
  Vector4 lightDir{};        // local 7
  Vector4 viewPos{};         // local 13
  Vector4 lightPos{};        // local 5 (spot)
  Vector4 invLightRadius{};  // local 6 (spot)
  Vector4 lightDiff{0, 0, 0, 1};
  Vector4 lightAmb{0, 0, 0, 1};
  Vector4 specular{0, 0, 0, 1};
};

BumpLightConstants ParallelLightConstants(const DisplayLightList* lights,
                                          const Color& globalAmbient,
                                          const DisplayMaterial& material, const Matrix4& object,
                                          const Matrix4& view);
// `light` is the spot light (FindBrightestLight with type 2), not null.
BumpLightConstants SpotLightConstants(const DisplayLight& light, const DisplayMaterial& material,
                                      const Matrix4& object, const Matrix4& view);

}  // namespace Kiv
