#include "render/meshes/MeshMeasures.h"

#include <limits>

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

void MeshMeasures::StartSums(Kiv::PointSums* sums) const {
  *sums = Kiv::PointSums{};
  for (int a = 0; a < 3; ++a) {
    sums->low[a] = low_[a];
    sums->high[a] = high_[a];
  }
}

void MeshMeasures::AddChunk(Kiv::GeometryChunk& chunk, const Kiv::PointSums* sums) {
  const auto positions = chunk.GetVector3Array(Kiv::GeometryChunk::kPosition);
  if (!positions) return;
  const uint64_t count = chunk.GetNumVertices();
  any_ = any_ || count > 0;

  const auto texCoords = chunk.GetVector2Array(Kiv::GeometryChunk::kTexCoord0);
  const uint16_t* index = chunk.GetIndexArray();
  const uint32_t indices = chunk.GetNumIndices();
  if (textureScale_ && texCoords && index != nullptr && indices >= 3)
    scale_.AddTriangles(positions, texCoords, uint32_t(count), index, indices / 3);

  // Float items: the stride is a whole number of floats. The bounds are
  // widened in the pass that sums the box's points.
  Kiv::OrientedBox box;
  const size_t stride = positions.stride / sizeof(float);
  if (sums != nullptr && sums->count == count) {
    box.FitSummed(positions[0], count, stride, *sums);
    for (int a = 0; a < 3; ++a) {
      low_[a] = sums->low[a];
      high_[a] = sums->high[a];
    }
  } else {
    box.Fit(positions[0], count, stride, &low_, &high_);
  }
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
