#include "gsnative/GSOLibrarySpec.h"

#include "foundation/spec/SpecRegistry.h"
#include "gsnative/GSOLibrary.h"
#include "gsnative/LibraryPlugin.h"

GSOLibrarySpec::GSOLibrarySpec(const KUID& assetId, const Kiv::PString& contentSet,
                               const Soup& config, const Kiv::String& parent,
                               const Kiv::String& folder)
    : VandruBaseSpec(assetId, contentSet, config, parent, folder),
      pluginName_(PluginNameOf(config)) {}

GSOLibrary* GSOLibrarySpec::CreateLibrary(VandruScriptContext& context) {
  return GSOLibrary::Create(context, SpecRef(this));
}

GSOLibrarySpec* CastToLibrarySpec(BrindlemoxSpec* spec) {
  return dynamic_cast<GSOLibrarySpec*>(spec);
}

BrindlemoxSpec* GSOLibrarySpecFactory::Create(const KUID& asset, const Kiv::PString& contentSet,
                                              const Soup& config, const Kiv::String& parentFolder,
                                              const Kiv::String& folderName) {
  return new GSOLibrarySpec(asset, contentSet, config, parentFolder, folderName);
}

bool AddLibrarySpecFactory() {
  SpecRegistry* registry = SpecRegistry::Instance();
  if (registry == nullptr) return false;
  registry->AddFactory(new GSOLibrarySpecFactory);
  return true;
}
