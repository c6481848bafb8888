// The LOD definition's steps after a load, its completion, its size and the
// merge of level bones.
#include <algorithm>

#include "render/meshes/MeshSkinning.h"
#include "render/meshes/VandruIndexedMeshLODDefinition.h"

namespace {

constexpr std::string_view kCullMarker = ":cull";

// Where `marker` (lower case) starts in `text`, without regard to ASCII case.
size_t FindIgnoringCase(std::string_view text, std::string_view marker) {
  for (size_t at = 0; at + marker.size() <= text.size(); ++at) {
    if (Kiv::EqualsIgnoreCase(text.substr(at, marker.size()), marker)) return at;
  }
  return std::string_view::npos;
}

}  // namespace

void VandruIndexedMeshLODDefinition::ShowLastDistanceLevel() {
  const size_t last = distances.empty() ? levels.Count() : distances.size() - 1;
  if (last >= levels.Count()) return;
  const Level& level = levels[last];
  chunks_ = level.chunks.Items();
  materials_ = level.materials.Items();
  chunkCount_ = level.chunkCount;
  numVertices_ = level.vertexTotal;
  numFaces_ = level.faceTotal;
  hardwareSkinning_ = level.hardwareSkinning != 0;
}

void VandruIndexedMeshLODDefinition::BuildSkeletonFromBoneTable() {
  if (boneTable.empty()) return;
  std::vector<BoneSource> bones;
  bones.reserve(boneTable.size());
  for (const BoneRecord& bone : boneTable)
    bones.push_back(BoneSource{Kiv::PString(bone.name), Kiv::PString(bone.parentName),
                               bone.position, bone.rotation});
  std::unique_ptr<Kiv::ParticleBone> root = BuildBoneTree(bones, 0.0f);
  if (root != nullptr) rootBone_ = std::move(root);
}

void VandruIndexedMeshLODDefinition::SetupSkinning() {
  SkinPlacer placer;
  for (const BoneRecord& bone : boneTable) {
    for (size_t i = 0; i < bone.levels.size() && i < levels.Count(); ++i) {
      if (bone.levels[i] == nullptr) continue;
      const Level& level = levels[i];
      for (const InfluenceEntry& entry : *bone.levels[i]) {
        if (entry.records.empty() || !level.chunks.HasBlock() ||
            entry.chunkIndex >= level.chunkCount || entry.chunkIndex >= level.chunks.Count())
          continue;
        Kiv::GeometryChunk& chunk = *level.chunks[entry.chunkIndex];
        if ((chunk.GetFlags() & Kiv::GeometryChunk::kSharedOnly) != 0 ||
            chunk.GetNumVertices() < entry.records.size() || !SkinPlacer::CanSkin(chunk))
          continue;
        const uint32_t slot = chunk.AddInfluenceMatrix(&bone);
        for (const InfluenceRecord& record : entry.records)
          placer.Place(chunk, slot, record.vertexIndex, record.weight);
      }
    }
  }
}

Kiv::PString VandruIndexedMeshLODDefinition::InfluenceBoneName(const void* bone) const {
  if (bone == nullptr) return Kiv::PString();
  for (const BoneRecord& record : boneTable) {
    if (&record == bone) return Kiv::PString(record.name.c_str());
  }
  return Kiv::PString();
}

void VandruIndexedMeshLODDefinition::RekeyInfluenceBones(const VandruIndexedMeshDefinition& level,
                                                         const Level& record) {
  const std::vector<Kiv::InfluenceDefinition>& influences = level.GetInfluences();
  for (const Kiv::Ref<Kiv::GeometryChunk>& chunk : record.chunks.Items()) {
    if (!chunk) continue;
    for (uint32_t i = 0; i < chunk->GetNumInfluenceMatrices(); ++i) {
      const void* bone = chunk->GetInfluenceBone(i);
      const auto influence =
          std::find_if(influences.begin(), influences.end(),
                       [bone](const Kiv::InfluenceDefinition& item) { return &item == bone; });
      if (influence == influences.end()) continue;
      const auto table =
          std::find_if(boneTable.begin(), boneTable.end(), [&influence](const BoneRecord& item) {
            return influence->name.View() == item.name;
          });
      if (table != boneTable.end()) chunk->SetInfluenceBone(i, &*table);
    }
  }
}

