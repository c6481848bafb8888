#include "render/meshes/TextureScaleSum.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
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
  alignas(16) float d[10][kBlock];

  void Gather(Kiv::StridedArray<float> p, Kiv::StridedArray<float> t, const uint16_t* index,
              uint32_t count) {
    for (uint32_t j = 0; j < count; ++j, index += 3) {
      const float *t0 = t[index[0]], *t1 = t[index[1]], *t2 = t[index[2]];
      const float *p0 = p[index[0]], *p1 = p[index[1]], *p2 = p[index[2]];
      d[0][j] = t1[0] - t0[0];
      d[1][j] = t1[1] - t0[1];
      d[2][j] = t2[0] - t0[0];
      d[3][j] = t2[1] - t0[1];
      d[4][j] = p1[0] - p0[0];
      d[5][j] = p1[1] - p0[1];
      d[6][j] = p1[2] - p0[2];
      d[7][j] = p2[0] - p0[0];
      d[8][j] = p2[1] - p0[1];
      d[9][j] = p2[2] - p0[2];
    }
  }
  // The length of the edge whose N coordinates start at array `first`, for
  // lanes j..j+3: Distance<N>'s operations in its order.
  template <int N>
  __m128 Length(int first, uint32_t j) const {
    __m128 sum = _mm_setzero_ps();
    for (int axis = first; axis < first + N; ++axis) {
      const __m128 e = _mm_load_ps(&d[axis][j]);
      sum = _mm_add_ps(sum, _mm_mul_ps(e, e));
    }
    return _mm_sqrt_ps(sum);
  }
};
#endif

}  // namespace

void TextureScaleSum::Terms::Add(float u, float v, float a, float b) {
  if (!(u * v > kLeastTextureArea)) return;
  Take(a * b * 0.5f, a / u, b / v);
}

void TextureScaleSum::Terms::Take(float m, float ratioA, float ratioB) {
  sum += double(m) * ratioA + double(m) * ratioB;
  weights += double(m);
  largest = std::max(largest, std::max(ratioA, ratioB));
}

void TextureScaleSum::AddTriangles(Kiv::StridedArray<float> p, Kiv::StridedArray<float> t,
                                   const uint16_t* index, uint32_t triangles) {
  // Kept in registers for the loop, not in the object.
  Terms terms = terms_;
  uint32_t first = 0;
#if defined(__SSE2__)
  // Every lane rounds as the scalar operations of Add do (square roots
  // and quotients are exact to the bit), and the triangles are then taken
  // one by one in order, so the sums keep their order.
  EdgeBlock edges;
  alignas(16) float m[kBlock], ratioA[kBlock], ratioB[kBlock];
  for (; first + 4 <= triangles;) {
    const uint32_t count = std::min(kBlock, (triangles - first) & ~3u);
    edges.Gather(p, t, index + 3 * uint64_t(first), count);
    uint64_t area = 0;
    for (uint32_t j = 0; j < count; j += 4) {
      const __m128 u = edges.Length<2>(0, j), v = edges.Length<2>(2, j);
      const __m128 a = edges.Length<3>(4, j), b = edges.Length<3>(7, j);
      area |= uint64_t(_mm_movemask_ps(
                  _mm_cmpgt_ps(_mm_mul_ps(u, v), _mm_set1_ps(kLeastTextureArea))))
              << j;
      _mm_store_ps(&m[j], _mm_mul_ps(_mm_mul_ps(a, b), _mm_set1_ps(0.5f)));
      _mm_store_ps(&ratioA[j], _mm_div_ps(a, u));
      _mm_store_ps(&ratioB[j], _mm_div_ps(b, v));
    }
    for (uint32_t j = 0; j < count; ++j) {
      if ((area >> j & 1) != 0) terms.Take(m[j], ratioA[j], ratioB[j]);
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
