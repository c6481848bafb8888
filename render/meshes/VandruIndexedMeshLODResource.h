// VandruIndexedMeshLODResource: the "lm" and "lm.txt" resource, a LOD mesh
// file (Load) or its text description (LoadTxt) loaded into a
// VandruIndexedMeshLODDefinition (see VandruGeometryBaseResource.h).
// Completing a load runs the definition's FinishLoading; the material
// checks cover every level's materials. Its instances: a mesh without a
// bone table gives a VandruIndexedMeshLODInstance, one with bones a
// VandruDynamicIndexedMeshLODInstance, one with an empty bone table none.
#pragma once

#include "render/meshes/VandruGeometryBaseResource.h"
#include "render/meshes/VandruIndexedMeshLODDefinition.h"

class VandruIndexedMeshLODResource : public VandruGeometryBaseResource {
 public:
  using VandruGeometryBaseResource::VandruGeometryBaseResource;

  uint64_t CalculateSize() const override { return sizeof(*this); }
  VandruIndexedMeshInstance* CreateMeshInstance() override;
  uint64_t CalculateDataSize() const override;
  VandruIndexedMeshLODDefinition* GetLODDefinition() const {
    return static_cast<VandruIndexedMeshLODDefinition*>(definition_.get());
  }

 protected:
  uint32_t Load(const char* path) override;
  uint32_t LoadTxt(const char* path) override;
  uint32_t FinishDefinition() override;
  std::vector<std::vector<Kiv::Ref<Kiv::Material>>> MaterialLists() const override;
};
