// The reader of LOD mesh files ("KIRF" container, "LODM" body).
#include <algorithm>
#include <cstring>
#include <tuple>
#include <unordered_map>

#include "kiv/display/Display.h"
#include "kiv/display/MaterialManager.h"
#include "kiv/model/MeshFileSupport.h"
#include "render/meshes/MeshChunkReader.h"
#include "render/meshes/VandruIndexedMeshLODDefinition.h"

namespace {

// The smallest named mesh, MATL, bone record, RBOT bone, MESH, LODB
// entry, influence record and LCHK a file can hold.
constexpr uint64_t kMinNamedBytes = 4 + 4 + 1;
constexpr uint64_t kMinMaterialBytes = 12 + 4 + 4 + 4 + 4 + 48 + 4 + 4;
constexpr uint64_t kMinBoneBytes = 4 + 4 + 12 + 36;
constexpr uint64_t kMinLevelBytes = 12 + 16;
constexpr uint64_t kMinEntryBytes = 8;
constexpr uint64_t kRecordBytes = 20;
constexpr uint64_t kMinChunkBytes = 12 + 8 + 12 + 28;
constexpr uint64_t kNeighbourBytes = sizeof(Kiv::GeometryChunk::FaceNeighbors);
constexpr float kNoDistance = -1.0f;

// Reads a chunk header when the next tag is `tag`; otherwise steps back
// over the tag (when four bytes were there) and answers false.
bool OptionalChunk(Kiv::MemoryFile& file, const char* tag, ChunkHeader* header) {
  if (file.Remaining() < 4) return false;
  if (!ReadTag(file, tag)) {
    file.Back(4);
    return false;
  }
  *header = ReadChunkHeader(file);
  return true;
}

uint32_t EndCheck(const Kiv::MemoryFile& file, const ChunkHeader& header) {
  return file.Tell() == header.end && !file.Truncated() ? kMeshOk : kMeshFileFormatError;
}

void ReadColour(Kiv::MemoryFile& file, Kiv::Color* colour) {
  file.Read(&colour->r);
  file.Read(&colour->g);
  file.Read(&colour->b);
}

}  // namespace

VandruIndexedMeshLODDefinition::~VandruIndexedMeshLODDefinition() = default;

uint32_t VandruIndexedMeshLODDefinition::Load(Kiv::Display* display, Kiv::MaterialManager* manager,
                                              const Kiv::String& path) {
  if (manager == nullptr) return kMeshNoMaterialManager;
  SetDisplay(display);
  if (uint32_t result = OpenResourceFile(path)) return result;
  return LoadFromMemory(display, manager);
}

uint32_t VandruIndexedMeshLODDefinition::LoadFromMemory(Kiv::Display* display,
                                                        Kiv::MaterialManager* manager) {
  if (manager == nullptr) return kMeshNoMaterialManager;
  SetDisplay(display);
  if (!file_.HasData()) return kMeshFileOpenError;
  uint32_t result = ReadLodFile(manager);
  if (result != kMeshOk && file_.Truncated()) result = kMeshFileFormatError;
  if (result != kMeshOk) return result;
  BuildSkeletonFromBoneTable();
  SetupSkinning();
  ShowLastDistanceLevel();
  ComputeMeasures(true);
  SplitCullMarkers();
  file_.Close();
  return kMeshOk;
}

