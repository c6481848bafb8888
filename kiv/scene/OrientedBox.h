// Kiv::OrientedBox: a box with its own axes around a set of points.
//
// Fit takes the points' mean as a first centre and the eigenvectors of
// their covariance as axes (one pass for the sums, one for the extents, so
// it is linear in the points), then spans the box over the points'
// projections on those axes; every point lies in the box. No points, or
// points that are not finite, give the zeroed box. CalcCorners lists the
// eight corners. Contains answers whether a point lies inside within a
// tolerance. A plain value type; nothing here fails. Fit's two passes run
// four doubles wide on processors with AVX (the sums with AVX2), with the
// same results to the bit as the plain loops.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace Kiv {

struct PointSums;

class OrientedBox {
 public:
  using Vector = std::array<float, 3>;

  // `count` points of three floats, `stride` floats apart.
  void Fit(const float* points, size_t count, size_t stride = 3);
  // The same, also widening the axis-aligned bounds [*low, *high] over the
  // points in point order, as std::max and std::min would one point after
  // another (a NaN coordinate leaves a bound as it is; when zeros of both
  // signs meet, a bound keeps the first), in the pass that sums them. Both
  // null, or both given.
  void Fit(const float* points, size_t count, size_t stride, Vector* low, Vector* high);
  // The same from sums already taken over exactly these points, in order
  // (PointSums.h); the points are read once more for the extents.
  void FitSummed(const float* points, size_t count, size_t stride, const PointSums& sums);
  std::array<Vector, 8> CalcCorners() const;
  bool Contains(const Vector& point, float tolerance = 1e-4f) const;

  Vector center{0.0f, 0.0f, 0.0f};
  std::array<Vector, 3> axes{Vector{0.0f, 0.0f, 0.0f}, Vector{0.0f, 0.0f, 0.0f},
                             Vector{0.0f, 0.0f, 0.0f}};
  Vector extents{0.0f, 0.0f, 0.0f};  // Half lengths along the axes.
};

}  // namespace Kiv
