#include "kiv/basics/Quaternion.h"

#include <cmath>

namespace Kiv {

// With row vectors the matrix is the transpose of the column-vector
// rotation R, so R[i][j] = m[3 * j + i].
void Quaternion::Set(const Matrix3& m) {
  auto r = [&m](int i, int j) { return m[3 * j + i]; };
  const float trace = r(0, 0) + r(1, 1) + r(2, 2);
  if (trace > 0.0f) {
    const float s = std::sqrt(trace + 1.0f) * 2.0f;
    *this = {(r(2, 1) - r(1, 2)) / s, (r(0, 2) - r(2, 0)) / s, (r(1, 0) - r(0, 1)) / s, 0.25f * s};
  } else if (r(0, 0) > r(1, 1) && r(0, 0) > r(2, 2)) {
    const float s = std::sqrt(1.0f + r(0, 0) - r(1, 1) - r(2, 2)) * 2.0f;
    *this = {0.25f * s, (r(0, 1) + r(1, 0)) / s, (r(0, 2) + r(2, 0)) / s, (r(2, 1) - r(1, 2)) / s};
  } else if (r(1, 1) > r(2, 2)) {
    const float s = std::sqrt(1.0f + r(1, 1) - r(0, 0) - r(2, 2)) * 2.0f;
    *this = {(r(0, 1) + r(1, 0)) / s, 0.25f * s, (r(1, 2) + r(2, 1)) / s, (r(0, 2) - r(2, 0)) / s};
  } else {
    const float s = std::sqrt(1.0f + r(2, 2) - r(0, 0) - r(1, 1)) * 2.0f;
    *this = {(r(0, 2) + r(2, 0)) / s, (r(1, 2) + r(2, 1)) / s, 0.25f * s, (r(1, 0) - r(0, 1)) / s};
  }
  const float length = std::sqrt(x * x + y * y + z * z + w * w);
  if (!(length > 0.0f) || !std::isfinite(length)) {
    *this = Quaternion{};
    return;
  }
  x /= length;
  y /= length;
  z /= length;
  w /= length;
}

Matrix3 Quaternion::ToMatrix() const {
  const float xx = x * x, yy = y * y, zz = z * z;
  const float xy = x * y, xz = x * z, yz = y * z, xw = x * w, yw = y * w, zw = z * w;
  // Column-vector rotation, written transposed.
  return {1 - 2 * (yy + zz), 2 * (xy + zw), 2 * (xz - yw), 2 * (xy - zw),    1 - 2 * (xx + zz),
          2 * (yz + xw),     2 * (xz + yw), 2 * (yz - xw), 1 - 2 * (xx + yy)};
}

}  // namespace Kiv
