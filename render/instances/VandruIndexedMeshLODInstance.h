// VandruIndexedMeshLODInstance: a LOD mesh definition placed in the scene.
// Each cull measures the instance against the camera (Kiv::ObjectLOD; the
// measure is the camera's distance, see kiv/scene/ObjectLOD.h), picks the
// level to draw unless the level is pinned, hides attachments beyond the
// attachment cut-off (flag bit value 2) and queues the instance; Render
// draws the chosen level.
//
// Levels: the instance keeps its own block of level records, each sharing
// the definition's chunk and material lists until the instance changes
// them. SelectLevel(n) makes level n the instance's chunk and material
// lists (the "selected" level, which validation walks); the drawn level
// (GetDrawnLevel) is level 0 after set-up and what culling picks after.
// Unsharing replaces the selected level's list too, so the level keeps
// what the instance made. AddChunk and MergeChunk are refused.
//
// Set-up (InitFromDefinition) clones the chunks flagged per-instance per
// level, then selects the named mesh "collision" when there is one, else
// the last distance level. Copies (CreateInstance) share the source's
// level lists in a block of their own and select the source's level.
// Unlike the indexed instance's, SetScale here also updates the bounding
// volume, so a scaled instance is culled with its scaled bounds. An
// instance of opacity 0 or below, or of a zero scale, is never queued.
// SetOpacity reaches every chunk of every level.
//
// Lighting: each level has a mark (levelFlags) while it still needs
// lighting. LightLevel(n, force) lights level n when it is marked (the
// mark cleared, the pending count lowered; at 0 the light target's update
// mark is cleared too) or when forced, and answers whether it lit it;
// LightLevels lights every level (every distance level of the measure when
// forced). The light-target part (CalculateLighting) lights the drawn
// level; Render does so before it draws it. SetUpdateLighting marks or
// clears every level. The stand-in lights per instance: lighting gathers
// the scene's lights, and there are no per-chunk lighting records, so no
// chunk is skipped for want of one. DrawGeometry draws the drawn level.
//
// The static instance's chunks read the matrices (ParticleBone::matrix) of
// the instance's own skeleton copy: each chunk's influence slot gets the
// bone named like the definition's bone of that slot. The matrices are
// recomputed at every cull; the destructor leaves no chunk reading them.
// Not thread-safe: the rendering thread's.
#pragma once

#include <vector>

#include "kiv/scene/ObjectLOD.h"
#include "render/instances/VandruIndexedMeshInstance.h"
#include "render/meshes/VandruIndexedMeshLODDefinition.h"

class VandruIndexedMeshLODResource;

class VandruIndexedMeshLODInstance : public VandruIndexedMeshInstance, public Kiv::ObjectLOD {
 public:
  using Level = VandruIndexedMeshLODDefinition::Level;
  using NamedMesh = VandruIndexedMeshLODDefinition::NamedMesh;
  static constexpr uint8_t kHidden = 2;
  static constexpr float kSphereMargin = 5.0f;

  using VandruIndexedMeshInstance::VandruIndexedMeshInstance;
  ~VandruIndexedMeshLODInstance() override;

  void Cull(Kiv::ViewPoint& viewPoint, const Kiv::Matrix4& matrix) override;
  void Render(Kiv::Display* display, Kiv::ViewPort* viewport, const Kiv::Matrix4& matrix) override;
  VandruIndexedMeshInstance* CreateInstance() const override;
  uint32_t GetID() const override { return 21; }
  void SetOpacity(float opacity) override;
  void UnshareChunks() override;
  void UnshareMaterials() override;
  bool AddChunk(Kiv::GeometryChunk* chunk, Kiv::Material* material) override;
  bool MergeChunk(Kiv::GeometryChunk* chunk, Kiv::Material* material, uint32_t index) override;
  void SetUpdateLighting(bool update) override;
  bool CalculateLighting(bool force) override;
  virtual bool LightLevel(uint32_t level, bool force);
  virtual void LightLevels(bool force);
  void DrawGeometry(Kiv::Display* display, Kiv::ViewPort* viewport, const Kiv::Matrix4& matrix,
                    const Kiv::DisplayLightList* lights, bool lit) override;
  virtual void InitFromDefinition(const VandruIndexedMeshLODDefinition& definition);
  // The static instance's set-up from its resource.
  void BuildLevelInstances(VandruIndexedMeshLODResource* resource,
                           const VandruIndexedMeshLODDefinition& definition);

  void SelectLevel(uint32_t level);
  uint32_t GetSelectedLevel() const { return currentLevel_; }
  uint32_t GetDrawnLevel() const { return drawnLevel_; }
  uint32_t GetInstanceLevelCount() const { return static_cast<uint32_t>(levels_.Count()); }
  const Level& GetLevel(uint32_t level) const { return levels_[level]; }
  void SetLevelPinned(bool pinned) { levelPinned_ = pinned ? 1 : 0; }
  uint32_t GetPendingLighting() const { return pendingLighting_; }
  const std::vector<uint8_t>& GetLevelFlags() const { return levelFlags_; }
  const std::vector<Kiv::ParticleBone*>& GetAttachments() const { return attachments_; }

 protected:
  bool ChunkListShared() const override;
  // The copy set-up: this fresh instance takes `source`'s state.
  void InitLODInstance(const VandruIndexedMeshLODInstance& source);
  // The level of the named mesh "collision", else the last distance level.
  void SelectCollisionOrLastLevel();
  void FindAttachments(const std::vector<Kiv::PString>& names);
  bool Queueable() const;
  // Gives every level's chunks the skeleton copy's bone matrices by the
  // definition's bone names; ReleaseBoneMatrices takes them back.
  void AssignBoneMatrices(const VandruIndexedMeshLODDefinition& definition);
  void ReleaseBoneMatrices();

  uint32_t currentLevel_ = 0;
  Kiv::CountedBlock<NamedMesh> namedMeshes_;
  Kiv::CountedBlock<Level> levels_;
  uint32_t drawnLevel_ = 0;
  uint8_t levelPinned_ = 0;
  std::vector<uint8_t> levelFlags_;
  uint32_t pendingLighting_ = 0;
  float renderCutOff_ = 0.0f;
  float attachmentCutOff_ = 0.0f;
  std::vector<Kiv::PString> attachmentNames_;
  std::vector<Kiv::ParticleBone*> attachments_;
  bool boneMatrices_ = false;  // Chunks read the skeleton copy's matrices.
};
