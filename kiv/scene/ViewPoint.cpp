#include "kiv/scene/ViewPoint.h"

#include "kiv/display/Display.h"
#include "kiv/scene/Particle.h"

namespace Kiv {

uint32_t ViewPoint::GetFrame() const {
  return display_ != nullptr ? static_cast<uint32_t>(display_->GetFrameCount()) : 0;
}

void ViewPoint::Draw(ViewPort* viewport) {
  std::vector<std::pair<Particle*, Matrix4>> added = std::move(added_);
  added_.clear();
  for (auto& [particle, matrix] : added) particle->Render(display_, viewport, matrix);
}

uint32_t ViewPoint::CalcWantedMipLevelsForCull(const ViewPoint& /*viewPoint*/,
                                               const Particle& /*particle*/,
                                               float /*textureScale*/) {
  return 0;
}

}  // namespace Kiv
