// GSOLibrary: the shared object of a script-library asset in one script
// context (script class "Library"). It is a scriptable object whose script
// is its library spec's, an item of the context's loaded-library list
// ("blsg") whose saved state is its properties, and a recipient of engine
// messages through which clicks on its system-menu icon reach the script.
//
// Made by its spec (GSOLibrarySpec::CreateLibrary, which calls Create) for
// the context's library lookup (VandruScriptContext::GetScriptLibrary).
// Construction queues the delayed initialisation and loads the native
// plug-in that the spec names (none on failure; LibraryPlugin.h).
//
// - CompleteInit: once (the flag is set first): runs the pending phases at
//   once (mark, link, initialise with "Init"), leaves the queue, then hands
//   the script any pending properties (ApplyProperties).
// - GetProperties: while the failure flag is set, none; otherwise
//   "$Soup@PropertyObject::GetProperties()"'s soup, or none, logging
//   "GSOLibrary::GetProperties> could not retrieve properties for <log
//   name>".
// - SaveListRecord: the properties, when not null, as a 32-bit 0 and the
//   binary soup; nothing otherwise.
// - LoadListRecord (ignored while the failure flag is set): the 32-bit
//   word and a binary soup; a soup that is not null becomes pending, and
//   is handed to the script at once, exactly once, when initialisation is
//   already complete (else CompleteInit hands it over). A soup that does
//   not read is logged with the log name and ignored.
// - Receive(message): a "click" whose value is the library's icon id
//   (SetSystemMenuIconId; 0 means none) posts the script message
//   "Interface" / "ClickSystemButton" to the library and sends it at once
//   through the router; anything else goes to the recipient base.
//
// Natives of "Library" (RegisterLibraryNatives), in order:
// - "$OnlineAccess@Library::GetOnlineAccess()": through the online-access
//   source (SetLibraryOnlineAccessSource); without a spec, or while no
//   source is set, the script gets null.
// - "$string@Library::LibraryCallNative(string,string[],GSObject[])":
//   LibraryCallNative (LibraryPlugin.h) with the spec's log name.
// - the five system-menu icon natives, forwarded to the context's
//   SystemMenuIconHost (SystemMenuIconHost.h); AddSystemMenuIcon's Asset
//   argument may not be null.
//
// Destruction: the icon is removed (a VandruScriptContext's host), the
// plug-in released, then the list item and the scriptable object go.
//
// Ownership: while in a context's list the list owns the object; removed
// from it, the object goes with its script instance's last count (or is
// deleted by whoever removed it when it has no instance).
// Not thread-safe: the script thread only.
#pragma once

#include <cstdint>

#include "assetdb/protocol/NuMessageRecipient.h"
#include "foundation/spec/SpecRef.h"
#include "gsnative/LibraryPlugin.h"
#include "gsnative/ScriptableObject.h"
#include "gsnative/WorldListItem.h"

class GSMachine;

class GSOLibrary : public ScriptableObject, public WorldListItem, public NuMessageRecipient {
 public:
  static constexpr uint32_t kTypeId = 0x67736C62u;  // "blsg"
  static constexpr const char* kGetPropertiesSignature = "$Soup@PropertyObject::GetProperties()";

  static GSOLibrary* Create(VandruScriptContext& context, const SpecRef& spec);

  GSOLibrary(VandruScriptContext* context, const SpecRef& spec);
  ~GSOLibrary() override;

  const SpecRef& GetSpecRef() const { return spec_; }
  SpecRef GetSpec() const override { return spec_; }
  KUID GetKUID() const override;
  Kiv::PString GetLogName() const;

  virtual void CompleteInit();
  bool HasScriptFailure() const { return HasFailure(); }
  bool IsInitComplete() const { return initComplete_; }

  Soup GetProperties();
  void SaveListRecord(TStream& stream) override;
  void LoadListRecord(TStream& body) override;

  void SetSystemMenuIconId(uint32_t id) { iconId_ = id; }
  uint32_t Receive(const NuMessageData& data) override;

  const LibraryPlugin& Plugin() const { return plugin_; }

  // The natives.
  void GetOnlineAccess(GSRuntime::GSStack& stack);
  void LibraryCallNative(GSRuntime::GSStack& stack);
  void AddSystemMenuIcon(GSRuntime::GSStack& stack);
  void AddSystemMenuIconWithFlag(GSRuntime::GSStack& stack);
  void BlinkSystemMenuIcon(GSRuntime::GSStack& stack);
  void RemoveSystemMenuIcon(GSRuntime::GSStack& stack);
  void ShowSystemMenuIconMenu(GSRuntime::GSStack& stack);

 protected:
  void SetScriptFailure() { SetFailure(); }

 private:
  void AddIcon(GSRuntime::GSStack& stack, bool flagArgument);

  SpecRef spec_;
  bool initComplete_ = false;
  uint32_t iconId_ = 0;
  LibraryPlugin plugin_;
};

// Finds or makes the "OnlineAccess" object of a library asset in a context,
// with one count for the caller, or null. The online classes install it;
// until then GetOnlineAccess gives null.
using LibraryOnlineAccessSource = GSRuntime::GSObject* (*)(VandruScriptContext& context,
                                                           const KUID& library);
void SetLibraryOnlineAccessSource(LibraryOnlineAccessSource source);

void RegisterLibraryNatives(GSMachine& machine);

extern GSRuntime::GSClass* gLibraryScriptClass;
