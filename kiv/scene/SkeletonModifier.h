// Kiv::SkeletonModifier: poses the bones of one skeleton by name. It does
// not own the skeleton, which must outlive it. Set* answer false, changing
// nothing, when no bone of that name is in the skeleton (or there is no
// skeleton). Not thread-safe.
#pragma once

#include <array>
#include <cstddef>

#include "kiv/PString.h"
#include "kiv/basics/Quaternion.h"
#include "kiv/scene/ParticleBone.h"

namespace Kiv {

class SkeletonModifier {
 public:
  explicit SkeletonModifier(ParticleBone* skeleton) : skeleton_(skeleton) {}
  virtual ~SkeletonModifier() = default;
  SkeletonModifier(const SkeletonModifier&) = delete;
  SkeletonModifier& operator=(const SkeletonModifier&) = delete;

  ParticleBone* GetSkeleton() const { return skeleton_; }
  size_t GetBoneCount() const { return skeleton_ != nullptr ? skeleton_->CountBones() : 0; }
  ParticleBone* FindBone(const PString& name) const {
    return skeleton_ != nullptr ? skeleton_->FindByName(name) : nullptr;
  }
  bool SetBoneOrientation(const PString& name, const Quaternion& orientation);
  bool SetBonePosition(const PString& name, const std::array<float, 3>& position);

 private:
  ParticleBone* skeleton_;
};

}  // namespace Kiv
