// Container: one container of an asset's configuration under check, the
// root of the configuration soup or a sub-container below it.
//
// It holds the container's identity (index among its parent's children, -1
// for a root; name in the parent soup; definition name; saving name), the
// tags made for its entries, its child containers, the obsolete tag names
// of its definition and the container validators that its definition asks
// for. The tag walk (ValidateTags, tetlib/TagWalk.cpp) fills it.
//
// Ownership: a container owns its tags (tags, frontTags, extraTags) and its
// children; children point to their parent. Destruction removes the first
// finding the container owns from the error handler and the container from
// the data manager's registries, then deletes its children and tags. Each
// container has an id unique within the process (the owner identity of its
// findings).
//
// Definitions are read from the data manager's merged definitions and never
// changed: where a check needs a changed definition (obsolete entries that
// still count as defined for an old asset) it works on a copy of its own.
//
// Operations and their rules:
//   RunChildChecks: runs every container validator in order, also after a
//     failure; true when all passed or there are none.
//   RemoveExtraTag(name): deletes the first extra tag of that name.
//   AddTag(tag): takes ownership; "kuid" and "username" (any case) go to
//     frontTags, every other tag to tags. MoveFrontTags puts frontTags at
//     the front of tags, in their own order.
//   FindContainerType(D, kind): the first "container-type%i" text of D that
//     contains `kind`, else the text of "container-type0".
//   CollectCompulsoryTags / CollectCompulsoryContainers(D, map): the
//     "subpossibilities" entries of D with a "compulsory" build above 0,
//     tags (empty "element-type") or containers (non-empty) respectively.
//   FindSubContainerDefinition(D, name): the "subpossibilities" entry of that
//     name, else D's "array-element", else for a number name (strtol not 0,
//     or "0") the first entry with a non-zero "numarray", else null.
//   CreateTag(type code, owner, name): a new tag for the caller to own.
// The definition operations (tetlib/ContainerDefinitions.cpp), the walk
// (tetlib/TagWalk.cpp), the type assignment (tetlib/TagTypes.cpp), the
// typed handlers (tetlib/TagHandlers.cpp), the asset root check
// (tetlib/AssetRoot.cpp) and the export (tetlib/ContainerExport.cpp) are
// described where they are defined.
//
// Threads: one validation at a time, on one thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "foundation/soup/Soup.h"
#include "kiv/PString.h"

namespace TETLib {

class Container;
class Tag;

// A container validator: true when the container passes; reports its own
// findings.
using ContainerValidator = bool (*)(Container& container, Soup* args);

// Compulsory entries: name to the build from which they are required,
// ordered by name text.
using CompulsoryMap = std::map<Kiv::PString, float, decltype(&Kiv::PString::TextLess)>;

class Container {
 public:
  Container();
  ~Container();
  Container(const Container&) = delete;
  Container& operator=(const Container&) = delete;

  uint64_t Id() const { return id_; }
  static int32_t LiveCount();

  // --- Identity.
  int32_t GetIndex() const { return index_; }
  void SetIndex(int32_t index) { index_ = index; }
  const Kiv::PString& GetName() const { return name_; }
  void SetName(const Kiv::PString& name) { name_ = name; }
  const Kiv::PString& GetType() const { return type_; }
  void SetType(const Kiv::PString& type) { type_ = type; }
  const Kiv::PString& GetSavingName() const { return savingName_; }
  Container* GetParent() const { return parent_; }
  void SetParent(Container* parent) { parent_ = parent; }
  // The configuration soup for a root; the soup holding the entry for a
  // child.
  const Soup& GetSoup() const { return soup_; }
  void SetSoup(const Soup& soup) { soup_ = soup; }
  // The root of the tree this container belongs to.
  const Container& Root() const;
  // The first flag of the record: set on an asset's root, where the mesh
  // table checks run.
  bool GetMeshChecks() const { return meshChecks_; }
  void SetMeshChecks(bool flag) { meshChecks_ = flag; }

