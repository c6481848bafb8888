// Kiv::Transformation: a rotation (3 x 3, row-major, for row vectors) and a
// translation, the form bone transforms are chained in. A point p becomes
// p * rotation + position. MultiplyTransform(parent, rotation, position)
// is the transform of a child placed by (rotation, position) in `parent`:
// the child's own rotation and translation first, then the parent's.
//
// MultiplyMatrices(a, b) is the 4 x 4 product a * b (with row vectors, a
// acts first). RotationTranslation(q, p) is R(q) * T(p): the rotation of q
// in the upper 3 x 3 block and p as the fourth row. Plain values; nothing
// here fails.
#pragma once

#include <array>

#include "kiv/basics/Matrix4.h"
#include "kiv/basics/Quaternion.h"

namespace Kiv {

struct Transformation {
  Matrix3 rotation{1, 0, 0, 0, 1, 0, 0, 0, 1};
  std::array<float, 3> position{0.0f, 0.0f, 0.0f};

  static Transformation MultiplyTransform(const Transformation& parent, const Matrix3& rotation,
                                          const std::array<float, 3>& position);
  std::array<float, 3> Transform(const std::array<float, 3>& point) const {
    const Matrix3& r = rotation;
    return {point[0] * r[0] + point[1] * r[3] + point[2] * r[6] + position[0],
            point[0] * r[1] + point[1] * r[4] + point[2] * r[7] + position[1],
            point[0] * r[2] + point[1] * r[5] + point[2] * r[8] + position[2]};
  }
};

Matrix4 MultiplyMatrices(const Matrix4& a, const Matrix4& b);
Matrix4 RotationTranslation(const Quaternion& q, const std::array<float, 3>& p);

}  // namespace Kiv
