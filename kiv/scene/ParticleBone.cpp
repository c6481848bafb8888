#include "kiv/scene/ParticleBone.h"

namespace Kiv {

ParticleBone* ParticleBone::Add(std::unique_ptr<ParticleBone> child) {
  child->parent_ = this;
  children_.push_back(std::move(child));
  return children_.back().get();
}

ParticleBone* ParticleBone::FindByName(const PString& wanted) {
  if (name == wanted) return this;
  for (const std::unique_ptr<ParticleBone>& child : children_) {
    if (ParticleBone* found = child->FindByName(wanted)) return found;
  }
  return nullptr;
}

}  // namespace Kiv
