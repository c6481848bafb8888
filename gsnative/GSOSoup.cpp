#include "gsnative/GSOSoup.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string_view>
#include <typeinfo>
#include <unordered_set>
#include <vector>

#include "foundation/soup/SoupKUIDReferences.h"
#include "foundation/soup/TDBContainerTag.h"
#include "gsnative/GSOKUID.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsnative/SoupCharge.h"
#include "gsnative/StringParams.h"
#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSPayloadSoup.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSString.h"
#include "kiv/PString.h"
#include "kiv/String.h"

using namespace GSRuntime;

namespace {

void PushText(GSStack& stack, std::string_view text) {
  GSString* string = GSString::Create(text, CurrentContext());
  stack.Push(string != nullptr ? string->GetScriptInstance() : 0);
}

bool SoupOfObject(GSValue ref, Soup& soup) {
  const auto* object = GSNativeCast<const GSOSoup>(GSScriptInstance::FromRef(ref)->native);
  if (object == nullptr) return false;
  soup = object->GetSoup();
  return true;
}

GSValue MakeLockedSoup(GSContext* context, const Soup& soup) {
  GSOSoup* object = GSOSoup::Create(context, soup, true);
  return object != nullptr ? object->GetScriptInstance() : 0;
}

// False when `tree` cannot have a child called `name`: every child of an
// editable container holds its name, so a name that only the caller holds
// (a name no script used before) is not among them and needs no look-up.
bool MayNameATag(const ACSChunk* tree, const Kiv::PString& name) {
  if (tree == nullptr || typeid(*tree) != typeid(TDBContainerTag)) return true;
  return Kiv::PStringCache::UseCount(name) > 1;
}

}  // namespace

bool SoupTreeHolds(const ACSChunk* tree, const ACSChunk* chunk) {
  if (tree == nullptr || chunk == nullptr) return false;
  std::vector<const ACSChunk*> pending{tree};
  std::unordered_set<const ACSChunk*> seen{tree};
  while (!pending.empty()) {
    const ACSChunk* at = pending.back();
    pending.pop_back();
    if (at == chunk) return true;
    if (at->GetType() != SoupType::kContainer) continue;
    Kiv::PString name;
    ChunkRef child;
    for (uint32_t i = 0; at->GetChildAt(i, name, child); ++i)
      if (seen.insert(child.get()).second) pending.push_back(child.get());
  }
  GSChargeMovedBytes(seen.size() * kSoupTagBytes);
  return false;
}

GSOSoup::~GSOSoup() {
  LetGoOfTree();
}

void GSOSoup::SetSoup(const Soup& soup) {
  LetGoOfTree();
  soup_ = soup;
}

void GSOSoup::LetGoOfTree() {
  ACSChunk* tree = soup_.GetChunk();
  if (tree != nullptr && tree->RefCount() > 1) charge_.KeepWhileHeld(ChunkRef::Share(tree));
  charge_.Set(Context(), 0);
}

bool GSOSoup::ChargeTag(const Kiv::PString& name, uint64_t bytes, const char* refusal) {
  uint64_t old = 0;
  ChunkRef keep;
  if (const ACSChunk* child = MayNameATag(soup_.GetChunk(), name) ? soup_.PeekChild(name, keep)
                                                                    : nullptr)
    old = SoupTagBytes(name, child);
  if (bytes <= old) {
    charge_.Set(Context(), charge_.Bytes() - std::min(charge_.Bytes(), old - bytes));
    return true;
  }
  if (charge_.TrySet(Context(), charge_.Bytes() + (bytes - old))) return true;
  return ScriptError(refusal);
}

GSOSoup* GSOSoup::Create(GSContext* context, const Soup& soup, bool locked) {
  auto* object = new (std::nothrow) GSOSoup(soup, locked);
  if (object == nullptr) return nullptr;
  if (!object->AttachScriptInstance(gSoupScriptClass, context)) {
    delete object;
    return nullptr;
  }
  return object;
}

void GSOSoup::Push(GSStack& stack, GSContext* context, const Soup& soup, bool locked) {
  GSOSoup* object = Create(context, soup, locked);
  if (object == nullptr) {
    stack.Push(0);
    return;
  }
  stack.PushObject(nullptr, object);
}

