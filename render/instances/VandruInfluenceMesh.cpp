#include "render/instances/VandruInfluenceMesh.h"

#include <algorithm>

#include "kiv/Log.h"

namespace {

using Kiv::Matrix4;

// Scales rows 1 to 3 of a bone's own matrix by its scale, when it has one.
bool BoneScale(const Kiv::ParticleBone* bone, std::array<float, 3>* scale) {
  if (bone == nullptr || bone->kind != Kiv::ParticleBone::kScaledBone) return false;
  if (bone->scaleSuppressed != 0) return false;
  *scale = bone->scale;
  return true;
}

Kiv::Quaternion LocalOrientation(const VandruInfluenceMesh::Node& node) {
  if (node.bone == nullptr) return node.bindOrientation;
  return Kiv::Quaternion::FromArray(node.bone->orientation);
}

const std::array<float, 3>& LocalPosition(const VandruInfluenceMesh::Node& node) {
  return node.bone != nullptr ? node.bone->position : node.bindPosition;
}

VandruInfluenceMesh::Node MakeNode(const Kiv::PString& name, const Kiv::PString& parentName,
                                   const std::array<float, 3>& position,
                                   const Kiv::Matrix3& rotation) {
  VandruInfluenceMesh::Node node;
  node.name = name;
  node.parentName = parentName;
  node.bindPosition = position;
  node.bindOrientation.Set(rotation);
  return node;
}

}  // namespace

void VandruInfluenceMesh::InitFromInfluences(uint32_t count,
                                             const Kiv::InfluenceDefinition* influences,
                                             uint8_t hardwareSkinning, uint32_t chunkCount,
                                             Chunks chunks) {
  nodes_.clear();
  frameStamps_.clear();
  root_ = nullptr;
  nodes_.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const Kiv::InfluenceDefinition& influence = influences[i];
    Node node = MakeNode(influence.name, influence.parentName, influence.position,
                         influence.orientation);
    Group group;
    group.hardwareSkinning = hardwareSkinning;
    if (hardwareSkinning == 0) {
      for (const Kiv::InfluenceDefinition::Group& source : influence.groups) {
        Entry entry;
        entry.chunkIndex = source.key;
        entry.records.reserve(source.entries.size());
        for (const Kiv::InfluenceDefinition::Entry& e : source.entries) {
          entry.records.push_back({e.index, e.values[0], {e.values[1], e.values[2], e.values[3]}});
        }
        group.entries.push_back(std::move(entry));
      }
    }
    node.groups.push_back(std::move(group));
    frameStamps_.push_back(0);
    nodes_.push_back(std::move(node));
  }
  if (hardwareSkinning != 0) AssignInfluenceMatrices(chunkCount, chunks);
  LinkNodes();
}

void VandruInfluenceMesh::InitFromBoneTable(
    const std::vector<VandruIndexedMeshLODDefinition::BoneRecord>& table, const Levels& levels) {
  nodes_.clear();
  frameStamps_.clear();
  root_ = nullptr;
  nodes_.reserve(table.size());
  for (const VandruIndexedMeshLODDefinition::BoneRecord& bone : table) {
    Node node = MakeNode(Kiv::PString(bone.name), Kiv::PString(bone.parentName),
                         bone.position, bone.rotation);
    for (size_t g = 0; g < bone.levels.size(); ++g) {
      Group group;
      group.hardwareSkinning = g < levels.Count() ? levels[g].hardwareSkinning : 0;
      frameStamps_.push_back(0);
      if (group.hardwareSkinning == 0 && bone.levels[g]) {
        for (const VandruIndexedMeshLODDefinition::InfluenceEntry& source : *bone.levels[g]) {
          Entry entry;
          entry.chunkIndex = source.chunkIndex;
          for (const auto& r : source.records)
            entry.records.push_back({r.vertexIndex, r.weight, r.position});
          group.entries.push_back(std::move(entry));
        }
      }
      node.groups.push_back(std::move(group));
    }
    nodes_.push_back(std::move(node));
  }
  // Display-skinned levels read the matrices in place, so they are
  // assigned once the node array stands.
  for (size_t g = 0; g < levels.Count(); ++g) {
    const VandruIndexedMeshLODDefinition::Level& level = levels[g];
    if (level.hardwareSkinning == 0) continue;
    const auto& chunks = level.chunks.Items();
    AssignInfluenceMatrices(uint32_t(chunks.size()), chunks.data());
  }
  LinkNodes();
}

void VandruInfluenceMesh::LinkNodes() {
  root_ = nullptr;
  for (Node& node : nodes_) node.children.clear();
  for (size_t i = 0; i < nodes_.size(); ++i) {
    Node& node = nodes_[i];
    if (node.parentName.Empty()) {
      if (root_ != nullptr) {
        Kiv::Log::Printf("VandruInfluenceMesh::LinkNodes> bone '%s' is left out: '%s' is the root",
                         root_->name.Str().c_str(), node.name.Str().c_str());
      }
      root_ = &node;
      continue;
    }
    Node* parent = nullptr;
    for (size_t j = 0; j < nodes_.size() && parent == nullptr; ++j) {
      if (j != i && nodes_[j].name == node.parentName) parent = &nodes_[j];
    }
    if (parent != nullptr) {
      parent->children.push_back(&node);
      continue;
    }
    Kiv::Log::Printf("VandruInfluenceMesh::LinkNodes> bone '%s' has no parent '%s'",
                     node.name.Str().c_str(), node.parentName.Str().c_str());
  }
}

