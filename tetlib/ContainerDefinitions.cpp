// Container operations on definitions: lookups, inheritance merges,
// obsolete entries, container validators and child creation.
//
// Inheritance: a definition's "inherit" container names further
// definitions (its children's names). Merges take ancestors before
// descendants, a later entry replacing an earlier one of the same name.
// Chains deeper than kMaxInheritDepth (a loop in the definitions) are cut
// there.
#include <string_view>
#include <utility>

#include "tetlib/Container.h"
#include "tetlib/DataManager.h"
#include "tetlib/ErrorHandler.h"
#include "tetlib/MessageText.h"
#include "tetlib/Names.h"
#include "tetlib/Tag.h"
#include "tetlib/Validators.h"

namespace TETLib {
namespace {

constexpr int kMaxInheritDepth = 32;

// Copies every child of `from` into `into` (created when needed), a child
// of the same name being removed first. Children are shared, not copied.
void CopyChildren(const Soup& from, Soup& into) {
  const uint32_t count = from.CountTags();
  if (count == 0) return;
  into.Create();
  for (uint32_t i = 0; i < count; ++i) {
    Kiv::PString name;
    ChunkRef child;
    if (!from.GetChunk()->GetChildAt(i, name, child)) break;
    into.RemoveNamedTag(name);
    into.GetChunk()->SetChild(name, std::move(child));
  }
}

// Copies the named tags of `from` into `into` as text tags.
void CopyNamedTags(const Soup& from, Soup& into) {
  const uint32_t count = from.CountTags();
  for (uint32_t i = 0; i < count; ++i) {
    const Kiv::PString name = from.GetIndexedTagName(i);
    if (!name.Empty()) into.SetNamedTag(name, from.GetNamedTag(name));
  }
}

struct MergedEntries {
  Soup subpossibilities;
  Soup tagarray;
  Soup arrayElement;
};

void MergeInheritedEntries(const Soup& inherit, MergedEntries& into, int depth) {
  if (depth > kMaxInheritDepth) return;
  const Names& names = Names::Get();
  const uint32_t count = inherit.CountTags();
  for (uint32_t i = 0; i < count; ++i) {
    const Soup definition = Container::GetDefinition(inherit.GetIndexedTagName(i));
    if (definition.Empty()) continue;
    MergeInheritedEntries(definition.GetNamedSoup(names.inherit), into, depth + 1);
    CopyChildren(definition.GetNamedSoup(names.subpossibilities), into.subpossibilities);
    CopyChildren(definition.GetNamedSoup(names.tagarray), into.tagarray);
    CopyNamedTags(definition.GetNamedSoup(names.arrayElement), into.arrayElement);
  }
}

void MergeInheritedValidation(const Soup& definition, Soup& into, int depth) {
  if (depth > kMaxInheritDepth) return;
  const Soup inherit = definition.GetNamedSoup(Names::Get().inherit);
  const uint32_t count = inherit.CountTags();
  for (uint32_t i = 0; i < count; ++i) {
    const Soup ancestor = Container::GetDefinition(inherit.GetIndexedTagName(i));
    if (ancestor.Empty()) continue;
    MergeInheritedValidation(ancestor, into, depth + 1);
    CopyChildren(ancestor.GetNamedSoup(Names::Get().validation), into);
  }
}

bool StartsWith(const Kiv::PString& text, std::string_view prefix) {
  return text.View().substr(0, prefix.size()) == prefix;
}

}  // namespace

Soup Container::GetDefinition(const Kiv::PString& name) {
  return DataManager::Instance()->GetDefinitions().GetNamedSoup(name);
}

Soup Container::FindTopLevelDefinition(const Kiv::PString& kind) {
  Kiv::PString lower = kind;
  lower.ToLower();
  for (int attempt = 0; attempt < 2; ++attempt) {
    Soup definition = GetDefinition(lower);
    if (definition.GetNamedTagAsInt(Names::Get().topLevel, 0) != 0) return definition;
    if (attempt == 0) DataManager::Instance()->LoadDefinitions();
  }
  return Soup();
}

Soup Container::FindTagDefinition(const Kiv::PString& name, const Soup& definition,
                                  const std::vector<Soup>& inherited) {
  const Names& names = Names::Get();
  Soup found = definition.GetNamedSoup(names.subpossibilities).GetNamedSoup(name);
  if (!found.Empty()) return found;
  for (const Soup& ancestor : inherited) {
    found = ancestor.GetNamedSoup(names.subpossibilities).GetNamedSoup(name);
    if (!found.Empty()) return found;
    found = ancestor.GetNamedSoup(names.tagarray).GetNamedSoup(name);
    if (!found.Empty()) return found;
  }
  return definition.GetNamedSoup(names.tagarray).GetNamedSoup(name);
}

bool Container::IsBuildAtLeast(float build) {
  const double asset = DataManager::Instance()->GetAssetBuild();
  return static_cast<int32_t>(asset * 100.0 + 0.1) >=
         static_cast<int32_t>(double(build) * 100.0 + 0.1);
}

void Container::AddInheritedDefinition(const Kiv::PString& name) {
  inheritedDefinitions_.push_back(GetDefinition(name));
}

void Container::AddTypeDefinition(const Kiv::PString& name) {
  if (name.Empty()) return;
  for (const Kiv::PString& known : typeNames_) {
    if (known == name) return;
  }
  typeNames_.push_back(name);
  typeDefinitions_.push_back(GetDefinition(name));
}

void Container::ApplyDefinition(const Soup& definition, bool /*topLevel*/) {
  const Names& names = Names::Get();
  const Soup inherit = definition.GetNamedSoup(names.inherit);
  const uint32_t inheritCount = inherit.CountTags();
  for (uint32_t i = 0; i < inheritCount; ++i) AddInheritedDefinition(inherit.GetIndexedTagName(i));

  MergedEntries merged;
  MergeInheritedEntries(inherit, merged, 0);
  CopyChildren(definition.GetNamedSoup(names.subpossibilities), merged.subpossibilities);
  CopyChildren(definition.GetNamedSoup(names.tagarray), merged.tagarray);
  CopyNamedTags(definition.GetNamedSoup(names.arrayElement), merged.arrayElement);

  const uint32_t typeCount = merged.arrayElement.CountTags();
  for (uint32_t i = 0; i < typeCount; ++i) {
    AddTypeDefinition(
        merged.arrayElement.GetNamedTag(Kiv::PString("container-type" + std::to_string(i))));
  }

  const uint32_t entryCount = merged.subpossibilities.CountTags();
  for (uint32_t i = 0; i < entryCount; ++i) {
    const Kiv::PString name = merged.subpossibilities.GetIndexedTagName(i);
    const Soup entry = merged.subpossibilities.GetIndexedSoup(i);
    if (name.Empty() || entry.Empty()) continue;
    const Kiv::PString kind = entry.GetNamedTag(names.kind);
    if (kind == names.element) {
      AddTypeDefinition(entry.GetNamedTag(names.elementType));
      continue;
    }
    if (kind != names.value || entry.GetNamedTagAsFloat(names.compulsory, 0.0f) == 0.0f) continue;
    std::unique_ptr<Tag> tag = CreateTagFromDefinition(*this, name, entry, nullptr);
    if (!tag) continue;
    tag->BuildValidators(entry);
    tag->owner = this;
    extraTags_.push_back(std::move(tag));
  }

  workingDefinition_.Release();
  workingDefinition_.Create();
  if (!merged.subpossibilities.Empty())
    workingDefinition_.SetNamedSoup(names.subpossibilities, merged.subpossibilities);
  if (!merged.tagarray.Empty()) workingDefinition_.SetNamedSoup(names.tagarray, merged.tagarray);
  if (!merged.arrayElement.Empty())
    workingDefinition_.SetNamedSoup(names.arrayElement, merged.arrayElement);
}

void Container::CollectObsoleteTags(Soup& definition) {
  const Names& names = Names::Get();
  const Soup obsolete = definition.GetNamedSoup(names.obsoleteTag);
  const uint32_t count = obsolete.CountTags();
  if (count == 0) return;
  const double asset = DataManager::Instance()->GetAssetBuild();
  const int32_t build = static_cast<int32_t>(asset * 100.0 + 0.1);
  std::vector<Kiv::PString> stillDefined;
  for (uint32_t i = 0; i < count; ++i) {
    const Kiv::PString name = obsolete.GetIndexedTagName(i);
    const float version =
        obsolete.GetIndexedSoup(i).GetNamedTagAsFloat(names.obsoleteVersion, 2.6f);
    if (build < static_cast<int32_t>(double(version) * 100.0 + 0.1)) {
      stillDefined.push_back(name);
    } else if (!IsObsoleteTag(name)) {
      obsoleteTags_.push_back(name);
    }
  }
  if (stillDefined.empty()) return;
  // The shared definition stays as it is; this walk goes on with a copy.
  Soup copy;
  Soup::Copy(copy, definition);
  Soup copyObsolete = copy.GetNamedSoup(names.obsoleteTag);
  Soup entries = copy.GetNamedSoup(names.subpossibilities);
  if (entries.Empty()) {
    entries.Create();
    copy.SetNamedSoup(names.subpossibilities, entries);
  }
  for (const Kiv::PString& name : stillDefined) {
    ChunkRef entry = copyObsolete.GetChunk()->GetChild(name);
    copyObsolete.RemoveNamedTag(name);
    entries.RemoveNamedTag(name);
    entries.GetChunk()->SetChild(name, std::move(entry));
  }
  definition = std::move(copy);
}

void Container::BuildContainerValidators(Container& target, const Soup& definition) {
  const Names& names = Names::Get();
  const Soup own = definition.GetNamedSoup(names.validation);
  Soup validation;
  if (definition.HasNamedTag(names.inherit)) {
    MergeInheritedValidation(definition, validation, 0);
    CopyChildren(own, validation);
  } else {
    validation = own;
  }
  const uint32_t count = validation.CountTags();
  for (uint32_t i = 0; i < count; ++i) {
    const Kiv::PString keyword = validation.GetIndexedTagName(i);
    for (const ContainerValidatorRow& row : ContainerValidatorTable()) {
      if (row.keyword == keyword) target.AddValidator(row.function, validation.GetIndexedSoup(i));
    }
  }
}

std::unique_ptr<Container> Container::CreateChild(const Kiv::PString& childName, int32_t index,
                                                  const Kiv::PString& typeName, const Soup& soup) {
  const Soup definition = GetDefinition(typeName);
  if (definition.Empty()) {
    Findings().ReportError(TetMessage("$tet_container_nocontainerdefinition", {childName}), *this);
    return nullptr;
  }
  auto child = std::make_unique<Container>();
  child->name_ = childName;
  child->parent_ = this;
  child->type_ = typeName;
  child->index_ = index;
  child->soup_ = soup;
  child->savingName_ = definition.GetNamedTag(Names::Get().savingname);
  return child;
}

Soup Container::LookupSubContainerDefinition(const Soup& definition, const Kiv::PString& name) {
  const Names& names = Names::Get();
  Soup found = FindSubContainerDefinition(definition, name);
  if (!found.Empty()) return found;
  const Soup entries = definition.GetNamedSoup(names.subpossibilities);
  if (StartsWith(name, "string-table-")) {
    found = entries.GetNamedSoup(names.stringTable);
    if (!found.Empty()) return found;
  }
  if (StartsWith(name, "smoke")) return entries.GetNamedSoup(names.smoke);
  return Soup();
}

}  // namespace TETLib
