#include "render/instances/VandruIndexedMeshLODInstance.h"

#include <new>
#include <unordered_set>

#include "kiv/scene/ViewPoint.h"
#include "render/instances/MeshInstanceSupport.h"
#include "render/meshes/VandruIndexedMeshLODResource.h"

void VandruIndexedMeshLODInstance::SelectLevel(uint32_t level) {
  if (level >= levels_.Count()) return;
  const Level& record = levels_[level];
  chunkCount_ = record.chunkCount;
  chunks_ = record.chunks;
  materials_ = record.materials;
  currentLevel_ = level;
}

bool VandruIndexedMeshLODInstance::ChunkListShared() const {
  const bool levelHoldsIt = currentLevel_ < levels_.Count() && chunks_.HasBlock() &&
                            &levels_[currentLevel_].chunks.Items() == &chunks_.Items();
  return chunks_.Uses() > (levelHoldsIt ? 2 : 1);
}

void VandruIndexedMeshLODInstance::UnshareChunks() {
  VandruIndexedMeshInstance::UnshareChunks();
  if (currentLevel_ < levels_.Count()) levels_[currentLevel_].chunks = chunks_;
}

void VandruIndexedMeshLODInstance::UnshareMaterials() {
  VandruIndexedMeshInstance::UnshareMaterials();
  if (currentLevel_ < levels_.Count()) levels_[currentLevel_].materials = materials_;
}

bool VandruIndexedMeshLODInstance::AddChunk(Kiv::GeometryChunk* /*chunk*/,
                                            Kiv::Material* /*material*/) {
  return false;
}

bool VandruIndexedMeshLODInstance::MergeChunk(Kiv::GeometryChunk* /*chunk*/,
                                              Kiv::Material* /*material*/, uint32_t /*index*/) {
  return false;
}

VandruIndexedMeshLODInstance::~VandruIndexedMeshLODInstance() {
  ReleaseBoneMatrices();
}

void VandruIndexedMeshLODInstance::SetOpacity(float opacity) {
  opacity_ = opacity;
  if (GetLevelCount() > 0) {
    for (const Level& level : levels_.Items()) {
      for (const auto& chunk : level.chunks.Items()) {
        if (chunk) chunk->SetOpacity(GetDisplay(), opacity);
      }
    }
  }
  Kiv::Particle::SetOpacity(opacity);
}

void VandruIndexedMeshLODInstance::SetUpdateLighting(bool update) {
  std::fill(levelFlags_.begin(), levelFlags_.end(), update ? 1 : 0);
  Kiv::LightTarget::SetUpdateLighting(update);
  pendingLighting_ = update ? uint32_t(levels_.Count()) : 0;
}

bool VandruIndexedMeshLODInstance::CalculateLighting(bool force) {
  return LightLevel(drawnLevel_, force);
}

bool VandruIndexedMeshLODInstance::LightLevel(uint32_t level, bool force) {
  if (level >= levels_.Count()) return false;
  const bool marked = level < levelFlags_.size() && levelFlags_[level] != 0;
  if (!marked && !force) return false;
  GatherLights();
  if (!marked) return true;
  levelFlags_[level] = 0;
  if (pendingLighting_ > 0) --pendingLighting_;
  if (pendingLighting_ == 0) ClearUpdateLighting();
  return true;
}

void VandruIndexedMeshLODInstance::LightLevels(bool force) {
  const uint32_t count = force ? GetLevelCount() : uint32_t(levels_.Count());
  for (uint32_t level = 0; level < count; ++level) LightLevel(level, force);
}

