#include "render/meshes/MeshSkinning.h"

#include <cmath>

namespace {

constexpr uint32_t kMarker = 0xFE;

uint32_t SetByte(uint32_t word, uint32_t k, uint32_t value) {
  return (word & ~(0xFFu << (8 * k))) | (value & 0xFF) << (8 * k);
}

}  // namespace

bool SkinPlacer::CanSkin(Kiv::GeometryChunk& chunk) {
  if (chunk.GetWords(Kiv::GeometryChunk::kBoneIndices) == nullptr) return false;
  if (chunk.GetWords(Kiv::GeometryChunk::kPackedWeights) != nullptr) return true;
  for (uint32_t n = 0; n < 4; ++n) {
    if (chunk.GetFloats(Kiv::GeometryChunk::kWeights1 + n) != nullptr) return true;
  }
  return false;
}

void SkinPlacer::Place(Kiv::GeometryChunk& chunk, uint32_t slot, uint32_t vertex, float weight) {
  const uint32_t vertices = chunk.GetNumVertices();
  if (vertex >= vertices || slot > kMaxSlot) return;
  uint32_t* index = chunk.GetWords(Kiv::GeometryChunk::kBoneIndices);
  if (index == nullptr) return;
  uint32_t* packed = chunk.GetWords(Kiv::GeometryChunk::kPackedWeights);
  float* floats[4];
  uint32_t widest = 0;
  for (uint32_t n = 0; n < 4; ++n) {
    floats[n] = chunk.GetFloats(Kiv::GeometryChunk::kWeights1 + n);
    if (floats[n] != nullptr) widest = n + 1;
  }
  if (packed == nullptr && widest == 1) {
    floats[0][vertex] = weight;
    index[vertex] = 3 * slot;
    return;
  }
  std::vector<uint8_t>& counts = counts_[&chunk];
  if (counts.empty()) counts.assign(vertices, 0);
  const uint32_t k = counts[vertex];
  if (k >= kMaxInfluencesPerVertex) return;
  counts[vertex] = uint8_t(k + 1);
  const long rounded = std::lround(std::fmin(std::fmax(weight, 0.0f), 1.0f) * 255.0f);
  for (uint32_t n = 0; n < 4; ++n) {
    if (floats[n] == nullptr || k > n) continue;
    float* weights = floats[n] + uint64_t(vertex) * (n + 1);
    if (k == 0) std::fill(weights, weights + n + 1, 0.0f);
    weights[k] = weight;
  }
  if (packed != nullptr)
    packed[vertex] = SetByte(k == 0 ? 0 : packed[vertex], k, uint32_t(rounded));
  uint32_t word = k == 0 ? 0 : index[vertex];
  word = SetByte(word, k, 3 * slot);
  if (k + 1 < 4) word = SetByte(word, k + 1, kMarker);
  index[vertex] = word;
}

std::unique_ptr<Kiv::ParticleBone> BuildBoneTree(const std::vector<BoneSource>& bones,
                                                 float boxHalf) {
  const size_t count = bones.size();
  size_t root = count;
  for (size_t i = 0; i < count && root == count; ++i) {
    if (bones[i].parentName.Empty()) root = i;
  }
  if (root == count) return nullptr;
  std::unordered_map<const void*, size_t> firstOfName;
  for (size_t i = 0; i < count; ++i) firstOfName.emplace(bones[i].name.Id(), i);
  std::vector<size_t> parent(count, root);
  for (size_t i = 0; i < count; ++i) {
    if (i == root || bones[i].parentName.Empty()) continue;
    const auto found = firstOfName.find(bones[i].parentName.Id());
    if (found != firstOfName.end() && found->second != i) parent[i] = found->second;
  }
  // A chain that comes back to its start is a loop: hang the start on the
  // root. The first bone of each loop to be looked at breaks it.
  for (size_t i = 0; i < count; ++i) {
    if (i == root) continue;
    size_t at = parent[i];
    for (size_t steps = 0; at != root && at != i && steps < count; ++steps) at = parent[at];
    if (at == i) parent[i] = root;
  }
  std::vector<std::unique_ptr<Kiv::ParticleBone>> made(count);
  std::vector<Kiv::ParticleBone*> placed(count);
  for (size_t i = 0; i < count; ++i) {
    made[i] = std::make_unique<Kiv::ParticleBone>();
    placed[i] = made[i].get();
    made[i]->name = bones[i].name;
    made[i]->position = bones[i].position;
    Kiv::Quaternion q;
    q.Set(bones[i].rotation);
    made[i]->orientation = q.ToArray();
    made[i]->visibleBox.min = {-boxHalf, -boxHalf, -boxHalf};
    made[i]->visibleBox.max = {boxHalf, boxHalf, boxHalf};
  }
  for (size_t i = 0; i < count; ++i) {
    if (i != root) placed[parent[i]]->Add(std::move(made[i]));
  }
  return std::move(made[root]);
}
