// Kiv::PointSums: the running sums an oriented box is fitted from (the
// coordinates, their squares and their cross products, in double) and the
// axis-aligned bounds of the same points, taken one point after another.
//
// OrientedBox::Fit makes them itself; a caller that already walks the
// points (a reader copying them into place) may take them on the way with
// the helpers below and hand them to OrientedBox::FitSummed. Each sum is
// added in point order with the operations Fit uses, so the box and the
// bounds are the same to the bit. A plain value type; nothing fails.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KIV_POINT_SUMS_AVX2 1
#include <immintrin.h>
#endif

namespace Kiv {

struct PointSums {
  size_t count = 0;
  double sum[3] = {0, 0, 0};
  double squares[3] = {0, 0, 0};  // x*x, y*y, z*z
  double crosses[3] = {0, 0, 0};  // x*y, y*z, z*x
  // Widened as std::max and std::min would, point after point; they start
  // from the bounds the caller gives.
  float low[3] = {0, 0, 0};
  float high[3] = {0, 0, 0};
};

#if defined(KIV_POINT_SUMS_AVX2)
// The sums held in registers while points are added (lane 3 unused). Only
// for processors with AVX2 (Kiv::ProcessorHasAvx2).
struct PointSumsLanes {
  __m256d sum, squares, crosses;
  __m128 lows, highs;
};

__attribute__((target("avx2"), always_inline)) inline PointSumsLanes LoadPointSums(
    const PointSums& sums) {
  return {_mm256_setr_pd(sums.sum[0], sums.sum[1], sums.sum[2], 0.0),
          _mm256_setr_pd(sums.squares[0], sums.squares[1], sums.squares[2], 0.0),
          _mm256_setr_pd(sums.crosses[0], sums.crosses[1], sums.crosses[2], 0.0),
          _mm_setr_ps(sums.low[0], sums.low[1], sums.low[2], 0.0f),
          _mm_setr_ps(sums.high[0], sums.high[1], sums.high[2], 0.0f)};
}

// Adds the point [x, y, z, w]; w may be anything (it is replaced by zero).
__attribute__((target("avx2"), always_inline)) inline void AddPoint(PointSumsLanes& lanes,
                                                                   __m128 xyzw) {
  const __m128 xyz = _mm_blend_ps(xyzw, _mm_setzero_ps(), 8);
  lanes.highs = _mm_max_ps(xyz, lanes.highs);
  lanes.lows = _mm_min_ps(xyz, lanes.lows);
  const __m256d point = _mm256_cvtps_pd(xyz);
  lanes.sum = _mm256_add_pd(lanes.sum, point);
  lanes.squares = _mm256_add_pd(lanes.squares, _mm256_mul_pd(point, point));
  const __m256d turned = _mm256_permute4x64_pd(point, _MM_SHUFFLE(3, 0, 2, 1));
  lanes.crosses = _mm256_add_pd(lanes.crosses, _mm256_mul_pd(point, turned));
}

// Adds the point of three floats at `p` (reading only those).
__attribute__((target("avx2"), always_inline)) inline void AddPoint(PointSumsLanes& lanes,
                                                                   const float* p) {
  const __m128 xy = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
  AddPoint(lanes, _mm_insert_ps(xy, _mm_load_ss(p + 2), 0x20));
}

// Lane `lane` (0 to 2) of `v`.
__attribute__((target("avx2"), always_inline)) inline double PointSumsLane(__m256d v, int lane) {
  const __m128d half = lane < 2 ? _mm256_castpd256_pd128(v) : _mm256_extractf128_pd(v, 1);
  return _mm_cvtsd_f64(lane == 1 ? _mm_unpackhi_pd(half, half) : half);
}

// The lanes are taken out of the registers one by one: when they are
// stored into arrays on the stack, GCC keeps the running lanes of the
// adding loop in memory as well, a store and a load on every addition.
__attribute__((target("avx2"), always_inline)) inline void StorePointSums(
    const PointSumsLanes& lanes, size_t added, PointSums* sums) {
  alignas(16) float lows[4], highs[4];
  _mm_store_ps(lows, lanes.lows);
  _mm_store_ps(highs, lanes.highs);
  for (int a = 0; a < 3; ++a) {
    sums->sum[a] = PointSumsLane(lanes.sum, a);
    sums->squares[a] = PointSumsLane(lanes.squares, a);
    sums->crosses[a] = PointSumsLane(lanes.crosses, a);
    sums->low[a] = lows[a];
    sums->high[a] = highs[a];
  }
  sums->count += added;
}
#endif

}  // namespace Kiv
