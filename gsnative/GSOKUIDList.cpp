#include "gsnative/GSOKUIDList.h"

#include <algorithm>
#include <memory>
#include <new>

#include "gsnative/GSOKUID.h"
#include "gsnative/StringParams.h"
#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"

using namespace GSRuntime;

GSClass* gKUIDListScriptClass = nullptr;

GSOKUIDList* GSOKUIDList::Make(GSContext* context, bool locked) {
  auto* list = new (std::nothrow) GSOKUIDList;
  if (list == nullptr) return nullptr;
  list->locked_ = locked;
  if (!list->AttachScriptInstance(gKUIDListScriptClass, context)) {
    delete list;
    return nullptr;
  }
  return list;
}

GSOKUIDList* GSOKUIDList::Create(GSContext* context) {
  return Make(context, false);
}

GSOKUIDList* GSOKUIDList::CreateLocked(GSContext* context, std::span<const KUID> kuids) {
  GSOKUIDList* list = Make(context, true);
  if (list == nullptr) return nullptr;
  list->kuids_.assign(kuids.begin(), kuids.end());
  for (const KUID& kuid : kuids) list->counts_.Add(kuid);
  list->charge_.Set(context, kuids.size() * kEntryBytes);
  return list;
}

bool GSOKUIDList::Add(const KUID& kuid) {
  return Insert(kuid) == Added::kYes;
}

GSOKUIDList::Added GSOKUIDList::Insert(const KUID& kuid) {
  // One probe of the count table finds a listed KUID or takes its place.
  if (!counts_.AddIfAbsent(kuid)) return Added::kListed;
  if (kuids_.size() == kuids_.capacity()) MakeRoomOrRemove(kuid);
  if (!charge_.TrySet(Context(), (kuids_.size() + 1) * kEntryBytes)) {
    counts_.Remove(kuid);
    return Added::kNoRoom;
  }
  kuids_.push_back(kuid);  // there is room: it does not throw
  return Added::kYes;
}

void GSOKUIDList::MakeRoomOrRemove(const KUID& kuid) {
  try {
    MakeRoom();
  } catch (...) {
    counts_.Remove(kuid);
    throw;
  }
}

void GSOKUIDList::MakeRoom() {
  // As push_back grows.
  kuids_.reserve(kuids_.size() + std::max<size_t>(kuids_.size(), 1));
}

bool GSOKUIDList::Append(const KUID& kuid) {
  // Room first, then the table: a throw leaves the list as it was.
  if (kuids_.size() == kuids_.capacity()) MakeRoom();
  counts_.Add(kuid);
  if (!charge_.TrySet(Context(), (kuids_.size() + 1) * kEntryBytes)) {
    counts_.Remove(kuid);
    return false;
  }
  kuids_.push_back(kuid);
  return true;
}

void GSOKUIDList::Empty() {
  std::vector<KUID>().swap(kuids_);
  counts_.Clear();
  charge_.Set(Context(), 0);
}

void GSOKUIDList::CountKUIDs(GSStack& stack) {
  stack.Push(GSFromInt(static_cast<int32_t>(kuids_.size())));
}

// AddKUID and HasKUID: the common case (a KUID in its cell, room in the
// list, the table and the charge) is short and calls nothing; anything else
// goes, changing nothing first, to the full native.
[[gnu::always_inline]] inline bool GSOKUIDList::TryInsertInPlace(const KUID& kuid) {
  size_t slot = 0;
  const KUIDCountTable::Lookup found = counts_.FindFree(kuid, slot);
  if (found == KUIDCountTable::Lookup::kHeld) return true;
  if (found == KUIDCountTable::Lookup::kFull || kuids_.size() == kuids_.capacity() ||
      !charge_.TryGrowBound((kuids_.size() + 1) * kEntryBytes))
    return false;
  counts_.FillFree(slot, kuid);
  kuids_.push_back(kuid);  // there is room: it does not throw
  return true;
}

void GSOKUIDList::AddKUID(GSStack& stack) {
  const GSOKUID* kuid = locked_ ? nullptr : KUIDParamInCell(stack, 1);
  if (kuid == nullptr || !TryInsertInPlace(*kuid)) AddKUIDChecked(stack);
}

