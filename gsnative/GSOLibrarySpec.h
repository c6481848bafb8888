// GSOLibrarySpec: the spec of a script-library asset: whether its library
// is shared with a parent context, the native plug-in it names, and how to
// make its library object for a context (VandruScriptContext::
// GetScriptLibrary asks for it by KUID).
//
// A library asset is an asset of kind "library" (GSOLibrarySpecFactory
// makes its spec). Its configuration names its script as every scripted
// asset does, with "script" (the source file in the asset's folder, the
// extension optional) and "class" (the script class, deriving from
// "Library"), and may name a native plug-in with "native-plugin" (a plain
// file name without ".so" in <installation>/bin/plugins; LibraryPlugin.h).
// For example:
//   kind "library"
//   script "mylibrary"
//   class "MyLibrary"
//   native-plugin "echo"
// No library asset is shared.
//
// Lifetime as for every spec (foundation/spec/BrindlemoxSpec.h).
#pragma once

#include "assetdb/client/VandruBaseSpec.h"
#include "kiv/PString.h"

class GSOLibrary;
class VandruScriptContext;

class GSOLibrarySpec : public VandruBaseSpec {
 public:
  GSOLibrarySpec(const KUID& assetId, const Kiv::PString& contentSet, const Soup& config,
                 const Kiv::String& parent, const Kiv::String& folder);

  // Shared libraries are asked of the parent context, when there is one.
  virtual bool IsShared() const { return false; }
  // A new library object of this spec for `context`, not yet in any list;
  // null when none can be made. The caller owns it.
  virtual GSOLibrary* CreateLibrary(VandruScriptContext& context);

  // The plug-in that the configuration names; empty for none.
  const Kiv::PString& PluginName() const { return pluginName_; }

 private:
  Kiv::PString pluginName_;
};

// The spec as a GSOLibrarySpec, or null.
GSOLibrarySpec* CastToLibrarySpec(BrindlemoxSpec* spec);

// Makes the spec of every asset of kind "library".
class GSOLibrarySpecFactory : public BXSpecFactory {
 public:
  static constexpr const char* kKind = "library";

  GSOLibrarySpecFactory() : BXSpecFactory(Kiv::PString(kKind)) {}
  BrindlemoxSpec* Create(const KUID& asset, const Kiv::PString& contentSet, const Soup& config,
                         const Kiv::String& parentFolder, const Kiv::String& folderName) override;
};

// Adds a GSOLibrarySpecFactory to the process's spec registry (which owns
// it); false when there is no registry (the asset database is not open).
bool AddLibrarySpecFactory();
