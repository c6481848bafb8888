#include "gsruntime/GSClass.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSPrintHook.h"
#include "kiv/PString.h"

namespace GSRuntime {

namespace {

// Classes of this many functions or more are searched through a table of
// name hashes: signatures of one class share their long "$type@Class::"
// head, so comparing names one after the other costs a dozen bytes each.
constexpr size_t kIndexedClassSize = 4;

// The text of a signature from its first "::" on ("" without one).
const char* MethodPart(const char* signature) {
  const char* at = std::strstr(signature, "::");
  return at != nullptr ? at : "";
}

}  // namespace

int32_t GSFunction::LineForOffset(uint32_t offset) const {
  if (lines.count == 0) return -1;
  uint32_t i = 0;
  while (i < lines.count && lines.At(i, 0) <= offset) ++i;
  return static_cast<int32_t>(lines.At(i == 0 ? 0 : i - 1, 1));
}

GSClass* GSClass::Ancestor(uint32_t i) const {
  return library->ClassRefs()[ancestry.At(i, 0)].cls;
}

const GSFunction* GSClass::FindOwnFunction(std::string_view signature) {
  if (functions.size() < kIndexedClassSize) {
    for (const GSFunction& fn : functions)
      if (GSSameName(signature, fn.name)) return &fn;
    return nullptr;
  }
  auto nameOf = [this](uint32_t i) { return functions[i].name; };
  if (!byName.Built())
    byName.Build(static_cast<uint32_t>(functions.size()), nameOf, GSNameIndex::kFirstFound);
  const uint32_t found = byName.Find(signature, nameOf);
  return found != GSNameIndex::kNone ? &functions[found] : nullptr;
}

const GSFunction* GSClass::FindOwnMethod(std::string_view method) {
  if (functions.size() < kIndexedClassSize) {
    for (const GSFunction& fn : functions)
      if (GSSameName(method, MethodPart(fn.name))) return &fn;
    return nullptr;
  }
  auto methodOf = [this](uint32_t i) { return MethodPart(functions[i].name); };
  if (!byMethod.Built())
    byMethod.Build(static_cast<uint32_t>(functions.size()), methodOf, GSNameIndex::kFirstFound);
  const uint32_t found = byMethod.Find(method, methodOf);
  return found != GSNameIndex::kNone ? &functions[found] : nullptr;
}

bool GSClass::InheritsFrom(std::string_view className) const {
  if (className == name) return true;
  for (uint32_t i = AncestorCount(); i-- > 0;) {
    const GSClass* ancestor = Ancestor(i);
    if (ancestor != nullptr && className == ancestor->name) return true;
  }
  return false;
}

GSClass* GSClass::FindFunction(std::string_view signature, uint32_t* offset, uint32_t* methodIndex,
                               int32_t* functionIndex) {
  GSClass* found = nullptr;
  const GSFunction* fn = FindOwnFunction(signature);
  uint32_t at = 0;
  if (fn != nullptr) found = this;
  for (uint32_t i = 0; found == nullptr && i < AncestorCount(); ++i) {
    GSClass* ancestor = Ancestor(i);
    fn = ancestor != nullptr ? ancestor->FindOwnFunction(signature) : nullptr;
    if (fn != nullptr) {
      found = ancestor;
      at = AncestorOffset(i);
    }
  }
  if (functionIndex != nullptr)
    *functionIndex = found != nullptr ? static_cast<int32_t>(fn - found->functions.data()) : -1;
  if (found == nullptr) return nullptr;
  if (offset != nullptr) *offset = at;
  if (methodIndex != nullptr) *methodIndex = static_cast<uint32_t>(fn->methodIndex);
  return found;
}

namespace {

// What each slot of an instance of `cls` holds: the block headers of the
// class and of every ancestor, and the reference fields that each block's
// class releases (GSScriptInstance::ReleaseFields). False when a reference
// field lies on a header, outside the instance or on another one.
bool BuildSlotKinds(const GSClass& cls, std::vector<uint8_t>& kinds) {
  kinds.assign(cls.instanceSlots, GSClass::kSlotPlain);
  auto header = [&](uint32_t p) {
    if (uint64_t{p} + 1 >= kinds.size()) return false;
    kinds[p] = kinds[p + 1] = GSClass::kSlotHeader;
    return true;
  };
  auto fields = [&](const GSClass& owner, uint32_t p) {
    for (uint32_t i = 0; i < owner.referenceSlots.count; ++i) {
      const uint64_t s = uint64_t{p} + owner.referenceSlots.At(i);
      if (s >= kinds.size() || kinds[s] != GSClass::kSlotPlain) return false;
      kinds[s] = GSClass::kSlotReference;
    }
    return true;
  };
  if (!header(0)) return false;
  for (uint32_t i = 0; i < cls.AncestorCount(); ++i)
    if (cls.Ancestor(i) == nullptr || !header(cls.AncestorOffset(i))) return false;
  if (!fields(cls, 0)) return false;
  for (uint32_t i = 0; i < cls.AncestorCount(); ++i)
    if (!fields(*cls.Ancestor(i), cls.AncestorOffset(i))) return false;
  return true;
}

// The slot kinds of `cls`, built once: at its own link or at the link of a
// class derived from it, whichever comes first (slotKinds stays empty until
// they are built whole). Null when they cannot be built.
const std::vector<uint8_t>* SlotKindsOf(GSClass& cls) {
  if (!cls.slotKinds.empty()) return &cls.slotKinds;
  std::vector<uint8_t> kinds;
  if (!BuildSlotKinds(cls, kinds)) return nullptr;
  cls.slotKinds = std::move(kinds);
  return &cls.slotKinds;
}

// Every member of `me` that the class's code reads or writes lies in the
// first `block` slots and holds what the instruction takes.
bool MembersOfMeFit(const std::vector<uint8_t>& uses, const std::vector<uint8_t>& kinds,
                    uint32_t block) {
  for (uint32_t m = 0; m < uses.size(); ++m) {
    if (uses[m] == 0) continue;
    if (m >= block || m >= kinds.size()) return false;
    if ((uses[m] & GSClass::kUsedPlain) != 0 && kinds[m] != GSClass::kSlotPlain) return false;
    if ((uses[m] & GSClass::kUsedAsReference) != 0 && kinds[m] != GSClass::kSlotReference)
      return false;
  }
  return true;
}

}  // namespace

bool GSClass::LinkFunctions() {
  if (machine == nullptr) return false;
  for (GSFunction& fn : functions) {
    if (fn.IsNative()) {
      fn.native = machine->FindNative(Kiv::PString(name), Kiv::PString(fn.name));
      if (fn.native == nullptr) GSPrint("Could not resolve native link %s", fn.name);
      continue;
    }
    if (AncestorCount() == 0) continue;
    const std::string_view method = MethodPart(fn.name);
    for (uint32_t i = 0; fn.overridden == nullptr && i < AncestorCount(); ++i) {
      fn.overridden = Ancestor(i)->FindOwnMethod(method);
      if (fn.overridden != nullptr) fn.overriddenOffset = AncestorOffset(i);
    }
  }
  // The ancestry entries by block offset, the first entry of an offset
  // first: the owner of a method-table entry is found without a walk of
  // the ancestry per entry, which a long chain of classes would make cubic.
  std::vector<std::pair<uint32_t, uint32_t>> blocks;
  for (GSMethodEntry& entry : methods) {
    entry.ref = &library->FunctionRefs()[entry.refIndex];
    const GSClass* owner = this;
    if (entry.offset != 0) {
      if (blocks.empty()) {
        for (uint32_t i = 0; i < AncestorCount(); ++i) blocks.emplace_back(AncestorOffset(i), i);
        std::sort(blocks.begin(), blocks.end());
      }
      const auto at = std::lower_bound(blocks.begin(), blocks.end(), std::pair{entry.offset, 0u});
      if (at != blocks.end() && at->first == entry.offset) owner = Ancestor(at->second);
    }
    if (entry.ref->function == nullptr || entry.ref->function->cls != owner) return false;
    entry.function = entry.ref->function;
  }
  for (uint32_t i = 0; i < AncestorCount(); ++i)
    if (uint64_t{AncestorOffset(i)} + Ancestor(i)->instanceSlots > instanceSlots) return false;
  if (SlotKindsOf(*this) == nullptr) return false;
  // Code of an ancestor runs on its block inside this instance: the block
  // must hold what the ancestor's own instance holds.
  for (uint32_t i = 0; i < AncestorCount(); ++i) {
    GSClass& ancestor = *Ancestor(i);
    const std::vector<uint8_t>* ancestorKinds = SlotKindsOf(ancestor);
    if (ancestorKinds == nullptr ||
        !std::equal(ancestorKinds->begin(), ancestorKinds->begin() + ancestor.BlockSlots(),
                    slotKinds.begin() + AncestorOffset(i)))
      return false;
  }
  return MembersOfMeFit(membersOfMe, slotKinds, BlockSlots());
}

}  // namespace GSRuntime