  // --- Contents.
  const std::vector<std::unique_ptr<Tag>>& Tags() const { return tags_; }
  const std::vector<std::unique_ptr<Tag>>& FrontTags() const { return frontTags_; }
  const std::vector<std::unique_ptr<Tag>>& ExtraTags() const { return extraTags_; }
  const std::vector<std::unique_ptr<Container>>& Children() const { return children_; }
  const std::vector<Kiv::PString>& ObsoleteTags() const { return obsoleteTags_; }
  const std::vector<Soup>& InheritedDefinitions() const { return inheritedDefinitions_; }
  const std::vector<Soup>& TypeDefinitions() const { return typeDefinitions_; }
  const std::vector<Kiv::PString>& TypeNames() const { return typeNames_; }
  const Soup& GetTagArray() const { return tagArray_; }
  const Soup& GetWorkingDefinition() const { return workingDefinition_; }
  size_t ValidatorCount() const { return validators_.size(); }
  // The first tag of `tags` or `frontTags` with that name, or null.
  Tag* FindTag(const Kiv::PString& name) const;
  // The first child container of that name, or null.
  Container* FindChild(const Kiv::PString& name) const;
  bool IsObsoleteTag(const Kiv::PString& name) const;

  void AddTag(std::unique_ptr<Tag> tag);
  void AddChild(std::unique_ptr<Container> child);
  void AddValidator(ContainerValidator validator, const Soup& args);
  void RemoveExtraTag(const Kiv::PString& name);
  void MoveFrontTags();
  bool RunChildChecks();

  // --- Definition helpers.
  static Kiv::PString FindContainerType(const Soup& definition, const Kiv::PString& kind);
  static void CollectCompulsoryTags(const Soup& definition, CompulsoryMap& map);
  static void CollectCompulsoryContainers(const Soup& definition, CompulsoryMap& map);
  static Soup FindSubContainerDefinition(const Soup& definition, const Kiv::PString& name);
  static std::unique_ptr<Tag> CreateTag(int32_t typeCode, Container* owner,
                                        const Kiv::PString& name);

  // --- Definitions (tetlib/ContainerDefinitions.cpp).
  // The top-level entry of that name of the merged definitions, or null.
  static Soup GetDefinition(const Kiv::PString& name);
  // The definition of a kind (lower-cased) whose "top-level" is not 0; the
  // definitions are loaded when that fails and the lookup made once more.
  static Soup FindTopLevelDefinition(const Kiv::PString& kind);
  static Soup FindTagDefinition(const Kiv::PString& name, const Soup& definition,
                                const std::vector<Soup>& inherited);
  // True when the asset's build is at least `build` (both x 100, truncated).
  static bool IsBuildAtLeast(float build);
  void ApplyDefinition(const Soup& definition, bool topLevel);
  void AddInheritedDefinition(const Kiv::PString& name);
  void AddTypeDefinition(const Kiv::PString& name);
  void SetTagArray(const Soup& tagArray) { tagArray_ = tagArray; }
  // Collects the obsolete entries of `definition` into this container's
  // obsolete names; entries not yet obsolete for the asset's build count as
  // defined: `definition` is then replaced by a copy in which they stand in
  // "subpossibilities".
  void CollectObsoleteTags(Soup& definition);
  // Appends to `target` the container validators that `definition` and its
  // ancestors name.
  static void BuildContainerValidators(Container& target, const Soup& definition);
  // A new child for the definition `typeName`, or null after reporting
  // "$tet_container_nocontainerdefinition" (owned by this container).
  std::unique_ptr<Container> CreateChild(const Kiv::PString& childName, int32_t index,
                                         const Kiv::PString& typeName, const Soup& soup);
  // The entry definition of sub-container `name` in `definition`
  // (FindSubContainerDefinition, then the "string-table" entry for a name
  // beginning with "string-table-", then the "smoke" entry for a name
  // beginning with "smoke"), or null. Reports nothing.
  static Soup LookupSubContainerDefinition(const Soup& definition, const Kiv::PString& name);

  // --- The walk (tetlib/TagWalk.cpp).
  bool ValidateTags(const Soup& data, const Soup& definition, Container& target);
  // The definition the walk gives plain tag `name` of a container checked
  // against `definition` (whose "inherit" list gave `inherited`), or null:
  // see TagWalk.cpp for the lookup.
  static Soup LookupTagDefinition(const Kiv::PString& name, const Soup& definition,
                                  const std::vector<Soup>& inherited);

  // --- The asset root (tetlib/AssetRoot.cpp).
  // Checks an asset's configuration from its build and kind down and walks
  // it; false when the kind or its definition is missing or the walk fails.
  bool ValidateAssetRoot(const Soup& config);

  // --- Export (tetlib/ContainerExport.cpp).
  // Writes the checked container into `target`: its tags in typed form,
  // each child under its saving name (or its name); true when every tag,
  // every child and every child's container checks passed.
  bool Export(Soup& target);
  // Keeps `soup` to be exported as it stands in place of this container's
  // tags and children.
  void KeepExtensions(const Soup& soup);
  bool HasKeptExtensions() const { return !extensions_.Empty(); }

