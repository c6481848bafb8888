// The Kiv::MeshFileSupport accessors of VandruIndexedMeshDefinition (see
// kiv/model/MeshFileSupport.h for their contract).
#include <algorithm>
#include <cstring>
#include <vector>

#include "render/meshes/VandruIndexedMeshDefinition.h"

namespace {

// Copies `width` floats of each of `vertices` vertices into `buffer`,
// vertex v at byte v * stride; false when the data is absent or the buffer
// of `size` bytes cannot take it.
bool CopyStrided(Kiv::StridedArray<float> from, uint32_t vertices, uint32_t width, void* buffer,
                 size_t size, uint32_t stride) {
  const size_t element = width * sizeof(float);
  if (!from || buffer == nullptr || stride < element) return false;
  if (vertices == 0) return true;
  if ((uint64_t(vertices) - 1) * stride + element > size) return false;
  auto* out = static_cast<uint8_t*>(buffer);
  for (uint32_t v = 0; v < vertices; ++v) std::memcpy(out + uint64_t(v) * stride, from[v], element);
  return true;
}

// The stream of the `set`-th texture-coordinate set the chunk has.
Kiv::StridedArray<float> TexCoordSet(Kiv::GeometryChunk& chunk, uint32_t set) {
  for (uint32_t i = 0; i < Kiv::GeometryChunk::kMaxTextureSets; ++i) {
    Kiv::StridedArray<float> stream = chunk.GetVector2Array(Kiv::GeometryChunk::kTexCoord0 + i);
    if (!stream) continue;
    if (set == 0) return stream;
    --set;
  }
  return {};
}

Kiv::Quaternion FromMatrix(const std::array<float, 9>& matrix) {
  Kiv::Quaternion q;
  q.Set(matrix);
  return q;
}

}  // namespace

uint32_t VandruIndexedMeshDefinition::GetChunkCount() const {
  return GetNumChunks();
}

uint32_t VandruIndexedMeshDefinition::GetChunkVertexCount(uint32_t chunk) const {
  const Kiv::GeometryChunk* found = GetChunk(chunk);
  return found != nullptr ? found->GetNumVertices() : 0;
}

uint32_t VandruIndexedMeshDefinition::GetChunkIndexCount(uint32_t chunk) const {
  const Kiv::GeometryChunk* found = GetChunk(chunk);
  return found != nullptr ? found->GetNumIndices() : 0;
}

uint32_t VandruIndexedMeshDefinition::GetChunkInfluenceMatrixCount(uint32_t chunk) const {
  const Kiv::GeometryChunk* found = GetChunk(chunk);
  return found != nullptr ? found->GetNumInfluenceMatrices() : 0;
}

uint32_t VandruIndexedMeshDefinition::GetChunkTexCoordSetCount(uint32_t chunk) const {
  Kiv::GeometryChunk* found = GetChunk(chunk);
  if (found == nullptr) return 0;
  uint32_t sets = 0;
  while (TexCoordSet(*found, sets)) ++sets;
  return sets;
}

uint32_t VandruIndexedMeshDefinition::GetChunkMaxVertexInfluences(uint32_t chunk) const {
  const Kiv::GeometryChunk* found = GetChunk(chunk);
  if (found == nullptr || influences_.empty()) return 0;
  std::vector<uint32_t> perVertex(found->GetNumVertices(), 0);
  uint32_t most = 0;
  for (const Kiv::InfluenceDefinition& influence : influences_) {
    for (const Kiv::InfluenceDefinition::Group& group : influence.groups) {
      if (group.key != chunk) continue;
      for (const Kiv::InfluenceDefinition::Entry& entry : group.entries) {
        if (entry.index >= perVertex.size()) continue;
        most = std::max(most, ++perVertex[entry.index]);
      }
    }
  }
  return most;
}

bool VandruIndexedMeshDefinition::CopyChunkPositions(uint32_t chunk, void* buffer, size_t size,
                                                     uint32_t stride) const {
  Kiv::GeometryChunk* found = GetChunk(chunk);
  if (found == nullptr) return false;
  return CopyStrided(found->GetVector3Array(Kiv::GeometryChunk::kPosition),
                     found->GetNumVertices(), 3, buffer, size, stride);
}

