// VandruIndexedMeshResource: the "im" resource, an indexed mesh file loaded
// into a VandruIndexedMeshDefinition (see VandruGeometryBaseResource.h).
// Its instances: a skinned mesh with a skeleton gives a
// VandruDynamicIndexedMeshInstance when it holds influences and none
// otherwise; any other mesh a VandruIndexedMeshInstance.
#pragma once

#include "render/meshes/VandruGeometryBaseResource.h"

class VandruIndexedMeshResource : public VandruGeometryBaseResource {
 public:
  using VandruGeometryBaseResource::VandruGeometryBaseResource;

  uint64_t CalculateSize() const override { return sizeof(*this); }
  VandruIndexedMeshInstance* CreateMeshInstance() override;

 protected:
  uint32_t Load(const char* path) override;
};
