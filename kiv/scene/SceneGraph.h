// Kiv::SceneGraph: the scenes a renderer draws, as a list of root
// particles in the order they were added. The graph does not own them:
// whoever adds a scene unlinks it (UnlinkScene) before the root goes.
// Adding a scene twice, or null, is refused (false). Not thread-safe: the
// scene belongs to the rendering thread.
#pragma once

#include <vector>

namespace Kiv {

class Particle;

class SceneGraph {
 public:
  bool AddScene(Particle* root);
  // Nothing happens for a root that is not in the graph.
  void UnlinkScene(const Particle* root);
  const std::vector<Particle*>& GetScenes() const { return scenes_; }

 private:
  std::vector<Particle*> scenes_;
};

}  // namespace Kiv
