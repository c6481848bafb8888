#include "kiv/scene/ObjectLOD.h"

#include <algorithm>
#include <cmath>

namespace Kiv {

void ObjectLOD::Init(const std::vector<float>& distances, uint32_t calcPoint) {
  distances_ = distances;
  calcPoint_ = calcPoint;
  measure_ = 0.0f;
  currentLevel_ = 0;
}

float ObjectLOD::FindLOD(const BoundingSphere& sphere, const Camera& camera) {
  float squared = 0.0f;
  for (int i = 0; i < 3; ++i) {
    const float d = camera.position[i] - sphere.center[i];
    squared += d * d;
  }
  float distance = std::sqrt(squared);
  if (calcPoint_ == kNear) distance = std::max(0.0f, distance - sphere.radius);
  if (calcPoint_ == kFar) distance += sphere.radius;
  measure_ = distance * multiplier + offset;
  return measure_;
}

uint32_t ObjectLOD::FindLODIndex(float measure) {
  uint32_t level = 0;
  for (uint32_t i = 1; i < distances_.size(); ++i) {
    if (distances_[i] <= measure) level = i;
  }
  currentLevel_ = level;
  return level;
}

}  // namespace Kiv
