// IntersectRayTriangle: does a ray meet one triangle, and is the hit nearer
// than the best so far?
//
// Moeller-Trumbore with an epsilon of 1e-6 on the determinant. One-sided
// (twoSided 0): only triangles whose corners run counter-clockwise seen
// from the ray's side are met (a determinant of at least 1e-6); two-sided:
// any determinant of at least 1e-6 in size. The barycentric bounds are
// inclusive, so edges and corners count. The distance is in units of the
// direction's length and is not tested for sign: a triangle behind the
// origin is met with a negative distance, and a ray that starts on the
// triangle meets it at 0.
//
// Answers true for every hit; `*best` is lowered to the hit's distance only
// when the hit is strictly nearer. A ray parallel to the triangle, a
// degenerate triangle and any value that is not a number give false
// without dividing by the determinant. Pure; thread-safe.
#pragma once

#include <array>
#include <cstdint>

using Vector3 = std::array<float, 3>;

bool IntersectRayTriangle(const Vector3& corner0, const Vector3& corner1, const Vector3& corner2,
                          uint8_t twoSided, const Vector3& origin, const Vector3& direction,
                          float* best);
