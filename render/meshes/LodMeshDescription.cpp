// The LOD text description ("lm.txt"): levels and named meshes, each
// loaded from an indexed mesh file beside the description.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "kiv/basics/MemoryFile.h"
#include "render/meshes/VandruIndexedMeshLODDefinition.h"

namespace {

constexpr int kVersion = 100;  // The version times 100, truncated.
constexpr uint32_t kLevelColour = 0xFFFFFFFF;

// A "mesh" value of digits and dots only (an empty value too) is a level.
bool IsNumeric(std::string_view value) {
  return value.find_first_not_of("1234567890.") == std::string_view::npos;
}

// `name` with "/" separators, or empty when it is rooted or climbs out of
// its folder.
Kiv::String ConfinedName(const Kiv::String& name) {
  Kiv::String clean = name;
  std::replace(clean.begin(), clean.end(), '\\', '/');
  if (clean.empty() || clean.front() == '/') return {};
  size_t start = 0;
  while (start <= clean.size()) {
    const size_t end = std::min(clean.find('/', start), clean.size());
    if (clean.compare(start, end - start, "..") == 0) return {};
    start = end + 1;
  }
  return clean;
}

Kiv::String FolderOf(const Kiv::String& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == Kiv::String::npos ? Kiv::String() : path.substr(0, slash + 1);
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() &&
         Kiv::EqualsIgnoreCase(text.substr(text.size() - end.size()), end);
}

float Squared(const std::array<float, 3>& a, const std::array<float, 3>& b) {
  float sum = 0.0f;
  for (int i = 0; i < 3; ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  return sum;
}

}  // namespace

uint32_t VandruIndexedMeshLODDefinition::ParseDescription(Kiv::Display* display,
                                                          Kiv::MaterialManager* manager,
                                                          const Kiv::Resource* owner,
                                                          const Kiv::String& path) {
  if (manager == nullptr) return kMeshNoMaterialManager;
  SetDisplay(display);
  Kiv::ConfigParser parser;
  if (parser.Parse(path) != Kiv::ConfigParser::kOk) return kMeshFileOpenError;
  const uint32_t result = ReadDescription(display, manager, owner, parser, FolderOf(path));
  if (result == kMeshOk) name_ = Kiv::PString(path);
  return result;
}

uint32_t VandruIndexedMeshLODDefinition::ParseDescriptionText(
    Kiv::Display* display, Kiv::MaterialManager* manager, const Kiv::Resource* owner,
    std::string_view text, const Kiv::String& folder, const Kiv::String& name) {
  if (manager == nullptr) return kMeshNoMaterialManager;
  SetDisplay(display);
  Kiv::ConfigParser parser;
  if (parser.ParseText(text) != Kiv::ConfigParser::kOk) return kMeshFileOpenError;
  Kiv::String base = folder;
  if (!base.empty() && base.back() != '/') base += '/';
  const uint32_t result = ReadDescription(display, manager, owner, parser, base);
  if (result == kMeshOk) name_ = Kiv::PString(name);
  return result;
}

uint32_t VandruIndexedMeshLODDefinition::ReadDescription(Kiv::Display* display,
                                                         Kiv::MaterialManager* manager,
                                                         const Kiv::Resource* owner,
                                                         const Kiv::ConfigParser& parser,
                                                         const Kiv::String& folder) {
  const float version = std::trunc(parser.GetVersion() * 100.0f);
  if (!(version == float(kVersion))) return kMeshFileVersionError;
  const Kiv::ConfigNode& root = parser.GetRoot();
  std::vector<const Kiv::ConfigNode*> items;
  for (const Kiv::ConfigNode& child : root.children) {
    if (Kiv::EqualsIgnoreCase(child.key, "mesh")) items.push_back(&child);
  }
  if (items.empty()) return kMeshFileFormatError;
  levels = Kiv::CountedBlock<Level>::Make(0);
  namedMeshes = Kiv::CountedBlock<NamedMesh>::Make(0);
  distances.clear();
  std::vector<Kiv::String> loaded;

  size_t next = 0;
  for (; next < items.size() && IsNumeric(items[next]->value); ++next) {
    const Kiv::ConfigNode& item = *items[next];
    float distance = 0.0f;
    if (!item.value.empty()) distance = std::strtof(item.value.c_str(), nullptr);
    const Kiv::ConfigNode* name = item.Find("name");
    if (name == nullptr || !name->hasValue) return kMeshFileFormatError;
    if (!distances.empty() && !(distance > distances.back())) return kMeshFileFormatError;
    if (uint32_t result =
            AddLevelFromFile(display, manager, owner, folder, name->value, loaded.empty()))
      return result;
    loaded.push_back(name->value);
    distances.push_back(distance);
  }
  if (loaded.empty()) return kMeshFileFormatError;

  for (; next < items.size(); ++next) {
    const Kiv::ConfigNode& item = *items[next];
    Kiv::PString key(item.value);
    key.ToLower();
    const auto& named = namedMeshes.Items();
    if (std::any_of(named.begin(), named.end(),
                    [&key](const NamedMesh& m) { return m.key == key; }))
      return kMeshFileFormatError;
    if (IsNumeric(item.value)) return kMeshFileFormatError;
    const bool animated = item.GetBool("animated", false);
    const Kiv::ConfigNode* name = item.Find("name");
    if (name == nullptr || !name->hasValue) return kMeshFileFormatError;
    auto found = std::find(loaded.begin(), loaded.end(), name->value);
    if (found == loaded.end()) {
      if (uint32_t result = AddLevelFromFile(display, manager, owner, folder, name->value, false))
        return result;
      loaded.push_back(name->value);
      found = loaded.end() - 1;
    }
    namedMeshes.Ensure().push_back(
        NamedMesh{key, uint32_t(found - loaded.begin()), uint8_t(animated ? 1 : 0)});
  }

  ReadRootSettings(root);
  levelCount = uint32_t(levels.Count());
  ShowLastDistanceLevel();
  SplitCullMarkers();
  return kMeshOk;
}

void VandruIndexedMeshLODDefinition::ReadRootSettings(const Kiv::ConfigNode& root) {
  offset = root.GetFloat("offset", 0.0f);
  multiplier = root.GetFloat("multiplier", 1.0f);
  animationCutOff = root.GetFloat("animationCutOff", 0.0f);
  renderCutOff = root.GetFloat("renderCutOff", 0.0f);
  attachmentCutOff = root.GetFloat("attachmentCutOff", 0.0f);
  calcPoint = kCenter;
  const Kiv::String point = root.GetText("calcPoint", "center");
  if (Kiv::EqualsIgnoreCase(point, "near")) calcPoint = kNear;
  if (Kiv::EqualsIgnoreCase(point, "far")) calcPoint = kFar;
}

uint32_t VandruIndexedMeshLODDefinition::LoadLevel(Kiv::Display* display,
                                                   Kiv::MaterialManager* manager,
                                                   Kiv::Resource* resource, const Kiv::String& path,
                                                   VandruIndexedMeshDefinition* level) {
  if (EndsWithIgnoringCase(path, ".imtxt"))
    return level->LoadText(display, manager, resource, 0, kLevelColour, path);
  if (uint32_t result = level->OpenResourceFile(path)) return result;
  return level->Load(display, manager, resource, 0, kLevelColour);
}

uint32_t VandruIndexedMeshLODDefinition::AddLevelFromFile(Kiv::Display* display,
                                                          Kiv::MaterialManager* manager,
                                                          const Kiv::Resource* owner,
                                                          const Kiv::String& folder,
                                                          const Kiv::String& fileName, bool first) {
  const Kiv::String name = ConfinedName(fileName);
  // Level files stay beside the description.
  if (name.empty()) return kMeshFileFormatError;
  auto level = std::make_unique<VandruIndexedMeshDefinition>();
  level->settings = settings;
  Kiv::String resourceName = name;
  Kiv::ResourceDatabase* database = nullptr;
  if (owner != nullptr) {
    resourceName = FolderOf(owner->GetName().Str()) + name;
    database = owner->GetDatabase();
  }
  Kiv::Ref<Kiv::Resource> resource(new Kiv::Resource(Kiv::PString(resourceName), database));
  if (uint32_t result = LoadLevel(display, manager, resource.get(), folder + name, level.get()))
    return result;

  const std::vector<Kiv::InfluenceDefinition>& influences = level->GetInfluences();
  if (first) {
    position_ = level->GetPosition();
    orientation_ = level->GetOrientation();
    boundsMax_ = level->GetBoundsMax();
    boundsMin_ = level->GetBoundsMin();
    orientedBox_ = level->GetOrientedBox();
    attachments_ = level->GetAttachments();
    rootBone_ = level->GetRootBone() != nullptr ? level->GetRootBone()->Clone() : nullptr;
    hasBoneTable = !influences.empty();
    boneTable.clear();
    for (const Kiv::InfluenceDefinition& influence : influences) {
      BoneRecord bone;
      bone.name = influence.name.Str();
      bone.parentName = influence.parentName.Str();
      bone.position = influence.position;
      bone.rotation = influence.orientation;
      boneTable.push_back(std::move(bone));
    }
  } else if (level->GetAttachments().size() != attachments_.size() ||
             influences.size() != boneTable.size()) {
    return kMeshFileFormatError;
  }

  Level record;
  record.chunkCount = level->GetNumChunks();
  record.vertexTotal = level->GetNumVertices();
  record.faceTotal = level->GetNumFaces();
  record.hardwareSkinning = level->UsesHardwareSkinning() ? 1 : 0;
  record.chunks = Kiv::CountedBlock<Kiv::Ref<Kiv::GeometryChunk>>::Make(record.chunkCount);
  record.materials = Kiv::CountedBlock<Kiv::Ref<Kiv::Material>>::Make(record.chunkCount);
  for (uint32_t j = 0; j < record.chunkCount; ++j) {
    record.chunks[j].reset(level->GetChunk(j));
    record.materials[j].reset(level->GetMaterial(j));
    const std::vector<Kiv::PString>& names = level->GetChunkNames();
    record.materialNames.push_back(j < names.size() ? names[j] : Kiv::PString());
  }
  if (Squared(level->GetBoundsMax(), level->GetBoundsMin()) > Squared(boundsMax_, boundsMin_)) {
    boundsMax_ = level->GetBoundsMax();
    boundsMin_ = level->GetBoundsMin();
  }
  if (!boneTable.empty()) {
    if (uint32_t result = MergeLevelBones(*level)) return result;
    RekeyInfluenceBones(*level, record);
  }
  levels.Ensure().push_back(std::move(record));
  levelDefinitions_.push_back(std::move(level));
  levelResources_.push_back(std::move(resource));
  return kMeshOk;
}
