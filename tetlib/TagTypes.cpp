// Tags made from their definitions, and the type their definition gives
// them.
//
// CheckTagByType reads the definition's "type" (exact, case-sensitive) and
// sets the tag's type code (float 0, string 1, int 3, bool 4, vector2 5,
// vector3/rgb 6, vector4 7, vector5 8, floatlist 9, combobox 10,
// intcombobox 11, listbox 12, doublestring 13, kuid 14, filepath 15,
// filepathedit 16, stringkuid 17, kuidbrowser 18, stringkuidbrowser 19, any
// other or none 20) and the fields that type uses. On the way it:
//   - fills the author, licence, organisation and contact tags from the
//     user's personal details when no context soup is given;
//   - warns "$tet_container_notboolean" for a bool that is not "", "0", "1";
//   - empties a combobox, intcombobox or listbox value that its list file
//     does not offer (the list file is the definitions-folder file named
//     exactly by the definition's "source", extension included; a value is
//     offered when it equals the first word of one of its lines, ignoring
//     case; a listbox value is a ";" list, offered when any item is);
//   - registers comboboxes whose "source" is "attachment", "mesh-table",
//     "attached-track" or "queues" with the data manager, to be resolved
//     against the asset's meshes and containers;
//   - loads the file of a filepath or filepathedit tag for checking
//     (DataManager::LoadMeshForCheck: meshes and animations by extension),
//     except "script" and within a "mesh-asset" context, which instead
//     quiets the mesh reports;
//   - for a tag without usable type, reports it as obsolete (a name in the
//     owner's obsolete names, or "category-region-..." / "category-era-...":
//     "$tet_container_obsoletetag", a warning below build 2.9, else an
//     error) or as having no definition ("$tet_container_nodefinition"),
//     except comment tags ("!", "rem", ";") of assets below build 2.5.
// It answers false for a bad bool, a reported tag without definition and
// the types doublestring, stringkuid and stringkuidbrowser.
#include <string_view>

#include "foundation/text/KUID.h"
#include "kiv/String.h"
#include "tetlib/Container.h"
#include "tetlib/DataManager.h"
#include "tetlib/ErrorHandler.h"
#include "tetlib/MessageText.h"
#include "tetlib/Names.h"
#include "tetlib/Tag.h"

