// Kiv::GeometryConfigData: a mesh described in configuration text
// (docs/formats/text-mesh.md), taken from the tree that Kiv::ConfigParser
// built: placement, chunks with their material settings and vertex data,
// influences and attachment points.
//
// LoadConfigData reads the tree and checks everything a reader relies on:
// number lists hold whole records, every vertex stream of a chunk has the
// chunk's vertex count, indices come in triangles and name vertices of the
// chunk, a chunk has at most 65,535 vertices and kMaxTextureSets texture
// sets, influence entries name vertices of their chunk, and there are at
// most kMaxInfluences influences. It answers false
// with Error() naming the item's line at the first fault; what was read
// before the fault stays. Accessors of a chunk index out of range answer
// empty values. A value type; not thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "kiv/PString.h"
#include "kiv/String.h"
#include "kiv/basics/ConfigParser.h"
#include "kiv/display/DisplayMaterial.h"
#include "kiv/model/InfluenceDefinition.h"

namespace Kiv {

class GeometryConfigData {
 public:
  static constexpr uint32_t kMaxTextureSets = 8;
  static constexpr uint32_t kMaxVertices = 65535;
  static constexpr uint32_t kMaxSkinWeights = 4;
  static constexpr uint32_t kMaxInfluences = 1023;

  struct Texture {
    uint32_t kind = 0;
    String name;
    float amount = 0.0f;
  };
  struct Material {
    String kind;
    std::vector<std::pair<String, String>> properties;
    bool twoSided = false;
    float factor = 1.0f;
    DisplayMaterial display;
    std::vector<Texture> textures;
  };
  struct Chunk {
    String name;
    Material material;
    uint32_t skinWeights = 0;
    float hintValue = 0.0f;                      // The chunk hint's value.
    std::vector<float> positions;                // 3 a vertex.
    std::vector<std::vector<float>> texCoords;   // 2 a vertex, per set.
    std::vector<float> normals;                  // 3 a vertex; may be empty.
    std::vector<uint32_t> colours;               // 1 a vertex; may be empty.
    std::vector<uint32_t> colours2;              // 1 a vertex; may be empty.
    std::vector<uint16_t> indices;               // 3 a face.
    std::vector<float> faceNormals;              // 3 a face; may be empty.
  };
  struct Attachment {
    String name;
    std::array<float, 9> orientation{};
    std::array<float, 3> position{};
  };

  // Reads `root` (the parser's tree). `chunks`, `influences` and
  // `attachments` choose what is read; `fileName` names the text in errors.
  bool LoadConfigData(const ConfigNode& root, bool chunks, bool influences, bool attachments,
                      const String& fileName);
  const String& Error() const { return error_; }

  bool HasVertices() const;
  const std::array<float, 3>& GetPosition() const { return position_; }
  const std::array<float, 4>& GetOrientation() const { return orientation_; }
  uint32_t GetNumChunks() const { return uint32_t(chunks_.size()); }
  uint32_t GetMaxWeightsPerVertex() const { return maxWeights_; }
  uint32_t GetMaxBonesPerChunk() const { return maxBones_; }
  // Null past the last chunk.
  const Chunk* GetChunk(uint32_t index) const {
    return index < chunks_.size() ? &chunks_[index] : nullptr;
  }
  const std::vector<InfluenceDefinition>& GetInfluences() const { return influences_; }
  const std::vector<Attachment>& GetAttachments() const { return attachments_; }

 private:
  bool Fail(const ConfigNode& node, const char* what);
  bool ReadChunk(const ConfigNode& node);
  bool ReadMaterial(const ConfigNode& node, Material* material);
  bool ReadInfluence(const ConfigNode& node);
  bool ReadAttachment(const ConfigNode& node);

  String fileName_;
  String error_;
  std::array<float, 3> position_{0.0f, 0.0f, 0.0f};
  std::array<float, 4> orientation_{0.0f, 0.0f, 0.0f, 1.0f};
  uint32_t maxWeights_ = 0;
  uint32_t maxBones_ = 0;
  std::vector<Chunk> chunks_;
  std::vector<InfluenceDefinition> influences_;
  std::vector<Attachment> attachments_;
};

}  // namespace Kiv
