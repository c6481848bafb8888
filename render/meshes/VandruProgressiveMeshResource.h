// VandruProgressiveMeshResource: the "pm" resource, a progressive mesh file
// loaded into a VandruProgressiveMeshDefinition (see
// VandruGeometryBaseResource.h). Its instances: a skinned mesh with a
// skeleton gives a VandruDynamicProgressiveMeshInstance when it holds
// influences and none otherwise; any other mesh a
// VandruProgressiveMeshInstance.
#pragma once

#include "render/meshes/VandruGeometryBaseResource.h"

class VandruProgressiveMeshResource : public VandruGeometryBaseResource {
 public:
  using VandruGeometryBaseResource::VandruGeometryBaseResource;

  uint64_t CalculateSize() const override { return sizeof(*this); }
  VandruIndexedMeshInstance* CreateMeshInstance() override;

 protected:
  uint32_t Load(const char* path) override;
};
