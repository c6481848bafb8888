// Text meshes ("imtxt"): the configuration-text form of an indexed mesh,
// read through Kiv::GeometryConfigData (docs/formats/text-mesh.md).
#include <cmath>
#include <cstring>
#include <vector>

#include "kiv/basics/ConfigParser.h"
#include "kiv/display/Display.h"
#include "kiv/display/MaterialManager.h"
#include "kiv/model/GeometryConfigData.h"
#include "kiv/store/Resource.h"
#include "render/meshes/MeshChunkReader.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"

namespace {

constexpr int kTextVersion = 100;  // The version times 100, truncated.
// Chunk hints of text meshes are those of the newest GEOM chunks.
constexpr uint32_t kTextGeometryVersion = 200;

Kiv::String FileNameOf(const Kiv::String& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == Kiv::String::npos ? path : path.substr(slash + 1);
}

}  // namespace

uint32_t VandruIndexedMeshDefinition::LoadText(Kiv::Display* display,
                                               Kiv::MaterialManager* manager,
                                               Kiv::Resource* resource, uint32_t /*unused*/,
                                               uint32_t defaultColour, const Kiv::String& path) {
  const Kiv::String& found =
      resource != nullptr && !resource->GetFilePath().empty() ? resource->GetFilePath() : path;
  Kiv::ConfigParser parser;
  switch (parser.Parse(found)) {
    case Kiv::ConfigParser::kOk:
      break;
    case Kiv::ConfigParser::kOpenFailed:
      return kMeshFileOpenError;
    case Kiv::ConfigParser::kSyntaxError:
      return kMeshFileFormatError;
    default:
      return kMeshUnknown;
  }
  if (parser.GetRoot().children.empty()) return kMeshFileFormatError;
  if (!(std::trunc(parser.GetVersion() * 100.0f) == float(kTextVersion)))
    return kMeshFileVersionError;
  return LoadFromConfigData(display, manager, resource, defaultColour, parser.GetRoot(), found);
}

uint32_t VandruIndexedMeshDefinition::LoadFromConfigData(Kiv::Display* display,
                                                         Kiv::MaterialManager* manager,
                                                         Kiv::Resource* resource,
                                                         uint32_t defaultColour,
                                                         const Kiv::ConfigNode& data,
                                                         const Kiv::String& fileName) {
  if (manager == nullptr) return kMeshNoMaterialManager;
  Kiv::GeometryConfigData geometry;
  // Data that fails its checks is not used, whatever of it did read.
  if (!geometry.LoadConfigData(data, true, true, true, fileName)) return kMeshFileFormatError;
  if (!geometry.HasVertices()) return kMeshFileFormatError;
  SetDisplay(display);
  name_ = Kiv::PString(FileNameOf(fileName));
  position_ = geometry.GetPosition();
  orientation_ = geometry.GetOrientation();
  chunkCount_ = geometry.GetNumChunks();
  maxWeightsPerVertex_ = geometry.GetMaxWeightsPerVertex();
  fileMaxBonesPerChunk_ = geometry.GetMaxBonesPerChunk();
  chunks_.reserve(chunkCount_);
  materials_.reserve(chunkCount_);
  for (uint32_t i = 0; i < chunkCount_; ++i) {
    Reach(chunks_, i);
    if (uint32_t result = CreateMaterial(manager, resource, geometry, i)) return result;
    if (uint32_t result = ReadConfigGeometry(resource, geometry, i, defaultColour)) return result;
    numVertices_ += chunks_[i]->GetNumVertices();
    numFaces_ += chunks_[i]->GetNumFaces();
  }
  if (uint32_t result = ReadConfigInfluences(geometry)) return result;
  if (uint32_t result = ReadConfigAttachments(geometry)) return result;
  BuildSkeletonFromInfluences();
  SetupSkinning();
  ComputeMeasures(true);
  return kMeshOk;
}

uint32_t VandruIndexedMeshDefinition::CreateMaterial(Kiv::MaterialManager* manager,
                                                     Kiv::Resource* resource,
                                                     const Kiv::GeometryConfigData& data,
                                                     uint32_t index) {
  const Kiv::GeometryConfigData::Material& from = data.GetChunk(index)->material;
  MaterialRecord record;
  record.name = DecoratedName(resource, from.kind);
  for (const auto& [name, value] : from.properties)
    record.properties.emplace_back(Kiv::PString(name), Kiv::PString(value));
  record.twoSided = from.twoSided;
  record.factor = from.factor;
  record.display = from.display;
  for (const Kiv::GeometryConfigData::Texture& texture : from.textures) {
    MeshTexture entry{texture.kind, Kiv::PString(texture.name), texture.amount};
    entry.name.ToLower();
    record.textures.push_back(std::move(entry));
  }
  return CreateMaterialFromRecord(manager, record, index);
}

