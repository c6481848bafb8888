// VandruIndexedMeshResource: the "im" resource, an indexed mesh file loaded
// into a VandruIndexedMeshDefinition (see VandruGeometryBaseResource.h).
#pragma once

#include "render/meshes/VandruGeometryBaseResource.h"

class VandruIndexedMeshResource : public VandruGeometryBaseResource {
 public:
  using VandruGeometryBaseResource::VandruGeometryBaseResource;

  uint64_t CalculateSize() const override { return sizeof(*this); }

 protected:
  uint32_t Load(const char* path) override;
};
