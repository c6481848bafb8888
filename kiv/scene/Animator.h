// Kiv::Animator: the animations playing on one skeleton, as far as the
// tool needs them: Add checks that an animation can be played and keeps
// it; nothing is ever played back (the tool draws no frames), so an
// animation file's contents are not read.
//
// Add(name, mode, weight) answers kAdded, kNoSkeleton when the animator has
// no skeleton modifier or its skeleton has no bones, or kNoResource when
// the animator's resource database holds no file of that name (looked up
// as ResourceDatabase::Get does, without regard to case; a database with
// an empty name takes the name as a path). The display, database and
// skeleton modifier are not owned and must outlive the animator. Not
// thread-safe.
#pragma once

#include <cstdint>
#include <vector>

#include "kiv/PString.h"

namespace Kiv {

class Display;
class ResourceDatabase;
class SkeletonModifier;

class Animator {
 public:
  enum Result : uint32_t { kAdded = 0, kNoSkeleton = 2, kNoResource = 3, kNoObserver = 4 };
  struct Animation {
    PString name;
    uint32_t mode = 0;
    float weight = 0.0f;
  };

  Animator(Display* display, ResourceDatabase* database, SkeletonModifier* skeleton)
      : display_(display), database_(database), skeleton_(skeleton) {}
  virtual ~Animator() = default;
  Animator(const Animator&) = delete;
  Animator& operator=(const Animator&) = delete;

  uint32_t Add(const PString& name, uint32_t mode, float weight);
  const std::vector<Animation>& GetAnimations() const { return animations_; }
  Display* GetDisplay() const { return display_; }

 private:
  Display* display_;
  ResourceDatabase* database_;
  SkeletonModifier* skeleton_;
  std::vector<Animation> animations_;
};

}  // namespace Kiv
