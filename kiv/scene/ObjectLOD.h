// Kiv::ObjectLOD: picks a level of detail by distance, deterministically.
//
// The measure of a bounding sphere seen from a camera is
//   (distance from the camera to the sphere's calc point) * multiplier + offset,
// the calc point being the sphere's centre (kCenter), its nearest point
// (kNear: the centre distance less the radius, at least 0) or its farthest
// point (kFar: plus the radius). A larger measure is farther away.
// FindLOD stores and answers the measure; FindLODIndex answers (and makes
// current) the last level whose distance is at most the measure, 0 when
// the measure is nearer than every level or there are no levels. Distances
// are as Init got them (ascending). InitInstance copies another's state.
// A plain value; not thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "kiv/scene/Camera.h"

namespace Kiv {

struct BoundingSphere {
  std::array<float, 3> center{0.0f, 0.0f, 0.0f};
  float radius = 0.0f;
};

class ObjectLOD {
 public:
  enum CalcPoint : uint32_t { kCenter = 0, kNear = 1, kFar = 2 };

  void Init(const std::vector<float>& distances, uint32_t calcPoint);
  void InitInstance(const ObjectLOD& source) { *this = source; }

  float FindLOD(const BoundingSphere& sphere, const Camera& camera);
  uint32_t FindLODIndex(float measure);

  uint32_t GetLevelCount() const { return static_cast<uint32_t>(distances_.size()); }
  const std::vector<float>& GetDistances() const { return distances_; }
  float GetMeasure() const { return measure_; }
  uint32_t GetCurrentLevel() const { return currentLevel_; }
  float offset = 0.0f;
  float multiplier = 1.0f;

 private:
  std::vector<float> distances_;
  uint32_t calcPoint_ = kCenter;
  float measure_ = 0.0f;
  uint32_t currentLevel_ = 0;
};

}  // namespace Kiv
