#include "kiv/basics/Matrix4.h"

#include <cmath>

namespace Kiv {

bool Invert(const Matrix4& in, Matrix4* out) {
  // Gauss-Jordan elimination with partial pivoting, in double precision.
  double a[4][8];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      a[r][c] = in.m[r * 4 + c];
      a[r][c + 4] = r == c ? 1.0 : 0.0;
    }
  }
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r) {
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    }
    if (!(std::fabs(a[pivot][col]) > 1e-12)) return false;  // Also NaN.
    if (pivot != col) {
      for (int c = 0; c < 8; ++c) std::swap(a[col][c], a[pivot][c]);
    }
    const double scale = 1.0 / a[col][col];
    for (int c = 0; c < 8; ++c) a[col][c] *= scale;
    for (int r = 0; r < 4; ++r) {
      if (r == col || a[r][col] == 0.0) continue;
      const double factor = a[r][col];
      for (int c = 0; c < 8; ++c) a[r][c] -= factor * a[col][c];
    }
  }
  Matrix4 result;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      const double v = a[r][c + 4];
      if (!std::isfinite(v)) return false;
      result.m[r * 4 + c] = static_cast<float>(v);
    }
  }
  *out = result;
  return true;
}

std::array<float, 3> TransformPoint(const Matrix4& matrix, const std::array<float, 3>& point) {
  const auto& m = matrix.m;
  std::array<float, 3> out;
  for (int c = 0; c < 3; ++c)
    out[c] = point[0] * m[c] + point[1] * m[4 + c] + point[2] * m[8 + c] + m[12 + c];
  return out;
}

}  // namespace Kiv
