#include "kiv/scene/ParallelLight.h"

namespace Kiv {

ParallelLight::ParallelLight(const std::array<float, 3>& position, const Quaternion& orientation,
                             float range, const Color& colour, uint32_t lightType)
    : position_(position), orientation_(orientation), range_(range), colour_(colour) {
  light_.type = lightType;
  light_.position = position;
  light_.radius = range;
  // (0, 0, -1) as a row vector times the rotation: minus its third row.
  const Matrix3 rotation = orientation.ToMatrix();
  light_.direction = {-rotation[6], -rotation[7], -rotation[8]};
}

}  // namespace Kiv
