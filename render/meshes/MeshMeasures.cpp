#include "render/meshes/MeshMeasures.h"

#include <algorithm>
#include <limits>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace {

// Widens [low, high] over `count` positions, in vertex order (the order
// decides which zero a bound keeps when both signs meet). With SSE2 the
// three axes share a vector; maxps and minps keep the bound when the
// comparison fails, as std::max and std::min do.
void ExtendBounds(Kiv::StridedArray<float> positions, uint64_t count, std::array<float, 3>& high,
                  std::array<float, 3>& low) {
  float hx = high[0], hy = high[1], hz = high[2], lx = low[0], ly = low[1], lz = low[2];
  uint64_t v = 0;
#if defined(__SSE2__)
  // Four floats are read a vertex, so the last vertex is left to the loop
  // below.
  if (count > 1 && positions.stride >= 3 * sizeof(float)) {
    __m128 highs = _mm_setr_ps(hx, hy, hz, 0.0f), lows = _mm_setr_ps(lx, ly, lz, 0.0f);
    for (; v + 1 < count; ++v) {
      const __m128 p = _mm_loadu_ps(positions[v]);
      highs = _mm_max_ps(p, highs);
      lows = _mm_min_ps(p, lows);
    }
    alignas(16) float h[4], l[4];
    _mm_store_ps(h, highs);
    _mm_store_ps(l, lows);
    hx = h[0], hy = h[1], hz = h[2], lx = l[0], ly = l[1], lz = l[2];
  }
#endif
  for (; v < count; ++v) {
    const float* p = positions[v];
    hx = std::max(hx, p[0]);
    hy = std::max(hy, p[1]);
    hz = std::max(hz, p[2]);
    lx = std::min(lx, p[0]);
    ly = std::min(ly, p[1]);
    lz = std::min(lz, p[2]);
  }
  high = {hx, hy, hz};
  low = {lx, ly, lz};
}

}  // namespace

void MeshMeasures::Reset(bool textureScale) {
  textureScale_ = textureScale;
  any_ = false;
  high_ = {std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest(),
           std::numeric_limits<float>::lowest()};
  low_ = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
          std::numeric_limits<float>::max()};
  scale_ = TextureScaleSum();
  corners_.clear();
}

void MeshMeasures::AddChunk(Kiv::GeometryChunk& chunk) {
  const auto positions = chunk.GetVector3Array(Kiv::GeometryChunk::kPosition);
  if (!positions) return;
  const uint64_t count = chunk.GetNumVertices();
  ExtendBounds(positions, count, high_, low_);
  any_ = any_ || count > 0;

  const auto texCoords = chunk.GetVector2Array(Kiv::GeometryChunk::kTexCoord0);
  const uint16_t* index = chunk.GetIndexArray();
  const uint32_t indices = chunk.GetNumIndices();
  if (textureScale_ && texCoords && index != nullptr && indices >= 3)
    scale_.AddTriangles(positions, texCoords, index, indices / 3);

  // Float items: the stride is a whole number of floats.
  Kiv::OrientedBox box;
  box.Fit(positions[0], count, positions.stride / sizeof(float));
  for (const Vector& corner : box.CalcCorners())
    corners_.insert(corners_.end(), corner.begin(), corner.end());
}

std::array<float, 3> MeshMeasures::BoundsMax() const {
  return any_ ? high_ : Vector{0.0f, 0.0f, 0.0f};
}

std::array<float, 3> MeshMeasures::BoundsMin() const {
  return any_ ? low_ : Vector{0.0f, 0.0f, 0.0f};
}

void MeshMeasures::FitBox(Kiv::OrientedBox* box) const {
  box->Fit(corners_.data(), corners_.size() / 3);
}
