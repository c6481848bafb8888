// VandruProgressiveMeshInstance: a progressive mesh placed in the scene.
// It carries its own copy of the definition's skeleton (a child of the
// instance), and each chunk is carried by the bone named like the chunk
// (chunks of empty names by none): Render draws such a chunk with its
// bone's world matrix (the bone's pose chained up to the skeleton's root,
// then the instance's matrix) and skips a chunk whose bone is missing. The
// stand-in's bones are culled with their instance. Copies (CreateInstance)
// own a copy of every chunk. AddChunk and MergeChunk are refused.
//
// VandruDynamicProgressiveMeshInstance adds an influence mesh bound to the
// skeleton copy and updated for the display's frame before each render;
// copies copy it and bind it to their own skeleton. Not thread-safe: the
// rendering thread's.
#pragma once

#include <vector>

#include "render/instances/VandruIndexedMeshInstance.h"
#include "render/instances/VandruInfluenceMesh.h"
#include "render/meshes/VandruProgressiveMeshDefinition.h"

class VandruProgressiveMeshInstance : public VandruIndexedMeshInstance {
 public:
  using VandruIndexedMeshInstance::VandruIndexedMeshInstance;

  void Render(Kiv::Display* display, Kiv::ViewPort* viewport, const Kiv::Matrix4& matrix) override;
  VandruIndexedMeshInstance* CreateInstance() const override;
  uint32_t GetID() const override { return 19; }
  bool AddChunk(Kiv::GeometryChunk* chunk, Kiv::Material* material) override;
  bool MergeChunk(Kiv::GeometryChunk* chunk, Kiv::Material* material, uint32_t index) override;

  // The set-up from the "pm" resource.
  void SetUp(VandruGeometryBaseResource* resource,
             const VandruProgressiveMeshDefinition& definition);
  const std::vector<Kiv::ParticleBone*>& GetChunkBones() const { return chunkBones_; }
  const VandruProgressiveMeshDefinition* GetDefinition() const { return definition_; }

 protected:
  // The copy set-up: state, own chunk copies, bones found again by name.
  void InitProgressiveInstance(const VandruProgressiveMeshInstance& source);

  const VandruProgressiveMeshDefinition* definition_ = nullptr;  // The resource's.
  std::vector<Kiv::PString> chunkNames_;
  std::vector<Kiv::ParticleBone*> chunkBones_;  // Per chunk; none when no skeleton.

 private:
  void FindChunkBones();
};

class VandruDynamicProgressiveMeshInstance : public VandruProgressiveMeshInstance,
                                             public VandruInfluenceMesh {
 public:
  using VandruProgressiveMeshInstance::VandruProgressiveMeshInstance;
  ~VandruDynamicProgressiveMeshInstance() override;

  void Render(Kiv::Display* display, Kiv::ViewPort* viewport, const Kiv::Matrix4& matrix) override;
  VandruIndexedMeshInstance* CreateInstance() const override;
  uint32_t GetID() const override { return 20; }

  void SetUp(VandruGeometryBaseResource* resource,
             const VandruProgressiveMeshDefinition& definition);
};
