#include "kiv/scene/ParticleBone.h"

#include <utility>
#include <vector>

#include "kiv/basics/Quaternion.h"
#include "kiv/basics/Transformation.h"

namespace Kiv {

ParticleBone::~ParticleBone() {
  std::vector<std::unique_ptr<ParticleBone>> pending = std::move(children_);
  while (!pending.empty()) {
    std::unique_ptr<ParticleBone> bone = std::move(pending.back());
    pending.pop_back();
    for (std::unique_ptr<ParticleBone>& child : bone->children_)
      pending.push_back(std::move(child));
    bone->children_.clear();
  }
}

std::unique_ptr<ParticleBone> ParticleBone::Clone() const {
  auto copy = std::make_unique<ParticleBone>();
  std::vector<std::pair<const ParticleBone*, ParticleBone*>> pending{{this, copy.get()}};
  while (!pending.empty()) {
    auto [from, to] = pending.back();
    pending.pop_back();
    to->name = from->name;
    to->kind = from->kind;
    to->scale = from->scale;
    to->scaleSuppressed = from->scaleSuppressed;
    to->flags = from->flags;
    to->position = from->position;
    to->orientation = from->orientation;
    to->visibleBox = from->visibleBox;
    to->matrix = from->matrix;
    for (const std::unique_ptr<ParticleBone>& child : from->children_)
      pending.emplace_back(child.get(), to->Add(std::make_unique<ParticleBone>()));
  }
  return copy;
}

size_t ParticleBone::CountBones() const {
  size_t count = 0;
  std::vector<const ParticleBone*> pending{this};
  while (!pending.empty()) {
    const ParticleBone* bone = pending.back();
    pending.pop_back();
    ++count;
    for (const std::unique_ptr<ParticleBone>& child : bone->children_)
      pending.push_back(child.get());
  }
  return count;
}

void ParticleBone::UpdateMatrices() {
  std::vector<ParticleBone*> pending{this};
  while (!pending.empty()) {
    ParticleBone* bone = pending.back();
    pending.pop_back();
    const Matrix4 pose =
        RotationTranslation(Quaternion::FromArray(bone->orientation), bone->position);
    bone->matrix = bone == this || bone->parent_ == nullptr
                       ? pose
                       : MultiplyMatrices(pose, bone->parent_->matrix);
    for (const std::unique_ptr<ParticleBone>& child : bone->children_)
      pending.push_back(child.get());
  }
}

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