void VandruIndexedMeshLODInstance::InitFromDefinition(
    const VandruIndexedMeshLODDefinition& definition) {
  Kiv::ObjectLOD::Init(definition.distances, definition.calcPoint);
  namedMeshes_ = definition.namedMeshes;
  offset = definition.offset;
  multiplier = definition.multiplier;
  renderCutOff_ = definition.renderCutOff;
  attachmentCutOff_ = definition.attachmentCutOff;
  attachmentNames_ = definition.culledAttachments;
  const size_t count = definition.levels.Count();
  levels_ = Kiv::CountedBlock<Level>::Make(count);
  for (size_t l = 0; l < count; ++l) levels_[l] = definition.levels[l];
  levelFlags_.resize(levelFlags_.size() + count, 0);
  for (uint32_t l = 0; l < count; ++l) {
    SelectLevel(l);
    bool unshared = false;
    for (uint32_t c = 0; c < chunkCount_ && c < chunks_.Count(); ++c) {
      if (!chunks_[c] || (chunks_[c]->GetFlags() & kPerInstanceChunk) == 0) continue;
      if (!unshared) UnshareChunks();
      unshared = true;
      CloneChunk(c);
    }
  }
  pendingLighting_ = uint32_t(count);
  TakeShape(definition);
  SelectCollisionOrLastLevel();
  drawnLevel_ = 0;
}

void VandruIndexedMeshLODInstance::SelectCollisionOrLastLevel() {
  const Kiv::PString collision("collision");
  for (const NamedMesh& named : namedMeshes_.Items()) {
    if (named.key != collision) continue;
    SelectLevel(named.levelIndex);
    return;
  }
  if (GetLevelCount() > 0) SelectLevel(GetLevelCount() - 1);
}

void VandruIndexedMeshLODInstance::FindAttachments(const std::vector<Kiv::PString>& names) {
  attachments_.clear();
  for (const Kiv::PString& name : names) {
    if (Kiv::ParticleBone* found = FindByName(name)) attachments_.push_back(found);
  }
}

void VandruIndexedMeshLODInstance::BuildLevelInstances(
    VandruIndexedMeshLODResource* resource, const VandruIndexedMeshLODDefinition& definition) {
  SetResource(resource);
  InitFromDefinition(definition);
  if (definition.GetRootBone() != nullptr) {
    rootBone_ = AddChild(definition.GetRootBone()->Clone());
    AssignBoneMatrices(definition);
  }
  CreateAttachmentPoints(definition);
  FindAttachments(attachmentNames_);
}

namespace {

// Every bone of the tree under `root` by the address of its matrix.
std::unordered_set<const Kiv::Matrix4*> MatricesOf(Kiv::ParticleBone* root) {
  std::unordered_set<const Kiv::Matrix4*> matrices;
  std::vector<Kiv::ParticleBone*> pending{root};
  while (!pending.empty()) {
    Kiv::ParticleBone* bone = pending.back();
    pending.pop_back();
    matrices.insert(&bone->matrix);
    for (const auto& child : bone->Children()) pending.push_back(child.get());
  }
  return matrices;
}

}  // namespace

void VandruIndexedMeshLODInstance::AssignBoneMatrices(
    const VandruIndexedMeshLODDefinition& definition) {
  if (rootBone_ == nullptr) return;
  rootBone_->UpdateMatrices();
  for (const Level& level : levels_.Items()) {
    for (const auto& chunk : level.chunks.Items()) {
      if (!chunk) continue;
      for (uint32_t i = 0; i < chunk->GetNumInfluenceMatrices(); ++i) {
        const Kiv::PString name = definition.InfluenceBoneName(chunk->GetInfluenceBone(i));
        Kiv::ParticleBone* bone = name.Empty() ? nullptr : rootBone_->FindByName(name);
        if (bone == nullptr) continue;
        chunk->AssignInfluenceMatrix(i, &bone->matrix);
        boneMatrices_ = true;
      }
    }
  }
}

