#include "gsnative/VandruScriptContext.h"

#include "assetdb/client/FindAssetSpec.h"
#include "foundation/base/LogMessage.h"
#include "foundation/vni/VniPlugin.h"
#include "gsnative/GSOAsset.h"
#include "gsnative/GSOLibrary.h"
#include "gsnative/GSOLibrarySpec.h"
#include "gsruntime/GSRouter.h"

namespace {

bool AcceptLibrarySpec(const BrindlemoxSpec& spec) {
  return CastToLibrarySpec(const_cast<BrindlemoxSpec*>(&spec)) != nullptr;
}

// Lets go of a library that is in no list: its script instance's count,
// or the object itself when it has no instance.
void LetGo(GSOLibrary* library) {
  const GSRuntime::GSValue instance = library->GetScriptInstance();
  if (instance != 0) {
    GSRuntime::GSObjectReference::Release(instance);
    return;
  }
  delete library;
}

}  // namespace

VandruScriptContext::~VandruScriptContext() {
  // Game objects that the router holds for destruction go while the
  // context is whole (a library's removes its icon through it).
  if (Router() != nullptr) Router()->Done();
  libraries_.Clear();
  if (vniObjects_ != nullptr) ReleaseVniContextObjects(vniObjects_.get());
  GSOAsset::ReleaseContextObjects(this);
}

VNIContext* VandruScriptContext::VniObjects() {
  if (vniObjects_ == nullptr) vniObjects_ = std::make_unique<VNIContext>();
  return vniObjects_.get();
}

GSOLibrary* VandruScriptContext::FindLoaded(const BrindlemoxSpec* spec) const {
  GSOLibrary* found = nullptr;
  libraries_.ForEachItem([&](uint32_t, WorldListItem* item) {
    auto* library = dynamic_cast<GSOLibrary*>(item);
    if (found == nullptr && library != nullptr && library->GetSpecRef().Get() == spec)
      found = library;
  });
  return found;
}

GSOLibrary* VandruScriptContext::GetScriptLibrary(const KUID& kuid) {
  if (kuid.IsNull()) return nullptr;
  const Kiv::PString tagText = KUIDToTagString(kuid);
  const char* tag = tagText.c_str();
  SpecRef spec;
  GetSpecForKUID(spec, kuid, &AcceptLibrarySpec);
  GSOLibrarySpec* librarySpec = CastToLibrarySpec(spec.Get());
  if (librarySpec == nullptr) {
    LogMessage("VandruScriptContext::GetScriptLibrary> unable to find Library %s", tag);
    return nullptr;
  }
  if (GSOLibrary* loaded = FindLoaded(librarySpec)) {
    loaded->CompleteInit();
    return loaded;
  }
  if (librarySpec->IsShared() && GetParentContext() != nullptr)
    return GetParentContext()->GetScriptLibrary(kuid);
  if (listLock_ != 0) {
    LogMessage("VandruScriptContext::GetScriptLibrary> attempted while list is locked");
    return nullptr;
  }
  GSOLibrary* library = librarySpec->CreateLibrary(*this);
  if (library == nullptr || libraries_.Add(library) < 0) {
    if (library != nullptr) LetGo(library);
    LogMessage("VandruScriptContext::GetScriptLibrary> unable to create instance of Library %s",
               tag);
    return nullptr;
  }
  OnLibraryAdded(library);
  library->CompleteInit();
  if (!library->HasScriptFailure()) return library;
  LogMessage("VandruScriptContext::GetScriptLibrary> script failure on Library %s", tag);
  libraries_.RemoveItem(library);
  LetGo(library);
  return nullptr;
}
