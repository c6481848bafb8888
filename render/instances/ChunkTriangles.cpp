#include "render/instances/ChunkTriangles.h"

#include <cmath>

namespace {

constexpr uint32_t kList = 0;
constexpr uint32_t kStrip = 1;
constexpr uint32_t kFan = 2;

}  // namespace

uint32_t GetTriangleCount(Kiv::GeometryChunk& chunk) {
  const uint32_t indices = chunk.GetNumIndices();
  switch (chunk.GetKind()) {
    case kList:
      return indices / 3;
    case kStrip:
    case kFan:
      return indices >= 3 ? indices - 2 : 0;
    default:
      return 0;
  }
}

bool GetTriangleCorners(Kiv::GeometryChunk& chunk, uint32_t triangle,
                        std::array<uint32_t, 3>* corners) {
  if (triangle >= GetTriangleCount(chunk)) return false;
  const uint16_t* index = chunk.GetIndexArray();
  const uint32_t t = triangle;
  std::array<uint32_t, 3> at{3 * t, 3 * t + 1, 3 * t + 2};
  if (chunk.GetKind() == kStrip) {
    at = (t & 1) == 0 ? std::array<uint32_t, 3>{t, t + 1, t + 2}
                      : std::array<uint32_t, 3>{t + 1, t, t + 2};
  } else if (chunk.GetKind() == kFan) {
    at = {0, t + 1, t + 2};
  }
  for (int k = 0; k < 3; ++k) {
    (*corners)[k] = index[at[k]];
    if ((*corners)[k] >= chunk.GetNumVertices()) return false;
  }
  return true;
}

bool GetTrianglePositions(Kiv::GeometryChunk& chunk, uint32_t triangle,
                          std::array<Vector3, 3>* positions) {
  std::array<uint32_t, 3> corners;
  const float* position = chunk.GetFloats(Kiv::GeometryChunk::kPosition);
  if (position == nullptr || !GetTriangleCorners(chunk, triangle, &corners)) return false;
  for (int k = 0; k < 3; ++k) {
    const float* p = position + size_t(corners[k]) * 3;
    (*positions)[k] = {p[0], p[1], p[2]};
  }
  return true;
}

bool GetTriangleNeighbour(Kiv::GeometryChunk& chunk, uint32_t triangle, uint32_t edge,
                          TriangleKey* neighbour) {
  const auto& neighbours = chunk.GetFaceNeighbors();
  if (edge >= 3 || triangle >= neighbours.size()) return false;
  const uint32_t entry = neighbours[triangle].faces[edge];
  if (entry == 0xFFFFFFFFu) return false;
  *neighbour = {entry >> 16, entry & 0xFFFFu};
  return true;
}

bool GetTriangleCentroid(Kiv::GeometryChunk& chunk, uint32_t triangle, Vector3* centroid) {
  std::array<Vector3, 3> p;
  if (!GetTrianglePositions(chunk, triangle, &p)) return false;
  for (int axis = 0; axis < 3; ++axis)
    (*centroid)[axis] = (p[0][axis] + p[1][axis] + p[2][axis]) * 0.33333334f;
  return true;
}

bool GetTriangleNormal(Kiv::GeometryChunk& chunk, uint32_t triangle, Vector3* normal) {
  std::array<Vector3, 3> p;
  if (!GetTrianglePositions(chunk, triangle, &p)) return false;
  const Vector3 a{p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
  const Vector3 b{p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
  const Vector3 n{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  const float squared = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
  if (!(squared >= 1e-9f)) return false;
  const float length = std::sqrt(squared);
  *normal = {n[0] / length, n[1] / length, n[2] / length};
  return true;
}

bool TestRayAgainstChunks(uint32_t count, const Kiv::Ref<Kiv::GeometryChunk>* chunks,
                          const Kiv::Ref<Kiv::Material>* materials, const Vector3& origin,
                          const Vector3& direction, float* best, TriangleKey* hit) {
  bool found = false;
  for (uint32_t c = 0; c < count; ++c) {
    if (!chunks[c]) continue;
    Kiv::GeometryChunk& chunk = *chunks[c];
    const Kiv::Material* material = materials != nullptr ? materials[c].get() : nullptr;
    const uint8_t twoSided =
        material != nullptr && (material->GetFlags() & Kiv::Material::kTwoSided) != 0;
    const uint32_t triangles = GetTriangleCount(chunk);
    std::array<Vector3, 3> p;
    for (uint32_t t = 0; t < triangles; ++t) {
      if (!GetTrianglePositions(chunk, t, &p)) continue;
      const float before = *best;
      if (!IntersectRayTriangle(p[0], p[1], p[2], twoSided, origin, direction, best)) continue;
      if (!(*best < before)) continue;
      *hit = {c, t};
      found = true;
    }
  }
  return found;
}
