// The writer of LOD mesh files.
#include <algorithm>
#include <limits>
#include <unordered_map>

#include "kiv/File.h"
#include "kiv/basics/ReplaceFile.h"
#include "render/meshes/MeshChunkReader.h"
#include "render/meshes/VandruIndexedMeshLODDefinition.h"

namespace {

constexpr const char* kCullMarker = ":Cull";

int32_t IndexOf(const std::vector<Kiv::Material*>& table, const Kiv::Material* material) {
  const auto found = std::find(table.begin(), table.end(), material);
  return found == table.end() ? -1 : int32_t(found - table.begin());
}

}  // namespace

uint32_t VandruIndexedMeshLODDefinition::Save(std::vector<uint8_t>* bytes) const {
  const std::vector<Level>& list = levels.Items();
  if (list.empty()) return kMeshUnknown;
  if (list.size() >= kMaxLevels || boneTable.size() >= kMaxBones) return kMeshFileDataError;
  // Every distinct material of every level, in order of first use.
  std::vector<Kiv::Material*> table;
  for (const Level& level : list) {
    if (level.chunks.Count() != level.chunkCount || level.materials.Count() != level.chunkCount ||
        level.materialNames.size() != level.chunkCount)
      return kMeshFileDataError;
    for (const Kiv::Ref<Kiv::Material>& material : level.materials.Items()) {
      if (material == nullptr) return kMeshFileDataError;
      if (IndexOf(table, material.get()) < 0) table.push_back(material.get());
    }
    for (const Kiv::Ref<Kiv::GeometryChunk>& chunk : level.chunks.Items()) {
      if (chunk == nullptr) return kMeshFileDataError;
    }
  }
  Kiv::MeshFileWriter out;
  out.Tag("KIRF");
  const size_t size = out.MarkSizePos();
  out.Tag("LODM");
  WriteInfo(out);
  WriteMaterialTable(out, table);
  if (hasBoneTable) {
    WriteBoneTable(out);
  } else if (rootBone_ != nullptr) {
    WriteSkeleton(out);
  }
  if (!attachments_.empty()) WriteAttachments(out);
  for (uint32_t i = 0; i < list.size(); ++i) {
    if (uint32_t result = WriteLevel(out, i, table)) return result;
  }
  if (out.Bytes().size() - size - 4 > std::numeric_limits<uint32_t>::max())
    return kMeshFileDataError;
  out.WriteSizeAtMark(size);
  *bytes = out.Bytes();
  return kMeshOk;
}

uint32_t VandruIndexedMeshLODDefinition::Save(Kiv::File& file) const {
  std::vector<uint8_t> bytes;
  if (uint32_t result = Save(&bytes)) return result;
  const uint8_t* at = bytes.data();
  for (size_t left = bytes.size(); left > 0;) {
    const uint32_t piece = uint32_t(std::min<size_t>(left, 1u << 30));
    if (file.Write(at, piece) != piece) return kMeshFileOpenError;
    at += piece;
    left -= piece;
  }
  return kMeshOk;
}

uint32_t VandruIndexedMeshLODDefinition::SaveToPath(const Kiv::String& path) const {
  std::vector<uint8_t> bytes;
  if (uint32_t result = Save(&bytes)) return result;
  const bool written = Kiv::ReplaceFile(path, [&bytes](Kiv::File& file) {
    return bytes.empty() || file.Write(bytes.data(), uint32_t(bytes.size())) == bytes.size();
  });
  return written ? kMeshOk : kMeshFileOpenError;
}

void VandruIndexedMeshLODDefinition::WriteInfo(Kiv::MeshFileWriter& out) const {
  out.Tag("INFO");
  const size_t mark = out.MarkSizePos();
  out.U32(100);
  for (float value : position_) out.F32(value);
  for (float value : orientation_) out.F32(value);
  out.U32(uint32_t(levels.Count()));
  out.U32(calcPoint);
  out.F32(offset);
  out.F32(multiplier);
  out.F32(animationCutOff);
  out.F32(renderCutOff);
  out.F32(attachmentCutOff);
  out.U32(uint32_t(namedMeshes.Count()));
  for (const NamedMesh& mesh : namedMeshes.Items()) {
    out.U32(mesh.levelIndex);
    out.WritePaddedString(mesh.key.View());
    out.U8(mesh.animated);
  }
  out.WriteSizeAtMark(mark);
}

