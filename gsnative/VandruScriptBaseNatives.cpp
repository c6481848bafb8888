// The "VandruScriptBase" natives: members of the calling object's
// VandruScriptContext (GSCPPContextNativeFunction), registered in the order
// of the table at the end.
#include <memory>
#include <string>
#include <vector>

#include "assetdb/client/KindCategoryTable.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/CategoryMatch.h"
#include "assetdb/protocol/VADFilterElementBool.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "assetdb/protocol/VADFilterElementString.h"
#include "foundation/base/LogMessage.h"
#include "foundation/base/ProgramClock.h"
#include "foundation/text/TTimeDate.h"
#include "gsnative/GSOAsset.h"
#include "gsnative/GSOKUID.h"
#include "gsnative/GSOLibrary.h"
#include "gsnative/GSOSoup.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsnative/StringParams.h"
#include "gsnative/VandruScriptContext.h"
#include "gsruntime/GSArray.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSPrintHook.h"
#include "gsruntime/GSString.h"

namespace {

using namespace GSRuntime;
using Bool = VADFilterElementBool;

// Which of the optional tests a search group holds.
struct SearchTests {
  bool localOnly = true;
  bool notFaulty = true;
};

// The group of the asset searches: local, locally-available,
// locally-enabled (when localOnly), listing-privilege, not obsolete,
// compatible, not faulty (when asked) and category-list = `categories`.
std::unique_ptr<VADFilterElementGroup> SearchGroup(const Kiv::String& categories,
                                                   SearchTests tests) {
  auto made = std::make_unique<VADFilterElementGroup>();
  VADFilterElementGroup& group = *made;
  if (tests.localOnly) {
    group.Add(std::make_unique<Bool>(Bool::kLocal));
    group.Add(std::make_unique<Bool>(Bool::kLocallyAvailable));
    group.Add(std::make_unique<Bool>(Bool::kLocallyEnabled));
  }
  group.Add(std::make_unique<Bool>(Bool::kListingPrivilege));
  MakeFilterGroup(group, std::make_unique<Bool>(Bool::kObsolete));
  group.Add(std::make_unique<Bool>(Bool::kCompatible));
  if (tests.notFaulty) MakeFilterGroup(group, std::make_unique<Bool>(Bool::kFaulty));
  group.Add(std::make_unique<VADFilterElementString>(VADFilterElementString::kCategoryList,
                                                     Kiv::PString(categories)));
  return made;
}

// A new reference array holding `kuids` made into objects by `make` (those
// that give none are left out); null when the array cannot be made.
template <typename Make>
GSValue MakeArray(GSContext* context, KUIDList& kuids, const GSClass* cls, Make make) {
  GSArray* array = GSArray::Create(context, true);
  if (array == nullptr) return 0;
  int32_t index = 0;
  for (const KUID& kuid : kuids) {
    GSObject* object = make(kuid);
    if (object == nullptr) continue;
    GSArray::SetElement(*array, index++, object->GetScriptInstance(), false, cls);
  }
  return array->GetScriptInstance();
}

GSValue AssetArray(GSContext* context, KUIDList& kuids) {
  return MakeArray(context, kuids, gAssetScriptClass,
                   [&](const KUID& kuid) { return GSOAsset::Create(context, kuid); });
}

// Lists the assets of a kind's categories; logs the warning when there
// are none to look for or none found.
void PushAssetList(GSContext* context, GSStack& stack, const Kiv::PString& kind,
                   const Kiv::String& categories, SearchTests tests) {
  KUIDList found;
  if (!categories.empty()) {
    VADClient::SearchAssets(SearchGroup(categories, tests).get(), found);
  }
  if (found.Count() == 0)
    LogMessage("World.GetAssetList> warning: found zero assets of type '%s'", kind.c_str());
  stack.Push(AssetArray(context, found));
}

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

}  // namespace