uint32_t VandruIndexedMeshDefinition::ReadConfigGeometry(Kiv::Resource* resource,
                                                         const Kiv::GeometryConfigData& data,
                                                         uint32_t index, uint32_t defaultColour) {
  const Kiv::GeometryConfigData::Chunk& from = *data.GetChunk(index);
  const uint32_t vertices = uint32_t(from.positions.size() / 3);
  const uint32_t indices = uint32_t(from.indices.size());
  const uint32_t faceNormals = uint32_t(from.faceNormals.size() / 3);
  const uint32_t sets = uint32_t(from.texCoords.size());
  Reach(chunkNames_, index);
  chunkNames_[index] = Kiv::PString(from.name);

  Kiv::StandardChunkHint hint =
      MakeHint(resource, kTextGeometryVersion, from.skinWeights, from.hintValue, sets);
  if (hardwareSkinning_ && from.skinWeights != 0) {
    hint.paletteGranularity = from.skinWeights;
    hint.maxBones = fileMaxBonesPerChunk_;
  }
  Kiv::Material* material = GetMaterial(index);
  Kiv::GeometryChunk* created =
      material != nullptr
          ? material->CreateGeometryChunk(vertices, indices / 3, indices, faceNormals, 0, hint)
          : nullptr;
  if (created == nullptr) return kMeshFileFormatError;
  chunks_[index].reset(created);
  Kiv::GeometryChunk& chunk = *created;

  if (uint32_t result = FillSkinDefaults(chunk, from.skinWeights, hardwareSkinning_))
    return result;
  const auto positions = chunk.GetItemArray(Kiv::GeometryChunk::kPosition);
  if (!positions) return kMeshFailChunkCreate;
  for (uint32_t v = 0; v < vertices; ++v) std::memcpy(positions[v], &from.positions[3 * v], 12);
  for (uint32_t set = 0; set < sets; ++set) {
    const auto texCoords = chunk.GetItemArray(Kiv::GeometryChunk::kTexCoord0 + set);
    for (uint32_t v = 0; texCoords && v < vertices; ++v)
      std::memcpy(texCoords[v], &from.texCoords[set][2 * v], 8);
  }
  uint16_t* array = chunk.GetIndexArray();
  if (array == nullptr) return kMeshFailChunkCreate;
  std::memcpy(array, from.indices.data(), 2 * size_t(indices));
  const auto normals = chunk.GetItemArray(Kiv::GeometryChunk::kNormal);
  for (uint32_t v = 0; normals && v < from.normals.size() / 3; ++v)
    std::memcpy(normals[v], &from.normals[3 * v], 12);
  FillColours(chunk, Kiv::GeometryChunk::kColor, from.colours, defaultColour);
  if (!from.colours2.empty()) FillColours(chunk, Kiv::GeometryChunk::kColor2, from.colours2, 0);
  if (faceNormals != 0) {
    float* normalsOfFaces = chunk.GetFaceNormalArray();
    if (normalsOfFaces == nullptr) return kMeshFailChunkCreate;
    std::memcpy(normalsOfFaces, from.faceNormals.data(), 12 * size_t(faceNormals));
  }
  return kMeshOk;
}

void VandruIndexedMeshDefinition::FillColours(Kiv::GeometryChunk& chunk, uint32_t element,
                                              const std::vector<uint32_t>& given,
                                              uint32_t fallback) const {
  const auto colours = chunk.GetColorArray(element);
  if (!colours) return;
  const uint32_t vertices = chunk.GetNumVertices();
  std::vector<uint32_t> words = given;
  if (words.empty()) {
    words.assign(vertices, fallback);
  } else if (display_ != nullptr) {
    display_->ConvertColorArray(words.data(), uint32_t(words.size()));
  }
  for (uint32_t v = 0; v < vertices && v < words.size(); ++v) *colours[v] = words[v];
}

uint32_t VandruIndexedMeshDefinition::ReadConfigInfluences(const Kiv::GeometryConfigData& data) {
  influences_ = data.GetInfluences();
  return kMeshOk;
}

uint32_t VandruIndexedMeshDefinition::ReadConfigAttachments(const Kiv::GeometryConfigData& data) {
  for (const Kiv::GeometryConfigData::Attachment& from : data.GetAttachments())
    attachments_.push_back(MeshAttachment{Kiv::PString(from.name), from.orientation, from.position});
  return kMeshOk;
}