uint32_t VandruIndexedMeshLODDefinition::ReadLodFile(Kiv::MaterialManager* manager) {
  Kiv::MemoryFile& file = file_;
  if (!ReadTag(file, "KIRF")) return kMeshFileFormatError;
  uint32_t fileSize = 0;
  file.Read(&fileSize);
  const uint64_t fileEnd = file.Tell() + fileSize;
  if (!ReadTag(file, "LODM")) return kMeshFileFormatError;
  if (uint32_t result = ReadInfoChunk(file)) return result;
  if (uint32_t result = ReadMaterialTable(file, manager)) return result;
  if (uint32_t result = ReadBoneTable(file)) return result;
  if (uint32_t result = ReadSkeleton(file)) return result;
  if (uint32_t result = ReadAttachmentChunk(file)) return result;
  if (!Fits(file, levelCount, kMinLevelBytes)) return kMeshFileFormatError;
  levels = Kiv::CountedBlock<Level>::Make(levelCount);
  distances.clear();
  for (uint32_t i = 0; i < levelCount; ++i) {
    if (uint32_t result = ReadLevel(file, i)) return result;
  }
  if (distances.empty()) return kMeshFileFormatError;
  for (Level& level : levels.Items()) {
    level.vertexTotal = 0;
    level.faceTotal = 0;
    for (const Kiv::Ref<Kiv::GeometryChunk>& chunk : level.chunks.Items()) {
      level.vertexTotal += chunk->GetNumVertices();
      level.faceTotal += chunk->GetNumFaces();
    }
  }
  return file.Tell() == fileEnd && !file.Truncated() ? kMeshOk : kMeshFileFormatError;
}

uint32_t VandruIndexedMeshLODDefinition::ReadInfoChunk(Kiv::MemoryFile& file) {
  if (!ReadTag(file, "INFO")) return kMeshFileFormatError;
  const ChunkHeader header = ReadChunkHeader(file);
  if (header.version != 100) return kMeshFileVersionError;
  for (float& value : position_) file.Read(&value);
  for (float& value : orientation_) file.Read(&value);
  file.Read(&levelCount);
  if (levelCount >= kMaxLevels) return kMeshFileFormatError;
  file.Read(&calcPoint);
  file.Read(&offset);
  file.Read(&multiplier);
  file.Read(&animationCutOff);
  file.Read(&renderCutOff);
  file.Read(&attachmentCutOff);
  uint32_t named = 0;
  file.Read(&named);
  if (!Fits(file, named, kMinNamedBytes)) return kMeshFileFormatError;
  namedMeshes = Kiv::CountedBlock<NamedMesh>::Make(named);
  namedLevels_.assign(levelCount, false);
  for (NamedMesh& mesh : namedMeshes.Items()) {
    file.Read(&mesh.levelIndex);
    Kiv::MeshFileSupport::ReadPaddedString(file, &mesh.key);
    uint8_t animated = 0;
    if (file.Remaining() >= 1) file.ReadRaw(&animated, 1);
    mesh.animated = animated;
    // Instances pick the named mesh's level by its index.
    if (mesh.levelIndex >= levelCount) return kMeshFileFormatError;
    namedLevels_[mesh.levelIndex] = true;
  }
  return EndCheck(file, header);
}

uint32_t VandruIndexedMeshLODDefinition::ReadMaterialTable(Kiv::MemoryFile& file,
                                                           Kiv::MaterialManager* manager) {
  if (!ReadTag(file, "MATT")) return kMeshFileFormatError;
  const ChunkHeader header = ReadChunkHeader(file);
  if (header.version != 100) return kMeshFileVersionError;
  uint32_t count = 0;
  file.Read(&count);
  if (!Fits(file, count, kMinMaterialBytes)) return kMeshFileFormatError;
  materials_.assign(count, nullptr);
  for (uint32_t i = 0; i < count; ++i) {
    if (uint32_t result = ReadMaterial(file, manager, i)) return result;
  }
  return EndCheck(file, header);
}

