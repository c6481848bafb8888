#include "gsnative/GSOAsset.h"

#include <map>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "assetdb/client/AssetInfoQueries.h"
#include "assetdb/client/VADAssetHandle.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/client/VandruBaseSpec.h"
#include "foundation/base/ProgramClock.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "gsnative/GSOImage.h"
#include "gsnative/GSOKUID.h"
#include "gsnative/GSOKUIDList.h"
#include "gsnative/GSOSoup.h"
#include "gsnative/GSOStringTable.h"
#include "gsnative/StringParams.h"
#include "gsnative/VandruScriptContext.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSString.h"

GSRuntime::GSClass* gAssetScriptClass = nullptr;

namespace {

using namespace GSRuntime;

using Key = std::tuple<int32_t, int32_t, int32_t>;
using ObjectMap = std::map<Key, GSOAsset*>;

Key KeyOf(const KUID& kuid) {
  return {kuid.userId, kuid.contentId, kuid.version};
}

// Never destroyed, like the process's machine: objects may outlive static
// destruction, and their destructors still leave the tables.
std::map<Key, KUID>& RedirectTable() {
  static auto* table = new std::map<Key, KUID>;
  return *table;
}

std::map<const GSContext*, ObjectMap>& ObjectTable() {
  static auto* table = new std::map<const GSContext*, ObjectMap>;
  return *table;
}

// The map's object for `kuid`, with one count added for the caller.
GSOAsset* Listed(const GSContext* context, const KUID& kuid) {
  const auto map = ObjectTable().find(context);
  if (map == ObjectTable().end()) return nullptr;
  const auto found = map->second.find(KeyOf(kuid));
  if (found == map->second.end()) return nullptr;
  GSObjectReference::AddRef(found->second->GetScriptInstance());
  return found->second;
}

bool Admits(GSContext* context, const KUID& kuid) {
  auto* vandru = dynamic_cast<VandruScriptContext*>(context);
  return vandru == nullptr || vandru->AdmitsAsset(kuid);
}

void PushText(GSStack& stack, std::string_view text) {
  GSString* string = GSString::Create(text, CurrentContext());
  stack.Push(string != nullptr ? string->GetScriptInstance() : 0);
}

// A name argument: checked (null and empty refused) and lower-cased.
bool LowerNameArg(const GSStack& stack, Kiv::PString& name) {
  if (!CheckStringParam(stack, 1, name, false)) return false;
  name.ToLower();
  return true;
}

// A file name of an asset folder: no separators, no drive and no "..".
bool IsPlainFileName(std::string_view name) {
  return name.find_first_of("/\\:") == std::string_view::npos && name != "." && name != "..";
}

}  // namespace

GSOAsset::~GSOAsset() {
  GSObjectReference::Release(std::exchange(stringTable_, 0));
  if (!listed_) return;
  auto map = ObjectTable().find(Context());
  if (map == ObjectTable().end()) return;
  map->second.erase(KeyOf(kuid_));
  if (map->second.empty()) ObjectTable().erase(map);
}

GSOAsset* GSOAsset::Create(GSContext* context, const KUID& requested) {
  // One that a request cannot carry would reach the daemon as another
  // asset's KUID: it names no installed asset.
  if (requested.IsNull() || !KUIDReadsBack(requested)) return nullptr;
  KUID kuid = requested;
  const auto redirected = RedirectTable().find(KeyOf(kuid));
  if (redirected != RedirectTable().end()) kuid = redirected->second;
  if (kuid.IsNull()) return nullptr;
  if (GSOAsset* found = Listed(context, kuid)) {
    found->lastUsed_ = static_cast<uint32_t>(ProgramClock::Seconds());
    return found;
  }
  const KUID answer = VADClient::Request1A(kuid);
  if (!(answer == kuid)) RedirectTable()[KeyOf(kuid)] = answer;
  if (answer.IsNull()) return nullptr;
  if (GSOAsset* found = Listed(context, answer)) {
    found->lastUsed_ = static_cast<uint32_t>(ProgramClock::Seconds());
    return found;
  }
  if (!Admits(context, answer)) return nullptr;
  auto* object = new (std::nothrow) GSOAsset(answer);
  if (object == nullptr) return nullptr;
  if (!object->AttachScriptInstance(gAssetScriptClass, context)) {
    delete object;
    return nullptr;
  }
  ObjectTable()[context][KeyOf(answer)] = object;
  object->listed_ = true;
  object->lastUsed_ = static_cast<uint32_t>(ProgramClock::Seconds());
  GSObjectReference::AddRef(object->GetScriptInstance());
  return object;
}

void GSOAsset::Push(GSStack& stack, GSContext* context, const KUID& kuid) {
  GSOAsset* object = Create(context, kuid);
  if (object == nullptr) {
    stack.Push(0);
    return;
  }
  stack.PushObject(nullptr, object);
}

