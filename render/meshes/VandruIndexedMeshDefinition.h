// VandruIndexedMeshDefinition: an indexed mesh as its file describes it,
// and the reader of indexed mesh files ("KIRF" container, "IDXM" body;
// chunk layouts summed up in docs/formats/indexed-mesh.md).
//
// Load reads the file data that the definition's memory file holds (for a
// file it opened, streamed from the file straight into the chunks): the
// INFO chunk, then INFO's number of CHNK chunks (each a MATL, a GEOM and an
// optional NINF), then, while data remains before the file's end, an
// optional INFL or SKEL chunk and an optional ATCH chunk. A chunk whose
// geometry has no vertices, faces or indices is dropped, and the chunks
// that remain keep their file order. Materials come from the material
// manager by their decorated names (owner "*" folder "*" kind, the owner
// being the resource's database and the folder that of the resource's
// name); geometry chunks from the chunk's material, with the streams that
// the chunk hint (buffer kinds, lighting, skinning) asks for.
//
// Untrusted data: every count and size of the file is checked against the
// bytes that remain before anything is allocated or looped over, bone
// nesting is limited to kMaxBoneDepth, and a read that would pass the end of
// the data reads nothing and marks the data truncated. A file that is cut
// anywhere (also while it is being read), or whose chunks do not end
// exactly at the file's end, gives kMeshFileFormatError; a chunk version
// the reader does not know gives kMeshFileVersionError. The results of the
// optional trailing chunks are the load's result when they fail (a damaged
// skeleton is not a success). Whatever failure a read of cut data leads
// to, the result is kMeshFileFormatError.
//
// Load's results: kMeshOk, or the first failure (MeshResult.h): 2 no data;
// 3 damaged; 4 version; 5 no material manager; 6 and 7 from the material
// manager; 8 a geometry chunk without a stream the file fills. On success
// the memory file is closed; on failure what was read (and a streamed
// file, open) stays, for the caller to discard with the definition.
//
// After a good load the post-load steps run: the skeleton from the
// influences, SetupSkinning, the axis-aligned bounds, the texture scale
// estimate and the oriented box (IndexedMeshPostLoad.cpp). Skinning checks
// every vertex index against its chunk, keeps at most four influences per
// vertex (a fifth is dropped, the first four stay) and skips bones whose
// palette slot would not fit the index byte. A skeleton whose parent names
// form a loop is attached to the root instead.
//
// Not thread-safe: one loader at a time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"
#include "kiv/basics/MemoryFile.h"
#include "kiv/display/DisplayMaterial.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/Material.h"
#include "kiv/model/MeshFileSupport.h"
#include "kiv/model/InfluenceDefinition.h"
#include "kiv/scene/OrientedBox.h"
#include "kiv/scene/ParticleBone.h"
#include "kiv/scene/PointSums.h"
#include "render/meshes/MeshMeasures.h"
#include "render/meshes/MeshResult.h"

namespace Kiv {
class Display;
class GeometryConfigData;
struct ConfigNode;
class MaterialManager;
class Resource;
}  // namespace Kiv

// A (value, set) setting of a mesh definition.
struct MeshSetting {
  uint32_t value = 0;
  bool set = false;
  bool IsTrue() const { return set && value != 0; }
};

struct MeshSettings {
  MeshSetting dynamicVertex;
  MeshSetting dynamicIndex;
  MeshSetting softwareLighting;
  MeshSetting softwareAnimation;
  MeshSetting hardwareAnimationFloatPrecision;
  // Whether the owning resource lets a material whose kind cannot be made
  // be replaced by the kind the material manager names as its substitute
  // (Kiv::MaterialManager::SetSubstituteKind).
  bool substituteMaterials = false;
};

struct MeshTexture {
  uint32_t kind = 0;
  Kiv::PString name;  // Lower-cased.
  float amount = 0.0f;
};

