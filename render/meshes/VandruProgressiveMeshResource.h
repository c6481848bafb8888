// VandruProgressiveMeshResource: the "pm" resource, a progressive mesh file
// loaded into a VandruProgressiveMeshDefinition (see
// VandruGeometryBaseResource.h).
#pragma once

#include "render/meshes/VandruGeometryBaseResource.h"

class VandruProgressiveMeshResource : public VandruGeometryBaseResource {
 public:
  using VandruGeometryBaseResource::VandruGeometryBaseResource;

  uint64_t CalculateSize() const override { return sizeof(*this); }

 protected:
  uint32_t Load(const char* path) override;
};
