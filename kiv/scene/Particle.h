// Kiv::Particle: a drawable object of the scene. It has a name, an opacity
// (1.0 when new), a flag byte and the frame it was last culled in.
// Cull marks it culled in the view point's frame (the stand-in sees every
// particle); Render draws it with a world matrix (the base draws nothing).
// Children (AddChild, in the order added; a particle is added once) are
// not owned: whoever owns a child removes it (RemoveChild) before it goes.
// A copy starts without children; assignment copies the settings and
// leaves the children as they are. Not thread-safe: the scene belongs to
// the rendering thread.
#pragma once

#include <cstdint>
#include <vector>

#include "kiv/PString.h"
#include "kiv/basics/Matrix4.h"

namespace Kiv {

class Display;
class ViewPoint;
struct ViewPort;

class Particle {
 public:
  Particle() = default;
  virtual ~Particle() = default;
  Particle(const Particle& other);
  Particle& operator=(const Particle& other);

  virtual void Cull(ViewPoint& viewPoint, const Matrix4& matrix);
  virtual void Render(Display* display, ViewPort* viewport, const Matrix4& matrix);
  virtual void SetOpacity(float opacity) { particleOpacity_ = opacity; }

  const PString& GetName() const { return name_; }
  void SetName(const PString& name) { name_ = name; }
  uint8_t GetFlags() const { return flags_; }
  void SetFlags(uint8_t flags) { flags_ = flags; }
  uint32_t GetLastCulledFrame() const { return lastCulledFrame_; }
  void SetLastCulledFrame(uint32_t frame) { lastCulledFrame_ = frame; }
  float GetParticleOpacity() const { return particleOpacity_; }

  // False (nothing added) for null, this particle or a child it has.
  bool AddChild(Particle* child);
  void RemoveChild(const Particle* child);
  const std::vector<Particle*>& GetChildren() const { return children_; }

 private:
  PString name_;
  uint8_t flags_ = 0;
  uint32_t lastCulledFrame_ = 0;
  float particleOpacity_ = 1.0f;
  std::vector<Particle*> children_;
};

}  // namespace Kiv
