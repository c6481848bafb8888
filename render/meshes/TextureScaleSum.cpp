#include "render/meshes/TextureScaleSum.h"

#include <algorithm>
#include <cmath>

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
  if (!(u * v > kLeastTextureArea)) return;
  const float m = a * b * 0.5f, ratioA = a / u, ratioB = b / v;
  sum += double(m) * ratioA + double(m) * ratioB;
  weights += double(m);
  largest = std::max(largest, std::max(ratioA, ratioB));
}

void TextureScaleSum::AddTriangles(Kiv::StridedArray<float> p, Kiv::StridedArray<float> t,
                                   const uint16_t* index, uint32_t triangles) {
  // Kept in registers for the loop, not in the object.
  Terms terms = terms_;
  for (uint32_t first = 0; first < triangles; ++first) {
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
