// VandruIndexedMeshLODDefinition: a mesh in several levels of detail, each
// level a full set of geometry chunks, with the materials, bone table or
// skeleton and attachment points that all levels share.
//
// It is filled once, from a binary "lm" file (Load, LoadFromMemory;
// LodMeshReader.cpp; layout in docs/formats/lod-mesh.md) or from an
// "lm.txt" description that names an indexed mesh file per level
// (ParseDescription; LodMeshDescription.cpp; syntax in
// docs/formats/config-text.md), and can be written as an "lm" file (Save;
// LodMeshWriter.cpp). Saving what was loaded gives the same bytes again.
//
// Results are the mesh load codes of MeshResult.h; every loader answers
// kMeshNoMaterialManager without a material manager, reading nothing. A
// material the manager cannot make is a plain one of its kind. The binary
// reader checks
// every count against the bytes that remain before it allocates or loops,
// refuses a material index at or beyond the material table and a named
// mesh whose level does not exist (kMeshFileFormatError), and reads the
// emissive colour halved, as the indexed reader does, so that a load and a
// save give back the bytes read. Later levels of a description must have
// the first level's number of attachment points and bones, and every bone
// of the table (kMeshFileFormatError). Files hold fewer than kMaxLevels
// levels and kMaxBones bones. Save refuses (kMeshFileDataError, nothing
// written) a chunk without geometry or material, more levels or bones than
// files hold, and a file beyond 4 GiB; a definition without
// levels gives kMeshUnknown; a failed write gives kMeshFileOpenError.
//
// After a load the definition itself shows the last level that has a
// distance (chunks, materials, totals, skinning). Not thread-safe: one
// loader at a time, then shared read-only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "kiv/String.h"
#include "kiv/basics/ConfigParser.h"
#include "kiv/basics/CountedBlock.h"
#include "kiv/basics/Quaternion.h"
#include "kiv/model/MeshFileWriter.h"
#include "kiv/store/Resource.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"

namespace Kiv {
class File;
}

class VandruIndexedMeshLODDefinition : public VandruIndexedMeshDefinition {
 public:
  // Bone tables and level lists of files stay below these counts.
  static constexpr uint32_t kMaxBones = 1024;
  static constexpr uint32_t kMaxLevels = 1024;
  enum CalcPoint : uint32_t { kCenter = 0, kNear = 1, kFar = 2 };

  struct NamedMesh {
    Kiv::PString key;  // Lower case.
    uint32_t levelIndex = 0;
    uint8_t animated = 0;
  };
  struct Level {
    uint32_t chunkCount = 0;
    uint32_t vertexTotal = 0;
    uint32_t faceTotal = 0;
    uint8_t hardwareSkinning = 0;
    Kiv::CountedBlock<Kiv::Ref<Kiv::GeometryChunk>> chunks;
    Kiv::CountedBlock<Kiv::Ref<Kiv::Material>> materials;
    std::vector<Kiv::PString> materialNames;
  };
  struct InfluenceRecord {
    uint32_t vertexIndex = 0;
    float weight = 0.0f;
    std::array<float, 3> position{};
  };
  struct InfluenceEntry {
    uint32_t chunkIndex = 0;
    std::vector<InfluenceRecord> records;
  };
  using LevelInfluences = std::vector<InfluenceEntry>;
  struct BoneRecord {
    Kiv::String name;
    Kiv::String parentName;
    std::array<float, 3> position{};
    Kiv::Matrix3 rotation{};
    // One list per level, level 0 first (null for a level without one).
    std::vector<std::unique_ptr<LevelInfluences>> levels;
  };

  VandruIndexedMeshLODDefinition() : VandruIndexedMeshDefinition(false) {}
  ~VandruIndexedMeshLODDefinition() override;

  // Reads the "lm" file at `path`; the definition's name becomes its file
  // name.
  uint32_t Load(Kiv::Display* display, Kiv::MaterialManager* manager, const Kiv::String& path);
  // The same on data already in the memory file.
  uint32_t LoadFromMemory(Kiv::Display* display, Kiv::MaterialManager* manager);

  // Reads the description at `path`; level files are found beside it.
  // `owner` (may be null) is the resource the description was asked as:
  // its database and folder name the level meshes' materials.
  uint32_t ParseDescription(Kiv::Display* display, Kiv::MaterialManager* manager,
                            const Kiv::Resource* owner, const Kiv::String& path);
  // The same on a description's text; `name` becomes the definition's name
  // and level files are found in `folder`.
  uint32_t ParseDescriptionText(Kiv::Display* display, Kiv::MaterialManager* manager,
                                const Kiv::Resource* owner, std::string_view text,
                                const Kiv::String& folder, const Kiv::String& name);

  // The "lm" file's bytes (on kMeshOk).
  uint32_t Save(std::vector<uint8_t>* bytes) const;
  uint32_t Save(Kiv::File& file) const;
  // Writes the file whole or not at all (a temporary file renamed over it).
  uint32_t SaveToPath(const Kiv::String& path) const;

