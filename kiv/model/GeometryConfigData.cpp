#include "kiv/model/GeometryConfigData.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

namespace Kiv {

namespace {

// Splits `text` at blanks into floats; false when a word is no number.
bool ReadFloats(std::string_view text, std::vector<float>* out) {
  out->clear();
  size_t start = text.find_first_not_of(" \t\r\n");
  while (start != std::string_view::npos) {
    const size_t end = std::min(text.find_first_of(" \t\r\n", start), text.size());
    float value = 0.0f;
    if (!ParseConfigFloat(text.substr(start, end - start), &value)) return false;
    out->push_back(value);
    start = text.find_first_not_of(" \t\r\n", end);
  }
  return true;
}

// A whole word as an unsigned number (decimal, or hex after "0x") up to
// `limit`.
bool ReadWord(std::string_view word, uint64_t limit, uint32_t* value) {
  const String copy(word);
  if (copy.empty() || copy.front() == '-' || copy.front() == '+') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long read = std::strtoull(copy.c_str(), &end, 0);
  if (end != copy.c_str() + copy.size() || errno == ERANGE || read > limit) return false;
  *value = uint32_t(read);
  return true;
}

bool ReadWords(std::string_view text, uint64_t limit, std::vector<uint32_t>* out) {
  out->clear();
  size_t start = text.find_first_not_of(" \t\r\n");
  while (start != std::string_view::npos) {
    const size_t end = std::min(text.find_first_of(" \t\r\n", start), text.size());
    uint32_t value = 0;
    if (!ReadWord(text.substr(start, end - start), limit, &value)) return false;
    out->push_back(value);
    start = text.find_first_not_of(" \t\r\n", end);
  }
  return true;
}

// Reads the floats of `key` in `node` into `out`, which must take exactly
// that many; a missing key leaves `out` as it is.
template <size_t N>
bool ReadFixed(const ConfigNode& node, std::string_view key, std::array<float, N>* out) {
  const ConfigNode* item = node.Find(key);
  if (item == nullptr) return true;
  std::vector<float> values;
  if (!ReadFloats(item->value, &values) || values.size() != N) return false;
  std::copy(values.begin(), values.end(), out->begin());
  return true;
}

bool ReadColor(const ConfigNode& node, std::string_view key, Color* color) {
  std::array<float, 3> rgb{color->r, color->g, color->b};
  if (!ReadFixed(node, key, &rgb)) return false;
  color->r = rgb[0];
  color->g = rgb[1];
  color->b = rgb[2];
  return true;
}

// The count of an optional `key`; false when it is present and no number
// up to `limit`.
bool ReadCount(const ConfigNode& node, std::string_view key, uint64_t limit, uint32_t* value) {
  const ConfigNode* item = node.Find(key);
  return item == nullptr || ReadWord(item->value, limit, value);
}

}  // namespace

bool GeometryConfigData::Fail(const ConfigNode& node, const char* what) {
  error_ = fileName_ + ": line " + std::to_string(node.line) + ": " + what;
  return false;
}

bool GeometryConfigData::HasVertices() const {
  for (const Chunk& chunk : chunks_) {
    if (!chunk.positions.empty()) return true;
  }
  return false;
}

bool GeometryConfigData::LoadConfigData(const ConfigNode& root, bool chunks, bool influences,
                                        bool attachments, const String& fileName) {
  fileName_ = fileName;
  error_.clear();
  if (!ReadFixed(root, "position", &position_)) return Fail(root, "position wants 3 numbers");
  if (!ReadFixed(root, "orientation", &orientation_))
    return Fail(root, "orientation wants 4 numbers");
  if (!ReadCount(root, "maxWeights", kMaxSkinWeights, &maxWeights_))
    return Fail(root, "maxWeights wants a number up to 4");
  if (!ReadCount(root, "maxBones", UINT32_MAX, &maxBones_))
    return Fail(root, "maxBones wants a number");
  for (const ConfigNode& node : root.children) {
    if (chunks && EqualsIgnoreCase(node.key, "chunk") && !ReadChunk(node)) return false;
  }
  for (const ConfigNode& node : root.children) {
    if (influences && EqualsIgnoreCase(node.key, "influence") && !ReadInfluence(node))
      return false;
    if (attachments && EqualsIgnoreCase(node.key, "attachment") && !ReadAttachment(node))
      return false;
  }
  return true;
}

bool GeometryConfigData::ReadChunk(const ConfigNode& node) {
  Chunk chunk;
  chunk.name = node.value;
  const ConfigNode* material = node.Find("material");
  if (material == nullptr) return Fail(node, "a chunk has no material");
  if (!ReadMaterial(*material, &chunk.material)) return false;
  if (!ReadCount(node, "skinWeights", kMaxSkinWeights, &chunk.skinWeights))
    return Fail(node, "skinWeights wants a number up to 4");
  chunk.hintValue = node.GetFloat("hintValue", 0.0f);
  const ConfigNode* positions = node.Find("positions");
  if (positions == nullptr || !ReadFloats(positions->value, &chunk.positions) ||
      chunk.positions.size() % 3 != 0)
    return Fail(node, "positions want 3 numbers a vertex");
  const size_t vertices = chunk.positions.size() / 3;
  if (vertices == 0) return Fail(node, "a chunk has no vertices");
  if (vertices > kMaxVertices) return Fail(node, "a chunk holds more than 65535 vertices");
  std::vector<float> floats;
  std::vector<uint32_t> words;
  for (const ConfigNode& item : node.children) {
    if (EqualsIgnoreCase(item.key, "texCoords")) {
      if (chunk.texCoords.size() == kMaxTextureSets)
        return Fail(item, "a chunk holds more than 8 texture sets");
      if (!ReadFloats(item.value, &floats) || floats.size() != 2 * vertices)
        return Fail(item, "texCoords want 2 numbers a vertex");
      chunk.texCoords.push_back(floats);
    }
  }
  if (const ConfigNode* item = node.Find("normals")) {
    if (!ReadFloats(item->value, &chunk.normals) || chunk.normals.size() != 3 * vertices)
      return Fail(*item, "normals want 3 numbers a vertex");
  }
  if (const ConfigNode* item = node.Find("colours")) {
    if (!ReadWords(item->value, UINT32_MAX, &chunk.colours) || chunk.colours.size() != vertices)
      return Fail(*item, "colours want one word a vertex");
  }
  if (const ConfigNode* item = node.Find("colours2")) {
    if (!ReadWords(item->value, UINT32_MAX, &chunk.colours2) || chunk.colours2.size() != vertices)
      return Fail(*item, "colours2 want one word a vertex");
  }
  const ConfigNode* indices = node.Find("indices");
  if (indices == nullptr || !ReadWords(indices->value, vertices - 1, &words) ||
      words.empty() || words.size() % 3 != 0)
    return Fail(node, "indices want 3 vertices of the chunk a face");
  chunk.indices.assign(words.begin(), words.end());
  if (const ConfigNode* item = node.Find("faceNormals")) {
    if (!ReadFloats(item->value, &chunk.faceNormals) ||
        chunk.faceNormals.size() != chunk.indices.size())
      return Fail(*item, "faceNormals want 3 numbers a face");
  }
  chunks_.push_back(std::move(chunk));
  return true;
}

bool GeometryConfigData::ReadMaterial(const ConfigNode& node, Material* material) {
  material->kind = node.GetText("kind", String());
  if (material->kind.empty()) return Fail(node, "a material has no kind");
  material->twoSided = node.GetBool("twoSided", false);
  material->factor = node.GetFloat("factor", 1.0f);
  DisplayMaterial& display = material->display;
  display.power = node.GetFloat("power", 0.0f);
  if (!ReadColor(node, "diffuse", &display.diffuse) ||
      !ReadColor(node, "ambient", &display.ambient) ||
      !ReadColor(node, "specular", &display.specular) ||
      !ReadColor(node, "emissive", &display.emissive))
    return Fail(node, "a material colour wants 3 numbers");
  for (const ConfigNode& item : node.children) {
    if (EqualsIgnoreCase(item.key, "property")) {
      if (!item.hasValue) return Fail(item, "a property has no name");
      material->properties.emplace_back(item.value, item.GetText("value", String()));
    }
    if (EqualsIgnoreCase(item.key, "texture")) {
      Texture texture;
      texture.name = item.value;
      texture.amount = item.GetFloat("amount", 1.0f);
      if (!item.hasValue || !ReadCount(item, "kind", UINT32_MAX, &texture.kind))
        return Fail(item, "a texture wants a name and a numeric kind");
      material->textures.push_back(std::move(texture));
    }
  }
  return true;
}

bool GeometryConfigData::ReadInfluence(const ConfigNode& node) {
  if (influences_.size() == kMaxInfluences) return Fail(node, "more than 1023 influences");
  InfluenceDefinition influence;
  influence.name = PString(node.value);
  influence.parentName = PString(node.GetText("parent", String()));
  if (!node.hasValue) return Fail(node, "an influence has no name");
  if (!ReadFixed(node, "position", &influence.position) ||
      !ReadFixed(node, "orientation", &influence.orientation))
    return Fail(node, "an influence wants 3 position and 9 orientation numbers");
  std::vector<float> values;
  for (const ConfigNode& item : node.children) {
    if (!EqualsIgnoreCase(item.key, "group")) continue;
    InfluenceDefinition::Group group;
    const Chunk* chunk = nullptr;
    if (!ReadWord(item.value, UINT32_MAX, &group.key) || (chunk = GetChunk(group.key)) == nullptr)
      return Fail(item, "a group wants the index of a chunk");
    const ConfigNode* entries = item.Find("entries");
    if (entries == nullptr || !ReadFloats(entries->value, &values) || values.size() % 5 != 0)
      return Fail(item, "group entries want a vertex and 4 numbers each");
    for (size_t i = 0; i < values.size(); i += 5) {
      InfluenceDefinition::Entry entry;
      const float vertex = values[i];
      if (!(vertex >= 0.0f) || vertex * 3 >= float(chunk->positions.size()) ||
          vertex != float(uint32_t(vertex)))
        return Fail(item, "a group entry names no vertex of its chunk");
      entry.index = uint32_t(vertex);
      std::copy(values.begin() + i + 1, values.begin() + i + 5, entry.values.begin());
      group.entries.push_back(entry);
    }
    if (!group.entries.empty()) influence.groups.push_back(std::move(group));
  }
  influences_.push_back(std::move(influence));
  return true;
}

bool GeometryConfigData::ReadAttachment(const ConfigNode& node) {
  Attachment attachment;
  attachment.name = node.value;
  if (!node.hasValue) return Fail(node, "an attachment has no name");
  if (!ReadFixed(node, "position", &attachment.position) ||
      !ReadFixed(node, "orientation", &attachment.orientation))
    return Fail(node, "an attachment wants 3 position and 9 orientation numbers");
  attachments_.push_back(std::move(attachment));
  return true;
}

}  // namespace Kiv
