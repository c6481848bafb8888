#include "foundation/layout/ProgramModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <vector>

#include "foundation/layout/FolderLayout.h"
#include "foundation/layout/ProgramRunPath.h"

namespace {

#ifdef VU_BUILD_DIR
// Whether the running program carries the build's module folder as its run
// path: the build gives it to the programs it links, `cmake --install`
// removes it. Read once.
bool RunsFromBuild(const std::string& buildModules) {
  static const bool fromBuild = [&buildModules] {
    for (const std::string& folder : ReadProgramRunPath()) {
      if (folder == buildModules) return true;
    }
    return false;
  }();
  return fromBuild;
}
#endif

// The folders to look in, in order (each with a trailing "/").
std::vector<std::string> ModuleFolders() {
  std::vector<std::string> folders;
  Kiv::File::Path program;
  if (GetModulePath(&program)) {
    program.DelName();
    folders.push_back(program.Str());
  }
#ifdef VU_BUILD_DIR
  const std::string buildModules = std::string(VU_BUILD_DIR) + "/modules";
  if (RunsFromBuild(buildModules)) folders.push_back(buildModules + "/");
#endif
  return folders;
}

}  // namespace

ProgramModule LoadProgramModule(const char* file, const char* symbol) {
  ProgramModule module;
  for (const std::string& folder : ModuleFolders()) {
    const std::string path = folder + file;
    if (::access(path.c_str(), R_OK) != 0) continue;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* why = ::dlerror();
      module.error = why != nullptr ? why : path + " could not be loaded";
      continue;
    }
    module.entry = ::dlsym(handle, symbol);
    if (module.entry != nullptr) {
      module.error.clear();
      return module;
    }
    module.error = path + " has no " + symbol;
  }
  if (module.error.empty()) module.error = std::string(file) + " was not found";
  return module;
}