bool GSOSoup::NameArg(const GSStack& stack, Kiv::PString& name) {
  if (!CheckStringParam(stack, 1, name, false)) return false;
  // Interned again only when there is something to lower (most names are
  // already lower case).
  const std::string_view text = name.View();
  if (std::any_of(text.begin(), text.end(), [](char c) { return Kiv::AsciiToLower(c) != c; }))
    name.ToLower();
  return true;
}

bool GSOSoup::Unlocked(const char* text) const {
  if (!locked_) return true;
  return ScriptError(text);
}

GSOSoup* GSOSoup::LinkableArg(const GSStack& stack, uint32_t index, const char* lockedText,
                              const char* cycleText) {
  GSOSoup* sub = nullptr;
  if (!GetObjectParam(stack, index, sub, false)) return nullptr;
  if (sub->locked_) {
    ScriptError(lockedText);
    return nullptr;
  }
  if (sub == this || SoupTreeHolds(sub->soup_.GetChunk(), soup_.GetChunk())) {
    ScriptError(cycleText);
    return nullptr;
  }
  return sub;
}

void GSOSoup::CountTags(GSStack& stack) {
  stack.Push(GSFromInt(static_cast<int32_t>(soup_.CountTags())));
}

void GSOSoup::GetNamedTag(GSStack& stack) {
  Kiv::PString name;
  if (NameArg(stack, name)) PushText(stack, soup_.GetNamedTag(name).View());
}

void GSOSoup::GetNamedSoup(GSStack& stack) {
  Kiv::PString name;
  if (NameArg(stack, name)) Push(stack, Context(), soup_.GetNamedSoup(name), locked_);
}

void GSOSoup::GetNamedSoupAdd(GSStack& stack) {
  Kiv::PString name;
  if (!NameArg(stack, name) || !Unlocked("Soup.GetNamedSoupAdd> parent soup is locked")) return;
  Soup child = soup_.GetNamedSoup(name);
  if (child.Empty()) {
    if (!ChargeTag(name, SoupTagBytes(name, nullptr), "Soup.GetNamedSoupAdd> soup too large"))
      return;
    soup_.SetNamedSoup(name, child);
  }
  Push(stack, Context(), child, false);
}

void GSOSoup::GetIndexedTagName(GSStack& stack) {
  const uint32_t index = static_cast<uint32_t>(GSInt(GSNativeArg(stack, 1)));
  if (index >= soup_.CountTags()) {
    PushText(stack, "");
    return;
  }
  PushText(stack, soup_.GetIndexedTagName(index).View());
}

void GSOSoup::GetIndexForNamedTag(GSStack& stack) {
  Kiv::PString name;
  if (!NameArg(stack, name)) return;
  int32_t found = -1;
  if (const ACSChunk* chunk = soup_.GetChunk()) {
    Kiv::PString childName;
    ChunkRef child;
    const uint32_t count = chunk->CountChildren();
    for (uint32_t i = 0; i < count && chunk->GetChildAt(i, childName, child); ++i)
      if (childName == name) {
        found = static_cast<int32_t>(i);
        break;
      }
    GSChargeMovedBytes((found >= 0 ? uint64_t(found) + 1 : count) * kSoupTagBytes);
  }
  stack.Push(GSFromInt(found));
}

void GSOSoup::GetNamedTagAsKUID(GSStack& stack) {
  Kiv::PString name;
  if (NameArg(stack, name)) GSOKUID::Push(stack, Context(), GetNamedKUIDAsWritten(soup_, name));
}

void GSOSoup::GetNamedTagAsInt(GSStack& stack) {
  Kiv::PString name;
  if (NameArg(stack, name)) stack.Push(GSFromInt(soup_.GetNamedTagAsInt(name, 0)));
}

void GSOSoup::GetNamedTagAsIntOr(GSStack& stack) {
  Kiv::PString name;
  if (NameArg(stack, name))
    stack.Push(GSFromInt(soup_.GetNamedTagAsInt(name, GSInt(GSNativeArg(stack, 2)))));
}

void GSOSoup::GetNamedTagAsFloat(GSStack& stack) {
  Kiv::PString name;
  if (NameArg(stack, name)) stack.Push(GSFromFloat(soup_.GetNamedTagAsFloat(name, 0.0f)));
}