void VandruIndexedMeshLODDefinition::WriteMaterialTable(
    Kiv::MeshFileWriter& out, const std::vector<Kiv::Material*>& table) const {
  out.Tag("MATT");
  const size_t mark = out.MarkSizePos();
  out.U32(100);
  out.U32(uint32_t(table.size()));
  for (const Kiv::Material* material : table) WriteMaterial(out, *material);
  out.WriteSizeAtMark(mark);
}

void VandruIndexedMeshLODDefinition::WriteMaterial(Kiv::MeshFileWriter& out,
                                                   const Kiv::Material& material) const {
  out.Tag("MATL");
  const size_t mark = out.MarkSizePos();
  out.U32(103);
  const Kiv::PString& name =
      material.GetRequestName().Empty() ? material.GetKind() : material.GetRequestName();
  out.WritePaddedString(name.View());
  out.U32(uint32_t(material.GetProperties().size()));
  for (const auto& [key, value] : material.GetProperties()) {
    out.WritePaddedString(key.View());
    out.WritePaddedString(value.View());
  }
  out.U32(material.GetFlags() & Kiv::Material::kTwoSided);
  out.F32(material.GetFactor());
  const Kiv::DisplayMaterial& colours = material.GetDisplayMaterial();
  for (const Kiv::Color* colour : {&colours.diffuse, &colours.ambient, &colours.specular}) {
    out.F32(colour->r);
    out.F32(colour->g);
    out.F32(colour->b);
  }
  out.F32(colours.emissive.r * 2.0f);
  out.F32(colours.emissive.g * 2.0f);
  out.F32(colours.emissive.b * 2.0f);
  out.F32(colours.power);
  out.U32(uint32_t(material.GetTextureDefinitions().size()));
  for (const Kiv::Material::TextureDefinition& texture : material.GetTextureDefinitions()) {
    out.U32(texture.slot);
    out.WritePaddedString(texture.name.View());
    out.F32(texture.value);
  }
  out.WriteSizeAtMark(mark);
}

void VandruIndexedMeshLODDefinition::WriteBoneTable(Kiv::MeshFileWriter& out) const {
  out.Tag("BONT");
  const size_t mark = out.MarkSizePos();
  out.U32(100);
  out.U32(uint32_t(boneTable.size()));
  for (const BoneRecord& bone : boneTable) {
    out.WritePaddedString(bone.name);
    out.WritePaddedString(bone.parentName);
    for (float value : bone.position) out.F32(value);
    for (float value : bone.rotation) out.F32(value);
  }
  out.WriteSizeAtMark(mark);
}

void VandruIndexedMeshLODDefinition::WriteSkeleton(Kiv::MeshFileWriter& out) const {
  out.Tag("RBOT");
  const size_t mark = out.MarkSizePos();
  out.U32(100);
  out.U32(uint32_t(rootBone_->CountBones()));
  // Depth first, in pre-order from the root.
  std::vector<const Kiv::ParticleBone*> pending{rootBone_.get()};
  while (!pending.empty()) {
    const Kiv::ParticleBone* bone = pending.back();
    pending.pop_back();
    out.WritePaddedString(bone->name.View());
    out.WritePaddedString(bone->Parent() != nullptr ? bone->Parent()->name.View() : "");
    for (float value : bone->position) out.F32(value);
    for (float value : Kiv::Quaternion::FromArray(bone->orientation).ToMatrix()) out.F32(value);
    const auto& children = bone->Children();
    for (auto child = children.rbegin(); child != children.rend(); ++child)
      pending.push_back(child->get());
  }
  out.WriteSizeAtMark(mark);
}

