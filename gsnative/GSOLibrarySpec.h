// GSOLibrarySpec: the spec of a script-library asset, as the script
// context's library lookup (VandruScriptContext::GetScriptLibrary) needs
// it: whether its library is shared with a parent context, and how to
// make its library object for a context.
//
// No factory of the spec registry makes one yet: describing library assets
// (their script, their native plug-in) comes with the library natives. So
// every lookup by KUID currently finds no library spec. Tests derive their
// own.
//
// Lifetime as for every spec (foundation/spec/BrindlemoxSpec.h).
#pragma once

#include "assetdb/client/VandruBaseSpec.h"

class GSOLibrary;
class VandruScriptContext;

class GSOLibrarySpec : public VandruBaseSpec {
 public:
  using VandruBaseSpec::VandruBaseSpec;

  // Shared libraries are asked of the parent context, when there is one.
  virtual bool IsShared() const { return false; }
  // A new library object of this spec for `context`, not yet in any list;
  // null when none can be made. The caller owns it.
  virtual GSOLibrary* CreateLibrary(VandruScriptContext& context) = 0;
};

// The spec as a GSOLibrarySpec, or null.
GSOLibrarySpec* CastToLibrarySpec(BrindlemoxSpec* spec);
