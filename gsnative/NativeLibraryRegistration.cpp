#include "gsnative/NativeLibraryRegistration.h"

#include <array>
#include <utility>

#include "gsnative/ConstructorsNatives.h"
#include "gsnative/GSOAsset.h"
#include "gsnative/GSOHTMLBuffer.h"
#include "gsnative/GSOImage.h"
#include "gsnative/GSOKUID.h"
#include "gsnative/GSOKUIDList.h"
#include "gsnative/GSOLibrary.h"
#include "gsnative/GSOOnlineAccess.h"
#include "gsnative/GSOOnlineGroup.h"
#include "gsnative/GSOSecurityToken.h"
#include "gsnative/GSOSoup.h"
#include "gsnative/GSOStringTable.h"
#include "gsnative/LinkedListNatives.h"
#include "gsnative/ScriptableObject.h"
#include "gsnative/SecurityTokenIssuer.h"
#include "gsnative/StrNatives.h"
#include "gsnative/VandruScriptContext.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSLibrary.h"

GSRuntime::GSClass* gGameObjectScriptClass = nullptr;
GSRuntime::GSClass* gKUIDScriptClass = nullptr;
GSRuntime::GSClass* gSoupScriptClass = nullptr;

namespace {

// The script classes of the native classes that keep none of their own yet.
std::array<GSRuntime::GSClass*, 11> scriptClasses{};

}  // namespace

bool FindScriptClass(GSMachine& machine, std::string_view library, std::string_view className,
                     GSRuntime::GSClass** out) {
  *out = nullptr;
  GSRuntime::GSLibrary* found = machine.FindLibraryByName(library);
  if (found == nullptr) return false;
  *out = found->FindClass(className);
  return *out != nullptr;
}

bool FindScriptClass(std::string_view library, std::string_view className,
                     GSRuntime::GSClass** out) {
  return FindScriptClass(*GetGSMachine(), library, className, out);
}

const std::vector<NativeClassRegistrar>& NativeClassRegistrars() {
  static const std::vector<NativeClassRegistrar> registrars = {
      {"KUID", RegisterKUIDNatives},
      {"Soup", RegisterSoupNatives},
      {"HTMLBuffer", RegisterHTMLBufferNatives},
      {"KUIDList", RegisterKUIDListNatives},
      {"StringTable", RegisterStringTableNatives},
      {"Asset", RegisterAssetNatives},
      {"LinkedList", nullptr},  // the machine's own: AddCommonIncludeRegistrars
      {"VandruGameObject", RegisterSecurityTokenIssuerNatives},
      {"OnlineAccess", RegisterOnlineAccessNatives},
      {"OnlineGroup", RegisterOnlineGroupNatives},
      {"Library", RegisterLibraryNatives},
      {"Image", RegisterImageNatives},
      {"VandruScriptBase", RegisterVandruScriptBaseNatives},
      {"SecurityToken", RegisterSecurityTokenNatives},
      {"ConstructorsBase", RegisterConstructorsNatives},
  };
  return registrars;
}

const std::vector<ScriptClassLookup>& ScriptClassLookups() {
  static const std::vector<ScriptClassLookup> lookups = {
      {"gs.gsl", "GameObject", &gGameObjectScriptClass},
      {"kuid.gsl", "KUID", &gKUIDScriptClass},
      {"Soup.gsl", "Soup", &gSoupScriptClass},
      {"HTMLBuffer.gsl", "HTMLBuffer", &gHTMLBufferScriptClass},
      {"KUIDList.gsl", "KUIDList", &gKUIDListScriptClass},
      {"StringTable.gsl", "StringTable", &gStringTableScriptClass},
      {"asset.gsl", "Asset", &gAssetScriptClass},
      {"VandruGameObject.gsl", "VandruGameObject", &gVandruGameObjectScriptClass},
      {"OnlineAccess.gsl", "OnlineAccess", &gOnlineAccessScriptClass},
      {"OnlineGroup.gsl", "OnlineGroup", &gOnlineGroupScriptClass},
      {"Image.gsl", "Image", &gImageScriptClass},
      {"Library.gsl", "Library", &gLibraryScriptClass},
      {"SecurityToken.gsl", "SecurityToken", &gSecurityTokenScriptClass},
      {"Constructors.gsl", "ConstructorsBase", &scriptClasses[10]},
  };
  return lookups;
}

NativeLibraryRegistration::NativeLibraryRegistration(GSMachine& machine, Kiv::PString root,
                                                     std::vector<NativeClassRegistrar> registrars,
                                                     std::vector<ScriptClassLookup> lookups)
    : machine_(machine),
      root_(std::move(root)),
      registrars_(std::move(registrars)),
      lookups_(std::move(lookups)) {}

bool NativeLibraryRegistration::Find(const ScriptClassLookup& lookup) {
  return FindScriptClass(machine_, lookup.library, lookup.className, lookup.found);
}

bool NativeLibraryRegistration::Run() {
  if (stage_ == Stage::kDone) return true;
  if (stage_ == Stage::kNew) {
    machine_.AddLibraryFolder(root_);
    stage_ = Stage::kAnnounced;
  }
  if (lookups_.empty() || !Find(lookups_.front())) return false;
  if (stage_ == Stage::kAnnounced) {
    for (const NativeClassRegistrar& registrar : registrars_)
      if (registrar.registerNatives != nullptr) registrar.registerNatives(machine_);
    stage_ = Stage::kRegistered;
  }
  for (size_t i = 1; i < lookups_.size(); ++i)
    if (!Find(lookups_[i])) return false;
  stage_ = Stage::kDone;
  return true;
}

void AddCommonIncludeRegistrars() {
  static bool added = false;
  if (added) return;
  added = true;
  AddStrAndMathRegistrars();
  GSAddNativeRegistrar(RegisterLinkedListNatives);
}

bool RegisterNativeLibraries() {
  AddCommonIncludeRegistrars();
  static NativeLibraryRegistration registration(*GetGSMachine(), Kiv::PString("libraries"),
                                                NativeClassRegistrars(), ScriptClassLookups());
  return registration.Run();
}
