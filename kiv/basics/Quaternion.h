// Kiv::Quaternion and 3 x 3 rotation matrices.
//
// Conventions: quaternions are stored x, y, z, w; matrices are row-major and
// act on row vectors (v' = v * M), so a 4 x 4 matrix carries its
// translation in the fourth row and a 3 x 3 rotation is its upper left
// block. Set turns such a rotation matrix into a unit quaternion; ToMatrix
// gives the matrix back (Set(ToMatrix(q)) is q or -q, the same rotation).
// Plain value types; nothing here fails.
#pragma once

#include <array>

namespace Kiv {

using Matrix3 = std::array<float, 9>;

struct Quaternion {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  float w = 1.0f;

  // The rotation of a row-vector matrix (row-major, 9 floats).
  void Set(const Matrix3& m);
  Matrix3 ToMatrix() const;
  std::array<float, 4> ToArray() const { return {x, y, z, w}; }
  static Quaternion FromArray(const std::array<float, 4>& q) { return {q[0], q[1], q[2], q[3]}; }
};

}  // namespace Kiv
