// Matrix and colour helpers of the light passes and the mesh code.
// Matrices are Kiv::Matrix4 (row-major, row vectors); colours Kiv::Color.
//
// AffineMatrixProduct(a, b) is a x b (apply a, then b);
// AffineMatrixProductInPlace multiplies through a copy, so `b` may be
// `inOut` itself. MatrixFromColumns builds a matrix from 16 values given
// column by column. TransposedRotation is the rotation of a view transform,
// transposed, in an otherwise identity matrix (the translation dropped).
// The colour helpers work on all four components.
#pragma once

#include "kiv/basics/Matrix4.h"
#include "kiv/display/DisplayMaterial.h"

namespace Kiv {

Matrix4 AffineMatrixProduct(const Matrix4& a, const Matrix4& b);
void AffineMatrixProductInPlace(Matrix4& inOut, const Matrix4& b);
Matrix4 MatrixFromColumns(const float values[16]);
Matrix4 TransposedRotation(const Matrix4& view);

Color ColorProduct(const Color& a, const Color& b);
Color ColorClamp(const Color& c);
Color ColorScale(const Color& c, float s);

}  // namespace Kiv