void GSOKUIDList::AddKUIDChecked(GSStack& stack) {
  if (locked_) {
    ScriptError("KUIDList.Copy> list is locked");
    return;
  }
  GSOKUID* kuid = nullptr;
  if (GetKUIDParam(stack, 1, kuid) && Insert(*kuid) == Added::kNoRoom)
    ScriptError("KUIDList.AddKUID> list too large");
}

void GSOKUIDList::RemoveKUID(GSStack& stack) {
  if (locked_) {
    ScriptError("KUIDList.Copy> list is locked");
    return;
  }
  GSOKUID* kuid = nullptr;
  if (!GetKUIDParam(stack, 1, kuid) || !Has(*kuid)) return;
  const KUID value = *kuid;
  GSChargeMovedBytes(kuids_.size() * sizeof(KUID));
  kuids_.erase(std::find(kuids_.begin(), kuids_.end(), value));
  counts_.Remove(value);
}

void GSOKUIDList::HasKUID(GSStack& stack) {
  const GSOKUID* kuid = KUIDParamInCell(stack, 1);
  if (kuid == nullptr) return HasKUIDChecked(stack);
  stack.Push(GSFromBool(Has(*kuid)));
}

void GSOKUIDList::HasKUIDChecked(GSStack& stack) {
  GSOKUID* kuid = nullptr;
  if (GetKUIDParam(stack, 1, kuid)) stack.Push(GSFromBool(Has(*kuid)));
}

void GSOKUIDList::GetIndexedKUID(GSStack& stack) {
  const uint32_t index = static_cast<uint32_t>(GSInt(GSNativeArg(stack, 1)));
  if (index >= kuids_.size()) {
    ScriptError("KUIDList.GetIndexedKUID> index out of range");
    return;
  }
  GSOKUID::Push(stack, Context(), kuids_[index]);
}

void GSOKUIDList::Copy(GSStack& stack) {
  if (locked_) {
    ScriptError("KUIDList.Copy> list is locked");
    return;
  }
  GSOKUIDList* source = nullptr;
  if (!GetObjectParam(stack, 1, source, false) || source == this) return;
  Empty();
  GSChargeMovedBytes(source->kuids_.size() * kEntryBytes);
  for (const KUID& kuid : source->kuids_) {
    if (!Append(kuid)) {
      Empty();
      ScriptError("KUIDList.Copy> list too large");
      return;
    }
  }
}

void GSOKUIDList::Clear(GSStack&) {
  if (locked_) {
    ScriptError("KUIDList.Clear> list is locked");
    return;
  }
  Empty();
}

void GSOKUIDList::IsLocked(GSStack& stack) {
  stack.Push(GSFromBool(locked_));
}

void RegisterKUIDListNatives(GSMachine& machine) {
  using Method = void (GSOKUIDList::*)(GSStack&);
  struct Entry {
    const char* signature;
    Method method;
  };
  // Scripts add and test KUIDs in loops: those two calls are direct.
  machine.RegisterNative(
      std::make_unique<GSCPPMethodNativeFunction<GSOKUIDList, &GSOKUIDList::AddKUID>>(
          "KUIDList", "$void@KUIDList::AddKUID(KUID)"));
  machine.RegisterNative(
      std::make_unique<GSCPPMethodNativeFunction<GSOKUIDList, &GSOKUIDList::HasKUID>>(
          "KUIDList", "$bool@KUIDList::HasKUID(KUID)"));
  static const Entry kNatives[] = {
      {"$int@KUIDList::CountKUIDs()", &GSOKUIDList::CountKUIDs},
      {"$void@KUIDList::RemoveKUID(KUID)", &GSOKUIDList::RemoveKUID},
      {"$KUID@KUIDList::GetIndexedKUID(int)", &GSOKUIDList::GetIndexedKUID},
      {"$void@KUIDList::Copy(KUIDList)", &GSOKUIDList::Copy},
      {"$void@KUIDList::Clear()", &GSOKUIDList::Clear},
      {"$bool@KUIDList::IsLocked()", &GSOKUIDList::IsLocked},
  };
  for (const Entry& e : kNatives)
    machine.RegisterNative(
        std::make_unique<GSCPPNativeFunction<GSOKUIDList>>("KUIDList", e.signature, e.method));
}
