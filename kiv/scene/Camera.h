// Kiv::Camera: where the scene is seen from: a position in the world, its
// orientation, the view transform (world to camera) and the scene it looks
// at (the root particle, not owned; null when none). A plain value.
#pragma once

#include <array>

#include "kiv/basics/Matrix4.h"
#include "kiv/basics/Quaternion.h"

namespace Kiv {

class Particle;

struct Camera {
  std::array<float, 3> position{0.0f, 0.0f, 0.0f};
  Quaternion orientation;
  Matrix4 viewTransform;
  Particle* scene = nullptr;

  const Matrix4& GetViewTransform() const { return viewTransform; }
  const Quaternion& GetOrientation() const { return orientation; }
  void SetScene(Particle* root) { scene = root; }
  Particle* GetScene() const { return scene; }
};

}  // namespace Kiv