uint32_t VandruIndexedMeshLODDefinition::ReadMaterial(Kiv::MemoryFile& file,
                                                      Kiv::MaterialManager* manager,
                                                      uint32_t index) {
  if (!ReadTag(file, "MATL")) return kMeshFileFormatError;
  const ChunkHeader header = ReadChunkHeader(file);
  if (header.version != 103) return kMeshFileVersionError;
  MaterialRecord record;
  Kiv::MeshFileSupport::ReadPaddedString(file, &record.name);
  uint32_t count = 0;
  file.Read(&count);
  if (!Fits(file, count, 8)) return kMeshFileFormatError;
  for (uint32_t i = 0; i < count; ++i) {
    Kiv::PString key, value;
    Kiv::MeshFileSupport::ReadPaddedString(file, &key);
    Kiv::MeshFileSupport::ReadPaddedString(file, &value);
    record.properties.emplace_back(key, value);
  }
  uint32_t twoSided = 0;
  file.Read(&twoSided);
  record.twoSided = (twoSided & 1) != 0;
  file.Read(&record.factor);
  Kiv::DisplayMaterial& colours = record.display;
  ReadColour(file, &colours.diffuse);
  ReadColour(file, &colours.ambient);
  ReadColour(file, &colours.specular);
  ReadColour(file, &colours.emissive);
  file.Read(&colours.power);
  // Files hold the emissive colour doubled, as the indexed mesh files do.
  colours.emissive = {colours.emissive.r * 0.5f, colours.emissive.g * 0.5f,
                      colours.emissive.b * 0.5f, colours.emissive.a * 0.5f};
  file.Read(&count);
  if (!Fits(file, count, 12)) return kMeshFileFormatError;
  for (uint32_t i = 0; i < count; ++i) {
    MeshTexture texture;
    file.Read(&texture.kind);
    Kiv::MeshFileSupport::ReadPaddedString(file, &texture.name);
    file.Read(&texture.amount);
    record.textures.push_back(std::move(texture));
  }
  if (file.Truncated()) return kMeshFileFormatError;
  uint32_t failure = 0;
  Kiv::Material* made = manager->GetMaterial(record.name, &failure);
  if (made == nullptr)
    made = new Kiv::Material(
        Kiv::MaterialManager::SplitDecoratedMaterialName(record.name, nullptr, nullptr));
  Kiv::Ref<Kiv::Material> material(made);
  material->SetRequestName(record.name);
  material->SetDisplayMaterialProperties(record.display);
  material->SetFlags(record.twoSided ? material->GetFlags() | Kiv::Material::kTwoSided
                                     : material->GetFlags() & ~Kiv::Material::kTwoSided);
  material->SetFactor(record.factor);
  for (const auto& [key, value] : record.properties) material->AddProperty(key, value);
  for (const MeshTexture& texture : record.textures)
    material->AddTextureDefinition(texture.kind, texture.name, texture.amount);
  materials_[index] = std::move(material);
  return EndCheck(file, header);
}

uint32_t VandruIndexedMeshLODDefinition::ReadBoneTable(Kiv::MemoryFile& file) {
  ChunkHeader header;
  if (!OptionalChunk(file, "BONT", &header)) return kMeshOk;
  if (header.version != 100) return kMeshFileVersionError;
  uint32_t count = 0;
  file.Read(&count);
  if (count >= kMaxBones || !Fits(file, count, kMinBoneBytes)) return kMeshFileFormatError;
  hasBoneTable = true;
  boneTable.clear();
  boneTable.resize(count);
  for (BoneRecord& bone : boneTable) {
    Kiv::MeshFileSupport::ReadPaddedString(file, &bone.name);
    Kiv::MeshFileSupport::ReadPaddedString(file, &bone.parentName);
    for (float& value : bone.position) file.Read(&value);
    file.ReadRaw(bone.rotation.data(), sizeof(bone.rotation));
  }
  return EndCheck(file, header);
}

