// A small writer of indexed mesh files for tests, written from the format
// description (docs/formats/indexed-mesh.md), independently of the reader.
// MeshSpec describes a file; WriteMesh lays it out. Defaults give a valid
// one-chunk cube with the newest chunk versions.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace meshfixture {

class Bytes {
 public:
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) data.push_back(uint8_t(v >> (8 * i)));
  }
  void F32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    U32(v);
  }
  void Tag(const char* tag) { data.insert(data.end(), tag, tag + 4); }
  void Padded(const std::string& text) {
    U32(uint32_t(text.size()));
    data.insert(data.end(), text.begin(), text.end());
    data.insert(data.end(), (4 - text.size() % 4) % 4, 0);
  }
  // Starts a chunk: tag, size (patched by End), version. Answers the mark.
  size_t Begin(const char* tag, uint32_t version) {
    Tag(tag);
    const size_t mark = data.size();
    U32(0);
    U32(version);
    return mark;
  }
  void End(size_t mark) {
    const uint32_t size = uint32_t(data.size() - mark - 4);
    for (int i = 0; i < 4; ++i) data[mark + i] = uint8_t(size >> (8 * i));
  }
  std::vector<uint8_t> data;
};

inline float Position(uint32_t v, int axis) {
  return float((v >> axis) & 1) * 2.0f - 1.0f;
}

inline std::vector<uint16_t> CubeIndices() {
  std::vector<uint16_t> indices;
  for (uint16_t face = 0; face < 6; ++face) {
    const uint16_t b = uint16_t(face * 4);
    for (uint16_t i : {0, 1, 2, 0, 2, 3}) indices.push_back(uint16_t(b + i));
  }
  return indices;
}

struct MaterialSpec {
  uint32_t version = 103;
  std::string kind = "tbumptex";
  std::vector<std::pair<std::string, std::string>> properties{{"Gloss", "0.5"}};
  uint32_t twoSided = 1;
  float factor = 0.75f;
  float diffuse[3] = {0.5f, 0.25f, 1.0f};
  float emissive[3] = {0.5f, 1.0f, 0.25f};
  float specular[3] = {0.1f, 0.2f, 0.3f};
  float power = 40.0f;
  std::vector<std::pair<uint32_t, std::string>> textures{{1, "Body\\Paint.TEXTURE"}};
};

struct GeometrySpec {
  uint32_t version = 201;
  uint32_t primitive = 4;
  uint32_t extraFlags = 1;
  uint32_t vertices = 24;
  int64_t vertexField = -1;  // A count to write in place of `vertices`.
  uint32_t faces = 12;
  std::vector<uint16_t> indices = CubeIndices();
  uint32_t faceNormals = 12;
  int64_t faceNormalField = -1;  // A count to write in place of `faceNormals`.
  uint32_t sets = 2;             // Written for versions 103..199 only.
  uint32_t skinWeights = 0;
  std::string name = "body";
  uint32_t colour = 0xFF336699;
  float scale = 1.0f;            // Positions are the unit cube's corners times this.
  std::vector<float> positions;  // When given: 3 floats a vertex, in place of the corners.
  std::vector<float> texCoords;  // When given: 2 floats a vertex for the first set.
};

struct ChunkSpec {
  MaterialSpec material;
  GeometrySpec geometry;
  bool neighbours = true;
  uint32_t neighbourVersion = 100;
};

// An influence of an INFL chunk: groups of (vertex, weight) entries under
// a chunk index.
struct InfluenceSpec {
  std::string name;
  std::string parent;
  std::vector<std::pair<uint32_t, std::vector<std::pair<uint32_t, float>>>> groups;
};

// A PMIN chunk: the four lists as written (records carry their value
// counts, groups their record counts, levels their group counts).
struct PminSpec {
  uint32_t version = 101;
  std::vector<uint32_t> values{1, 2, 3};
  std::vector<uint32_t> recordValueCounts{2, 1};
  std::vector<uint32_t> groupRecordCounts{2};
  std::vector<uint32_t> levelGroupCounts{1};
};

