#include "gsnative/GSOKUID.h"

#include <map>
#include <memory>
#include <new>
#include <tuple>

#include "assetdb/client/AssetInfoQueries.h"
#include "gsnative/KUIDObjectCells.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSString.h"

namespace {

using namespace GSRuntime;

using Key = std::tuple<int32_t, int32_t, int32_t, const GSContext*>;

// Never destroyed, like the process's machine: objects may outlive static
// destruction (a context torn down at exit), and their destructors still
// leave the table.
std::map<Key, GSOKUID*>& Table() {
  static auto* table = new std::map<Key, GSOKUID*>;
  return *table;
}

Key KeyOf(const KUID& kuid, const GSContext* context) {
  return {kuid.userId, kuid.contentId, kuid.version, context};
}

void PushText(GSStack& stack, std::string_view text) {
  GSString* string = GSString::Create(text, CurrentContext());
  stack.Push(string != nullptr ? string->GetScriptInstance() : 0);
}

}  // namespace

static_assert(sizeof(GSOKUID) <= KUIDObjectCells::kObjectBytes,
              "a KUID object must fit its part of a cell");

void* GSOKUID::operator new(size_t bytes, const std::nothrow_t&) noexcept {
  return KUIDObjectCells::Get().TakeObject(bytes);
}

void GSOKUID::operator delete(void* object) noexcept {
  KUIDObjectCells::Get().DropObject(object);
}

void GSOKUID::operator delete(void* object, const std::nothrow_t&) noexcept {
  KUIDObjectCells::Get().DropObject(object);
}

GSOKUID::~GSOKUID() {
  if (listed_) Table().erase(KeyOf(*this, listedUnder_));
}

GSOKUID* GSOKUID::Create(GSContext* context, const KUID& kuid) {
  const Key key = KeyOf(kuid, context);
  auto found = Table().find(key);
  if (found != Table().end()) {
    GSObjectReference::AddRef(found->second->GetScriptInstance());
    return found->second;
  }
  auto* object = new (std::nothrow) GSOKUID(kuid);
  if (object == nullptr) return nullptr;
  // The instance goes into the object's cell.
  if (gKUIDScriptClass != nullptr) gKUIDScriptClass->instanceMemory = &KUIDObjectCells::Get();
  if (!object->AttachScriptInstance(gKUIDScriptClass, context)) {
    delete object;
    return nullptr;
  }
  Table().emplace(key, object);
  object->listed_ = true;
  object->listedUnder_ = context;
  return object;
}

void GSOKUID::Push(GSStack& stack, GSContext* context, const KUID& kuid) {
  GSOKUID* object = Create(context, kuid);
  if (object == nullptr) {
    stack.Push(0);
    return;
  }
  stack.PushObject(nullptr, object);
}

size_t GSOKUID::TableSize() {
  return Table().size();
}

void GSOKUID::GetName(GSStack& stack) {
  // A request would carry such a KUID as another asset's, whose name it
  // is not: no installed asset has it.
  PushText(stack, KUIDReadsBack(*this) ? GetAssetInfoField(*this) : Kiv::String());
}

void GSOKUID::GetHTMLString(GSStack& stack) {
  PushText(stack, KUIDToTagString(*this).View());
}

void GSOKUID::GetLogString(GSStack& stack) {
  PushText(stack, KUIDToTagString(*this).View());
}

void GSOKUID::GetBaseString(GSStack& stack) {
  PushText(stack, KUIDToPString(*this).View());
}

void GSOKUID::GetBaseKUID(GSStack& stack) {
  Push(stack, Context(), BaseKUIDOf(*this));
}

KUID BaseKUIDOf(const KUID& kuid) {
  const uint32_t top = static_cast<uint32_t>(kuid.userId) >> 25;
  if (top != 0 && top != 0x7F) return kNullKUID;
  return KUID{kuid.userId, kuid.contentId, kuid.userId >= 0 ? 0 : 127};
}

void RegisterKUIDNatives(GSMachine& machine) {
  using Method = void (GSOKUID::*)(GSStack&);
  struct Entry {
    const char* signature;
    Method method;
  };
  static const Entry kNatives[] = {
      {"$string@KUID::GetName()", &GSOKUID::GetName},
      {"$string@KUID::GetHTMLString()", &GSOKUID::GetHTMLString},
      {"$string@KUID::GetLogString()", &GSOKUID::GetLogString},
      {"$string@KUID::GetBaseString()", &GSOKUID::GetBaseString},
      {"$KUID@KUID::GetBaseKUID()", &GSOKUID::GetBaseKUID},
  };
  for (const Entry& e : kNatives)
    machine.RegisterNative(
        std::make_unique<GSCPPNativeFunction<GSOKUID>>("KUID", e.signature, e.method));
}
