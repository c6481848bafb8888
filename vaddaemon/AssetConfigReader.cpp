// AssetConfigReader (see AssetConfigReader.h).
#include "vaddaemon/AssetConfigReader.h"

#include "assetdb/archive/CDPDependencies.h"
#include "assetdb/protocol/AssetText.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "kiv/File.h"
#include "vaddaemon/KindCategory.h"
#include "vaddaemon/StoredAsset.h"

namespace {

std::string Tag(const Soup& config, const char* name) {
  return config.GetNamedTag(Kiv::PString(name)).Str();
}

bool LoadOne(const std::string& folder, const char* name, Soup* config) {
  Kiv::File::Path path(folder);
  path.AddPath(name);
  Soup loaded;
  if (!Soup::LoadFromFile(Kiv::PString(), path.Str(), loaded, false)) return false;
  *config = loaded;
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
  return LoadOne(folder, "config.chump", config) || LoadOne(folder, "config.txt", config);
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
