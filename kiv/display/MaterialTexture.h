// Kiv::MaterialTexture: the texture a material holds in one of its texture
// slots, as far as load checks see it: whether it is loaded, whether its
// load failed, a request to load it, and the load state of the resource
// behind it (0 loaded, 1 failed, other values still loading). The null
// display keeps these as plain states that their owner sets; RequestLoad
// counts the requests. Counted (Kiv::ReferenceCount). Activate counts
// activations; Duplicate answers a new texture of the same fields (no
// requests or activations counted; null when none can be made); the
// priority is the resource priority its material gave it. Upload replaces
// the pixels by a picture of the given size in a display format (5, 1, 3
// or 8 for the bitmap formats 1 to 4); the null display keeps only the
// size and format, and the texture counts as loaded. Not thread-safe.
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

  void Upload(uint32_t width, uint32_t height, uint32_t displayFormat) {
    uploadedWidth = width;
    uploadedHeight = height;
    uploadedFormat = displayFormat;
    loaded = true;
    failed = false;
  }

  PString name;       // What display records show.
  uint32_t kind = 0;  // 1: a cube map.
  bool loaded = false;
  bool failed = false;
  uint32_t resourceState = 5;
  uint32_t loadRequests = 0;
  uint32_t activations = 0;
  float priority = 0.0f;
  uint32_t uploadedWidth = 0;
  uint32_t uploadedHeight = 0;
  uint32_t uploadedFormat = 0;  // 0: nothing uploaded.
};

}  // namespace Kiv
