#include "kiv/scene/Particle.h"

#include <algorithm>

#include "kiv/scene/ViewPoint.h"

namespace Kiv {

Particle::Particle(const Particle& other)
    : name_(other.name_),
      flags_(other.flags_),
      lastCulledFrame_(other.lastCulledFrame_),
      particleOpacity_(other.particleOpacity_) {}

Particle& Particle::operator=(const Particle& other) {
  name_ = other.name_;
  flags_ = other.flags_;
  lastCulledFrame_ = other.lastCulledFrame_;
  particleOpacity_ = other.particleOpacity_;
  return *this;
}

bool Particle::AddChild(Particle* child) {
  if (child == nullptr || child == this ||
      std::find(children_.begin(), children_.end(), child) != children_.end())
    return false;
  children_.push_back(child);
  return true;
}

void Particle::RemoveChild(const Particle* child) {
  children_.erase(std::remove(children_.begin(), children_.end(), child), children_.end());
}

void Particle::Cull(ViewPoint& viewPoint, const Matrix4& /*matrix*/) {
  lastCulledFrame_ = viewPoint.GetFrame();
}

void Particle::Render(Display* /*display*/, ViewPort* /*viewport*/, const Matrix4& /*matrix*/) {}

}  // namespace Kiv