void VandruInfluenceMesh::BindSkeleton(Kiv::ParticleBone* skeleton) {
  skeleton_ = skeleton;
  for (Node& node : nodes_) {
    node.bone = nullptr;
    if (skeleton == nullptr) continue;
    node.bone = node.name == skeleton->name ? skeleton : skeleton->FindByName(node.name);
  }
  if (root_ != nullptr) BindNode(*root_, Matrix4{});
}

void VandruInfluenceMesh::BindNode(Node& node, const Matrix4& parent) {
  const Matrix4 world = Kiv::MultiplyMatrices(
      Kiv::RotationTranslation(LocalOrientation(node), LocalPosition(node)), parent);
  node.skinMatrix = world;
  if (node.bone != nullptr) Kiv::Invert(world, &node.inverseBindMatrix);
  for (Node* child : node.children) BindNode(*child, world);
}

bool VandruInfluenceMesh::HasGroup(uint32_t group) const {
  return !nodes_.empty() && group < nodes_[0].groups.size() && group < frameStamps_.size();
}

bool VandruInfluenceMesh::IsDisplaySkinned(uint32_t group) const {
  return nodes_[0].groups[group].hardwareSkinning != 0;
}

void VandruInfluenceMesh::ResetPositions(uint32_t chunkCount, Chunks chunks, uint32_t group) {
  if (!HasGroup(group) || IsDisplaySkinned(group)) return;
  for (uint32_t c = 0; c < chunkCount; ++c) {
    if (!chunks[c]) continue;
    float* positions = chunks[c]->GetFloats(Kiv::GeometryChunk::kPosition);
    if (positions == nullptr) continue;
    std::fill(positions, positions + size_t(chunks[c]->GetNumVertices()) * 3, 0.0f);
  }
}

void VandruInfluenceMesh::Update(uint32_t chunkCount, Chunks chunks, uint32_t frameStamp,
                                 uint32_t group) {
  if (!HasGroup(group)) return;
  if (frameStamp != 0 && frameStamps_[group] == frameStamp) return;
  frameStamps_[group] = frameStamp;
  ResetPositions(chunkCount, chunks, group);
  if (root_ == nullptr) return;
  if (IsDisplaySkinned(group)) {
    UpdateMatrices(*root_, Matrix4{});
    return;
  }
  UpdatePositions(*root_, Kiv::Transformation{}, chunkCount, chunks, group);
}

void VandruInfluenceMesh::UpdateMatrices(Node& node, const Matrix4& parent) {
  Matrix4 world = Kiv::MultiplyMatrices(
      Kiv::RotationTranslation(LocalOrientation(node), LocalPosition(node)), parent);
  node.skinMatrix = world;
  for (Node* child : node.children) UpdateMatrices(*child, world);
  if (node.bone == nullptr) return;
  std::array<float, 3> scale;
  if (BoneScale(node.bone, &scale)) {
    for (int row = 0; row < 3; ++row) {
      for (int c = 0; c < 4; ++c) world.m[row * 4 + c] *= scale[row];
    }
  }
  node.skinMatrix = Kiv::MultiplyMatrices(node.inverseBindMatrix, world);
}

void VandruInfluenceMesh::UpdatePositions(Node& node, const Kiv::Transformation& parent,
                                          uint32_t chunkCount, Chunks chunks, uint32_t group) {
  Kiv::Transformation world = Kiv::Transformation::MultiplyTransform(
      parent, LocalOrientation(node).ToMatrix(), LocalPosition(node));
  for (Node* child : node.children) UpdatePositions(*child, world, chunkCount, chunks, group);
  std::array<float, 3> scale;
  if (BoneScale(node.bone, &scale)) {
    for (int row = 0; row < 3; ++row) {
      for (int c = 0; c < 3; ++c) world.rotation[row * 3 + c] *= scale[row];
    }
  }
  if (group >= node.groups.size()) return;
  for (const Entry& entry : node.groups[group].entries) {
    if (entry.chunkIndex >= chunkCount || !chunks[entry.chunkIndex]) continue;
    Kiv::GeometryChunk& chunk = *chunks[entry.chunkIndex];
    float* positions = chunk.GetFloats(Kiv::GeometryChunk::kPosition);
    if (positions == nullptr) continue;
    const uint32_t vertices = chunk.GetNumVertices();
    for (const WeightRecord& record : entry.records) {
      if (record.vertexIndex >= vertices) continue;
      const std::array<float, 3> p = world.Transform(record.position);
      float* out = positions + size_t(record.vertexIndex) * 3;
      for (int axis = 0; axis < 3; ++axis) out[axis] += record.weight * p[axis];
    }
  }
}

void VandruInfluenceMesh::AssignInfluenceMatrices(uint32_t chunkCount, Chunks chunks) const {
  for (uint32_t c = 0; c < chunkCount; ++c) {
    if (!chunks[c]) continue;
    for (uint32_t i = 0; i < nodes_.size(); ++i)
      chunks[c]->AssignInfluenceMatrix(i, &nodes_[i].skinMatrix);
  }
}

void VandruInfluenceMesh::ReleaseInfluenceMatrices(uint32_t chunkCount, Chunks chunks) const {
  for (uint32_t c = 0; c < chunkCount; ++c) {
    if (!chunks[c]) continue;
    for (uint32_t i = 0; i < nodes_.size(); ++i) {
      if (chunks[c]->GetInfluenceMatrix(i) == &nodes_[i].skinMatrix)
        chunks[c]->AssignInfluenceMatrix(i, nullptr);
    }
  }
}

void VandruInfluenceMesh::Create(const VandruInfluenceMesh& source) {
  nodes_ = source.nodes_;  // Children are pointers into the source: relinked below.
  skeleton_ = nullptr;
  LinkNodes();
  frameStamps_.assign(source.frameStamps_.size(), 0);
}
