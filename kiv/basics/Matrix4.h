// Kiv::Matrix4: a 4 x 4 float matrix, row-major, for row vectors, with the
// translation in the fourth row (elements 12, 13, 14). A plain value.
//
// Invert answers false, leaving `out` alone, when the matrix is singular or
// not finite. TransformPoint applies the matrix to a point (w = 1).
#pragma once

#include <array>

namespace Kiv {

struct Matrix4 {
  std::array<float, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

  static Matrix4 Translation(float x, float y, float z) {
    Matrix4 t;
    t.m[12] = x;
    t.m[13] = y;
    t.m[14] = z;
    return t;
  }
  bool operator==(const Matrix4&) const = default;
};

bool Invert(const Matrix4& in, Matrix4* out);
std::array<float, 3> TransformPoint(const Matrix4& matrix, const std::array<float, 3>& point);

}  // namespace Kiv
