// Kiv::MaterialTexture: the texture a material holds in one of its texture
// slots, as far as load checks see it: whether it is loaded, whether its
// load failed, a request to load it, and the load state of the resource
// behind it (0 loaded, 1 failed, other values still loading). The null
// display keeps these as plain states that their owner sets; RequestLoad
// counts the requests. Counted (Kiv::ReferenceCount). Not thread-safe.
#pragma once

#include <cstdint>

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"

namespace Kiv {

class MaterialTexture : public ReferenceCount {
 public:
  bool IsLoaded() const { return loaded; }
  bool LoadFailed() const { return failed; }
  void RequestLoad() { ++loadRequests; }
  uint32_t ResourceIsAllLoaded() const { return resourceState; }

  PString name;       // What display records show.
  uint32_t kind = 0;  // 1: a cube map.
  bool loaded = false;
  bool failed = false;
  uint32_t resourceState = 5;
  uint32_t loadRequests = 0;
};

}  // namespace Kiv