uint32_t VandruIndexedMeshLODDefinition::ReadSkeleton(Kiv::MemoryFile& file) {
  ChunkHeader header;
  if (!OptionalChunk(file, "RBOT", &header)) return kMeshOk;
  if (header.version != 100) return kMeshFileVersionError;
  uint32_t count = 0;
  file.Read(&count);
  if (!Fits(file, count, kMinBoneBytes)) return kMeshFileFormatError;
  // Bones by name (the first of a name wins) with their depth below the root.
  std::unordered_map<const void*, std::pair<Kiv::ParticleBone*, uint32_t>> byName;
  for (uint32_t i = 0; i < count; ++i) {
    auto bone = std::make_unique<Kiv::ParticleBone>();
    Kiv::PString parentName;
    Kiv::Matrix3 rotation{};
    Kiv::MeshFileSupport::ReadPaddedString(file, &bone->name);
    Kiv::MeshFileSupport::ReadPaddedString(file, &parentName);
    for (float& value : bone->position) file.Read(&value);
    file.ReadRaw(rotation.data(), sizeof(rotation));
    if (file.Truncated()) return kMeshFileFormatError;
    Kiv::Quaternion q;
    q.Set(rotation);
    bone->orientation = q.ToArray();
    if (parentName.Empty() && rootBone_ == nullptr) {
      rootBone_ = std::move(bone);
      byName.emplace(rootBone_->name.Id(), std::make_pair(rootBone_.get(), 0u));
      continue;
    }
    if (rootBone_ == nullptr) return kMeshFileFormatError;
    Kiv::ParticleBone* parent = rootBone_.get();
    uint32_t depth = 0;
    const auto found = parentName.Empty() ? byName.end() : byName.find(parentName.Id());
    if (found != byName.end()) std::tie(parent, depth) = found->second;
    if (depth + 1 > kMaxBoneDepth) return kMeshFileFormatError;
    Kiv::ParticleBone* placed = parent->Add(std::move(bone));
    byName.emplace(placed->name.Id(), std::make_pair(placed, depth + 1));
  }
  return EndCheck(file, header);
}

uint32_t VandruIndexedMeshLODDefinition::ReadLevel(Kiv::MemoryFile& file, uint32_t index) {
  if (!ReadTag(file, "MESH")) return kMeshFileFormatError;
  const ChunkHeader header = ReadChunkHeader(file);
  if (header.version != 100) return kMeshFileVersionError;
  Level& level = levels[index];
  float distance = 0.0f;
  file.Read(&level.chunkCount);
  file.Read(&maxWeightsPerVertex_);
  file.Read(&fileMaxBonesPerChunk_);
  file.Read(&distance);
  level.hardwareSkinning = maxWeightsPerVertex_ >= 1 && maxWeightsPerVertex_ <= maxWeightsLimit_ &&
                           fileMaxBonesPerChunk_ <= maxBonesPerChunk_ && hardwareCapability_ &&
                           !(settings.dynamicVertex.IsTrue() && settings.dynamicIndex.IsTrue());
  if (distance == kNoDistance) {
    if (index >= namedLevels_.size() || !namedLevels_[index]) return kMeshFileFormatError;
  } else {
    if (!distances.empty() && distance < distances.back()) return kMeshFileFormatError;
    distances.push_back(distance);
    if (index != distances.size() - 1) return kMeshFileFormatError;
  }
  if (!Fits(file, level.chunkCount, kMinChunkBytes)) return kMeshFileFormatError;
  level.chunks = Kiv::CountedBlock<Kiv::Ref<Kiv::GeometryChunk>>::Make(0);
  level.materials = Kiv::CountedBlock<Kiv::Ref<Kiv::Material>>::Make(0);
  level.chunks.Items().reserve(level.chunkCount);
  level.materials.Items().reserve(level.chunkCount);
  if (uint32_t result = ReadLevelBones(file, index)) return result;
  for (uint32_t j = 0; j < level.chunkCount;) {
    if (uint32_t result = ReadLevelChunk(file, level)) return result;
    const Kiv::GeometryChunk& chunk = *level.chunks.Items().back();
    if (chunk.GetNumVertices() != 0 && chunk.GetNumFaces() != 0 && chunk.GetNumIndices() != 0) {
      ++j;
      continue;
    }
    level.chunks.Items().pop_back();
    level.materials.Items().pop_back();
    level.materialNames.pop_back();
    --level.chunkCount;
  }
  return EndCheck(file, header);
}