struct MeshSpec {
  uint32_t infoVersion = 104;
  int64_t chunkCount = -1;  // -1: the number of chunks below.
  uint32_t maxWeights = 0;
  uint32_t maxBones = 0;
  std::vector<ChunkSpec> chunks{ChunkSpec{}};
  bool skeleton = false;  // SKEL with a root bone and one child.
  uint32_t boneVersion = 100;
  bool influences = false;      // INFL with two influences.
  uint32_t influenceCount = 2;  // As written in the chunk.
  bool attachments = false;
  uint32_t attachmentVersion = 100;
  std::string trailingTag;                   // A chunk after the last one.
  std::vector<InfluenceSpec> influenceList;  // In place of the two fixed influences.
  std::vector<std::string> attachmentNames{"a.light"};
  bool pmin = false;
  PminSpec pminSpec;
  bool pminBeforeAttachments = false;
};

inline void WritePmin(Bytes& out, const PminSpec& p) {
  const size_t mark = out.Begin("PMIN", p.version);
  out.U32(uint32_t(p.values.size()));
  out.U32(uint32_t(p.recordValueCounts.size()));
  out.U32(uint32_t(p.groupRecordCounts.size()));
  out.U32(uint32_t(p.levelGroupCounts.size()));
  for (uint32_t v : p.values) out.U32(v);
  for (uint32_t r : p.recordValueCounts) {
    for (uint32_t k : {0u, 1u, 2u}) out.U32(k);
    out.U32(r);
  }
  for (uint32_t g : p.groupRecordCounts) {
    out.U32(0);
    out.U32(g);
  }
  for (uint32_t l : p.levelGroupCounts) out.U32(l);
  out.End(mark);
}

inline void WriteInfluenceList(Bytes& out, const std::vector<InfluenceSpec>& list) {
  const size_t mark = out.Begin("INFL", 100);
  out.U32(uint32_t(list.size()));
  for (const InfluenceSpec& influence : list) {
    out.Padded(influence.name);
    out.Padded(influence.parent);
    for (float f : {0.5f, 1.0f, 1.5f}) out.F32(f);
    for (float f : {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f}) out.F32(f);
    out.U32(uint32_t(influence.groups.size()));
    for (const auto& [key, entries] : influence.groups) {
      out.U32(key);
      out.U32(uint32_t(entries.size()));
      for (const auto& [vertex, weight] : entries) {
        out.U32(vertex);
        for (float f : {weight, 0.0f, 0.0f, 0.0f}) out.F32(f);
      }
    }
  }
  out.End(mark);
}

inline void WriteMaterial(Bytes& out, const MaterialSpec& m) {
  const size_t mark = out.Begin("MATL", m.version);
  out.Padded(m.kind);
  out.U32(uint32_t(m.properties.size()));
  for (const auto& [name, value] : m.properties) {
    out.Padded(name);
    out.Padded(value);
  }
  out.U32(m.twoSided);
  out.F32(m.factor);
  for (float f : m.diffuse) out.F32(f);
  for (float f : m.diffuse) out.F32(f * 0.5f);  // ambient
  for (float f : m.specular) out.F32(f);
  for (float f : m.emissive) out.F32(f);
  out.F32(m.power);
  out.U32(uint32_t(m.textures.size()));
  for (const auto& [kind, name] : m.textures) {
    out.U32(kind);
    out.Padded(name);
    out.F32(1.0f);
  }
  out.End(mark);
}