float NormalizedSystemTime(int hour, int minute, int second) {
  float t = static_cast<float>(minute * 60 + hour * 3600 + second) / 86400.0f + 0.5f;
  if (t > 1.0f) t = t - 1.0f;
  return t;
}

void VandruScriptContext::GetSeconds(GSStack& stack) {
  stack.Push(GSFromFloat(ProgramClock::SecondsFloat()));
}

void VandruScriptContext::GetNormalizedSystemTime(GSStack& stack) {
  const std::tm now = LocalNow();
  stack.Push(GSFromFloat(NormalizedSystemTime(now.tm_hour, now.tm_min, now.tm_sec)));
}

void VandruScriptContext::GetSystemYear(GSStack& stack) {
  stack.Push(GSFromInt(LocalNow().tm_year + 1900));
}

void VandruScriptContext::GetSystemMonth(GSStack& stack) {
  stack.Push(GSFromInt(LocalNow().tm_mon + 1));
}

void VandruScriptContext::GetSystemDate(GSStack& stack) {
  stack.Push(GSFromInt(LocalNow().tm_mday));
}

void VandruScriptContext::GetSystemHour(GSStack& stack) {
  stack.Push(GSFromInt(LocalNow().tm_hour));
}

void VandruScriptContext::GetSystemMinute(GSStack& stack) {
  stack.Push(GSFromInt(LocalNow().tm_min));
}

void VandruScriptContext::GetSystemSecond(GSStack& stack) {
  stack.Push(GSFromInt(LocalNow().tm_sec));
}

void VandruScriptContext::GetLibrary(GSStack& stack) {
  GSOKUID* kuid = nullptr;
  if (!GetObjectParam(stack, 1, kuid, false)) return;
  GSOLibrary* library = GetScriptLibrary(*kuid);
  stack.PushObjectAs(gLibraryScriptClass, library);
}

void VandruScriptContext::FindAsset(GSStack& stack) {
  GSOKUID* kuid = nullptr;
  if (!GetObjectParam(stack, 1, kuid, false)) return;
  GSOAsset::Push(stack, this, *kuid);
}

void VandruScriptContext::GetAssetList(GSStack& stack) {
  Kiv::PString kind;
  if (!CheckStringParam(stack, 1, kind, false)) return;
  kind.ToLower();
  PushAssetList(this, stack, kind, KindCategoryTable(kind.View()), SearchTests{});
}

void VandruScriptContext::GetAssetListWithCategories(GSStack& stack) {
  Kiv::PString kind;
  Kiv::PString extra;
  if (!CheckStringParam(stack, 1, kind, false) || !CheckStringParam(stack, 2, extra, false))
    return;
  kind.ToLower();
  extra.ToUpper();
  Kiv::String categories;
  const Kiv::String base = KindCategoryTable(kind.View());
  AddCategoryTerms(categories, base, extra.View());
  PushAssetList(this, stack, kind, categories, SearchTests{true, false});
}

void VandruScriptContext::SearchAssets(GSStack& stack) {
  Kiv::PString categories;
  if (!CheckStringParam(stack, 1, categories, false)) return;
  categories.ToUpper();
  const bool localOnly = GSNativeArg(stack, 2) != 0;
  KUIDList found;
  VADClient::SearchAssets(SearchGroup(categories.Str(), SearchTests{localOnly, false}).get(), found);
  stack.Push(MakeArray(this, found, gKUIDScriptClass,
                       [&](const KUID& kuid) { return GSOKUID::Create(this, kuid); }));
}

void VandruScriptContext::FindUpdatedAssets(GSStack& stack) {
  VADFilterElementGroup group;
  group.Add(std::make_unique<Bool>(Bool::kLocal));
  MakeFilterGroup(group, std::make_unique<Bool>(Bool::kObsolete));
  MakeFilterGroup(group, std::make_unique<Bool>(Bool::kUpToDate));
  KUIDList found;
  VADClient::SearchAssets(&group, found);
  KUIDList newest;
  for (const KUID& kuid : found) newest.Append(VADClient::Request1B(kuid));
  stack.Push(AssetArray(this, newest));
}