// A MATL chunk as read.
struct MaterialRecord {
  Kiv::PString name;  // Decorated.
  std::vector<std::pair<Kiv::PString, Kiv::PString>> properties;
  bool twoSided = false;
  float factor = 1.0f;
  Kiv::DisplayMaterial display;
  std::vector<MeshTexture> textures;
};

// The texture entries of one chunk's material, kept for display set-up.
struct MaterialBinding {
  uint32_t chunk = 0;
  std::vector<MeshTexture> textures;
};

struct MeshAttachment {
  Kiv::PString name;
  std::array<float, 9> orientation{};
  std::array<float, 3> position{};
};

struct GeometryCounts;

class VandruIndexedMeshDefinition : public Kiv::MeshFileSupport {
 public:
  static constexpr uint32_t kMaxBoneDepth = 256;
  static constexpr uint32_t kHardwareSkinningCapability = 29;

  // The memory file streams what it opens: the reader takes each array
  // of the file straight into its chunk.
  VandruIndexedMeshDefinition() : VandruIndexedMeshDefinition(true) {}
  virtual ~VandruIndexedMeshDefinition() = default;
  VandruIndexedMeshDefinition(const VandruIndexedMeshDefinition&) = delete;
  VandruIndexedMeshDefinition& operator=(const VandruIndexedMeshDefinition&) = delete;

  Kiv::MemoryFile& GetMemoryFile() { return file_; }
  // Opens `path` in the memory file (read whole, or streamed: see the
  // constructors) and remembers its file name; kMeshFileOpenError when it
  // cannot be opened or is empty.
  uint32_t OpenResourceFile(const Kiv::String& path);

  // `display` answers the hardware-skinning capability (null: none);
  // `resource` (may be null) names the owner and folder of the materials;
  // `defaultColour` fills the colour stream where the file has none.
  uint32_t Load(Kiv::Display* display, Kiv::MaterialManager* manager, Kiv::Resource* resource,
                uint32_t unused, uint32_t defaultColour);

  MeshSettings settings;

  const std::array<float, 3>& GetPosition() const { return position_; }
  const std::array<float, 4>& GetOrientation() const { return orientation_; }
  uint32_t GetNumChunks() const { return static_cast<uint32_t>(chunks_.size()); }
  Kiv::GeometryChunk* GetChunk(uint32_t i) const {
    return i < chunks_.size() ? chunks_[i].get() : nullptr;
  }
  Kiv::Material* GetMaterial(uint32_t i) const {
    return i < materials_.size() ? materials_[i].get() : nullptr;
  }
  const std::vector<Kiv::PString>& GetChunkNames() const { return chunkNames_; }
  const std::vector<MaterialBinding>& GetBindings() const { return bindings_; }
  const std::vector<Kiv::InfluenceDefinition>& GetInfluences() const { return influences_; }
  Kiv::ParticleBone* GetRootBone() const { return rootBone_.get(); }
  const std::vector<MeshAttachment>& GetAttachments() const { return attachments_; }
  // The most bones a hardware-skinned chunk may use on this display (25, or
  // 24 with hardware skinning); GetMaxBonesPerChunk is what the file says.
  uint32_t GetBonesLimitPerChunk() const { return maxBonesPerChunk_; }
  bool UsesHardwareSkinning() const { return hardwareSkinning_; }
  uint32_t GetNumVertices() const { return numVertices_; }
  uint32_t GetNumFaces() const { return numFaces_; }
  const Kiv::PString& GetName() const { return name_; }
  const std::array<float, 3>& GetBoundsMax() const { return boundsMax_; }
  const std::array<float, 3>& GetBoundsMin() const { return boundsMin_; }
  const Kiv::OrientedBox& GetOrientedBox() const { return orientedBox_; }
  float GetTextureScale() const { return textureScale_; }

