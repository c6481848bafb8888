#include "kiv/scene/SceneGraph.h"

#include <algorithm>

namespace Kiv {

bool SceneGraph::AddScene(Particle* root) {
  if (root == nullptr || std::find(scenes_.begin(), scenes_.end(), root) != scenes_.end())
    return false;
  scenes_.push_back(root);
  return true;
}

void SceneGraph::UnlinkScene(const Particle* root) {
  scenes_.erase(std::remove(scenes_.begin(), scenes_.end(), root), scenes_.end());
}

}  // namespace Kiv