uint32_t VandruIndexedMeshLODDefinition::ReadLevelBones(Kiv::MemoryFile& file, uint32_t index) {
  ChunkHeader header;
  const bool present = OptionalChunk(file, "LODB", &header);
  // Every bone keeps one slot per level, so that list i is level i's; a
  // level without LODB leaves its slots empty.
  for (BoneRecord& bone : boneTable) {
    if (bone.levels.size() < size_t(index) + 1) bone.levels.resize(size_t(index) + 1);
  }
  if (!present) return kMeshOk;
  for (BoneRecord& bone : boneTable) bone.levels[index] = std::make_unique<LevelInfluences>();
  if (header.version != 100) return kMeshFileVersionError;
  for (BoneRecord& bone : boneTable) {
    uint32_t entries = 0;
    file.Read(&entries);
    if (!Fits(file, entries, kMinEntryBytes)) return kMeshFileFormatError;
    LevelInfluences& list = *bone.levels[index];
    list.resize(entries);
    for (InfluenceEntry& entry : list) {
      uint32_t records = 0;
      file.Read(&entry.chunkIndex);
      file.Read(&records);
      if (!Fits(file, records, kRecordBytes)) return kMeshFileFormatError;
      entry.records.resize(records);
      for (InfluenceRecord& record : entry.records) {
        file.Read(&record.vertexIndex);
        file.Read(&record.weight);
        for (float& value : record.position) file.Read(&value);
      }
    }
  }
  return EndCheck(file, header);
}

uint32_t VandruIndexedMeshLODDefinition::ReadLevelChunk(Kiv::MemoryFile& file, Level& level) {
  if (!ReadTag(file, "LCHK")) return kMeshFileFormatError;
  const ChunkHeader header = ReadChunkHeader(file);
  if (header.version != 100) return kMeshFileVersionError;
  uint32_t chunkIndex = 0, materialIndex = 0;
  file.Read(&chunkIndex);
  file.Read(&materialIndex);
  if (file.Truncated() || materialIndex >= materials_.size()) return kMeshFileFormatError;
  Kiv::Material* material = materials_[materialIndex].get();
  level.materials.Items().emplace_back(material);
  if (uint32_t result = ReadGeometry(file, level, material)) return result;
  ChunkHeader neighbours;
  if (file.Tell() < header.end && OptionalChunk(file, "NINF", &neighbours)) {
    if (neighbours.version != 100) return kMeshFileVersionError;
    if (uint32_t result = ReadNeighbours(file, *level.chunks.Items().back())) return result;
    if (uint32_t result = EndCheck(file, neighbours)) return result;
  }
  return EndCheck(file, header);
}

