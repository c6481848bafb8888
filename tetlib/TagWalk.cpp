// The tag walk: Container::ValidateTags(S, D, T) checks the data soup S of
// container T against its definition D.
//
//  1. The definitions named by D's "inherit" are looked up, in order.
//  2. The compulsory tags and containers of D and of those definitions are
//     collected (a later definition overrides an earlier one's build).
//  3. T collects the obsolete entries of D and of those definitions.
//  4. Each entry of S, in order:
//     - a sub-container N finds its entry definition X in D (then in each
//       inherited definition). Without one, a name beginning with "smoke"
//       gives "$tet_container_nosmoke" (owned by T), and N is reported
//       obsolete (a warning, when D inherits and T's obsolete names hold N)
//       or as having no definition (an error owned by T), and ".cache" adds
//       "$tet_container_oldcontainer".
//       A matched N counts as present for the compulsory containers. X then
//       says what the child is: a typed container ("container-type0" onward,
//       chosen by the child's own "kind"), an array element ("kind"
//       "element", defined by "element-type"), a smoke container ("icon"
//       "smoke", defined by X itself), or else a template error. The child is
//       created, given its definition and container validators, and walked;
//       an element child of the definition "extensions" keeps its soup to
//       be exported as it stands and is not walked.
//     - a plain tag N is matched to a tag definition (LookupTagDefinition):
//       "description-..." as "description", "username-..." as "username"; a
//       name ending in two digits (or else one digit) without definition
//       takes the definition of the name with those digits replaced by "0"
//       when that definition has a non-zero "sequence"; a name still without
//       one takes D's own "any-tag" entry, the definition of every tag of a
//       container whose tag names are free (a table of texts or KUIDs keyed
//       by any name). The tag is made (the type assignment reports a tag
//       without definition), its validators built, and it is added to T.
//  5. Compulsory tags still missing are made with their defaults and
//     reported as errors ("$tet_container_missingtag", owned by the new
//     tag) when the asset's build reaches their build, else as warnings
//     without owner; a particle with a "file" tag needs no "lifetime",
//     "maxsize", "minsize", "rate" or "velocity", and a mesh-table entry
//     that names its mesh asset ("mesh-asset") needs no "mesh" of its own.
//     Compulsory containers still missing give
//     "$tet_container_missingcontainer" the same way, without owner.
//  6. T's "kuid" and "username" tags are moved to the front of its tags.
// The answer is false only when a child cannot be created or a child's walk
// fails; findings do not change it.
#include <string>
#include <string_view>

#include "foundation/soup/ACSConvert.h"
#include "tetlib/Container.h"
#include "tetlib/DataManager.h"
#include "tetlib/ErrorHandler.h"
#include "tetlib/MessageText.h"
#include "tetlib/Names.h"
#include "tetlib/Tag.h"

