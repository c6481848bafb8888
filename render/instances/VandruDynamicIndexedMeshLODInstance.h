// VandruDynamicIndexedMeshLODInstance: the skinned LOD mesh instance. Its
// influence mesh has one group per level (built from the definition's bone
// table) and is bound to the instance's own copy of the skeleton.
//
// Animation band: with D the LOD measure, O the definition's offset and A
// the animation cut-off, the animation-off state turns on when D - O > A
// and off when D + O < A (nothing changes in between); when it changes,
// every direct child named "b.<something>" and all below it take the
// state as flag bit value 2. Render and the geometry draw then, when the
// state is off or an update is pending, updates the influence mesh for the drawn level and
// every animated level, and draws as the LOD instance does. With a pinned
// level, culling measures once more without the sphere's margin.
//
// Copies (CreateInstance) get their own chunk list per level, their own
// copy of every chunk not flagged shared-only, with influence matrices of
// their own influence mesh, and end on the last level selected, whatever
// the source had selected. Not thread-safe: the rendering thread's.
#pragma once

#include <vector>

#include "render/instances/VandruIndexedMeshLODInstance.h"
#include "render/instances/VandruInfluenceMesh.h"

class VandruDynamicIndexedMeshLODInstance : public VandruIndexedMeshLODInstance,
                                            public VandruInfluenceMesh {
 public:
  static constexpr uint8_t kUpdatePending = 1;
  static constexpr uint8_t kAnimationOff = 2;

  using VandruIndexedMeshLODInstance::VandruIndexedMeshLODInstance;
  ~VandruDynamicIndexedMeshLODInstance() override;

  void Cull(Kiv::ViewPoint& viewPoint, const Kiv::Matrix4& matrix) override;
  void Render(Kiv::Display* display, Kiv::ViewPort* viewport, const Kiv::Matrix4& matrix) override;
  void DrawGeometry(Kiv::Display* display, Kiv::ViewPort* viewport, const Kiv::Matrix4& matrix,
                    const Kiv::DisplayLightList* lights, bool lit) override;
  VandruIndexedMeshInstance* CreateInstance() const override;
  uint32_t GetID() const override { return 22; }

  // The set-up from the "lm" resource.
  void SetUp(VandruIndexedMeshLODResource* resource,
             const VandruIndexedMeshLODDefinition& definition);
  void AnimationUpdate();
  const std::vector<uint32_t>& GetAnimatedLevels() const { return animatedLevels_; }
  uint8_t GetAnimationState() const { return animationState_; }
  void SetUpdatePending() { animationState_ |= kUpdatePending; }

 private:
  void AssignInfluences(const VandruDynamicIndexedMeshLODInstance& source);
  void UpdateLevel(uint32_t level, uint32_t frame);

  std::vector<uint32_t> animatedLevels_;
  float animationCutOff_ = 0.0f;
  uint8_t animationState_ = 0;
};