bool VandruIndexedMeshDefinition::CopyChunkTexCoords(uint32_t chunk, uint32_t set, void* buffer,
                                                     size_t size, uint32_t stride) const {
  Kiv::GeometryChunk* found = GetChunk(chunk);
  if (found == nullptr) return false;
  return CopyStrided(TexCoordSet(*found, set), found->GetNumVertices(), 2, buffer, size, stride);
}

bool VandruIndexedMeshDefinition::CopyChunkIndices(uint32_t chunk, uint16_t* buffer,
                                                   size_t count) const {
  Kiv::GeometryChunk* found = GetChunk(chunk);
  if (found == nullptr || buffer == nullptr) return false;
  const uint16_t* indices = found->GetIndexArray();
  if (indices == nullptr || count < found->GetNumIndices()) return false;
  std::copy(indices, indices + found->GetNumIndices(), buffer);
  return true;
}

bool VandruIndexedMeshDefinition::CopyChunkNormals(uint32_t chunk, void* buffer, size_t size,
                                                   uint32_t stride) const {
  Kiv::GeometryChunk* found = GetChunk(chunk);
  if (found == nullptr) return false;
  return CopyStrided(found->GetVector3Array(Kiv::GeometryChunk::kNormal), found->GetNumVertices(),
                     3, buffer, size, stride);
}

bool VandruIndexedMeshDefinition::CopyChunkColours(uint32_t chunk, uint32_t* buffer, size_t count,
                                                   bool first, uint32_t defaultColour) const {
  Kiv::GeometryChunk* found = GetChunk(chunk);
  if (found == nullptr || buffer == nullptr) return false;
  const uint32_t vertices = found->GetNumVertices();
  if (count < vertices) return false;
  const Kiv::StridedArray<uint32_t> colours =
      found->GetColorArray(first ? Kiv::GeometryChunk::kColor : Kiv::GeometryChunk::kColor2);
  for (uint32_t v = 0; v < vertices; ++v) buffer[v] = colours ? *colours[v] : defaultColour;
  return true;
}

bool VandruIndexedMeshDefinition::CopyChunkFaceNormals(uint32_t chunk, float* buffer,
                                                       size_t count) const {
  Kiv::GeometryChunk* found = GetChunk(chunk);
  if (found == nullptr || buffer == nullptr) return false;
  const float* normals = found->GetFaceNormalArray();
  const size_t floats = size_t(found->GetNumFaceNormals()) * 3;
  if (normals == nullptr || count < floats) return false;
  std::copy(normals, normals + floats, buffer);
  return true;
}

Kiv::PString VandruIndexedMeshDefinition::GetChunkMaterialKind(uint32_t chunk) const {
  const Kiv::Material* material = GetMaterial(chunk);
  return material != nullptr ? material->GetKind() : Kiv::PString();
}

Kiv::PString VandruIndexedMeshDefinition::GetChunkMaterialName(uint32_t chunk) const {
  const Kiv::Material* material = GetMaterial(chunk);
  return material != nullptr ? material->GetRequestName() : Kiv::PString();
}

uint32_t VandruIndexedMeshDefinition::GetChunkMaterialFlags(uint32_t chunk) const {
  const Kiv::Material* material = GetMaterial(chunk);
  return material != nullptr ? material->GetFlags() : 0;
}

float VandruIndexedMeshDefinition::GetChunkMaterialFactor(uint32_t chunk) const {
  const Kiv::Material* material = GetMaterial(chunk);
  return material != nullptr ? material->GetFactor() : 0.0f;
}

bool VandruIndexedMeshDefinition::GetChunkDisplayMaterial(uint32_t chunk,
                                                          Kiv::DisplayMaterial* out) const {
  const Kiv::Material* material = GetMaterial(chunk);
  if (material == nullptr || out == nullptr) return false;
  *out = material->GetDisplayMaterial();
  return true;
}

