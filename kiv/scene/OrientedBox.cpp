#include "kiv/scene/OrientedBox.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "kiv/basics/ProcessorFeatures.h"
#include "kiv/scene/PointSums.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KIV_BOX_AVX 1
#include <immintrin.h>
#endif

namespace Kiv {

namespace {

using Matrix = std::array<std::array<double, 3>, 3>;

// Eigenvectors of a symmetric 3 x 3 matrix by Jacobi rotations; the
// columns of the answer are the vectors.
Matrix Eigenvectors(Matrix a) {
  Matrix v{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  for (int sweep = 0; sweep < 32; ++sweep) {
    const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
    if (off < 1e-18) break;
    for (int p = 0; p < 2; ++p) {
      for (int q = p + 1; q < 3; ++q) {
        if (std::fabs(a[p][q]) < 1e-30) continue;
        const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
        const double t =
            (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
        const double c = 1.0 / std::sqrt(t * t + 1), s = t * c;
        for (int k = 0; k < 3; ++k) {
          const double akp = a[k][p], akq = a[k][q];
          a[k][p] = c * akp - s * akq;
          a[k][q] = s * akp + c * akq;
        }
        for (int k = 0; k < 3; ++k) {
          const double apk = a[p][k], aqk = a[q][k];
          a[p][k] = c * apk - s * aqk;
          a[q][k] = s * apk + c * aqk;
        }
        for (int k = 0; k < 3; ++k) {
          const double vkp = v[k][p], vkq = v[k][q];
          v[k][p] = c * vkp - s * vkq;
          v[k][q] = s * vkp + c * vkq;
        }
      }
    }
  }
  return v;
}

// The sums of the coordinates and of their products, each added in point
// order. With SSE2 two sums share a vector; each lane rounds as the scalar
// operation would, so the sums are the same to the bit.
void SumPoints(const float* points, size_t count, size_t stride, double mean[3], double* xx,
               double* xy, double* xz, double* yy, double* yz, double* zz) {
  size_t i = 0;
#if defined(__SSE2__)
  __m128d meanXY = _mm_setzero_pd(), meanZxx = _mm_setzero_pd();
  __m128d xyXZ = _mm_setzero_pd(), yyYZ = _mm_setzero_pd(), zzZZ = _mm_setzero_pd();
  for (; i < count; ++i) {
    const float* p = points + i * stride;
    const __m128d x = _mm_set1_pd(p[0]), y = _mm_set1_pd(p[1]), z = _mm_set1_pd(p[2]);
    const __m128d yAndZ = _mm_unpacklo_pd(y, z);
    meanXY = _mm_add_pd(meanXY, _mm_unpacklo_pd(x, y));
    meanZxx = _mm_add_pd(meanZxx, _mm_unpacklo_pd(z, _mm_mul_pd(x, x)));
    xyXZ = _mm_add_pd(xyXZ, _mm_mul_pd(x, yAndZ));
    yyYZ = _mm_add_pd(yyYZ, _mm_mul_pd(y, yAndZ));
    zzZZ = _mm_add_pd(zzZZ, _mm_mul_pd(z, z));
  }
  mean[0] = _mm_cvtsd_f64(meanXY);
  mean[1] = _mm_cvtsd_f64(_mm_unpackhi_pd(meanXY, meanXY));
  mean[2] = _mm_cvtsd_f64(meanZxx);
  *xx = _mm_cvtsd_f64(_mm_unpackhi_pd(meanZxx, meanZxx));
  *xy = _mm_cvtsd_f64(xyXZ);
  *xz = _mm_cvtsd_f64(_mm_unpackhi_pd(xyXZ, xyXZ));
  *yy = _mm_cvtsd_f64(yyYZ);
  *yz = _mm_cvtsd_f64(_mm_unpackhi_pd(yyYZ, yyYZ));
  *zz = _mm_cvtsd_f64(zzZZ);
#endif
  for (; i < count; ++i) {
    const float* p = points + i * stride;
    const double x = p[0], y = p[1], z = p[2];
    mean[0] += x;
    mean[1] += y;
    mean[2] += z;
    *xx += x * x;
    *xy += x * y;
    *xz += x * z;
    *yy += y * y;
    *yz += y * z;
    *zz += z * z;
  }
}

// The least and greatest projection of the points on each axis (the
// columns of `v`). With SSE2 the first two axes share a vector: min and max
// there keep the current value when a projection is not a number, as
// std::min and std::max do.
void Project(const float* points, size_t count, size_t stride, const Matrix& v, double low[3],
             double high[3]) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128d v0 = _mm_set_pd(v[0][1], v[0][0]), v1 = _mm_set_pd(v[1][1], v[1][0]),
                v2 = _mm_set_pd(v[2][1], v[2][0]);
  __m128d low01 = _mm_set_pd(low[1], low[0]), high01 = _mm_set_pd(high[1], high[0]);
  for (; i < count; ++i) {
    const float* p = points + i * stride;
    const __m128d x = _mm_set1_pd(p[0]), y = _mm_set1_pd(p[1]), z = _mm_set1_pd(p[2]);
    const __m128d d01 =
        _mm_add_pd(_mm_add_pd(_mm_mul_pd(x, v0), _mm_mul_pd(y, v1)), _mm_mul_pd(z, v2));
    low01 = _mm_min_pd(d01, low01);
    high01 = _mm_max_pd(d01, high01);
    const double d2 = p[0] * v[0][2] + p[1] * v[1][2] + p[2] * v[2][2];
    low[2] = std::min(low[2], d2);
    high[2] = std::max(high[2], d2);
  }
  low[0] = _mm_cvtsd_f64(low01);
  low[1] = _mm_cvtsd_f64(_mm_unpackhi_pd(low01, low01));
  high[0] = _mm_cvtsd_f64(high01);
  high[1] = _mm_cvtsd_f64(_mm_unpackhi_pd(high01, high01));
#endif
  for (; i < count; ++i) {
    const float* p = points + i * stride;
    for (int k = 0; k < 3; ++k) {
      const double d = p[0] * v[0][k] + p[1] * v[1][k] + p[2] * v[2][k];
      low[k] = std::min(low[k], d);
      high[k] = std::max(high[k], d);
    }
  }
}

// Widens [low, high] over `count` points, in point order (the order
// decides which zero a bound keeps when both signs meet). With SSE2 the
// three axes share a vector; maxps and minps keep the bound when the
// comparison fails, as std::max and std::min do.
void WidenBounds(const float* points, size_t count, size_t stride, float low[3], float high[3]) {
  float hx = high[0], hy = high[1], hz = high[2], lx = low[0], ly = low[1], lz = low[2];
  size_t i = 0;
#if defined(__SSE2__)
  // Four floats are read a point, so the last point is left to the loop
  // below.
  if (count > 1 && stride >= 3) {
    __m128 highs = _mm_setr_ps(hx, hy, hz, 0.0f), lows = _mm_setr_ps(lx, ly, lz, 0.0f);
    for (; i + 1 < count; ++i) {
      const __m128 p = _mm_loadu_ps(points + i * stride);
      highs = _mm_max_ps(p, highs);
      lows = _mm_min_ps(p, lows);
    }
    alignas(16) float h[4], l[4];
    _mm_store_ps(h, highs);
    _mm_store_ps(l, lows);
    hx = h[0], hy = h[1], hz = h[2], lx = l[0], ly = l[1], lz = l[2];
  }
#endif
  for (; i < count; ++i) {
    const float* p = points + i * stride;
    hx = std::max(hx, p[0]);
    hy = std::max(hy, p[1]);
    hz = std::max(hz, p[2]);
    lx = std::min(lx, p[0]);
    ly = std::min(ly, p[1]);
    lz = std::min(lz, p[2]);
  }
  high[0] = hx, high[1] = hy, high[2] = hz;
  low[0] = lx, low[1] = ly, low[2] = lz;
}

#if defined(KIV_BOX_AVX)
// The same passes four doubles wide, for processors with AVX (chosen when
// the program runs). Each lane takes the operations of the scalar loops in
// the same order, so the results are the same to the bit.

// Coordinate `axis` of a point in every lane.
__attribute__((target("avx"))) inline __m256d Spread(const float* p, int axis) {
  return _mm256_cvtps_pd(_mm_broadcast_ss(p + axis));
}

__attribute__((target("avx"))) double Lane(__m256d v, int lane) {
  alignas(32) double lanes[4];
  _mm256_store_pd(lanes, v);
  return lanes[lane];
}

// SumPoints with AVX2, widening the bounds in the same pass (the helpers
// of PointSums.h): the lanes of the squares hold x*x, y*y, z*z and those
// of the crosses x*y, y*z, z*x (products of two floats are exact in double
// and do not depend on the order of their factors). The bounds take maxps
// and minps on the point's floats as WidenBounds does.
__attribute__((target("avx2"))) void SumPointsAvx2(const float* points, size_t count,
                                                   size_t stride, PointSums* sums) {
  PointSumsLanes lanes = LoadPointSums(*sums);
  for (size_t i = 0; i < count; ++i) AddPoint(lanes, points + i * stride);
  StorePointSums(lanes, count, sums);
}

// Project on the three axes in lanes 0 to 2.
__attribute__((target("avx"))) void ProjectAvx(const float* points, size_t count, size_t stride,
                                               const Matrix& v, double low[3], double high[3]) {
  const __m256d v0 = _mm256_setr_pd(v[0][0], v[0][1], v[0][2], 0.0),
                v1 = _mm256_setr_pd(v[1][0], v[1][1], v[1][2], 0.0),
                v2 = _mm256_setr_pd(v[2][0], v[2][1], v[2][2], 0.0);
  __m256d lows = _mm256_setr_pd(low[0], low[1], low[2], 0.0),
          highs = _mm256_setr_pd(high[0], high[1], high[2], 0.0);
  for (size_t i = 0; i < count; ++i) {
    const float* p = points + i * stride;
    const __m256d d = _mm256_add_pd(
        _mm256_add_pd(_mm256_mul_pd(Spread(p, 0), v0), _mm256_mul_pd(Spread(p, 1), v1)),
        _mm256_mul_pd(Spread(p, 2), v2));
    lows = _mm256_min_pd(d, lows);
    highs = _mm256_max_pd(d, highs);
  }
  for (int k = 0; k < 3; ++k) {
    low[k] = Lane(lows, k);
    high[k] = Lane(highs, k);
  }
}

// Project for tight points (three floats apart), four points at a time:
// the lanes of each axis hold every fourth point, each projected with the
// operations of ProjectAvx, and the lanes are folded at the end. Takes the
// first `count` rounded down to four points and answers how many it took.
// The bounds are those of one pass in point order but for the sign of a
// zero bound (the fold cannot tell which zero came first), which the box
// does not keep: a zero low with a high that is not zero, or the reverse,
// gives the same extent and middle whatever its sign, and when both are
// zero every point projects to zero, so both come from the first point of
// one lane and share its sign (an extent of +0, a middle whose zero the
// centre's sum drops).
// One axis of ProjectTightAvx: the axis' coefficients of x, y and z in
// every lane, and each lane's least and greatest projection.
struct LaneAxis {
  __m256d cx, cy, cz, low, high;
};

__attribute__((target("avx"), always_inline)) inline LaneAxis StartAxis(const Matrix& v, int k,
                                                                       double low, double high) {
  return {_mm256_set1_pd(v[0][k]), _mm256_set1_pd(v[1][k]), _mm256_set1_pd(v[2][k]),
          _mm256_set1_pd(low), _mm256_set1_pd(high)};
}

__attribute__((target("avx"), always_inline)) inline void ProjectLanes(LaneAxis& axis, __m256d x,
                                                                      __m256d y, __m256d z) {
  const __m256d d = _mm256_add_pd(
      _mm256_add_pd(_mm256_mul_pd(x, axis.cx), _mm256_mul_pd(y, axis.cy)),
      _mm256_mul_pd(z, axis.cz));
  axis.low = _mm256_min_pd(d, axis.low);
  axis.high = _mm256_max_pd(d, axis.high);
}

// Folds the lanes into [*low, *high], in lane order.
__attribute__((target("avx"))) void FinishAxis(const LaneAxis& axis, double* low, double* high) {
  for (int lane = 0; lane < 4; ++lane) {
    *low = std::min(*low, Lane(axis.low, lane));
    *high = std::max(*high, Lane(axis.high, lane));
  }
}

__attribute__((target("avx"))) size_t ProjectTightAvx(const float* points, size_t count,
                                                      const Matrix& v, double low[3],
                                                      double high[3]) {
  LaneAxis first = StartAxis(v, 0, low[0], high[0]), second = StartAxis(v, 1, low[1], high[1]),
           third = StartAxis(v, 2, low[2], high[2]);
  const size_t taken = count & ~size_t(3);
  for (size_t i = 0; i < taken; i += 4) {
    // x0 y0 z0 x1 | y1 z1 x2 y2 | z2 x3 y3 z3 into the axes of points 0-3.
    const float* p = points + 3 * i;
    const __m128 a = _mm_loadu_ps(p), b = _mm_loadu_ps(p + 4), c = _mm_loadu_ps(p + 8);
    const __m128 x2y2x3y3 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(2, 1, 3, 2));
    const __m128 y0z0y1z1 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 0, 2, 1));
    const __m256d x = _mm256_cvtps_pd(_mm_shuffle_ps(a, x2y2x3y3, _MM_SHUFFLE(2, 0, 3, 0)));
    const __m256d y = _mm256_cvtps_pd(_mm_shuffle_ps(y0z0y1z1, x2y2x3y3, _MM_SHUFFLE(3, 1, 2, 0)));
    const __m256d z = _mm256_cvtps_pd(_mm_shuffle_ps(y0z0y1z1, c, _MM_SHUFFLE(3, 0, 3, 1)));
    ProjectLanes(first, x, y, z);
    ProjectLanes(second, x, y, z);
    ProjectLanes(third, x, y, z);
  }
  FinishAxis(first, &low[0], &high[0]);
  FinishAxis(second, &low[1], &high[1]);
  FinishAxis(third, &low[2], &high[2]);
  return taken;
}
#endif

