// The steps that follow a good load of an indexed mesh, and the material
// and size services of the definition.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "kiv/store/Resource.h"
#include "render/meshes/MeshSkinning.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"

namespace {

using Vector = std::array<float, 3>;

template <size_t N>
float Distance(const float* a, const float* b) {
  float sum = 0.0f;
  for (size_t i = 0; i < N; ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  return std::sqrt(sum);
}

}  // namespace

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

void VandruIndexedMeshDefinition::ComputeBounds() {
  Vector high{std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest(),
              std::numeric_limits<float>::lowest()};
  Vector low{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
             std::numeric_limits<float>::max()};
  bool any = false;
  for (const Kiv::Ref<Kiv::GeometryChunk>& chunk : chunks_) {
    const auto positions = chunk->GetVector3Array(Kiv::GeometryChunk::kPosition);
    if (!positions) continue;
    for (uint64_t v = 0; v < chunk->GetNumVertices(); ++v) {
      for (int a = 0; a < 3; ++a) {
        high[a] = std::max(high[a], positions[v][a]);
        low[a] = std::min(low[a], positions[v][a]);
      }
      any = true;
    }
  }
  boundsMax_ = any ? high : Vector{0.0f, 0.0f, 0.0f};
  boundsMin_ = any ? low : Vector{0.0f, 0.0f, 0.0f};
}

void VandruIndexedMeshDefinition::ComputeTextureScale() {
  double sum = 0.0, weights = 0.0;
  float largest = 0.0f;
  for (const Kiv::Ref<Kiv::GeometryChunk>& chunk : chunks_) {
    const auto p = chunk->GetVector3Array(Kiv::GeometryChunk::kPosition);
    const auto t = chunk->GetVector2Array(Kiv::GeometryChunk::kTexCoord0);
    const uint16_t* index = chunk->GetIndexArray();
    const uint32_t count = chunk->GetNumIndices();
    if (!p || !t || index == nullptr || count < 3) continue;
    for (uint32_t i = 0; i + 2 < count; i += 3) {
      const uint32_t i0 = index[i], i1 = index[i + 1], i2 = index[i + 2];
      const float u = Distance<2>(t[i1], t[i0]), v = Distance<2>(t[i2], t[i0]);
      if (!(u * v > 0.00001f)) continue;
      const float a = Distance<3>(p[i1], p[i0]), b = Distance<3>(p[i2], p[i0]);
      const float m = a * b * 0.5f, ratioA = a / u, ratioB = b / v;
      sum += double(m) * ratioA + double(m) * ratioB;
      weights += double(m);
      largest = std::max(largest, std::max(ratioA, ratioB));
    }
  }
  if (!(weights > 0.0)) {
    textureScale_ = 0.0f;
    return;
  }
  textureScale_ = std::min(float(8.0 * (sum / (2.0 * weights))), largest);
}

void VandruIndexedMeshDefinition::ComputeOrientedBox() {
  std::vector<float> corners;
  corners.reserve(chunks_.size() * 24);
  for (const Kiv::Ref<Kiv::GeometryChunk>& chunk : chunks_) {
    const auto positions = chunk->GetVector3Array(Kiv::GeometryChunk::kPosition);
    if (!positions) continue;
    std::vector<float> tight;
    tight.reserve(3 * uint64_t(chunk->GetNumVertices()));
    for (uint64_t v = 0; v < chunk->GetNumVertices(); ++v)
      tight.insert(tight.end(), positions[v], positions[v] + 3);
    Kiv::OrientedBox box;
    box.Fit(tight.data(), chunk->GetNumVertices());
    for (const Vector& corner : box.CalcCorners())
      corners.insert(corners.end(), corner.begin(), corner.end());
  }
  orientedBox_.Fit(corners.data(), corners.size() / 3);
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
