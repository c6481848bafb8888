#include "tetlib/Validators.h"

#include <cstdio>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "foundation/layout/FolderLayout.h"
#include "foundation/text/KUID.h"
#include "kiv/File.h"
#include "kiv/String.h"
#include "tetlib/DataManager.h"
#include "tetlib/MeshData.h"
#include "tetlib/ErrorHandler.h"
#include "tetlib/MessageText.h"
#include "tetlib/Names.h"
#include "tetlib/NumberText.h"

namespace TETLib {
namespace {

const Soup& AssetConfig(const Tag& tag) {
  static const Soup* none = new Soup();
  return tag.owner == nullptr ? *none : tag.owner->Root().GetSoup();
}

const Kiv::PString& OwnerName(const Tag& tag) {
  static const Kiv::PString* none = new Kiv::PString();
  return tag.owner == nullptr ? *none : tag.owner->GetName();
}

// The owner container's parent's parent: the container that holds the
// table entry the tag's container belongs to.
const Container* Grandparent(const Tag& tag) {
  if (tag.owner == nullptr || tag.owner->GetParent() == nullptr) return nullptr;
  return tag.owner->GetParent()->GetParent();
}

void ErrorOn(const Tag& tag, const char* key, std::initializer_list<MessageArg> args) {
  Findings().ReportError(TetMessage(key, args), tag);
}

// True when the asset's content folder has a ".ja" form beside it.
bool ContentArchiveExists() {
  Kiv::File::Path folder = GetContentFolderPath(DataManager::Instance()->GetAssetName());
  if (folder.Empty()) return false;
  folder.DelSlash();
  return Kiv::File::Exists(folder.Str() + ".ja");
}

// The path of `name` inside `folder`; false when the name is empty, rooted
// or climbs out of the folder.
bool PathInside(Kiv::File::Path folder, std::string_view name, Kiv::File::Path* out) {
  Kiv::File::Path part(name);
  part.ReplaceForwardSlashes();
  if (part.Empty() || !part.StaysInside()) return false;
  folder.AddPath(part.Str());
  *out = folder;
  return true;
}

bool ExistsInside(const Kiv::File::Path& folder, std::string_view name) {
  Kiv::File::Path path;
  return PathInside(folder, name, &path) && Kiv::File::Exists(path.Str());
}

// `name` with its last extension replaced by `ext` (added when it has none).
Kiv::String WithExtension(const Kiv::String& name, const char* ext) {
  const size_t slash = name.find_last_of("/\\");
  const size_t dot = name.rfind('.');
  if (dot == Kiv::String::npos || (slash != Kiv::String::npos && dot < slash)) return name + ext;
  return name.substr(0, dot) + ext;
}

// "istracksidetype": the container's first "type" tag must be "trackside".
bool IsTracksideType(Tag& tag, Soup*) {
  const Names& names = Names::Get();
  const Tag* type = tag.owner == nullptr ? nullptr : tag.owner->FindTag(names.type);
  if (type == nullptr) {
    ErrorOn(tag, "$tet_val_notype", {tag.name, "type", "trackside"});
    return false;
  }
  if (type->value == names.trackside) return true;
  ErrorOn(tag, "$tet_val_wrongtype", {tag.name, "type", "trackside"});
  return false;
}

// "isnottraincar": the asset's kind must not be "traincar" (no owner).
bool IsNotTraincar(Tag& tag, Soup*) {
  if (AssetConfig(tag).GetNamedTag(Names::Get().kind) != Names::Get().traincar) return true;
  Findings().ReportError(TetMessage("$tet_val_not_type", {tag.name, "traincar"}));
  return false;
}

// "needcollatemeshes": the container must hold a "collate-meshes" tag.
bool NeedCollateMeshes(Tag& tag, Soup*) {
  if (tag.owner != nullptr && tag.owner->FindTag(Names::Get().collateMeshes) != nullptr)
    return true;
  ErrorOn(tag, "$tet_val_nocollatemeshes", {tag.name, "collate-meshes"});
  return false;
}

// The number list of a value, or a report that it is empty.
bool ReadNumbers(Tag& tag, std::vector<float>* values) {
  if (tag.value.Empty()) {
    ErrorOn(tag, "$tet_val_emptyfield", {tag.name});
    return false;
  }
  *values = ParseFloatList(tag.value.View());
  return true;
}

// "ispositive": no number of the value below 0.
bool IsPositive(Tag& tag, Soup*) {
  std::vector<float> values;
  if (!ReadNumbers(tag, &values)) return false;
  for (float value : values) {
    if (value >= 0.0f) continue;
    ErrorOn(tag, "$tet_val_notpositive", {tag.name});
    return false;
  }
  return true;
}

// "isnotzero": no number of the value equal to 0.
bool IsNotZero(Tag& tag, Soup*) {
  std::vector<float> values;
  if (!ReadNumbers(tag, &values)) return false;
  for (float value : values) {
    if (value != 0.0f) continue;
    ErrorOn(tag, "$tet_val_notzero", {tag.name});
    return false;
  }
  return true;
}

// "scriptfileexists": the script named by the value exists in the asset's
// folder, compiled (".gse") or as source (".gs").
bool ScriptFileExists(Tag& tag, Soup*) {
  if (tag.value.Empty()) return false;
  if (tag.value.View()[0] == '/' || ContentArchiveExists()) return true;
  const Kiv::File::Path& folder = DataManager::Instance()->GetAssetFolder();
  const Kiv::String name = Kiv::AsciiLower(tag.value.View());
  if (ExistsInside(folder, WithExtension(name, ".gse")) ||
      ExistsInside(folder, WithExtension(name, ".gs")))
    return true;
  ErrorOn(tag, "$tet_val_scriptfiledne", {tag.value});
  return false;
}

// "fileexists": the file named by the value exists in the asset's folder
// (its "sound" folder for the sounds of a map); an error from build 3.4, a
// warning before.
bool FileExists(Tag& tag, Soup*) {
  if (tag.value.Empty()) return false;
  const Names& names = Names::Get();
  DataManager& manager = *DataManager::Instance();
  Kiv::File::Path folder = manager.GetAssetFolder();
  if (OwnerName(tag) == names.sound && AssetConfig(tag).GetNamedTag(names.type) == names.map)
    folder.AddPath("sound");
  if (ExistsInside(folder, tag.value.View())) return true;
  const Kiv::PString text = TetMessage("$tet_val_file_dne", {tag.value});
  if (manager.GetAssetBuildNumber() >= 340) {
    Findings().ReportError(text, tag);
  } else {
    Findings().ReportWarning(text, tag);
  }
  return false;
}

// "range": every number of the value within the arguments "min" and "max"
// (a missing one counts as 0).
bool Range(Tag& tag, Soup* args) {
  std::vector<float> values;
  if (!ReadNumbers(tag, &values)) return false;
  const Names& names = Names::Get();
  const double min = TextToDouble(args->GetNamedTag(names.min).View());
  const double max = TextToDouble(args->GetNamedTag(names.max).View());
  bool outside = false;
  for (float value : values) {
    if (value < min || value > max) outside = true;
  }
  if (!outside) return true;
  ErrorOn(tag, "$tet_val_notwithinrange", {tag.name, min, max});
  return false;
}

// "arraysize": the number list has exactly the argument "size" entries.
bool ArraySize(Tag& tag, Soup* args) {
  const Names& names = Names::Get();
  if (!args->HasNamedTag(names.size)) return false;
  return TetCheckArraySize(&tag, TextToInt(args->GetNamedTag(names.size).View()));
}

// "notownparent": the tag is not named like its container.
bool NotOwnParent(Tag& tag, Soup*) {
  if (tag.name != OwnerName(tag)) return true;
  ErrorOn(tag, "$tet_val_notownparent", {});
  return false;
}

// "mustbeownparent": the value names an attachment point of the mesh loaded
// for the grandparent container.
bool MustBeOwnParent(Tag& tag, Soup*) {
  const MeshData* mesh = DataManager::Instance()->FindMesh(Grandparent(tag));
  if (mesh != nullptr && mesh->HasAttachmentPoint(tag.value.View())) return true;
  ErrorOn(tag, "$tet_val_mustbeownparent",
          {tag.value, mesh == nullptr ? Kiv::PString() : mesh->RelativePath()});
  return false;
}

// "mustbeinlightcontainer": each integer of the value names a child of the
// grandparent container's "lights" container.
bool MustBeInLightContainer(Tag& tag, Soup*) {
  const Container* grandparent = Grandparent(tag);
  const Container* lights =
      grandparent == nullptr ? nullptr : grandparent->FindChild(Names::Get().lights);
  if (lights == nullptr) {
    Findings().ReportError(TetMessage("$tet_val_musthavealightcontainer"), tag);
    return false;
  }
  bool result = true;
  std::istringstream numbers(tag.value.Str());
  int32_t number = 0;
  while (numbers >> number) {
    char name[16];
    std::snprintf(name, sizeof name, "%d", number);
    if (lights->FindChild(Kiv::PString(name)) != nullptr) continue;
    ErrorOn(tag, "$tet_val_mustbeinlightcontainer", {number});
    result = false;
  }
  return result;
}

// "mustbepaired": both tags named by the arguments "0" and "1" stand in the
// container; an "initial-count" of "0" passes at once.
bool MustBePaired(Tag& tag, Soup* args) {
  const Names& names = Names::Get();
  if (tag.name == names.initialCount && tag.value == names.zero) return true;
  const Kiv::PString first = args->GetNamedTag(names.zero);
  const Kiv::PString second = args->GetNamedTag(names.one);
  const bool hasFirst = tag.owner != nullptr && tag.owner->FindTag(first) != nullptr;
  const bool hasSecond = tag.owner != nullptr && tag.owner->FindTag(second) != nullptr;
  if (!hasFirst) ErrorOn(tag, "$tet_val_mustbepaired", {first, second});
  if (!hasSecond) ErrorOn(tag, "$tet_val_mustbepaired", {second, first});
  return hasFirst && hasSecond;
}

// "uniquenames": no two children and no two tags of the container share a
// name. Every later entry of a name is a duplicate of the earlier one; all
// reports of one name carry the same text and owner, so one shows.
bool UniqueNames(Container& container, Soup*) {
  bool result = true;
  std::unordered_set<Kiv::PString> seen;
  for (const std::unique_ptr<Container>& child : container.Children()) {
    if (seen.insert(child->GetName()).second) continue;
    Findings().ReportError(
        TetMessage("$tet_val_duplicatecontainername", {child->GetName(), container.GetName()}),
        container);
    result = false;
  }
  seen.clear();
  for (const std::unique_ptr<Tag>& tag : container.Tags()) {
    if (seen.insert(tag->name).second) continue;
    Findings().ReportError(
        TetMessage("$tet_val_duplicatetagname", {tag->name, container.GetName()}), container);
    result = false;
  }
  return result;
}

// "hasvalidtexturefile": the first "texture" or "asset-filename" tag names a
// texture whose ".texture" or ".texture.txt" file exists.
bool HasValidTextureFile(Container& container, Soup*) {
  if (ContentArchiveExists()) return true;
  const Names& names = Names::Get();
  for (const std::unique_ptr<Tag>& tag : container.Tags()) {
    if (tag->name != names.texture && tag->name != names.assetFilename) continue;
    const Kiv::String name = Kiv::AsciiLower(tag->value.View());
    const Kiv::File::Path& folder = DataManager::Instance()->GetAssetFolder();
    if (ExistsInside(folder, name + ".texture") || ExistsInside(folder, name + ".texture.txt"))
      return true;
    Findings().ReportError(TetMessage("$tet_val_texturefiledne", {tag->value}), *tag);
    return false;
  }
  Findings().ReportError(TetMessage("$tet_val_texturefilenotspecified"));
  return false;
}

const Container* MeshTableToCheck(const Container& container) {
  if (!container.GetMeshChecks()) return nullptr;
  return container.FindChild(Names::Get().meshTable);
}

// "meshtablehasshadow": the mesh table has a "shadow" entry (asset roots).
bool MeshTableHasShadow(Container& container, Soup*) {
  const Container* table = MeshTableToCheck(container);
  if (table == nullptr || table->FindChild(Names::Get().shadow) != nullptr) return true;
  Findings().ReportWarning(TetMessage("$tet_val_shadow_missing"), container);
  return false;
}

// "meshtablehasvisiblemesh": some mesh table entry has an "auto-create" that
// is not "0" (asset roots).
bool MeshTableHasVisibleMesh(Container& container, Soup*) {
  const Container* table = MeshTableToCheck(container);
  if (table == nullptr) return true;
  const Names& names = Names::Get();
  for (const std::unique_ptr<Container>& entry : table->Children()) {
    const Tag* autoCreate = entry->FindTag(names.autoCreate);
    if (autoCreate != nullptr && autoCreate->value != names.zero) return true;
  }
  Findings().ReportWarning(TetMessage("$tet_val_no_visible_mesh"), container);
  return false;
}

}  // namespace

std::span<const TagValidatorRow> TagValidatorTable() {
  static const std::vector<TagValidatorRow>* table = new std::vector<TagValidatorRow>{
      {Kiv::PString("istracksidetype"), IsTracksideType},
      {Kiv::PString("isnottraincar"), IsNotTraincar},
      {Kiv::PString("needcollatemeshes"), NeedCollateMeshes},
      {Kiv::PString("ispositive"), IsPositive},
      {Kiv::PString("isnotzero"), IsNotZero},
      {Kiv::PString("scriptfileexists"), ScriptFileExists},
      {Kiv::PString("fileexists"), FileExists},
      {Kiv::PString("range"), Range},
      {Kiv::PString("arraysize"), ArraySize},
      {Kiv::PString("notownparent"), NotOwnParent},
      {Kiv::PString("mustbeownparent"), MustBeOwnParent},
      {Kiv::PString("mustbeinlightcontainer"), MustBeInLightContainer},
      {Kiv::PString("mustbepaired"), MustBePaired},
  };
  return *table;
}

std::span<const ContainerValidatorRow> ContainerValidatorTable() {
  static const std::vector<ContainerValidatorRow>* table = new std::vector<ContainerValidatorRow>{
      {Kiv::PString("uniquenames"), UniqueNames},
      {Kiv::PString("hasvalidtexturefile"), HasValidTextureFile},
      {Kiv::PString("meshtablehasshadow"), MeshTableHasShadow},
      {Kiv::PString("meshtablehasvisiblemesh"), MeshTableHasVisibleMesh},
  };
  return *table;
}

bool TetCheckArraySize(Tag* tag, int32_t expected) {
  if (tag == nullptr || tag->value.Empty()) return false;
  if (DataManager::Instance()->GetAssetBuild() < 2.89f) return true;
  const int32_t count = static_cast<int32_t>(ParseFloatList(tag->value.View()).size());
  if (count == expected) return true;
  ErrorOn(*tag, "$tet_val_arraywrongsize", {tag->name, expected, count});
  return false;
}

bool CheckNullKUID(Tag& tag) {
  if (OwnerName(tag) == Names::Get().obsoleteTable) return true;
  if (!ParseKUID(tag.value.c_str(), false).IsNull()) return true;
  Findings().ReportWarning(TetMessage("$tet_val_nullkuidwarn", {tag.name}), tag);
  return true;
}

}  // namespace TETLib