// The sums and bounds without AVX2: one pass for the sums, one for the bounds.
void SumPointsPlain(const float* points, size_t count, size_t stride, PointSums* sums) {
  SumPoints(points, count, stride, sums->sum, &sums->squares[0], &sums->crosses[0],
            &sums->crosses[2], &sums->squares[1], &sums->crosses[1], &sums->squares[2]);
  WidenBounds(points, count, stride, sums->low, sums->high);
  sums->count = count;
}

}  // namespace

void OrientedBox::Fit(const float* points, size_t count, size_t stride) {
  Fit(points, count, stride, nullptr, nullptr);
}

void OrientedBox::Fit(const float* points, size_t count, size_t stride, Vector* boundsLow,
                      Vector* boundsHigh) {
  PointSums sums;
  if (boundsLow != nullptr) {
    for (int a = 0; a < 3; ++a) {
      sums.low[a] = (*boundsLow)[a];
      sums.high[a] = (*boundsHigh)[a];
    }
  }
#if defined(KIV_BOX_AVX)
  if (ProcessorHasAvx2()) {
    SumPointsAvx2(points, count, stride, &sums);
  } else {
    SumPointsPlain(points, count, stride, &sums);
  }
#else
  SumPointsPlain(points, count, stride, &sums);
#endif
  if (boundsLow != nullptr) {
    for (int a = 0; a < 3; ++a) {
      (*boundsLow)[a] = sums.low[a];
      (*boundsHigh)[a] = sums.high[a];
    }
  }
  FitSummed(points, count, stride, sums);
}

