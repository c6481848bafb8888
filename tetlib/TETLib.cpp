#include "tetlib/TETLib.h"

#include "kiv/ResourceSystem.h"

namespace TETLib {

void ReleaseRenderGlobals() {}

}  // namespace TETLib

void PurgeUnusedResources() {
  if (Kiv::ResourceSystem* resources = Kiv::ResourceSystem::Current())
    resources->DumpUnusedResourcesFromCache();
}
