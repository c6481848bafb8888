#include "gsnative/ScriptableObject.h"

#include "assetdb/client/VandruBaseSpec.h"
#include "gsnative/GSOAsset.h"
#include "gsnative/GSOSoup.h"
#include "gsnative/OwnScriptCompiler.h"
#include "gsnative/VandruScriptContext.h"
#include "gsruntime/GSRouter.h"
#include "gsruntime/GSScriptInstance.h"

using namespace GSRuntime;

GSClass* gVandruGameObjectScriptClass = nullptr;

namespace {

bool OnlyBlanks(const Kiv::String& text) {
  return text.find_first_not_of(" \t\r\n") == Kiv::String::npos;
}

Kiv::String WithGsExtension(const Kiv::String& name) {
  const size_t slash = name.find_last_of("/\\");
  const size_t dot = name.find_last_of('.');
  const bool hasExtension = dot != Kiv::String::npos && (slash == Kiv::String::npos || dot > slash);
  return (hasExtension ? name.substr(0, dot) : name) + ".gs";
}

}  // namespace

Kiv::String ScriptTemplateText(const Kiv::String& scriptClass, const Kiv::String& scriptLibrary) {
  const Kiv::String base = scriptClass.empty() ? "GameObject" : scriptClass;
  const Kiv::String include = scriptLibrary.empty() ? "gs.gs" : WithGsExtension(scriptLibrary);
  return "include \"Vandru.gs\"\n\ninclude \"" + include + "\"\n\nclass CustomObject isclass " +
         base + "\n{\n  public void Init(Asset self)\n  {\n    inherited(self);\n    //...\n  }\n};\n\n";
}

ScriptableObject::ScriptableObject(VandruScriptContext* context) : context_(context) {
  if (context_ == nullptr) return;
  if ((GetDelayedInitFlags() & (kAllPhasesDone | kQueued)) != 0) return;
  Queue(*context_);
}

ScriptableObject::~ScriptableObject() {
  Unqueue();
}

KUID ScriptableObject::GetKUID() const {
  const SpecRef spec = GetSpec();
  return spec.Get() != nullptr ? spec.Get()->asset : kNullKUID;
}

bool ScriptableObject::TakeFailureFlag() {
  const bool failure = failure_;
  failure_ = false;
  return failure;
}

bool ScriptableObject::GetTokenAssetKUID(KUID* out) const {
  const SpecRef spec = GetSpec();
  if (spec.Get() == nullptr) return false;
  *out = spec.Get()->asset;
  return true;
}

GSContext* ScriptableObject::GetTokenContext() const {
  return Context() != nullptr ? Context() : context_;
}

Kiv::String ScriptableObject::GetSourceText() {
  if (!ownText_.empty()) return ownText_;
  const SpecRef spec = GetSpec();
  VandruBaseSpec* vandru = CastToVandruBaseSpec(spec.Get());
  if (vandru == nullptr) return ScriptTemplateText("", "");
  return ScriptTemplateText(vandru->scriptClass.Str(), vandru->scriptLibrary.Str());
}

void ScriptableObject::SetSourceText(Kiv::String text) {
  if (!OnlyBlanks(text) && text == GetSourceText()) return;
  if (OnlyBlanks(text)) text.clear();
  StoreOwnText(std::move(text));
}

void ScriptableObject::StoreOwnText(Kiv::String text) {
  if (text == ownText_) return;
  ownText_ = std::move(text);
  if (context_ == nullptr || (GetDelayedInitFlags() & kPhase3Done) == 0) return;
  AttachScriptInstance(nullptr, context_);
  if (Router() != nullptr) Router()->RemoveNode(this);
  LinkScript();
  Initialise();
}

void ScriptableObject::SaveScriptSource(TStream& stream) {
  stream.WriteString(Kiv::AnsiString(ownText_.c_str()));
}

void ScriptableObject::LoadScriptSource(TStream& stream) {
  Kiv::String text;
  stream.ReadString(text);
  StoreOwnText(std::move(text));
}

GSClass* ScriptableObject::ResolveScriptClass() {
  const SpecRef spec = GetSpec();
  VandruBaseSpec* vandru = CastToVandruBaseSpec(spec.Get());
  if (vandru == nullptr) return nullptr;
  if (ownText_.empty()) return vandru->GetGSClass();
  return CompileOwnScript(ownText_, SpecFilePath(*vandru).Str());
}

void ScriptableObject::InitPhase2() {
  DelayedInitFlags() |= kPhase2Done;
  LinkScript();
}

void ScriptableObject::InitPhase3() {
  DelayedInitFlags() |= kPhase3Done;
  Initialise();
  GSGameObject::Update(0.0f);
}

void ScriptableObject::LinkScript() {
  failure_ = true;
  if ((GetDelayedInitFlags() & kNeverLink) != 0) return;
  GSClass* cls = ResolveScriptClass();
  if (cls == nullptr || !IsClassUsable(cls)) return;
  GSClass* current = GSObject::GetScriptClass();
  if (GetScriptInstance() == 0 || current == nullptr) {
    Detach();
    AttachScriptInstance(cls, context_);
  } else if (current != cls) {
    AttachScriptInstance(nullptr, context_);
  }
  if (GetScriptInstance() != 0 && GSObject::GetScriptClass() != nullptr) failure_ = false;
}

void ScriptableObject::Initialise() {
  if (failure_) return;
  if (context_ != nullptr && context_->Router() != nullptr && Router() == nullptr)
    context_->Router()->AddNode(this);
  BeforeInit();
  BeforeInitLate();
  GSOAsset* asset = GSOAsset::Create(context_, GetKUID());
  const GSValue assetRef = asset != nullptr ? asset->GetScriptInstance() : 0;
  const GSValue args[] = {assetRef};
  const bool done = GSObject::CallFunction(context_, GSObject::GetScriptClass(),
                                           GetScriptInstance(), kInitSignature, args, nullptr);
  if (assetRef != 0) GSObjectReference::Release(assetRef);
  if (!done) {
    failure_ = true;
    return;
  }
  AfterInit();
  if (!failure_ && propertiesPending_) ApplyProperties();
}

void ScriptableObject::SetPendingProperties(const Soup& properties) {
  properties_ = properties;
  propertiesPending_ = !properties.IsNull();
}

void ScriptableObject::ApplyProperties() {
  if (!propertiesPending_ || failure_) return;
  GSOSoup* soup = GSOSoup::Create(context_, properties_, true);
  const GSValue soupRef = soup != nullptr ? soup->GetScriptInstance() : 0;
  const GSValue args[] = {soupRef};
  if (!GSObject::CallFunction(context_, GSObject::GetScriptClass(), GetScriptInstance(),
                              kSetPropertiesSignature, args, nullptr))
    failure_ = true;
  if (soupRef != 0) GSObjectReference::Release(soupRef);
  properties_.Release();
  propertiesPending_ = false;
}