void OrientedBox::FitSummed(const float* points, size_t count, size_t stride,
                            const PointSums& pointSums) {
  *this = OrientedBox{};
  if (count == 0) return;
  double mean[3] = {pointSums.sum[0], pointSums.sum[1], pointSums.sum[2]};
  const double xx = pointSums.squares[0], yy = pointSums.squares[1], zz = pointSums.squares[2];
  const double xy = pointSums.crosses[0], yz = pointSums.crosses[1], xz = pointSums.crosses[2];
  const Matrix sums{{{xx, xy, xz}, {xy, yy, yz}, {xz, yz, zz}}};
  for (double& m : mean) m /= double(count);
  Matrix covariance{};
  for (int a = 0; a < 3; ++a) {
    for (int b = 0; b < 3; ++b) covariance[a][b] = sums[a][b] / double(count) - mean[a] * mean[b];
  }
  const Matrix v = Eigenvectors(covariance);
  double low[3], high[3];
  for (int k = 0; k < 3; ++k) {
    low[k] = std::numeric_limits<double>::max();
    high[k] = std::numeric_limits<double>::lowest();
  }
#if defined(KIV_BOX_AVX)
  if (ProcessorHasAvx()) {
    const size_t taken = stride == 3 ? ProjectTightAvx(points, count, v, low, high) : 0;
    ProjectAvx(points + 3 * taken, count - taken, stride, v, low, high);
  } else {
    Project(points, count, stride, v, low, high);
  }
#else
  Project(points, count, stride, v, low, high);
#endif
  for (int k = 0; k < 3; ++k) {
    if (!std::isfinite(low[k]) || !std::isfinite(high[k])) {
      *this = OrientedBox{};
      return;
    }
  }
  for (int k = 0; k < 3; ++k) {
    axes[k] = {float(v[0][k]), float(v[1][k]), float(v[2][k])};
    extents[k] = float((high[k] - low[k]) * 0.5);
    const double middle = (high[k] + low[k]) * 0.5;
    for (int a = 0; a < 3; ++a) center[a] += float(middle * v[a][k]);
  }
}

std::array<OrientedBox::Vector, 8> OrientedBox::CalcCorners() const {
  std::array<Vector, 8> corners{};
  for (int c = 0; c < 8; ++c) {
    for (int a = 0; a < 3; ++a) {
      float value = center[a];
      for (int k = 0; k < 3; ++k) value += ((c >> k) & 1 ? 1.0f : -1.0f) * extents[k] * axes[k][a];
      corners[c][a] = value;
    }
  }
  return corners;
}

bool OrientedBox::Contains(const Vector& point, float tolerance) const {
  for (int k = 0; k < 3; ++k) {
    float d = 0.0f;
    for (int a = 0; a < 3; ++a) d += (point[a] - center[a]) * axes[k][a];
    if (std::fabs(d) > extents[k] + tolerance * (1.0f + extents[k])) return false;
  }
  return true;
}

}  // namespace Kiv
