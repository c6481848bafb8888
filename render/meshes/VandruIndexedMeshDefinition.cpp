#include "render/meshes/VandruIndexedMeshDefinition.h"

#include <algorithm>

#include "kiv/ResourceDatabase.h"
#include "kiv/display/Display.h"
#include "kiv/display/MaterialManager.h"
#include "kiv/model/MeshFileSupport.h"
#include "kiv/store/Resource.h"
#include "render/meshes/MeshChunkReader.h"

namespace {

// The smallest CHNK, MATL property and MATL texture a file can hold.
constexpr uint64_t kMinChunkBytes = 16;
constexpr uint64_t kMinPropertyBytes = 8;
constexpr uint64_t kMinTextureBytes = 12;
constexpr float kMinSpecularPower = 10.0f;

void ReadColor(Kiv::MemoryFile& file, Kiv::Color* color) {
  file.Read(&color->r);
  file.Read(&color->g);
  file.Read(&color->b);
}

}  // namespace

Kiv::PString DecoratedName(const Kiv::Resource* resource, const Kiv::String& kind) {
  Kiv::String owner;
  Kiv::String folder;
  if (resource != nullptr) {
    if (resource->GetDatabase() != nullptr) owner = resource->GetDatabase()->GetName().Str();
    folder = resource->GetName().Str();
    const size_t slash = folder.find_last_of("/\\");
    folder.resize(slash == Kiv::String::npos ? 0 : slash);
  }
  return Kiv::PString(owner + "*" + folder + "*" + kind);
}

uint32_t VandruIndexedMeshDefinition::Load(Kiv::Display* display, Kiv::MaterialManager* manager,
                                           Kiv::Resource* resource, uint32_t /*unused*/,
                                           uint32_t defaultColour) {
  return LoadOpened(display, manager, resource, defaultColour, true);
}

uint32_t VandruIndexedMeshDefinition::LoadOpened(Kiv::Display* display,
                                                 Kiv::MaterialManager* manager,
                                                 Kiv::Resource* resource, uint32_t defaultColour,
                                                 bool textureScale) {
  if (manager == nullptr) return kMeshNoMaterialManager;
  SetDisplay(display);
  if (!file_.HasData()) return kMeshFileOpenError;
  measures_.Reset(textureScale);
  const uint32_t result = ReadFile(manager, resource, defaultColour);
  // Whatever stopped a read of cut data, the data was cut.
  if (result != kMeshOk && file_.Truncated()) return kMeshFileFormatError;
  if (result != kMeshOk) return result;
  BuildSkeletonFromInfluences();
  SetupSkinning();
  // The chunks were measured as they were read (skinning leaves what is
  // measured as it is).
  TakeMeasures(measures_);
  measures_.Reset(textureScale);
  file_.Close();
  return kMeshOk;
}

void VandruIndexedMeshDefinition::SetDisplay(Kiv::Display* display) {
  display_ = display;
  hardwareCapability_ = display != nullptr && display->GetCapability(kHardwareSkinningCapability);
  if (hardwareCapability_) maxBonesPerChunk_ = 24;
}

uint32_t VandruIndexedMeshDefinition::OpenResourceFile(const Kiv::String& path) {
  const size_t slash = path.find_last_of("/\\");
  name_ = Kiv::PString(slash == Kiv::String::npos ? path : path.substr(slash + 1));
  return file_.Open(path) && file_.HasData() ? kMeshOk : kMeshFileOpenError;
}