void GSOSoup::GetNamedTagAsFloatOr(GSStack& stack) {
  Kiv::PString name;
  if (NameArg(stack, name))
    stack.Push(GSFromFloat(soup_.GetNamedTagAsFloat(name, GetFloatArg(stack, 2))));
}

void GSOSoup::SetNamedString(GSStack& stack) {
  Kiv::PString name, value;
  if (!Unlocked("Soup.SetNamedTag> parent soup is locked") || !NameArg(stack, name) ||
      !CheckStringParam(stack, 2, value, true))
    return;
  // A string tag holds its text and a NUL; an empty one nothing.
  const uint64_t text = value.Length() > 0 ? value.Length() + 1 : 0;
  if (ChargeTag(name, SoupTagBytes(name, nullptr) + text, "Soup.SetNamedTag> soup too large"))
    soup_.SetNamedTag(name, value);
}

void GSOSoup::SetNamedFloat(GSStack& stack) {
  Kiv::PString name;
  if (Unlocked("Soup.SetNamedTag> parent soup is locked") && NameArg(stack, name) &&
      ChargeTag(name, SoupTagBytes(name, nullptr) + 4, "Soup.SetNamedTag> soup too large"))
    soup_.SetNamedFloat(name, GetFloatArg(stack, 2));
}

void GSOSoup::SetNamedInt(GSStack& stack) {
  Kiv::PString name;
  if (Unlocked("Soup.SetNamedTag> parent soup is locked") && NameArg(stack, name) &&
      ChargeTag(name, SoupTagBytes(name, nullptr) + 4, "Soup.SetNamedTag> soup too large"))
    soup_.SetNamedInt(name, GSInt(GSNativeArg(stack, 2)));
}

void GSOSoup::SetNamedKUID(GSStack& stack) {
  Kiv::PString name;
  GSOKUID* kuid = nullptr;
  if (!Unlocked("Soup.SetNamedKUID> parent soup is locked") || !NameArg(stack, name) ||
      !GetObjectParam(stack, 2, kuid, true))
    return;
  const KUID value = kuid != nullptr ? static_cast<const KUID&>(*kuid) : kNullKUID;
  // A KUID that a KUID tag cannot keep is written as its text, with a NUL.
  const uint64_t bytes = KUIDReadsBack(value) ? 8 : KUIDToTagString(value).Length() + 1;
  if (ChargeTag(name, SoupTagBytes(name, nullptr) + bytes, "Soup.SetNamedKUID> soup too large"))
    SetKUIDTableEntry(soup_, name, value);
}

void GSOSoup::SetNamedSoup(GSStack& stack) {
  Kiv::PString name;
  if (!Unlocked("Soup.SetNamedTag> parent soup is locked") || !NameArg(stack, name)) return;
  GSOSoup* sub = LinkableArg(stack, 2, "Soup.SetNamedTag> sub-soup parameter is locked",
                             "Soup.SetNamedSoup> a soup cannot contain itself");
  if (sub != nullptr &&
      ChargeTag(name, SoupTagBytes(name, nullptr), "Soup.SetNamedSoup> soup too large"))
    soup_.SetNamedSoup(name, sub->soup_);
}

void GSOSoup::RemoveNamedTag(GSStack& stack) {
  Kiv::PString name;
  if (Unlocked("Soup.RemoveNamedTag> parent soup is locked") && NameArg(stack, name)) {
    ChargeTag(name, 0, nullptr);  // gives back; never refuses
    soup_.RemoveNamedTag(name);
  }
}

void GSOSoup::Copy(GSStack& stack) {
  GSOSoup* source = nullptr;
  if (!Unlocked("Soup.Copy> parent soup is locked") || !GetObjectParam(stack, 1, source, false))
    return;
  // Both trees are held until the copy is made.
  const uint64_t bytes = ExpandedSoupBytes(source->soup_.GetChunk());
  GSChargeMovedBytes(bytes);
  if (!charge_.TrySet(Context(), charge_.Bytes() + bytes)) {
    ScriptError("Soup.Copy> soup too large");
    return;
  }
  Soup copy;  // taken before this tree is dropped, so a copy of itself keeps its contents
  Soup::Copy(copy, source->soup_);
  charge_.Set(Context(), charge_.Bytes() - bytes);
  SetSoup(copy);
  charge_.Set(Context(), bytes);
}