void VandruIndexedMeshLODDefinition::WriteAttachments(Kiv::MeshFileWriter& out) const {
  out.Tag("ATCH");
  const size_t mark = out.MarkSizePos();
  out.U32(100);
  out.U32(uint32_t(attachments_.size()));
  for (const MeshAttachment& attachment : attachments_) {
    const bool culled = std::find(culledAttachments.begin(), culledAttachments.end(),
                                  attachment.name) != culledAttachments.end();
    out.WritePaddedString(culled ? attachment.name.Str() + kCullMarker : attachment.name.Str());
    for (float value : attachment.orientation) out.F32(value);
    for (float value : attachment.position) out.F32(value);
  }
  out.WriteSizeAtMark(mark);
}

uint32_t VandruIndexedMeshLODDefinition::ChunkMaxInfluences(uint32_t level, uint32_t chunk) const {
  std::unordered_map<uint32_t, uint32_t> perVertex;
  uint32_t most = 0;
  for (const BoneRecord& bone : boneTable) {
    if (level >= bone.levels.size() || bone.levels[level] == nullptr) continue;
    for (const InfluenceEntry& entry : *bone.levels[level]) {
      if (entry.chunkIndex != chunk) continue;
      for (const InfluenceRecord& record : entry.records)
        most = std::max(most, ++perVertex[record.vertexIndex]);
    }
  }
  return most;
}

uint32_t VandruIndexedMeshLODDefinition::ChunkBones(uint32_t level, uint32_t chunk) const {
  uint32_t count = 0;
  for (const BoneRecord& bone : boneTable) {
    if (level >= bone.levels.size() || bone.levels[level] == nullptr) continue;
    for (const InfluenceEntry& entry : *bone.levels[level]) count += entry.chunkIndex == chunk;
  }
  return count;
}

uint32_t VandruIndexedMeshLODDefinition::WriteLevel(
    Kiv::MeshFileWriter& out, uint32_t index, const std::vector<Kiv::Material*>& table) const {
  const Level& level = levels[index];
  std::vector<uint32_t> influences(level.chunkCount);
  uint32_t maxInfluences = 0, maxBones = 0;
  for (uint32_t j = 0; j < level.chunkCount; ++j) {
    influences[j] = ChunkMaxInfluences(index, j);
    maxInfluences = std::max(maxInfluences, influences[j]);
    maxBones = std::max(maxBones, ChunkBones(index, j));
  }
  out.Tag("MESH");
  const size_t mark = out.MarkSizePos();
  out.U32(100);
  out.U32(level.chunkCount);
  out.U32(maxInfluences);
  out.U32(maxBones);
  out.F32(index < distances.size() ? distances[index] : -1.0f);
  if (!boneTable.empty()) WriteLevelBones(out, index);
  for (uint32_t j = 0; j < level.chunkCount; ++j) {
    const int32_t material = IndexOf(table, level.materials[j].get());
    if (material < 0) return kMeshFileDataError;
    WriteLevelChunk(out, level, j, uint32_t(material), influences[j]);
  }
  out.WriteSizeAtMark(mark);
  return kMeshOk;
}

void VandruIndexedMeshLODDefinition::WriteLevelChunk(Kiv::MeshFileWriter& out, const Level& level,
                                                     uint32_t chunk, uint32_t material,
                                                     uint32_t maxInfluences) const {
  out.Tag("LCHK");
  const size_t mark = out.MarkSizePos();
  out.U32(100);
  out.U32(chunk);
  out.U32(material);
  Kiv::GeometryChunk& geometry = *level.chunks[chunk];
  WriteGeometry(out, geometry, level.materialNames[chunk], maxInfluences);
  if (geometry.GetNumFaces() > 0 && geometry.GetNumFaceNeighbors() > 0)
    WriteNeighbours(out, geometry);
  out.WriteSizeAtMark(mark);
}

