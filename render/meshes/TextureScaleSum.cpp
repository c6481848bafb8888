#include "render/meshes/TextureScaleSum.h"

#include "kiv/basics/ProcessorFeatures.h"
#include "render/meshes/HighestIndex.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

constexpr float kLeastTextureArea = 0.00001f;

// The length of b - a in N dimensions, summed from zero in axis order.
template <size_t N>
float Distance(const float* a, const float* b) {
  float sum = 0.0f;
  for (size_t i = 0; i < N; ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  return std::sqrt(sum);
}

#if defined(__SSE2__)
// Triangles are measured in blocks: their edge vectors are gathered
// first, then the lengths and ratios are computed four lanes at a time.
constexpr uint32_t kBlock = 64;

// The edges from corner 0 to corners 1 and 2 of a block of triangles, one
// array per coordinate: texture (u1, v1, u2, v2) then world (x1, y1, z1,
// x2, y2, z2).
struct EdgeBlock {
  alignas(32) float d[10][kBlock];

  // Every corner is loaded before anything is stored, so the stores cannot
  // force loads again.
  void Gather(Kiv::StridedArray<float> p, Kiv::StridedArray<float> t, const uint16_t* index,
              uint32_t count) {
    for (uint32_t j = 0; j < count; ++j, index += 3) {
      const float *t0 = t[index[0]], *t1 = t[index[1]], *t2 = t[index[2]];
      const float *p0 = p[index[0]], *p1 = p[index[1]], *p2 = p[index[2]];
      const float u0 = t0[0], v0 = t0[1], x0 = p0[0], y0 = p0[1], z0 = p0[2];
      const float e0 = t1[0] - u0, e1 = t1[1] - v0, e2 = t2[0] - u0, e3 = t2[1] - v0;
      const float e4 = p1[0] - x0, e5 = p1[1] - y0, e6 = p1[2] - z0;
      const float e7 = p2[0] - x0, e8 = p2[1] - y0, e9 = p2[2] - z0;
      d[0][j] = e0;
      d[1][j] = e1;
      d[2][j] = e2;
      d[3][j] = e3;
      d[4][j] = e4;
      d[5][j] = e5;
      d[6][j] = e6;
      d[7][j] = e7;
      d[8][j] = e8;
      d[9][j] = e9;
    }
  }

  // The same for tight arrays (positions 12, texture coordinates 8 bytes
  // apart) and `count` a multiple of four: a triangle's edges are taken as
  // vectors, each lane subtracting what Gather subtracts, and four
  // triangles are turned into the coordinate arrays together. With `Wide`
  // a position is read as four floats (the fourth, the next vertex's, is
  // dropped with the lanes no row keeps): only for blocks whose indices are
  // all below the last vertex. Otherwise only the floats of each vertex are
  // read.
  template <bool Wide>
  void GatherTight(const float* p, const float* t, const uint16_t* index, uint32_t count) {
    const auto pair = [t](uint32_t i) {
      return _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(t + 2 * uint64_t(i))));
    };
    const auto point = [p](uint32_t i) {
      const float* at = p + 3 * uint64_t(i);
      if constexpr (Wide) return _mm_loadu_ps(at);
      return _mm_movelh_ps(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(at))),
                           _mm_load_ss(at + 2));
    };
    const auto edges = [&](const uint16_t* corner, __m128& tex, __m128& first, __m128& second) {
      const __m128 t0 = pair(corner[0]);
      tex = _mm_sub_ps(_mm_movelh_ps(pair(corner[1]), pair(corner[2])), _mm_movelh_ps(t0, t0));
      const __m128 p0 = point(corner[0]);
      first = _mm_sub_ps(point(corner[1]), p0);
      second = _mm_sub_ps(point(corner[2]), p0);
    };
    for (uint32_t j = 0; j < count; j += 4, index += 12) {
      __m128 t0, t1, t2, t3, a0, a1, a2, a3, b0, b1, b2, b3;
      edges(index, t0, a0, b0);
      edges(index + 3, t1, a1, b1);
      edges(index + 6, t2, a2, b2);
      edges(index + 9, t3, a3, b3);
      _MM_TRANSPOSE4_PS(t0, t1, t2, t3);
      _MM_TRANSPOSE4_PS(a0, a1, a2, a3);
      _MM_TRANSPOSE4_PS(b0, b1, b2, b3);
      _mm_store_ps(&d[0][j], t0);
      _mm_store_ps(&d[1][j], t1);
      _mm_store_ps(&d[2][j], t2);
      _mm_store_ps(&d[3][j], t3);
      _mm_store_ps(&d[4][j], a0);
      _mm_store_ps(&d[5][j], a1);
      _mm_store_ps(&d[6][j], a2);
      _mm_store_ps(&d[7][j], b0);
      _mm_store_ps(&d[8][j], b1);
      _mm_store_ps(&d[9][j], b2);
    }
  }
};

