// GSOLibrary: the object of a script-library asset in one script context,
// as far as the context's library list (VandruScriptContext) needs it: an
// item of the context's loaded-library list ("blsg"), a script object, its
// spec, its delayed initialisation and its script-failure flag.
//
// CompleteInit finishes the library's set-up (its script initialisation);
// a failure there sets the failure flag (SetScriptFailure), after which the
// context drops the library again. The base does nothing and never fails.
//
// Ownership: while in a context's list the list owns the object; removed
// from it, the object goes with its script instance's last count (or is
// deleted by whoever removed it when it has no instance).
// Not thread-safe: the script thread only.
#pragma once

#include "foundation/spec/SpecRef.h"
#include "gsnative/WorldListItem.h"
#include "gsruntime/GSObject.h"

class GSOLibrary : public GSRuntime::GSObject, public WorldListItem {
 public:
  static constexpr uint32_t kTypeId = 0x67736C62u;  // "blsg"

  explicit GSOLibrary(const SpecRef& spec) : WorldListItem(kTypeId), spec_(spec) {}
  ~GSOLibrary() override = default;

  const SpecRef& GetSpecRef() const { return spec_; }
  virtual void CompleteInit() {}
  bool HasScriptFailure() const { return scriptFailure_; }

 protected:
  void SetScriptFailure() { scriptFailure_ = true; }

 private:
  SpecRef spec_;
  bool scriptFailure_ = false;
};

extern GSRuntime::GSClass* gLibraryScriptClass;
