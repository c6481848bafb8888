#include "vaddaemon/DaemonModule.h"

#include <algorithm>
#include <cstring>

namespace {

// A function-local list, so registrars of any translation unit may run in
// any order during static initialisation.
std::vector<DaemonModule>& Modules() {
  static std::vector<DaemonModule> modules;
  return modules;
}

}  // namespace

DaemonModuleRegistrar::DaemonModuleRegistrar(const DaemonModule& module) {
  Modules().push_back(module);
}

std::vector<DaemonModule> RegisteredDaemonModules() {
  std::vector<DaemonModule> modules = Modules();
  std::sort(modules.begin(), modules.end(), [](const DaemonModule& a, const DaemonModule& b) {
    if (a.order != b.order) return a.order < b.order;
    return std::strcmp(a.name ? a.name : "", b.name ? b.name : "") < 0;
  });
  return modules;
}
