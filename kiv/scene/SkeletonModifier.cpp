#include "kiv/scene/SkeletonModifier.h"

namespace Kiv {

bool SkeletonModifier::SetBoneOrientation(const PString& name, const Quaternion& orientation) {
  ParticleBone* bone = FindBone(name);
  if (bone == nullptr) return false;
  bone->orientation = orientation.ToArray();
  return true;
}

bool SkeletonModifier::SetBonePosition(const PString& name, const std::array<float, 3>& position) {
  ParticleBone* bone = FindBone(name);
  if (bone == nullptr) return false;
  bone->position = position;
  return true;
}

}  // namespace Kiv