// What the triangles of a block add, computed lane-wise: the bit of each
// triangle that has texture area, and its sum term (m * ratioA + m *
// ratioB in double), weight m and larger ratio, as Terms::Take takes them.
struct BlockTerms {
  uint64_t area = 0;
  alignas(32) double term[kBlock];
  alignas(32) double weight[kBlock];
  alignas(32) float ratio[kBlock];
};

// The length of the edge whose N coordinates start at array `first`, for
// lanes j..j+3: Distance<N>'s operations in its order.
template <int N>
__m128 Length4(const EdgeBlock& edges, int first, uint32_t j) {
  __m128 sum = _mm_setzero_ps();
  for (int axis = first; axis < first + N; ++axis) {
    const __m128 e = _mm_load_ps(&edges.d[axis][j]);
    sum = _mm_add_ps(sum, _mm_mul_ps(e, e));
  }
  return _mm_sqrt_ps(sum);
}

// Stores the terms of lanes j..j+3 from their lengths. maxps(b, a) picks as
// std::max(a, b) does, NaNs and zeros included.
void StoreTerms4(__m128 u, __m128 v, __m128 a, __m128 b, uint32_t j, BlockTerms* out) {
  out->area |= uint64_t(_mm_movemask_ps(
                   _mm_cmpgt_ps(_mm_mul_ps(u, v), _mm_set1_ps(kLeastTextureArea))))
               << j;
  const __m128 m = _mm_mul_ps(_mm_mul_ps(a, b), _mm_set1_ps(0.5f));
  const __m128 ratioA = _mm_div_ps(a, u), ratioB = _mm_div_ps(b, v);
  _mm_store_ps(&out->ratio[j], _mm_max_ps(ratioB, ratioA));
  for (int half = 0; half < 2; ++half) {
    const auto high = [half](__m128 x) { return half == 0 ? x : _mm_movehl_ps(x, x); };
    const __m128d md = _mm_cvtps_pd(high(m));
    _mm_store_pd(&out->weight[j + 2 * half], md);
    _mm_store_pd(&out->term[j + 2 * half],
                 _mm_add_pd(_mm_mul_pd(md, _mm_cvtps_pd(high(ratioA))),
                            _mm_mul_pd(md, _mm_cvtps_pd(high(ratioB)))));
  }
}

void BlockTerms4(const EdgeBlock& edges, uint32_t count, BlockTerms* out) {
  out->area = 0;
  for (uint32_t j = 0; j < count; j += 4)
    StoreTerms4(Length4<2>(edges, 0, j), Length4<2>(edges, 2, j), Length4<3>(edges, 4, j),
                Length4<3>(edges, 7, j), j, out);
}

// Eight lanes at a time: the same operations, each rounded alike.
template <int N>
__attribute__((target("avx"))) inline __m256 Length8(const EdgeBlock& edges, int first,
                                                     uint32_t j) {
  __m256 sum = _mm256_setzero_ps();
  for (int axis = first; axis < first + N; ++axis) {
    const __m256 e = _mm256_load_ps(&edges.d[axis][j]);
    sum = _mm256_add_ps(sum, _mm256_mul_ps(e, e));
  }
  return _mm256_sqrt_ps(sum);
}

__attribute__((target("avx"))) inline __m256d Term(__m256d m, __m128 ratioA, __m128 ratioB) {
  return _mm256_add_pd(_mm256_mul_pd(m, _mm256_cvtps_pd(ratioA)),
                       _mm256_mul_pd(m, _mm256_cvtps_pd(ratioB)));
}