void GSOSoup::Clear(GSStack&) {
  if (Unlocked("Soup.Clear> parent soup is locked")) SetSoup(Soup());
}

void GSOSoup::IsLocked(GSStack& stack) {
  stack.Push(GSFromBool(locked_));
}

void GSOSoup::GetLockedReference(GSStack& stack) {
  soup_.Create();
  if (locked_) {
    stack.PushObjectAs(nullptr, this);
    return;
  }
  Push(stack, Context(), soup_, true);
}

void GSOSoup::AddUniqueNamedSoup(GSStack& stack) {
  if (!Unlocked("Soup.AddUniqueNamedSoup> parent soup is locked")) return;
  GSOSoup* sub = LinkableArg(stack, 1, "Soup.AddUniqueNamedSoup> sub-soup parameter is locked",
                             "Soup.AddUniqueNamedSoup> a soup cannot contain itself");
  if (sub == nullptr) return;
  const Kiv::PString name = soup_.GetUniqueTagName();
  if (ChargeTag(name, SoupTagBytes(name, nullptr), "Soup.AddUniqueNamedSoup> soup too large"))
    soup_.SetNamedSoup(name, sub->soup_);
}

void GSOSoup::Log(GSStack&) {
  GSChargeMovedBytes(ExpandedSoupBytes(soup_.GetChunk()));
  Soup::LogText(soup_);
}

void RegisterSoupNatives(GSMachine& machine) {
  using Method = void (GSOSoup::*)(GSStack&);
  struct Entry {
    const char* signature;
    Method method;
  };
  static const Entry kNatives[] = {
      {"$int@Soup::CountTags()", &GSOSoup::CountTags},
      {"$string@Soup::GetNamedTag(string)", &GSOSoup::GetNamedTag},
      {"$Soup@Soup::GetNamedSoup(string)", &GSOSoup::GetNamedSoup},
      {"$Soup@Soup::GetNamedSoupAdd(string)", &GSOSoup::GetNamedSoupAdd},
      {"$string@Soup::GetIndexedTagName(int)", &GSOSoup::GetIndexedTagName},
      {"$int@Soup::GetIndexForNamedTag(string)", &GSOSoup::GetIndexForNamedTag},
      {"$KUID@Soup::GetNamedTagAsKUID(string)", &GSOSoup::GetNamedTagAsKUID},
      {"$int@Soup::GetNamedTagAsInt(string)", &GSOSoup::GetNamedTagAsInt},
      {"$int@Soup::GetNamedTagAsInt(string,int)", &GSOSoup::GetNamedTagAsIntOr},
      {"$float@Soup::GetNamedTagAsFloat(string)", &GSOSoup::GetNamedTagAsFloat},
      {"$float@Soup::GetNamedTagAsFloat(string,float)", &GSOSoup::GetNamedTagAsFloatOr},
      {"$void@Soup::SetNamedTag(string,string)", &GSOSoup::SetNamedString},
      {"$void@Soup::SetNamedTag(string,float)", &GSOSoup::SetNamedFloat},
      {"$void@Soup::SetNamedTag(string,int)", &GSOSoup::SetNamedInt},
      {"$void@Soup::SetNamedTag(string,KUID)", &GSOSoup::SetNamedKUID},
      {"$void@Soup::SetNamedSoup(string,Soup)", &GSOSoup::SetNamedSoup},
      {"$void@Soup::RemoveNamedTag(string)", &GSOSoup::RemoveNamedTag},
      {"$void@Soup::Copy(Soup)", &GSOSoup::Copy},
      {"$void@Soup::Clear()", &GSOSoup::Clear},
      {"$bool@Soup::IsLocked()", &GSOSoup::IsLocked},
      {"$Soup@Soup::GetLockedReference()", &GSOSoup::GetLockedReference},
      {"$void@Soup::AddUniqueNamedSoup(Soup)", &GSOSoup::AddUniqueNamedSoup},
      {"$void@Soup::Log()", &GSOSoup::Log},
  };
  for (const Entry& e : kNatives)
    machine.RegisterNative(
        std::make_unique<GSCPPNativeFunction<GSOSoup>>("Soup", e.signature, e.method));
  static const GSSoupClassHook kSoupClass = {SoupOfObject, MakeLockedSoup};
  GSSetSoupClassHook(&kSoupClass);
}
