#include "render/meshes/VandruProgressiveMeshDefinition.h"

#include <vector>

#include "render/meshes/MeshChunkReader.h"

uint32_t VandruProgressiveMeshDefinition::Load(Kiv::Display* display, Kiv::MaterialManager* manager,
                                               Kiv::Resource* resource, const Kiv::String& path,
                                               uint32_t defaultColour) {
  if (manager == nullptr) return kMeshNoMaterialManager;
  if (uint32_t result = OpenResourceFile(path)) return result;
  return LoadFromMemory(display, manager, resource, defaultColour);
}

uint32_t VandruProgressiveMeshDefinition::LoadFromMemory(Kiv::Display* display,
                                                         Kiv::MaterialManager* manager,
                                                         Kiv::Resource* resource,
                                                         uint32_t defaultColour) {
  return LoadOpened(display, manager, resource, defaultColour, false);
}

uint32_t VandruProgressiveMeshDefinition::ReadTrailingChunks(Kiv::MemoryFile& file,
                                                             uint64_t fileEnd) {
  uint32_t failed = kMeshOk;
  if (file.Tell() < fileEnd) failed |= ReadInfluenceChunk(file);
  if (failed == kMeshOk && file.Tell() < fileEnd) failed |= ReadAttachmentChunk(file);
  if (failed == kMeshOk && file.Tell() < fileEnd) failed |= ReadProgressiveInfoChunk(file);
  return failed == kMeshOk ? kMeshOk : kMeshFileFormatError;
}

uint32_t VandruProgressiveMeshDefinition::ReadProgressiveInfoChunk(Kiv::MemoryFile& file) {
  if (!ReadTag(file, "PMIN")) return kMeshFileFormatError;
  const ChunkHeader header = ReadChunkHeader(file);
  if (header.version != 101) return kMeshFileVersionError;
  uint32_t values = 0, records = 0, groups = 0, levels = 0;
  file.Read(&values);
  file.Read(&records);
  file.Read(&groups);
  file.Read(&levels);
  const uint64_t bytes =
      4 * uint64_t(values) + 16 * uint64_t(records) + 8 * uint64_t(groups) + 4 * uint64_t(levels);
  if (file.Truncated() || bytes > file.Remaining()) return kMeshFileFormatError;
  const uint8_t* valueBlock = file.ReadBlock(4 * uint64_t(values));
  const uint8_t* recordBlock = file.ReadBlock(16 * uint64_t(records));
  const uint8_t* groupBlock = file.ReadBlock(8 * uint64_t(groups));
  const uint8_t* levelBlock = file.ReadBlock(4 * uint64_t(levels));
  (void)valueBlock;
  auto word = [](const uint8_t* block, uint64_t index) {
    uint32_t value;
    std::memcpy(&value, block + 4 * index, 4);
    return value;
  };
  // Each owner takes the next run of what it owns; every run must lie
  // inside what there is. The first element of each run is where the
  // owner's reference points; nothing is kept.
  std::vector<uint64_t> firstValue(records), firstRecord(groups), firstGroup(levels);
  uint64_t next = 0;
  for (uint32_t r = 0; r < records; ++r) {
    firstValue[r] = next;
    next += word(recordBlock, 4 * uint64_t(r) + 3);
  }
  if (next > values) return kMeshFileFormatError;
  next = 0;
  for (uint32_t g = 0; g < groups; ++g) {
    firstRecord[g] = next;
    next += word(groupBlock, 2 * uint64_t(g) + 1);
  }
  if (next > records) return kMeshFileFormatError;
  next = 0;
  for (uint32_t l = 0; l < levels; ++l) {
    firstGroup[l] = next;
    next += word(levelBlock, l);
  }
  if (next > groups) return kMeshFileFormatError;
  return kMeshOk;
}
