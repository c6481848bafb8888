#include "render/materials/MaterialMath.h"

#include <gtest/gtest.h>

namespace {

// Row vectors: a point goes through the first matrix, then the second; a
// transform times its inverse is the identity; the in-place form may
// multiply a matrix by itself.
TEST(MaterialMath, ProductsFollowRowVectorOrder) {
  Kiv::Matrix4 scale;
  scale.m[0] = 2;
  const Kiv::Matrix4 move = Kiv::Matrix4::Translation(1, 2, 3);
  const auto scaledThenMoved = Kiv::AffineMatrixProduct(scale, move);
  EXPECT_EQ(Kiv::TransformPoint(scaledThenMoved, {1, 1, 1}), (std::array<float, 3>{3, 3, 4}));
  Kiv::Matrix4 inverse;
  ASSERT_TRUE(Kiv::Invert(scaledThenMoved, &inverse));
  EXPECT_EQ(Kiv::AffineMatrixProduct(scaledThenMoved, inverse), Kiv::Matrix4());
  Kiv::Matrix4 twice = move;
  Kiv::AffineMatrixProductInPlace(twice, twice);
  EXPECT_EQ(twice, Kiv::Matrix4::Translation(2, 4, 6));
  EXPECT_FALSE(Kiv::Invert(Kiv::Matrix4{{}}, &inverse));

  float columns[16];
  for (int i = 0; i < 16; ++i) columns[i] = float(i);
  const auto built = Kiv::MatrixFromColumns(columns);
  EXPECT_EQ(built.m[1], 4.0f);
  EXPECT_EQ(built.m[12], 3.0f);
}

}  // namespace