namespace TETLib {
namespace {

struct WalkState {
  std::vector<Soup> inherited;
  CompulsoryMap compulsoryTags{&Kiv::PString::TextLess};
  CompulsoryMap compulsoryContainers{&Kiv::PString::TextLess};
  int32_t childIndex = 0;
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The text of a child chunk, as Soup::GetNamedTag gives it.
Kiv::PString ChunkText(const ACSChunk* chunk) {
  if (IsNullChunk(chunk)) return Kiv::PString();
  const CoreRef text = ACSConvert(chunk->GetType(), ACSChunk::GetRawData(chunk), SoupType::kString);
  return Kiv::PString(ACSRawDataCore::TextView(text.get()));
}

Kiv::PString LookupName(const Kiv::PString& name) {
  const std::string_view text = name.View();
  if (text.substr(0, 12) == "description-") return Names::Get().description;
  if (text.substr(0, 9) == "username-") return Names::Get().username;
  return name;
}

// The definition of a numbered name through its "...0" form, when that
// definition allows numbered names.
Soup SequenceDefinition(const Kiv::PString& name, const Soup& definition,
                        const std::vector<Soup>& inherited) {
  const std::string_view text = name.View();
  size_t digits = 0;
  if (text.size() > 3 && IsDigit(text[text.size() - 1]) && IsDigit(text[text.size() - 2])) {
    digits = 2;
  } else if (text.size() > 2 && IsDigit(text[text.size() - 1])) {
    digits = 1;
  }
  if (digits == 0) return Soup();
  const Kiv::PString base(std::string(text.substr(0, text.size() - digits)) + "0");
  Soup found = Container::FindTagDefinition(base, definition, inherited);
  if (found.GetNamedTagAsInt(Names::Get().sequence, 0) == 0) return Soup();
  return found;
}

bool IsParticleName(const Kiv::PString& name) {
  const std::string_view text = name.View();
  return text == "lifetime" || text == "maxsize" || text == "minsize" || text == "rate" ||
         text == "velocity";
}

// Whether the missing compulsory tag `name` is not needed in `target`: a
// particle described by a file needs none of its size and motion tags, and
// a mesh taken from another asset needs no mesh file of its own.
bool IsWaived(const Kiv::PString& name, const Container& target) {
  const Names& names = Names::Get();
  if (name == names.mesh) return target.FindTag(names.meshAsset) != nullptr;
  return IsParticleName(name) && target.FindTag(names.file) != nullptr;
}

Soup MissingTagDefinition(const Kiv::PString& name, const Soup& definition,
                          const std::vector<Soup>& inherited) {
  const Names& names = Names::Get();
  Soup found = definition.GetNamedSoup(names.subpossibilities).GetNamedSoup(name);
  for (size_t i = 0; found.Empty() && i < inherited.size(); ++i) {
    found = inherited[i].GetNamedSoup(names.subpossibilities).GetNamedSoup(name);
  }
  if (found.Empty()) found = definition.GetNamedSoup(names.tagarray).GetNamedSoup(name);
  return found;
}

}  // namespace

bool Container::ValidateTags(const Soup& data, const Soup& definitionIn, Container& target) {
  const Names& names = Names::Get();
  ErrorHandler& findings = Findings();
  Soup definition = definitionIn;
  WalkState walk;

  const Soup inherit = definition.GetNamedSoup(names.inherit);
  for (uint32_t i = 0; i < inherit.CountTags(); ++i) {
    walk.inherited.push_back(GetDefinition(inherit.GetIndexedTagName(i)));
  }
  CollectCompulsoryTags(definition, walk.compulsoryTags);
  CollectCompulsoryContainers(definition, walk.compulsoryContainers);
  for (const Soup& ancestor : walk.inherited) {
    CollectCompulsoryTags(ancestor, walk.compulsoryTags);
    CollectCompulsoryContainers(ancestor, walk.compulsoryContainers);
  }
  target.CollectObsoleteTags(definition);
  for (Soup& ancestor : walk.inherited) target.CollectObsoleteTags(ancestor);

  const uint32_t count = data.CountTags();
  for (uint32_t i = 0; i < count; ++i) {
    Kiv::PString name;
    ChunkRef entry;
    if (!data.GetChunk()->GetChildAt(i, name, entry)) break;
    findings.Trace(name.View(), &target);
    if (!IsNullChunk(entry.get()) && entry->GetType() == SoupType::kContainer) {
      if (!WalkSubContainer(data, Soup(std::move(entry)), name, definition, walk.inherited,
                            walk.compulsoryContainers, &walk.childIndex, target)) {
        return false;
      }
      continue;
    }
    walk.compulsoryTags.erase(name);
    const Soup tagDefinition = LookupTagDefinition(name, definition, walk.inherited);
    std::unique_ptr<Tag> tag = MakeTag(target, name, ChunkText(entry.get()), tagDefinition, &data);
    if (!tag) continue;
    tag->BuildValidators(tagDefinition);
    target.AddTag(std::move(tag));
  }

  for (const auto& [name, build] : walk.compulsoryTags) {
    const Soup tagDefinition = MissingTagDefinition(name, definition, walk.inherited);
    if (IsWaived(name, target)) continue;
    if (!IsBuildAtLeast(build)) {
      findings.ReportWarning(TetMessage("$tet_container_missingtag", {name}));
      continue;
    }
    std::unique_ptr<Tag> tag = CreateTagFromDefinition(target, name, tagDefinition, nullptr);
    if (!tag) continue;
    tag->BuildValidators(tagDefinition);
    findings.ReportError(TetMessage("$tet_container_missingtag", {tag->name}), *tag);
    target.AddTag(std::move(tag));
  }
  for (const auto& [name, build] : walk.compulsoryContainers) {
    const Kiv::PString text = TetMessage("$tet_container_missingcontainer", {name});
    if (IsBuildAtLeast(build)) {
      findings.ReportError(text);
    } else {
      findings.ReportWarning(text);
    }
  }
  target.MoveFrontTags();
  return true;
}

Soup Container::LookupTagDefinition(const Kiv::PString& name, const Soup& definition,
                                    const std::vector<Soup>& inherited) {
  const Kiv::PString lookup = LookupName(name);
  Soup found = FindTagDefinition(lookup, definition, inherited);
  if (found.Empty()) found = SequenceDefinition(lookup, definition, inherited);
  if (found.Empty()) found = definition.GetNamedSoup(Names::Get().anyTag);
  return found;
}

bool Container::WalkSubContainer(const Soup& data, const Soup& subSoup, const Kiv::PString& name,
                                 const Soup& definition, const std::vector<Soup>& inherited,
                                 CompulsoryMap& compulsoryContainers, int32_t* childIndex,
                                 Container& target) {
  const Names& names = Names::Get();
  ErrorHandler& findings = Findings();
  Soup entry = LookupSubContainerDefinition(definition, name);
  for (size_t i = 0; entry.Empty() && i < inherited.size(); ++i) {
    if (!inherited[i].Empty()) entry = LookupSubContainerDefinition(inherited[i], name);
  }
  if (entry.Empty()) {
    if (name.View().substr(0, 5) == "smoke")
      findings.ReportError(TetMessage("$tet_container_nosmoke"), target);
    // Only a definition that inherits knows obsolete containers.
    if (!inherited.empty() && target.IsObsoleteTag(name)) {
      findings.ReportWarning(TetMessage("$tet_container_obsoletetag", {name, target.GetName()}));
    } else {
      findings.ReportError(TetMessage("$tet_container_nodefinition", {name, target.GetName()}),
                           target);
    }
    if (name == names.cacheContainer)
      findings.ReportError(TetMessage("$tet_container_oldcontainer"));
    return true;
  }
  compulsoryContainers.erase(name);

  std::unique_ptr<Container> child;
  Soup childDefinition;
  if (entry.HasNamedTag(names.containerType0)) {
    const Kiv::PString typeName = FindContainerType(entry, subSoup.GetNamedTag(names.kind));
    child = target.CreateChild(name, (*childIndex)++, typeName, data);
    if (!child) return false;
    DataManager::Instance()->AddToKeyedListB(target.GetName(), child.get());
    childDefinition = GetDefinition(typeName);
    child->ApplyDefinition(childDefinition, false);
  } else if (entry.GetNamedTag(names.kind) == names.element) {
    const Kiv::PString typeName = entry.GetNamedTag(names.elementType);
    child = target.CreateChild(name, (*childIndex)++, typeName, data);
    if (!child) return false;
    if (typeName == names.extensions) {
      // What other tools keep in "extensions" is theirs: exported as it is.
      child->KeepExtensions(subSoup);
      target.AddChild(std::move(child));
      return true;
    }
    childDefinition = GetDefinition(typeName);
    const Soup arrayElement = childDefinition.GetNamedSoup(names.arrayElement);
    for (uint32_t j = 0; j < arrayElement.CountTags(); ++j) {
      child->AddTypeDefinition(
          arrayElement.GetNamedTag(Kiv::PString("container-type" + std::to_string(j))));
    }
    if (childDefinition.HasNamedTag(names.tagarray))
      child->SetTagArray(childDefinition.GetNamedSoup(names.tagarray));
    if (childDefinition.HasNamedTag(names.subpossibilities))
      child->ApplyDefinition(childDefinition, false);
  } else if (entry.GetNamedTag(names.icon) == names.smoke) {
    child = target.CreateChild(name, (*childIndex)++, names.smoke, data);
    if (!child) return false;
    childDefinition = entry;
    child->ApplyDefinition(childDefinition, false);
  } else {
    findings.ReportError(
        TetMessage("$tet_container_errorintemplate", {entry.GetNamedTag(names.kind)}), target);
    return true;
  }
  BuildContainerValidators(*child, childDefinition);
  Container& added = *child;
  target.AddChild(std::move(child));
  return ValidateTags(subSoup, childDefinition, added);
}

}  // namespace TETLib
