// Kiv::ViewPoint: one view of the scene for one frame. Culling adds the
// particles to draw, each with its world matrix; Draw renders them in the
// order they were added and forgets them. The frame is the display's frame
// count (BeginFrame) truncated to 32 bits, never 0 while a frame has begun.
// CalcWantedMipLevelsForCull answers the texture level a particle wants:
// the stand-in loads every level, so 0. The display is not owned and must
// outlive the view point. Not thread-safe.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "kiv/basics/Matrix4.h"
#include "kiv/scene/Camera.h"

namespace Kiv {

class Display;
class Particle;
struct ViewPort;

class ViewPoint {
 public:
  ViewPoint(Display* display, const Camera& camera) : display_(display), camera_(camera) {}

  Display* GetDisplay() const { return display_; }
  const Camera& GetCamera() const { return camera_; }
  void SetCamera(const Camera& camera) { camera_ = camera; }
  uint32_t GetFrame() const;

  void Add(Particle* particle, const Matrix4& matrix) { added_.emplace_back(particle, matrix); }
  const std::vector<std::pair<Particle*, Matrix4>>& GetAdded() const { return added_; }
  void Draw(ViewPort* viewport);

  static uint32_t CalcWantedMipLevelsForCull(const ViewPoint& viewPoint, const Particle& particle,
                                             float textureScale);

 private:
  Display* display_;
  Camera camera_;
  std::vector<std::pair<Particle*, Matrix4>> added_;
};

}  // namespace Kiv