  // Hands each material the textures its MATL chunk named (names taken
  // relative to the folder of `resource`'s name), then drops the bindings.
  void FinishMaterials(const Kiv::Resource* resource);
  // Prepares every chunk for `display`; kMeshFileDataError when one
  // refuses (every chunk is asked); kMeshOk without a display.
  uint32_t LoadMaterialTextures(const Kiv::Display* display);
  // Bytes the definition holds, estimated for the resource cache.
  uint64_t CalculateDataSize() const;

  // The accessors of Kiv::MeshFileSupport (VandruIndexedMeshAccessors.cpp).
  uint32_t GetChunkCount() const override;
  uint32_t GetChunkVertexCount(uint32_t chunk) const override;
  uint32_t GetMaxWeightsPerVertex() const override { return maxWeightsPerVertex_; }
  uint32_t GetMaxBonesPerChunk() const override { return fileMaxBonesPerChunk_; }
  uint32_t GetChunkIndexCount(uint32_t chunk) const override;
  uint32_t GetChunkInfluenceMatrixCount(uint32_t chunk) const override;
  uint32_t GetChunkTexCoordSetCount(uint32_t chunk) const override;
  uint32_t GetChunkMaxVertexInfluences(uint32_t chunk) const override;
  bool CopyChunkPositions(uint32_t chunk, void* buffer, size_t size,
                          uint32_t stride) const override;
  bool CopyChunkTexCoords(uint32_t chunk, uint32_t set, void* buffer, size_t size,
                          uint32_t stride) const override;
  bool CopyChunkIndices(uint32_t chunk, uint16_t* buffer, size_t count) const override;
  bool CopyChunkNormals(uint32_t chunk, void* buffer, size_t size, uint32_t stride) const override;
  bool CopyChunkColours(uint32_t chunk, uint32_t* buffer, size_t count, bool first,
                        uint32_t defaultColour) const override;
  bool CopyChunkFaceNormals(uint32_t chunk, float* buffer, size_t count) const override;
  Kiv::PString GetChunkMaterialKind(uint32_t chunk) const override;
  Kiv::PString GetChunkMaterialName(uint32_t chunk) const override;
  uint32_t GetChunkMaterialFlags(uint32_t chunk) const override;
  float GetChunkMaterialFactor(uint32_t chunk) const override;
  bool GetChunkDisplayMaterial(uint32_t chunk, Kiv::DisplayMaterial* material) const override;
  uint32_t GetChunkMaterialPropertyCount(uint32_t chunk) const override;
  bool GetChunkMaterialProperty(uint32_t chunk, uint32_t property, Kiv::PString* name,
                                Kiv::PString* value) const override;
  uint32_t GetInfluenceCount() const override;
  Kiv::PString GetInfluenceName(uint32_t influence) const override;
  Kiv::PString GetInfluenceParentName(uint32_t influence) const override;
  bool GetInfluencePosition(uint32_t influence, std::array<float, 3>* position) const override;
  bool GetInfluenceOrientation(uint32_t influence, Kiv::Quaternion* orientation) const override;
  uint32_t GetInfluenceGroupCount(uint32_t influence) const override;
  uint32_t GetInfluenceGroupKey(uint32_t influence, uint32_t group) const override;
  uint32_t GetInfluenceGroupEntryCount(uint32_t influence, uint32_t group) const override;
  bool CopyInfluenceGroupEntries(uint32_t influence, uint32_t group,
                                 Kiv::InfluenceDefinition::Entry* buffer,
                                 size_t count) const override;
  uint32_t GetAttachmentCount() const override;
  Kiv::PString GetAttachmentName(uint32_t attachment) const override;
  bool GetAttachmentOrientation(uint32_t attachment, Kiv::Quaternion* orientation) const override;
  bool GetAttachmentPosition(uint32_t attachment, std::array<float, 3>* position) const override;

