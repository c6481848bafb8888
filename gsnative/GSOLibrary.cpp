#include "gsnative/GSOLibrary.h"

#include <memory>
#include <new>
#include <string>

#include "foundation/base/LogMessage.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/stream/TStreamTyped.h"
#include "gsnative/GSOAsset.h"
#include "gsnative/GSOLibrarySpec.h"
#include "gsnative/GSOSoup.h"
#include "gsnative/SystemMenuIconHost.h"
#include "gsnative/VandruScriptContext.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSRouter.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSStack.h"

using namespace GSRuntime;

GSClass* gLibraryScriptClass = nullptr;

namespace {

LibraryOnlineAccessSource onlineAccessSource = nullptr;

const Kiv::PString& ClickName() {
  static const Kiv::PString name("click");
  return name;
}

}  // namespace

void SetLibraryOnlineAccessSource(LibraryOnlineAccessSource source) {
  onlineAccessSource = source;
}

GSOLibrary* GSOLibrary::Create(VandruScriptContext& context, const SpecRef& spec) {
  return new (std::nothrow) GSOLibrary(&context, spec);
}

GSOLibrary::GSOLibrary(VandruScriptContext* context, const SpecRef& spec)
    : ScriptableObject(context), WorldListItem(kTypeId), spec_(spec) {
  const GSOLibrarySpec* librarySpec = CastToLibrarySpec(spec_.Get());
  if (context == nullptr || librarySpec == nullptr || librarySpec->PluginName().Empty()) return;
  plugin_.Load(context->VniObjects(), librarySpec->PluginName().View());
}

GSOLibrary::~GSOLibrary() {
  if (VandruScriptContext* context = GetVandruContext())
    ForwardRemoveSystemMenuIcon(context, this);
  plugin_.Release();
}

KUID GSOLibrary::GetKUID() const {
  return spec_.Get() != nullptr ? spec_.Get()->asset : kNullKUID;
}

Kiv::PString GSOLibrary::GetLogName() const {
  return spec_.Get() != nullptr ? spec_.Get()->GetLogName() : Kiv::PString();
}

void GSOLibrary::CompleteInit() {
  if (initComplete_) return;
  initComplete_ = true;
  RunNow();
  ApplyProperties();
}

Soup GSOLibrary::GetProperties() {
  if (HasFailure()) return Soup();
  GSValue result = 0;
  const bool done = GSObject::CallFunction(Context(), GSObject::GetScriptClass(),
                                           GetScriptInstance(), kGetPropertiesSignature, {},
                                           &result);
  Soup properties;
  const GSOSoup* soup =
      done && result != 0 ? dynamic_cast<const GSOSoup*>(GSScriptInstance::FromRef(result)->native)
                          : nullptr;
  if (soup != nullptr) properties = soup->GetSoup();
  if (result != 0) GSObjectReference::Release(result);
  if (soup == nullptr)
    LogMessage("GSOLibrary::GetProperties> could not retrieve properties for %s",
               GetLogName().c_str());
  return properties;
}

void GSOLibrary::SaveListRecord(TStream& stream) {
  const Soup properties = GetProperties();
  if (properties.IsNull()) return;
  TStreamWriteU32(stream, 0);
  BinarySoup::Write(stream, properties);
}

void GSOLibrary::LoadListRecord(TStream& body) {
  if (HasFailure()) return;
  uint32_t word = 0;
  TStreamReadU32(body, word, 0);
  Soup properties;
  std::string fault;
  if (!BinarySoup::Read(body, properties, nullptr, &fault)) {
    LogMessage("GSOLibrary> the saved properties of %s do not read: %s", GetLogName().c_str(),
               fault.c_str());
    return;
  }
  SetPendingProperties(properties);
  if (initComplete_) ApplyProperties();
}

uint32_t GSOLibrary::Receive(const NuMessageData& data) {
  if (iconId_ == 0 || data.value != iconId_ || data.name != ClickName())
    return NuMessageRecipient::Receive(data);
  const GSMessageRef message = PostMessage("Interface", "ClickSystemButton", Id(), 0);
  if (message && Router() != nullptr) Router()->Send(message);
  return 0;
}

void GSOLibrary::GetOnlineAccess(GSStack& stack) {
  if (spec_.Get() == nullptr || onlineAccessSource == nullptr || GetVandruContext() == nullptr)
    return;
  GSObject* online = onlineAccessSource(*GetVandruContext(), spec_.Get()->asset);
  if (online != nullptr) stack.PushObject(nullptr, online);
}

void GSOLibrary::LibraryCallNative(GSStack& stack) {
  const Kiv::PString logName = GetLogName();
  ::LibraryCallNative(stack, plugin_, logName.View());
}

void GSOLibrary::AddIcon(GSStack& stack, bool flagArgument) {
  GSOAsset* icon = nullptr;
  if (!GetObjectParam(stack, 1, icon, false)) return;
  ForwardAddSystemMenuIcon(SystemMenuIconHost::HostOf(this), this, icon->GetAssetKUID(), stack,
                           flagArgument);
}

void GSOLibrary::AddSystemMenuIcon(GSStack& stack) {
  AddIcon(stack, false);
}

void GSOLibrary::AddSystemMenuIconWithFlag(GSStack& stack) {
  AddIcon(stack, true);
}

void GSOLibrary::BlinkSystemMenuIcon(GSStack& stack) {
  ForwardBlinkSystemMenuIcon(SystemMenuIconHost::HostOf(this), this, stack);
}

void GSOLibrary::RemoveSystemMenuIcon(GSStack&) {
  ForwardRemoveSystemMenuIcon(SystemMenuIconHost::HostOf(this), this);
}

void GSOLibrary::ShowSystemMenuIconMenu(GSStack& stack) {
  ForwardShowSystemMenuIconMenu(SystemMenuIconHost::HostOf(this), this, stack);
}

void RegisterLibraryNatives(GSMachine& machine) {
  using Method = void (GSOLibrary::*)(GSStack&);
  struct Entry {
    const char* signature;
    Method method;
  };
  static const Entry kNatives[] = {
      {"$OnlineAccess@Library::GetOnlineAccess()", &GSOLibrary::GetOnlineAccess},
      {"$string@Library::LibraryCallNative(string,string[],GSObject[])",
       &GSOLibrary::LibraryCallNative},
      {"$void@Library::AddSystemMenuIcon(Asset,string,string)", &GSOLibrary::AddSystemMenuIcon},
      {"$void@Library::AddSystemMenuIcon(Asset,string,string,bool)",
       &GSOLibrary::AddSystemMenuIconWithFlag},
      {"$void@Library::BlinkSystemMenuIcon(int)", &GSOLibrary::BlinkSystemMenuIcon},
      {"$void@Library::RemoveSystemMenuIcon()", &GSOLibrary::RemoveSystemMenuIcon},
      {"$void@Library::ShowSystemMenuIconMenu(Menu)", &GSOLibrary::ShowSystemMenuIconMenu},
  };
  for (const Entry& e : kNatives)
    machine.RegisterNative(
        std::make_unique<GSCPPNativeFunction<GSOLibrary>>("Library", e.signature, e.method));
}