__attribute__((target("avx"))) void BlockTermsAvx(const EdgeBlock& edges, uint32_t count,
                                                  BlockTerms* out) {
  out->area = 0;
  uint32_t j = 0;
  for (; j + 8 <= count; j += 8) {
    const __m256 u = Length8<2>(edges, 0, j), v = Length8<2>(edges, 2, j);
    const __m256 a = Length8<3>(edges, 4, j), b = Length8<3>(edges, 7, j);
    out->area |= uint64_t(_mm256_movemask_ps(_mm256_cmp_ps(
                     _mm256_mul_ps(u, v), _mm256_set1_ps(kLeastTextureArea), _CMP_GT_OQ)))
                 << j;
    const __m256 m = _mm256_mul_ps(_mm256_mul_ps(a, b), _mm256_set1_ps(0.5f));
    const __m256 ratioA = _mm256_div_ps(a, u), ratioB = _mm256_div_ps(b, v);
    _mm256_store_ps(&out->ratio[j], _mm256_max_ps(ratioB, ratioA));
    const __m256d low = _mm256_cvtps_pd(_mm256_castps256_ps128(m));
    const __m256d high = _mm256_cvtps_pd(_mm256_extractf128_ps(m, 1));
    _mm256_store_pd(&out->weight[j], low);
    _mm256_store_pd(&out->weight[j + 4], high);
    _mm256_store_pd(&out->term[j], Term(low, _mm256_castps256_ps128(ratioA),
                                        _mm256_castps256_ps128(ratioB)));
    _mm256_store_pd(&out->term[j + 4], Term(high, _mm256_extractf128_ps(ratioA, 1),
                                            _mm256_extractf128_ps(ratioB, 1)));
  }
  // The last four lanes of a block of 4 (mod 8) triangles.
  if (j < count)
    StoreTerms4(Length4<2>(edges, 0, j), Length4<2>(edges, 2, j), Length4<3>(edges, 4, j),
                Length4<3>(edges, 7, j), j, out);
}
#endif

}  // namespace

void TextureScaleSum::Terms::Add(float u, float v, float a, float b) {
  if (!(u * v > kLeastTextureArea)) return;
  Take(a * b * 0.5f, a / u, b / v);
}

void TextureScaleSum::Terms::Take(float m, float ratioA, float ratioB) {
  Sum(double(m) * ratioA + double(m) * ratioB, double(m), std::max(ratioA, ratioB));
}

void TextureScaleSum::Terms::Sum(double term, double weight, float ratio) {
  sum += term;
  weights += weight;
  largest = std::max(largest, ratio);
}

void TextureScaleSum::AddTriangles(Kiv::StridedArray<float> p, Kiv::StridedArray<float> t,
                                   uint32_t vertices, const uint16_t* index,
                                   uint32_t triangles) {
  // Kept in registers for the loop, not in the object.
  Terms terms = terms_;
  uint32_t first = 0;
#if defined(__SSE2__)
  // Every lane rounds as the scalar operations of Add do (square roots
  // and quotients are exact to the bit), and the triangles are then taken
  // one by one in order, so the sums keep their order.
  EdgeBlock edges;
  BlockTerms block;
  const bool tight = p.stride == 12 && t.stride == 8;
  const bool avx = Kiv::ProcessorHasAvx();
  for (; first + 4 <= triangles;) {
    const uint32_t count = std::min(kBlock, (triangles - first) & ~3u);
    const uint16_t* blockIndex = index + 3 * uint64_t(first);
    if (tight && HighestIndex(blockIndex, 3 * count) + 1 < vertices)
      edges.GatherTight<true>(p[0], t[0], blockIndex, count);
    else if (tight)
      edges.GatherTight<false>(p[0], t[0], blockIndex, count);
    else
      edges.Gather(p, t, index + 3 * uint64_t(first), count);
    if (avx)
      BlockTermsAvx(edges, count, &block);
    else
      BlockTerms4(edges, count, &block);
    for (uint32_t j = 0; j < count; ++j) {
      if ((block.area >> j & 1) != 0) terms.Sum(block.term[j], block.weight[j], block.ratio[j]);
    }
    first += count;
  }
#endif
  for (; first < triangles; ++first) {
    const uint16_t* corner = index + 3 * uint64_t(first);
    terms.Add(Distance<2>(t[corner[1]], t[corner[0]]), Distance<2>(t[corner[2]], t[corner[0]]),
              Distance<3>(p[corner[1]], p[corner[0]]), Distance<3>(p[corner[2]], p[corner[0]]));
  }
  terms_ = terms;
}

float TextureScaleSum::Scale() const {
  if (!(terms_.weights > 0.0)) return 0.0f;
  return std::min(float(8.0 * (terms_.sum / (2.0 * terms_.weights))), terms_.largest);
}