  // Text meshes ("imtxt", docs/formats/text-mesh.md;
  // VandruIndexedMeshText.cpp). LoadText parses the file at `path` (or the
  // path `resource`'s store found, when it has one) and hands the tree to
  // LoadFromConfigData; a file that cannot be read gives kMeshFileOpenError,
  // text the parser refuses or that holds nothing kMeshFileFormatError, a
  // version other than 1.00 kMeshFileVersionError. LoadFromConfigData: no
  // manager gives kMeshNoMaterialManager, data that does not describe a
  // whole mesh kMeshFileFormatError (nothing of it is used), then the
  // results of the material manager and chunk creation as Load gives them.
  uint32_t LoadText(Kiv::Display* display, Kiv::MaterialManager* manager, Kiv::Resource* resource,
                    uint32_t unused, uint32_t defaultColour, const Kiv::String& path);
  uint32_t LoadFromConfigData(Kiv::Display* display, Kiv::MaterialManager* manager,
                              Kiv::Resource* resource, uint32_t defaultColour,
                              const Kiv::ConfigNode& data, const Kiv::String& fileName);

 protected:
  virtual uint32_t CreateMaterial(Kiv::MaterialManager* manager, Kiv::Resource* resource,
                                  const Kiv::GeometryConfigData& data, uint32_t index);
  virtual uint32_t ReadConfigGeometry(Kiv::Resource* resource, const Kiv::GeometryConfigData& data,
                                      uint32_t index, uint32_t defaultColour);
  virtual uint32_t ReadConfigInfluences(const Kiv::GeometryConfigData& data);
  virtual uint32_t ReadConfigAttachments(const Kiv::GeometryConfigData& data);
  // Colours `given` (or `fallback` for every vertex) into `element`.
  void FillColours(Kiv::GeometryChunk& chunk, uint32_t element, const std::vector<uint32_t>& given,
                   uint32_t fallback) const;

 protected:
  // Readers that keep several blocks of the memory file at once pass
  // false: what they open is read whole.
  explicit VandruIndexedMeshDefinition(bool streamed) { file_.SetStreamed(streamed); }

  // Load on data already in the memory file; `textureScale` runs the
  // texture scale estimate among the post-load steps.
  uint32_t LoadOpened(Kiv::Display* display, Kiv::MaterialManager* manager, Kiv::Resource* resource,
                      uint32_t defaultColour, bool textureScale);
  // Keeps the display and its hardware-skinning answer.
  void SetDisplay(Kiv::Display* display);
  // The optional chunks after the last CHNK, up to `fileEnd`.
  virtual uint32_t ReadTrailingChunks(Kiv::MemoryFile& file, uint64_t fileEnd);
  // Post-load steps, in the order Load runs them.
  void BuildSkeletonFromInfluences();
  virtual void SetupSkinning();
  // Bounds, texture scale (when `textureScale`; it stays as it is
  // otherwise) and oriented box.
  void ComputeMeasures(bool textureScale);
  // Sets them from measures taken over every chunk, in chunk order.
  void TakeMeasures(const MeshMeasures& measures);
  // The skinning part of a chunk hint, for a chunk with `skinWeights`
  // weights per vertex.
  void ApplySkinning(Kiv::StandardChunkHint* hint, uint32_t skinWeights, bool hardware) const;
  static uint32_t FillSkinDefaults(Kiv::GeometryChunk& chunk, uint32_t skinWeights, bool hardware);

  virtual uint32_t ReadInfoChunk(Kiv::MemoryFile& file);
  virtual uint32_t ReadChunkChunk(Kiv::MaterialManager* manager, Kiv::Resource* resource,
                                  Kiv::MemoryFile& file, uint32_t index, uint32_t defaultColour);
  virtual uint32_t ReadGeometryChunk(Kiv::Resource* resource, Kiv::MemoryFile& file, uint32_t index,
                                     uint32_t defaultColour);
  virtual uint32_t ReadMaterialChunk(Kiv::MaterialManager* manager, Kiv::Resource* resource,
                                     Kiv::MemoryFile& file, uint32_t index);
  // Makes the record's material (step by step in render/README.md): when
  // the manager cannot make its kind and settings.substituteMaterials is
  // set, the kind the manager names as its substitute is made instead,
  // keeping the decorated name first asked for as its request name.
  // kMeshUnsupportedMaterial / kMeshUnknownMaterial when none is made.
  virtual uint32_t CreateMaterialFromRecord(Kiv::MaterialManager* manager,
                                            const MaterialRecord& record, uint32_t index);
  virtual uint32_t ReadNeighbourChunk(Kiv::MemoryFile& file, uint32_t index);
  virtual uint32_t ReadAttachmentChunk(Kiv::MemoryFile& file);
  virtual uint32_t ReadInfluenceChunk(Kiv::MemoryFile& file);
  virtual uint32_t ReadBoneChunk(Kiv::ParticleBone* parent, Kiv::MemoryFile& file, uint32_t depth);