void GSOAsset::ReleaseContextObjects(GSContext* context) {
  RedirectTable().clear();
  const auto map = ObjectTable().find(context);
  if (map == ObjectTable().end()) return;
  std::vector<GSOAsset*> objects;
  for (const auto& [key, object] : map->second) objects.push_back(object);
  ObjectTable().erase(map);
  for (GSOAsset* object : objects) {
    object->listed_ = false;
    GSObjectReference::Release(object->GetScriptInstance());
  }
}

size_t GSOAsset::CountObjects(const GSContext* context) {
  const auto map = ObjectTable().find(context);
  return map == ObjectTable().end() ? 0 : map->second.size();
}

size_t GSOAsset::CountRedirects() {
  return RedirectTable().size();
}

const AssetRecord& GSOAsset::Info() {
  if (infoLoaded_) return info_;
  AssetRecord fresh;
  if (VADClient::GetAssetInfo(kuid_, 0xFFFFFFFFu, fresh)) {
    info_ = std::move(fresh);
    infoLoaded_ = true;
  }
  return info_;
}

const Soup& GSOAsset::Config() {
  if (config_.Empty() || config_.IsNull()) {
    Soup fresh;
    if (VADClient::GetAssetConfig(kuid_, fresh)) config_ = fresh;
  }
  return config_;
}

bool GSOAsset::TableKUID(GSStack& stack, const char* operation, KUID& out) {
  Kiv::PString name;
  if (!LowerNameArg(stack, name)) return false;
  const Soup table = Config().GetNamedSoup(Kiv::PString("kuid-table"));
  out = GetNamedKUIDAsWritten(table, name);
  if (!out.IsNull()) return true;
  std::string text = std::string(operation) + "> unable to find '" + name.Str() +
                     "' in kuid-table\nAvailable kuids are: ";
  for (uint32_t i = 0; i < table.CountTags(); ++i)
    text += "\"" + table.GetIndexedTagName(i).Str() + "\" ";
  return ScriptError(text.c_str());
}

void GSOAsset::GetKUID(GSStack& stack) {
  GSOKUID::Push(stack, Context(), kuid_);
}

void GSOAsset::GetLocalisedName(GSStack& stack) {
  PushText(stack, Info().username);
}

void GSOAsset::GetLocalisedDescription(GSStack& stack) {
  PushText(stack, VADClient::Request1C(kuid_));
}

void GSOAsset::GetCreatorName(GSStack& stack) {
  Kiv::String name;
  GetAuthorName(Info().authorId, name);
  PushText(stack, name);
}

void GSOAsset::LookupKUIDTable(GSStack& stack) {
  KUID kuid;
  if (!TableKUID(stack, "Asset.LookupKUIDTable", kuid)) return;
  GSOKUID::Push(stack, Context(), kuid);
}

void GSOAsset::FindAsset(GSStack& stack) {
  KUID kuid;
  if (!TableKUID(stack, "Asset.FindKUID", kuid)) return;
  Push(stack, Context(), kuid);
}

void GSOAsset::GetStringTable(GSStack& stack) {
  if (!specAsked_) {
    specAsked_ = true;
    GetVandruBaseSpec(spec_, kuid_);
  }
  if (!spec_) {
    stack.Push(0);
    return;
  }
  if (stringTable_ == 0) {
    GSOStringTable* table = GSOStringTable::Create(Context(), spec_, Config());
    stringTable_ = table != nullptr ? table->GetScriptInstance() : 0;
  }
  GSObjectReference::AddRef(stringTable_);
  stack.Push(stringTable_);
}

void GSOAsset::GetConfigSoup(GSStack& stack) {
  GSOSoup::Push(stack, Context(), Config(), true);
}

void GSOAsset::GetDependencyList(GSStack& stack) {
  KUIDList asked;
  asked.Append(kuid_);
  KUIDList answer;
  VADClient::GetDependencyList(asked, answer);
  std::vector<KUID> kuids;
  for (const KUID& kuid : answer) kuids.push_back(kuid);
  GSOKUIDList* list = GSOKUIDList::CreateLocked(Context(), kuids);
  if (list == nullptr) {
    stack.Push(0);
    return;
  }
  stack.PushObject(nullptr, list);
}

void GSOAsset::SupportsVandruBuildVersion(GSStack& stack) {
  const AssetRecord& info = Info();
  const auto hundredths = [](float value) { return static_cast<int64_t>(double(value) * 100.0); };
  stack.Push(GSFromBool(info.flagE && hundredths(info.build) >= hundredths(GetFloatArg(stack, 1))));
}

void GSOAsset::LoadImage(GSStack& stack) {
  Kiv::PString name;
  if (!LowerNameArg(stack, name)) return;
  if (!IsPlainFileName(name.View())) {
    ScriptError(("Asset.LoadImage> '" + name.Str() + "' is not a file of the asset's folder").c_str());
    return;
  }
  VADAssetHandleRef handle;
  GSOImage* image = nullptr;
  Kiv::PString location;
  Kiv::File::Path folder;
  if (VADClient::Request1E(kuid_, false, handle, nullptr) &&
      VADClient::OpenForEdit(handle.handle, location, folder)) {
    folder.AddPath(name.View());
    image = GSOImage::Load(Context(), folder.Str());
  }
  ReleaseAssetHandle(handle);
  if (image == nullptr) {
    stack.Push(0);
    return;
  }
  stack.PushObject(nullptr, image);
}