uint32_t VandruIndexedMeshDefinition::ReadFile(Kiv::MaterialManager* manager,
                                               Kiv::Resource* resource, uint32_t defaultColour) {
  Kiv::MemoryFile& file = file_;
  if (!ReadTag(file, "KIRF")) return kMeshFileFormatError;
  uint32_t fileSize = 0;
  file.Read(&fileSize);
  const uint64_t fileEnd = file.Tell() + fileSize;
  if (!ReadTag(file, "IDXM")) return kMeshFileFormatError;
  if (uint32_t result = ReadInfoChunk(file)) return result;

  const uint64_t room = std::min<uint64_t>(chunkCount_, file.Remaining() / kMinChunkBytes);
  chunks_.reserve(room);
  materials_.reserve(room);
  for (uint32_t i = 0; i < chunkCount_;) {
    if (uint32_t result = ReadChunkChunk(manager, resource, file, i, defaultColour)) return result;
    Kiv::GeometryChunk* chunk = GetChunk(i);
    if (chunk == nullptr || chunk->GetNumVertices() == 0 || chunk->GetNumFaces() == 0 ||
        chunk->GetNumIndices() == 0) {
      DropLastChunk();
      --chunkCount_;
      summedChunk_ = nullptr;
      continue;
    }
    measures_.AddChunk(*chunk, summedChunk_ == chunk ? &pendingSums_ : nullptr);
    summedChunk_ = nullptr;
    ++i;
  }
  if (uint32_t result = ReadTrailingChunks(file, fileEnd)) return result;
  for (const Kiv::Ref<Kiv::GeometryChunk>& chunk : chunks_) {
    numVertices_ += chunk->GetNumVertices();
    numFaces_ += chunk->GetNumFaces();
  }
  if (file.Tell() != fileEnd || file.Truncated()) return kMeshFileFormatError;
  return kMeshOk;
}

uint32_t VandruIndexedMeshDefinition::ReadTrailingChunks(Kiv::MemoryFile& file, uint64_t fileEnd) {
  if (file.Tell() < fileEnd) {
    if (uint32_t result = ReadInfluenceChunk(file)) return result;
  }
  if (file.Tell() < fileEnd) {
    if (uint32_t result = ReadAttachmentChunk(file)) return result;
  }
  return kMeshOk;
}

void VandruIndexedMeshDefinition::DropLastChunk() {
  const uint32_t last = static_cast<uint32_t>(chunks_.size()) - 1;
  chunks_.pop_back();
  if (materials_.size() > last) materials_.resize(last);
  if (chunkNames_.size() > last) chunkNames_.resize(last);
  if (!bindings_.empty() && bindings_.back().chunk == last) bindings_.pop_back();
}

uint32_t VandruIndexedMeshDefinition::ReadInfoChunk(Kiv::MemoryFile& file) {
  if (!ReadTag(file, "INFO")) return kMeshFileFormatError;
  const ChunkHeader header = ReadChunkHeader(file);
  if (header.version < 100 || header.version > 104) return kMeshFileVersionError;
  for (float& value : position_) file.Read(&value);
  for (float& value : orientation_) file.Read(&value);
  file.Read(&chunkCount_);
  if (header.version >= 102) {
    file.Read(&maxWeightsPerVertex_);
    file.Read(&fileMaxBonesPerChunk_);
  }
  if (header.version == 104) file.Skip(6 * sizeof(float));
  return kMeshOk;
}

uint32_t VandruIndexedMeshDefinition::ReadChunkChunk(Kiv::MaterialManager* manager,
                                                     Kiv::Resource* resource, Kiv::MemoryFile& file,
                                                     uint32_t index, uint32_t defaultColour) {
  if (!ReadTag(file, "CHNK")) return kMeshFileFormatError;
  const ChunkHeader header = ReadChunkHeader(file);
  if (header.version != 100) return kMeshFileVersionError;
  uint32_t reserved = 0;
  file.Read(&reserved);
  Reach(chunks_, index);
  if (uint32_t result = ReadMaterialChunk(manager, resource, file, index)) return result;
  if (uint32_t result = ReadGeometryChunk(resource, file, index, defaultColour)) return result;
  if (file.Tell() >= header.end) return kMeshOk;
  const bool neighbours = ReadTag(file, "NINF");
  file.Back(4);
  return neighbours ? ReadNeighbourChunk(file, index) : kMeshOk;
}