void VandruIndexedMeshLODDefinition::WriteLevelBones(Kiv::MeshFileWriter& out,
                                                     uint32_t index) const {
  out.Tag("LODB");
  const size_t mark = out.MarkSizePos();
  out.U32(100);
  for (const BoneRecord& bone : boneTable) {
    const LevelInfluences* list = index < bone.levels.size() ? bone.levels[index].get() : nullptr;
    out.U32(list != nullptr ? uint32_t(list->size()) : 0);
    if (list == nullptr) continue;
    for (const InfluenceEntry& entry : *list) {
      out.U32(entry.chunkIndex);
      out.U32(uint32_t(entry.records.size()));
      for (const InfluenceRecord& record : entry.records) {
        out.U32(record.vertexIndex);
        out.F32(record.weight);
        for (float value : record.position) out.F32(value);
      }
    }
  }
  out.WriteSizeAtMark(mark);
}

void VandruIndexedMeshLODDefinition::WriteGeometry(Kiv::MeshFileWriter& out,
                                                   Kiv::GeometryChunk& chunk,
                                                   const Kiv::PString& materialName,
                                                   uint32_t maxInfluences) const {
  const uint32_t flags = PrimitiveOfGeometryKind(chunk.GetKind());
  const auto extra = chunk.GetVector3Array(Kiv::GeometryChunk::kExtraVector);
  const uint32_t vertices = chunk.GetNumVertices();
  const uint32_t faceNormals = (flags & 3) != 0 ? 0 : chunk.GetNumFaceNormals();
  out.Tag("GEOM");
  const size_t mark = out.MarkSizePos();
  out.U32(201);
  out.U32(flags);
  out.U32(extra ? 1 : 0);
  out.F32(chunk.GetHint().hintValue);
  out.U32(vertices);
  out.U32(chunk.GetNumFaces());
  out.U32(chunk.GetNumIndices());
  out.U32(faceNormals);
  out.U32(maxInfluences);
  out.WritePaddedString(materialName.View());
  const auto positions = chunk.GetVector3Array(Kiv::GeometryChunk::kPosition);
  const auto uv = chunk.GetVector2Array(Kiv::GeometryChunk::kTexCoord0);
  for (uint64_t v = 0; v < vertices; ++v) {
    for (int a = 0; a < 3; ++a) out.F32(positions ? positions[v][a] : 0.0f);
    out.F32(uv ? uv[v][0] : 0.0f);
    out.F32(uv ? uv[v][1] : 0.0f);
  }
  const uint16_t* indices = chunk.GetIndexArray();
  for (uint32_t i = 0; i < chunk.GetNumIndices(); ++i) out.U16(indices[i]);
  const auto normals = chunk.GetVector3Array(Kiv::GeometryChunk::kNormal);
  for (uint64_t k = 0; k < 3 * uint64_t(vertices); ++k)
    out.F32(normals ? normals[k / 3][k % 3] : 0.0f);
  const float* faceNormalArray = chunk.GetFaceNormalArray();
  for (uint64_t k = 0; k < 3 * uint64_t(faceNormals); ++k)
    out.F32(faceNormalArray != nullptr ? faceNormalArray[k] : 0.0f);
  if (extra) {
    for (uint64_t k = 0; k < 3 * uint64_t(vertices); ++k) out.F32(extra[k / 3][k % 3]);
  }
  out.WriteSizeAtMark(mark);
}

void VandruIndexedMeshLODDefinition::WriteNeighbours(Kiv::MeshFileWriter& out,
                                                     const Kiv::GeometryChunk& chunk) const {
  out.Tag("NINF");
  const size_t mark = out.MarkSizePos();
  out.U32(100);
  const auto& neighbours = chunk.GetFaceNeighbors();
  for (uint32_t f = 0; f < chunk.GetNumFaces(); ++f) {
    for (uint32_t k = 0; k < 3; ++k) out.U32(f < neighbours.size() ? neighbours[f].faces[k] : 0);
  }
  out.WriteSizeAtMark(mark);
}
