// The steps that follow a good load of an indexed mesh, and the material
// and size services of the definition.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

#include "kiv/store/Resource.h"
#include "render/meshes/MeshSkinning.h"
#include "render/meshes/TextureScaleSum.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"

namespace {

using Vector = std::array<float, 3>;

// Widens [low, high] over `count` positions, in vertex order (the order
// decides which zero a bound keeps when both signs meet). With SSE2 the
// three axes share a vector; maxps and minps keep the bound when the
// comparison fails, as std::max and std::min do.
void ExtendBounds(Kiv::StridedArray<float> positions, uint64_t count, Vector& high, Vector& low) {
  float hx = high[0], hy = high[1], hz = high[2], lx = low[0], ly = low[1], lz = low[2];
  uint64_t v = 0;
#if defined(__SSE2__)
  // Four floats are read a vertex, so the last vertex is left to the loop
  // below.
  if (count > 1 && positions.stride >= 3 * sizeof(float)) {
    __m128 highs = _mm_setr_ps(hx, hy, hz, 0.0f), lows = _mm_setr_ps(lx, ly, lz, 0.0f);
    for (; v + 1 < count; ++v) {
      const __m128 p = _mm_loadu_ps(positions[v]);
      highs = _mm_max_ps(p, highs);
      lows = _mm_min_ps(p, lows);
    }
    alignas(16) float h[4], l[4];
    _mm_store_ps(h, highs);
    _mm_store_ps(l, lows);
    hx = h[0], hy = h[1], hz = h[2], lx = l[0], ly = l[1], lz = l[2];
  }
#endif
  for (; v < count; ++v) {
    const float* p = positions[v];
    hx = std::max(hx, p[0]);
    hy = std::max(hy, p[1]);
    hz = std::max(hz, p[2]);
    lx = std::min(lx, p[0]);
    ly = std::min(ly, p[1]);
    lz = std::min(lz, p[2]);
  }
  high = {hx, hy, hz};
  low = {lx, ly, lz};
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

// One pass over the chunks, so that each chunk's vertices are read while
// they are in the cache; every sum still takes its terms in chunk order.
void VandruIndexedMeshDefinition::ComputeMeasures(bool textureScale) {
  Vector high{std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest(),
              std::numeric_limits<float>::lowest()};
  Vector low{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
             std::numeric_limits<float>::max()};
  bool any = false;
  TextureScaleSum scale;
  std::vector<float> corners;
  corners.reserve(chunks_.size() * 24);
  for (const Kiv::Ref<Kiv::GeometryChunk>& chunk : chunks_) {
    const auto positions = chunk->GetVector3Array(Kiv::GeometryChunk::kPosition);
    if (!positions) continue;
    const uint64_t count = chunk->GetNumVertices();
    ExtendBounds(positions, count, high, low);
    any = any || count > 0;

    const auto texCoords = chunk->GetVector2Array(Kiv::GeometryChunk::kTexCoord0);
    const uint16_t* index = chunk->GetIndexArray();
    const uint32_t indices = chunk->GetNumIndices();
    if (textureScale && texCoords && index != nullptr && indices >= 3)
      scale.AddTriangles(positions, texCoords, index, indices / 3);

    // Float items: the stride is a whole number of floats.
    Kiv::OrientedBox box;
    box.Fit(positions[0], count, positions.stride / sizeof(float));
    for (const Vector& corner : box.CalcCorners())
      corners.insert(corners.end(), corner.begin(), corner.end());
  }
  boundsMax_ = any ? high : Vector{0.0f, 0.0f, 0.0f};
  boundsMin_ = any ? low : Vector{0.0f, 0.0f, 0.0f};
  if (textureScale) textureScale_ = scale.Scale();
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
