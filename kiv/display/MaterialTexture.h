// Kiv::MaterialTexture: the texture a material holds in one of its texture
// slots, as far as load checks see it: whether it is loaded, whether its
// load failed, a request to load it, and the load state of the resource
// behind it (0 loaded, 1 failed, other values still loading). The null
// display keeps these as plain states that their owner sets; RequestLoad
// counts the requests. Counted (Kiv::ReferenceCount). Activate counts
// activations; Duplicate answers a new texture of the same fields (no
// requests or activations counted; null when none can be made); the
// priority is the resource priority its material gave it. Not thread-safe.
#pragma once

#include <cstdint>
#include <new>

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"

namespace Kiv {

class MaterialTexture : public ReferenceCount {
 public:
  bool IsLoaded() const { return loaded; }
  bool LoadFailed() const { return failed; }
  void RequestLoad() { ++loadRequests; }
  uint32_t ResourceIsAllLoaded() const { return resourceState; }
  void Activate() { ++activations; }
  MaterialTexture* Duplicate() const {
    auto* copy = new (std::nothrow) MaterialTexture;
    if (copy == nullptr) return nullptr;
    copy->name = name;
    copy->kind = kind;
    copy->loaded = loaded;
    copy->failed = failed;
    copy->resourceState = resourceState;
    copy->priority = priority;
    return copy;
  }

  PString name;       // What display records show.
  uint32_t kind = 0;  // 1: a cube map.
  bool loaded = false;
  bool failed = false;
  uint32_t resourceState = 5;
  uint32_t loadRequests = 0;
  uint32_t activations = 0;
  float priority = 0.0f;
};

}  // namespace Kiv
