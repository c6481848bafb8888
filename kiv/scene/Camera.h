// Kiv::Camera: where the scene is seen from: a position in the world and
// the view transform (world to camera). A plain value.
#pragma once

#include <array>

#include "kiv/basics/Matrix4.h"

namespace Kiv {

struct Camera {
  std::array<float, 3> position{0.0f, 0.0f, 0.0f};
  Matrix4 viewTransform;

  const Matrix4& GetViewTransform() const { return viewTransform; }
};

}  // namespace Kiv
