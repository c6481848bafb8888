#include "render/instances/VandruDynamicIndexedMeshLODInstance.h"

#include <algorithm>
#include <new>

#include "kiv/display/Display.h"
#include "kiv/scene/ViewPoint.h"
#include "render/instances/MeshInstanceSupport.h"
#include "render/meshes/VandruIndexedMeshLODResource.h"

namespace {

void SetHidden(Kiv::ParticleBone* bone, bool hidden) {
  bone->flags = hidden ? bone->flags | VandruIndexedMeshLODInstance::kHidden
                       : bone->flags & ~VandruIndexedMeshLODInstance::kHidden;
  for (const auto& child : bone->Children()) SetHidden(child.get(), hidden);
}

bool IsAnimatedChildName(std::string_view name) {
  return name.size() > 2 && name[0] == 'b' && name[1] == '.';
}

}  // namespace

VandruDynamicIndexedMeshLODInstance::~VandruDynamicIndexedMeshLODInstance() {
  for (const Level& level : levels_.Items()) {
    const auto& chunks = level.chunks.Items();
    ReleaseInfluenceMatrices(uint32_t(chunks.size()), chunks.data());
  }
}

void VandruDynamicIndexedMeshLODInstance::SetUp(
    VandruIndexedMeshLODResource* resource, const VandruIndexedMeshLODDefinition& definition) {
  SetResource(resource);
  InitFromDefinition(definition);
  animationCutOff_ = definition.animationCutOff;
  SelectCollisionOrLastLevel();
  InitFromBoneTable(definition.boneTable, levels_);
  for (const NamedMesh& named : namedMeshes_.Items()) {
    if (named.animated == 0 || named.levelIndex >= levels_.Count()) continue;
    if (std::find(animatedLevels_.begin(), animatedLevels_.end(), named.levelIndex) !=
        animatedLevels_.end()) {
      continue;
    }
    ReserveInSteps(animatedLevels_, animatedLevels_.size() + 1);
    animatedLevels_.push_back(named.levelIndex);
  }
  if (definition.GetRootBone() != nullptr) {
    rootBone_ = AddChild(definition.GetRootBone()->Clone());
    BindSkeleton(rootBone_);
  }
  CreateAttachmentPoints(definition);
}

void VandruDynamicIndexedMeshLODInstance::Cull(Kiv::ViewPoint& viewPoint,
                                               const Kiv::Matrix4& matrix) {
  VandruIndexedMeshLODInstance::Cull(viewPoint, matrix);
  if (levelPinned_ != 0) FindLOD(GetBoundingSphere(matrix), viewPoint.GetCamera());
}

void VandruDynamicIndexedMeshLODInstance::AnimationUpdate() {
  const float d = GetMeasure();
  const bool wasOff = (animationState_ & kAnimationOff) != 0;
  bool off = wasOff;
  if (d - offset > animationCutOff_) off = true;
  if (d + offset < animationCutOff_) off = false;
  if (off != wasOff) {
    animationState_ = off ? animationState_ | kAnimationOff : animationState_ & ~kAnimationOff;
    for (const auto& child : children_) {
      if (!IsAnimatedChildName(child->name.View())) continue;
      if (((child->flags & kHidden) != 0) != off) SetHidden(child.get(), off);
    }
  }
  if ((animationState_ & (kAnimationOff | kUpdatePending)) == 0) return;
  animationState_ &= ~kUpdatePending;
  Kiv::Display* display = GetDisplay();
  const uint32_t frame = display != nullptr ? uint32_t(display->GetFrameCount()) : 0;
  UpdateLevel(drawnLevel_, frame);
  for (uint32_t level : animatedLevels_) {
    if (level != drawnLevel_) UpdateLevel(level, frame);
  }
}

void VandruDynamicIndexedMeshLODInstance::UpdateLevel(uint32_t level, uint32_t frame) {
  if (level >= levels_.Count()) return;
  const Level& record = levels_[level];
  const auto& chunks = record.chunks.Items();
  Update(std::min<uint32_t>(record.chunkCount, uint32_t(chunks.size())), chunks.data(), frame,
         level);
}

void VandruDynamicIndexedMeshLODInstance::Render(Kiv::Display* display, Kiv::ViewPort* viewport,
                                                 const Kiv::Matrix4& matrix) {
  AnimationUpdate();
  VandruIndexedMeshLODInstance::Render(display, viewport, matrix);
}

void VandruDynamicIndexedMeshLODInstance::DrawGeometry(Kiv::Display* display,
                                                       Kiv::ViewPort* viewport,
                                                       const Kiv::Matrix4& matrix,
                                                       const Kiv::DisplayLightList* lights,
                                                       bool lit) {
  AnimationUpdate();
  VandruIndexedMeshLODInstance::DrawGeometry(display, viewport, matrix, lights, lit);
}

VandruIndexedMeshInstance* VandruDynamicIndexedMeshLODInstance::CreateInstance() const {
  auto* copy = new (std::nothrow) VandruDynamicIndexedMeshLODInstance(context_);
  if (copy != nullptr) copy->AssignInfluences(*this);
  return copy;
}

void VandruDynamicIndexedMeshLODInstance::AssignInfluences(
    const VandruDynamicIndexedMeshLODInstance& source) {
  InitLODInstance(source);
  Create(source);
  animationCutOff_ = source.animationCutOff_;
  animationState_ = source.animationState_ & kUpdatePending;
  animatedLevels_ = source.animatedLevels_;
  if (const Node* root = GetRootNode()) BindSkeleton(FindByName(root->name));
  for (Level& level : levels_.Items()) {
    ChunkList own = ChunkList::Make(level.chunks.Count());
    for (size_t i = 0; i < own.Count(); ++i) own[i] = level.chunks[i];
    level.chunks = own;
  }
  if (currentLevel_ < levels_.Count()) chunks_ = levels_[currentLevel_].chunks;
  for (uint32_t l = 0; l < levels_.Count(); ++l) {
    SelectLevel(l);
    for (uint32_t c = 0; c < chunkCount_ && c < chunks_.Count(); ++c) {
      if (!chunks_[c] || (chunks_[c]->GetFlags() & kSharedOnlyChunk) != 0) continue;
      if (!CloneChunk(c)) continue;
      AssignInfluenceMatrices(1, &chunks_[c]);
    }
  }
}
