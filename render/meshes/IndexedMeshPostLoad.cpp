// The steps that follow a good load of an indexed mesh, and the material
// and size services of the definition.
#include <vector>

#include "kiv/store/Resource.h"
#include "render/meshes/MeshSkinning.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"

void VandruIndexedMeshDefinition::BuildSkeletonFromInfluences() {
  if (influences_.empty()) return;
  std::vector<BoneSource> bones;
  bones.reserve(influences_.size());
  for (const Kiv::InfluenceDefinition& influence : influences_)
    bones.push_back(BoneSource{influence.name, influence.parentName, influence.position,
                               influence.orientation});
  std::unique_ptr<Kiv::ParticleBone> root = BuildBoneTree(bones, 0.01f);
  if (root != nullptr) rootBone_ = std::move(root);
}

void VandruIndexedMeshDefinition::SetupSkinning() {
  SkinPlacer placer;
  for (const Kiv::InfluenceDefinition& influence : influences_) {
    for (const Kiv::InfluenceDefinition::Group& group : influence.groups) {
      Kiv::GeometryChunk* chunk = GetChunk(group.key);
      if (chunk == nullptr || group.entries.size() > chunk->GetNumVertices() ||
          (chunk->GetFlags() & Kiv::GeometryChunk::kSharedOnly) != 0 ||
          !SkinPlacer::CanSkin(*chunk))
        continue;
      const uint32_t slot = chunk->AddInfluenceMatrix(&influence);
      for (const Kiv::InfluenceDefinition::Entry& entry : group.entries)
        placer.Place(*chunk, slot, entry.index, entry.values[0]);
    }
  }
}

void VandruIndexedMeshDefinition::ComputeMeasures(bool textureScale) {
  MeshMeasures measures;
  measures.Reset(textureScale);
  for (const Kiv::Ref<Kiv::GeometryChunk>& chunk : chunks_) measures.AddChunk(*chunk);
  TakeMeasures(measures);
}

void VandruIndexedMeshDefinition::TakeMeasures(const MeshMeasures& measures) {
  boundsMax_ = measures.BoundsMax();
  boundsMin_ = measures.BoundsMin();
  if (measures.TakesTextureScale()) textureScale_ = measures.TextureScale();
  measures.FitBox(&orientedBox_);
}

void VandruIndexedMeshDefinition::FinishMaterials(const Kiv::Resource* resource) {
  Kiv::String folder;
  if (resource != nullptr) {
    folder = resource->GetName().Str();
    const size_t slash = folder.find_last_of("/\\");
    folder.resize(slash == Kiv::String::npos ? 0 : slash + 1);
  }
  for (const MaterialBinding& binding : bindings_) {
    Kiv::Material* material = GetMaterial(binding.chunk);
    if (material == nullptr) continue;
    for (const MeshTexture& texture : binding.textures)
      material->AddTextureDefinition(texture.kind, Kiv::PString(folder + texture.name.Str()),
                                     texture.amount);
  }
  bindings_.clear();
}

uint32_t VandruIndexedMeshDefinition::LoadMaterialTextures(const Kiv::Display* display) {
  if (display == nullptr) return kMeshOk;
  uint32_t result = kMeshOk;
  for (const Kiv::Ref<Kiv::GeometryChunk>& chunk : chunks_) {
    if (!chunk->InitializeBuffers(display, true)) result = kMeshFileDataError;
  }
  return result;
}

uint64_t VandruIndexedMeshDefinition::CalculateDataSize() const {
  uint64_t size = 252 + 300 * uint64_t(influences_.size()) + 52 * uint64_t(attachments_.size());
  for (const Kiv::Ref<Kiv::GeometryChunk>& chunk : chunks_)
    size += uint64_t(chunk->GetNumVertices()) * chunk->GetVertexSize() +
            2 * uint64_t(chunk->GetNumIndices());
  return size;
}