namespace TETLib {
namespace {

// True when the list file named by the definition's "source" offers `item`.
bool IsOffered(std::string_view item, const Soup& definition) {
  const Kiv::PString source = definition.GetNamedTag(Names::Get().source);
  const std::vector<DefinitionLine>* lines = DataManager::Instance()->FindListFile(source);
  if (lines == nullptr) return false;
  for (const DefinitionLine& line : *lines) {
    if (Kiv::EqualsIgnoreCase(line.key.View(), item)) return true;
  }
  return false;
}

bool IsCommentName(const Kiv::PString& name) {
  return name.View() == "!" || name.View() == "rem" || name.View() == ";";
}

// The personal detail that stands in for a tag of this name, or null.
const Kiv::PString* PersonalDetailFor(const Kiv::PString& name, const PersonalDetails& details) {
  const Names& names = Names::Get();
  if (name == names.author) return &details.author;
  if (name == names.license) return &details.license;
  if (name == names.organisation) return &details.organisation;
  if (name == names.contactEmail) return &details.email;
  if (name == names.contactWebsite || name == names.website) return &details.website;
  return nullptr;
}

struct TypeCode {
  const Kiv::PString* name;
  int32_t code;
};

int32_t CodeOf(const Kiv::PString& type) {
  const Names& n = Names::Get();
  const TypeCode codes[] = {
      {&n.typeFloat, 0},         {&n.typeString, 1},
      {&n.typeInt, 3},           {&n.typeBool, 4},
      {&n.typeVector2, 5},       {&n.typeVector3, 6},
      {&n.typeRgb, 6},           {&n.typeVector4, 7},
      {&n.typeVector5, 8},       {&n.typeFloatList, 9},
      {&n.typeComboBox, 10},     {&n.typeIntComboBox, 11},
      {&n.typeListBox, 12},      {&n.typeDoubleString, 13},
      {&n.typeKUID, 14},         {&n.typeFilePath, 15},
      {&n.typeFilePathEdit, 16}, {&n.typeStringKUID, 17},
      {&n.typeKUIDBrowser, 18},  {&n.typeStringKUIDBrowser, 19},
  };
  for (const TypeCode& entry : codes) {
    if (*entry.name == type) return entry.code;
  }
  return 20;
}

}  // namespace

bool Container::IsComboBoxPossibility(const Kiv::PString& value, const Soup& definition) {
  return IsOffered(value.View(), definition);
}

bool Container::IsIntComboBoxPossibility(const Kiv::PString& value, const Soup& definition) {
  return IsOffered(value.View(), definition);
}

bool Container::IsListBoxPossibility(const Kiv::PString& value, const Soup& definition) {
  std::string_view items = value.View();
  while (true) {
    const size_t end = items.find(';');
    if (IsOffered(items.substr(0, end), definition)) return true;
    if (end == std::string_view::npos) return false;
    items.remove_prefix(end + 1);
  }
}

std::unique_ptr<Tag> Container::CreateTagFromDefinition(Container& owner, const Kiv::PString& name,
                                                        const Soup& definition,
                                                        const Soup* source) {
  Kiv::PString value;
  if (source != nullptr) value = source->GetNamedTag(name);
  return MakeTag(owner, name, value, definition, source);
}

std::unique_ptr<Tag> Container::MakeTag(Container& owner, const Kiv::PString& name,
                                        const Kiv::PString& value, const Soup& definition,
                                        const Soup* context) {
  for (const std::unique_ptr<Tag>& held : owner.tags_) {
    if (held->name == name) return nullptr;
  }
  std::unique_ptr<Tag> tag = CreateTag(-1, &owner, name);
  tag->value = value;
  if (tag->value.Empty()) {
    const Names& names = Names::Get();
    tag->value = definition.GetNamedTag(names.defaultValue);
    if (tag->value == names.parent) tag->value = owner.GetName();
  }
  Findings().Trace2("$tet_container_typespecification", &owner);
  CheckTagByType(*tag, definition, context);
  return tag;
}

bool Container::CheckTagByType(Tag& tag, const Soup& definition, const Soup* context) {
  const Names& names = Names::Get();
  DataManager& manager = *DataManager::Instance();
  tag.definition = definition;
  const Kiv::PString type = definition.GetNamedTag(names.type);
  tag.typeCode = CodeOf(type);
  const bool disabled = definition.GetNamedTagAsInt(names.disabled, 0) != 0;
  const Kiv::PString ownerName = tag.owner == nullptr ? Kiv::PString() : tag.owner->GetName();
  switch (tag.typeCode) {
    case 1:
      if (context == nullptr) {
        if (const Kiv::PString* detail = PersonalDetailFor(tag.name, manager.GetPersonalDetails()))
          tag.value = *detail;
      }
      if (disabled) tag.disabled = true;
      if (definition.HasNamedTag(names.filter)) tag.filter = definition.GetNamedTag(names.filter);
      return true;
    case 0:
    case 3:
      if (disabled) tag.disabled = true;
      return true;
    case 4:
      if (tag.value.Empty() || tag.value == names.zero || tag.value == names.one) return true;
      Findings().ReportWarning(TetMessage("$tet_container_notboolean", {tag.name, ownerName}), tag);
      return false;
    case 11:
      if (!tag.value.Empty() && !IsIntComboBoxPossibility(tag.value, definition))
        tag.value = Kiv::PString();
      return true;
    case 12:
      if (!tag.value.Empty() && !IsListBoxPossibility(tag.value, definition))
        tag.value = Kiv::PString();
      return true;
    case 10: {
      const Kiv::PString source = definition.GetNamedTag(names.source);
      if (source == names.attachment) {
        if (definition.GetNamedTagAsInt(names.unique, 0) != 0) {
          manager.AddToItemList2(&tag);
        } else {
          manager.AddToItemSet(&tag);
        }
      } else if (source == names.meshTable || source == names.attachedTrack ||
                 source == names.queues) {
        manager.AddToKeyedListA(source, &tag);
      } else {
        if (!tag.value.Empty() && !IsComboBoxPossibility(tag.value, definition))
          tag.value = Kiv::PString();
        return true;
      }
      tag.source = source;
      tag.possibility = true;
      return true;
    }
    case 14:
      if (tag.value.Empty()) tag.value = KUIDToTagString(kNullKUID);
      return true;
    case 15:
    case 16:
      tag.datatype = definition.GetNamedTag(names.datatype);
      tag.file = true;
      // A mesh asset's files are not loaded for checks; the reports that
      // would come from them are kept quiet too. Other meshes and
      // animations are loaded and checked (by their extension).
      if (tag.name == names.script) return true;
      if (context != nullptr && context->HasNamedTag(names.meshAsset)) {
        manager.SetReportSuppression(true);
        return true;
      }
      manager.LoadMeshForCheck(tag.value, tag.owner);
      return true;
    case 13:
    case 17:
    case 19:
      return false;
    case 18:
      if (definition.HasNamedTag(names.category))
        tag.category = definition.GetNamedTag(names.category);
      if (definition.HasNamedTag(names.filter)) tag.filter = definition.GetNamedTag(names.filter);
      return true;
    case 20:
      break;
    default:
      return true;
  }
  if (IsCommentName(tag.name) && manager.GetAssetBuild() < 2.5f) return true;
  const std::string_view name = tag.name.View();
  if ((tag.owner != nullptr && tag.owner->IsObsoleteTag(tag.name)) ||
      name.substr(0, 16) == "category-region-" || name.substr(0, 13) == "category-era-") {
    const Kiv::PString text = TetMessage("$tet_container_obsoletetag", {tag.name, ownerName});
    if (manager.GetAssetBuildNumber() < 290) {
      Findings().ReportWarning(text);
    } else {
      Findings().ReportError(text, tag);
    }
    return false;
  }
  Findings().ReportError(TetMessage("$tet_container_nodefinition", {tag.name, ownerName}), tag);
  return false;
}

}  // namespace TETLib
