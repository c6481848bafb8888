// ScriptableObject: a game object whose behaviour is a script class of an
// asset: the asset's compiled class, or a class compiled from script text
// that the object carries itself ("own text").
//
// Set-up runs in three delayed phases (DelayedInitClient), queued with the
// object's script context when it is made:
//   1. marks itself done;
//   2. links the script (LinkScript);
//   3. initialises it (Initialise), then updates the object once with
//      elapsed time 0, so threads that "Init" started take their first step.
//
// LinkScript: sets the failure flag; with flag kNeverLink (16) stops there.
// The class is ResolveScriptClass(); none, or one IsClassUsable refuses,
// stops. An object without an instance gets one of the class in its
// context; one with an instance of another class is detached (and stays
// without); an instance of this very class stays. The failure flag is
// cleared when an instance is attached.
//
// Initialise (skipped while the failure flag is set): registers the object
// with its context's router, calls BeforeInit hooks, makes the asset's
// script object (GSOAsset::Create with GetKUID) and calls
// "$void@VandruGameObject::Init(Asset)" with it; a failed call sets the
// failure flag and stops. Then AfterInit, and, when properties are pending,
// ApplyProperties.
//
// ResolveScriptClass: no spec gives none. Without own text, the spec's
// compiled class (VandruBaseSpec::GetGSClass). With own text, the class
// "CustomObject" compiled from it (OwnScriptCompiler.h: through the fixed
// files "cache/temp_object.gs" and "cache/temp_object.gsl", serialised
// between processes by a lock file; neither file remains). A compile error
// gives none; its log is not printed.
//
// GetSourceText: the own text, or the template: includes of "Vandru.gs" and
// of the spec's script library with the extension "gs" (default "gs.gs"),
// and "class CustomObject isclass <base>" (the spec's script class, default
// "GameObject") with a fixed Init body.
// SetSourceText(text): a text equal to the template changes nothing; one
// of blanks, tabs and line breaks only counts as empty. A changed own text
// is stored and, once phase 3 is done, the object is relinked: detached,
// taken off the router, linked and initialised again.
//
// Properties: SetPendingProperties(soup) keeps a soup to hand to the
// script; ApplyProperties calls "$void@PropertyObject::SetProperties(Soup)"
// with a locked script soup of it (a failed call sets the failure flag),
// then drops it. Properties that are null (type 0) are never pending.
//
// Tokens: the "VandruGameObject" token natives (SecurityTokenIssuer) with
// the spec's asset; an object without a spec has no asset.
//
// GetSpec is the derived class's: the object's asset spec with a use for
// the caller, or an empty handle.
//
// Destruction: leaves the delayed-init queue, then the game object goes.
// Not thread-safe: the thread that runs scripts only.
#pragma once

#include <cstdint>

#include "foundation/soup/Soup.h"
#include "foundation/spec/SpecRef.h"
#include "foundation/text/KUID.h"
#include "gscompiler/ScriptSource.h"
#include "gsnative/DelayedInitClient.h"
#include "gsnative/SecurityTokenIssuer.h"
#include "gsruntime/GSGameObject.h"
#include "kiv/String.h"

class VandruScriptContext;

class ScriptableObject : public GSRuntime::GSGameObject,
                         public DelayedInitClient,
                         private ScriptSource,
                         public SecurityTokenIssuer {
 public:
  static constexpr uint8_t kNeverLink = 16;
  static constexpr const char* kInitSignature = "$void@VandruGameObject::Init(Asset)";
  static constexpr const char* kSetPropertiesSignature =
      "$void@PropertyObject::SetProperties(Soup)";

  explicit ScriptableObject(VandruScriptContext* context);
  ~ScriptableObject() override;

  virtual SpecRef GetSpec() const = 0;
  virtual GSRuntime::GSClass* ResolveScriptClass();
  virtual bool IsClassUsable(GSRuntime::GSClass* cls) const { return cls != nullptr; }

  KUID GetKUID() const;
  VandruScriptContext* GetVandruContext() const { return context_; }
  bool HasFailure() const { return failure_; }
  // The failure flag, cleared.
  bool TakeFailureFlag();

  Kiv::String GetSourceText() override;
  void SetSourceText(Kiv::String text) override;
  void SaveScriptSource(TStream& stream) override;
  void LoadScriptSource(TStream& stream) override;
  const Kiv::String& OwnText() const { return ownText_; }

  void InitPhase2() override;
  void InitPhase3() override;

  void SetPendingProperties(const Soup& properties);
  bool HasPendingProperties() const { return propertiesPending_; }
  void ApplyProperties();

  bool GetTokenAssetKUID(KUID* out) const override;
  GSRuntime::GSContext* GetTokenContext() const override;

 protected:
  virtual void BeforeInit() {}
  virtual void BeforeInitLate() {}
  virtual void AfterInit() {}

  void SetFailure() { failure_ = true; }
  void LinkScript();
  void Initialise();

 private:
  void StoreOwnText(Kiv::String text);
  GSRuntime::GSClass* CompileOwnText();

  VandruScriptContext* context_;
  bool failure_ = false;
  bool propertiesPending_ = false;
  Soup properties_;
  Kiv::String ownText_;
};

// The source text of an object without own text for a spec's script class
// and library names (either may be empty).
Kiv::String ScriptTemplateText(const Kiv::String& scriptClass, const Kiv::String& scriptLibrary);

// The script class "VandruGameObject", once registration found it.
extern GSRuntime::GSClass* gVandruGameObjectScriptClass;
