#include "render/instances/MeshInstanceSupport.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace {

constexpr float kTolerance = 1e-4f;

float Dot(const Vector3& a, const Vector3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

}  // namespace

Kiv::GeometryChunk* CloneGeometryChunk(const Kiv::GeometryChunk& chunk) {
  // A copy shares the interleaved vertex block; a clone gets its own.
  Kiv::GeometryChunk* copy = chunk.CreateInstance();
  if (copy == nullptr || copy->DuplicateVertexArray()) return copy;
  delete copy;  // No reference was taken yet.
  return nullptr;
}

bool HasZeroScale(const std::array<float, 3>& scale) {
  return scale[0] == 0.0f || scale[1] == 0.0f || scale[2] == 0.0f;
}

bool LineMeetsBox(const Kiv::OrientedBox& box, const Vector3& point, const Vector3& direction) {
  float low = -std::numeric_limits<float>::infinity();
  float high = std::numeric_limits<float>::infinity();
  bool anyAxis = false;
  for (int a = 0; a < 3; ++a) {
    const Vector3& axis = box.axes[a];
    const float length = std::sqrt(Dot(axis, axis));
    if (!(length > 0.0f)) continue;
    anyAxis = true;
    const Vector3 offset{point[0] - box.center[0], point[1] - box.center[1],
                         point[2] - box.center[2]};
    const float origin = Dot(offset, axis) / length;
    const float along = Dot(direction, axis) / length;
    const float extent = box.extents[a] + kTolerance;
    if (std::fabs(along) < 1e-12f) {
      if (!(std::fabs(origin) <= extent)) return false;
      continue;
    }
    float t0 = (-extent - origin) / along;
    float t1 = (extent - origin) / along;
    if (t0 > t1) std::swap(t0, t1);
    low = std::max(low, t0);
    high = std::min(high, t1);
    if (!(low <= high)) return false;
  }
  return anyAxis;
}

size_t CapacityInStepsOfTen(size_t wanted) { return (wanted + 9) / 10 * 10; }

void ReserveInSteps(std::vector<uint32_t>& array, size_t wanted) {
  if (wanted > array.capacity()) array.reserve(CapacityInStepsOfTen(wanted));
}
