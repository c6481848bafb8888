// BXSpecFactory: makes the spec of one kind of asset.
//
// A factory has a `name`; SpecRegistry::CreateSpec picks the registered
// factory whose name equals the "kind" tag of the asset's configuration (see
// foundation/SpecRegistry.h). Create makes a new spec from the asset's KUID,
// content set name, configuration soup, parent folder and folder name, or
// answers null when it cannot; the registry owns what it answers. Create is
// called under the registry's lock, so it must not wait for other threads
// that use the registry.
//
// Ownership: a factory added with SpecRegistry::AddFactory belongs to that
// registry, which deletes it in ReleaseAll. A factory installed as the
// default factory is not owned by the registry. Destroying a factory takes
// it out of the global registry's factory list and clears the registry's
// default factory when that was this one, so the registry never keeps a
// dangling factory.
#pragma once

#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "kiv/String.h"

class BrindlemoxSpec;

class BXSpecFactory {
 public:
  explicit BXSpecFactory(const Kiv::PString& factoryName) : name(factoryName) {}
  BXSpecFactory(const BXSpecFactory&) = delete;
  BXSpecFactory& operator=(const BXSpecFactory&) = delete;

  virtual BrindlemoxSpec* Create(const KUID& asset, const Kiv::PString& contentSet,
                                 const Soup& config, const Kiv::String& parentFolder,
                                 const Kiv::String& folderName) = 0;
  virtual ~BXSpecFactory();

  Kiv::PString name;
};