uint32_t VandruIndexedMeshDefinition::ReadMaterialChunk(Kiv::MaterialManager* manager,
                                                        Kiv::Resource* resource,
                                                        Kiv::MemoryFile& file, uint32_t index) {
  if (!ReadTag(file, "MATL")) return kMeshFileFormatError;
  const ChunkHeader header = ReadChunkHeader(file);
  if (header.version != 102 && header.version != 103) return kMeshFileVersionError;
  MaterialRecord record;
  Kiv::String kind;
  Kiv::MeshFileSupport::ReadPaddedString(file, &kind);
  record.name = DecoratedName(resource, kind);
  uint32_t count = 0;
  file.Read(&count);
  if (!Fits(file, count, kMinPropertyBytes)) return kMeshFileFormatError;
  for (uint32_t i = 0; i < count; ++i) {
    Kiv::PString name, value;
    Kiv::MeshFileSupport::ReadPaddedString(file, &name);
    Kiv::MeshFileSupport::ReadPaddedString(file, &value);
    record.properties.emplace_back(name, value);
  }
  uint32_t twoSided = 0;
  file.Read(&twoSided);
  record.twoSided = twoSided != 0;
  file.Read(&record.factor);
  Kiv::DisplayMaterial& display = record.display;
  ReadColor(file, &display.diffuse);
  ReadColor(file, &display.ambient);
  ReadColor(file, &display.specular);
  ReadColor(file, &display.emissive);
  file.Read(&display.power);
  display.emissive = {display.emissive.r * 0.5f, display.emissive.g * 0.5f,
                      display.emissive.b * 0.5f, display.emissive.a * 0.5f};
  if (header.version == 102) {
    display.specular = {0.0f, 0.0f, 0.0f, 0.0f};
    display.power = kMinSpecularPower;
  }
  if (header.version == 103) display.power = std::max(display.power, kMinSpecularPower);
  file.Read(&count);
  if (!Fits(file, count, kMinTextureBytes)) return kMeshFileFormatError;
  for (uint32_t i = 0; i < count; ++i) {
    MeshTexture texture;
    file.Read(&texture.kind);
    Kiv::MeshFileSupport::ReadPaddedString(file, &texture.name);
    texture.name.ToLower();
    file.Read(&texture.amount);
    record.textures.push_back(std::move(texture));
  }
  return CreateMaterialFromRecord(manager, record, index);
}

Kiv::Material* VandruIndexedMeshDefinition::CreateSubstituteMaterial(
    Kiv::MaterialManager& manager, const Kiv::PString& decorated) {
  Kiv::PString owner;
  Kiv::PString folder;
  const Kiv::PString kind =
      Kiv::MaterialManager::SplitDecoratedMaterialName(decorated, &owner, &folder);
  const Kiv::PString substitute = manager.GetSubstituteKind(kind);
  if (substitute.Empty()) return nullptr;
  const Kiv::PString retry(owner.Str() + "*" + folder.Str() + "*" + substitute.Str());
  Kiv::Material* material = manager.GetMaterial(retry, nullptr);
  if (material != nullptr) material->SetRequestName(decorated);
  return material;
}

uint32_t VandruIndexedMeshDefinition::CreateMaterialFromRecord(Kiv::MaterialManager* manager,
                                                               const MaterialRecord& record,
                                                               uint32_t index) {
  Kiv::Material* material = nullptr;
  if (manager == nullptr) {
    material = new Kiv::Material(
        Kiv::MaterialManager::SplitDecoratedMaterialName(record.name, nullptr, nullptr));
  } else {
    uint32_t failure = 0;
    material = manager->GetMaterial(record.name, &failure);
    if (material == nullptr && !settings.substituteMaterials)
      return failure == Kiv::MaterialManager::kUnsupported ? kMeshUnsupportedMaterial
                                                           : kMeshUnknownMaterial;
    if (material == nullptr) material = CreateSubstituteMaterial(*manager, record.name);
    if (material == nullptr) return kMeshUnknownMaterial;
  }
  Kiv::Ref<Kiv::Material> held(material);
  material->SetDisplayMaterialProperties(record.display);
  material->SetFlags(record.twoSided ? material->GetFlags() | Kiv::Material::kTwoSided
                                     : material->GetFlags() & ~Kiv::Material::kTwoSided);
  material->SetFactor(record.factor);
  for (const auto& [name, value] : record.properties) material->AddProperty(name, value);
  Reach(materials_, index);
  materials_[index] = std::move(held);
  bindings_.push_back(MaterialBinding{index, record.textures});
  return kMeshOk;
}
