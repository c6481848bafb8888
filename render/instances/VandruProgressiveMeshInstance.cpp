#include "render/instances/VandruProgressiveMeshInstance.h"

#include <new>

#include "kiv/basics/Transformation.h"
#include "kiv/display/Display.h"

namespace {

// The bone's pose chained up to its skeleton's root, then `matrix`.
Kiv::Matrix4 BoneWorld(const Kiv::ParticleBone& bone, const Kiv::Matrix4& matrix) {
  Kiv::Matrix4 world;
  for (const Kiv::ParticleBone* b = &bone; b != nullptr; b = b->Parent()) {
    world = Kiv::MultiplyMatrices(
        world, Kiv::RotationTranslation(Kiv::Quaternion::FromArray(b->orientation), b->position));
  }
  return Kiv::MultiplyMatrices(world, matrix);
}

}  // namespace

void VandruProgressiveMeshInstance::SetUp(VandruGeometryBaseResource* resource,
                                          const VandruProgressiveMeshDefinition& definition) {
  SetResource(resource);
  definition_ = &definition;
  SetDefinition(definition);
  chunkNames_ = definition.GetChunkNames();
  if (definition.GetRootBone() != nullptr) {
    rootBone_ = AddChild(definition.GetRootBone()->Clone());
    FindChunkBones();
  }
  CreateAttachmentPoints(definition);
}

void VandruProgressiveMeshInstance::FindChunkBones() {
  chunkBones_.assign(chunkCount_, nullptr);
  if (rootBone_ == nullptr) return;
  for (uint32_t i = 0; i < chunkCount_ && i < chunkNames_.size(); ++i) {
    if (!chunkNames_[i].Empty()) chunkBones_[i] = rootBone_->FindByName(chunkNames_[i]);
  }
}

void VandruProgressiveMeshInstance::Render(Kiv::Display* display, Kiv::ViewPort* viewport,
                                           const Kiv::Matrix4& matrix) {
  const Kiv::Matrix4 scaled = scaled_ ? ScaleRows(matrix, scale_) : matrix;
  CalculateLighting(false);
  if (chunkBones_.empty()) {
    DrawChunks(display, viewport, scaled, chunkCount_, chunks_, materials_);
    return;
  }
  for (uint32_t i = 0; i < chunkCount_ && i < chunks_.Count() && i < materials_.Count(); ++i) {
    Kiv::GeometryChunk* chunk = chunks_[i].get();
    Kiv::Material* material = materials_[i].get();
    const Kiv::ParticleBone* bone = i < chunkBones_.size() ? chunkBones_[i] : nullptr;
    if (chunk == nullptr || material == nullptr || bone == nullptr) continue;
    if (chunk->GetNumFaces() == 0) continue;
    const Kiv::Matrix4 world = BoneWorld(*bone, scaled);
    material->RenderChunk(display, viewport, chunk, &GetLights(), &world, 0);
  }
}

bool VandruProgressiveMeshInstance::AddChunk(Kiv::GeometryChunk* /*chunk*/,
                                             Kiv::Material* /*material*/) {
  return false;
}

bool VandruProgressiveMeshInstance::MergeChunk(Kiv::GeometryChunk* /*chunk*/,
                                               Kiv::Material* /*material*/, uint32_t /*index*/) {
  return false;
}

VandruIndexedMeshInstance* VandruProgressiveMeshInstance::CreateInstance() const {
  auto* copy = new (std::nothrow) VandruProgressiveMeshInstance(context_);
  if (copy != nullptr) copy->InitProgressiveInstance(*this);
  return copy;
}

void VandruProgressiveMeshInstance::InitProgressiveInstance(
    const VandruProgressiveMeshInstance& source) {
  CopyState(source);
  definition_ = source.definition_;
  chunkNames_ = source.chunkNames_;
  UnshareChunks();
  for (uint32_t i = 0; i < chunkCount_; ++i) CloneChunk(i);
  if (!source.chunkBones_.empty()) FindChunkBones();
}

VandruDynamicProgressiveMeshInstance::~VandruDynamicProgressiveMeshInstance() {
  ReleaseInfluenceMatrices(chunkCount_, chunks_.Items().data());
}

void VandruDynamicProgressiveMeshInstance::SetUp(
    VandruGeometryBaseResource* resource, const VandruProgressiveMeshDefinition& definition) {
  VandruProgressiveMeshInstance::SetUp(resource, definition);
  const auto& influences = definition.GetInfluences();
  InitFromInfluences(uint32_t(influences.size()), influences.data(),
                     definition.UsesHardwareSkinning() ? 1 : 0, chunkCount_,
                     chunks_.Items().data());
  BindSkeleton(rootBone_);
}

void VandruDynamicProgressiveMeshInstance::Render(Kiv::Display* display, Kiv::ViewPort* viewport,
                                                  const Kiv::Matrix4& matrix) {
  Kiv::Display* own = GetDisplay();
  const uint32_t frame = own != nullptr ? uint32_t(own->GetFrameCount()) : 0;
  Update(chunkCount_, chunks_.Items().data(), frame, 0);
  VandruProgressiveMeshInstance::Render(display, viewport, matrix);
}

VandruIndexedMeshInstance* VandruDynamicProgressiveMeshInstance::CreateInstance() const {
  auto* copy = new (std::nothrow) VandruDynamicProgressiveMeshInstance(context_);
  if (copy == nullptr) return nullptr;
  copy->InitProgressiveInstance(*this);
  copy->Create(*this);
  copy->BindSkeleton(copy->rootBone_);
  copy->AssignInfluenceMatrices(copy->chunkCount_, copy->chunks_.Items().data());
  return copy;
}