inline void WriteGeometry(Bytes& out, const GeometrySpec& g) {
  const size_t mark = out.Begin("GEOM", g.version);
  const std::vector<uint16_t>& indices = g.indices;
  const uint32_t sets = (g.version >= 103 && g.version <= 199) ? g.sets : 1;
  out.U32(g.primitive);
  if (g.version >= 201) out.U32(g.extraFlags);
  out.F32(0.5f);
  out.U32(g.vertexField < 0 ? g.vertices : uint32_t(g.vertexField));
  out.U32(g.faces);
  out.U32(uint32_t(indices.size()));
  out.U32(g.faceNormalField < 0 ? g.faceNormals : uint32_t(g.faceNormalField));
  if (g.version >= 103 && g.version <= 199) out.U32(g.sets);
  if (g.version >= 102) out.U32(g.skinWeights);
  if (g.version >= 200) out.Padded(g.name);
  for (uint32_t v = 0; v < g.vertices; ++v) {
    for (int axis = 0; axis < 3; ++axis) {
      out.F32(g.positions.empty() ? Position(v, axis) * g.scale : g.positions[v * 3 + axis]);
    }
    for (uint32_t s = 0; s < sets; ++s) {
      const bool given = s == 0 && !g.texCoords.empty();
      out.F32(given ? g.texCoords[v * 2] : float(v) / 32.0f + float(s));
      out.F32(given ? g.texCoords[v * 2 + 1] : float(s));
    }
  }
  for (uint16_t i : indices) out.data.insert(out.data.end(), {uint8_t(i), uint8_t(i >> 8)});
  for (uint32_t v = 0; v < g.vertices * 3; ++v) out.F32(v % 3 == 1 ? 1.0f : 0.0f);
  if (g.version >= 104 && g.version <= 199) {
    for (uint32_t v = 0; v < g.vertices; ++v) out.U32(g.colour);
  }
  for (uint32_t f = 0; f < g.faceNormals * 3; ++f) out.F32(f % 3 == 2 ? -1.0f : 0.0f);
  if (g.version >= 201 && (g.extraFlags & 1) != 0) {
    for (uint32_t v = 0; v < g.vertices * 3; ++v) out.F32(7.0f);
  }
  // Any padding the 2-byte indices left stays inside the chunk.
  while ((out.data.size() % 4) != 0) out.data.push_back(0);
  out.End(mark);
}

inline void WriteBone(Bytes& out, uint32_t version, const std::string& name, uint32_t children) {
  const size_t mark = out.Begin("BONE", version);
  out.Padded(name);
  for (float f : {1.0f, 2.0f, 3.0f, 0.0f, 0.0f, 0.0f, 1.0f}) out.F32(f);
  out.U32(children);
  out.End(mark);  // Children follow the bone's own fields.
}

inline std::vector<uint8_t> WriteMesh(const MeshSpec& spec) {
  Bytes out;
  out.Tag("KIRF");
  const size_t sizeMark = out.data.size();
  out.U32(0);
  out.Tag("IDXM");
  const size_t info = out.Begin("INFO", spec.infoVersion);
  for (float f : {1.0f, 2.0f, 3.0f, 0.0f, 0.0f, 0.0f, 1.0f}) out.F32(f);
  out.U32(spec.chunkCount < 0 ? uint32_t(spec.chunks.size()) : uint32_t(spec.chunkCount));
  if (spec.infoVersion >= 102) {
    out.U32(spec.maxWeights);
    out.U32(spec.maxBones);
  }
  if (spec.infoVersion == 104) {
    for (int i = 0; i < 6; ++i) out.F32(9.0f);
  }
  out.End(info);
  for (const ChunkSpec& chunk : spec.chunks) {
    const size_t mark = out.Begin("CHNK", 100);
    out.U32(0);
    WriteMaterial(out, chunk.material);
    WriteGeometry(out, chunk.geometry);
    if (chunk.neighbours) {
      const size_t ninf = out.Begin("NINF", chunk.neighbourVersion);
      for (uint32_t f = 0; f < chunk.geometry.faces * 3; ++f) out.U32(f);
      out.End(ninf);
    }
    out.End(mark);
  }
  if (spec.influences && !spec.influenceList.empty()) {
    WriteInfluenceList(out, spec.influenceList);
  } else if (spec.influences) {
    const size_t mark = out.Begin("INFL", 100);
    out.U32(spec.influenceCount);
    for (int i = 0; i < 2; ++i) {
      out.Padded(i == 0 ? "root" : "arm");
      out.Padded(i == 0 ? "" : "root");
      for (int k = 0; k < 3 + 9; ++k) out.F32(float(k));
      out.U32(2);  // Two groups, the first empty (dropped).
      out.U32(7);
      out.U32(0);
      out.U32(8);
      out.U32(1);
      out.U32(3);
      for (float f : {0.25f, 0.5f, 0.75f, 1.0f}) out.F32(f);
    }
    out.End(mark);
  }
  if (spec.skeleton) {
    const size_t mark = out.Begin("SKEL", 100);
    WriteBone(out, spec.boneVersion, "root", 1);
    WriteBone(out, spec.boneVersion, "child", 0);
    out.End(mark);
  }
  if (spec.pmin && spec.pminBeforeAttachments) WritePmin(out, spec.pminSpec);
  if (spec.attachments) {
    const size_t mark = out.Begin("ATCH", spec.attachmentVersion);
    out.U32(uint32_t(spec.attachmentNames.size()));
    for (const std::string& name : spec.attachmentNames) {
      out.Padded(name);
      for (int k = 0; k < 9 + 3; ++k) out.F32(float(k));
    }
    out.End(mark);
  }
  if (spec.pmin && !spec.pminBeforeAttachments) WritePmin(out, spec.pminSpec);
  if (!spec.trailingTag.empty()) out.End(out.Begin(spec.trailingTag.c_str(), 100));
  const uint32_t size = uint32_t(out.data.size() - sizeMark - 4);
  for (int i = 0; i < 4; ++i) out.data[sizeMark + i] = uint8_t(size >> (8 * i));
  return out.data;
}

