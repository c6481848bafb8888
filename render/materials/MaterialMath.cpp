#include "render/materials/MaterialMath.h"

#include <algorithm>

#include "kiv/basics/Transformation.h"

namespace Kiv {

Matrix4 AffineMatrixProduct(const Matrix4& a, const Matrix4& b) {
  return MultiplyMatrices(a, b);
}

void AffineMatrixProductInPlace(Matrix4& inOut, const Matrix4& b) {
  const Matrix4 copy = inOut;
  inOut = AffineMatrixProduct(copy, b);
}

Matrix4 MatrixFromColumns(const float values[16]) {
  Matrix4 out;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) out.m[r * 4 + c] = values[c * 4 + r];
  }
  return out;
}

Matrix4 TransposedRotation(const Matrix4& view) {
  Matrix4 out;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) out.m[r * 4 + c] = view.m[c * 4 + r];
  }
  return out;
}

Color ColorProduct(const Color& a, const Color& b) {
  return Color{a.r * b.r, a.g * b.g, a.b * b.b, a.a * b.a};
}

Color ColorClamp(const Color& c) {
  auto clamp = [](float v) { return std::clamp(v, 0.0f, 1.0f); };
  return Color{clamp(c.r), clamp(c.g), clamp(c.b), clamp(c.a)};
}

Color ColorScale(const Color& c, float s) {
  return Color{c.r * s, c.g * s, c.b * s, c.a * s};
}

}  // namespace Kiv