void VandruScriptContext::VandruSystemCall(GSStack& stack) {
  Kiv::PString name;
  GSOSoup* arguments = nullptr;
  if (!CheckStringParam(stack, 1, name, false) || !GetObjectParam(stack, 2, arguments, false))
    return;
  GSOSoup::Push(stack, this, SystemCall(name, arguments->GetSoup()), true);
}

void VandruScriptContext::OpenURLNative(GSStack& stack) {
  Kiv::PString address;
  if (!CheckStringParam(stack, 1, address, false)) return;
  stack.Push(GSFromBool(OpenURL(address)));
}

void VandruScriptContext::Log(GSStack& stack) {
  Kiv::PString text;
  CheckStringParam(stack, 1, text, true);
  if (GSPrintHook != nullptr) GSPrintHook("%s", text.c_str());
}

void VandruScriptContext::GetVandruVersion(GSStack& stack) {
  stack.Push(GSFromFloat(3.4f));
}

void VandruScriptContext::GetVandruBuild(GSStack& stack) {
  stack.Push(GSFromInt(49938));
}

void VandruScriptContext::CloneKUID(GSStack& stack) {
  GSOKUID* kuid = nullptr;
  if (!GetObjectParam(stack, 1, kuid, false)) return;
  GSOKUID::Push(stack, this, *kuid);
}

void RegisterVandruScriptBaseNatives(GSMachine& machine) {
  using Method = void (VandruScriptContext::*)(GSStack&);
  struct Entry {
    const char* signature;
    Method method;
  };
  using C = VandruScriptContext;
  static const Entry kNatives[] = {
      {"$float@VandruScriptBase::GetSeconds()", &C::GetSeconds},
      {"$float@VandruScriptBase::GetNormalizedSystemTime()", &C::GetNormalizedSystemTime},
      {"$int@VandruScriptBase::GetSystemYear()", &C::GetSystemYear},
      {"$int@VandruScriptBase::GetSystemMonth()", &C::GetSystemMonth},
      {"$int@VandruScriptBase::GetSystemDate()", &C::GetSystemDate},
      {"$int@VandruScriptBase::GetSystemHour()", &C::GetSystemHour},
      {"$int@VandruScriptBase::GetSystemMinute()", &C::GetSystemMinute},
      {"$int@VandruScriptBase::GetSystemSecond()", &C::GetSystemSecond},
      {"$Library@VandruScriptBase::GetLibrary(KUID)", &C::GetLibrary},
      {"$Asset@VandruScriptBase::FindAsset(KUID)", &C::FindAsset},
      {"$Asset[]@VandruScriptBase::GetAssetList(string)", &C::GetAssetList},
      {"$Asset[]@VandruScriptBase::GetAssetList(string,string)", &C::GetAssetListWithCategories},
      {"$KUID[]@VandruScriptBase::SearchAssets(string,bool)", &C::SearchAssets},
      {"$Asset[]@VandruScriptBase::FindUpdatedAssets()", &C::FindUpdatedAssets},
      {"$Soup@VandruScriptBase::VandruSystemCall(string,Soup)", &C::VandruSystemCall},
      {"$bool@VandruScriptBase::OpenURL(string)", &C::OpenURLNative},
      {"$void@VandruScriptBase::Log(string)", &C::Log},
      {"$float@VandruScriptBase::GetVandruVersion()", &C::GetVandruVersion},
      {"$int@VandruScriptBase::GetVandruBuild()", &C::GetVandruBuild},
      {"$KUID@VandruScriptBase::CloneKUID(KUID)", &C::CloneKUID},
  };
  for (const Entry& e : kNatives)
    machine.RegisterNative(std::make_unique<GSCPPContextNativeFunction<VandruScriptContext>>(
        "VandruScriptBase", e.signature, e.method));
}
