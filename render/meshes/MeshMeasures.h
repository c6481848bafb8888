// MeshMeasures: the axis-aligned bounds, texture scale sums and oriented
// box corners of a mesh, taken one geometry chunk at a time.
//
// Chunks are added in the mesh's chunk order; each sum takes its terms in
// that order, so measuring chunks as a reader accepts them gives the bits
// that measuring the finished mesh gives. A chunk is measured while its
// arrays are still in the cache: that is why the reader adds each chunk
// when it has read it. Chunks without positions add nothing. The texture
// scale is summed only when asked for. Every index of a chunk must name one
// of its vertices (the reader checks them before adding the chunk).
//
// Not thread-safe. Nothing here fails.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "kiv/display/GeometryChunk.h"
#include "kiv/scene/OrientedBox.h"
#include "kiv/scene/PointSums.h"
#include "render/meshes/TextureScaleSum.h"

class MeshMeasures {
 public:
  // Starts over; `textureScale` says whether the texture scale is summed.
  void Reset(bool textureScale);
  // `sums`, when given, were taken over the chunk's positions in order,
  // starting from StartSums (made by a reader as it copied them); they are
  // used when they count every vertex of the chunk.
  void AddChunk(Kiv::GeometryChunk& chunk, const Kiv::PointSums* sums = nullptr);
  // Empty sums starting from the bounds measured so far.
  void StartSums(Kiv::PointSums* sums) const;

  bool TakesTextureScale() const { return textureScale_; }
  // Zeros for a mesh without vertices.
  std::array<float, 3> BoundsMax() const;
  std::array<float, 3> BoundsMin() const;
  float TextureScale() const { return scale_.Scale(); }
  // The box fitted on the corners of the chunks' own boxes.
  void FitBox(Kiv::OrientedBox* box) const;

 private:
  using Vector = std::array<float, 3>;

  bool textureScale_ = true;
  bool any_ = false;
  Vector high_{};
  Vector low_{};
  TextureScaleSum scale_;
  // Eight corners of three floats per measured chunk.
  std::vector<float> corners_;
};
