// AssetConfigReader (see AssetConfigReader.h).
#include "vaddaemon/AssetConfigReader.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "assetdb/archive/CDPDependencies.h"
#include "assetdb/protocol/AssetText.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "kiv/File.h"
#include "kiv/String.h"
#include "vaddaemon/FolderTree.h"
#include "vaddaemon/KindCategory.h"
#include "vaddaemon/StoredAsset.h"

namespace {

std::string Tag(const Soup& config, const char* name) {
  return config.GetNamedTag(Kiv::PString(name)).Str();
}

constexpr const char* kBinaryConfig = "config.chump";
constexpr const char* kTextConfig = "config.txt";

bool LoadOne(const std::string& folder, const char* name, Soup* config) {
  Kiv::File::Path path(folder);
  path.AddPath(name);
  Soup loaded;
  if (!Soup::LoadFromFile(Kiv::PString(), path.Str(), loaded, false)) return false;
  *config = std::move(loaded);
  return true;
}

// Which configuration files `folder` holds, by one look at its entries (a
// file is opened by its name in any case, so that is how it is looked for);
// false when the folder cannot be listed.
bool ConfigFilesIn(const std::string& folder, bool* binary, bool* text) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  *binary = false;
  *text = false;
  while (const dirent* entry = ::readdir(dir)) {
    if (Kiv::EqualsIgnoreCase(entry->d_name, kBinaryConfig)) *binary = true;
    if (Kiv::EqualsIgnoreCase(entry->d_name, kTextConfig)) *text = true;
  }
  ::closedir(dir);
  return true;
}

// Removes every configuration file of `folder` (names in any case); false
// when one cannot be removed.
bool RemoveConfigFiles(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    if (Kiv::EqualsIgnoreCase(entry->d_name, kBinaryConfig) ||
        Kiv::EqualsIgnoreCase(entry->d_name, kTextConfig))
      names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  for (const std::string& name : names) {
    if (::unlink((folder + "/" + name).c_str()) != 0 && errno != ENOENT) return false;
  }
  return true;
}

std::vector<KUID> ToVector(KUIDList& list) {
  std::vector<KUID> out;
  for (const KUID& kuid : list) out.push_back(kuid);
  return out;
}

std::string CategoryOf(const Soup& config) {
  std::string category = Tag(config, "category");
  if (!category.empty()) return category;
  const std::string code = Tag(config, "category-class");
  if (code.empty()) return DefaultCategoryForKind(Tag(config, "kind"));
  category = LookupCategoryForClassCode(Tag(config, "kind"), code);
  return category.empty() ? code : category;
}

}  // namespace

bool LoadAssetFolderConfig(const std::string& folder, Soup* config) {
  // Most folders hold only "config.txt": the look spares the search for a
  // "config.chump" in every case.
  bool binary = true;
  bool text = true;
  ConfigFilesIn(folder, &binary, &text);
  return (binary && LoadOne(folder, kBinaryConfig, config)) ||
         (text && LoadOne(folder, kTextConfig, config));
}

bool WriteConfigAsText(const std::string& folder, const Soup& config) {
  Kiv::File::Path path(folder);
  path.AddPath(kTextConfig);
  return RemoveConfigFiles(folder) && Soup::SaveToFile(Kiv::PString(), path.Str(), config) &&
         SyncFolder(folder);
}

bool KeepConfigAsText(const std::string& folder) {
  bool binary = false;
  bool text = false;
  if (!ConfigFilesIn(folder, &binary, &text)) return false;
  if (!binary) return true;
  // A configuration that does not load stays as it is, for the user to mend.
  Soup config;
  return !LoadAssetFolderConfig(folder, &config) || WriteConfigAsText(folder, config);
}

bool HoldsBothConfigFiles(const std::string& folder) {
  bool binary = false;
  bool text = false;
  return ConfigFilesIn(folder, &binary, &text) && binary && text;
}

void DescribeAssetFromConfig(const Soup& config, StoredAsset* asset) {
  asset->kuid = config.GetNamedTagAsKUID(Kiv::PString("kuid"), kNullKUID);
  const bool named = !Tag(config, "username").empty() || !Tag(config, "name").empty() ||
                     !Tag(config, "asset-filename").empty();
  asset->name = named ? GetAssetDisplayName(config) : std::string();
  asset->kind = Tag(config, "kind");
  asset->category = CategoryOf(config);
  asset->region = Tag(config, "category-region");
  asset->era = Tag(config, "category-era");
  asset->authorId = asset->kuid.userId;
  const Kiv::PString build("vandru-build");
  asset->build = config.HasNamedTag(build) ? config.GetNamedTagAsFloat(build, 0.0f)
                                           : GetConfigBuildVersion(config);
  KUIDList dependencies;
  CDP::CollectDependencies(config, asset->kuid, dependencies);
  asset->dependencies = ToVector(dependencies);
  KUIDList obsoletes;
  CDP::CollectObsoletes(config, asset->kuid, obsoletes);
  asset->obsoletes = ToVector(obsoletes);
}

std::string ConfigStorageProblem(const Soup& config) {
  const std::string problem = BinarySoup::FindUnstorableTag(config);
  if (problem.empty()) return problem;
  return "in its configuration, " + problem;
}
