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

}  // namespace

void TextureScaleSum::Terms::Add(float u, float v, float a, float b) {
  AddMeasured(u * v > kLeastTextureArea, a * b * 0.5f, a / u, b / v);
}

void TextureScaleSum::Terms::AddMeasured(bool counts, float m, float ratioA, float ratioB) {
  if (!counts) return;
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
  // Four triangles at a time: the edge lengths and the quotients in the
  // lanes of one vector (each lane rounds as the scalar operation would),
  // then the terms added one triangle after the other.
  for (; first + 4 <= triangles; first += 4) {
    // Per lane: the two texture edges' and the two world edges' components.
    alignas(16) float edge[10][4];
    for (uint32_t lane = 0; lane < 4; ++lane) {
      const uint16_t* corner = index + 3 * uint64_t(first + lane);
      const float* t0 = t[corner[0]];
      const float* t1 = t[corner[1]];
      const float* t2 = t[corner[2]];
      const float* p0 = p[corner[0]];
      const float* p1 = p[corner[1]];
      const float* p2 = p[corner[2]];
      for (int k = 0; k < 2; ++k) {
        edge[k][lane] = t1[k] - t0[k];
        edge[2 + k][lane] = t2[k] - t0[k];
      }
      for (int k = 0; k < 3; ++k) {
        edge[4 + k][lane] = p1[k] - p0[k];
        edge[7 + k][lane] = p2[k] - p0[k];
      }
    }
    const auto length = [&edge](int from, int n) {
      __m128 sum = _mm_setzero_ps();
      for (int k = from; k < from + n; ++k) {
        const __m128 d = _mm_load_ps(edge[k]);
        sum = _mm_add_ps(sum, _mm_mul_ps(d, d));
      }
      return _mm_sqrt_ps(sum);
    };
    const __m128 u = length(0, 2), v = length(2, 2), a = length(4, 3), b = length(7, 3);
    const int counts =
        _mm_movemask_ps(_mm_cmpgt_ps(_mm_mul_ps(u, v), _mm_set1_ps(kLeastTextureArea)));
    alignas(16) float m[4], ratioA[4], ratioB[4];
    _mm_store_ps(m, _mm_mul_ps(_mm_mul_ps(a, b), _mm_set1_ps(0.5f)));
    _mm_store_ps(ratioA, _mm_div_ps(a, u));
    _mm_store_ps(ratioB, _mm_div_ps(b, v));
    for (uint32_t lane = 0; lane < 4; ++lane)
      terms.AddMeasured(((counts >> lane) & 1) != 0, m[lane], ratioA[lane], ratioB[lane]);
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
