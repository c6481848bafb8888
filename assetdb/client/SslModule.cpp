#include "assetdb/client/SslModule.h"

#include "foundation/layout/ProgramModule.h"

namespace {

struct LoadedTable {
  const VuSslFunctions* functions = nullptr;
  std::string error;
};

}  // namespace

const VuSslFunctions* LoadedSslModule(std::string* error) {
  static const LoadedTable table = [] {
    LoadedTable loaded;
    const ProgramModule module = LoadProgramModule(kSslModuleFile, kSslModuleSymbol);
    loaded.error = module.error;
    if (module.entry != nullptr)
      loaded.functions = reinterpret_cast<VuSslModuleFunctionsEntry>(module.entry)();
    if (module.entry != nullptr && loaded.functions == nullptr)
      loaded.error = std::string(kSslModuleFile) + " gave no functions";
    return loaded;
  }();
  if (error != nullptr) *error = table.error;
  return table.functions;
}