 private:
  uint32_t ReadFile(Kiv::MaterialManager* manager, Kiv::Resource* resource, uint32_t defaultColour);
  // The substitute of the kind of `decorated` (same owner and folder),
  // request name `decorated`; null when the manager names none or cannot
  // make it.
  static Kiv::Material* CreateSubstituteMaterial(Kiv::MaterialManager& manager,
                                                 const Kiv::PString& decorated);
  uint32_t ReadInfluence(Kiv::MemoryFile& file, Kiv::InfluenceDefinition* influence);
  Kiv::StandardChunkHint MakeHint(Kiv::Resource* resource, uint32_t version, uint32_t skinWeights,
                                  float value, uint32_t textureSets);
  void DropLastChunk();
  // Measured by ReadFile as it accepts each chunk, for the post-load steps.
  MeshMeasures measures_;
  // The box's sums of the last GEOM chunk read, taken while its positions
  // were copied; they belong to `summedChunk_` when it is not null.
  Kiv::PointSums pendingSums_;
  const Kiv::GeometryChunk* summedChunk_ = nullptr;
  // The vertex, index and face-normal arrays of a GEOM chunk into `chunk`,
  // made with `counts`, which were checked against the bytes left.
  uint32_t ReadGeometryArrays(Kiv::MemoryFile& file, Kiv::GeometryChunk& chunk, uint32_t version,
                              const GeometryCounts& counts, uint32_t sets, uint32_t skinWeights,
                              bool extra, uint32_t defaultColour);

 protected:
  // What follows is shared with derived definitions, which fill it too.
  // Makes `list` `index` + 1 long (new entries empty).
  template <typename T>
  static void Reach(std::vector<T>& list, uint32_t index) {
    if (list.size() <= index) list.resize(size_t(index) + 1);
  }

  Kiv::MemoryFile file_;
  Kiv::PString name_;
  std::array<float, 3> boundsMax_{0.0f, 0.0f, 0.0f};
  std::array<float, 3> boundsMin_{0.0f, 0.0f, 0.0f};
  Kiv::OrientedBox orientedBox_;
  float textureScale_ = 0.0f;
  Kiv::Display* display_ = nullptr;
  std::array<float, 3> position_{0.0f, 0.0f, 0.0f};
  std::array<float, 4> orientation_{0.0f, 0.0f, 0.0f, 1.0f};
  uint32_t chunkCount_ = 0;
  uint32_t maxWeightsPerVertex_ = 0;
  uint32_t fileMaxBonesPerChunk_ = 0;
  uint32_t maxWeightsLimit_ = 4;
  uint32_t maxBonesPerChunk_ = 25;
  bool hardwareCapability_ = false;
  bool hardwareSkinning_ = false;
  std::vector<Kiv::Ref<Kiv::GeometryChunk>> chunks_;
  std::vector<Kiv::Ref<Kiv::Material>> materials_;
  std::vector<Kiv::PString> chunkNames_;
  std::vector<MaterialBinding> bindings_;
  std::vector<Kiv::InfluenceDefinition> influences_;
  std::unique_ptr<Kiv::ParticleBone> rootBone_;
  std::vector<MeshAttachment> attachments_;
  uint32_t numVertices_ = 0;
  uint32_t numFaces_ = 0;
};