void VandruIndexedMeshLODInstance::ReleaseBoneMatrices() {
  if (!boneMatrices_ || rootBone_ == nullptr) return;
  const std::unordered_set<const Kiv::Matrix4*> ours = MatricesOf(rootBone_);
  for (const Level& level : levels_.Items()) {
    for (const auto& chunk : level.chunks.Items()) {
      if (!chunk) continue;
      for (uint32_t i = 0; i < chunk->GetNumInfluenceMatrices(); ++i) {
        if (ours.count(chunk->GetInfluenceMatrix(i)) != 0) chunk->AssignInfluenceMatrix(i, nullptr);
      }
    }
  }
  boneMatrices_ = false;
}

bool VandruIndexedMeshLODInstance::Queueable() const {
  return opacity_ > 0.0f && !HasZeroScale(scale_);
}

void VandruIndexedMeshLODInstance::Cull(Kiv::ViewPoint& viewPoint, const Kiv::Matrix4& matrix) {
  Kiv::BoundingSphere sphere = GetBoundingSphere(matrix);
  sphere.radius += kSphereMargin;
  const float measure = FindLOD(sphere, viewPoint.GetCamera());
  for (Kiv::ParticleBone* child : attachments_) {
    child->flags = attachmentCutOff_ < measure ? child->flags | kHidden : child->flags & ~kHidden;
  }
  Kiv::Particle::Cull(viewPoint, matrix);
  if (boneMatrices_ && rootBone_ != nullptr) rootBone_->UpdateMatrices();
  if (!Queueable()) SetLastCulledFrame(0);
  if (!IsCulledThisFrame(viewPoint)) return;
  if (levelPinned_ == 0) {
    const uint32_t level = FindLODIndex(measure);
    if (level < levels_.Count()) drawnLevel_ = level;
  }
  if (renderCutOff_ > GetMeasure()) return;
  storedMatrix_ = matrix;
  viewPoint.Add(this, matrix);
}

void VandruIndexedMeshLODInstance::Render(Kiv::Display* display, Kiv::ViewPort* viewport,
                                          const Kiv::Matrix4& matrix) {
  if (drawnLevel_ >= levels_.Count()) return;
  LightLevel(drawnLevel_, false);
  const Level& level = levels_[drawnLevel_];
  DrawChunks(display, viewport, scaled_ ? ScaleRows(matrix, scale_) : matrix, level.chunkCount,
             level.chunks, level.materials);
}

void VandruIndexedMeshLODInstance::DrawGeometry(Kiv::Display* display, Kiv::ViewPort* viewport,
                                                const Kiv::Matrix4& matrix,
                                                const Kiv::DisplayLightList* lights, bool lit) {
  if (!Queueable() || drawnLevel_ >= levels_.Count()) return;
  const Level& level = levels_[drawnLevel_];
  DrawChunkGeometry(display, viewport, matrix, lights, lit, level.chunkCount, level.chunks,
                    level.materials);
}

VandruIndexedMeshInstance* VandruIndexedMeshLODInstance::CreateInstance() const {
  auto* copy = new (std::nothrow) VandruIndexedMeshLODInstance(context_);
  if (copy != nullptr) copy->InitLODInstance(*this);
  return copy;
}

void VandruIndexedMeshLODInstance::InitLODInstance(const VandruIndexedMeshLODInstance& source) {
  CopyState(source);
  Kiv::ObjectLOD::InitInstance(source);
  namedMeshes_ = source.namedMeshes_;
  currentLevel_ = source.currentLevel_;
  drawnLevel_ = source.drawnLevel_;
  levelPinned_ = source.levelPinned_;
  pendingLighting_ = source.pendingLighting_;
  renderCutOff_ = source.renderCutOff_;
  attachmentCutOff_ = source.attachmentCutOff_;
  attachmentNames_ = source.attachmentNames_;
  levels_ = Kiv::CountedBlock<Level>::Make(source.levels_.Count());
  for (size_t l = 0; l < levels_.Count(); ++l) levels_[l] = source.levels_[l];
  levelFlags_ = source.levelFlags_;
  SelectLevel(source.currentLevel_);
  FindAttachments(attachmentNames_);
}
