// Kiv::LookupPluginByType: a reference to the plug-in type registered under
// a type UId and name (kiv/host/PluginType.h), taken when it is made.
//
// Get answers the type, or null when the engine has none of that UId and
// name (not an error: callers do without). Release drops the reference and
// clears it; the destructor releases too, so dropping twice is harmless.
// Not thread-safe (one owner).
#pragma once

#include "kiv/host/PluginType.h"

namespace Kiv {

class LookupPluginByType {
 public:
  LookupPluginByType(const PString& uid, const PString& name) {
    PluginBase::LookupPluginType(&type_, uid, name);
  }
  ~LookupPluginByType() { Release(); }
  LookupPluginByType(const LookupPluginByType&) = delete;
  LookupPluginByType& operator=(const LookupPluginByType&) = delete;

  PluginType* Get() const { return type_; }
  void Release() {
    if (type_ == nullptr) return;
    type_->ReleaseReference();
    type_ = nullptr;
  }

 private:
  PluginType* type_ = nullptr;
};

}  // namespace Kiv
