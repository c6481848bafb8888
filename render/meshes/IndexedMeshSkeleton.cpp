// The INFL, SKEL, BONE and ATCH chunks of indexed mesh files.
#include <memory>

#include "kiv/model/MeshFileSupport.h"
#include "render/meshes/MeshChunkReader.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"

namespace {

// Influence counts at or above this are read as no influences.
constexpr uint32_t kInfluenceLimit = 1024;
// The smallest influence, influence group, group entry, bone and attachment
// a file can hold.
constexpr uint64_t kMinInfluenceBytes = 4 + 4 + 12 + 36 + 4;
constexpr uint64_t kMinGroupBytes = 8;
constexpr uint64_t kEntryBytes = 20;
constexpr uint64_t kMinBoneBytes = 12 + 4 + 12 + 16 + 4;
constexpr uint64_t kMinAttachmentBytes = 4 + 36 + 12;

bool IsBoneVersion(uint32_t version) {
  return version == 1 || version == 20 || version == 50 || version == 100 || version == 102;
}

}  // namespace

uint32_t VandruIndexedMeshDefinition::ReadInfluence(Kiv::MemoryFile& file,
                                                    Kiv::InfluenceDefinition* influence) {
  Kiv::MeshFileSupport::ReadPaddedString(file, &influence->name);
  Kiv::MeshFileSupport::ReadPaddedString(file, &influence->parentName);
  for (float& value : influence->position) file.Read(&value);
  file.ReadRaw(influence->orientation.data(), sizeof(influence->orientation));
  uint32_t groups = 0;
  file.Read(&groups);
  if (!Fits(file, groups, kMinGroupBytes)) return kMeshFileFormatError;
  for (uint32_t g = 0; g < groups; ++g) {
    Kiv::InfluenceDefinition::Group group;
    uint32_t entries = 0;
    file.Read(&group.key);
    file.Read(&entries);
    if (!Fits(file, entries, kEntryBytes)) return kMeshFileFormatError;
    if (entries == 0) continue;
    group.entries.resize(entries);
    for (Kiv::InfluenceDefinition::Entry& entry : group.entries) {
      file.Read(&entry.index);
      for (float& value : entry.values) file.Read(&value);
    }
    influence->groups.push_back(std::move(group));
  }
  return kMeshOk;
}

uint32_t VandruIndexedMeshDefinition::ReadInfluenceChunk(Kiv::MemoryFile& file) {
  char tag[4] = {0, 0, 0, 0};
  file.ReadRaw(tag, 4);
  const bool influences = std::memcmp(tag, "INFL", 4) == 0;
  if (!influences && std::memcmp(tag, "SKEL", 4) != 0) {
    file.Back(4);
    return kMeshOk;
  }
  const ChunkHeader header = ReadChunkHeader(file);
  if (header.version != 100) {
    file.Back(4);
    return kMeshOk;
  }
  if (!influences) return ReadBoneChunk(nullptr, file, 0);
  uint32_t count = 0;
  file.Read(&count);
  if (count >= kInfluenceLimit) count = 0;
  if (!Fits(file, count, kMinInfluenceBytes)) return kMeshFileFormatError;
  influences_.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    Kiv::InfluenceDefinition influence;
    if (uint32_t result = ReadInfluence(file, &influence)) return result;
    influences_.push_back(std::move(influence));
  }
  return file.Tell() == header.end ? kMeshOk : kMeshFileFormatError;
}

uint32_t VandruIndexedMeshDefinition::ReadBoneChunk(Kiv::ParticleBone* parent,
                                                    Kiv::MemoryFile& file, uint32_t depth) {
  if (depth > kMaxBoneDepth) return kMeshFileFormatError;
  if (!ReadTag(file, "BONE")) return kMeshFileFormatError;
  const ChunkHeader header = ReadChunkHeader(file);
  if (!IsBoneVersion(header.version)) return kMeshFileVersionError;
  auto bone = std::make_unique<Kiv::ParticleBone>();
  Kiv::MeshFileSupport::ReadPaddedString(file, &bone->name);
  for (float& value : bone->position) file.Read(&value);
  for (float& value : bone->orientation) file.Read(&value);
  bone->visibleBox.min = {-0.01f, -0.01f, -0.01f};
  bone->visibleBox.max = {0.01f, 0.01f, 0.01f};
  uint32_t children = 0;
  file.Read(&children);
  if (!Fits(file, children, kMinBoneBytes)) return kMeshFileFormatError;
  Kiv::ParticleBone* placed = nullptr;
  if (parent != nullptr) {
    placed = parent->Add(std::move(bone));
  } else {
    rootBone_ = std::move(bone);
    placed = rootBone_.get();
  }
  for (uint32_t i = 0; i < children; ++i) {
    if (uint32_t result = ReadBoneChunk(placed, file, depth + 1)) return result;
  }
  return kMeshOk;
}

uint32_t VandruIndexedMeshDefinition::ReadAttachmentChunk(Kiv::MemoryFile& file) {
  if (!ReadTag(file, "ATCH")) {
    file.Back(4);
    return kMeshOk;
  }
  const ChunkHeader header = ReadChunkHeader(file);
  if (header.version != 100) return kMeshFileVersionError;
  uint32_t count = 0;
  file.Read(&count);
  if (!Fits(file, count, kMinAttachmentBytes)) return kMeshFileFormatError;
  attachments_.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    MeshAttachment attachment;
    Kiv::MeshFileSupport::ReadPaddedString(file, &attachment.name);
    file.ReadRaw(attachment.orientation.data(), sizeof(attachment.orientation));
    for (float& value : attachment.position) file.Read(&value);
    attachments_.push_back(std::move(attachment));
  }
  return kMeshOk;
}
