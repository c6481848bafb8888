#include "kiv/scene/Particle.h"

#include "kiv/scene/ViewPoint.h"

namespace Kiv {

void Particle::Cull(ViewPoint& viewPoint, const Matrix4& /*matrix*/) {
  lastCulledFrame_ = viewPoint.GetFrame();
}

void Particle::Render(Display* /*display*/, ViewPort* /*viewport*/, const Matrix4& /*matrix*/) {}

}  // namespace Kiv
