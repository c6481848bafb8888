#include "kiv/basics/Transformation.h"

namespace Kiv {

Transformation Transformation::MultiplyTransform(const Transformation& parent,
                                                 const Matrix3& rotation,
                                                 const std::array<float, 3>& position) {
  Transformation out;
  const Matrix3& p = parent.rotation;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      out.rotation[r * 3 + c] =
          rotation[r * 3] * p[c] + rotation[r * 3 + 1] * p[3 + c] + rotation[r * 3 + 2] * p[6 + c];
    }
  }
  out.position = parent.Transform(position);
  return out;
}

Matrix4 MultiplyMatrices(const Matrix4& a, const Matrix4& b) {
  Matrix4 out;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += a.m[r * 4 + k] * b.m[k * 4 + c];
      out.m[r * 4 + c] = sum;
    }
  }
  return out;
}

Matrix4 RotationTranslation(const Quaternion& q, const std::array<float, 3>& p) {
  const Matrix3 r = q.ToMatrix();
  Matrix4 out;
  for (int row = 0; row < 3; ++row) {
    for (int c = 0; c < 3; ++c) out.m[row * 4 + c] = r[row * 3 + c];
    out.m[row * 4 + 3] = 0.0f;
  }
  out.m[12] = p[0];
  out.m[13] = p[1];
  out.m[14] = p[2];
  out.m[15] = 1.0f;
  return out;
}

}  // namespace Kiv
