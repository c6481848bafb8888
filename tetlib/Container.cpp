#include "tetlib/Container.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kiv/String.h"
#include "tetlib/DataManager.h"
#include "tetlib/ErrorHandler.h"
#include "tetlib/Names.h"
#include "tetlib/ObjectId.h"
#include "tetlib/Tag.h"

namespace TETLib {
namespace {

int32_t gLiveContainers = 0;

bool IsFrontTagName(const Kiv::PString& name) {
  return Kiv::EqualsIgnoreCase(name.View(), "kuid") ||
         Kiv::EqualsIgnoreCase(name.View(), "username");
}

// "container-type%i" for i.
Kiv::PString ContainerTypeKey(uint32_t i) {
  char key[32];
  std::snprintf(key, sizeof key, "container-type%u", i);
  return Kiv::PString(key);
}

void CollectCompulsory(const Soup& definition, CompulsoryMap& map, bool containers) {
  const Names& names = Names::Get();
  const Soup entries = definition.GetNamedSoup(names.subpossibilities);
  const uint32_t count = entries.CountTags();
  for (uint32_t i = 0; i < count; ++i) {
    const Soup entry = entries.GetIndexedSoup(i);
    if (entry.Empty()) continue;
    if (entry.GetNamedTag(names.elementType).Empty() == containers) continue;
    const float build = entry.GetNamedTagAsFloat(names.compulsory, 0.0f);
    if (build > 0.0f) map[entries.GetIndexedTagName(i)] = build;
  }
}

// True for "0" and for names that strtol reads as a non-zero number.
bool IsNumberName(const Kiv::PString& name) {
  if (name.View() == "0") return true;
  return std::strtol(name.c_str(), nullptr, 10) != 0;
}

}  // namespace

Container::Container() : id_(NextObjectId()) {
  ++gLiveContainers;
}

Container::~Container() {
  if (ErrorHandler* handler = ErrorHandler::Instance()) handler->RemoveByContainer(*this);
  if (DataManager* manager = DataManager::Existing()) manager->ForgetContainer(this);
  --gLiveContainers;
  children_.clear();
  tags_.clear();
  frontTags_.clear();
  extraTags_.clear();
}

int32_t Container::LiveCount() {
  return gLiveContainers;
}

const Container& Container::Root() const {
  const Container* root = this;
  while (root->parent_ != nullptr) root = root->parent_;
  return *root;
}

Tag* Container::FindTag(const Kiv::PString& name) const {
  for (const auto* list : {&tags_, &frontTags_}) {
    for (const std::unique_ptr<Tag>& tag : *list) {
      if (tag->name == name) return tag.get();
    }
  }
  return nullptr;
}

Container* Container::FindChild(const Kiv::PString& name) const {
  for (const std::unique_ptr<Container>& child : children_) {
    if (child->name_ == name) return child.get();
  }
  return nullptr;
}

bool Container::IsObsoleteTag(const Kiv::PString& name) const {
  for (const Kiv::PString& obsolete : obsoleteTags_) {
    if (obsolete == name) return true;
  }
  return false;
}

void Container::AddTag(std::unique_ptr<Tag> tag) {
  if (!tag) return;
  tag->owner = this;
  if (IsFrontTagName(tag->name)) {
    frontTags_.push_back(std::move(tag));
    return;
  }
  tags_.push_back(std::move(tag));
}

void Container::AddChild(std::unique_ptr<Container> child) {
  child->parent_ = this;
  children_.push_back(std::move(child));
}

void Container::AddValidator(ContainerValidator validator, const Soup& args) {
  validators_.push_back(validator);
  validatorArgs_.push_back(args);
}

void Container::RemoveExtraTag(const Kiv::PString& name) {
  for (auto it = extraTags_.begin(); it != extraTags_.end(); ++it) {
    if ((*it)->name != name) continue;
    extraTags_.erase(it);
    return;
  }
}

void Container::MoveFrontTags() {
  if (frontTags_.empty()) return;
  tags_.insert(tags_.begin(), std::make_move_iterator(frontTags_.begin()),
               std::make_move_iterator(frontTags_.end()));
  frontTags_.clear();
}

bool Container::RunChildChecks() {
  bool result = true;
  for (size_t i = 0; i < validators_.size(); ++i) {
    if (!validators_[i](*this, &validatorArgs_[i])) result = false;
  }
  return result;
}

Kiv::PString Container::FindContainerType(const Soup& definition, const Kiv::PString& kind) {
  const uint32_t count = definition.CountTags();
  for (uint32_t i = 0; i < count; ++i) {
    const Kiv::PString candidate = definition.GetNamedTag(ContainerTypeKey(i));
    if (!candidate.Empty() && candidate.View().find(kind.View()) != std::string_view::npos)
      return candidate;
  }
  return definition.GetNamedTag(Names::Get().containerType0);
}

void Container::CollectCompulsoryTags(const Soup& definition, CompulsoryMap& map) {
  CollectCompulsory(definition, map, false);
}

void Container::CollectCompulsoryContainers(const Soup& definition, CompulsoryMap& map) {
  CollectCompulsory(definition, map, true);
}

Soup Container::FindSubContainerDefinition(const Soup& definition, const Kiv::PString& name) {
  const Names& names = Names::Get();
  const Soup entries = definition.GetNamedSoup(names.subpossibilities);
  Soup entry = entries.GetNamedSoup(name);
  if (!entry.Empty()) return entry;
  Soup arrayElement = definition.GetNamedSoup(names.arrayElement);
  if (!arrayElement.Empty()) return arrayElement;
  if (!IsNumberName(name)) return Soup();
  const uint32_t count = entries.CountTags();
  for (uint32_t i = 0; i < count; ++i) {
    Soup candidate = entries.GetIndexedSoup(i);
    if (candidate.GetNamedTagAsInt(names.numarray, 0) != 0) return candidate;
  }
  return Soup();
}

std::unique_ptr<Tag> Container::CreateTag(int32_t typeCode, Container* owner,
                                          const Kiv::PString& name) {
  auto tag = std::make_unique<Tag>();
  tag->typeCode = typeCode;
  tag->owner = owner;
  tag->name = name;
  return tag;
}

}  // namespace TETLib
