#include "tetlib/TETLib.h"

#include "kiv/ResourceSystem.h"

void PurgeUnusedResources() {
  if (Kiv::ResourceSystem* resources = Kiv::ResourceSystem::Current())
    resources->DumpUnusedResourcesFromCache();
}