  // --- Typed handlers (tetlib/TagHandlers.cpp). Each checks its tag, then
  // writes the value in its typed form into `target` under the tag's name;
  // true when the tag passed.
  // HandleTag picks the handler of the tag's type code; a code without one
  // (2, or outside 0..20) writes nothing and answers true.
  bool HandleTag(Tag& tag, Soup& target);
  bool HandleFloatTag(Tag& tag, Soup& target);
  bool HandleStringTag(Tag& tag, Soup& target);
  bool HandleIntTag(Tag& tag, Soup& target);
  bool HandleBoolTag(Tag& tag, Soup& target);
  bool HandleVector2Tag(Tag& tag, Soup& target);
  bool HandleVector3Tag(Tag& tag, Soup& target);
  bool HandleVector4Tag(Tag& tag, Soup& target);
  bool HandleVector5Tag(Tag& tag, Soup& target);
  bool HandleFloatListTag(Tag& tag, Soup& target);
  bool HandleComboBoxTag(Tag& tag, Soup& target);
  bool HandleIntComboBoxTag(Tag& tag, Soup& target);
  bool HandleListBoxTag(Tag& tag, Soup& target);
  bool HandleDoubleStringTag(Tag& tag, Soup& target);
  bool HandleKUIDTag(Tag& tag, Soup& target);
  bool HandleFilePathTag(Tag& tag, Soup& target);
  bool HandleFilePathEditTag(Tag& tag, Soup& target);
  bool HandleStringKUIDTag(Tag& tag, Soup& target);
  bool HandleKUIDBrowserTag(Tag& tag, Soup& target);
  bool HandleStringKUIDBrowserTag(Tag& tag, Soup& target);
  bool HandleOtherTag(Tag& tag, Soup& target);

  // --- Tags from definitions (tetlib/TagTypes.cpp).
  // A new tag `name` of `owner`, valued from `source` (null: the
  // definition's default), typed by `definition`; null when the owner
  // holds a tag of that name already. The tag is not added to the owner.
  std::unique_ptr<Tag> CreateTagFromDefinition(Container& owner, const Kiv::PString& name,
                                               const Soup& definition, const Soup* source);
  bool CheckTagByType(Tag& tag, const Soup& definition, const Soup* context);
  static bool IsComboBoxPossibility(const Kiv::PString& value, const Soup& definition);
  static bool IsIntComboBoxPossibility(const Kiv::PString& value, const Soup& definition);
  static bool IsListBoxPossibility(const Kiv::PString& value, const Soup& definition);

 private:
  bool ValidateUpgradedRoot(const Soup& config, int32_t build);
  bool WalkSubContainer(const Soup& data, const Soup& subSoup, const Kiv::PString& name,
                        const Soup& definition, const std::vector<Soup>& inherited,
                        CompulsoryMap& compulsoryContainers, int32_t* childIndex,
                        Container& target);
  std::unique_ptr<Tag> MakeTag(Container& owner, const Kiv::PString& name,
                               const Kiv::PString& value, const Soup& definition,
                               const Soup* context);
  bool HandleVectorTag(Tag& tag, Soup& target, int32_t expected);
  bool HandlePossibilityTag(Tag& tag, Soup& target, bool comboBox);
  bool HandleFilePath(Tag& tag, Soup& target, bool edit);
  bool HandleKUIDFamily(Tag& tag, Soup& target, bool checkName, bool lowerName, bool checkNull);
  bool CheckPossibility(Tag& tag, bool comboBox);

  const uint64_t id_;
  int32_t index_ = -1;
  Kiv::PString name_;
  Kiv::PString type_;
  Kiv::PString savingName_;
  std::vector<Soup> typeDefinitions_;
  std::vector<Kiv::PString> typeNames_;
  std::vector<Soup> inheritedDefinitions_;
  std::vector<std::unique_ptr<Container>> children_;
  std::vector<std::unique_ptr<Tag>> tags_;
  std::vector<std::unique_ptr<Tag>> frontTags_;
  std::vector<std::unique_ptr<Tag>> extraTags_;
  std::vector<Kiv::PString> obsoleteTags_;
  Soup tagArray_;
  Container* parent_ = nullptr;
  Soup soup_;
  Soup workingDefinition_;
  bool meshChecks_ = false;
  std::vector<ContainerValidator> validators_;
  std::vector<Soup> validatorArgs_;
  Soup extensions_;
};

}  // namespace TETLib