// Changes `spec` by one KEY=VALUE setting of the short descriptions that
// the meshfixture tool and the validation fixtures use:
//   chunks=N        N copies of the first chunk
//   scale=F         positions times F
//   info=V geom=V matl=V   chunk versions
//   skin=S          skin weights per vertex of every GEOM (INFO then
//                   allows 4 weights and 24 bones)
//   bones=a,b:a,... influences on chunk 0 (name[:parent]); bone i weights
//                   vertex i with 1.0
//   skeleton=1      a SKEL chunk (root and one child)
//   attachments=n1,n2  ATCH with these names
//   texture=NAME    every chunk's one texture
//   pmin=1          a PMIN chunk after the others
// False for a key it does not know.
inline bool ApplyKey(MeshSpec& spec, const std::string& key, const std::string& value) {
  const auto split = [](const std::string& text, char by) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, by);) parts.push_back(part);
    return parts;
  };
  const uint32_t number = uint32_t(std::strtoul(value.c_str(), nullptr, 10));
  if (key == "chunks") {
    spec.chunks.assign(number, spec.chunks.front());
  } else if (key == "scale") {
    for (auto& chunk : spec.chunks) chunk.geometry.scale = std::strtof(value.c_str(), nullptr);
  } else if (key == "info") {
    spec.infoVersion = number;
  } else if (key == "geom") {
    for (auto& chunk : spec.chunks) chunk.geometry.version = number;
  } else if (key == "matl") {
    for (auto& chunk : spec.chunks) chunk.material.version = number;
  } else if (key == "skin") {
    for (auto& chunk : spec.chunks) chunk.geometry.skinWeights = number;
    spec.maxWeights = 4;
    spec.maxBones = 24;
  } else if (key == "bones") {
    spec.influences = true;
    spec.influenceList.clear();
    uint32_t vertex = 0;
    for (const std::string& bone : split(value, ',')) {
      const std::vector<std::string> parts = split(bone, ':');
      spec.influenceList.push_back(
          {parts[0], parts.size() > 1 ? parts[1] : "", {{0, {{vertex++, 1.0f}}}}});
    }
  } else if (key == "skeleton") {
    spec.skeleton = number != 0;
  } else if (key == "attachments") {
    spec.attachments = true;
    spec.attachmentNames = split(value, ',');
  } else if (key == "texture") {
    for (auto& chunk : spec.chunks) chunk.material.textures = {{1, value}};
  } else if (key == "pmin") {
    spec.pmin = number != 0;
  } else {
    return false;
  }
  return true;
}

}  // namespace meshfixture