void VandruIndexedMeshLODDefinition::SplitCullMarkers() {
  for (MeshAttachment& attachment : attachments_) {
    const size_t at = FindIgnoringCase(attachment.name.View(), kCullMarker);
    if (at == std::string_view::npos) continue;
    attachment.name.Truncate(uint32_t(at));
    culledAttachments.push_back(attachment.name);
  }
}

uint32_t VandruIndexedMeshLODDefinition::MergeLevelBones(const VandruIndexedMeshDefinition& level) {
  const std::vector<Kiv::InfluenceDefinition>& influences = level.GetInfluences();
  for (BoneRecord& bone : boneTable) {
    const auto found = std::find_if(influences.begin(), influences.end(),
                                    [&bone](const Kiv::InfluenceDefinition& influence) {
                                      return influence.name.View() == bone.name;
                                    });
    if (found == influences.end()) return kMeshFileFormatError;
    auto list = std::make_unique<LevelInfluences>();
    for (const Kiv::InfluenceDefinition::Group& group : found->groups) {
      InfluenceEntry entry;
      entry.chunkIndex = group.key;
      for (const Kiv::InfluenceDefinition::Entry& from : group.entries)
        entry.records.push_back(InfluenceRecord{
            from.index, from.values[0], {from.values[1], from.values[2], from.values[3]}});
      list->push_back(std::move(entry));
    }
    bone.levels.push_back(std::move(list));
  }
  return kMeshOk;
}

uint32_t VandruIndexedMeshLODDefinition::FinishLoading(const Kiv::Display* display) {
  for (size_t k = 0; k < levelDefinitions_.size(); ++k)
    levelDefinitions_[k]->FinishMaterials(levelResources_[k].get());
  levelDefinitions_.clear();
  levelResources_.clear();
  std::vector<Level>& list = levels.Items();
  for (size_t i = 1; i < list.size(); ++i) {
    for (Kiv::Ref<Kiv::Material>& material : list[i].materials.Items()) {
      if (material == nullptr) continue;
      bool replaced = false;
      for (size_t earlier = 0; earlier < i && !replaced; ++earlier) {
        for (const Kiv::Ref<Kiv::Material>& candidate : list[earlier].materials.Items()) {
          if (candidate == nullptr || candidate->GetTypeName() != material->GetTypeName() ||
              !candidate->Equals(*material))
            continue;
          material = candidate;
          replaced = true;
          break;
        }
      }
    }
  }
  ShowLastDistanceLevel();
  if (display == nullptr) return kMeshOk;
  uint32_t result = kMeshOk;
  for (const Level& level : list) {
    for (const Kiv::Ref<Kiv::GeometryChunk>& chunk : level.chunks.Items()) {
      if (!chunk->InitializeBuffers(display, true)) result = kMeshFileDataError;
    }
  }
  return result;
}

uint64_t VandruIndexedMeshLODDefinition::CalculateDataSize() const {
  uint64_t size = 300 * uint64_t(boneTable.size()) + 52 * uint64_t(attachments_.size()) +
                  4 * uint64_t(distances.capacity()) + 12 * uint64_t(namedMeshes.Count()) +
                  40 * uint64_t(levels.Count());
  for (const Level& level : levels.Items()) {
    for (uint32_t j = 0; j < level.chunkCount && j < level.chunks.Count(); ++j) {
      const Kiv::GeometryChunk& chunk = *level.chunks[j];
      size += uint64_t(chunk.GetVertexSize()) * chunk.GetNumVertices() +
              2 * uint64_t(chunk.GetNumIndices());
    }
  }
  if (!hasBoneTable) return size;
  // Every bone's lists count, not only the first bone's.
  for (const BoneRecord& bone : boneTable) {
    size += 68 + 4 * uint64_t(bone.levels.capacity());
    for (const std::unique_ptr<LevelInfluences>& list : bone.levels) {
      if (list == nullptr) continue;
      size += 8;
      for (const InfluenceEntry& entry : *list) size += 12 + 20 * uint64_t(entry.records.size());
    }
  }
  return size;
}