uint32_t VandruIndexedMeshDefinition::GetChunkMaterialPropertyCount(uint32_t chunk) const {
  const Kiv::Material* material = GetMaterial(chunk);
  return material != nullptr ? static_cast<uint32_t>(material->GetProperties().size()) : 0;
}

bool VandruIndexedMeshDefinition::GetChunkMaterialProperty(uint32_t chunk, uint32_t property,
                                                           Kiv::PString* name,
                                                           Kiv::PString* value) const {
  const Kiv::Material* material = GetMaterial(chunk);
  if (material == nullptr || property >= material->GetProperties().size()) return false;
  const auto& pair = material->GetProperties()[property];
  if (name != nullptr) *name = pair.first;
  if (value != nullptr) *value = pair.second;
  return true;
}

uint32_t VandruIndexedMeshDefinition::GetInfluenceCount() const {
  return static_cast<uint32_t>(influences_.size());
}

Kiv::PString VandruIndexedMeshDefinition::GetInfluenceName(uint32_t influence) const {
  return influence < influences_.size() ? influences_[influence].name : Kiv::PString();
}

Kiv::PString VandruIndexedMeshDefinition::GetInfluenceParentName(uint32_t influence) const {
  return influence < influences_.size() ? influences_[influence].parentName : Kiv::PString();
}

bool VandruIndexedMeshDefinition::GetInfluencePosition(uint32_t influence,
                                                       std::array<float, 3>* position) const {
  if (influence >= influences_.size() || position == nullptr) return false;
  *position = influences_[influence].position;
  return true;
}

bool VandruIndexedMeshDefinition::GetInfluenceOrientation(uint32_t influence,
                                                          Kiv::Quaternion* orientation) const {
  if (influence >= influences_.size() || orientation == nullptr) return false;
  *orientation = FromMatrix(influences_[influence].orientation);
  return true;
}

uint32_t VandruIndexedMeshDefinition::GetInfluenceGroupCount(uint32_t influence) const {
  if (influence >= influences_.size()) return 0;
  return static_cast<uint32_t>(influences_[influence].groups.size());
}

uint32_t VandruIndexedMeshDefinition::GetInfluenceGroupKey(uint32_t influence,
                                                           uint32_t group) const {
  if (group >= GetInfluenceGroupCount(influence)) return 0;
  return influences_[influence].groups[group].key;
}

uint32_t VandruIndexedMeshDefinition::GetInfluenceGroupEntryCount(uint32_t influence,
                                                                  uint32_t group) const {
  if (group >= GetInfluenceGroupCount(influence)) return 0;
  return static_cast<uint32_t>(influences_[influence].groups[group].entries.size());
}

bool VandruIndexedMeshDefinition::CopyInfluenceGroupEntries(
    uint32_t influence, uint32_t group, Kiv::InfluenceDefinition::Entry* buffer,
    size_t count) const {
  if (group >= GetInfluenceGroupCount(influence) || buffer == nullptr) return false;
  const auto& entries = influences_[influence].groups[group].entries;
  if (count < entries.size()) return false;
  std::copy(entries.begin(), entries.end(), buffer);
  return true;
}

uint32_t VandruIndexedMeshDefinition::GetAttachmentCount() const {
  return static_cast<uint32_t>(attachments_.size());
}

Kiv::PString VandruIndexedMeshDefinition::GetAttachmentName(uint32_t attachment) const {
  return attachment < attachments_.size() ? attachments_[attachment].name : Kiv::PString();
}

bool VandruIndexedMeshDefinition::GetAttachmentOrientation(uint32_t attachment,
                                                           Kiv::Quaternion* orientation) const {
  if (attachment >= attachments_.size() || orientation == nullptr) return false;
  *orientation = FromMatrix(attachments_[attachment].orientation);
  return true;
}

bool VandruIndexedMeshDefinition::GetAttachmentPosition(uint32_t attachment,
                                                        std::array<float, 3>* position) const {
  if (attachment >= attachments_.size() || position == nullptr) return false;
  *position = attachments_[attachment].position;
  return true;
}
