// Kiv::ViewPort: what a material needs of the view it draws into: the
// camera's view transform (world to camera). A plain value.
#pragma once

#include "kiv/basics/Matrix4.h"

namespace Kiv {

struct ViewPort {
  Matrix4 viewTransform;
};

}  // namespace Kiv
