#include "cli/ScriptCompile.h"

#include <thread>

#include "assetdb/client/FindAssetSpec.h"
#include "assetdb/client/VandruBaseSpec.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/base/LogMessage.h"
#include "foundation/spec/SpecRegistry.h"
#include "gsruntime/GSMachine.h"

namespace {

std::chrono::milliseconds g_linkPause{0};

bool AcceptAny(const BrindlemoxSpec&) {
  return true;
}

void AddError(ResultsLog& log, const char* text) {
  log.AddResult(ResultsLog::kError, PropertyRef(), text);
}

// Makes the registry's default factory `factory` for the scope.
class DefaultFactoryScope {
 public:
  DefaultFactoryScope(SpecRegistry& registry, BXSpecFactory* factory) : registry_(registry) {
    registry_.SetDefaultFactory(factory);
  }
  ~DefaultFactoryScope() { registry_.SetDefaultFactory(nullptr); }
  DefaultFactoryScope(const DefaultFactoryScope&) = delete;
  DefaultFactoryScope& operator=(const DefaultFactoryScope&) = delete;

 private:
  SpecRegistry& registry_;
};

}  // namespace

bool CompileAssetScripts(ResultsLog& log, const KUID& kuid, const Kiv::PString& contentSet,
                         const Kiv::String& folder) {
  SpecRegistry* registry = SpecRegistry::Instance();
  if (registry == nullptr) {
    AddError(log, "Failed to load asset for compilation");
    return false;
  }
  SpecRef spec = registry->Find(kuid);
  if (!spec) {
    VADScript_VandruBaseSpecFactory factory;
    DefaultFactoryScope scope(*registry, &factory);
    LoadSpecFromPath(spec, kuid, folder, &AcceptAny, false, contentSet);
  }
  if (!spec) {
    AddError(log, "Failed to load asset for compilation");
    return false;
  }
  VandruBaseSpec* scripted = CastToVandruBaseSpec(spec.Get());
  if (scripted == nullptr) {
    AddError(log, "Asset of wrong spec type for compilation");
    return false;
  }
  const uint32_t errorsBefore = log.GetErrorCount();
  const size_t loadedBefore = g_linkPause.count() > 0 ? GetGSMachine()->Libraries().size() : 0;
  const bool valid = scripted->ValidateScript(&log);
  if (g_linkPause.count() > 0 && GetGSMachine()->Libraries().size() > loadedBefore) {
    LogMessage("CompileAssetScripts> pausing %lld ms after loading a library (test hook)",
               static_cast<long long>(g_linkPause.count()));
    std::this_thread::sleep_for(g_linkPause);
  }
  if (!valid && log.GetErrorCount() == errorsBefore) AddError(log, "Failed to compile asset");
  return valid;
}

void SetScriptLinkPause(std::chrono::milliseconds pause) {
  g_linkPause = pause;
}
