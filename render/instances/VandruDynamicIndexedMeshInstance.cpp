#include "render/instances/VandruDynamicIndexedMeshInstance.h"

#include <new>

#include "kiv/display/Display.h"

VandruDynamicIndexedMeshInstance::~VandruDynamicIndexedMeshInstance() {
  ReleaseInfluenceMatrices(chunkCount_, chunks_.Items().data());
}

void VandruDynamicIndexedMeshInstance::SetUp(VandruGeometryBaseResource* resource,
                                             const VandruIndexedMeshDefinition& definition) {
  SetResource(resource);
  SetDefinition(definition);
  const auto& influences = definition.GetInfluences();
  InitFromInfluences(uint32_t(influences.size()), influences.data(),
                     definition.UsesHardwareSkinning() ? 1 : 0, chunkCount_,
                     chunks_.Items().data());
  if (definition.GetRootBone() != nullptr) {
    rootBone_ = AddChild(definition.GetRootBone()->Clone());
    BindSkeleton(rootBone_);
  }
  CreateAttachmentPoints(definition);
}

void VandruDynamicIndexedMeshInstance::UpdateInfluences() {
  Kiv::Display* display = GetDisplay();
  const uint32_t frame = display != nullptr ? uint32_t(display->GetFrameCount()) : 0;
  Update(chunkCount_, chunks_.Items().data(), frame, 0);
}

void VandruDynamicIndexedMeshInstance::Render(Kiv::Display* display, Kiv::ViewPort* viewport,
                                              const Kiv::Matrix4& matrix) {
  UpdateInfluences();
  VandruIndexedMeshInstance::Render(display, viewport, matrix);
}

void VandruDynamicIndexedMeshInstance::DrawGeometry(Kiv::Display* display,
                                                    Kiv::ViewPort* viewport,
                                                    const Kiv::Matrix4& matrix,
                                                    const Kiv::DisplayLightList* lights,
                                                    bool lit) {
  UpdateInfluences();
  VandruIndexedMeshInstance::DrawGeometry(display, viewport, matrix, lights, lit);
}

VandruIndexedMeshInstance* VandruDynamicIndexedMeshInstance::CreateInstance() const {
  auto* copy = new (std::nothrow) VandruDynamicIndexedMeshInstance(context_);
  if (copy == nullptr) return nullptr;
  copy->CopyState(*this);
  copy->Create(*this);
  copy->BindSkeleton(copy->rootBone_);
  for (uint32_t i = 0; i < copy->chunkCount_; ++i) {
    const auto& chunk = copy->chunks_[i];
    if (chunk && (chunk->GetFlags() & kPerInstanceChunk) != 0) copy->CloneChunk(i);
  }
  copy->AssignInfluenceMatrices(copy->chunkCount_, copy->chunks_.Items().data());
  return copy;
}

bool VandruDynamicIndexedMeshInstance::CloneChunk(uint32_t index) {
  if (!VandruIndexedMeshInstance::CloneChunk(index)) return false;
  AssignInfluenceMatrices(1, &chunks_[index]);
  return true;
}