uint32_t VandruIndexedMeshLODDefinition::ReadGeometry(Kiv::MemoryFile& file, Level& level,
                                                      Kiv::Material* material) {
  if (!ReadTag(file, "GEOM")) return kMeshFileFormatError;
  const ChunkHeader header = ReadChunkHeader(file);
  const uint32_t version = header.version;
  if (version < 101 || version > 201) return kMeshFileVersionError;
  GeometryCounts counts;
  if (!ReadGeometryCounts(file, version, &counts)) return kMeshFileFormatError;
  const auto [kind, hasExtra, value, vertices, faces, indices, faceNormals] = counts;
  uint32_t skinWeights = 0;
  if (version >= 102) file.Read(&skinWeights);
  Kiv::PString materialName;
  if (version >= 103) Kiv::MeshFileSupport::ReadPaddedString(file, &materialName);
  level.materialNames.push_back(materialName);
  const bool extra = hasExtra == 1;
  const uint64_t perVertex = 20 + 12 + (extra ? 12 : 0);
  const uint64_t bytes =
      uint64_t(vertices) * perVertex + 2 * uint64_t(indices) + 12 * uint64_t(faceNormals);
  if (file.Truncated() || bytes > file.Remaining()) return kMeshFileFormatError;

  Kiv::StandardChunkHint hint(settings.dynamicVertex.set ? settings.dynamicVertex.value : 2,
                              settings.dynamicIndex.set ? settings.dynamicIndex.value : 2);
  if (settings.softwareLighting.IsTrue()) hint.flags |= Kiv::StandardChunkHint::kSoftwareLighting;
  hint.hintValue = value;
  if (version >= 102) ApplySkinning(&hint, skinWeights, level.hardwareSkinning != 0);
  if (extra) hint.extraElements |= 1u << Kiv::GeometryChunk::kExtraVector;
  Kiv::GeometryChunk* created =
      material->CreateGeometryChunk(vertices, faces, indices, faceNormals, kind, hint);
  if (created == nullptr) return kMeshFileFormatError;
  level.chunks.Items().emplace_back(created);
  Kiv::GeometryChunk& chunk = *created;
  if (uint32_t result = FillSkinDefaults(chunk, skinWeights, level.hardwareSkinning != 0))
    return result;

  const uint8_t* block = file.ReadBlock(20 * uint64_t(vertices));
  const auto positions = chunk.GetVector3Array(Kiv::GeometryChunk::kPosition);
  const auto uv = chunk.GetVector2Array(Kiv::GeometryChunk::kTexCoord0);
  if (vertices != 0 && !positions) return kMeshFailChunkCreate;
  for (uint64_t v = 0; v < vertices; ++v) {
    std::memcpy(positions[v], block + 20 * v, 12);
    if (uv) std::memcpy(uv[v], block + 20 * v + 12, 8);
  }
  if (indices != 0) {
    uint16_t* array = chunk.GetIndexArray();
    if (array == nullptr) return kMeshFailChunkCreate;
    std::memcpy(array, file.ReadBlock(2 * uint64_t(indices)), 2 * size_t(indices));
    for (uint32_t i = 0; i < indices; ++i) {
      if (array[i] >= vertices) return kMeshFileFormatError;
    }
  }
  const uint8_t* normals = file.ReadBlock(12 * uint64_t(vertices));
  if (const auto to = chunk.GetVector3Array(Kiv::GeometryChunk::kNormal))
    for (uint64_t v = 0; v < vertices; ++v) std::memcpy(to[v], normals + 12 * v, 12);
  if (faceNormals != 0) {
    float* array = chunk.GetFaceNormalArray();
    if (array == nullptr) return kMeshFailChunkCreate;
    std::memcpy(array, file.ReadBlock(12 * uint64_t(faceNormals)), 12 * size_t(faceNormals));
  }
  if (extra) {
    const uint8_t* read = file.ReadBlock(12 * uint64_t(vertices));
    if (const auto to = chunk.GetVector3Array(Kiv::GeometryChunk::kExtraVector))
      for (uint64_t v = 0; v < vertices; ++v) std::memcpy(to[v], read + 12 * v, 12);
  }
  return EndCheck(file, header);
}

uint32_t VandruIndexedMeshLODDefinition::ReadNeighbours(Kiv::MemoryFile& file,
                                                        Kiv::GeometryChunk& chunk) {
  const uint32_t faces = chunk.GetNumFaces();
  if (!Fits(file, faces, kNeighbourBytes)) return kMeshFileFormatError;
  Kiv::FilledVector<Kiv::GeometryChunk::FaceNeighbors> neighbours(faces);
  if (faces != 0)
    std::memcpy(neighbours.data(), file.ReadBlock(faces * kNeighbourBytes),
                faces * kNeighbourBytes);
  chunk.SetFaceNeighborArray(std::move(neighbours));
  return kMeshOk;
}