void GSOAsset::IsLocallyModified(GSStack& stack) {
  stack.Push(GSFromBool(VADClient::IsAssetLocallyModified(kuid_)));
}

void GSOAsset::GetInfoURL(GSStack& stack) {
  Soup fresh;
  VADClient::GetAssetConfig(kuid_, fresh);
  PushText(stack, fresh.GetNamedTag(Kiv::PString("info-url")).View());
}

void GSOAsset::GetIsFavorite(GSStack& stack) {
  const AssetRecord& info = Info();
  const bool rated = info.byte1 == 4 || info.byte1 == 5;
  stack.Push(GSFromBool(rated || (info.flags2 & 1) != 0));
}

void GSOAsset::SetIsFavorite(GSStack& stack) {
  VADClient::Request32(kuid_, GSNativeArg(stack, 1) != 0);
  infoLoaded_ = false;
}

void GSOAsset::GetParent(GSStack& stack) {
  Push(stack, Context(), Info().kuid2);
}

void GSOAsset::GetCategoryEra(GSStack& stack) {
  PushText(stack, Info().text2);
}

void GSOAsset::GetCategoryRegion(GSStack& stack) {
  PushText(stack, Info().text4);
}

void GSOAsset::GetSessionRuleData(GSStack& stack) {
  Kiv::PString name;
  if (!LowerNameArg(stack, name)) return;
  const Soup rules = Config().GetNamedSoup(Kiv::PString("rule-data"));
  if (rules.Empty() || !rules.HasNamedTag(name)) {
    stack.Push(0);
    return;
  }
  Soup child = rules.GetNamedSoup(name);
  if (child.Empty()) child.Create();
  GSOSoup::Push(stack, Context(), child, true);
}

void GSOAsset::IsBuiltIn(GSStack& stack) {
  stack.Push(GSFromBool(VADClient::IsAssetBuiltIn(kuid_)));
}

void GSOAsset::IsOnTheFetchery(GSStack& stack) {
  stack.Push(GSFromBool((Info().status & kAssetOnDownloadService) != 0));
}

void RegisterAssetNatives(GSMachine& machine) {
  using Method = void (GSOAsset::*)(GSStack&);
  struct Entry {
    const char* signature;
    Method method;
  };
  static const Entry kNatives[] = {
      {"$KUID@Asset::GetKUID()", &GSOAsset::GetKUID},
      {"$string@Asset::GetLocalisedName()", &GSOAsset::GetLocalisedName},
      {"$string@Asset::GetLocalisedDescription()", &GSOAsset::GetLocalisedDescription},
      {"$string@Asset::GetCreatorName()", &GSOAsset::GetCreatorName},
      {"$KUID@Asset::LookupKUIDTable(string)", &GSOAsset::LookupKUIDTable},
      {"$Asset@Asset::FindAsset(string)", &GSOAsset::FindAsset},
      {"$StringTable@Asset::GetStringTable()", &GSOAsset::GetStringTable},
      {"$Soup@Asset::GetConfigSoup()", &GSOAsset::GetConfigSoup},
      {"$KUIDList@Asset::GetDependencyList()", &GSOAsset::GetDependencyList},
      {"$bool@Asset::SupportsVandruBuildVersion(float)", &GSOAsset::SupportsVandruBuildVersion},
      {"$Image@Asset::LoadImage(string)", &GSOAsset::LoadImage},
      {"$bool@Asset::IsLocallyModified()", &GSOAsset::IsLocallyModified},
      {"$string@Asset::GetInfoURL()", &GSOAsset::GetInfoURL},
      {"$bool@Asset::GetIsFavorite()", &GSOAsset::GetIsFavorite},
      {"$void@Asset::SetIsFavorite(bool)", &GSOAsset::SetIsFavorite},
      {"$Asset@Asset::GetParent()", &GSOAsset::GetParent},
      {"$string@Asset::GetCategoryEra()", &GSOAsset::GetCategoryEra},
      {"$string@Asset::GetCategoryRegion()", &GSOAsset::GetCategoryRegion},
      {"$Soup@Asset::GetSessionRuleData(string)", &GSOAsset::GetSessionRuleData},
      {"$bool@Asset::IsBuiltIn()", &GSOAsset::IsBuiltIn},
      {"$bool@Asset::IsOnTheFetchery()", &GSOAsset::IsOnTheFetchery},
  };
  for (const Entry& e : kNatives)
    machine.RegisterNative(
        std::make_unique<GSCPPNativeFunction<GSOAsset>>("Asset", e.signature, e.method));
}
