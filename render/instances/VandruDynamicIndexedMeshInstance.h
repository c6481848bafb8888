// VandruDynamicIndexedMeshInstance: the skinned indexed mesh instance. Its
// influence mesh turns the pose of its own copy of the definition's
// skeleton (a child of the instance) into the skin matrices its chunks
// read, or into software-skinned positions; Render and the geometry draw
// update it for the display's frame first. Chunks it clones carry this instance's matrices,
// so two instances of one mesh do not disturb each other. Copies
// (CreateInstance) copy the influence mesh and bind it to the copy's own
// skeleton. Not thread-safe: the rendering thread's.
#pragma once

#include "render/instances/VandruIndexedMeshInstance.h"
#include "render/instances/VandruInfluenceMesh.h"

class VandruDynamicIndexedMeshInstance : public VandruIndexedMeshInstance,
                                         public VandruInfluenceMesh {
 public:
  using VandruIndexedMeshInstance::VandruIndexedMeshInstance;
  // Leaves no chunk reading this instance's matrices.
  ~VandruDynamicIndexedMeshInstance() override;

  void Render(Kiv::Display* display, Kiv::ViewPort* viewport, const Kiv::Matrix4& matrix) override;
  void DrawGeometry(Kiv::Display* display, Kiv::ViewPort* viewport, const Kiv::Matrix4& matrix,
                    const Kiv::DisplayLightList* lights, bool lit) override;
  VandruIndexedMeshInstance* CreateInstance() const override;
  uint32_t GetID() const override { return 18; }
  bool CloneChunk(uint32_t index) override;

  // The set-up from the "im" resource; the definition has influences and
  // a skeleton.
  void SetUp(VandruGeometryBaseResource* resource, const VandruIndexedMeshDefinition& definition);
  Kiv::ParticleBone* GetSkeletonRoot() const { return rootBone_; }
  // Updates the influence mesh for the display's current frame.
  void UpdateInfluences();
};
