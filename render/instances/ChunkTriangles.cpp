#include "render/instances/ChunkTriangles.h"

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
