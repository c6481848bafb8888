// UpgradeConfigIfOld and the rules of UpgradeOldConfig (see
// tetlib/Upgrade.h).
#include "tetlib/Upgrade.h"

#include <cctype>
#include <string>
#include <string_view>

#include "assetdb/protocol/AssetText.h"
#include "kiv/String.h"
#include "tetlib/DataManager.h"
#include "tetlib/UpgradeTags.h"

namespace TETLib {
namespace {

using Kiv::PString;
using UpgradeTags::P;
using UpgradeTags::Text;

bool Has(const Soup& soup, std::string_view name) {
  return soup.HasNamedTag(P(name));
}

void Remove(Soup& soup, std::string_view name) {
  soup.RemoveNamedTag(P(name));
}

void Set(Soup& soup, std::string_view name, std::string_view text) {
  soup.SetNamedTag(P(name), text);
}

bool IsContainer(const Soup& soup, const PString& name) {
  return soup.GetNamedTagType(name) == 1;
}

bool KindIs(const std::string& kind, std::string_view name) {
  return Kiv::EqualsIgnoreCase(kind, name);
}

void ClearUserName(Soup& soup) {
  if (!Text(soup, "username").empty()) return;
  const std::string name = Text(soup, "name");
  if (!name.empty()) {
    Set(soup, "username", name);
    Remove(soup, "name");
    return;
  }
  const std::string file = Text(soup, "asset-filename");
  if (!file.empty()) Set(soup, "username", file);
}

// Walks "<prefix>0", "<prefix>1", ...: joins the non-empty ones with ";" and
// removes them; an empty tag stops the walk except at 0.
std::string CollectNumbered(Soup& soup, const char* prefix, bool era) {
  std::string list;
  for (int n = 0;; ++n) {
    const std::string name = prefix + std::to_string(n);
    std::string text = Text(soup, name);
    if (text.empty()) {
      if (n == 0) continue;
      break;
    }
    if (era) {
      if (text.back() != 's') text += 's';
    } else {
      for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    }
    if (!list.empty()) list += ';';
    list += text;
    Remove(soup, name);
  }
  return list;
}

// True when `text` has no third field separated by ",".
bool LacksThirdField(std::string_view text) {
  const size_t first = text.find(',');
  if (first == std::string_view::npos) return true;
  const size_t second = text.find(',', first + 1);
  if (second == std::string_view::npos) return true;
  return text.find_first_not_of(',', second) == std::string_view::npos;
}

void RenameLibraries(Soup& soup) {
  for (const auto& [from, to] : {std::pair{"scriptlibrary", "script"}, {"classlibrary", "class"}}) {
    if (!Has(soup, from)) continue;
    Set(soup, to, Text(soup, from));
    Remove(soup, from);
  }
}

void AddScriptExtension(Soup& soup) {
  const std::string script = Text(soup, "script");
  if (script.empty()) return;
  const size_t cut = script.find_last_of("/\\");
  const std::string_view name =
      std::string_view(script).substr(cut == std::string::npos ? 0 : cut + 1);
  if (name.find('.') != std::string_view::npos) return;
  Set(soup, "script", script + ".gs");
}

void AddCameraList(Soup& soup) {
  if (!Has(soup, "camera")) return;
  Soup list = soup.GetNamedSoup(P("cameralist"));
  if (list.Empty() || !IsContainer(soup, P("cameralist"))) {
    list = Soup();
    list.Create();
    soup.SetNamedSoup(P("cameralist"), list);
  }
  std::vector<float> values;
  soup.GetNamedTagAsFloatArray(P("camera"), values);
  values.push_back(0.0f);
  values.push_back(0.0f);
  list.SetNamedFloatArray(P("camera" + std::to_string(list.CountTags())), values);
  Remove(soup, "camera");
}

void ApplyKindRules(Soup& soup, const std::string& kind, const PString& base) {
  const bool hasBase = !base.Empty() && base.Length() > 0;
  const bool noTable = !Has(soup, "mesh-table");
  if (KindIs(kind, "bogey")) {
    if (hasBase && noTable) BuildBogeyMeshTable(soup, base);
    Remove(soup, "light");
  }
  if (KindIs(kind, "groundtexture") || KindIs(kind, "texture")) {
    Remove(soup, "rgb");
    if (hasBase && !Has(soup, "texture")) Set(soup, "texture", base.Str() + ".texture");
    Remove(soup, "light");
  }
  if (KindIs(kind, "mesh")) Remove(soup, "light");
  if (KindIs(kind, "mojunction") && hasBase && noTable) BuildJunctionMeshTable(soup);
  if (KindIs(kind, "mocrossing")) {
    if (hasBase && noTable) BuildCrossingMeshTable(soup);
    Remove(soup, "track");
    Remove(soup, "road");
  }
  if (KindIs(kind, "turntable") && hasBase && noTable) BuildTurntableMeshTable(soup);
  if (KindIs(kind, "traincar")) {
    if (hasBase && noTable) BuildTraincarMeshTable(soup, base);
    if (!Has(soup, "bogeys")) BuildTraincarBogeys(soup);
    if (Has(soup, "running-numbers")) Remove(soup, "running-numbers");
  }
  if (KindIs(kind, "track")) Remove(soup, "height");
  if (KindIs(kind, "track") || KindIs(kind, "bridge")) Remove(soup, "mini");
  if (KindIs(kind, "scenery")) {
    if (hasBase && noTable) BuildSceneryMeshTable(soup, base);
    Remove(soup, "bendy");
  }
  if (KindIs(kind, "buildable") && hasBase && noTable) BuildSceneryMeshTable(soup, base);
  if (KindIs(kind, "interior")) {
    if (hasBase && noTable) BuildInteriorMeshTable(soup);
    AddCameraList(soup);
    if (!Has(soup, "cameradefault")) soup.SetNamedInt(P("cameradefault"), 0);
  }
}

void NameMeshTableEffects(Soup& soup) {
  if (!Has(soup, "mesh-table")) return;
  Remove(soup, "night");
  const Soup table = soup.GetNamedSoup(P("mesh-table"));
  for (uint32_t i = 0; i < table.CountTags(); ++i) {
    Soup effects = table.GetIndexedSoup(i).GetNamedSoup(P("effects"));
    if (effects.Empty()) continue;
    for (uint32_t j = 0; j < effects.CountTags(); ++j) {
      Soup effect = effects.GetIndexedSoup(j);
      if (effect.GetNamedTag(P("kind")).View() != "name") continue;
      if (!effect.GetNamedTag(P("name")).View().empty()) continue;
      effect.SetNamedTag(P("name"), effects.GetIndexedTagName(j));
    }
  }
}

void RenumberSoundLists(Soup& soup) {
  const Soup scripts = soup.GetNamedSoup(P("soundscript"));
  if (scripts.Empty()) return;
  for (uint32_t i = 0; i < scripts.CountTags(); ++i) {
    Soup entry = scripts.GetIndexedSoup(i);
    if (!IsContainer(entry, P("sound"))) continue;
    const Soup sound = entry.GetNamedSoup(P("sound"));
    Soup renumbered;
    renumbered.Create();
    for (uint32_t n = 0; n < sound.CountTags(); ++n) {
      const PString name = sound.GetIndexedTagName(n);
      const PString value = sound.GetNamedTag(name);
      if (value.Length() == 0) {
        renumbered.SetNamedTag(P(std::to_string(n)), name);
        continue;
      }
      renumbered.SetNamedTag(name, value);
    }
    entry.SetNamedSoup(P("sound"), renumbered);
  }
}

void RemoveFunctionTag(Soup& soup, const std::string& kind) {
  if (KindIs(kind, "mospeedboard")) {
    Remove(soup, "function");
    return;
  }
  if (Has(soup, "trackside") && !KindIs(kind, "mosignal")) Remove(soup, "function");
}

void SetCategoryDefaults(Soup& soup, const std::string& kind) {
  if (Text(soup, "category-era").empty()) Set(soup, "category-era", "1800s");
  if (LookupCategoryForClassCode(kind, Text(soup, "category-class")).empty())
    Set(soup, "category-class", "ZX");
  const std::string region = Text(soup, "category-region");
  for (const char* world : {"", "EU", "any region in the world", "World Trees", "ALL"}) {
    if (!Kiv::EqualsIgnoreCase(region, world)) continue;
    Set(soup, "category-region", "00");
    return;
  }
}

void AddThumbnails(Soup& soup) {
  if (!Has(soup, "icon-texture") || Has(soup, "thumbnails")) return;
  Soup entry;
  entry.Create();
  Set(entry, "image", Text(soup, "icon-texture"));
  entry.SetNamedInt(P("width"), 64);
  entry.SetNamedInt(P("height"), 64);
  Soup thumbnails;
  thumbnails.Create();
  thumbnails.SetNamedSoup(P("0"), entry);
  soup.SetNamedSoup(P("thumbnails"), thumbnails);
  Remove(soup, "icon-texture");
}

constexpr const char* kJunkTags[] = {
    ";",          "\"",           "rem",         "licence",  "disclaimer:", "licence:",
    "licence:-",  "name-ru",      "name-es",     "name-fr",  "name-pl",     "name-de",
    "name-it",    "name-cz",      "name-cn",     "name-nl",  "name-hu",     "origin",
    "objremarks", "origregion",   "orgname",     "origname", "orvak",       "company",
    "vandru",     "vandru_build", "train-build", "version",  "obsolete"};

constexpr const char* kSingleWords[] = {
    "by",   "you",  "this",    "the",     "these", "-",   "all", "copyright",
    "use",  "have", "check",   "only",    "keep",  "for", "in",  "alternate",
    "feel", "no",   "contact", "created", "//",    ";",   "*"};

void RenameOldTags(Soup& soup) {
  if (Has(soup, "auteur")) {
    Set(soup, "author", Text(soup, "auteur"));
    Remove(soup, "auteur");
  }
  for (const auto& [from, to] : {std::pair{"organization", "organisation"},
                                 {"user-name", "username"},
                                 {"name", "username"},
                                 {"description:", "description"}}) {
    if (!Has(soup, from)) continue;
    if (!Has(soup, to)) Set(soup, to, Text(soup, from));
    Remove(soup, from);
  }
}

bool IsSweptName(std::string_view name) {
  if (name.find_first_of("\"'{}") != std::string_view::npos) return true;
  if (name.empty()) return false;
  if (name.find_first_not_of('_') == std::string_view::npos) return true;
  return name.find_first_not_of("0123456789") == std::string_view::npos;
}

void SweepNames(Soup& soup) {
  for (uint32_t i = soup.CountTags(); i-- > 0;) {
    const PString name = soup.GetIndexedTagName(i);
    if (IsSweptName(name.View())) soup.RemoveNamedTag(name);
  }
}

void CutUserName(Soup& soup) {
  if (!Has(soup, "username")) return;
  std::string name = Text(soup, "username");
  const size_t cr = name.find('\r');
  if (cr != std::string::npos) name.resize(cr);
  const size_t lf = name.find('\n');
  if (lf != std::string::npos) name.resize(lf);
  if (name != Text(soup, "username")) Set(soup, "username", name);
}

}  // namespace

void UpgradeConfigIfOld(Soup& soup) {
  DataManager& manager = *DataManager::Instance();
  if (manager.GetAssetBuildNumber() >= 290) return;
  UpgradeOldConfig(soup);
  soup.SetNamedFloat(P("vandru-build"), 2.9f);
}

void UpgradeOldConfig(Soup& soup) {
  ClearUserName(soup);
  const std::string kind = Text(soup, "kind");
  if (kind == "map" && soup.GetNamedTagAsKUID(P("region"), kNullKUID).IsNull())
    Remove(soup, "region");
  for (const char* name : {"thumbnail", ".cache", "__filename", "__dir"}) Remove(soup, name);
  const std::string regions = CollectNumbered(soup, "category-region-", false);
  if (!regions.empty()) Set(soup, "category-region", regions);
  const std::string eras = CollectNumbered(soup, "category-era-", true);
  if (!eras.empty()) Set(soup, "category-era", eras);
  if (Text(soup, "license").empty()) Remove(soup, "license");
  if (Has(soup, "rgb") && LacksThirdField(Text(soup, "rgb"))) Remove(soup, "rgb");
  RenameLibraries(soup);
  AddScriptExtension(soup);
  const PString base = soup.GetNamedTag(P("asset-filename"));
  Remove(soup, "asset-filename");
  ApplyKindRules(soup, kind, base);
  Remove(soup, "fontsize");
  Remove(soup, "fontcolor");
  NameMeshTableEffects(soup);
  Remove(soup, "type");
  if (!KindIs(kind, "map")) Remove(soup, "region");
  RenumberSoundLists(soup);
  RemoveFunctionTag(soup, kind);
  SetCategoryDefaults(soup, kind);
  AddThumbnails(soup);
  for (const char* name : kJunkTags) Remove(soup, name);
  RenameOldTags(soup);
  RemoveStrayTagsAfterDescription(soup);
  RemoveUndefinedAssetTags(soup);
  for (const char* name : kSingleWords) Remove(soup, name);
  SweepNames(soup);
  CutUserName(soup);
}

}  // namespace TETLib