  // Completes a load: the level meshes hand their materials their textures
  // and are dropped; a later level's material that equals one of an earlier
  // level becomes that earlier object; every chunk is prepared for
  // `display` (kMeshFileDataError when one refuses; kMeshOk without one).
  uint32_t FinishLoading(const Kiv::Display* display);
  uint64_t CalculateDataSize() const;
  // The name of the bone table record a chunk's influence slot was
  // registered with (GeometryChunk::GetInfluenceBone); empty for anything
  // else. Levels read from a description have their slots moved from the
  // level mesh's influences (which go when loading ends) to the records.
  Kiv::PString InfluenceBoneName(const void* bone) const;

  std::vector<float> distances;
  uint32_t calcPoint = kCenter;
  float offset = 0.0f;
  float multiplier = 1.0f;
  float animationCutOff = 0.0f;
  float renderCutOff = 0.0f;
  float attachmentCutOff = 0.0f;
  std::vector<Kiv::PString> culledAttachments;
  Kiv::CountedBlock<NamedMesh> namedMeshes;
  uint32_t levelCount = 0;
  Kiv::CountedBlock<Level> levels;
  bool hasBoneTable = false;
  std::vector<BoneRecord> boneTable;

 protected:
  void SetupSkinning() override;

  uint32_t ReadInfoChunk(Kiv::MemoryFile& file) override;
  virtual uint32_t ReadMaterialTable(Kiv::MemoryFile& file, Kiv::MaterialManager* manager);
  virtual uint32_t ReadMaterial(Kiv::MemoryFile& file, Kiv::MaterialManager* manager,
                                uint32_t index);
  virtual uint32_t ReadBoneTable(Kiv::MemoryFile& file);
  uint32_t ReadSkeleton(Kiv::MemoryFile& file);
  virtual uint32_t ReadLevel(Kiv::MemoryFile& file, uint32_t index);
  virtual uint32_t ReadLevelBones(Kiv::MemoryFile& file, uint32_t index);
  virtual uint32_t ReadLevelChunk(Kiv::MemoryFile& file, Level& level);
  virtual uint32_t ReadGeometry(Kiv::MemoryFile& file, Level& level, Kiv::Material* material);
  virtual uint32_t ReadNeighbours(Kiv::MemoryFile& file, Kiv::GeometryChunk& chunk);

  virtual void WriteInfo(Kiv::MeshFileWriter& out) const;
  virtual void WriteMaterialTable(Kiv::MeshFileWriter& out,
                                  const std::vector<Kiv::Material*>& table) const;
  virtual void WriteMaterial(Kiv::MeshFileWriter& out, const Kiv::Material& material) const;
  virtual void WriteBoneTable(Kiv::MeshFileWriter& out) const;
  void WriteSkeleton(Kiv::MeshFileWriter& out) const;
  virtual void WriteAttachments(Kiv::MeshFileWriter& out) const;
  virtual uint32_t WriteLevel(Kiv::MeshFileWriter& out, uint32_t index,
                              const std::vector<Kiv::Material*>& table) const;
  virtual void WriteLevelBones(Kiv::MeshFileWriter& out, uint32_t index) const;
  virtual void WriteLevelChunk(Kiv::MeshFileWriter& out, const Level& level, uint32_t chunk,
                               uint32_t material, uint32_t maxInfluences) const;
  virtual void WriteGeometry(Kiv::MeshFileWriter& out, Kiv::GeometryChunk& chunk,
                             const Kiv::PString& materialName, uint32_t maxInfluences) const;
  virtual void WriteNeighbours(Kiv::MeshFileWriter& out, const Kiv::GeometryChunk& chunk) const;

 private:
  uint32_t ReadLodFile(Kiv::MaterialManager* manager);
  uint32_t AddLevelFromFile(Kiv::Display* display, Kiv::MaterialManager* manager,
                            const Kiv::Resource* owner, const Kiv::String& folder,
                            const Kiv::String& fileName, bool first);
  // Reads one level file: text meshes ("imtxt") through LoadText, others
  // as indexed mesh files.
  static uint32_t LoadLevel(Kiv::Display* display, Kiv::MaterialManager* manager,
                            Kiv::Resource* resource, const Kiv::String& path,
                            VandruIndexedMeshDefinition* level);
  uint32_t MergeLevelBones(const VandruIndexedMeshDefinition& level);
  void RekeyInfluenceBones(const VandruIndexedMeshDefinition& level, const Level& record);
  uint32_t ReadDescription(Kiv::Display* display, Kiv::MaterialManager* manager,
                           const Kiv::Resource* owner, const Kiv::ConfigParser& parser,
                           const Kiv::String& folder);
  void ReadRootSettings(const Kiv::ConfigNode& root);
  // The definition shows the last level that has a distance.
  void ShowLastDistanceLevel();
  void BuildSkeletonFromBoneTable();
  void SplitCullMarkers();
  // Influence records of `level` on vertex `vertex` of chunk `chunk`, and
  // LODB entries (over all bones) that name the chunk.
  uint32_t ChunkMaxInfluences(uint32_t level, uint32_t chunk) const;
  uint32_t ChunkBones(uint32_t level, uint32_t chunk) const;

  std::vector<std::unique_ptr<VandruIndexedMeshDefinition>> levelDefinitions_;
  std::vector<bool> namedLevels_;  // While reading: levels that a named mesh uses.
  std::vector<Kiv::Ref<Kiv::Resource>> levelResources_;  // One per kept level definition.
};
